// GlutGlue.cpp - GLUT's callbacks as plain calls on the core.
#include "GlutGlue.h"

#include <GL/glut.h>

#include "FrameLoop.h"
#include "FrontEndState.h"
#include "InputCodes.h"
#include "LiveInput.h"

namespace glutglue {

void requestRedraw() { glutPostRedisplay(); }
void presentFrame() { glutSwapBuffers(); }
void resizeWindow(int width, int height) { glutReshapeWindow(width, height); }
void rearmTimer(unsigned milliseconds, int value) { glutTimerFunc(milliseconds, timerRedraw, value); }

int coreButton(int glutButton) {
    if (glutButton == GLUT_LEFT_BUTTON) return leftButton;
    if (glutButton == GLUT_MIDDLE_BUTTON) return middleButton;
    if (glutButton == GLUT_RIGHT_BUTTON) return rightButton;
    return glutButton;
}

int coreButtonState(int glutState) { return glutState == GLUT_DOWN ? buttonDown : buttonUp; }

namespace {
void mouse(int button, int state, int x, int y) { liveMouseButton(coreButton(button), coreButtonState(state), x, y); }
}  // namespace

bool openWindow(int& argc, char** argv, unsigned extraModeBits) {
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGBA | extraModeBits);
    glutInitWindowSize(windowWidth, windowHeight);
    return glutCreateWindow(windowTitle) != 0;
}

void registerCallbacks() {
    glutDisplayFunc(displayFrame);
    glutReshapeFunc(liveReshape);
    glutIdleFunc(idleRedraw);
    glutKeyboardFunc(liveKeyboard);
    glutMouseFunc(mouse);
    glutMotionFunc(liveMouseMotion);
    glutTimerFunc(100, timerRedraw, framesPerSecond);
}

}  // namespace glutglue
