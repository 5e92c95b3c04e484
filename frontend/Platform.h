// Platform.h - the one narrow way the front end reaches the system that
// shows its frames: a GLUT window, or an offscreen surface when the program
// runs headless. The callbacks and the drawing call these and nothing of
// GLUT's directly, so the same code runs in both.
#pragma once

struct Platform {
    void (*requestRedraw)();                    // draw a frame again soon
    void (*presentFrame)();                     // the frame is complete: show it
    void (*resizeSurface)(int width, int height);  // a replayed size change: resize what is drawn on
};

extern Platform platform;  // the GLUT window until a headless run replaces it
