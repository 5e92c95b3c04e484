// Main.cpp - program entry: registers the kernels before main, opens the
// window, wires the callbacks and hands control to the GLUT event loop.
#include <GL/glut.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "FrontEnd.h"
#include "Fluid.h"
#include "Kernels.h"

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
    resetFields();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | drawingDisplayModeBits());
    glutInitWindowSize(windowWidth, windowHeight);
    glutCreateWindow("Zeroduz Uruvov Aderod");
    buildCellList();
    glutDisplayFunc(displayFrame);
    glutReshapeFunc(reshapeWindow);
    glutIdleFunc(idleRedraw);
    glutKeyboardFunc(keyboardCommand);
    glutMouseFunc(mouseButton);
    glutMotionFunc(mouseMotion);
    glutTimerFunc(100, timerRedraw, framesPerSecond);
    fluidrt::chooseBackend();  // a CUDA device when there is one, else the host
    fluidrt::cudaSetDevice(2);  // the result is not examined: with fewer devices the current one serves
    glutMainLoop();
    return 0;
}
