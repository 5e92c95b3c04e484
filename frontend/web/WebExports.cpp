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
#include "AutoMotion.h"
#include "LiveInput.h"
#include "Palette.h"
#include "Settings.h"
#include "ShareLink.h"
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

// The settings' names, ranges, choices and presets, and the values now, as
// JSON: what the page's settings panel is built from.
std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string settingsJson() {
    const SettingKind numeric[] = {SettingKind::dt, SettingKind::diff, SettingKind::viscosity};
    const SettingsState now = currentSettings();
    const float values[] = {now.dt, now.diff, now.viscosity};
    std::string json = "{\"numbers\":[";
    for (int k = 0; k < 3; ++k) {
        const SettingRange cleared = settingRange(numeric[k], 1), kept = settingRange(numeric[k], 0);
        json += std::string(k ? "," : "") + "{\"name\":" + quoted(settingName(numeric[k])) +
                ",\"low\":" + number(cleared.low) + ",\"keptLow\":" + number(kept.low) +
                ",\"high\":" + number(cleared.high) + ",\"value\":" + number(values[k]) + "}";
    }
    json += "],\"sourcesCleared\":" + std::to_string(now.sourcesCleared) + ",\"palette\":" +
            quoted(paletteNames[now.palette]) + ",\"palettes\":[";
    for (int k = 0; k < paletteCount; ++k) json += (k ? "," : "") + quoted(paletteNames[k]);
    json += "],\"presets\":[";
    bool first = true;
    for (const Preset& p : presets) {
        json += std::string(first ? "" : ",") + "{\"name\":" + quoted(p.name) + ",\"dt\":" + number(p.dt) +
                ",\"diff\":" + number(p.diff) + ",\"viscosity\":" + number(p.viscosity) +
                ",\"sourcesCleared\":" + std::to_string(p.sourcesCleared) + "}";
        first = false;
    }
    return json + "],\"auto\":" + std::to_string(autoMotion) + ",\"shareLinkMarker\":" + quoted(shareLinkMarker) +
           ",\"maxLinkSessionBytes\":" + std::to_string(maxLinkSessionBytes) +
           ",\"maxShareLinkLength\":" + std::to_string(maxShareLinkLength) + "}";
}

std::string lastRefusal;

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

// The settings panel's description and the values now (settingsJson).
EMSCRIPTEN_KEEPALIVE const char* webSettings() {
    static std::string json;
    json = settingsJson();
    return json.c_str();
}

// A setting from the panel, by name and value as a session line writes them
// ("diff", "0.0001"; "sources", "cleared"; "palette", "ember"), through the
// one funnel. Returns "" when applied, else the refusal in one sentence.
EMSCRIPTEN_KEEPALIVE const char* webSet(const char* name, const char* value) {
    Setting setting;
    lastRefusal.clear();
    if (parseSetting(name, value, setting, lastRefusal)) liveSetting(setting, lastRefusal);
    return lastRefusal.c_str();
}

// A preset by its index in webSettings().presets, its settings one by one.
EMSCRIPTEN_KEEPALIVE const char* webPreset(int index) {
    lastRefusal.clear();
    if (index < 0 || index >= static_cast<int>(sizeof presets / sizeof presets[0])) {
        lastRefusal = "no such preset";
        return lastRefusal.c_str();
    }
    Setting settings[4];
    presetSettings(presets[index], settings);
    for (const Setting& setting : settings)
        if (!liveSetting(setting, lastRefusal)) break;
    return lastRefusal.c_str();
}

// The motion generator on from a seed (0 to 4294967295), or off.
EMSCRIPTEN_KEEPALIVE void webAuto(int on, double seed) {
    if (on)
        startAutoMotion(static_cast<std::uint64_t>(seed));
    else
        stopAutoMotion();
}

// Ends the recording (its `end` line) without ending the program.
EMSCRIPTEN_KEEPALIVE void webStopRecording() { stopRecording(); }
}
