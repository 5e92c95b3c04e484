// SettingsTest.cpp - the run-time settings, the motion generator and the
// palettes, on the core with the tests' counting platform.
//
// Ranges are checked at their edges, just inside and just outside, on the
// command line and in session files; a replay with settings is compared with
// the reference kernels driven in-process with the same values; the ranges'
// corners are run long under the strongest input the program makes; the
// generator is compared with itself and with its own recording.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "AutoMotion.h"
#include "CommandLine.h"
#include "FieldPicture.h"
#include "FrontEndTestSupport.h"
#include "InputCodes.h"
#include "Palette.h"
#include "Session.h"
#include "SessionPlayback.h"
#include "Settings.h"

using namespace testsupport;

namespace {

struct Fields {
    std::vector<float> values[6];
    bool operator==(const Fields& o) const {
        for (int f = 0; f < 6; ++f)
            for (int k = 0; k < cellsPerField; ++k)
                if (!sameValue(values[f][k], o.values[f][k])) return false;
        return true;
    }
};
Fields fieldsNow() {
    const float* live[6] = {u, v, u_prev, v_prev, dens, dens_prev};
    Fields f;
    for (int k = 0; k < 6; ++k) f.values[k].assign(live[k], live[k] + cellsPerField);
    return f;
}

// Runs the command line's start, then `frames` frames, as the window does.
void runFrames(int frames) {
    for (int k = 0; k < frames; ++k) displayFrame();
}

bool parsesOnCommandLine(std::vector<std::string> args, std::string& error, CommandLine& options) {
    std::vector<char*> argv;
    std::string program = "fluid";
    argv.push_back(&program[0]);
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    int argc = static_cast<int>(argv.size()) - 1;
    return takeCommandLine(argc, argv.data(), options, error);
}

class Settings : public CoreTest {
  protected:
    void TearDown() override {
        applySetting({SettingKind::dt, 0.2f});
        applySetting({SettingKind::diff, 0.5f});
        applySetting({SettingKind::viscosity, 0.0f});
        applySetting({SettingKind::sources, 0.0f});
        applySetting({SettingKind::palette, 0.0f});
        stopAutoMotion();
        startReplay({});
        stepsCompleted = 0;
        CoreTest::TearDown();
    }
};

}  // namespace

// Each range at its edges, and values that are not numbers, through the
// command line (the sources given first where a case needs them) and through
// a session line, which names the file and line.
TEST_F(Settings, RangesAreHeldAtTheirEdgesOnTheCommandLineAndInFiles) {
    struct Case {
        std::vector<std::string> args;  // option and value, maybe --sources cleared before
        bool accepted;
        const char* message;  // part of the refusal
    };
    const std::string kept = "from 0.1 to 10 while the sources are kept";
    const Case cases[] = {
        {{"--dt", "0.001"}, true, ""},
        {{"--dt", "0.000999"}, false, "dt takes a number from 0.001 to 0.5"},
        {{"--dt", "0.5"}, true, ""},
        {{"--dt", "0.5001"}, false, "dt takes a number from 0.001 to 0.5"},
        {{"--diff", "0.1"}, true, ""},
        {{"--diff", "0.0999"}, false, "diff takes a number from 0.1 to 10 while the sources are kept"},
        {{"--diff", "10"}, true, ""},
        {{"--diff", "10.001"}, false, "diff takes a number from 0 to 10"},
        {{"--sources", "cleared", "--diff", "0"}, true, ""},
        {{"--diff", "0", "--sources", "cleared"}, true, ""},  // the order given does not matter
        {{"--sources", "cleared", "--diff", "-0.0001"}, false, "diff takes a number from 0 to 10"},
        {{"--viscosity", "0"}, true, ""},
        {{"--viscosity", "10"}, true, ""},
        {{"--viscosity", "-1e-9"}, false, "viscosity takes a number from 0 to 10"},
        {{"--viscosity", "10.0001"}, false, "viscosity takes a number from 0 to 10"},
        {{"--dt", "nan"}, false, "dt takes a number from 0.001 to 0.5, not 'nan'"},
        {{"--diff", "inf"}, false, "diff takes a number"},
        {{"--diff", "1e39"}, false, "diff takes a number"},
        {{"--dt", "0x1p-3"}, false, "dt takes a number"},
        {{"--dt", "0.2x"}, false, "dt takes a number"},
        {{"--dt", ""}, false, "dt takes a number from 0.001 to 0.5, not ''"},
        {{"--sources", "gone"}, false, "sources takes kept or cleared, not 'gone'"},
        {{"--palette", "ember"}, true, ""},
        {{"--palette", "rainbow"}, false, "palette takes bands|ember|ice, not 'rainbow'"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        CommandLine options;
        std::string error;
        EXPECT_EQ(parsesOnCommandLine(c.args, error, options), c.accepted) << error;
        if (!c.accepted) {
            EXPECT_NE(error.find(std::string("--") + c.message), std::string::npos) << error;
            continue;
        }
        // The same values as session lines, in the order given.
        std::string text = std::string(sessionHeader) + "\n";
        for (size_t k = 0; k + 1 < c.args.size(); k += 2) text += "0 set " + c.args[k].substr(2) + " " + c.args[k + 1] + "\n";
        std::vector<SessionEvent> events;
        const bool inFile = parseSession(text, "s", events, error);
        // A file is read in its own order: diff 0 before the sources are cleared is refused there.
        const bool orderMatters = c.args[0] == "--diff" && c.args.size() == 4;
        EXPECT_EQ(inFile, !orderMatters) << error;
        if (orderMatters) {
            EXPECT_EQ(error, "s:2: diff takes a number " + kept + " (from 0 when cleared), not 0");
        }
    }
    // Out of range in a file: refused with the file's name and line.
    std::vector<SessionEvent> events;
    std::string error;
    EXPECT_FALSE(parseSession(std::string(sessionHeader) + "\n0 key c\n3 set dt 2\n", "f.session", events, error));
    EXPECT_EQ(error, "f.session:3: dt takes a number from 0.001 to 0.5, not '2'");
    EXPECT_FALSE(parseSession(std::string(sessionHeader) + "\n0 set sources cleared\n0 set diff 0\n1 set sources kept\n",
                              "f.session", events, error));
    EXPECT_EQ(error, "f.session:4: sources kept needs diff from 0.1 (diff is 0)");
    EXPECT_FALSE(parseSession(std::string(sessionHeader) + "\n0 set speed 1\n", "f.session", events, error));
    EXPECT_FALSE(parseSession(std::string(sessionHeader) + "\n0 set dt\n", "f.session", events, error));
    // A replay starts from the command line's settings.
    EXPECT_TRUE(parseSession(std::string(sessionHeader) + "\n0 set diff 0\n", "f", events, error,
                             SettingsState{0.2f, 0.5f, 0.0f, 1, 0}))
        << error;
}

// Every float a setting can hold is written with enough digits to read back
// as the same bits, through the session line and back.
TEST_F(Settings, AValueWrittenInASessionReadsBackToTheSameFloat) {
    const float values[] = {0.2f, 0.1f, 1.0f / 3.0f, 0.001f, std::nextafter(0.001f, 1.0f), std::nextafter(1.0f, 0.0f),
                            1e-30f, 9.99999905f, 0.123456789f, 7.0f};
    for (const float value : values) {
        SessionEvent event;
        event.kind = SessionEventKind::Set;
        event.setting = {SettingKind::viscosity, value};
        const std::string line = formatSessionEvent(event);
        std::vector<SessionEvent> events;
        std::string error;
        ASSERT_TRUE(parseSession(std::string(sessionHeader) + "\n" + line + "\n", "s", events, error)) << line << error;
        EXPECT_EQ(bitsOf(events[0].setting.value), bitsOf(value)) << line;
    }
}

// A session with settings, replayed by the front end frame by frame, against
// the reference kernels driven in-process: the same sources written by hand,
// the same parameters, the sources zeroed after each step once cleared.
TEST_F(Settings, AReplayWithSettingsMatchesTheReferenceDrivenByHand) {
    const std::string text = std::string(sessionHeader) +
                             "\n0 set sources cleared\n0 set diff 0\n0 set dt 0.35\n0 key f\n"
                             "3 set viscosity 0.002\n3 press right 256 256\n3 release right 256 256\n"
                             "6 set diff 0.25\n6 set sources kept\n6 key f\n9 end\n";
    std::vector<SessionEvent> events;
    std::string error;
    ASSERT_TRUE(parseSession(text, "s", events, error)) << error;
    startReplay(events);
    runFrames(9);
    const Fields replayed = fieldsNow();

    resetFields();
    setActiveHostKernels(&referenceKernels());
    const auto source = [] {
        dens_prev[IX(1, 64)] = 504.0f;
        v_prev[IX(1, 64)] = 4.0f;
    };
    const auto click = [] {  // (256, 256) picks cell (64, 64)
        dens_prev[IX(64, 64)] = 504.0f;
        u_prev[IX(64, 63)] = -4.0f;
        u_prev[IX(64, 65)] = 4.0f;
        v_prev[IX(63, 64)] = -4.0f;
        v_prev[IX(65, 64)] = 4.0f;
    };
    dt = 0.35f;
    diff = 0.0f;
    viscosity = 0.0f;
    source();
    for (int step = 1; step <= 9; ++step) {
        gpuCalcFluid();
        if (step <= 6)
            for (int k = 0; k < cellsPerField; ++k) u_prev[k] = v_prev[k] = dens_prev[k] = 0.0f;
        if (step == 3) {
            viscosity = 0.002f;
            click();
        }
        if (step == 6) {
            diff = 0.25f;
            source();
        }
    }
    EXPECT_TRUE(replayed == fieldsNow());
}

// Options beside --replay apply at the start, and the session's own settings
// when they come; a recording of the run holds the options' settings at step
// 0, so that it replays without them.
TEST_F(Settings, StartOptionsComeFirstAndARecordingReplaysWithoutThem) {
    CommandLine options;
    std::string error;
    ASSERT_TRUE(parsesOnCommandLine({"--dt", "0.5", "--sources", "cleared", "--diff", "0.01"}, error, options)) << error;
    const std::string text = std::string(sessionHeader) + "\n0 key f\n4 set diff 0\n4 key f\n8 end\n";
    std::vector<SessionEvent> events;
    ASSERT_TRUE(parseSession(text, "s", events, error, startSettings(options))) << error;
    // The same session without the options is refused: diff 0 with kept sources.
    std::vector<SessionEvent> refused;
    EXPECT_FALSE(parseSession(text, "s", refused, error));

    char path[] = "/tmp/fluid-settings-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    ASSERT_TRUE(startRecording(path, error)) << error;
    applyStartOptions(options);
    startReplay(events);
    runFrames(12);
    stopRecording();
    const Fields withOptions = fieldsNow();

    resetFrontEnd();
    applySetting({SettingKind::dt, 0.2f});
    applySetting({SettingKind::diff, 0.5f});
    applySetting({SettingKind::sources, 0.0f});
    stepsCompleted = 0;
    std::vector<SessionEvent> recorded;
    ASSERT_TRUE(readSessionFile(path, recorded, error)) << error;
    std::remove(path);
    ASSERT_GE(recorded.size(), 3u);
    EXPECT_EQ(formatSessionEvent(recorded[0]), "0 set sources cleared");
    EXPECT_EQ(formatSessionEvent(recorded[1]), "0 set dt 0.5");
    EXPECT_EQ(formatSessionEvent(recorded[2]), "0 set diff 0.01");
    startReplay(recorded);
    runFrames(12);
    EXPECT_TRUE(withOptions == fieldsNow());
}

// The corners of the ranges, run long under the strongest input: the source
// key, a right click and a drag of any length at every step, in the largest
// window (cellSize 130). Every field stays finite. Just below the kept
// sources' bound on diff, one click's density grows until it is infinite.
TEST_F(Settings, TheRangesCornersStayFiniteUnderTheStrongestInput) {
    struct Corner {
        float dt, diff, viscosity;
        int cleared;
    };
    const Corner corners[] = {{0.5f, 0.1f, 0.0f, 0},   {0.5f, 0.0f, 0.0f, 1},  {0.001f, 10.0f, 10.0f, 0},
                              {0.5f, 10.0f, 10.0f, 1}, {0.001f, 0.0f, 0.0f, 1}, {0.2f, 0.1f, 10.0f, 0}};
    constexpr int steps = 500;
    setWindowSize(maxSessionWindowSide, maxSessionWindowSide);
    for (const Corner& c : corners) {
        SCOPED_TRACE(testing::Message() << "dt " << c.dt << " diff " << c.diff << " viscosity " << c.viscosity
                                        << (c.cleared ? " cleared" : " kept"));
        resetFields();
        applySetting({SettingKind::sources, static_cast<float>(c.cleared)});
        applySetting({SettingKind::dt, c.dt});
        applySetting({SettingKind::diff, c.diff});
        applySetting({SettingKind::viscosity, c.viscosity});
        bool finite = true;
        for (int step = 0; step < steps && finite; ++step) {
            keyboardCommand(sourceKey, 0, 0);
            const int x = (step * 7919) % maxSessionWindowSide, y = (step * 104729) % maxSessionWindowSide;
            mouseButton(rightButton, buttonDown, x, y);
            mouseButton(rightButton, buttonUp, x, y);
            mouseButton(leftButton, buttonDown, y, x);
            mouseMotion(step % 2 ? INT_MAX : INT_MIN, step % 3 ? INT_MIN : INT_MAX);
            mouseButton(leftButton, buttonUp, 0, 0);
            displayFrame();
            for (int k = 0; k < cellsPerField && finite; ++k)
                finite = std::isfinite(u[k]) && std::isfinite(v[k]) && std::isfinite(dens[k]);
        }
        EXPECT_TRUE(finite);
    }
    // Kept sources at diff 0.01: one click, then only steps.
    setWindowSize(startWindowSide, startWindowSide);
    resetFields();
    applySetting({SettingKind::dt, 0.2f});
    applySetting({SettingKind::diff, 0.01f});
    applySetting({SettingKind::viscosity, 0.0f});
    applySetting({SettingKind::sources, 0.0f});
    keyboardCommand(sourceKey, 0, 0);
    mouseButton(rightButton, buttonDown, 160, 352);
    mouseButton(rightButton, buttonUp, 160, 352);
    int infiniteAt = 0;
    for (int step = 1; step <= 2500 && !infiniteAt; ++step) {
        displayFrame();
        if (!std::isfinite(totalDensity)) infiniteAt = step;
    }
    EXPECT_GT(infiniteAt, 0) << "kept sources at diff 0.01 stayed finite";
}

// The generator: the same seed makes the same events and fields; another
// seed makes others; a recording of its events replays without it to the
// same fields, bit for bit.
TEST_F(Settings, AutoMotionIsReproducibleAndItsRecordingReplaysWithoutIt) {
    applySetting({SettingKind::sources, 1.0f});
    applySetting({SettingKind::diff, 0.0f});
    const auto run = [](std::uint64_t seed, const char* recordTo) {
        resetFields();
        stepsCompleted = 0;
        std::string error;
        if (recordTo) {
            EXPECT_TRUE(startRecording(recordTo, error)) << error;
        }
        startAutoMotion(seed);
        runFrames(400);
        stopAutoMotion();
        stopRecording();
        return fieldsNow();
    };
    char path[] = "/tmp/fluid-auto-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const Fields first = run(7, path);
    EXPECT_TRUE(first == run(7, nullptr));
    EXPECT_FALSE(first == run(8, nullptr));
    float total = 0.0f;
    for (int k = 0; k < cellsPerField; ++k) total += std::fabs(first.values[4][k]);
    EXPECT_GT(total, 1.0f) << "the generator added no density";

    std::vector<SessionEvent> recorded;
    std::string error;
    ASSERT_TRUE(readSessionFile(path, recorded, error)) << error;
    std::remove(path);
    int presses = 0, drags = 0;
    for (const SessionEvent& e : recorded) {
        presses += e.kind == SessionEventKind::Press;
        drags += e.kind == SessionEventKind::Drag;
    }
    EXPECT_GE(presses, 5);
    EXPECT_GE(drags, 50);
    resetFields();
    stepsCompleted = 0;
    startReplay(recorded);
    runFrames(400);
    EXPECT_TRUE(first == fieldsNow());
}

// The palettes: the bands are the default and unchanged; each ramp grows
// lighter with the density (the sum of its channels never falls) and takes
// its last colour at infinity.
TEST_F(Settings, PalettesBandsByDefaultAndRampsDarkToLight) {
    EXPECT_EQ(palette, 0);
    EXPECT_EQ(std::string(paletteNames[0]), "bands");
    const Colour band = densityColour(0.5f);
    EXPECT_TRUE(band.r == 0.0f && band.g == 0.5f && band.b == 0.0f);
    for (int p = 1; p < paletteCount; ++p) {
        SCOPED_TRACE(paletteNames[p]);
        float previous = -1.0f;
        for (float d = 1e-6f; d < 1e6f; d *= 1.1f) {
            const Colour c = rampColour(p, d);
            const float light = c.r + c.g + c.b;
            EXPECT_GE(light, previous) << d;
            previous = light;
        }
        const Colour last = rampColour(p, INFINITY);
        EXPECT_EQ(last.r + last.g + last.b, previous);
        EXPECT_GT(previous, 1.5f);                       // light at the top
        const Colour first = rampColour(p, 1e-9f);
        EXPECT_LT(first.r + first.g + first.b, 0.1f);  // dark at the bottom
    }
}

// Each preset can be chosen after any other, its settings one by one, and
// the first is the program's own start.
TEST_F(Settings, EveryPresetFollowsEveryOtherAndTheFirstIsTheStart) {
    const SettingsState start = defaultSettings();
    EXPECT_TRUE(presets[0].dt == start.dt && presets[0].diff == start.diff && presets[0].viscosity == start.viscosity &&
                presets[0].sourcesCleared == start.sourcesCleared);
    for (const Preset& from : presets)
        for (const Preset& to : presets) {
            SCOPED_TRACE(std::string(from.name) + " to " + to.name);
            SettingsState state{from.dt, from.diff, from.viscosity, from.sourcesCleared, 0};
            Setting settings[4];
            presetSettings(to, settings);
            std::string error;
            for (const Setting& setting : settings) EXPECT_TRUE(allowSetting(state, setting, error)) << error;
            EXPECT_TRUE(state.dt == to.dt && state.diff == to.diff && state.viscosity == to.viscosity &&
                        state.sourcesCleared == to.sourcesCleared);
        }
}
