// WebMain.cpp - the page's program: the same core as the desktop window on
// Emscripten's GLUT, drawn with WebGL 2 (WebPlatform.cpp, WebDrawing.cpp).
//
// The page passes `--replay FILE` when it has a session for it (written into
// the module's file system beforehand), and `--record FILE` to record into a
// file of the module's file system, whose bytes the page then downloads.
// Esc cannot close a page: here it stops the simulation, input and the
// recording, and the page says so.
//
// The page's own input (touch and its on-screen controls, page.js) comes in
// through the functions below and takes the paths that GLUT's keyboard and
// mouse callbacks take, so it is recorded and replayed like them.
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
#include "WebMain.h"
#include "WebPlatform.h"

bool stopped = false;
long long framesDrawn = 0;

namespace {

void display() {
    if (stopped) return;
    displayFrame();
    ++framesDrawn;
    // The drawing buffer holds the frame only until the browser shows it:
    // a picture the page asked for is taken here.
    EM_ASM({ if (Module.pictureWanted) Module.takePicture(); });
}

}  // namespace

void keyboard(unsigned char key, int x, int y) {
    if (stopped) return;
    if (key != escapeKey) {
        liveKeyboard(key, x, y);
        return;
    }
    stopped = true;
    glutIdleFunc(nullptr);
    stopRecording();
    EM_ASM({ if (Module.onStopped) Module.onStopped(); });
}

void mouse(int button, int state, int x, int y) {
    if (!stopped) liveMouseButton(button, state, x, y);
}

void motion(int x, int y) {
    if (!stopped) liveMouseMotion(x, y);
}

namespace {

// The page says why in its status line (Module.onRefused).
int refuse(const std::string& message) {
    std::fprintf(stderr, "fluid: %s\n", message.c_str());
    EM_ASM({ if (Module.onRefused) Module.onRefused(UTF8ToString($0)); }, message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    platform = webPlatform;
    registerFluidKernels();
    CommandLine options;
    std::string error;
    if (!takeCommandLine(argc, argv, options, error)) return refuse(error);
    if (options.headless || argc > 1) return refuse("the page takes no options but --replay FILE and --record FILE");
    std::vector<SessionEvent> session;
    if (!options.replayPath.empty() && !readSessionFile(options.replayPath, session, error)) return refuse(error);
    if (!options.recordPath.empty() && !startRecording(options.recordPath, error)) return refuse(error);
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
    // The page lays the canvas out now; its size goes through the reshape.
    EM_ASM({ if (Module.onProgramStarted) Module.onProgramStarted(); });
    glutMainLoop();
    return 0;
}
