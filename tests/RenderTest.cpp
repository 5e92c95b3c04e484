// Drawing, reshape and the console dump, checked on the recorded GL calls.
#include <GL/glut.h>
#include <fcntl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>

#include "FrontEndTestSupport.h"
#include "GlutGlue.h"
#include "InputCodes.h"
#include "LiveInput.h"
#include "SessionPlayback.h"

using namespace testsupport;
using glrecorder::Call;

namespace {

// The drawings made for one cell, recovered from the call log: each drawing
// starts with a colour call and ends with glPopMatrix.
struct Drawing {
    std::string colourCall;
    std::vector<double> colour;
    float x = 0, y = 0;
    std::vector<std::string> calls;
    std::vector<double> lineEnd;
};

std::vector<Drawing> drawings() {
    std::vector<Drawing> out;
    Drawing* cur = nullptr;
    for (const Call& c : glrecorder::calls) {
        if (c.name == "glColor3ub" || c.name == "glColor3f") {
            out.push_back(Drawing{c.name, c.args, 0.0f, 0.0f, {}, {}});
            cur = &out.back();
            continue;
        }
        if (c.name == "glutSwapBuffers") break;
        if (!cur) continue;
        cur->calls.push_back(c.name);
        if (c.name == "glTranslatef") cur->x = float(c.args[0]), cur->y = float(c.args[1]);
        if (c.name == "glVertex3f") cur->lineEnd = c.args;
    }
    return out;
}

}  // namespace

TEST_F(FrontEndTest, ReshapeSetsCellSizeProjectionAndANewList) {
    const unsigned oldList = cellList;
    reshapeWindow(800, 600);
    EXPECT_EQ(cellSize, 6.0f);
    EXPECT_EQ(windowWidth, 800);
    EXPECT_EQ(windowHeight, 600);
    ASSERT_EQ(glrecorder::named("glDeleteLists").size(), 1u);
    EXPECT_EQ(glrecorder::named("glDeleteLists")[0].args[0], oldList);
    EXPECT_NE(cellList, oldList);
    EXPECT_EQ(glrecorder::named("glViewport")[0].args, (std::vector<double>{0, 0, 800, 600}));
    EXPECT_EQ(glrecorder::named("glOrtho")[0].args, (std::vector<double>{0, 800, 0, 600, 0, 1}));
    EXPECT_EQ(glrecorder::redisplayRequests, 1);
    // The list holds one counter-clockwise quad of edge cellSize around the origin.
    const auto vertices = glrecorder::named("glVertex3f");
    ASSERT_EQ(vertices.size(), 4u);
    const double expected[4][2] = {{-3, 3}, {-3, -3}, {3, -3}, {3, 3}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(vertices[k].args[0], expected[k][0]);
        EXPECT_EQ(vertices[k].args[1], expected[k][1]);
    }
    reshapeWindow(512, 512);
    EXPECT_EQ(cellSize, 4.0f);
    reshapeWindow(125, 40);
    EXPECT_EQ(cellSize, 0.0f);
    reshapeWindow(0, 0);
    EXPECT_EQ(cellSize, 0.0f);
}

TEST_F(FrontEndTest, StartFramePaintsEveryInteriorCellBlackInRowOrder) {
    displayFrame();
    const auto d = drawings();
    ASSERT_EQ(d.size(), size_t(N * N));
    int k = 0;
    for (int i = N; i >= 1; --i)
        for (int j = 1; j <= N; ++j, ++k) {
            ASSERT_EQ(d[k].colourCall, "glColor3ub");
            ASSERT_EQ(d[k].colour, (std::vector<double>{0, 0, 0}));
            ASSERT_EQ(d[k].x, j * 4.0f + 2.0f);
            ASSERT_EQ(d[k].y, i * 4.0f + 2.0f);
            ASSERT_EQ(d[k].calls, (std::vector<std::string>{"glPushMatrix", "glTranslatef", "glCallList", "glPopMatrix"}));
        }
    EXPECT_EQ(glrecorder::calls.front().name, "glClear");
    EXPECT_EQ(glrecorder::calls.back().name, "glutSwapBuffers");
}

TEST_F(FrontEndTest, DensityBandsUseStrictDoubleTestsAndSkipNonPositive) {
    freezeSolver();
    showBoundary = 0;
    const float values[] = {0.33f, 0.66f, 0.2f, 5.0f, 0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(),
                            0.3299f, 0.6599f, 1e-30f};
    for (int k = 0; k < 10; ++k) dens[IX(N, 1 + k)] = values[k];
    displayFrame();
    const auto d = drawings();
    ASSERT_EQ(d.size(), 7u);
    auto colourOf = [&](int k) { return d[k].colour; };
    EXPECT_EQ(colourOf(0), (std::vector<double>{0, 0.33f, 0}));  // 0.33 stored lies above 0.33
    EXPECT_EQ(colourOf(1), (std::vector<double>{0.66f, 0, 0}));
    EXPECT_EQ(colourOf(2), (std::vector<double>{0, 0, 0.2f}));
    EXPECT_EQ(colourOf(3), (std::vector<double>{5.0f, 0, 0}));
    EXPECT_EQ(colourOf(4), (std::vector<double>{0, 0, 0.3299f}));
    EXPECT_EQ(colourOf(5), (std::vector<double>{0, 0.6599f, 0}));
    EXPECT_EQ(colourOf(6), (std::vector<double>{0, 0, 1e-30f}));
    EXPECT_EQ(d[6].x, 10 * 4.0f + 2.0f);
}

TEST_F(FrontEndTest, ObstacleDrawsBlueUnderDensityAndOnlyForMaskOne) {
    freezeSolver();
    boundary[IX(N, 1)] = 1;
    dens[IX(N, 1)] = 0.5f;
    boundary[IX(N, 2)] = 2;  // solid, but drawn black
    displayFrame();
    const auto d = drawings();
    EXPECT_EQ(d[0].colour, (std::vector<double>{0, 0, 255}));
    EXPECT_EQ(d[1].colour, (std::vector<double>{0, 0.5f, 0}));
    EXPECT_EQ(d[1].x, d[0].x);
    EXPECT_EQ(d[2].colour, (std::vector<double>{0, 0, 0}));
}

TEST_F(FrontEndTest, VelocityLinesAndGridOutlinesInTheirPlaceInTheCellOrder) {
    freezeSolver();
    showBoundary = showDensity = 0;
    showVelocity = showGrid = 1;
    u[IX(N, 1)] = 1.0f;
    v[IX(N, 1)] = -0.5f;
    displayFrame();
    const auto d = drawings();
    ASSERT_EQ(d.size(), size_t(2 * N * N));
    EXPECT_EQ(d[0].colour, (std::vector<double>{255, 0, 0}));
    EXPECT_EQ(d[0].calls, (std::vector<std::string>{"glPushMatrix", "glTranslatef", "glBegin", "glVertex3f", "glVertex3f",
                                                    "glEnd", "glPopMatrix"}));
    EXPECT_EQ(d[0].lineEnd, (std::vector<double>{40, -20, 0}));
    EXPECT_EQ(d[1].colour, (std::vector<double>{0, 255, 0}));
    EXPECT_EQ(d[1].calls, (std::vector<std::string>{"glPushMatrix", "glPushAttrib", "glPolygonMode", "glTranslatef",
                                                    "glCallList", "glPopAttrib", "glPopMatrix"}));
    const auto modes = glrecorder::named("glPolygonMode");
    EXPECT_EQ(modes[0].args, (std::vector<double>{GL_FRONT, GL_LINE}));
    EXPECT_EQ(glrecorder::named("glPushAttrib")[0].args[0], double(GL_POLYGON_BIT));
    EXPECT_EQ(d[2].x, d[0].x + 4.0f);  // the next cell's line follows
}

TEST_F(FrontEndTest, StepsOnlyWhenSimulatingOrAskedOnce) {
    freezeSolver();
    fluidrt::resetCounters();
    simulate = 0;
    displayFrame();
    EXPECT_EQ(fluidrt::operationCount(fluidrt::Op::Launch), 0);
    stepOnce = 1;
    displayFrame();
    EXPECT_EQ(fluidrt::operationCount(fluidrt::Op::Launch), 15);
    EXPECT_EQ(stepOnce, 0);
    displayFrame();
    EXPECT_EQ(fluidrt::operationCount(fluidrt::Op::Launch), 15);
    simulate = 1;
    stepOnce = 1;
    displayFrame();  // no extra step beyond the one every redraw runs
    EXPECT_EQ(fluidrt::operationCount(fluidrt::Op::Launch), 30);
    EXPECT_EQ(stepOnce, 0);
    EXPECT_EQ(glrecorder::swapCount, 4);
}

TEST_F(FrontEndTest, TotalDensitySumsRowsFromTheTopInSinglePrecision) {
    freezeSolver();
    // 1e8 first, then many ones: each one is lost against 1e8 in single
    // precision. Summing from the bottom up would keep them.
    dens[IX(N, 1)] = 1e8f;
    for (int j = 1; j <= 100; ++j) dens[IX(1, j)] = 1.0f;
    dens[IX(0, 5)] = 1e9f;  // border cells are not summed
    displayFrame();
    EXPECT_EQ(totalDensity, 1e8f);
    simulate = 0;
    dens[IX(N, 1)] = 0.0f;
    displayFrame();  // no step: the total keeps its value
    EXPECT_EQ(totalDensity, 1e8f);
}

TEST_F(FrontEndTest, PrintFieldWritesRowsFromTheTopWithSixDecimals) {
    float field[16];
    for (int k = 0; k < 16; ++k) field[k] = static_cast<float>(k) * 0.5f;
    field[1] = -0.0000004f;
    field[3] = std::numeric_limits<float>::infinity();
    field[7] = -std::numeric_limits<float>::quiet_NaN();
    const ChildResult r = runInChild([&] { printField(2, field); });
    EXPECT_EQ(r.out,
              "inf -nan 5.500000 7.500000 \n"
              "1.000000 3.000000 5.000000 7.000000 \n"
              "-0.000000 2.500000 4.500000 6.500000 \n"
              "0.000000 2.000000 4.000000 6.000000 \n");
}

TEST_F(FrontEndTest, DumpPrintsHeadingsFieldsAndTotalAfterAStep) {
    const ChildResult r = runInChild([&] {
        printFields = 1;
        displayFrame();
    });
    ASSERT_EQ(r.status, 0);
    std::string zeroLine;
    for (int k = 0; k < N + 2; ++k) zeroLine += "0.000000 ";
    zeroLine += "\n";
    std::string field;
    for (int k = 0; k < N + 2; ++k) field += zeroLine;
    // A zero divergence can carry a sign bit, but u and v print plain zeros.
    EXPECT_EQ(r.out, "\n\nDensity Field\n" + field + "\n\nu Field\n" + field + "\n\nv Field\n" + field +
                         "\n\nTotal Density: 0.000000\n");
    // Nothing is printed without a step.
    const ChildResult quiet = runInChild([&] {
        printFields = 1;
        simulate = 0;
        displayFrame();
    });
    EXPECT_EQ(quiet.out, "");
}

TEST_F(FrontEndTest, TimerRearmsEvery16Milliseconds) {
    timerRedraw(60);
    const auto timers = glrecorder::named("glutTimerFunc");
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].args, (std::vector<double>{16, 60}));
    EXPECT_EQ(glrecorder::redisplayRequests, 1);
    idleRedraw();
    EXPECT_EQ(glrecorder::redisplayRequests, 2);
}

TEST_F(FrontEndTest, BatchedFrameIsAFewDrawsWithDepthOrdering) {
    usePerCellDrawing = 0;
    freezeSolver();
    showVelocity = showGrid = 1;
    dens[IX(5, 5)] = 0.5f;
    glrecorder::newContext();
    displayFrame();  // the first frame in a context makes its program and renders the outline depths
    EXPECT_EQ(glrecorder::named("glCreateProgram").size(), 1u);
    const auto setup = glrecorder::named("glReadPixels");
    ASSERT_EQ(setup.size(), 1u);
    EXPECT_EQ(setup[0].args, (std::vector<double>{0, 0, 512, 512, GL_DEPTH_COMPONENT, GL_FLOAT}));
    const auto made = glrecorder::named("glTexImage2D");
    ASSERT_EQ(made.size(), 2u);  // the cell texture, then the outline depths
    EXPECT_EQ(made[0].args, (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGBA32F, N, N, 0, GL_RGBA, GL_FLOAT}));
    EXPECT_EQ(made[1].args, (std::vector<double>{GL_TEXTURE_2D, 0, GL_R32F, 512, 512, 0, GL_RED, GL_FLOAT}));

    // Later frames: the cell colours (grid-sized) up, one full-window pass,
    // one array of lines; nothing window-sized crosses.
    glrecorder::reset();
    displayFrame();
    EXPECT_TRUE(glrecorder::named("glTexImage2D").empty());
    EXPECT_TRUE(glrecorder::named("glCreateProgram").empty());
    EXPECT_TRUE(glrecorder::named("glReadPixels").empty());
    EXPECT_TRUE(glrecorder::named("glDrawPixels").empty());
    EXPECT_TRUE(glrecorder::named("glCallList").empty());
    const auto uploads = glrecorder::named("glTexSubImage2D");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].args, (std::vector<double>{GL_TEXTURE_2D, 0, 0, 0, N, N, GL_RGBA, GL_FLOAT}));
    const auto draws = glrecorder::named("glDrawArrays");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].args, (std::vector<double>{GL_LINES, 0, 2.0 * N * N}));
    // The program is left unbound.
    const auto programs = glrecorder::named("glUseProgram");
    ASSERT_FALSE(programs.empty());
    EXPECT_EQ(programs.back().args[0], 0.0);

    // A new size renders the outline depths again; a window larger than the
    // GL's textures draws quads and outlines as arrays.
    for (const auto& size : {std::pair<int, int>{800, 600}, {2000, 1500}, {512, 512}, {5000, 5000}, {800, 600}}) {
        reshapeWindow(size.first, size.second);
        glrecorder::reset();
        displayFrame();
        const bool textures = size.first <= glrecorder::maxTextureSize;
        EXPECT_EQ(glrecorder::named("glReadPixels").size(), textures ? 1u : 0u) << size.first;
        EXPECT_EQ(glrecorder::named("glTexSubImage2D").size(), textures ? 1u : 0u) << size.first;
        // Outlines (rendered once into the depth texture, or drawn), lines, and quads without textures.
        EXPECT_EQ(glrecorder::named("glDrawArrays").size(), textures ? 2u : 3u) << size.first;
    }
    // Views off: nothing to draw, no draw calls.
    glrecorder::reset();
    showVelocity = showGrid = showBoundary = showDensity = 0;
    displayFrame();
    EXPECT_TRUE(glrecorder::named("glDrawArrays").empty());
    EXPECT_TRUE(glrecorder::named("glTexSubImage2D").empty());
    EXPECT_EQ(glrecorder::swapCount, 1);
}

// The core on its own: on the dummy platform a frame, a size change, the
// timer, keys and the mouse do their work on the state and the fields, and
// not one GL or GLUT call is made, since the core reaches a window system
// only through the platform table.
TEST_F(FrontEndTest, TheCoreRunsOnTheDummyPlatformWithoutAnyGlOrGlutCall) {
    freezeSolver();
    platform = dummyPlatform;
    const long long before = stepsCompleted;
    displayFrame();
    EXPECT_EQ(stepsCompleted, before + 1);
    reshapeWindow(640, 480);
    EXPECT_EQ(cellSize, 5.0f);
    timerRedraw(60);
    idleRedraw();
    liveKeyboard('f', 0, 0);
    EXPECT_EQ(dens_prev[IX(1, forceRow)], static_cast<float>(N) * 5.0f);
    liveMouseButton(rightButton, buttonDown, 320, 240);
    EXPECT_EQ(mouseState, buttonDown);
    EXPECT_TRUE(glrecorder::calls.empty());
    EXPECT_EQ(glrecorder::redisplayRequests, 0);
    EXPECT_EQ(glrecorder::swapCount, 0);
}

TEST_F(FrontEndTest, AFailedDumpIsReportedTurnedOffAndRetriedByKeyC) {
    // Standard output goes to a device that is always full, then to a file,
    // then to the full device again; key c is pressed where a phase says so.
    // A failure is reported once and turns the dump off; c tries again with
    // a clean stream, so a dump that can be written then is written whole and
    // a later failure is reported again.
    struct Phase {
        const char* what;
        bool toFile;    // else /dev/full
        bool pressC;    // before the frame
        bool dumpOn;    // printFields after the frame
        int reports;    // reports on standard error so far
    };
    const Phase phases[] = {
        {"first failure", false, true, false, 1},
        {"off: not tried", false, false, false, 1},
        {"retry that succeeds", true, true, true, 1},
        {"still writing", true, false, true, 1},
        {"second failure", false, false, false, 2},
        {"retry that fails", false, true, false, 3},
    };
    std::FILE* dumpFile = std::tmpfile();
    std::FILE* errFile = std::tmpfile();
    ASSERT_TRUE(dumpFile && errFile);
    freezeSolver();
    const ChildResult r = runInChild([&] {
        const int full = open("/dev/full", O_WRONLY);
        dup2(fileno(errFile), STDERR_FILENO);
        for (const Phase& p : phases) {
            std::fflush(stdout);
            dup2(p.toFile ? fileno(dumpFile) : full, STDOUT_FILENO);
            if (p.pressC) keyboardCommand('c', 0, 0);
            displayFrame();
            std::fprintf(stderr, "[%s] dump %s\n", p.what, printFields ? "on" : "off");
        }
    });
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);

    const auto contents = [](std::FILE* f) {
        std::string text;
        std::rewind(f);
        char buffer[65536];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, got);
        std::fclose(f);
        return text;
    };
    const std::string err = contents(errFile), written = contents(dumpFile);
    const std::string report = "fluid: cannot write the field dump: No space left on device; dump turned off\n";
    std::size_t at = 0;
    int reports = 0;
    for (const Phase& p : phases) {
        SCOPED_TRACE(p.what);
        const std::string mark = std::string("[") + p.what + "] dump " + (p.dumpOn ? "on" : "off") + "\n";
        const std::size_t end = err.find(mark, at);
        ASSERT_NE(end, std::string::npos) << err;
        for (std::size_t k = err.find(report, at); k < end; k = err.find(report, k + 1)) ++reports;
        EXPECT_EQ(reports, p.reports) << err;
        at = end + mark.size();
    }
    // The two frames that could write left two whole dumps of the zero
    // fields in the file, and nothing of the failed ones.
    std::string zeroField;
    for (int i = 0; i < N + 2; ++i) {
        for (int j = 0; j < N + 2; ++j) zeroField += "0.000000 ";
        zeroField += "\n";
    }
    const std::string dump = "\n\nDensity Field\n" + zeroField + "\n\nu Field\n" + zeroField + "\n\nv Field\n" +
                             zeroField + "\n\nTotal Density: 0.000000\n";
    EXPECT_TRUE(written == dump + dump) << written.size() << " bytes written, expected " << 2 * dump.size();
}

namespace {
void sayGoodbye() { std::printf("exit handler ran"); }
}  // namespace

// The desktop's quit is the standard exit with status 0, exit handlers and all.
TEST_F(FrontEndTest, EscEndsTheProcessWithStatusZeroThroughExitHandlers) {
    const ChildResult r = runInChild([] {
        std::atexit(sayGoodbye);
        simulate = 0;
        printFields = 1;
        liveKeyboard(escapeKey, 0, 0);
        std::printf("still running");
    });
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "exit handler ran");
}

// The GLUT glue opens the window with the title and start size, registers
// the core's callbacks, and hands the core GLUT's buttons and states in the
// core's numbering: GLUT's own constants against the core's.
TEST_F(FrontEndTest, TheGlutGlueOpensTheWindowAndTranslatesGlutsInput) {
    char program[] = "fluid";
    char* argv[] = {program, nullptr};
    int argc = 1;
    glrecorder::callbacks = glrecorder::GlutCallbacks{};
    ASSERT_TRUE(glutglue::openWindow(argc, argv, GLUT_DEPTH));
    EXPECT_EQ(glrecorder::windowTitle, "Zeroduz Uruvov Aderod");
    EXPECT_EQ(glrecorder::named("glutInitWindowSize")[0].args, (std::vector<double>{512, 512}));
    EXPECT_EQ(glrecorder::named("glutInitDisplayMode")[0].args[0], double(GLUT_DOUBLE | GLUT_RGBA | GLUT_DEPTH));
    glutglue::registerCallbacks();
    EXPECT_EQ(glrecorder::named("glutTimerFunc")[0].args, (std::vector<double>{100, 60}));
    ASSERT_TRUE(glrecorder::callbacks.display && glrecorder::callbacks.reshape && glrecorder::callbacks.idle &&
                glrecorder::callbacks.keyboard && glrecorder::callbacks.mouse && glrecorder::callbacks.motion);

    const struct {
        int glutButton, glutState;
        int button, state;
    } buttons[] = {{GLUT_LEFT_BUTTON, GLUT_DOWN, leftButton, buttonDown},
                   {GLUT_MIDDLE_BUTTON, GLUT_UP, middleButton, buttonUp},
                   {GLUT_RIGHT_BUTTON, GLUT_DOWN, rightButton, buttonDown},
                   {7, GLUT_UP, 7, buttonUp}};
    for (const auto& b : buttons) {
        EXPECT_EQ(glutglue::coreButton(b.glutButton), b.button);
        EXPECT_EQ(glutglue::coreButtonState(b.glutState), b.state);
    }
    // A right click through GLUT's mouse callback writes the source pattern.
    glrecorder::callbacks.mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 256, 256);
    EXPECT_EQ(dens_prev[IX(64, 64)], 504.0f);
    EXPECT_EQ(mouseState, buttonDown);
    glrecorder::callbacks.mouse(GLUT_RIGHT_BUTTON, GLUT_UP, 256, 256);
    EXPECT_EQ(mouseState, buttonUp);
}
