// Main.cpp - program entry: registers the kernels before main, reads the
// command line and the session to replay (a file or a share link), then either opens the window,
// wires the callbacks (glut/GlutGlue.h) and hands control to the GLUT event
// loop, or renders the session headless.
#include <GL/glut.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "CommandLine.h"
#include "DesktopPlatform.h"
#include "Fluid.h"
#include "GlDrawing.h"
#include "GlutGlue.h"
#include "Headless.h"
#include "Kernels.h"
#include "SessionLink.h"
#include "SessionPlayback.h"
#include "WindowOptions.h"

namespace {

fluidrt::FatBinaryHandle kernelImage = nullptr;

void unregisterKernelImage() { fluidrt::unregisterFatBinary(kernelImage); }

// Runs during static initialisation, before main: the code image, the exit
// handler that unregisters it, then the six kernels.
fluidrt::FatBinaryHandle registerAtStartUp() {
    kernelImage = registerFluidImage();
    std::atexit(unregisterKernelImage);
    registerFluidKernels(kernelImage);
    return kernelImage;
}

const fluidrt::FatBinaryHandle registeredImage = registerAtStartUp();

// Descriptors 0, 1 and 2 must be open before anything opens a file or a
// socket: a program started with one of them closed would otherwise get it
// for the X connection, and the field dump would be written into the X
// protocol stream. A closed one becomes /dev/null, so that the dump goes
// nowhere harmlessly.
void keepStandardDescriptorsOpen() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {  // not the lowest free number: move it there
            dup2(opened, fd);
            close(opened);
        }
    }
}

// A fault in the command line or the session: a one-line message, exit 2,
// and no window.
[[noreturn]] void refuse(const std::string& message, bool withUsage) {
    std::fprintf(stderr, "fluid: %s\n", message.c_str());
    if (withUsage) std::fputs(usageText().c_str(), stderr);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    keepStandardDescriptorsOpen();
#if defined(__GLIBC__)
    // Large blocks (window-sized images, ours and the GL driver's) always
    // come from their own mappings, which go back to the system when freed:
    // by default the C library raises this threshold after the first such
    // block is freed, and later ones then stay in the heap when a window
    // shrinks.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    CommandLine options;
    std::string error;
    if (!takeCommandLine(argc, argv, options, error)) refuse(error, true);
    if (options.help) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::fputs(versionText().c_str(), stdout);
        return 0;
    }
    if (!options.headless && !checkWindowOptions(argc, argv, error)) refuse(error, true);
    std::vector<SessionEvent> session;
    // A share link's text is taken wherever a session file is.
    if (!options.replayPath.empty() &&
        !(isSessionLink(options.replayPath)
              ? readSessionLink(options.replayPath, session, error, startSettings(options))
              : readSessionFile(options.replayPath, session, error, startSettings(options))))
        refuse(error, false);
    startReplay(std::move(session));
    resetFields();
    if (options.headless) {
        applyStartOptions(options);
        fluidrt::chooseBackend();
        fluidrt::cudaSetDevice(2);
        return runHeadless(options);
    }

    platform = desktopPlatform;
    if (!options.recordPath.empty() && !startRecording(options.recordPath, error)) refuse(error, false);
    // freeglut ends the process itself, with its own message, where it
    // cannot open the display or make the window.
    glutglue::openWindow(argc, argv, drawingDisplayModeBits());
    if (argc > 1) refuse(std::string("unknown option '") + argv[1] + "'", true);
    buildCellList();
    glutglue::registerCallbacks();
    applyStartOptions(options);  // recorded at step 0, before the replay's events
    fluidrt::chooseBackend();  // a CUDA device when there is one, else the host
    fluidrt::cudaSetDevice(2);  // the result is not examined: with fewer devices the current one serves
    glutMainLoop();
    return 0;
}
