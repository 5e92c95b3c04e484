// Settings.h - what a user may set at run time: the solver's time step
// `dt`, the density's diffusion rate `diff` and the velocity's `viscosity`,
// what happens to the three source fields after a step, and the palette the
// density is drawn in (Palette.h).
//
// A setting is input like a key: given on the command line or in the page's
// URL it is applied, and recorded, before the first step; changed while
// running it goes through the one funnel (SessionPlayback.h) and is recorded
// as `STEP set NAME VALUE`, numbers with nine significant digits, so that
// each float reads back to the very same value. With none given, the
// program is exactly the default one.
//
// Ranges. Each is where the solver stays finite over long runs (tens of
// thousands of steps) under the strongest input the program makes: the
// source key, right clicks at every step in the largest window (cellSize
// 130) and drags of any length (tested in SettingsTest.cpp):
//   dt         0.001 to 0.5    with kept sources and the longest drags at
//              every step, the velocity grows without bound from about 0.7
//              (at 1 it is infinite within 6000 steps)
//   diff       0 to 10, and from 0.1 while the sources are kept: a kept
//              source re-adds the density every step, and below about 0.05
//              only diffusion out of the grid holds that growth (at 0.01 it
//              reaches infinity within 2000 steps)
//   viscosity  0 to 10
//   sources    kept (each step's leftovers are next step's sources, the
//              default) or cleared (set to zero right after each step, so
//              that a step adds only what input wrote since)
#pragma once

#include <string>

enum class SettingKind { dt, diff, viscosity, sources, palette };

struct Setting {
    SettingKind kind = SettingKind::dt;
    float value = 0.0f;  // the number; sources: 0 kept, 1 cleared; palette: its index (Palette.h)
};

// Every setting's value at one moment.
struct SettingsState {
    float dt, diff, viscosity;
    int sourcesCleared;
    int palette;
};

extern int sourcesCleared;  // 0 or 1: the source fields are zeroed after each step

constexpr float keptSourcesMinDiff = 0.1f;

SettingsState defaultSettings();  // 0.2, 0.5, 0, kept, bands
SettingsState currentSettings();  // the globals now

// The setting named `name` (dt, diff, viscosity, sources, palette) with the
// value `text`; false with a message naming it and its range when either is
// not one.
bool parseSetting(const std::string& name, const std::string& text, Setting& setting, std::string& error);

// Whether `setting` may be applied where the settings are `state` (diff's
// lower bound depends on the sources); false with a message naming the
// setting and its range. Applies it to `state` when it may.
bool allowSetting(SettingsState& state, const Setting& setting, std::string& error);

// Applies the setting to the globals; the caller has allowed it.
void applySetting(const Setting& setting);

// `NAME VALUE` as a session line writes it.
std::string formatSetting(const Setting& setting);

// Zeroes the three source fields, when sourcesCleared says so.
void clearSourcesIfAsked();

// Named sets of the solver settings, for the page's panel and the README:
// the program's own values first, then ones that show the fluid well.
struct Preset {
    const char* name;
    float dt, diff, viscosity;
    int sourcesCleared;
};
constexpr Preset presets[] = {
    {"standard", 0.2f, 0.5f, 0.0f, 0},     // the program as it starts: blurred, fading density
    {"ink", 0.2f, 0.0f, 0.0f, 1},          // no diffusion: ink that curls and stays sharp
    {"thin", 0.2f, 0.00002f, 0.0f, 1},     // a little diffusion: soft edges, free swirls
    {"thick", 0.2f, 0.00001f, 0.002f, 1},  // viscous: slow, smooth, damped swirls
};

// The settings a preset sets, in an order each is allowed in from any
// settings: what a panel applies one by one.
void presetSettings(const Preset& preset, Setting (&settings)[4]);

// The range a numeric setting may take where the sources are as given.
struct SettingRange {
    float low, high;
};
SettingRange settingRange(SettingKind kind, int sourcesCleared);
const char* settingName(SettingKind kind);
