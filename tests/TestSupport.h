// TestSupport.h - small helpers shared by the solver tests.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "Fluid.h"
#include "Kernels.h"

namespace testsupport {

using FloatField = std::vector<float>;
using MaskField = std::vector<int>;

inline FloatField floatField(float value = 0.0f) { return FloatField(cellsPerField, value); }
inline MaskField maskField(int value = 0) { return MaskField(cellsPerField, value); }

inline bool isBorderCell(int i, int j) { return i == 0 || j == 0 || i == N + 1 || j == N + 1; }

inline std::uint32_t bitsOf(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// Equal bit for bit, except that two NaNs of the same sign count as equal.
inline bool sameValue(float a, float b) {
    if (a != a && b != b) return std::signbit(a) == std::signbit(b);
    return bitsOf(a) == bitsOf(b);
}

// Runs fn in a child process with standard output captured.
struct ChildResult {
    bool exited = false;
    int status = -1;  // exit status when exited
    std::string out;
};

inline ChildResult runInChild(const std::function<void()>& fn) {
    int pipeFds[2];
    ChildResult result;
    if (pipe(pipeFds) != 0) return result;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[1]);
        fn();
        std::fflush(stdout);
        _exit(0);
    }
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, static_cast<size_t>(got));
    close(pipeFds[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    result.exited = WIFEXITED(wstatus);
    result.status = result.exited ? WEXITSTATUS(wstatus) : -1;
    return result;
}

}  // namespace testsupport
