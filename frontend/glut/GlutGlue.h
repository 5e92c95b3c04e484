// GlutGlue.h - the front end on GLUT, written once for every wing that runs
// on it (the desktop window on freeglut, the page on Emscripten's GLUT).
//
// GLUT's callbacks become plain calls on the core in the core's own
// numbering (LiveInput.h, FrameLoop.h), and GLUT's redraw, buffer swap,
// window resize and timer are the entries of a platform table that a wing
// completes with its drawing and its way of quitting:
//
//     const Platform desktopPlatform = {glutglue::requestRedraw, glutglue::presentFrame,
//                                       glutglue::resizeWindow, drawGlFrame, fitGlDrawing,
//                                       glutglue::rearmTimer, exitProgram};
#pragma once

namespace glutglue {

// Platform table entries (Platform.h).
void requestRedraw();                            // glutPostRedisplay
void presentFrame();                             // glutSwapBuffers
void resizeWindow(int width, int height);        // glutReshapeWindow
void rearmTimer(unsigned milliseconds, int value);  // glutTimerFunc with timerRedraw

// glutInit with the command line (GLUT takes its own options out of argv),
// then a double-buffered RGBA window of the core's start size and title,
// with extraModeBits (GLUT_DEPTH, say) in its display mode. False where no
// window could be made.
bool openWindow(int& argc, char** argv, unsigned extraModeBits);

// Registers the core's display, reshape, idle, keyboard, mouse and motion
// callbacks, and arms the timer to fire first after 100 ms.
void registerCallbacks();

// The core's button and state for GLUT's (InputCodes.h): GLUT's left,
// middle and right become the core's, other buttons keep their number.
int coreButton(int glutButton);
int coreButtonState(int glutState);

}  // namespace glutglue
