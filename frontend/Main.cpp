// Main.cpp - program entry: registers the kernels before main, opens the
// window, wires the callbacks and hands control to the GLUT event loop.
#include <GL/glut.h>

#include <cstdlib>

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

}  // namespace

int main(int argc, char** argv) {
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
