// CommandLine.cpp - parsing the program's own options.
#include "CommandLine.h"

#include <cctype>

#include "Session.h"

const char* const usageText =
    "usage: fluid [--record FILE] [--replay FILE] [GLUT options such as -display, -geometry]\n"
    "       fluid --headless [--replay FILE] [--steps K] [--png OUT.png] [--frames DIR]\n"
    "  --record FILE  write every input event to FILE, with the number of steps before it\n"
    "  --replay FILE  replay the session in FILE, then hand over to the user\n"
    "  --headless     no window and no X server: replay offscreen, write pictures\n"
    "  --steps K      after the replay, run K more steps (default 0), also when paused\n"
    "  --png FILE     write the last frame as a PNG image\n"
    "  --frames DIR   write every frame as DIR/frame-000001.png, DIR/frame-000002.png, ...\n"
    "  --help         print this text\n";

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

bool takeCommandLine(int& argc, char** argv, CommandLine& options, std::string& error) {
    int kept = 1;
    std::string steps;
    for (int at = 1; at < argc; ++at) {
        const std::string arg = argv[at];
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
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
        } else if (arg == "--steps") {
            ok = takeValue(at, argc, argv, steps, error);
            if (ok && !parseWholeNumber(steps, 0, maxSessionStep, options.extraSteps)) {
                error = "--steps needs a whole number from 0 to 2147483647, not '" + steps + "'";
                ok = false;
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
    if (options.help) return true;
    if (!options.headless) {
        const char* headlessOnly = !steps.empty() ? "--steps" : !options.pngPath.empty() ? "--png"
                                   : !options.framesDir.empty() ? "--frames" : nullptr;
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
