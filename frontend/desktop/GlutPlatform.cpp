// GlutPlatform.cpp - the desktop program's platform table: its GLUT window,
// drawn with the GL drawings of this folder. A headless run replaces the
// window's entries with its offscreen surface's (Headless.cpp).
#include "GlutPlatform.h"

#include <GL/glut.h>

#include "FrameLoop.h"
#include "GlDrawing.h"

namespace {
void postRedisplay() { glutPostRedisplay(); }
void swapBuffers() { glutSwapBuffers(); }
void reshapeWindowTo(int width, int height) { glutReshapeWindow(width, height); }
void rearmTimer(unsigned milliseconds, int value) { glutTimerFunc(milliseconds, timerRedraw, value); }
}  // namespace

const Platform glutPlatform = {
    postRedisplay, swapBuffers, reshapeWindowTo, drawGlFrame, fitGlDrawing, rearmTimer,
    ButtonNumbering{GLUT_LEFT_BUTTON, GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON, GLUT_DOWN}};
