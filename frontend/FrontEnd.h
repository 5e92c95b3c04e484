// FrontEnd.h - the interactive front end's state and its event callbacks.
//
// The windowing library calls the callbacks below from its event loop; each
// one is a plain function on the plain global state declared here. Drawing
// goes through fixed-function OpenGL, window handling through GLUT.
#pragma once

#include <cstddef>

// Window and timing.
extern int windowWidth;      // pixels, 512 at start; set by reshape
extern int windowHeight;     // pixels, 512 at start; set by reshape
extern int framesPerSecond;  // redraw rate of the timer, 60

// Mode and view flags (0 or 1).
extern int simulate;      // step at every redraw (key s)
extern int stepOnce;      // step at the next redraw (space)
extern int printFields;   // dump the fields after each step (key c)
extern int showDensity;   // key d
extern int showBoundary;  // key b
extern int showVelocity;  // key v
extern int showGrid;      // key g
extern int editBoundary;  // left button edits obstacles (key B)

// Drawing state.
extern float cellSize;         // edge of a drawn cell in pixels: windowWidth / N
extern unsigned int cellList;  // display list holding one cell quad
extern float totalDensity;     // interior density after the latest step
extern long long stepsCompleted;  // simulation steps since start

extern const int forceRow;  // j index of the cell that key f feeds, 64

// Mouse state.
extern int mouseX, mouseY;          // latest accepted pointer position (y down)
extern int prevMouseX, prevMouseY;  // the position before that
extern int mouseState;              // latest button event: 0 pressed, 1 released
extern int lastCellI, lastCellJ;    // cell that boundary editing flipped last

// Rendering.
void buildCellList();
void printField(int n, const float* field);
void displayFrame();
bool advanceSimulation();  // one step when running or asked for; true when it stepped
void drawFrame();          // clears the colours and draws the fields
void reshapeWindow(int width, int height);
// The drawing of one frame. The batched path (the default) draws exactly
// the per-cell picture with a few vertex-array draws and needs a depth
// buffer; usePerCellDrawing selects the per-cell path, which is the default
// when the program is built with FLUID_PER_CELL_DRAWING.
extern int usePerCellDrawing;
void drawField();
void drawFieldPerCell();
void drawFieldBatched();
unsigned int drawingDisplayModeBits();  // extra GLUT display mode bits
// The outline depths are read back from the drawable; a reshape may come
// before the drawable has its new size (a replayed size change), so every
// reshape has them made again.
void forgetWindowSizedImages();

// Redraw driving.
void idleRedraw();
void timerRedraw(int value);

// Input.
void keyboardCommand(unsigned char key, int x, int y);
void mouseButton(int button, int state, int x, int y);
void mouseMotion(int x, int y);
void applyMouse(int button, int isMotion);

// The interior cell index (1..N) that a pointer coordinate picks along one axis.
int pickCellIndex(long long pixel, int extent);
