// AutoMotion.cpp - the generator: splitmix64 for the numbers, quadratic
// Bezier curves for the drags.
#include "AutoMotion.h"

#include "FrontEndState.h"
#include "InputCodes.h"
#include "SessionPlayback.h"

int autoMotion = 0;

namespace {

std::uint64_t state = 0;

std::uint64_t nextNumber() {
    state += 0x9e3779b97f4a7c15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}
// In [0, 1), from the top 53 bits.
double unit() { return static_cast<double>(nextNumber() >> 11) * (1.0 / 9007199254740992.0); }
// A whole number in [low, high].
int between(int low, int high) { return low + static_cast<int>(nextNumber() % static_cast<std::uint64_t>(high - low + 1)); }

struct Point {
    double x, y;  // fractions of the window's width and height, y from the top
};
// Away from the edges, where the grid's border cells would take the pushes.
Point somewhere() { return Point{0.12 + 0.76 * unit(), 0.12 + 0.76 * unit()}; }

// A drag under way: the curve from `from` through the pull of `via` to `to`,
// `length` steps long, at step `at` of it.
struct Stroke {
    Point from, via, to;
    int length = 0, at = 0;
};
Stroke stroke;
bool holding = false;      // the generator's left button is down
bool sending = false;      // an event of the generator's own is in the funnel
bool userHolding = false;  // the latest button event not the generator's was a press
int nextStrokeIn = 0;      // steps until the next drag starts
int nextClickIn = 0;       // steps until the next right click

Point along(const Stroke& s, double t) {
    const double a = (1.0 - t) * (1.0 - t), b = 2.0 * (1.0 - t) * t, c = t * t;
    return Point{a * s.from.x + b * s.via.x + c * s.to.x, a * s.from.y + b * s.via.y + c * s.to.y};
}

// Window pixels for a point: the cell under it is the same at every size.
int pixelX(const Point& p) { return static_cast<int>(p.x * windowWidth); }
int pixelY(const Point& p) { return static_cast<int>(p.y * windowHeight); }

void send(SessionEventKind kind, int button, const Point& p) {
    SessionEvent event;
    event.kind = kind;
    event.button = button;
    event.x = pixelX(p);
    event.y = pixelY(p);
    sending = true;
    applySessionEvent(event);
    sending = false;
}

void endStroke(const Point& at) {
    send(SessionEventKind::Release, leftButton, at);
    holding = false;
    nextStrokeIn = between(20, 80);
}

void stepStroke() {
    if (holding && editBoundary) {  // obstacles are being edited: let go
        endStroke(along(stroke, static_cast<double>(stroke.at) / stroke.length));
        return;
    }
    if (!holding) {
        if (--nextStrokeIn > 0 || editBoundary) return;
        stroke = Stroke{somewhere(), somewhere(), somewhere(), between(40, 100), 0};
        send(SessionEventKind::Press, leftButton, stroke.from);
        holding = true;
        return;
    }
    ++stroke.at;
    const Point p = along(stroke, static_cast<double>(stroke.at) / stroke.length);
    send(SessionEventKind::Drag, leftButton, p);
    if (stroke.at == stroke.length) endStroke(p);
}

// Clicks come between drags: a right click during one would end it.
void stepClick() {
    if (nextClickIn > 1) {
        --nextClickIn;
        return;
    }
    if (holding) return;
    const Point p = somewhere();
    send(SessionEventKind::Press, rightButton, p);
    send(SessionEventKind::Release, rightButton, p);
    nextClickIn = between(30, 90);
}

}  // namespace

void startAutoMotion(std::uint64_t seed) {
    if (holding) stopAutoMotion();
    state = seed;
    holding = false;
    nextStrokeIn = between(1, 30);
    nextClickIn = between(1, 30);
    autoMotion = 1;
}

void stopAutoMotion() {
    if (holding) endStroke(along(stroke, static_cast<double>(stroke.at) / stroke.length));
    autoMotion = 0;
}

void autoMotionBeforeStep() {
    if (!autoMotion) return;
    // The user's own press and drag come first: the generator waits.
    if (userHolding && !holding) return;
    stepStroke();
    stepClick();
}

void noteButtonEvent(bool press) {
    if (!sending) userHolding = press;
}
