// WindowOptions.h - the command line's arguments that the window's mode
// leaves to freeglut.
#pragma once

#include <string>

// The arguments besides the program's own (argv[1] to argv[argc - 1], as
// takeCommandLine leaves them) are all freeglut's options with their
// values: -display, -geometry, -direct, -indirect, -iconic, -gldebug, -sync.
// False with a one-line message naming the first that is not. Checked before
// a recording or the display is opened.
bool checkWindowOptions(int argc, char** argv, std::string& error);
