// CommandLine.h - the program's own options.
#pragma once

#include <string>

struct CommandLine {
    bool help = false;
    bool headless = false;
    std::string recordPath;   // --record FILE
    std::string replayPath;   // --replay FILE
    std::string pngPath;      // --png FILE (headless)
    std::string framesDir;    // --frames DIR (headless)
    long long extraSteps = 0; // --steps K (headless)
};

// Takes the program's own options (--name, and -h) out of argv and leaves the
// others, in order, for the window system, whose wing checks them in the
// window's mode (a headless run takes none). False with a one-line message
// when an option is unknown, lacks its value, is repeated or does not fit the
// mode.
bool takeCommandLine(int& argc, char** argv, CommandLine& options, std::string& error);

extern const char* const usageText;
