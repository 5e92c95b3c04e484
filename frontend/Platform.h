// Platform.h - the one narrow way the front end's core reaches the system
// that shows its frames and delivers its input. Each wing fills a table of
// its own and installs it at start-up: the GLUT window
// (desktop/GlutPlatform.cpp, with the headless run's offscreen surface
// replacing a few entries, desktop/Headless.cpp) and the page
// (web/WebPlatform.cpp). The core calls these and no graphics or window
// library, so the same callbacks, sessions and frame loop run on each. Until a
// wing installs its table the core runs on a dummy one that shows nothing
// (Platform.cpp).
#pragma once

// How the window system numbers mouse buttons and the state of a press. The
// live callbacks turn these into the front end's numbering (InputCodes.h).
struct ButtonNumbering {
    int left, middle, right;
    int down;
};

struct Platform {
    void (*requestRedraw)();                       // draw a frame again soon
    void (*presentFrame)();                        // the frame is complete: show it
    void (*resizeSurface)(int width, int height);  // a replayed size change: resize what is drawn on
    void (*drawFrame)();                           // clear, then draw the fields as the views say
    // The drawing's side of a size change, after the core has set the
    // window size and the cell size (FrontEndState.h).
    void (*fitDrawing)(int width, int height);
    // Calls timerRedraw(value) once, `milliseconds` from now.
    void (*rearmTimer)(unsigned milliseconds, int value);
    ButtonNumbering buttons;
};

extern Platform platform;  // the table in use: a wing's, or the dummy one
extern const Platform dummyPlatform;
