// CommandLine.cpp - parsing the program's own options.
#include "CommandLine.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "AutoMotion.h"
#include "Palette.h"
#include "Session.h"
#include "SessionPlayback.h"

std::string usageText() {
    return "usage: fluid [--record FILE] [--replay FILE|LINK] [SETTINGS] [GLUT options such as -display, -geometry]\n"
           "       fluid --headless [--replay FILE|LINK] [--steps K] [--png OUT.png] [--frames DIR] [--video OUT]\n"
           "             [SETTINGS]\n"
           "  --record FILE  write every input event to FILE, with the number of steps before it\n"
           "  --replay FILE  replay the session in FILE, then hand over to the user\n"
           "  --replay LINK  replay the session in a share link (an address with #session=...)\n"
           "  --headless     no window and no X server: replay offscreen, write pictures\n"
           "  --steps K      after the replay, run K more steps (default 0), also when paused\n"
           "  --png FILE     write the last frame as a PNG image\n"
           "  --frames DIR   write every frame as DIR/frame-000001.png, DIR/frame-000002.png, ...\n"
           "  --video OUT    write every frame to the video OUT (.mp4, .webm or .gif), 60 frames a second\n"
           "  --help         print this text\n"
           "  --version      print the program's name and version\n"
           "SETTINGS, applied and recorded before the first step:\n"
           "  --dt X         time step, 0.001 to 0.5 (default 0.2)\n"
           "  --diff X       density diffusion, 0 to 10, from 0.1 with kept sources (default 0.5)\n"
           "  --viscosity X  velocity diffusion, 0 to 10 (default 0)\n"
           "  --sources kept|cleared  keep what a step leaves in the sources (default) or clear them\n"
           "  --palette " + paletteNameList() + "  the density's colours (default bands)\n"
           "  --auto SEED    add sources by themselves, from the whole number SEED (0 to 4294967295)\n";
}

std::string versionText() { return std::string("fluid ") + FLUID_VERSION + "\n"; }

namespace {

bool takeValue(int& at, int argc, char** argv, std::string& value, std::string& error) {
    const std::string name = argv[at];
    if (!value.empty()) {
        error = name + " given twice";
        return false;
    }
    // A value that looks like an option (--name, -h, -display) is one: the
    // value was left out, and a file must not be named after the option.
    const char* next = at + 1 < argc ? argv[at + 1] : nullptr;
    const bool looksLikeOption =
        next && next[0] == '-' && (next[1] == '-' || std::isalpha(static_cast<unsigned char>(next[1])));
    if (!next || next[0] == '\0' || looksLikeOption) {
        error = name + " needs a value" + (looksLikeOption ? std::string(", not the option '") + next + "'" : "");
        return false;
    }
    value = argv[++at];
    return true;
}

}  // namespace

SettingsState startSettings(const CommandLine& options) {
    SettingsState state = defaultSettings();
    std::string unused;
    for (const Setting& setting : options.settings) allowSetting(state, setting, unused);
    return state;
}

bool takeCommandLine(int& argc, char** argv, CommandLine& options, std::string& error) {
    int kept = 1;
    std::string steps, autoSeed;
    const char* const settingOptions[] = {"--sources", "--dt", "--diff", "--viscosity", "--palette"};
    std::string settingValues[5];
    for (int at = 1; at < argc; ++at) {
        const std::string arg = argv[at];
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--headless") {
            if (options.headless) error = "--headless given twice";
            ok = !options.headless;
            options.headless = true;
        } else if (arg == "--record") {
            ok = takeValue(at, argc, argv, options.recordPath, error);
        } else if (arg == "--replay") {
            ok = takeValue(at, argc, argv, options.replayPath, error);
        } else if (arg == "--png") {
            ok = takeValue(at, argc, argv, options.pngPath, error);
        } else if (arg == "--frames") {
            ok = takeValue(at, argc, argv, options.framesDir, error);
        } else if (arg == "--video") {
            ok = takeValue(at, argc, argv, options.videoPath, error);
        } else if (arg == "--steps") {
            ok = takeValue(at, argc, argv, steps, error);
            if (ok && !parseWholeNumber(steps, 0, maxSessionStep, options.extraSteps)) {
                error = "--steps needs a whole number from 0 to 2147483647, not '" + steps + "'";
                ok = false;
            }
        } else if (arg == "--auto") {
            ok = takeValue(at, argc, argv, autoSeed, error);
            long long seed = 0;
            if (ok && !parseWholeNumber(autoSeed, 0, 4294967295LL, seed)) {
                error = "--auto needs a whole number from 0 to 4294967295, not '" + autoSeed + "'";
                ok = false;
            }
            options.autoMotion = true;
            options.autoSeed = static_cast<std::uint64_t>(seed);
        } else if (const char* const* named = std::find(std::begin(settingOptions), std::end(settingOptions), arg);
                   named != std::end(settingOptions)) {
            std::string& value = settingValues[named - settingOptions];
            if (at + 1 < argc && argv[at + 1][0] == '\0' && value.empty()) {
                Setting setting;
                parseSetting(arg.substr(2), "", setting, error);  // an empty value: the message gives the range
                error = "--" + error;
                ok = false;
            } else {
                ok = takeValue(at, argc, argv, value, error);
            }
        } else if (arg.compare(0, 2, "--") == 0) {
            error = "unknown option '" + arg + "'";
            ok = false;
        } else {
            argv[kept++] = argv[at];  // the window system's, which the window's mode checks
        }
        if (!ok) return false;
    }
    argc = kept;
    argv[kept] = nullptr;
    if (options.help || options.version) return true;
    // The sources first: diff's range depends on them.
    SettingsState state = defaultSettings();
    for (int k = 0; k < 5; ++k) {
        if (settingValues[k].empty()) continue;
        Setting setting;
        std::string why;
        if (!parseSetting(settingOptions[k] + 2, settingValues[k], setting, why) || !allowSetting(state, setting, why)) {
            error = "--" + why;
            return false;
        }
        options.settings.push_back(setting);
    }
    if (!options.headless) {
        const char* headlessOnly = !steps.empty() ? "--steps" : !options.pngPath.empty() ? "--png"
                                   : !options.framesDir.empty() ? "--frames"
                                   : !options.videoPath.empty() ? "--video" : nullptr;
        if (headlessOnly) {
            error = std::string(headlessOnly) + " needs --headless";
            return false;
        }
    } else {
        if (!options.recordPath.empty()) {
            error = "--record needs a window: it cannot go with --headless";
            return false;
        }
        if (argc > 1) {
            error = std::string("unknown option '") + argv[1] + "'";
            return false;
        }
    }
    return true;
}

void applyStartOptions(const CommandLine& options) {
    for (const Setting& setting : options.settings) {
        SessionEvent event;
        event.kind = SessionEventKind::Set;
        event.setting = setting;
        applySessionEvent(event);
    }
    if (options.autoMotion) startAutoMotion(options.autoSeed);
}
