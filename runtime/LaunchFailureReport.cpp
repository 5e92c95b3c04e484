// LaunchFailureReport.cpp - see LaunchFailureReport.h.
#include "LaunchFailureReport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace fluidrt {

namespace {

std::vector<std::string> said;  // "kernel/stage/name" of every failure printed
long failures = 0;

}  // namespace

bool reportLaunchFailure(const char* kernel, const char* stage, const char* name, const char* text) {
    ++failures;
    const std::string key = std::string(kernel ? kernel : "?") + "/" + (stage ? stage : "") + "/" + (name ? name : "");
    for (const std::string& k : said)
        if (k == key) return false;
    said.push_back(key);
    std::fprintf(stderr, "fluid: %s %s: %s (%s)\n", kernel ? kernel : "a kernel", stage ? stage : "failed",
                 name ? name : "unknown error", text ? text : "no description");
    std::fflush(stderr);
    return true;
}

long launchFailureCount() { return failures; }

}  // namespace fluidrt
