// Keyboard commands and mouse interaction on the globals: the core on the
// tests' counting platform.
#include <climits>

#include "FrontEndTestSupport.h"
#include "InputCodes.h"
#include "LiveInput.h"
#include "Session.h"

using namespace testsupport;

namespace {

struct Flags {
    int simulate, stepOnce, printFields, showDensity, showBoundary, showVelocity, showGrid, editBoundary;
    static Flags now() {
        return {::simulate, ::stepOnce, ::printFields, ::showDensity, ::showBoundary, ::showVelocity, ::showGrid,
                ::editBoundary};
    }
    bool operator==(const Flags& o) const {
        return simulate == o.simulate && stepOnce == o.stepOnce && printFields == o.printFields &&
               showDensity == o.showDensity && showBoundary == o.showBoundary && showVelocity == o.showVelocity &&
               showGrid == o.showGrid && editBoundary == o.editBoundary;
    }
};

bool fieldsAllZero() {
    for (int k = 0; k < cellsPerField; ++k)
        if (u[k] != 0 || v[k] != 0 || u_prev[k] != 0 || v_prev[k] != 0 || dens[k] != 0 || dens_prev[k] != 0 ||
            boundary[k] != 0)
            return false;
    return true;
}

void press(int button, int x, int y) { mouseButton(button, buttonDown, x, y); }
void release(int button, int x, int y) { mouseButton(button, buttonUp, x, y); }

}  // namespace

TEST_F(CoreTest, EachKeyTogglesItsFlagAndEveryKeyButEscRequestsARedraw) {
    struct Toggle {
        unsigned char key;
        int* flag;
    };
    const Toggle toggles[] = {{'B', &editBoundary}, {'b', &showBoundary}, {'c', &printFields},
                              {'d', &showDensity},  {'g', &showGrid},     {'s', &simulate},
                              {'v', &showVelocity}};
    for (const Toggle& t : toggles) {
        const int before = *t.flag;
        keyboardCommand(t.key, 0, 0);
        EXPECT_EQ(*t.flag, 1 - before) << t.key;
        keyboardCommand(t.key, 0, 0);
        EXPECT_EQ(*t.flag, before) << t.key;
    }
    EXPECT_EQ(counting::counts.redraws, 14);

    keyboardCommand(' ', 0, 0);
    EXPECT_EQ(stepOnce, 1);
    // Every other code, upper-case letters included, changes nothing but redraws.
    const Flags flags = Flags::now();
    const int before = counting::counts.redraws;
    int others = 0;
    for (int key = 0; key < 256; ++key) {
        if (std::string(" Bbcdfgrsv\x1b").find(static_cast<char>(key)) != std::string::npos || key == 0) continue;
        keyboardCommand(static_cast<unsigned char>(key), -5, 99999);
        ++others;
    }
    keyboardCommand(0, 0, 0);
    ++others;
    EXPECT_TRUE(Flags::now() == flags);
    EXPECT_TRUE(fieldsAllZero());
    EXPECT_EQ(counting::counts.redraws, before + others);
}

TEST_F(CoreTest, KeyFAssignsTheFixedSourceScaledByCellSize) {
    v_prev[IX(1, 64)] = 100.0f;
    keyboardCommand('f', 0, 0);
    keyboardCommand('f', 0, 0);
    EXPECT_EQ(dens_prev[8193], 504.0f);
    EXPECT_EQ(v_prev[8193], 4.0f);
    int changed = 0;
    for (int k = 0; k < cellsPerField; ++k) changed += (dens_prev[k] != 0) + (v_prev[k] != 0) + (u_prev[k] != 0);
    EXPECT_EQ(changed, 2);
    reshapeWindow(800, 600);
    keyboardCommand('f', 0, 0);
    EXPECT_EQ(dens_prev[IX(1, 64)], 756.0f);
    EXPECT_EQ(v_prev[IX(1, 64)], 6.0f);
}

TEST_F(CoreTest, KeyRClearsAllFieldsAndKeepsFlagsAndTotal) {
    for (int k = 0; k < cellsPerField; ++k) {
        u[k] = v[k] = u_prev[k] = v_prev[k] = dens[k] = dens_prev[k] = 2.0f;
        boundary[k] = 1;
    }
    showGrid = 1;
    totalDensity = 3.0f;
    const Flags flags = Flags::now();
    keyboardCommand('r', 0, 0);
    EXPECT_TRUE(fieldsAllZero());
    EXPECT_TRUE(Flags::now() == flags);
    EXPECT_EQ(totalDensity, 3.0f);
}

// Esc asks the platform to quit and requests no redraw; where the quit
// returns (the page's), the program has ended: frames, keys, buttons, drags
// and size changes do nothing more. (The desktop's quit is the process's
// exit: RenderTest.)
TEST_F(CoreTest, EscQuitsThroughThePlatformAndNothingHappensAfterwards) {
    freezeSolver();
    const long long steps = stepsCompleted;
    liveKeyboard(escapeKey, 0, 0);
    EXPECT_EQ(counting::counts.quits, 1);
    EXPECT_EQ(counting::counts.redraws, 0);
    EXPECT_EQ(programEnded, 1);
    displayFrame();
    liveKeyboard(sourceKey, 0, 0);
    liveKeyboard(escapeKey, 0, 0);
    liveMouseButton(rightButton, buttonDown, 256, 256);
    liveMouseMotion(300, 300);
    liveReshape(640, 480);
    EXPECT_EQ(counting::counts.quits, 1);
    EXPECT_EQ(counting::counts.redraws + counting::counts.draws + counting::counts.presents + counting::counts.fits, 0);
    EXPECT_EQ(stepsCompleted, steps);
    EXPECT_EQ(windowWidth, startWindowSide);
    EXPECT_TRUE(fieldsAllZero());
}

TEST_F(CoreTest, PickingMapsPointerToInteriorCells) {
    EXPECT_EQ(pickCellIndex(0, 512), 1);
    EXPECT_EQ(pickCellIndex(256, 512), 64);
    EXPECT_EQ(pickCellIndex(511, 512), 126);  // 127 clamped
    EXPECT_EQ(pickCellIndex(512 - 0, 512), 126);
    EXPECT_EQ(pickCellIndex(512 - 511, 512), 1);
    EXPECT_EQ(pickCellIndex(500, 1000), 64);
    EXPECT_EQ(pickCellIndex(-40, 512), 1);
    EXPECT_EQ(pickCellIndex(1LL << 40, 512), 126);
    EXPECT_EQ(pickCellIndex(5, 0), 1);   // infinite quotient
    EXPECT_EQ(pickCellIndex(0, 0), 1);   // not a number
    EXPECT_EQ(pickCellIndex(-5, 0), 1);
    EXPECT_EQ(pickCellIndex(10, -512), 1);

    // (0,0) is the top-left corner: the top interior row, first column.
    press(rightButton, 0, 0);
    EXPECT_EQ(dens_prev[IX(126, 1)], 504.0f);
    press(rightButton, 511, 511);
    EXPECT_EQ(dens_prev[IX(1, 126)], 504.0f);
    press(rightButton, 256, 256);
    EXPECT_EQ(dens_prev[IX(64, 64)], 504.0f);
}

TEST_F(CoreTest, RightButtonPatternOnPressAndReleaseReachesBorderCells) {
    // (1,1) sits at the bottom-left: x in 4..7, y with 512 - y in 4..7.
    press(rightButton, 5, 507);
    EXPECT_EQ(dens_prev[IX(1, 1)], 504.0f);
    EXPECT_EQ(u_prev[IX(1, 0)], -4.0f);
    EXPECT_EQ(u_prev[IX(1, 2)], 4.0f);
    EXPECT_EQ(v_prev[IX(0, 1)], -4.0f);
    EXPECT_EQ(v_prev[IX(2, 1)], 4.0f);
    // The release writes the pattern again, at the release position.
    dens_prev[IX(1, 1)] = 0.0f;
    release(rightButton, 256, 256);
    EXPECT_EQ(dens_prev[IX(1, 1)], 0.0f);
    EXPECT_EQ(dens_prev[IX(64, 64)], 504.0f);
    EXPECT_EQ(v_prev[IX(65, 64)], 4.0f);
    EXPECT_EQ(counting::counts.redraws, 2);
    // Boundary editing does not change what the right button does.
    editBoundary = 1;
    press(rightButton, 100, 100);
    EXPECT_EQ(dens_prev[IX(103, 25)], 504.0f);
    for (int k = 0; k < cellsPerField; ++k) ASSERT_EQ(boundary[k], 0);
}

TEST_F(CoreTest, DragAddsCellSizeTimesMovementFromUnclampedPositions) {
    press(leftButton, 250, 250);
    EXPECT_EQ(u_prev[IX(65, 62)], 0.0f);  // a press injects nothing
    mouseMotion(260, 245);                // 10 px right, 5 px up
    const int i = (512 - 245) / 4, j = 260 / 4;
    EXPECT_EQ(u_prev[IX(i, j)], 40.0f);
    EXPECT_EQ(v_prev[IX(i, j)], 20.0f);
    mouseMotion(260, 245);  // no movement: nothing added, still a redraw
    EXPECT_EQ(u_prev[IX(i, j)], 40.0f);
    // Far outside the window the edge cell receives the full movement.
    mouseMotion(2000, 245);
    EXPECT_EQ(u_prev[IX(i, 126)], (2000 - 260) * 4.0f);
    EXPECT_EQ(counting::counts.redraws, 4);
    // A middle-button drag acts like a left-button drag.
    release(leftButton, 2000, 245);
    press(middleButton, 100, 100);
    mouseMotion(100, 90);
    EXPECT_EQ(v_prev[IX((512 - 90) / 4, 25)], 40.0f);
}

TEST_F(CoreTest, DragsAfterAReleaseAreIgnoredWithoutARedraw) {
    press(leftButton, 100, 100);
    release(leftButton, 100, 100);
    const int redraws = counting::counts.redraws;
    mouseMotion(300, 300);
    EXPECT_EQ(mouseX, 100);
    EXPECT_EQ(counting::counts.redraws, redraws);
    for (int k = 0; k < cellsPerField; ++k) ASSERT_EQ(u_prev[k], 0.0f);
}

TEST_F(CoreTest, BoundaryEditingFlipsEachNewlyEnteredCellOnce) {
    editBoundary = 1;
    press(leftButton, 200, 200);  // cell (78, 50)
    EXPECT_EQ(boundary[IX(78, 50)], 1);
    mouseMotion(202, 199);  // same cell: nothing
    EXPECT_EQ(boundary[IX(78, 50)], 1);
    mouseMotion(205, 199);  // next cell along j
    EXPECT_EQ(boundary[IX(78, 51)], 1);
    mouseMotion(200, 200);  // back into the first: flipped again
    EXPECT_EQ(boundary[IX(78, 50)], 0);
    release(leftButton, 200, 200);
    press(leftButton, 205, 199);  // a new press always flips its cell
    EXPECT_EQ(boundary[IX(78, 51)], 0);
    EXPECT_EQ(lastCellI, 78);
    EXPECT_EQ(lastCellJ, 51);
    // Drags with editing on inject no velocity.
    for (int k = 0; k < cellsPerField; ++k) {
        ASSERT_EQ(u_prev[k], 0.0f);
        ASSERT_EQ(v_prev[k], 0.0f);
    }
    boundary[IX(10, 10)] = 5;  // any solid value flips back to fluid
    press(leftButton, 40, 472);
    EXPECT_EQ(boundary[IX(10, 10)], 0);
}

TEST_F(CoreTest, AnyPointerPositionOrWindowSizeStaysInsideTheFields) {
    const int positions[] = {INT_MIN, -100000, -1, 0, 1, 255, 511, 512, 513, 100000, INT_MAX};
    const int sizes[][2] = {{512, 512}, {0, 0}, {0, 512}, {512, 0}, {1, 1}, {-7, -7}, {INT_MAX, INT_MAX}};
    for (const auto& size : sizes) {
        windowWidth = size[0];
        windowHeight = size[1];
        for (int x : positions)
            for (int y : positions) {
                press(rightButton, x, y);
                mouseMotion(y, x);
                release(rightButton, y, x);
                editBoundary = 1 - editBoundary;
                press(leftButton, x, y);
                mouseMotion(INT_MIN, INT_MAX);
                mouseMotion(INT_MAX, INT_MIN);
                release(leftButton, x, y);
            }
    }
    // A zero width or height picks index 1 on that axis.
    resetFields();
    windowWidth = 0;
    windowHeight = 512;
    press(rightButton, 300, 256);
    EXPECT_EQ(dens_prev[IX(64, 1)], 504.0f);
    windowWidth = 512;
    windowHeight = 0;
    press(rightButton, 256, 300);
    EXPECT_EQ(dens_prev[IX(1, 64)], 504.0f);
    for (int k = 0; k < cellsPerField; ++k) ASSERT_TRUE(boundary[k] == 0 || boundary[k] == 1);
}

// The run and pause keys mean the same to the keyboard and to the session
// checker: after each run of keys, an event one step later is accepted
// exactly when the keyboard left the simulation running or a step asked for,
// and one two steps later exactly when it left it running.
TEST_F(CoreTest, KeyboardAndSessionCheckerAgreeOnRunningAndPausing) {
    const char* const runs[] = {"", "s", "ss", " ", "s ", "s  ", "s s", "s d", "S", "  s"};
    for (const std::string keys : runs) {
        simulate = 1;
        stepOnce = 0;
        std::string file = "fluid-session 1\n";
        for (const char key : keys) {
            keyboardCommand(static_cast<unsigned char>(key), 0, 0);
            file += std::string("0 key ") + (key == ' ' ? std::string("space") : std::string(1, key)) + "\n";
        }
        for (const int later : {1, 2}) {
            std::vector<SessionEvent> events;
            std::string error;
            const bool accepted = parseSession(file + std::to_string(later) + " end\n", "keys", events, error);
            EXPECT_EQ(accepted, simulate != 0 || (stepOnce != 0 && later == 1))
                << "keys '" << keys << "', next event " << later << " steps on: " << error;
        }
    }
}
