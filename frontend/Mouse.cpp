// Mouse.cpp - acting on the fluid with the mouse.
//
// Both callbacks shift the stored pointer positions and hand over to
// applyMouse, which picks the interior cell under the pointer and then:
// - right button (press and release): writes a source pattern, density in the
//   cell and outward velocity in its four neighbours;
// - drag without boundary editing: adds cellSize times the pointer movement to
//   the cell's velocity sources;
// - left press or drag with boundary editing: flips each newly entered cell
//   between fluid and solid.
// Positions may lie anywhere (outside the window during a drag, or any int);
// the pick is clamped to the interior, so every write stays inside the fields.
#include "Mouse.h"

#include <cmath>

#include "FrontEndState.h"
#include "InputCodes.h"
#include "Platform.h"
#include "Fluid.h"

int mouseX = 0, mouseY = 0;
int prevMouseX = 0, prevMouseY = 0;
int mouseState = buttonDown;
int lastCellI = 0, lastCellJ = 0;

// The pick scales the pointer's fraction of the window by 128, the grid's
// cells per side with the border, while the drawing's cell is the window
// width divided by N in whole pixels (Window.h). The two agree only where the
// width is a whole multiple of 128 (512 is); elsewhere the picked cell drifts
// from the drawn one towards the far edge. That is this program's pick, kept
// as it is: a session replays with the cells it picked when it was made.
constexpr double pickCellsPerSide = 128.0;
static_assert(pickCellsPerSide == N + 2, "the pick's fixed scale is the grid's cells per side");

// The quotient pixel / extent, stored as a float, scaled by the fixed 128
// cells per side, truncated and clamped to 1..N. A zero extent makes the
// quotient infinite or not a number; that picks index 1.
int pickCellIndex(long long pixel, int extent) {
    const float fraction = static_cast<float>(static_cast<double>(pixel) / static_cast<double>(extent));
    const double position = fraction * pickCellsPerSide;
    if (!std::isfinite(position) || position < 1.0) return 1;
    if (position >= N) return N;
    return static_cast<int>(position);
}

void applyMouse(int button, int isMotion) {
    // Window y grows downwards, drawing y upwards: flip before picking.
    const int j = pickCellIndex(mouseX, windowWidth);
    const int i = pickCellIndex(static_cast<long long>(windowHeight) - mouseY, windowHeight);
    const float s = cellSize;

    if (button == rightButton) {
        dens_prev[IX(i, j)] = static_cast<float>(N) * s;
        u_prev[IX(i, j - 1)] = -s;
        u_prev[IX(i, j + 1)] = s;
        v_prev[IX(i - 1, j)] = -s;
        v_prev[IX(i + 1, j)] = s;
    }
    if (button == leftButton && isMotion && !editBoundary && mouseState == buttonDown) {
        // Horizontal movement feeds u and vertical movement v, as the
        // velocity lines draw u along x and v along y; the solver, though,
        // moves u along i, which runs up the screen. So a drag to the right
        // pushes the fluid upwards: the program's own mapping, kept so that
        // sessions replay as they were made.
        // Differences of any two ints fit in 64 bits; upward movement is positive.
        const long long dx = static_cast<long long>(mouseX) - prevMouseX;
        const long long dy = static_cast<long long>(prevMouseY) - mouseY;
        u_prev[IX(i, j)] = static_cast<float>(u_prev[IX(i, j)] + static_cast<double>(dx) * s);
        v_prev[IX(i, j)] = static_cast<float>(v_prev[IX(i, j)] + static_cast<double>(dy) * s);
    }
    if (button == leftButton && editBoundary && mouseState == buttonDown) {
        if (i != lastCellI || j != lastCellJ) {
            boundary[IX(i, j)] = boundary[IX(i, j)] == 0 ? 1 : 0;
            lastCellI = i;
            lastCellJ = j;
        }
    }
    platform.requestRedraw();
}

void mouseButton(int button, int state, int x, int y) {
    mouseState = state;
    if (state == buttonDown) {
        lastCellI = -1;
        lastCellJ = -1;
    }
    prevMouseX = mouseX;
    prevMouseY = mouseY;
    mouseX = x;
    mouseY = y;
    applyMouse(button, 0);
}

void mouseMotion(int x, int y) {
    if (mouseState != buttonDown) return;  // a drag after a release is ignored
    prevMouseX = mouseX;
    prevMouseY = mouseY;
    mouseX = x;
    mouseY = y;
    applyMouse(leftButton, 1);  // every drag acts as a left-button drag
}
