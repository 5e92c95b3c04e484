// End-to-end tests: the program itself in a window on a virtual X server.
//
// Each test starts build/fluid on an Xvfb display of its own, drives it with
// xdotool (keys, clicks, drags), reads its console dump from a pipe and takes
// screenshots with ImageMagick's import. What the program should print and
// draw is computed in this process with the same solver library: the fields
// here start at zero like the program's, receive the same source writes and
// step with the same gpuCalcFluid(), so every printed value must agree to the
// last printed digit.
//
// Synchronisation is by polling with generous deadlines: a dump counts once
// its "Total Density" line is complete, a picture once a screenshot matches.
// Every process started here is ended by its id in teardown; children also
// die with this process should it crash.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FieldPicture.h"
#include "FrameLoop.h"
#include "Fluid.h"
#include "Window.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const char* const programPath = FLUID_BINARY;
constexpr int windowSide = startWindowSide;  // the window's start size
constexpr int cellPixels = windowSide / N;   // drawn cell edge, 4
constexpr double patienceSeconds = 60.0;     // deadline of a wait for output or exit
constexpr double pictureSeconds = 30.0;      // deadline of a wait for a matching screenshot
constexpr double commandSeconds = 30.0;      // deadline of one helper command

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// ---------------------------------------------------------------------------
// Child processes

std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// The environment of this process with DISPLAY replaced (or removed when empty).
std::vector<std::string> environmentWithDisplay(const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.emplace_back(*e);
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return env;
}

// Everything a child needs, built before fork: the child only calls
// async-signal-safe functions between fork and exec.
struct Launch {
    std::string path;
    std::vector<std::string> args, env;
    int stdoutFd = -1;  // -1: /dev/null
    bool closeStdout = false;  // start with no descriptor 1 at all
    unsigned closeStandard = 0;  // bit k: start with no descriptor k (0, 1, 2) at all
    int stderrFd = -1;  // -1: /dev/null
    int inheritFd = -1; // one more descriptor the child keeps open

    pid_t start() const {
        std::vector<char*> argv, envp;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid != 0) return pid;
        // Child: die with the test process, wire the descriptors, exec.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(stdoutFd >= 0 ? stdoutFd : null, STDOUT_FILENO);
        if (closeStdout) close(STDOUT_FILENO);
        dup2(stderrFd >= 0 ? stderrFd : null, STDERR_FILENO);
        for (int fd = 0; fd <= 2; ++fd)
            if (closeStandard & (1u << fd)) close(fd);
        if (inheritFd >= 0) fcntl(inheritFd, F_SETFD, 0);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
};

// Waits up to `seconds` for the child to end; true (and its wait status) when it did.
bool waitForExit(pid_t pid, double seconds, int& status) {
    const auto deadline = deadlineAfter(seconds);
    for (;;) {
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid || got < 0) return got == pid;
        if (Clock::now() > deadline) return false;
        pause(10);
    }
}

// Ends a child by its id: a polite request first, then the kill.
void stopProcess(pid_t& pid) {
    if (pid <= 0) return;
    int status = 0;
    kill(pid, SIGTERM);
    if (!waitForExit(pid, 5.0, status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    pid = -1;
}

struct CommandResult {
    bool finished = false;  // ended by itself before the deadline
    int exitStatus = -1;    // when it exited normally
    std::string out, err;
};

// Runs a command to its end (or kills it at the deadline), collecting its output.
CommandResult runCommand(const std::string& path, const std::vector<std::string>& args, const std::string& display,
                         double seconds = commandSeconds) {
    CommandResult result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    Launch launch;
    launch.path = path;
    launch.args = args;
    launch.env = environmentWithDisplay(display);
    launch.stdoutFd = outPipe[1];
    launch.stderrFd = errPipe[1];
    pid_t pid = launch.start();
    close(outPipe[1]);
    close(errPipe[1]);
    const auto deadline = deadlineAfter(seconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int openCount = 2;
    bool late = false;
    while (openCount > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            late = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(std::min<long long>(left, 1000))) < 0) break;
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[k]->append(buffer, static_cast<size_t>(got));
            } else {
                close(fds[k].fd);
                fds[k].fd = -1;
                --openCount;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    int status = 0;
    if (late || !waitForExit(pid, std::max(0.5, std::chrono::duration<double>(deadline - Clock::now()).count()),
                             status)) {
        stopProcess(pid);
        return result;
    }
    result.finished = true;
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    return result;
}

// Collects everything a descriptor delivers, on a thread of its own, so that
// the writer never blocks on a full pipe.
class OutputCollector {
public:
    explicit OutputCollector(int fd) : fd_(fd), reader_([this] { readAll(); }) {}
    ~OutputCollector() {
        stop_ = true;
        reader_.join();
        close(fd_);
    }
    OutputCollector(const OutputCollector&) = delete;
    OutputCollector& operator=(const OutputCollector&) = delete;

    std::string text() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }
    bool ended() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return ended_;
    }
    // Waits until the collected text satisfies `done`; false at the deadline.
    bool waitFor(const std::function<bool(const std::string&)>& done, double seconds) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_until(lock, deadlineAfter(seconds), [&] { return done(text_); });
    }

private:
    void readAll() {
        pollfd pfd{fd_, POLLIN, 0};
        while (!stop_) {
            if (poll(&pfd, 1, 100) <= 0) continue;
            char buffer[65536];
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            std::lock_guard<std::mutex> lock(mutex_);
            if (got > 0) {
                text_.append(buffer, static_cast<size_t>(got));
            } else {
                ended_ = true;
                changed_.notify_all();
                return;
            }
            changed_.notify_all();
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string text_;
    bool ended_ = false;
    std::thread reader_;
};

size_t countOf(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

// ---------------------------------------------------------------------------
// The virtual X server

struct XServer {
    pid_t pid = -1;
    std::string display;  // ":N"
    std::string failure;

    void start(const std::string& xvfbPath) {
        int fdPipe[2];
        if (pipe2(fdPipe, O_CLOEXEC) != 0) {
            failure = "pipe failed";
            return;
        }
        Launch launch;
        launch.path = xvfbPath;
        launch.args = {"Xvfb", "-displayfd", std::to_string(fdPipe[1]), "-noreset", "-nolisten", "tcp", "-screen",
                       "0", "640x640x24"};
        launch.env = environmentWithDisplay("");
        launch.inheritFd = fdPipe[1];
        pid = launch.start();
        close(fdPipe[1]);
        // The server writes its display number and a newline once it accepts
        // clients; the whole line is read before the pipe closes.
        std::string line;
        const auto deadline = deadlineAfter(commandSeconds);
        pollfd pfd{fdPipe[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
            if (poll(&pfd, 1, 200) <= 0) continue;
            char c[64];
            const ssize_t got = read(fdPipe[0], c, sizeof c);
            if (got <= 0) break;
            line.append(c, static_cast<size_t>(got));
        }
        close(fdPipe[0]);
        if (line.find('\n') == std::string::npos || line.empty() ||
            line.find_first_not_of("0123456789\n") != std::string::npos) {
            failure = "Xvfb did not report a display number (got '" + line + "')";
            stop();
            return;
        }
        display = ":" + line.substr(0, line.find('\n'));
    }
    void stop() { stopProcess(pid); }
};

// ---------------------------------------------------------------------------
// Screenshots

struct Rgb {
    int r = 0, g = 0, b = 0;
};
constexpr Rgb black{0, 0, 0};
constexpr Rgb blue{0, 0, 255};

std::string describe(const Rgb& c) {
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// A picture with its origin at the top left, as X and screenshots have it.
struct Image {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;

    const Rgb& at(int x, int yFromTop) const { return pixels[static_cast<size_t>(yFromTop) * width + x]; }
    // GL's view: y counted upwards from the bottom row.
    const Rgb& atGl(int x, int yFromBottom) const { return at(x, height - 1 - yFromBottom); }
};

// Reads a binary PPM (P6), 8 or 16 bits per channel (scaled to 0..255).
bool parsePpm(const std::string& data, Image& image) {
    size_t at = 0;
    auto nextToken = [&](std::string& token) {
        for (;;) {
            while (at < data.size() && std::isspace(static_cast<unsigned char>(data[at]))) ++at;
            if (at < data.size() && data[at] == '#') {
                while (at < data.size() && data[at] != '\n') ++at;
                continue;
            }
            break;
        }
        const size_t begin = at;
        while (at < data.size() && !std::isspace(static_cast<unsigned char>(data[at]))) ++at;
        token = data.substr(begin, at - begin);
        return !token.empty();
    };
    std::string magic, w, h, maxval;
    if (!nextToken(magic) || magic != "P6" || !nextToken(w) || !nextToken(h) || !nextToken(maxval)) return false;
    ++at;  // the single white space before the samples
    image.width = std::atoi(w.c_str());
    image.height = std::atoi(h.c_str());
    const int max = std::atoi(maxval.c_str());
    if (image.width <= 0 || image.height <= 0 || max <= 0 || max > 65535) return false;
    const size_t bytesPerSample = max < 256 ? 1 : 2;
    const size_t count = static_cast<size_t>(image.width) * image.height;
    if (data.size() < at + count * 3 * bytesPerSample) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
    image.pixels.resize(count);
    auto sample = [&](size_t k) {
        const int raw = bytesPerSample == 1 ? p[k] : (p[2 * k] << 8 | p[2 * k + 1]);
        return (raw * 255 + max / 2) / max;
    };
    for (size_t k = 0; k < count; ++k) image.pixels[k] = {sample(3 * k), sample(3 * k + 1), sample(3 * k + 2)};
    return true;
}

// ---------------------------------------------------------------------------
// What the program should print and draw, from this process's fields

void appendField(std::string& out, const float* field) {
    char number[64];
    for (int i = N + 1; i >= 0; --i) {
        for (int j = 0; j <= N + 1; ++j) {
            std::snprintf(number, sizeof number, "%f ", static_cast<double>(field[IX(i, j)]));
            out += number;
        }
        out += "\n";
    }
}

std::string expectedDump() {
    std::string out = "\n\nDensity Field\n";
    appendField(out, dens);
    out += "\n\nu Field\n";
    appendField(out, u);
    out += "\n\nv Field\n";
    appendField(out, v);
    char line[128];
    std::snprintf(line, sizeof line, "\n\nTotal Density: %f\n", static_cast<double>(sumInteriorDensity()));
    return out + line;
}

// The k-th (from 1) complete dump in the program's output, or "" when there is none yet.
std::string nthDump(const std::string& output, size_t k) {
    const std::string heading = "\n\nDensity Field\n";
    size_t start = std::string::npos;
    for (size_t n = 0, at = 0; n < k; ++n, at = start + 1) {
        start = output.find(heading, at);
        if (start == std::string::npos) return "";
    }
    const size_t total = output.find("\n\nTotal Density: ", start);
    if (total == std::string::npos) return "";
    const size_t end = output.find('\n', total + 2);
    if (end == std::string::npos) return "";
    return output.substr(start, end + 1 - start);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// Equal dumps, or the first difference named by field, cell and both values.
testing::AssertionResult sameDump(const std::string& actual, const std::string& expected) {
    if (actual == expected) return testing::AssertionSuccess();
    const auto a = splitLines(actual), e = splitLines(expected);
    std::string section = "(start)";
    int row = 0;
    for (size_t n = 0; n < std::max(a.size(), e.size()); ++n) {
        const std::string al = n < a.size() ? a[n] : "<missing>";
        const std::string el = n < e.size() ? e[n] : "<missing>";
        if (el.find("Field") != std::string::npos || el.find("Total") == 0) {
            section = el;
            row = 0;
        } else if (!el.empty()) {
            ++row;
        }
        if (al == el) continue;
        std::stringstream as(al), es(el);
        std::string at, et;
        int j = 0;
        while (es >> et) {
            if (!(as >> at)) at = "<missing>";
            if (at != et) break;
            ++j;
        }
        return testing::AssertionFailure() << "dump differs at line " << n + 1 << " in '" << section
                                           << "', i = " << (N + 2 - row) << ", j = " << j << ": printed '" << at
                                           << "', expected '" << et << "'\nprinted line:  " << al.substr(0, 300)
                                           << "\nexpected line: " << el.substr(0, 300);
    }
    return testing::AssertionFailure() << "dumps differ in white space only";
}

// The front end's density colour as an 8-bit pixel (intensities clamp at 1).
Rgb densityPixel(float d) {
    const Colour c = densityColour(d);
    const auto level = [](float x) { return static_cast<int>(std::lround(std::min(1.0, double(x)) * 255.0)); };
    return {level(c.r), level(c.g), level(c.b)};
}

struct Views {
    bool boundary = true;
    bool density = true;
};

// The whole window as the program draws it from the fields here: the
// interior cells, each cellPixels wide, over a black background.
Image expectedPicture(const Views& views = {}) {
    Image image;
    image.width = image.height = windowSide;
    image.pixels.assign(static_cast<size_t>(windowSide) * windowSide, black);
    for (int i = 1; i <= N; ++i) {
        for (int j = 1; j <= N; ++j) {
            Rgb colour = black;
            if (views.boundary && boundary[IX(i, j)] == 1) colour = blue;
            if (views.density && dens[IX(i, j)] > 0.0f) colour = densityPixel(dens[IX(i, j)]);
            for (int dy = 0; dy < cellPixels; ++dy)
                for (int dx = 0; dx < cellPixels; ++dx)
                    image.pixels[static_cast<size_t>(windowSide - 1 - (i * cellPixels + dy)) * windowSide +
                                 j * cellPixels + dx] = colour;
        }
    }
    return image;
}

bool nearColour(const Rgb& a, const Rgb& b, int tolerance = 2) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// Equal within `tolerance` per channel; 0 asks for the same pixels.
testing::AssertionResult samePicture(const Image& actual, const Image& expected, int tolerance = 2) {
    if (actual.width != expected.width || actual.height != expected.height)
        return testing::AssertionFailure() << "screenshot is " << actual.width << " x " << actual.height
                                           << ", expected " << expected.width << " x " << expected.height;
    size_t wrong = 0;
    std::string first;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            if (nearColour(actual.at(x, y), expected.at(x, y), tolerance)) continue;
            if (wrong++ == 0) {
                const int glY = actual.height - 1 - y;
                first = "pixel x = " + std::to_string(x) + ", y = " + std::to_string(y) + " from the top (cell i = " +
                        std::to_string(glY / cellPixels) + ", j = " + std::to_string(x / cellPixels) + ") is " +
                        describe(actual.at(x, y)) + ", expected " + describe(expected.at(x, y));
            }
        }
    }
    if (wrong == 0) return testing::AssertionSuccess();
    return testing::AssertionFailure() << wrong << " pixels differ; first: " << first;
}

// Window position of the middle of interior cell (i, j): x from the left,
// y from the top. The program picks that very cell for it.
struct Point {
    int x, y;
};
Point cellCentre(int i, int j) { return {j * cellPixels + cellPixels / 2, windowSide - 1 - (i * cellPixels + 1)}; }

// ---------------------------------------------------------------------------
// The fixture: one X server for the suite, a fresh program for every test

class WindowTest : public testing::Test {
protected:
    static std::string xvfb, xdotool, import, missingTools;
    static XServer server;

    static void SetUpTestSuite() {
        xvfb = findOnPath("Xvfb");
        xdotool = findOnPath("xdotool");
        import = findOnPath("import");
        if (xvfb.empty()) missingTools += " Xvfb";
        if (xdotool.empty()) missingTools += " xdotool";
        if (import.empty()) missingTools += " import (ImageMagick)";
        if (!missingTools.empty()) {
            missingTools = "missing tools:" + missingTools + " (scripts/install-deps.sh tests installs them)";
            return;
        }
        server.start(xvfb);
    }
    static void TearDownTestSuite() { server.stop(); }

    void SetUp() override {
        ASSERT_TRUE(missingTools.empty()) << missingTools;
        ASSERT_TRUE(server.failure.empty()) << server.failure;
        resetFields();  // the prediction starts where a fresh program starts
        ASSERT_NO_FATAL_FAILURE(startProgram());
    }

    void TearDown() override {
        // A button left down by a failed test would turn the next test's
        // pointer movements into drags on the shared server.
        for (int button : heldButtons) xdo({"mouseup", std::to_string(button)});
        stopProcess(programPid);
        programOut.reset();
        programErr.reset();
    }

    // Where the program's standard output goes: a pipe read here, nowhere
    // (descriptor 1 closed), or a device that is always full.
    enum class Output { Pipe, Closed, Full };

    void startProgram(Output output = Output::Pipe, const std::vector<std::string>& options = {}) {
        int outPipe[2], errPipe[2];
        ASSERT_EQ(pipe2(outPipe, O_CLOEXEC), 0);
        ASSERT_EQ(pipe2(errPipe, O_CLOEXEC), 0);
        const int full = output == Output::Full ? open("/dev/full", O_WRONLY | O_CLOEXEC) : -1;
        ASSERT_TRUE(output != Output::Full || full >= 0);
        Launch launch;
        launch.path = programPath;
        launch.args = {programPath};
        launch.args.insert(launch.args.end(), options.begin(), options.end());
        launch.env = environmentWithDisplay(server.display);
        launch.stdoutFd = output == Output::Full ? full : outPipe[1];
        launch.closeStdout = output == Output::Closed;
        launch.stderrFd = errPipe[1];
        programPid = launch.start();
        close(outPipe[1]);
        close(errPipe[1]);
        if (full >= 0) close(full);
        programOut = std::make_unique<OutputCollector>(outPipe[0]);
        programErr = std::make_unique<OutputCollector>(errPipe[0]);

        const auto found = xdo({"search", "--sync", "--onlyvisible", "--name", std::string("^") + windowTitle + "$"});
        ASSERT_TRUE(found.finished && found.exitStatus == 0)
            << "no window titled '" << windowTitle << "' appeared; program stderr: " << programErr->text();
        window = found.out.substr(0, found.out.find('\n'));
        ASSERT_FALSE(window.empty());
        // Without a window manager the window opens at (-1, -1).
        ASSERT_EQ(xdo({"windowmove", "--sync", window, "0", "0"}).exitStatus, 0);
        // Keyboard focus follows the pointer: keep it inside the window.
        ASSERT_NO_FATAL_FAILURE(moveTo(windowSide / 2, windowSide / 2));
    }

    CommandResult xdo(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        return runCommand(xdotool, args, server.display);
    }

    void xdoOrFail(const std::vector<std::string>& args) {
        const auto result = xdo(args);
        ASSERT_TRUE(result.finished && result.exitStatus == 0) << "xdotool failed: " << result.err;
    }

    // Input. Positions are window pixels from the top left.
    void key(const std::string& keysym) { ASSERT_NO_FATAL_FAILURE(xdoOrFail({"key", keysym})); }
    void moveTo(int x, int y) {
        ASSERT_NO_FATAL_FAILURE(
            xdoOrFail({"mousemove", "--window", window, std::to_string(x), std::to_string(y)}));
    }
    void press(int button) {
        heldButtons.push_back(button);
        ASSERT_NO_FATAL_FAILURE(xdoOrFail({"mousedown", std::to_string(button)}));
    }
    void release(int button) {
        ASSERT_NO_FATAL_FAILURE(xdoOrFail({"mouseup", std::to_string(button)}));
        heldButtons.erase(std::remove(heldButtons.begin(), heldButtons.end(), button), heldButtons.end());
    }
    void clickAt(Point p, int button) {
        ASSERT_NO_FATAL_FAILURE(moveTo(p.x, p.y));
        ASSERT_NO_FATAL_FAILURE(press(button));
        ASSERT_NO_FATAL_FAILURE(release(button));
    }

    // Output.
    size_t dumpsSoFar() const { return countOf(programOut->text(), "Total Density: "); }

    // Waits for the k-th dump to be complete and checks no other step printed.
    testing::AssertionResult waitForDump(size_t k, std::string& dump) {
        const bool arrived = programOut->waitFor([&](const std::string& t) { return !nthDump(t, k).empty(); },
                                                 patienceSeconds);
        const std::string text = programOut->text();
        if (!arrived)
            return testing::AssertionFailure() << "dump " << k << " did not arrive; " << countOf(text, "Density Field")
                                               << " dumps so far";
        const size_t headings = countOf(text, "Density Field");
        if (headings != k)
            return testing::AssertionFailure() << "expected " << k << " printed steps, found " << headings
                                               << " 'Density Field' headings";
        dump = nthDump(text, k);
        return testing::AssertionSuccess();
    }

    // Steps once with the space key and compares the dump with one step here.
    void stepAndCompare(size_t k) {
        ASSERT_NO_FATAL_FAILURE(key("space"));
        std::string dump;
        ASSERT_TRUE(waitForDump(k, dump));
        gpuCalcFluid();
        ASSERT_TRUE(sameDump(dump, expectedDump())) << "step " << k;
    }

    testing::AssertionResult screenshot(Image& image) {
        const auto shot = runCommand(import, {"import", "-window", window, "-depth", "8", "ppm:-"}, server.display);
        if (!shot.finished || shot.exitStatus != 0)
            return testing::AssertionFailure() << "import failed: " << shot.err;
        if (!parsePpm(shot.out, image)) return testing::AssertionFailure() << "import gave no readable PPM";
        return testing::AssertionSuccess();
    }

    // Takes screenshots until one matches the picture or the deadline passes.
    testing::AssertionResult waitForPicture(const Image& expected, int tolerance = 2) {
        const auto deadline = deadlineAfter(pictureSeconds);
        testing::AssertionResult last = testing::AssertionFailure() << "no screenshot taken";
        do {
            Image shot;
            last = screenshot(shot);
            if (last) {
                last = samePicture(shot, expected, tolerance);
                if (last) return last;
            }
            pause(50);
        } while (Clock::now() < deadline);
        return last;
    }

    testing::AssertionResult waitForProgramExit(int& exitStatus) {
        int status = 0;
        if (!waitForExit(programPid, patienceSeconds, status))
            return testing::AssertionFailure() << "the program did not exit";
        programPid = -1;
        if (!WIFEXITED(status)) return testing::AssertionFailure() << "the program ended by a signal";
        exitStatus = WEXITSTATUS(status);
        return testing::AssertionSuccess();
    }

    pid_t programPid = -1;
    std::vector<int> heldButtons;
    std::unique_ptr<OutputCollector> programOut, programErr;
    std::string window;
};

std::string WindowTest::xvfb, WindowTest::xdotool, WindowTest::import, WindowTest::missingTools;
XServer WindowTest::server;

// Source writes worked out by hand from what the mouse does at the start
// size (cellSize 4): a right click writes N * 4 = 504 into the cell's
// density source, -4 and 4 into the u sources left and right of it and the
// v sources below and above it; a drag adds 4 times its movement in pixels
// (right and up positive) to the u and v sources of the cell it arrives in.
struct SourceWrite {
    float* field;
    int i, j;
    float value;
    bool added;  // added to what the field holds, else assigned
};
void applyWrites(std::initializer_list<SourceWrite> writes) {
    for (const SourceWrite& w : writes) {
        float& cell = w.field[IX(w.i, w.j)];
        cell = w.added ? cell + w.value : w.value;
    }
}
// A right click on cell (30, 40), at x = 161 and y = 390 from the top.
const std::initializer_list<SourceWrite> clickOn30And40 = {{dens_prev, 30, 40, 504.0f, false},
                                                          {u_prev, 30, 39, -4.0f, false},
                                                          {u_prev, 30, 41, 4.0f, false},
                                                          {v_prev, 29, 40, -4.0f, false},
                                                          {v_prev, 31, 40, 4.0f, false}};

// ---------------------------------------------------------------------------
// Start-up

TEST_F(WindowTest, OpensTitledSquareWindowShowingEmptyFieldInBlack) {
    const auto name = xdo({"getwindowname", window});
    ASSERT_EQ(name.exitStatus, 0);
    EXPECT_EQ(name.out, std::string(windowTitle) + "\n");

    const auto geometry = xdo({"getwindowgeometry", "--shell", window});
    ASSERT_EQ(geometry.exitStatus, 0);
    EXPECT_NE(geometry.out.find("WIDTH=512\n"), std::string::npos) << geometry.out;
    EXPECT_NE(geometry.out.find("HEIGHT=512\n"), std::string::npos) << geometry.out;

    Image shot;
    ASSERT_TRUE(screenshot(shot));
    ASSERT_EQ(shot.width, windowSide);
    ASSERT_EQ(shot.height, windowSide);
    EXPECT_TRUE(samePicture(shot, expectedPicture()));
    EXPECT_EQ(dumpsSoFar(), 0u) << "nothing is printed before key c";
}

TEST(ProgramWithoutDisplay, ExitsWithStatusOneAndSaysSo) {
    for (const std::string display : {"", ":2147483"}) {
        const auto result = runCommand(programPath, {programPath}, display);
        ASSERT_TRUE(result.finished) << "DISPLAY='" << display << "': the program kept running";
        EXPECT_EQ(result.exitStatus, 1) << "DISPLAY='" << display << "'";
        EXPECT_NE(result.err.find("failed to open display"), std::string::npos)
            << "DISPLAY='" << display << "', stderr: " << result.err;
        EXPECT_EQ(result.out, "");
    }
}

// ---------------------------------------------------------------------------
// Keyboard and console dump

TEST_F(WindowTest, KeyFFeedsSourceAndEachSpaceStepsAndPrintsOnce) {
    ASSERT_NO_FATAL_FAILURE(key("s"));  // pause
    ASSERT_NO_FATAL_FAILURE(key("c"));  // print after each step
    ASSERT_NO_FATAL_FAILURE(key("f"));
    dens_prev[IX(1, 64)] = static_cast<float>(N * cellPixels);
    v_prev[IX(1, 64)] = static_cast<float>(cellPixels);

    ASSERT_NO_FATAL_FAILURE(stepAndCompare(1));
    EXPECT_GT(sumInteriorDensity(), 0.0f);
    EXPECT_TRUE(waitForPicture(expectedPicture()));

    // The sources stay as the step left them: a second step goes on from there.
    ASSERT_NO_FATAL_FAILURE(stepAndCompare(2));
    EXPECT_TRUE(waitForPicture(expectedPicture()));

    // Frames go on while paused (the grid key shows up on screen), but with
    // no further step nothing more is printed.
    ASSERT_NO_FATAL_FAILURE(key("g"));
    const auto deadline = deadlineAfter(pictureSeconds);
    bool gridShown = false;
    while (!gridShown && Clock::now() < deadline) {
        Image shot;
        ASSERT_TRUE(screenshot(shot));
        for (const Rgb& p : shot.pixels) gridShown = gridShown || (p.g > 200 && p.r < 50 && p.b < 50);
        if (!gridShown) pause(50);
    }
    EXPECT_TRUE(gridShown) << "key g drew no grid";
    EXPECT_EQ(countOf(programOut->text(), "Density Field"), 2u);
}

TEST_F(WindowTest, KeyRClearsFieldsAndObstacles) {
    ASSERT_NO_FATAL_FAILURE(key("s"));
    ASSERT_NO_FATAL_FAILURE(key("c"));
    ASSERT_NO_FATAL_FAILURE(key("f"));
    dens_prev[IX(1, 64)] = static_cast<float>(N * cellPixels);
    v_prev[IX(1, 64)] = static_cast<float>(cellPixels);
    ASSERT_NO_FATAL_FAILURE(stepAndCompare(1));

    ASSERT_NO_FATAL_FAILURE(key("B"));
    ASSERT_NO_FATAL_FAILURE(clickAt(cellCentre(100, 20), 1));
    boundary[IX(100, 20)] = 1;
    ASSERT_TRUE(waitForPicture(expectedPicture()));

    // Cleared sources too: the step after r finds nothing to add.
    ASSERT_NO_FATAL_FAILURE(key("r"));
    resetFields();
    ASSERT_NO_FATAL_FAILURE(stepAndCompare(2));
    EXPECT_EQ(sumInteriorDensity(), 0.0f);
    EXPECT_TRUE(waitForPicture(expectedPicture()));
}

TEST_F(WindowTest, EscapeExitsWithStatusZero) {
    ASSERT_NO_FATAL_FAILURE(key("Escape"));
    int status = -1;
    ASSERT_TRUE(waitForProgramExit(status));
    EXPECT_EQ(status, 0);
}

TEST_F(WindowTest, AClosedOrFullStandardOutputNeitherCorruptsTheWindowNorStopsTheProgram) {
    // Closed: the dump must not reach the X connection, which would take the
    // free descriptor 1. Full: the failed dump is reported once and turned
    // off; c turns it on again and it is tried (and reported) again.
    const std::string report = "fluid: cannot write the field dump: No space left on device; dump turned off\n";
    for (const Output output : {Output::Closed, Output::Full}) {
        SCOPED_TRACE(output == Output::Closed ? "closed" : "full");
        stopProcess(programPid);
        ASSERT_NO_FATAL_FAILURE(startProgram(output));
        ASSERT_NO_FATAL_FAILURE(key("c"));
        if (output == Output::Full) {
            ASSERT_TRUE(programErr->waitFor([&](const std::string& t) { return countOf(t, report) == 1; },
                                            patienceSeconds))
                << programErr->text();
            pause(300);  // more frames: no second report while the dump is off
            EXPECT_EQ(countOf(programErr->text(), report), 1u);
            ASSERT_NO_FATAL_FAILURE(key("c"));
            EXPECT_TRUE(programErr->waitFor([&](const std::string& t) { return countOf(t, report) == 2; },
                                            patienceSeconds));
        } else {
            pause(500);  // frames that dump into /dev/null
        }
        ASSERT_NO_FATAL_FAILURE(key("Escape"));
        int status = -1;
        ASSERT_TRUE(waitForProgramExit(status));
        EXPECT_EQ(status, 0);
        EXPECT_EQ(programErr->text().find("X Error"), std::string::npos) << programErr->text();
    }
}

// ---------------------------------------------------------------------------
// Mouse

TEST_F(WindowTest, RightClickWritesSourcePatternAtPointerCell) {
    ASSERT_NO_FATAL_FAILURE(key("s"));
    ASSERT_NO_FATAL_FAILURE(key("c"));

    // x = 161 lies in column j = 40, y = 390 from the top in row i = 30.
    ASSERT_NO_FATAL_FAILURE(clickAt({161, 390}, 3));
    applyWrites(clickOn30And40);
    ASSERT_NO_FATAL_FAILURE(stepAndCompare(1));
    EXPECT_TRUE(waitForPicture(expectedPicture()));

    // In the black frame at the top left the pick is clamped to the interior
    // corner (126, 1); its pattern reaches into the border.
    ASSERT_NO_FATAL_FAILURE(clickAt({1, 1}, 3));
    applyWrites({{dens_prev, 126, 1, 504.0f, false},
                 {u_prev, 126, 0, -4.0f, false},
                 {u_prev, 126, 2, 4.0f, false},
                 {v_prev, 125, 1, -4.0f, false},
                 {v_prev, 127, 1, 4.0f, false}});
    ASSERT_NO_FATAL_FAILURE(stepAndCompare(2));
    EXPECT_TRUE(waitForPicture(expectedPicture()));
}

TEST_F(WindowTest, RightButtonWritesPatternAtPressAndAgainAtRelease) {
    ASSERT_NO_FATAL_FAILURE(key("s"));
    ASSERT_NO_FATAL_FAILURE(key("c"));

    // Press over one cell, move (a drag) and release over another.
    const Point from = cellCentre(40, 30), to = cellCentre(90, 70);
    ASSERT_NO_FATAL_FAILURE(moveTo(from.x, from.y));
    ASSERT_NO_FATAL_FAILURE(press(3));
    ASSERT_NO_FATAL_FAILURE(moveTo(to.x, to.y));
    ASSERT_NO_FATAL_FAILURE(release(3));
    // From (122, 350) to (282, 150): the press pattern at (40, 30), the move
    // of 160 right and 200 up into (90, 70), the release pattern there.
    applyWrites({{dens_prev, 40, 30, 504.0f, false},
                 {u_prev, 40, 29, -4.0f, false},
                 {u_prev, 40, 31, 4.0f, false},
                 {v_prev, 39, 30, -4.0f, false},
                 {v_prev, 41, 30, 4.0f, false},
                 {u_prev, 90, 70, 640.0f, true},
                 {v_prev, 90, 70, 800.0f, true},
                 {dens_prev, 90, 70, 504.0f, false},
                 {u_prev, 90, 69, -4.0f, false},
                 {u_prev, 90, 71, 4.0f, false},
                 {v_prev, 89, 70, -4.0f, false},
                 {v_prev, 91, 70, 4.0f, false}});
    ASSERT_NO_FATAL_FAILURE(stepAndCompare(1));
}

TEST_F(WindowTest, LeftDragAddsPointerMovementToVelocitySources) {
    ASSERT_NO_FATAL_FAILURE(key("s"));
    ASSERT_NO_FATAL_FAILURE(key("c"));

    // From (202, 270): right by 12 pixels (three cells) into (60, 53), up by
    // 8 (two cells) into (62, 53), then left and down by 4 into (61, 52);
    // each movement feeds the cell the pointer arrives in.
    Point p = cellCentre(60, 50);
    ASSERT_NO_FATAL_FAILURE(moveTo(p.x, p.y));
    ASSERT_NO_FATAL_FAILURE(press(1));
    const Point moves[] = {{12, 0}, {0, -8}, {-4, 4}};
    for (const Point& m : moves) {
        p = {p.x + m.x, p.y + m.y};
        ASSERT_NO_FATAL_FAILURE(moveTo(p.x, p.y));
    }
    ASSERT_NO_FATAL_FAILURE(release(1));
    applyWrites({{u_prev, 60, 53, 48.0f, true},
                 {v_prev, 62, 53, 32.0f, true},
                 {u_prev, 61, 52, -16.0f, true},
                 {v_prev, 61, 52, -16.0f, true}});

    ASSERT_NO_FATAL_FAILURE(stepAndCompare(1));

    // Movement with no button held is not a drag.
    ASSERT_NO_FATAL_FAILURE(moveTo(p.x + 40, p.y - 40));
    ASSERT_NO_FATAL_FAILURE(stepAndCompare(2));
}

TEST_F(WindowTest, BoundaryEditingFlipsCellsUnderLeftButtonAndShowsThemBlue) {
    // A click makes one cell solid; simulation keeps running meanwhile.
    ASSERT_NO_FATAL_FAILURE(key("B"));
    ASSERT_NO_FATAL_FAILURE(clickAt(cellCentre(10, 100), 1));
    boundary[IX(10, 100)] = 1;
    {
        Image shot;
        const auto result = waitForPicture(expectedPicture());
        ASSERT_TRUE(result);
        ASSERT_TRUE(screenshot(shot));
        // Cell (10, 100) covers x 400..403 and, counted from the top, y 468..471.
        for (int y = 468; y <= 471; ++y)
            for (int x = 400; x <= 403; ++x) EXPECT_TRUE(nearColour(shot.at(x, y), blue)) << x << "," << y;
        EXPECT_TRUE(nearColour(shot.at(399, 470), black));
        EXPECT_TRUE(nearColour(shot.at(404, 470), black));
        EXPECT_TRUE(nearColour(shot.at(401, 467), black));
        EXPECT_TRUE(nearColour(shot.at(401, 472), black));
    }

    // A drag flips each cell it enters once: the press cell, two cells to
    // the right (the second entered by two moves), one above.
    Point p = cellCentre(20, 20);
    ASSERT_NO_FATAL_FAILURE(moveTo(p.x, p.y));
    ASSERT_NO_FATAL_FAILURE(press(1));
    for (const Point& m : std::vector<Point>{{4, 0}, {3, 0}, {1, 0}, {0, -4}}) {
        p = {p.x + m.x, p.y + m.y};
        ASSERT_NO_FATAL_FAILURE(moveTo(p.x, p.y));
    }
    ASSERT_NO_FATAL_FAILURE(release(1));
    boundary[IX(20, 20)] = boundary[IX(20, 21)] = boundary[IX(20, 22)] = boundary[IX(21, 22)] = 1;
    ASSERT_TRUE(waitForPicture(expectedPicture()));

    // Clicking a solid cell makes it fluid again; key b hides obstacles.
    ASSERT_NO_FATAL_FAILURE(clickAt(cellCentre(10, 100), 1));
    boundary[IX(10, 100)] = 0;
    ASSERT_TRUE(waitForPicture(expectedPicture()));
    ASSERT_NO_FATAL_FAILURE(key("b"));
    Views hidden;
    hidden.boundary = false;
    EXPECT_TRUE(waitForPicture(expectedPicture(hidden)));
}

// ---------------------------------------------------------------------------
// Sessions: recorded in the window, replayed headless and in the window

// A fresh folder for one test's files, removed with everything in it at the end.
struct ScratchFolder {
    std::string path;
    ScratchFolder() {
        char pattern[] = "/tmp/fluid-session-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path = made ? made : "";
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

std::string readWholeFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "";
    std::string text;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
    std::fclose(file);
    return text;
}

void writeWholeFile(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

// A PNG file decoded by ImageMagick into the screenshots' form.
testing::AssertionResult readPng(const std::string& path, Image& image) {
    const std::string convert = findOnPath("convert");
    if (convert.empty()) return testing::AssertionFailure() << "ImageMagick's convert is missing";
    const auto result = runCommand(convert, {"convert", path, "-depth", "8", "ppm:-"}, "");
    if (!result.finished || result.exitStatus != 0 || !parsePpm(result.out, image))
        return testing::AssertionFailure() << "cannot decode " << path << ": " << result.err;
    return testing::AssertionSuccess();
}

CommandResult runHeadless(const std::vector<std::string>& options) {
    std::vector<std::string> args = {programPath, "--headless"};
    args.insert(args.end(), options.begin(), options.end());
    return runCommand(programPath, args, "", 120.0);
}

TEST_F(WindowTest, RecordedSessionReplaysBitForBitHeadlessAndInTheWindow) {
    const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    ASSERT_FALSE(folder.empty());
    const std::string session = folder + "/live.session";
    stopProcess(programPid);
    ASSERT_NO_FATAL_FAILURE(startProgram(Output::Pipe, {"--record", session}));

    // Density, a wall and a push while running; a resize; more of the same
    // with the velocity lines and the grid; then dumps, running and paused.
    ASSERT_NO_FATAL_FAILURE(clickAt(cellCentre(60, 40), 3));
    ASSERT_NO_FATAL_FAILURE(key("B"));
    ASSERT_NO_FATAL_FAILURE(moveTo(300, 200));
    ASSERT_NO_FATAL_FAILURE(press(1));
    for (int y = 204; y <= 300; y += 4) ASSERT_NO_FATAL_FAILURE(moveTo(300, y));
    ASSERT_NO_FATAL_FAILURE(release(1));
    ASSERT_NO_FATAL_FAILURE(key("B"));
    ASSERT_NO_FATAL_FAILURE(moveTo(150, 260));
    ASSERT_NO_FATAL_FAILURE(press(1));
    for (int x = 160; x <= 260; x += 10) ASSERT_NO_FATAL_FAILURE(moveTo(x, 250));
    ASSERT_NO_FATAL_FAILURE(release(1));
    ASSERT_NO_FATAL_FAILURE(xdoOrFail({"windowsize", "--sync", window, "640", "600"}));
    ASSERT_NO_FATAL_FAILURE(clickAt({500, 400}, 3));
    ASSERT_NO_FATAL_FAILURE(key("v"));
    ASSERT_NO_FATAL_FAILURE(key("g"));
    ASSERT_NO_FATAL_FAILURE(key("c"));
    ASSERT_TRUE(programOut->waitFor([](const std::string& t) { return countOf(t, "Total Density: ") >= 3; },
                                    patienceSeconds));
    ASSERT_NO_FATAL_FAILURE(key("s"));
    pause(500);  // the frames after the pause step no more
    const size_t printed = dumpsSoFar();
    ASSERT_NO_FATAL_FAILURE(key("space"));
    std::string dump;
    ASSERT_TRUE(waitForDump(printed + 1, dump));
    ASSERT_NO_FATAL_FAILURE(key("d"));  // a change after the last step
    const auto deadline = deadlineAfter(patienceSeconds);
    while (readWholeFile(session).find(" key d\n") == std::string::npos && Clock::now() < deadline) pause(20);
    pause(300);  // frames drawn since
    Image live;
    ASSERT_TRUE(screenshot(live));
    ASSERT_EQ(live.width, 640);
    ASSERT_NO_FATAL_FAILURE(key("Escape"));
    int status = -1;
    ASSERT_TRUE(waitForProgramExit(status));
    EXPECT_EQ(status, 0);
    const std::string liveOutput = programOut->text();
    const std::string recording = readWholeFile(session);
    ASSERT_EQ(recording.compare(0, 16, "fluid-session 1\n"), 0) << recording;
    ASSERT_NE(recording.find(" size 640 600\n"), std::string::npos) << recording;
    ASSERT_NE(recording.find(" end\n"), std::string::npos) << recording;

    // Headless: the same dumps, byte for byte, and the same picture.
    const std::string png = folder + "/last.png";
    const auto headless = runHeadless({"--replay", session, "--png", png});
    ASSERT_TRUE(headless.finished && headless.exitStatus == 0) << headless.err;
    EXPECT_TRUE(headless.out == liveOutput) << "headless dumps differ (" << headless.out.size() << " bytes, live "
                                            << liveOutput.size() << ")";
    Image rendered;
    ASSERT_TRUE(readPng(png, rendered));
    EXPECT_TRUE(samePicture(rendered, live, 0));

    // In the window, recording again: the same dumps and picture, then the
    // user's turn (paused, as recorded). Quitting at once leaves a recording
    // equal to the replayed one.
    const std::string again = folder + "/again.session";
    ASSERT_NO_FATAL_FAILURE(startProgram(Output::Pipe, {"--replay", session, "--record", again}));
    EXPECT_TRUE(programOut->waitFor([&](const std::string& t) { return t.size() >= liveOutput.size(); },
                                    patienceSeconds));
    pause(300);
    EXPECT_TRUE(programOut->text() == liveOutput) << "replayed dumps differ";
    EXPECT_TRUE(waitForPicture(live, 0));
    ASSERT_NO_FATAL_FAILURE(key("Escape"));
    ASSERT_TRUE(waitForProgramExit(status));
    EXPECT_EQ(readWholeFile(again), recording);
}

// Settings and the motion generator given at start: the recording holds the
// settings at step 0 and the generator's events themselves, and replays
// headless, with neither option, to the same dumps and picture.
TEST_F(WindowTest, StartSettingsAndAutoMotionAreRecordedAndReplayWithoutTheOptions) {
    const ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    const std::string session = scratch.path + "/settings.session";
    stopProcess(programPid);
    ASSERT_NO_FATAL_FAILURE(startProgram(Output::Pipe, {"--record", session, "--diff", "0", "--sources", "cleared",
                                                        "--dt", "0.3", "--palette", "ember", "--auto", "11"}));
    ASSERT_NO_FATAL_FAILURE(key("c"));
    ASSERT_TRUE(programOut->waitFor([](const std::string& t) { return countOf(t, "Total Density: ") >= 120; },
                                    patienceSeconds));
    ASSERT_NO_FATAL_FAILURE(key("s"));
    pause(500);
    Image live;
    ASSERT_TRUE(screenshot(live));
    ASSERT_NO_FATAL_FAILURE(key("Escape"));
    int status = -1;
    ASSERT_TRUE(waitForProgramExit(status));
    EXPECT_EQ(status, 0);
    const std::string recording = readWholeFile(session);
    const std::string start =
        "fluid-session 1\n0 set sources cleared\n0 set dt 0.3\n0 set diff 0\n0 set palette ember\n";
    EXPECT_EQ(recording.compare(0, start.size(), start), 0) << recording;
    EXPECT_NE(recording.find(" drag "), std::string::npos) << recording;
    EXPECT_NE(recording.find(" press right "), std::string::npos) << recording;

    const std::string png = scratch.path + "/last.png";
    const auto headless = runHeadless({"--replay", session, "--png", png});
    ASSERT_TRUE(headless.finished && headless.exitStatus == 0) << headless.err;
    EXPECT_TRUE(headless.out == programOut->text()) << "headless dumps differ";
    Image rendered;
    ASSERT_TRUE(readPng(png, rendered));
    EXPECT_TRUE(samePicture(rendered, live, 0));
}

TEST_F(WindowTest, ARecordingCutShortByAKillReplaysToItsLastLine) {
    const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    ASSERT_FALSE(folder.empty());
    const std::string session = folder + "/killed.session";
    stopProcess(programPid);
    ASSERT_NO_FATAL_FAILURE(startProgram(Output::Pipe, {"--record", session}));
    ASSERT_NO_FATAL_FAILURE(key("c"));
    ASSERT_TRUE(programOut->waitFor([](const std::string& t) { return countOf(t, "Total Density: ") >= 1; },
                                    patienceSeconds));
    ASSERT_NO_FATAL_FAILURE(clickAt(cellCentre(30, 30), 3));
    // The kill comes once the click is in the file.
    const auto deadline = deadlineAfter(patienceSeconds);
    while (readWholeFile(session).find(" release right ") == std::string::npos && Clock::now() < deadline) pause(20);
    kill(programPid, SIGKILL);
    int status = 0;
    waitpid(programPid, &status, 0);
    programPid = -1;
    const std::string recording = readWholeFile(session);
    ASSERT_FALSE(recording.empty());
    EXPECT_EQ(recording.back(), '\n');
    EXPECT_EQ(recording.find(" end\n"), std::string::npos);
    const auto replay = runHeadless({"--replay", session});
    EXPECT_TRUE(replay.finished && replay.exitStatus == 0) << replay.err;
    // The steps up to the click's, printed as the live program printed them.
    EXPECT_GE(countOf(replay.out, "Total Density: "), 1u);
    EXPECT_EQ(programOut->text().compare(0, replay.out.size(), replay.out), 0);
}

// Bad command lines and session files: a one-line message naming the fault
// (and the line), exit status 2, and no window: the runs have no display, so
// reaching the window would end in GLUT's own failure, with status 1.
// Runs the program with `arguments`, which it must refuse: exit status 2,
// standard error starting with "fluid: " and `message`, nothing on standard
// output.
void expectRefused(const std::vector<std::string>& arguments, const std::string& message, double seconds) {
    std::string line;
    for (const std::string& a : arguments) line += " " + a;
    SCOPED_TRACE(line);
    std::vector<std::string> args = {programPath};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const auto run = runCommand(programPath, args, "", seconds);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 2) << run.err;
    const std::string expected = "fluid: " + message;
    EXPECT_EQ(run.err.compare(0, expected.size(), expected), 0) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST(SessionFiles, FaultsAreRefusedWithTheirLineAndNoWindow) {
    const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    ASSERT_FALSE(folder.empty());
    const std::string h = "fluid-session 1\n";
    struct Case {
        const char* what;
        std::string content;  // the session file, when the case has one
        std::vector<std::string> args;  // "FILE" stands for its path
        std::string message;  // expected on standard error after "fluid: "
    };
    const std::vector<Case> cases = {
        {"no header", "0 key c\n", {"--replay", "FILE"}, "FILE:1: not a session file"},
        {"newer version", "fluid-session 2\n0 end\n", {"--replay", "FILE"}, "FILE:1: session format version '2'"},
        {"empty file", "", {"--replay", "FILE"}, "FILE:1: empty file"},
        {"unknown event", h + "0 key c\n1 jump 3 4\n", {"--replay", "FILE"}, "FILE:3: unknown event 'jump'"},
        {"size 0", h + "0 size 0 512\n", {"--replay", "FILE"}, "FILE:2: window size '0 512' is out of range"},
        {"size 2^31", h + "# big\n0 size 512 2147483648\n", {"--replay", "FILE"}, "FILE:3: window size"},
        {"negative step", h + "-1 key c\n", {"--replay", "FILE"}, "FILE:2: negative step number '-1'"},
        {"step too large", h + "2147483648 end\n", {"--replay", "FILE"}, "FILE:2: step number '2147483648'"},
        {"bad number", h + "0 drag 12x 5\n", {"--replay", "FILE"}, "FILE:2: pointer position '12x 5'"},
        {"missing value", h + "0 press left 5\n", {"--replay", "FILE"}, "FILE:2: 'press' takes 3 values, found 2"},
        {"backwards", h + "5 key c\n4 key d\n", {"--replay", "FILE"}, "FILE:3: step 4 comes after step 5"},
        {"never reached", h + "0 key s\n0 key space\n2 key d\n", {"--replay", "FILE"},
         "FILE:4: step 2 is never reached: the simulation is paused at step 1"},
        {"after end", h + "3 end\n3 key c\n", {"--replay", "FILE"}, "FILE:3: event after 'end'"},
        {"Esc as a key", h + "0 key #27\n", {"--replay", "FILE"}, "FILE:2: Esc is not an event"},
        {"truncated last line", h + "0 key c\n3 press rig", {"--replay", "FILE"},
         "FILE:3: the last line has no line end"},
        {"binary", h + std::string("0 key c\n\x7f" "ELF\x02\x01\x01\0\0", 17), {"--replay", "FILE"},
         "FILE:3: not a text file (byte 0x7f)"},
        {"endless line", h + std::string(300, '0') + "\n", {"--replay", "FILE"}, "FILE:2: line longer than 200"},
        {"missing file", "", {"--replay", "FILE.missing"}, "FILE.missing: cannot read: No such file or directory"},
        {"a folder", "", {"--replay", "."}, ".: cannot read: Is a directory"},
        {"unknown option", "", {"--frobnicate"}, "unknown option '--frobnicate'"},
        {"missing argument", "", {"--replay"}, "--replay needs a value"},
        {"png without headless", "", {"--png", "x.png"}, "--png needs --headless"},
        {"bad step count", "", {"--headless", "--steps", "-3"}, "--steps needs a whole number"},
        {"unwritable recording", "", {"--record", "/nonexistent/dir/x.session"},
         "/nonexistent/dir/x.session: cannot write: No such file or directory"},
    };
    for (size_t k = 0; k < cases.size(); ++k) {
        const Case& c = cases[k];
        SCOPED_TRACE(c.what);
        const std::string file = folder + "/case" + std::to_string(k) + ".session";
        if (std::find(c.args.begin(), c.args.end(), "FILE") != c.args.end()) {
            ASSERT_NO_FATAL_FAILURE(writeWholeFile(file, c.content));
        }
        std::vector<std::string> args = {programPath};
        std::string expected = "fluid: " + c.message;
        for (std::string a : c.args) {
            if (a.compare(0, 4, "FILE") == 0) a = file + a.substr(4);
            args.push_back(a);
        }
        if (c.message.compare(0, 4, "FILE") == 0) expected = "fluid: " + file + c.message.substr(4);
        const auto run = runCommand(programPath, args, "");
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitStatus, 2) << run.err;
        EXPECT_EQ(run.err.compare(0, expected.size(), expected), 0) << run.err;
        EXPECT_EQ(run.err.find("failed to open display"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    // --help is not a fault.
    const auto help = runCommand(programPath, {programPath, "--help"}, "");
    EXPECT_TRUE(help.finished && help.exitStatus == 0);
    EXPECT_NE(help.out.find("--headless"), std::string::npos);
}

TEST(HeadlessRun, WritesOneFramePerStepAndTheLastOneIsThePng) {
    const ScratchFolder scratch;
    const std::string& folder = scratch.path;
    ASSERT_FALSE(folder.empty());
    const std::string session = folder + "/short.session";
    // Three steps with density, a size change at step 2, then five more steps.
    ASSERT_NO_FATAL_FAILURE(writeWholeFile(session, "fluid-session 1\n0 press right 100 100\n0 release right 100 100\n"
                                                    "2 size 300 200\n2 key g\n3 end\n"));
    const auto run = runHeadless({"--replay", session, "--steps", "5", "--frames", folder + "/frames", "--png",
                                  folder + "/last.png"});
    ASSERT_TRUE(run.finished && run.exitStatus == 0) << run.err;
    for (int frame = 1; frame <= 8; ++frame) {
        char name[32];
        std::snprintf(name, sizeof name, "/frames/frame-%06d.png", frame);
        EXPECT_FALSE(readWholeFile(folder + name).empty()) << name;
    }

    EXPECT_TRUE(readWholeFile(folder + "/frames/frame-000009.png").empty());
    const std::string last = readWholeFile(folder + "/last.png");
    EXPECT_FALSE(last.empty());
    EXPECT_TRUE(last == readWholeFile(folder + "/frames/frame-000008.png"));
    Image first, final;
    ASSERT_TRUE(readPng(folder + "/frames/frame-000001.png", first));
    ASSERT_TRUE(readPng(folder + "/last.png", final));
    EXPECT_EQ(first.width, 512);
    EXPECT_EQ(final.width, 300);
    EXPECT_EQ(final.height, 200);
}

// Files in a folder (0 when there is no such folder).
size_t filesIn(const std::string& folder) {
    std::error_code ignored;
    size_t count = 0;
    for (std::filesystem::directory_iterator it(folder, ignored), end; !ignored && it != end; it.increment(ignored))
        ++count;
    return count;
}

// A left click on interior cell (i, j) at step 0 of a session, as a press
// and a release there.
std::string clickLines(int i, int j, const char* button) {
    const Point p = cellCentre(i, j);
    const std::string at = std::to_string(p.x) + " " + std::to_string(p.y);
    return std::string("0 press ") + button + " " + at + "\n0 release " + button + " " + at + "\n";
}

TEST(HeadlessRun, ARunWithoutStepsWritesTheStartPictureWithTheSessionsEvents) {
    // Sessions that end at step 0 (or no session): no step, no dump and no
    // frame, but the PNG shows the start with every event of the session
    // applied: obstacles drawn, views switched, the window resized.
    struct Case {
        const char* what;
        std::string session;  // "" for no --replay
        std::vector<std::string> more;
        int width, height;
        bool obstacles;  // cells (10, 100) and (70, 20) solid and shown
        bool grid;       // green outlines
    };
    const std::string h = "fluid-session 1\n0 key c\n";
    const std::string walls = "0 key B\n" + clickLines(10, 100, "left") + clickLines(70, 20, "left");
    const std::vector<Case> cases = {
        {"no session", "", {}, 512, 512, false, false},
        {"obstacles", h + walls + "0 end\n", {}, 512, 512, true, false},
        {"obstacles, paused with a step asked for, --steps 0", h + "0 key s\n0 key space\n" + walls + "0 end\n",
         {"--steps", "0"}, 512, 512, true, false},
        {"obstacles hidden", h + walls + "0 key b\n0 end\n", {}, 512, 512, false, false},
        {"resized, with the grid", h + "0 size 300 200\n0 key g\n", {}, 300, 200, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ScratchFolder scratch;
        ASSERT_FALSE(scratch.path.empty());
        const std::string png = scratch.path + "/start.png", frames = scratch.path + "/frames";
        std::vector<std::string> args = {"--png", png, "--frames", frames};
        if (!c.session.empty()) {
            ASSERT_NO_FATAL_FAILURE(writeWholeFile(scratch.path + "/s.session", c.session));
            args.insert(args.end(), {"--replay", scratch.path + "/s.session"});
        }
        args.insert(args.end(), c.more.begin(), c.more.end());
        const auto run = runHeadless(args);
        ASSERT_TRUE(run.finished && run.exitStatus == 0) << run.err;
        EXPECT_EQ(run.out, "") << "a dump without a step";
        EXPECT_EQ(filesIn(frames), 0u) << "a frame without a step";
        Image picture;
        ASSERT_TRUE(readPng(png, picture));
        ASSERT_EQ(picture.width, c.width);
        ASSERT_EQ(picture.height, c.height);
        if (c.width == windowSide && c.height == windowSide) {
            resetFields();
            if (c.obstacles) boundary[IX(10, 100)] = boundary[IX(70, 20)] = 1;
            EXPECT_TRUE(samePicture(picture, expectedPicture(), 0));
        }
        bool green = false;
        for (const Rgb& p : picture.pixels) green = green || (p.g > 200 && p.r < 50 && p.b < 50);
        EXPECT_EQ(green, c.grid);
    }
    resetFields();
}

TEST(HeadlessRun, StepsRunsExactlyKMoreStepsHoweverTheSessionEnded) {
    // Sessions of 2 steps that end running, paused, or paused with a single
    // step asked for, and one paused at step 0 with a step asked for; each
    // then runs K = 0, 1 or 2 further steps: one frame and one dump each,
    // the last dump that of the fields after all the steps.
    const std::string start = "fluid-session 1\n0 key c\n" + clickLines(30, 40, "right");
    struct Case {
        const char* what;
        std::string session;
        int replayed;
    };
    const Case cases[] = {
        {"running", start + "2 end\n", 2},
        {"paused", start + "2 key s\n2 end\n", 2},
        {"paused, a step asked for", start + "2 key s\n2 key space\n2 end\n", 2},
        {"paused at the start, a step asked for", start + "0 key s\n0 key space\n0 end\n", 0},
    };
    for (const Case& c : cases)
        for (int k = 0; k <= 2; ++k) {
            SCOPED_TRACE(testing::Message() << c.what << ", --steps " << k);
            const ScratchFolder scratch;
            ASSERT_FALSE(scratch.path.empty());
            const std::string session = scratch.path + "/s.session", frames = scratch.path + "/frames";
            ASSERT_NO_FATAL_FAILURE(writeWholeFile(session, c.session));
            const auto run = runHeadless({"--replay", session, "--steps", std::to_string(k), "--frames", frames});
            ASSERT_TRUE(run.finished && run.exitStatus == 0) << run.err;
            const size_t steps = static_cast<size_t>(c.replayed + k);
            EXPECT_EQ(filesIn(frames), steps);
            EXPECT_EQ(countOf(run.out, "Total Density: "), steps);
            if (steps == 0) continue;
            resetFields();
            applyWrites(clickOn30And40);
            for (size_t n = 0; n < steps; ++n) gpuCalcFluid();
            EXPECT_TRUE(sameDump(nthDump(run.out, steps), expectedDump()));
        }
    resetFields();
}

TEST(SessionFiles, CommandLinesThatFitNoModeAreRefusedWithoutAWindowOrAFile) {
    // Each is refused with exit status 2 and a message naming the fault;
    // no window opens (there is no display, so trying would fail with 1) and
    // nothing is written: no recording, no picture, no frames folder.
    const ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    const std::string good = scratch.path + "/good.session", bad = scratch.path + "/bad.session";
    ASSERT_NO_FATAL_FAILURE(writeWholeFile(good, "fluid-session 1\n0 key c\n2 end\n"));
    ASSERT_NO_FATAL_FAILURE(writeWholeFile(bad, "fluid-session 1\n0 jump\n"));
    const std::string R = scratch.path + "/r.session", P = scratch.path + "/p.png", D = scratch.path + "/frames";
    struct Case {
        std::vector<std::string> args;
        std::string message;  // after "fluid: "
    };
    const std::vector<Case> cases = {
        {{"--record", "--replay", good}, "--record needs a value, not the option '--replay'"},
        {{"--record", "-h"}, "--record needs a value, not the option '-h'"},
        {{"--record", "-display", ":0"}, "--record needs a value, not the option '-display'"},
        {{"--replay", "--record", R}, "--replay needs a value, not the option '--record'"},
        {{"--headless", "--png", "--frames", D}, "--png needs a value, not the option '--frames'"},
        {{"--headless", "--frames", "--png", P}, "--frames needs a value, not the option '--png'"},
        {{"--headless", "--steps", "--png", P}, "--steps needs a value, not the option '--png'"},
        {{"--record", ""}, "--record needs a value"},
        {{"--record", R, "--headless"}, "--record needs a window"},
        {{"--headless", "--replay", good, "--record", R, "--png", P}, "--record needs a window"},
        {{"--record", R, "--steps", "3"}, "--steps needs --headless"},
        {{"--record", R, "--png", P}, "--png needs --headless"},
        {{"--replay", good, "--frames", D}, "--frames needs --headless"},
        {{"--headless", "-display", ":0", "--png", P}, "unknown option '-display'"},
        {{"--headless", "--png", P, "extra"}, "unknown option 'extra'"},
        {{"--record", R, "extra"}, "unknown option 'extra'"},
        {{"--record", R, "-geometry", "300x200", "-frobnicate"}, "unknown option '-frobnicate'"},
        {{"--replay", good, "--record", R, "-display"}, "-display needs a value"},
        {{"--headless", "--headless", "--png", P}, "--headless given twice"},
        {{"--headless", "--png", P, "--png", P}, "--png given twice"},
        {{"--replay", good, "--replay", good, "--record", R}, "--replay given twice"},
        {{"--headless", "--replay", bad, "--png", P, "--frames", D}, bad + ":2: unknown event 'jump'"},
        {{"--record", R, "--replay", bad}, bad + ":2: unknown event 'jump'"},
        {{"--record", R, "--dt", "nan"}, "--dt takes a number from 0.001 to 0.5, not 'nan'"},
        {{"--headless", "--diff", "0", "--png", P}, "--diff takes a number from 0.1 to 10 while the sources are kept"},
        {{"--headless", "--viscosity", "", "--png", P}, "--viscosity takes a number from 0 to 10, not ''"},
        {{"--record", R, "--sources", "some"}, "--sources takes kept or cleared, not 'some'"},
        {{"--record", R, "--palette", "grey"}, "--palette takes bands|ember|ice, not 'grey'"},
        {{"--headless", "--auto", "-3", "--png", P}, "--auto needs a whole number from 0 to 4294967295, not '-3'"},
        {{"--headless", "--dt", "0.5", "--dt", "0.5"}, "--dt given twice"},
        {{"--headless", "--replay", good, "--sources", "cleared", "--diff", "0", "--replay", good}, "--replay given twice"},
    };
    for (const Case& c : cases) {
        expectRefused(c.args, c.message, commandSeconds);
        EXPECT_EQ(filesIn(scratch.path), 2u) << "a file was written";
    }
    // The windowing library's own options fit the window's mode: these get
    // as far as opening the display, which fails with GLUT's status 1.
    const std::vector<std::vector<std::string>> windowLines = {
        {"-geometry", "300x200", "-iconic", "-sync"},
        {"-indirect", "-gldebug", "--replay", good},
        {"-direct"},
        {"--replay", good, "-display", "nowhere:99"},
    };
    for (const auto& line : windowLines) {
        SCOPED_TRACE(line.front());
        std::vector<std::string> args = {programPath};
        args.insert(args.end(), line.begin(), line.end());
        const auto run = runCommand(programPath, args, "");
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitStatus, 1) << run.err;
        EXPECT_NE(run.err.find("failed to open display"), std::string::npos) << run.err;
    }
}

TEST(StandardDescriptors, EachClosedOneIsReopenedOnDevNullBeforeAFileIsOpened) {
    // The program starts with some of descriptors 0, 1 and 2 closed and
    // opens the session named on its command line, a pipe here, which it
    // waits on. Until it gets the file's text, the kernel shows what its
    // descriptors are: the three standard ones /dev/null (0 for reading, 1
    // and 2 for writing), the session above them.
    const ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    const unsigned closedSets[] = {1u, 2u, 4u, 5u, 7u};
    for (const unsigned closed : closedSets) {
        SCOPED_TRACE(testing::Message() << "closed:" << ((closed & 1u) ? " 0" : "") << ((closed & 2u) ? " 1" : "")
                                        << ((closed & 4u) ? " 2" : ""));
        const std::string fifo = scratch.path + "/session" + std::to_string(closed);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        Launch launch;
        launch.path = programPath;
        launch.args = {programPath, "--replay", fifo};
        launch.env = environmentWithDisplay("");
        launch.closeStandard = closed;
        pid_t pid = launch.start();
        // The writing end opens once the program has the reading end open.
        int writer = -1;
        const auto deadline = deadlineAfter(patienceSeconds);
        while ((writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 && Clock::now() < deadline)
            pause(5);
        ASSERT_GE(writer, 0) << "the program did not open the session";
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
        const auto target = [&](int fd) {
            char link[4096];
            const ssize_t got = readlink((fds + std::to_string(fd)).c_str(), link, sizeof link - 1);
            return got < 0 ? std::string("(closed)") : std::string(link, static_cast<size_t>(got));
        };
        int sessionFd = -1;
        while (sessionFd < 0 && Clock::now() < deadline) {
            for (int fd = 0; fd < 64 && sessionFd < 0; ++fd)
                if (target(fd) == fifo) sessionFd = fd;
            if (sessionFd < 0) pause(5);
        }
        EXPECT_GT(sessionFd, 2);
        for (int fd = 0; fd <= 2; ++fd) {
            SCOPED_TRACE(fd);
            EXPECT_EQ(target(fd), "/dev/null");
            const std::string info = readWholeFile("/proc/" + std::to_string(pid) + "/fdinfo/" + std::to_string(fd));
            const size_t at = info.find("flags:");
            ASSERT_NE(at, std::string::npos) << info;
            const int access = static_cast<int>(std::strtol(info.c_str() + at + 6, nullptr, 8)) & O_ACCMODE;
            if (fd == 0)
                EXPECT_NE(access, O_WRONLY);
            else
                EXPECT_NE(access, O_RDONLY);
        }
        const std::string text = "not a session\n";
        EXPECT_EQ(write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        close(writer);
        int status = 0;
        ASSERT_TRUE(waitForExit(pid, patienceSeconds, status));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    }
}

// ---------------------------------------------------------------------------
// Videos and share links, checked with tools of their own: FFmpeg's ffprobe
// and ffmpeg read the videos back, Python's zlib and base64 make the links.

// The path of a tool the tests need; a missing one fails the test, naming it.
testing::AssertionResult needTool(const std::string& name, std::string& path) {
    path = findOnPath(name);
    if (path.empty()) return testing::AssertionFailure() << name << " is missing (scripts/install-deps.sh tests)";
    return testing::AssertionSuccess();
}

// A session of 12 steps with density, velocity and an obstacle, the dump on.
const std::string videoSession = "fluid-session 1\n0 key c\n0 press right 100 100\n0 release right 100 100\n"
                                 "0 press left 200 200\n0 drag 260 220\n0 release left 260 220\n12 end\n";
constexpr int videoSessionSteps = 12;

struct VideoStream {
    std::string codec;
    int width = 0, height = 0;
    long long frames = 0;
    std::string rate;
};

// What ffprobe finds in the file's first video stream, counting the frames
// it decodes.
testing::AssertionResult probeVideo(const std::string& path, VideoStream& stream) {
    std::string ffprobe;
    if (auto found = needTool("ffprobe", ffprobe); !found) return found;
    const auto run = runCommand(ffprobe, {"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                                          "-show_entries", "stream=codec_name,width,height,nb_read_frames,r_frame_rate",
                                          "-of", "default=noprint_wrappers=1", path}, "", 120.0);
    if (!run.finished || run.exitStatus != 0) return testing::AssertionFailure() << "ffprobe " << path << ": " << run.err;
    for (const std::string& line : splitLines(run.out)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "codec_name") stream.codec = value;
        if (key == "width") stream.width = std::atoi(value.c_str());
        if (key == "height") stream.height = std::atoi(value.c_str());
        if (key == "nb_read_frames") stream.frames = std::atoll(value.c_str());
        if (key == "r_frame_rate") stream.rate = value;
    }
    return testing::AssertionSuccess();
}

TEST(HeadlessVideo, EachKindDecodesWithOneFramePerStepAtTheWindowsSize) {
    // Odd sides are padded to even for the yuv420p codecs; GIF keeps them.
    struct Case {
        const char* name;
        std::string sizeLine;  // a resize before the first step, or none
        std::vector<std::string> codecs;  // any of these
        int width, height;
        const char* rate;
    };
    const std::vector<Case> cases = {
        {"v.mp4", "", {"h264", "mpeg4"}, 512, 512, "60/1"},
        {"v.webm", "", {"vp9", "vp8"}, 512, 512, "60/1"},
        {"v.gif", "", {"gif"}, 512, 512, ""},
        {"odd.mp4", "0 size 301 201\n", {"h264", "mpeg4"}, 302, 202, "60/1"},
        {"odd.webm", "0 size 301 201\n", {"vp9", "vp8"}, 302, 202, "60/1"},
        {"odd.gif", "0 size 301 201\n", {"gif"}, 301, 201, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchFolder scratch;
        ASSERT_FALSE(scratch.path.empty());
        const std::string session = scratch.path + "/s.session", video = scratch.path + "/" + c.name;
        ASSERT_NO_FATAL_FAILURE(writeWholeFile(session, "fluid-session 1\n" + c.sizeLine + videoSession.substr(16)));
        const auto run = runHeadless({"--replay", session, "--steps", "3", "--video", video});
        ASSERT_TRUE(run.finished && run.exitStatus == 0) << run.err;
        EXPECT_EQ(run.err, "") << "nothing on a standard error that is not a terminal";
        EXPECT_EQ(countOf(run.out, "Total Density: "), static_cast<size_t>(videoSessionSteps + 3));
        EXPECT_EQ(filesIn(scratch.path), 2u) << "a temporary file was left";
        VideoStream stream;
        ASSERT_TRUE(probeVideo(video, stream));
        EXPECT_NE(std::find(c.codecs.begin(), c.codecs.end(), stream.codec), c.codecs.end()) << stream.codec;
        EXPECT_EQ(stream.frames, videoSessionSteps + 3);
        EXPECT_EQ(stream.width, c.width);
        EXPECT_EQ(stream.height, c.height);
        if (*c.rate) {
            EXPECT_EQ(stream.rate, c.rate);
        }
    }
}

TEST(HeadlessVideo, DecodedFramesMatchTheFramesPngs) {
    // One run writes both; ffmpeg decodes the video to RGB and ImageMagick
    // the PNGs. H.264 and VP9 at yuv420p are lossy: a small mean difference,
    // and almost no pixel far off (shared chroma blurs colour edges). Rows in
    // the wrong order or a shifted frame would differ everywhere.
    std::string ffmpeg;
    ASSERT_TRUE(needTool("ffmpeg", ffmpeg));
    for (const char* name : {"v.mp4", "v.webm"}) {
        SCOPED_TRACE(name);
        const ScratchFolder scratch;
        ASSERT_FALSE(scratch.path.empty());
        const std::string session = scratch.path + "/s.session", video = scratch.path + "/" + name;
        const std::string frames = scratch.path + "/frames";
        ASSERT_NO_FATAL_FAILURE(writeWholeFile(session, videoSession));
        const auto run = runHeadless({"--replay", session, "--frames", frames, "--video", video});
        ASSERT_TRUE(run.finished && run.exitStatus == 0) << run.err;
        const std::string raw = scratch.path + "/v.rgb";
        const auto decode = runCommand(ffmpeg, {"ffmpeg", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt",
                                                "rgb24", raw}, "", 120.0);
        ASSERT_TRUE(decode.finished && decode.exitStatus == 0) << decode.err;
        const std::string decoded = readWholeFile(raw);
        const size_t frameBytes = static_cast<size_t>(windowSide) * windowSide * 3;
        ASSERT_EQ(decoded.size(), frameBytes * videoSessionSteps);
        for (int frame = 1; frame <= videoSessionSteps; ++frame) {
            SCOPED_TRACE(frame);
            char png[32];
            std::snprintf(png, sizeof png, "/frame-%06d.png", frame);
            Image expected;
            ASSERT_TRUE(readPng(frames + png, expected));
            ASSERT_EQ(expected.pixels.size() * 3, frameBytes);
            double total = 0;
            size_t farOff = 0;
            for (size_t p = 0; p < expected.pixels.size(); ++p) {
                const unsigned char* got = reinterpret_cast<const unsigned char*>(&decoded[(frame - 1) * frameBytes + p * 3]);
                const int want[3] = {expected.pixels[p].r, expected.pixels[p].g, expected.pixels[p].b};
                for (int k = 0; k < 3; ++k) {
                    const int d = std::abs(got[k] - want[k]);
                    total += d;
                    farOff += d > 48;
                }
            }
            EXPECT_LT(total / static_cast<double>(frameBytes), 2.0);
            EXPECT_LT(farOff, frameBytes / 500);
        }
    }
}

TEST(HeadlessVideo, NamesThatCannotBeWrittenAreRefusedBeforeAnyFrameAndLeaveNoFile) {
    const ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    const std::string session = scratch.path + "/s.session", folder = scratch.path + "/taken.mp4";
    ASSERT_NO_FATAL_FAILURE(writeWholeFile(session, videoSession));
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    struct Case {
        std::vector<std::string> args;
        std::string message;  // after "fluid: "
    };
    const std::string S = scratch.path;
    const std::vector<Case> cases = {
        {{"--headless", "--replay", session, "--video", S + "/v.avi"}, S + "/v.avi: unknown video type"},
        {{"--headless", "--replay", session, "--video", S + "/v"}, S + "/v: unknown video type"},
        {{"--headless", "--replay", session, "--video", S + "/none/v.mp4"},
         S + "/none/v.mp4: cannot write the video: there is no folder " + S + "/none"},
        {{"--headless", "--replay", session, "--video", session + "/v.webm"},
         session + "/v.webm: cannot write the video: there is no folder " + session},
        {{"--headless", "--replay", session, "--video", folder}, folder + ": cannot write the video: it is a folder"},
        {{"--headless", "--replay", session, "--video", "/proc/v.mp4"}, "/proc/v.mp4: cannot write the video"},
        {{"--replay", session, "--video", S + "/v.mp4"}, "--video needs --headless"},
        {{"--headless", "--video", S + "/v.mp4"}, "--video needs at least one step"},
        {{"--headless", "--video"}, "--video needs a value"},
    };
    for (const Case& c : cases) {
        expectRefused(c.args, c.message, 120.0);  // nothing on standard output: no frame was drawn
        EXPECT_EQ(filesIn(S), 2u) << "a file was written";
        EXPECT_EQ(filesIn(folder), 0u);
    }
}

TEST(HeadlessVideo, ProgressIsShownOnATerminalOnly) {
    // script(1) gives the program a pseudo-terminal; the tests' pipes are none.
    std::string script;
    ASSERT_TRUE(needTool("script", script));
    const ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    const std::string session = scratch.path + "/s.session";
    ASSERT_NO_FATAL_FAILURE(writeWholeFile(session, videoSession));
    const std::string command = std::string(programPath) + " --headless --replay " + session +
                                " --frames " + scratch.path + "/frames >/dev/null";
    const auto run = runCommand(script, {"script", "-qec", command, "/dev/null"}, "", 120.0);
    ASSERT_TRUE(run.finished && run.exitStatus == 0) << run.out;
    const std::string last = "frame 12/12, ";
    ASSERT_NE(run.out.find("\r" + last), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" frames/s, 0 s left"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(countOf(run.out, "\n"), 1u) << "one line, rewritten";
    const auto piped = runHeadless({"--replay", session, "--frames", scratch.path + "/piped"});
    ASSERT_TRUE(piped.finished && piped.exitStatus == 0);
    EXPECT_EQ(piped.err, "");
}

// A share link to `bytes` (Python's raw DEFLATE and base64url without '='),
// or, with `mode`, a damaged one: "cut" drops the stream's last 4 bytes,
// "raw" encodes the bytes without compressing them.
testing::AssertionResult pythonLink(const std::string& bytes, const std::string& mode, std::string& link) {
    std::string python;
    if (auto found = needTool("python3", python); !found) return found;
    const char* program =
        "import base64, os, sys, zlib\n"
        "mode, data = sys.argv[1], os.fsencode(sys.argv[2])\n"
        "if data.startswith(b'ZEROS '): data = bytes(int(data[6:]))\n"
        "if mode != 'raw':\n"
        "    packer = zlib.compressobj(9, zlib.DEFLATED, -15)\n"
        "    data = packer.compress(data) + packer.flush()\n"
        "if mode == 'cut': data = data[:-4]\n"
        "sys.stdout.write('https://example.org/fluid/#session=' + base64.urlsafe_b64encode(data).decode().rstrip('='))\n";
    const auto run = runCommand(python, {"python3", "-c", program, mode, bytes}, "");
    if (!run.finished || run.exitStatus != 0) return testing::AssertionFailure() << "python3: " << run.err;
    link = run.out;
    return testing::AssertionSuccess();
}

TEST(SessionLinks, ALinkReplaysToTheSameDumpsAsItsSessionFile) {
    const ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    const std::string h = "fluid-session 1\n0 key c\n";
    struct Case {
        const char* what;
        std::string session;
        std::vector<std::string> more;
        size_t dumps;  // as many as steps where the session turns the dump on
    };
    const std::vector<Case> cases = {
        {"clicks and drags", videoSession, {}, videoSessionSteps},
        {"settings in the session", h + "0 set diff 0.1\n" + clickLines(30, 40, "right") + "0 set dt 0.1\n4 end\n",
         {}, 4},
        {"start settings on the command line", h + clickLines(30, 40, "right") + "0 set diff 0\n3 end\n",
         {"--sources", "cleared", "--steps", "2"}, 5},
        {"an example", readWholeFile(std::string(FLUID_SOURCE_DIR) + "/examples/source-and-obstacles.session"),
         {"--steps", "0"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.session.empty());
        const std::string file = scratch.path + "/s.session";
        ASSERT_NO_FATAL_FAILURE(writeWholeFile(file, c.session));
        std::string link;
        ASSERT_TRUE(pythonLink(c.session, "", link));
        std::vector<std::string> fromFile = {"--replay", file}, fromLink = {"--replay", link};
        fromFile.insert(fromFile.end(), c.more.begin(), c.more.end());
        fromLink.insert(fromLink.end(), c.more.begin(), c.more.end());
        const auto expected = runHeadless(fromFile), actual = runHeadless(fromLink);
        ASSERT_TRUE(expected.finished && expected.exitStatus == 0) << expected.err;
        ASSERT_TRUE(actual.finished && actual.exitStatus == 0) << actual.err;
        EXPECT_EQ(actual.err, "");
        EXPECT_EQ(actual.out, expected.out);
        EXPECT_EQ(countOf(actual.out, "Total Density: "), c.dumps);
    }
}

TEST(SessionLinks, DamagedLinksAreRefusedInOneSentenceWithoutAWindow) {
    struct Case {
        const char* what;
        std::string bytes, mode;  // Python's link to these; mode "text" takes `bytes` as the link
        bool headless;
        std::string message;  // after "fluid: "
    };
    const std::string M = "https://example.org/fluid/#session=";
    const std::vector<Case> cases = {
        {"padding", M + "Zm8=", "text", true, "the link is not base64url: it has '=' padding"},
        {"a character outside the alphabet", M + "Zm+v", "text", false,
         "the link is not base64url: character '+' at position 3 is not base64url"},
        {"a space", M + "Zm 9v", "text", true, "the link is not base64url: character 0x20 at position 3"},
        {"an impossible length", M + "Zm9vY", "text", false, "the link is not base64url: its length leaves a lone"},
        {"nothing after the marker", M, "text", true, "the link is cut short"},
        {"not DEFLATE", "\xff\xff\xff", "raw", false, "the link is corrupt"},
        {"a truncated stream", videoSession, "cut", true, "the link is cut short"},
        {"past the bound", "ZEROS 4194305", "", true, "the link's session is larger than 4194304 bytes"},
        {"far past the bound", "ZEROS 100000000", "", false, "the link's session is larger than 4194304 bytes"},
        {"a session the reader refuses", "fluid-session 1\n0 key c\n0 jump\n", "", true,
         "the link:3: unknown event 'jump'"},
        {"a setting out of range", "fluid-session 1\n0 set dt 9\n", "", true, "the link:2: "},
        {"not a session", "hello\n", "", false, "the link:1: not a session file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string link = c.bytes;
        if (c.mode != "text") {
            ASSERT_TRUE(pythonLink(c.bytes, c.mode, link));
        }
        std::vector<std::string> args = {programPath};
        if (c.headless) args.push_back("--headless");
        args.insert(args.end(), {"--replay", link});
        const auto run = runCommand(programPath, args, "", 120.0);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitStatus, 2) << run.err;
        const std::string expected = "fluid: " + c.message;
        EXPECT_EQ(run.err.compare(0, expected.size(), expected), 0) << run.err;
        EXPECT_EQ(countOf(run.err, "\n"), 1u) << run.err;
        EXPECT_EQ(run.err.find("failed to open display"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    // Exactly the bound is allowed through to the reader, which refuses zeros.
    std::string link;
    ASSERT_TRUE(pythonLink("ZEROS 4194304", "", link));
    const auto run = runCommand(programPath, {programPath, "--headless", "--replay", link}, "", 120.0);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.err.compare(0, 16, "fluid: the link:"), 0) << run.err;
}

}  // namespace
