// WebMain.cpp - the page's program: the same core as the desktop window on
// Emscripten's GLUT, drawn with WebGL 2 (WebPlatform.cpp, WebDrawing.cpp).
//
// The page passes `--replay FILE` when it has a session for it (written into
// the module's file system beforehand). Esc cannot close a page: here it
// stops the simulation and input, and the page says so.
#include <GL/glut.h>
#include <emscripten.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "FrameLoop.h"
#include "FrontEndState.h"
#include "Fluid.h"
#include "InputCodes.h"
#include "Kernels.h"
#include "SessionPlayback.h"
#include "WebDrawing.h"
#include "WebPlatform.h"

namespace {

bool stopped = false;
long long framesDrawn = 0;

void display() {
    if (stopped) return;
    displayFrame();
    ++framesDrawn;
}

void keyboard(unsigned char key, int x, int y) {
    if (stopped) return;
    if (key != escapeKey) {
        liveKeyboard(key, x, y);
        return;
    }
    stopped = true;
    glutIdleFunc(nullptr);
    EM_ASM({ if (Module.onStopped) Module.onStopped(); });
}

void mouse(int button, int state, int x, int y) {
    if (!stopped) liveMouseButton(button, state, x, y);
}

void motion(int x, int y) {
    if (!stopped) liveMouseMotion(x, y);
}

int refuse(const std::string& message) {
    std::fprintf(stderr, "fluid: %s\n", message.c_str());
    return 2;
}

}  // namespace

// What the page and its tests read of the program's state.
extern "C" {
EMSCRIPTEN_KEEPALIVE double webFramesDrawn() { return static_cast<double>(framesDrawn); }
EMSCRIPTEN_KEEPALIVE double webStepsCompleted() { return static_cast<double>(stepsCompleted); }
EMSCRIPTEN_KEEPALIVE int webReplayPending() { return replayPending() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int webSimulating() { return simulate; }
}

int main(int argc, char** argv) {
    platform = webPlatform;
    registerFluidKernels();
    CommandLine options;
    std::string error;
    if (!takeCommandLine(argc, argv, options, error)) return refuse(error);
    if (options.headless || !options.recordPath.empty() || argc > 1)
        return refuse("the page takes no options but --replay FILE");
    std::vector<SessionEvent> session;
    if (!options.replayPath.empty() && !readSessionFile(options.replayPath, session, error)) return refuse(error);
    startReplay(std::move(session));
    resetFields();

    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | GLUT_DEPTH);
    glutInitWindowSize(windowWidth, windowHeight);
    if (!glutCreateWindow("Zeroduz Uruvov Aderod")) return refuse("no WebGL 2 context");
    if (!initWebDrawing()) return refuse("the WebGL 2 drawing cannot start");
    glutDisplayFunc(display);
    glutReshapeFunc(liveReshape);
    glutIdleFunc(idleRedraw);
    glutKeyboardFunc(keyboard);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutTimerFunc(100, timerRedraw, framesPerSecond);
    fluidrt::chooseBackend();
    glutMainLoop();
    return 0;
}
