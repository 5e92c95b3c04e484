// GlutPlatform.cpp - the platform of the interactive program: its GLUT window.
#include <GL/glut.h>

#include "Platform.h"

namespace {
void postRedisplay() { glutPostRedisplay(); }
void swapBuffers() { glutSwapBuffers(); }
void reshapeWindowTo(int width, int height) { glutReshapeWindow(width, height); }
}  // namespace

Platform platform = {postRedisplay, swapBuffers, reshapeWindowTo};
