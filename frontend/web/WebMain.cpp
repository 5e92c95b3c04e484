// WebMain.cpp - the page's program: the same core as the desktop window on
// Emscripten's GLUT (glut/GlutGlue.h), drawn with WebGL 2 (WebPlatform.cpp,
// WebDrawing.cpp).
//
// The page passes `--replay FILE` when it has a session for it (written into
// the module's file system beforehand), and `--record FILE` to record into a
// file of the module's file system, whose bytes the page then downloads.
// The page's own input (touch and its on-screen controls) comes in through
// WebExports.cpp.
#include <GL/glut.h>
#include <emscripten.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Fluid.h"
#include "GlutGlue.h"
#include "Kernels.h"
#include "SessionPlayback.h"
#include "WebDrawing.h"
#include "WebPlatform.h"

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
    if (options.headless || argc > 1)
        return refuse("the page takes no options but --replay FILE, --record FILE, the settings and --auto SEED");
    std::vector<SessionEvent> session;
    if (!options.replayPath.empty() &&
        !readSessionFile(options.replayPath, session, error, startSettings(options)))
        return refuse(error);
    if (!options.recordPath.empty() && !startRecording(options.recordPath, error)) return refuse(error);
    startReplay(std::move(session));
    resetFields();

    if (!glutglue::openWindow(argc, argv, GLUT_DEPTH)) return refuse("no WebGL 2 context");
    if (!initWebDrawing()) return refuse("the WebGL 2 drawing cannot start");
    glutglue::registerCallbacks();
    applyStartOptions(options);  // recorded at step 0, before the replay's events
    fluidrt::chooseBackend();
    // The page lays the canvas out now; its size goes through the reshape.
    EM_ASM({ if (Module.onProgramStarted) Module.onProgramStarted(); });
    glutMainLoop();
    return 0;
}
