// CommandLine.h - the program's own options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Settings.h"

struct CommandLine {
    bool help = false;
    bool version = false;     // --version
    bool headless = false;
    std::string recordPath;   // --record FILE
    std::string replayPath;   // --replay FILE or LINK
    std::string pngPath;      // --png FILE (headless)
    std::string framesDir;    // --frames DIR (headless)
    std::string videoPath;    // --video OUT (headless)
    long long extraSteps = 0; // --steps K (headless)
    // --dt, --diff, --viscosity, --sources, --palette: the settings to start
    // with, sources first (diff's range depends on them), each allowed there.
    std::vector<Setting> settings;
    bool autoMotion = false;   // --auto SEED
    std::uint64_t autoSeed = 0;
};

// Takes the program's own options (--name, and -h) out of argv and leaves the
// others, in order, for the window system, whose wing checks them in the
// window's mode (a headless run takes none). False with a one-line message
// when an option is unknown, lacks its value, is repeated or does not fit the
// mode.
bool takeCommandLine(int& argc, char** argv, CommandLine& options, std::string& error);

// The usage, with the palettes' names.
std::string usageText();

// "fluid VERSION\n", the version being the project's (CMakeLists.txt).
std::string versionText();

// The settings a run starts with: the defaults with the command line's.
SettingsState startSettings(const CommandLine& options);

// Applies the command line's settings through the one funnel, so that a
// recording holds them at step 0, and starts the motion generator if asked.
void applyStartOptions(const CommandLine& options);
