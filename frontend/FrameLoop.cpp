// FrameLoop.cpp - one frame: the replayed events due, at most one simulation
// step with the density total and the optional console dump, the events
// recorded before the next step, then the drawing and its presentation; and
// the redraw driving. The drawing, the presentation and the timer are the
// platform's (Platform.h): the desktop's GL side is in desktop/, the page's
// in web/.
#include "FrameLoop.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "AutoMotion.h"
#include "FrontEndState.h"
#include "Platform.h"
#include "SessionPlayback.h"
#include "Settings.h"
#include "Fluid.h"

float sumInteriorDensity() {
    float total = 0.0f;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j) total = total + dens[IX(i, j)];
    return total;
}

void appendField(std::string& out, int n, const float* field) {
    char value[64];  // "%f " of the largest float is 48 characters
    for (int i = n + 1; i >= 0; --i) {
        for (int j = 0; j <= n + 1; ++j) {
            const int length = std::snprintf(value, sizeof value, "%f ", static_cast<double>(field[i + (n + 2) * j]));
            out.append(value, static_cast<std::size_t>(length));
        }
        out += '\n';
    }
}

void printField(int n, const float* field) {
    std::string text;
    appendField(text, n, field);
    std::fputs(text.c_str(), stdout);
}

bool writeStandardOutput(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    // A reader on a pipe sees each dump as it happens.
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

namespace {

// The fields and the total, one step's dump in one piece (Platform::writeDump);
// false when writing it failed (errno says why).
bool dumpFields() {
    static std::string text;  // kept, so that its room is made once
    text.clear();
    text += "\n\nDensity Field\n";
    appendField(text, N, dens);
    text += "\n\nu Field\n";
    appendField(text, N, u);
    text += "\n\nv Field\n";
    appendField(text, N, v);
    char total[80];
    std::snprintf(total, sizeof total, "\n\nTotal Density: %f\n", static_cast<double>(totalDensity));
    text += total;
    return platform.writeDump(text);
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

bool advanceSimulation(Stepping stepping) {
    const bool asked = simulate || stepOnce;
    if (stepping == Stepping::never || (stepping == Stepping::whenAsked && !asked)) return false;
    autoMotionBeforeStep();
    gpuCalcFluid();
    clearSourcesIfAsked();
    ++stepsCompleted;
    totalDensity = sumInteriorDensity();
    if (printFields) dumpOrTurnOff();
    stepOnce = 0;
    return true;
}

bool runFrame(Stepping stepping) {
    if (programEnded) return false;
    playDueEvents();  // a replayed session's events come just before the step they preceded
    const bool stepped = advanceSimulation(stepping);
    playDueEvents();
    platform.drawFrame();
    platform.presentFrame();
    return stepped;
}

void displayFrame() { runFrame(Stepping::whenAsked); }

void idleRedraw() { platform.requestRedraw(); }

void timerRedraw(int value) {
    platform.requestRedraw();
    platform.rearmTimer(static_cast<unsigned>(1000 / framesPerSecond), value);
}
