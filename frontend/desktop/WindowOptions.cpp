// WindowOptions.cpp - freeglut's own command-line options.
#include "WindowOptions.h"

#include <cstring>

namespace {

// The options that freeglut on X takes out of the command line, and whether
// each takes a value. Anything else left over in the window's mode is
// refused before a recording is opened or the display is, rather than
// after glutInit.
struct WindowOption {
    const char* name;
    bool takesValue;
};
const WindowOption windowOptions[] = {{"-display", true},  {"-geometry", true}, {"-direct", false}, {"-indirect", false},
                                      {"-iconic", false},  {"-gldebug", false}, {"-sync", false}};

}  // namespace

bool checkWindowOptions(int argc, char** argv, std::string& error) {
    for (int at = 1; at < argc; ++at) {
        const WindowOption* known = nullptr;
        for (const WindowOption& option : windowOptions)
            if (std::strcmp(argv[at], option.name) == 0) known = &option;
        if (!known) {
            error = std::string("unknown option '") + argv[at] + "'";
            return false;
        }
        if (known->takesValue && ++at == argc) {
            error = std::string(known->name) + " needs a value";
            return false;
        }
    }
    return true;
}

