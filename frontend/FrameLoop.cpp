// FrameLoop.cpp - one frame: the replayed events due, at most one simulation
// step with the density total and the optional console dump, then the
// drawing and its presentation; the size changes; and the redraw driving.
// The drawing, the presentation and the timer are the platform's
// (Platform.h): the desktop's GL side is in desktop/, the page's in web/.
#include "FrameLoop.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "FieldPicture.h"
#include "FrontEndState.h"
#include "Platform.h"
#include "SessionPlayback.h"
#include "Fluid.h"

// One line per i from the top (n + 1) down to 0, one value per j, as on screen.
void printField(int n, const float* field) {
    for (int i = n + 1; i >= 0; --i) {
        for (int j = 0; j <= n + 1; ++j) std::printf("%f ", static_cast<double>(field[i + (n + 2) * j]));
        std::printf("\n");
    }
}

namespace {

// Prints the fields and the total; false when writing or flushing the output
// failed (errno says why).
bool dumpFields() {
    std::printf("\n\nDensity Field\n");
    printField(N, dens);
    std::printf("\n\nu Field\n");
    printField(N, u);
    std::printf("\n\nv Field\n");
    printField(N, v);
    std::printf("\n\nTotal Density: %f\n", static_cast<double>(totalDensity));
    // A reader on a pipe sees each dump as it happens.
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

// A dump that cannot be written is reported once and turned off; pressing c
// again tries again. (A closed pipe ends the program by SIGPIPE, as for any
// Unix program.)
void dumpOrTurnOff() {
    if (dumpFields()) return;
    const int error = errno;
    std::fprintf(stderr, "fluid: cannot write the field dump: %s; dump turned off\n", std::strerror(error));
    std::clearerr(stdout);
    printFields = 0;
}

}  // namespace

bool advanceSimulation() {
    if (!simulate && !stepOnce) return false;
    gpuCalcFluid();
    ++stepsCompleted;
    totalDensity = sumInteriorDensity();
    if (printFields) dumpOrTurnOff();
    stepOnce = 0;
    return true;
}

void displayFrame() {
    playDueEvents();  // a replayed session's events come just before the step they preceded
    advanceSimulation();
    platform.drawFrame();
    platform.presentFrame();
}

void reshapeWindow(int width, int height) {
    setWindowSize(width, height);
    platform.fitDrawing(width, height);
    platform.requestRedraw();
}

void idleRedraw() { platform.requestRedraw(); }

void timerRedraw(int value) {
    platform.requestRedraw();
    platform.rearmTimer(static_cast<unsigned>(1000 / framesPerSecond), value);
}
