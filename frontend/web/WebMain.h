// WebMain.h - what the page's program keeps that its exports (WebExports.cpp)
// read and call.
#pragma once

extern bool stopped;           // Esc has ended the simulation and input
extern long long framesDrawn;  // frames drawn since start

// GLUT's keyboard, mouse and motion callbacks of the page's program.
void keyboard(unsigned char key, int x, int y);
void mouse(int button, int state, int x, int y);
void motion(int x, int y);
