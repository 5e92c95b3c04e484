// WebPlatform.cpp - the page's platform table.
#include "WebPlatform.h"

#include <GL/glut.h>
#include <emscripten.h>

#include "GlutGlue.h"
#include "SessionPlayback.h"
#include "WebDrawing.h"

long long framesDrawn = 0;

namespace {

void presentFrame() {
    glutglue::presentFrame();
    ++framesDrawn;
    // The drawing buffer holds the frame only until the browser shows it:
    // a picture the page asked for is taken here.
    EM_ASM({ if (Module.pictureWanted) Module.takePicture(); });
}

// The page sizes the canvas on the screen after every change of its pixels.
void fitDrawing(int width, int height) {
    fitWebDrawing(width, height);
    EM_ASM({ if (Module.onCanvasSize) Module.onCanvasSize(); });
}

// A page cannot close itself: it stops the simulation, input and the
// recording (its end line, ready to download), and says so.
void stopPage() {
    glutIdleFunc(nullptr);
    stopRecording();
    EM_ASM({ if (Module.onStopped) Module.onStopped(); });
}

}  // namespace

const Platform webPlatform = {glutglue::requestRedraw, presentFrame,        glutglue::resizeWindow, drawWebFrame,
                              fitDrawing,              glutglue::rearmTimer, stopPage};
