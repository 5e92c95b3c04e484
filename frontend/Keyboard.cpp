// Keyboard.cpp - single-key commands. Keys are matched by exact character
// code (upper and lower case differ); every key but Esc ends with a redraw
// request, also keys without a command.
#include <cstdlib>

#include "FrontEnd.h"
#include "Platform.h"
#include "Fluid.h"

namespace {
void toggle(int& flag) { flag = flag == 0 ? 1 : 0; }
}  // namespace

void keyboardCommand(unsigned char key, int, int) {
    switch (key) {
        case 27:
            std::exit(0);  // the standard exit, so that exit handlers run
        case ' ': stepOnce = 1; break;
        case 'B': toggle(editBoundary); break;
        case 'b': toggle(showBoundary); break;
        case 'c': toggle(printFields); break;
        case 'd': toggle(showDensity); break;
        case 'f':
            // A fixed source at (1, forceRow); assignments, not additions.
            dens_prev[IX(1, forceRow)] = static_cast<float>(N) * cellSize;
            v_prev[IX(1, forceRow)] = cellSize;
            break;
        case 'g': toggle(showGrid); break;
        case 'r': resetFields(); break;
        case 's': toggle(simulate); break;
        case 'v': toggle(showVelocity); break;
        default: break;
    }
    platform.requestRedraw();
}
