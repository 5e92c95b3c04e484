// NoHeadless.cpp - stands in for headless rendering in a build without EGL or libpng.
#include <cstdio>

#include "Headless.h"

int runHeadless(const CommandLine&) {
    std::fprintf(stderr, "fluid: this build cannot run headless: EGL or libpng was missing when it was built\n");
    return 1;
}
