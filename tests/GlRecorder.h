// GlRecorder.h - a recording stand-in for the GL and GLUT calls the front end
// makes. Linked instead of the real libraries, it lets tests run the display,
// reshape and input callbacks without a display and inspect what they drew.
#pragma once

#include <string>
#include <vector>

namespace glrecorder {

struct Call {
    std::string name;
    std::vector<double> args;
};

extern std::vector<Call> calls;
extern int redisplayRequests;
extern int swapCount;
extern int maxTextureSize;  // what GL_MAX_TEXTURE_SIZE reports

// What glutCreateWindow and the callback registrations were given.
struct GlutCallbacks {
    void (*display)() = nullptr;
    void (*reshape)(int, int) = nullptr;
    void (*idle)() = nullptr;
    void (*keyboard)(unsigned char, int, int) = nullptr;
    void (*mouse)(int, int, int, int) = nullptr;
    void (*motion)(int, int) = nullptr;
};
extern std::string windowTitle;
extern GlutCallbacks callbacks;

void reset();
// Forgets every texture and program, as a new GL context has none.
void newContext();
// Calls whose name matches, in order.
std::vector<Call> named(const std::string& name);

}  // namespace glrecorder
