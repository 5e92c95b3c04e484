// WebExports.cpp - the functions the page calls on the program: what it
// reads of the program's state, the names of the program's keys, buttons
// and flags, and the page's own input (touch, on-screen controls, the keys
// the browser reports), which goes in as live input like GLUT's callbacks,
// so that it is recorded and replayed like them.
#include <GL/glut.h>
#include <emscripten.h>

#include <cstdio>
#include <string>

#include "FrontEndState.h"
#include "InputCodes.h"
#include "LiveInput.h"
#include "SessionPlayback.h"
#include "WebPlatform.h"

namespace {

// The flags the on-screen controls show, by the page's names; bit k of
// webFlags() is entry k.
struct NamedFlag {
    const char* name;
    bool (*value)();
};
const NamedFlag flags[] = {
    {"simulate", [] { return simulate != 0; }},      {"density", [] { return showDensity != 0; }},
    {"boundary", [] { return showBoundary != 0; }},  {"velocity", [] { return showVelocity != 0; }},
    {"grid", [] { return showGrid != 0; }},          {"walls", [] { return editBoundary != 0; }},
    {"dump", [] { return printFields != 0; }},       {"recording", [] { return recording(); }},
    {"stopped", [] { return programEnded != 0; }},
};

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string inputNamesJson() {
    std::string json = "{\"commands\":[";
    bool first = true;
    for (const KeyCommand& command : keyCommands) {
        json += first ? "" : ",";
        first = false;
        json += "{\"name\":" + quoted(command.name) + ",\"key\":" + quoted(std::string(1, static_cast<char>(command.key))) +
                "}";
    }
    json += "],\"buttons\":{\"left\":" + std::to_string(leftButton) + ",\"middle\":" + std::to_string(middleButton) +
            ",\"right\":" + std::to_string(rightButton) + "},\"states\":{\"down\":" + std::to_string(buttonDown) +
            ",\"up\":" + std::to_string(buttonUp) + "},\"flags\":[";
    first = true;
    for (const NamedFlag& flag : flags) {
        json += (first ? "" : ",") + quoted(flag.name);
        first = false;
    }
    return json + "]}";
}

}  // namespace

extern "C" {
EMSCRIPTEN_KEEPALIVE double webFramesDrawn() { return static_cast<double>(framesDrawn); }
EMSCRIPTEN_KEEPALIVE double webStepsCompleted() { return static_cast<double>(stepsCompleted); }
EMSCRIPTEN_KEEPALIVE int webReplayPending() { return replayPending() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int webSimulating() { return simulate; }

// The flags the on-screen controls show, one bit each, in the order of the
// names webInputNames() gives.
EMSCRIPTEN_KEEPALIVE int webFlags() {
    int bits = 0;
    for (int k = 0; k < static_cast<int>(sizeof flags / sizeof flags[0]); ++k) bits |= (flags[k].value() ? 1 : 0) << k;
    return bits;
}

// The program's names for its input, as JSON: the command keys
// ({"name", "key"} with the key as a one-character string), the button
// numbers and states that webButton takes, and the flag names, bit k of
// webFlags() being flags[k].
EMSCRIPTEN_KEEPALIVE const char* webInputNames() {
    static const std::string json = inputNamesJson();
    return json.c_str();
}

// A key from the page (an on-screen control, or the character the browser
// reports for a key press), as the keyboard callback gets it.
EMSCRIPTEN_KEEPALIVE void webKey(int key) { liveKeyboard(static_cast<unsigned char>(key), 0, 0); }

// A finger as a mouse button (the numbering webInputNames() gives) and as a
// drag, in canvas pixels.
EMSCRIPTEN_KEEPALIVE void webButton(int button, int state, int x, int y) { liveMouseButton(button, state, x, y); }
EMSCRIPTEN_KEEPALIVE void webMotion(int x, int y) { liveMouseMotion(x, y); }

// The page has laid the canvas out at this many pixels: the window's reshape.
EMSCRIPTEN_KEEPALIVE void webResize(int width, int height) {
    if (!programEnded) glutReshapeWindow(width, height);
}

// Ends the recording (its `end` line) without ending the program.
EMSCRIPTEN_KEEPALIVE void webStopRecording() { stopRecording(); }
}
