// Settings.cpp - the run-time settings: names, ranges, reading and writing.
#include "Settings.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Fluid.h"
#include "FieldPicture.h"
#include "Palette.h"

int sourcesCleared = 0;

namespace {

const char* const settingNames[] = {"dt", "diff", "viscosity", "sources", "palette"};
const char* const sourcesNames[] = {"kept", "cleared"};

using Range = SettingRange;
constexpr Range dtRange{0.001f, 0.5f};
constexpr Range diffRange{0.0f, 10.0f};
constexpr Range viscosityRange{0.0f, 10.0f};

const char* nameOf(SettingKind kind) { return settingNames[static_cast<int>(kind)]; }

// A decimal that reads back as the same float: the plain %g form where it
// does (0.2, 10, 0.001), else nine significant digits, which always do.
std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    if (std::strtof(text, nullptr) != value) std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string rangeText(Range r) { return "from " + number(r.low) + " to " + number(r.high); }

Range rangeOf(SettingKind kind, int cleared) {
    switch (kind) {
        case SettingKind::dt: return dtRange;
        case SettingKind::diff: return cleared ? diffRange : Range{keptSourcesMinDiff, diffRange.high};
        default: return viscosityRange;
    }
}

std::string rangeMessage(SettingKind kind, int cleared) {
    std::string text = std::string(nameOf(kind)) + " takes a number " + rangeText(rangeOf(kind, cleared));
    if (kind == SettingKind::diff && !cleared) text += " while the sources are kept (from 0 when cleared)";
    return text;
}

bool isNumeric(SettingKind kind) { return kind == SettingKind::dt || kind == SettingKind::diff || kind == SettingKind::viscosity; }

}  // namespace

SettingsState defaultSettings() { return SettingsState{0.2f, 0.5f, 0.0f, 0, 0}; }

SettingsState currentSettings() { return SettingsState{dt, diff, viscosity, sourcesCleared, palette}; }

bool parseSetting(const std::string& name, const std::string& text, Setting& setting, std::string& error) {
    int found = -1;
    for (int k = 0; k < 5; ++k)
        if (name == settingNames[k]) found = k;
    if (found < 0) {
        error = "unknown setting '" + name + "'; the settings are dt, diff, viscosity, sources and palette";
        return false;
    }
    setting.kind = static_cast<SettingKind>(found);
    if (setting.kind == SettingKind::sources) {
        for (int k = 0; k < 2; ++k)
            if (text == sourcesNames[k]) {
                setting.value = static_cast<float>(k);
                return true;
            }
        error = "sources takes kept or cleared, not '" + text + "'";
        return false;
    }
    if (setting.kind == SettingKind::palette) {
        const int index = paletteIndex(text);
        if (index < 0) {
            error = "palette takes " + paletteNameList() + ", not '" + text + "'";
            return false;
        }
        setting.value = static_cast<float>(index);
        return true;
    }
    // A decimal number, all of the text; no NaN, infinity or hexadecimal.
    const bool plain = !text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string::npos;
    char* end = nullptr;
    const double value = plain ? std::strtod(text.c_str(), &end) : 0.0;
    const Range widest = rangeOf(setting.kind, 1);
    if (!plain || end != text.c_str() + text.size() || !std::isfinite(value) ||
        static_cast<float>(value) < widest.low || static_cast<float>(value) > widest.high) {
        error = rangeMessage(setting.kind, 1) + ", not '" + text + "'";
        return false;
    }
    setting.value = static_cast<float>(value) + 0.0f;  // -0 is 0
    return true;
}

bool allowSetting(SettingsState& state, const Setting& setting, std::string& error) {
    if (isNumeric(setting.kind)) {
        const Range r = rangeOf(setting.kind, state.sourcesCleared);
        if (!(setting.value >= r.low && setting.value <= r.high)) {
            error = rangeMessage(setting.kind, state.sourcesCleared) + ", not " + number(setting.value);
            return false;
        }
    }
    if (setting.kind == SettingKind::sources && setting.value == 0.0f && state.diff < keptSourcesMinDiff) {
        error = "sources kept needs diff from " + number(keptSourcesMinDiff) + " (diff is " + number(state.diff) + ")";
        return false;
    }
    switch (setting.kind) {
        case SettingKind::dt: state.dt = setting.value; break;
        case SettingKind::diff: state.diff = setting.value; break;
        case SettingKind::viscosity: state.viscosity = setting.value; break;
        case SettingKind::sources: state.sourcesCleared = static_cast<int>(setting.value); break;
        case SettingKind::palette: state.palette = static_cast<int>(setting.value); break;
    }
    return true;
}

void applySetting(const Setting& setting) {
    switch (setting.kind) {
        case SettingKind::dt: dt = setting.value; break;
        case SettingKind::diff: diff = setting.value; break;
        case SettingKind::viscosity: viscosity = setting.value; break;
        case SettingKind::sources: sourcesCleared = static_cast<int>(setting.value); break;
        case SettingKind::palette: palette = static_cast<int>(setting.value); break;
    }
}

std::string formatSetting(const Setting& setting) {
    const std::string name = nameOf(setting.kind);
    switch (setting.kind) {
        case SettingKind::sources: return name + " " + sourcesNames[setting.value != 0.0f ? 1 : 0];
        case SettingKind::palette: return name + " " + paletteNames[static_cast<int>(setting.value)];
        default: return name + " " + number(setting.value);
    }
}

void clearSourcesIfAsked() {
    if (!sourcesCleared) return;
    for (int k = 0; k < cellsPerField; ++k) u_prev[k] = v_prev[k] = dens_prev[k] = 0.0f;
}

void presetSettings(const Preset& preset, Setting (&settings)[4]) {
    const Setting sources{SettingKind::sources, static_cast<float>(preset.sourcesCleared)};
    const Setting numbers[3] = {{SettingKind::dt, preset.dt}, {SettingKind::diff, preset.diff},
                                {SettingKind::viscosity, preset.viscosity}};
    // Cleared sources before a diff below the kept sources' bound; kept ones
    // after a diff within it.
    const int first = preset.sourcesCleared ? 1 : 0;
    for (int k = 0; k < 3; ++k) settings[first + k] = numbers[k];
    settings[preset.sourcesCleared ? 0 : 3] = sources;
}

SettingRange settingRange(SettingKind kind, int sourcesCleared) { return rangeOf(kind, sourcesCleared); }

const char* settingName(SettingKind kind) { return nameOf(kind); }
