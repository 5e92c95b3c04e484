// WebPlatform.cpp - the page's platform table.
#include "WebPlatform.h"

#include <GL/glut.h>
#include <emscripten.h>

#include "FrameLoop.h"
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

// The dump goes to the page whole (Module.onDump), rather than character by
// character through the C library's standard output; without the page's
// hook, to standard output.
bool writeDump(const std::string& text) {
    const int taken = EM_ASM_INT({
        if (!Module.onDump) return 0;
        Module.onDump(UTF8ToString($0, $1));
        return 1;
    }, text.data(), text.size());
    return taken ? true : writeStandardOutput(text);
}

}  // namespace

const Platform webPlatform = {glutglue::requestRedraw, presentFrame,        glutglue::resizeWindow, drawWebFrame,
                              fitDrawing,              glutglue::rearmTimer, stopPage,               writeDump};
