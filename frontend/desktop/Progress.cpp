// Progress.cpp - the progress line: throttled, because a fast run draws
// hundreds of frames a second and a terminal needs no more than ten lines.
#include "Progress.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>

namespace {

using ProgressClock = std::chrono::steady_clock;
constexpr double progressInterval = 0.1;  // seconds between rewrites

bool progressShown = false;
bool progressWritten = false;
long long progressTotal = 0;
ProgressClock::time_point progressStart, progressLast;

}  // namespace

std::string progressText(long long done, long long total, double seconds) {
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    char text[96];
    if (rate > 0) {
        const long long left = std::llround(static_cast<double>(total - done) / rate);
        std::snprintf(text, sizeof text, "frame %lld/%lld, %.1f frames/s, %lld s left", done, total, rate, left);
    } else {
        std::snprintf(text, sizeof text, "frame %lld/%lld", done, total);
    }
    return text;
}

bool progressWanted(int fd) { return isatty(fd) == 1; }

void startProgress(long long total, bool shown) {
    progressShown = shown;
    progressWritten = false;
    progressTotal = total;
    progressStart = progressLast = ProgressClock::now();
}

void reportProgress(long long done) {
    if (!progressShown) return;
    const auto now = ProgressClock::now();
    if (done < progressTotal && std::chrono::duration<double>(now - progressLast).count() < progressInterval) return;
    progressLast = now;
    const double seconds = std::chrono::duration<double>(now - progressStart).count();
    // The spaces wipe what a longer earlier line left.
    std::fprintf(stderr, "\r%s   ", progressText(done, progressTotal, seconds).c_str());
    std::fflush(stderr);
    progressWritten = true;
}

void endProgress() {
    if (progressWritten) std::fputc('\n', stderr);
    progressWritten = false;
}
