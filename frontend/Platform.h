// Platform.h - the one narrow way the front end's core reaches the system
// that shows its frames and delivers its input. Each wing fills a table of
// its own and installs it at start-up: the desktop's GLUT window
// (desktop/DesktopPlatform.cpp), the desktop's offscreen surface for
// headless runs (desktop/Headless.cpp) and the page (web/WebPlatform.cpp).
// The core calls these and no graphics or window library, so the same
// callbacks, sessions and frame loop run on each. Input comes the other way,
// as plain calls on the core in its own numbering (LiveInput.h). Until a wing
// installs its table the core runs on a dummy one that shows nothing
// (Platform.cpp).
#pragma once

#include <string>

struct Platform {
    void (*requestRedraw)();                       // draw a frame again soon
    void (*presentFrame)();                        // the frame is complete: show it
    void (*resizeSurface)(int width, int height);  // a replayed size change: resize what is drawn on
    void (*drawFrame)();                           // clear, then draw the fields as the views say
    // The drawing's side of a size change, after the core has set the
    // window size and the cell size (Window.h).
    void (*fitDrawing)(int width, int height);
    // Calls timerRedraw(value) once, `milliseconds` from now.
    void (*rearmTimer)(unsigned milliseconds, int value);
    // The user has asked to quit (Esc). The desktop ends the process with
    // status 0 and never returns; the page stops and says so. Once it has
    // returned the core treats the program as ended (programEnded()).
    void (*quit)();
    // One step's field dump, whole: standard output on the desktop
    // (writeStandardOutput, FrameLoop.h), the page's panel in the browser.
    // False when it could not be written (errno says why): the dump is then
    // turned off and reported once.
    bool (*writeDump)(const std::string& text);
};

extern Platform platform;  // the table in use: a wing's, or the dummy one
extern const Platform dummyPlatform;
