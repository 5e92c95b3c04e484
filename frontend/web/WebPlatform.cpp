// WebPlatform.cpp - the page's platform table: Emscripten's GLUT on the
// canvas, drawn with WebGL 2 (WebDrawing.cpp).
#include "WebPlatform.h"

#include <GL/glut.h>
#include <emscripten.h>

#include "FrameLoop.h"
#include "WebDrawing.h"

namespace {
void postRedisplay() { glutPostRedisplay(); }
void swapBuffers() { glutSwapBuffers(); }
void reshapeCanvasTo(int width, int height) { glutReshapeWindow(width, height); }
void rearmTimer(unsigned milliseconds, int value) { glutTimerFunc(milliseconds, timerRedraw, value); }
// The page sizes the canvas on the screen after every change of its pixels.
void fitDrawing(int width, int height) {
    fitWebDrawing(width, height);
    EM_ASM({ if (Module.onCanvasSize) Module.onCanvasSize(); });
}
}  // namespace

const Platform webPlatform = {
    postRedisplay, swapBuffers, reshapeCanvasTo, drawWebFrame, fitDrawing, rearmTimer,
    ButtonNumbering{GLUT_LEFT_BUTTON, GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON, GLUT_DOWN}};
