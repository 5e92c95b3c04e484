// Keyboard.cpp - single-key commands. Keys are matched by exact character
// code (upper and lower case differ); Esc quits through the platform, and
// every other key ends with a redraw request, also keys without a command. What the run and pause keys do is
// defined once, in InputCodes.h, where the session checker reads it too.
#include "Keyboard.h"

#include "FrontEndState.h"
#include "InputCodes.h"
#include "Platform.h"
#include "Fluid.h"

const int forceRow = 64;

namespace {
void toggle(int& flag) { flag = flag == 0 ? 1 : 0; }
}  // namespace

void keyboardCommand(unsigned char key, int, int) {
    switch (key) {
        case escapeKey:
            quitProgram();  // the platform decides what ending means
            return;         // no redraw
        case pauseKey:
        case stepKey: {
            const RunState after = runStateAfterKey(RunState{simulate != 0, stepOnce != 0}, key);
            simulate = after.running ? 1 : 0;
            stepOnce = after.stepOnce ? 1 : 0;
            break;
        }
        case editWallsKey: toggle(editBoundary); break;
        case obstaclesKey: toggle(showBoundary); break;
        case dumpKey: toggle(printFields); break;
        case densityKey: toggle(showDensity); break;
        case sourceKey:
            // A fixed source at (1, forceRow); assignments, not additions.
            dens_prev[IX(1, forceRow)] = static_cast<float>(N) * cellSize;
            v_prev[IX(1, forceRow)] = cellSize;
            break;
        case gridKey: toggle(showGrid); break;
        case resetKey: resetFields(); break;
        case velocityKey: toggle(showVelocity); break;
        default: break;
    }
    platform.requestRedraw();
}
