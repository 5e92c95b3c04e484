// Long runs through the real callbacks and the real solver, with the GL calls
// going to the recorder: thousands of steps fed by key f, right clicks and
// drags (some of them to the extreme ends of the int range), with redraws in
// both drawing paths now and then; and fields holding infinities and NaNs
// stepped, drawn and dumped. Nothing may crash or write outside the fields
// (the sanitizer build checks the latter); the front end's own bookkeeping
// must stay exact however large or non-finite the values become.
#include <GL/glut.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "FrameLoop.h"
#include "FrontEndTestSupport.h"

using namespace testsupport;

namespace {

// Steps of the long run; a few tens of seconds in the sanitizer build.
constexpr int longRunSteps = 3000;

void press(int button, int x, int y) { mouseButton(button, GLUT_DOWN, x, y); }
void release(int button, int x, int y) { mouseButton(button, GLUT_UP, x, y); }

struct Extremes {
    float maxDens = 0.0f, maxU = 0.0f, maxV = 0.0f;  // largest finite magnitudes seen
    bool nonFinite = false;
    int firstNonFiniteStep = -1;

    void take(int step) {
        const float* fields[] = {dens, u, v};
        float* maxima[] = {&maxDens, &maxU, &maxV};
        for (int f = 0; f < 3; ++f)
            for (int k = 0; k < cellsPerField; ++k) {
                const float value = fields[f][k];
                if (!std::isfinite(value)) {
                    if (!nonFinite) firstNonFiniteStep = step;
                    nonFinite = true;
                } else {
                    *maxima[f] = std::max(*maxima[f], std::fabs(value));
                }
            }
    }
};

// Pushes and pops, begins and ends of the recorded calls, counted.
void expectBalancedNesting(const char* what) {
    long matrix = 0, attrib = 0, clientAttrib = 0, primitive = 0;
    for (const glrecorder::Call& c : glrecorder::calls) {
        if (c.name == "glPushMatrix") ++matrix;
        if (c.name == "glPopMatrix") --matrix;
        if (c.name == "glPushAttrib") ++attrib;
        if (c.name == "glPopAttrib") --attrib;
        if (c.name == "glPushClientAttrib") ++clientAttrib;
        if (c.name == "glPopClientAttrib") --clientAttrib;
        if (c.name == "glBegin") ++primitive;
        if (c.name == "glEnd") --primitive;
    }
    EXPECT_EQ(matrix, 0) << what;
    EXPECT_EQ(attrib, 0) << what;
    EXPECT_EQ(clientAttrib, 0) << what;
    EXPECT_EQ(primitive, 0) << what;
}

bool maskIsZeroOrOne() {
    for (int k = 0; k < cellsPerField; ++k)
        if (boundary[k] != 0 && boundary[k] != 1) return false;
    return true;
}

void setViews(int density, int obstacles, int velocity, int grid) {
    showDensity = density;
    showBoundary = obstacles;
    showVelocity = velocity;
    showGrid = grid;
}

}  // namespace

TEST_F(FrontEndTest, ThousandsOfStepsWithSourcesClicksAndExtremeDragsStayInsideTheFields) {
    // Most frames step without drawing anything; every 100th draws all views,
    // alternating between the per-cell and the batched path.
    setViews(0, 0, 0, 0);
    Extremes extremes;
    int inputRedraws = 0, frames = 0;

    // A wall of obstacles in the way of the flow: column j = 75, rows 48..78.
    keyboardCommand('B', 0, 0);
    for (int y = 200; y <= 320; y += 4) press(GLUT_LEFT_BUTTON, 300, y), release(GLUT_LEFT_BUTTON, 300, y);
    keyboardCommand('B', 0, 0);
    EXPECT_EQ(glrecorder::redisplayRequests, 2 + 2 * 31);
    for (int i = 48; i <= 78; ++i) ASSERT_EQ(boundary[IX(i, 75)], 1) << i;
    glrecorder::reset();

    for (int step = 1; step <= longRunSteps; ++step) {
        int requests = 0;  // redraw requests this step's input events make
        if (step % 25 == 0) {
            keyboardCommand('f', 0, 0);
            ++requests;
            ASSERT_EQ(dens_prev[IX(1, forceRow)], static_cast<float>(N) * cellSize);
            ASSERT_EQ(v_prev[IX(1, forceRow)], cellSize);
        }
        if (step % 40 == 0) {
            const int x = (step * 37) % 700 - 90, y = (step * 53) % 700 - 90;  // inside and outside the window
            press(GLUT_RIGHT_BUTTON, x, y);
            release(GLUT_RIGHT_BUTTON, x, y);
            requests += 2;
            const int j = pickCellIndex(x, windowWidth);
            const int i = pickCellIndex(static_cast<long long>(windowHeight) - y, windowHeight);
            ASSERT_EQ(dens_prev[IX(i, j)], static_cast<float>(N) * cellSize) << "step " << step;
        }
        if (step % 60 == 0) {
            // An ordinary drag across the middle; every 300th step one that
            // jumps between the ends of the int range.
            press(GLUT_LEFT_BUTTON, 256, 256);
            mouseMotion(256 + step % 50, 256 - step % 30);
            mouseMotion(200, 300);
            requests += 3;
            if (step % 300 == 0) {
                mouseMotion(INT_MAX, INT_MIN);
                mouseMotion(INT_MIN, INT_MAX);
                mouseMotion(INT_MAX, INT_MAX);
                requests += 3;
            }
            release(GLUT_LEFT_BUTTON, 200, 300);
            mouseMotion(0, 0);  // after the release: ignored, no redraw
            ++requests;
        }
        ASSERT_EQ(glrecorder::redisplayRequests, requests) << "step " << step;
        inputRedraws += requests;

        const bool draw = step % 100 == 0;
        if (draw) {
            usePerCellDrawing = (step / 100) % 2;
            setViews(1, 1, 1, (step / 200) % 2);
        }
        displayFrame();
        ++frames;
        ASSERT_EQ(glrecorder::swapCount, 1);
        ASSERT_TRUE(sameValue(totalDensity, sumInteriorDensity())) << "step " << step;
        if (draw) {
            expectBalancedNesting(usePerCellDrawing ? "per-cell frame" : "batched frame");
            if (usePerCellDrawing) {
                // Every interior cell draws its obstacle quad at least.
                ASSERT_GE(glrecorder::named("glCallList").size(), size_t(N * N));
            } else {
                ASSERT_EQ(glrecorder::named("glTexSubImage2D").size(), 1u);
            }
            setViews(0, 0, 0, 0);
        }
        glrecorder::reset();
        extremes.take(step);
    }

    EXPECT_EQ(frames, longRunSteps);
    EXPECT_TRUE(maskIsZeroOrOne());
    for (int i = 48; i <= 78; ++i) EXPECT_EQ(boundary[IX(i, 75)], 1) << i;
    EXPECT_TRUE(lastCellI == -1 || (lastCellI >= 1 && lastCellI <= N));
    EXPECT_GT(extremes.maxDens, 0.0f);
    EXPECT_GT(extremes.maxU, 0.0f);

    RecordProperty("steps", longRunSteps);
    RecordProperty("max_abs_dens", std::to_string(extremes.maxDens));
    RecordProperty("max_abs_u", std::to_string(extremes.maxU));
    RecordProperty("max_abs_v", std::to_string(extremes.maxV));
    RecordProperty("non_finite", extremes.nonFinite ? "yes" : "no");
    RecordProperty("first_non_finite_step", extremes.firstNonFiniteStep);
    std::printf("long run: %d steps, %d redraw requests from input, max |dens| %g, max |u| %g, max |v| %g, non-finite values: %s",
                longRunSteps, inputRedraws, static_cast<double>(extremes.maxDens), static_cast<double>(extremes.maxU),
                static_cast<double>(extremes.maxV), extremes.nonFinite ? "yes" : "no");
    if (extremes.nonFinite) std::printf(" (first after step %d)", extremes.firstNonFiniteStep);
    std::printf("\n");
}

namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();
const float quietNaN = std::numeric_limits<float>::quiet_NaN();

// What the dump prints for the fields as they are now: printf's own text for
// every value, infinities and NaNs included.
std::string expectedDump() {
    std::string out;
    char buffer[64];
    const float* fields[] = {dens, u, v};
    const char* headings[] = {"\n\nDensity Field\n", "\n\nu Field\n", "\n\nv Field\n"};
    for (int f = 0; f < 3; ++f) {
        out += headings[f];
        for (int i = N + 1; i >= 0; --i) {
            for (int j = 0; j <= N + 1; ++j) {
                std::snprintf(buffer, sizeof buffer, "%f ", static_cast<double>(fields[f][IX(i, j)]));
                out += buffer;
            }
            out += "\n";
        }
    }
    std::snprintf(buffer, sizeof buffer, "\n\nTotal Density: %f\n", static_cast<double>(totalDensity));
    return out + buffer;
}

// Infinities of both signs, NaNs of both signs, huge and ordinary values,
// spread over every cell of the fields and their sources.
void fillNonFinite() {
    const float values[] = {infinity, -infinity, quietNaN, -quietNaN, 3e38f, -3e38f, 0.5f, 0.0f, 1.0f, -2.0f, 0.7f};
    constexpr int count = sizeof values / sizeof values[0];
    for (int k = 0; k < cellsPerField; ++k) {
        dens[k] = values[k % count];
        u[k] = values[(k / 3) % count];
        v[k] = values[(k / 7) % count];
        dens_prev[k] = values[(k / 11) % count];
        u_prev[k] = values[(k / 13) % count];
        v_prev[k] = values[(k / 17) % count];
        boundary[k] = k % 23 == 0 ? 1 : 0;
    }
}

bool anyNonFinite(const float* field) {
    for (int k = 0; k < cellsPerField; ++k)
        if (!std::isfinite(field[k])) return true;
    return false;
}

}  // namespace

TEST_F(FrontEndTest, InfinitiesAndNaNsAreSteppedDrawnAndDumpedWithoutHarm) {
    for (int perCell = 0; perCell <= 1; ++perCell) {
        SCOPED_TRACE(perCell ? "per-cell drawing" : "batched drawing");
        usePerCellDrawing = perCell;
        fillNonFinite();
        setViews(1, 1, 1, 1);
        for (int frame = 0; frame < 4; ++frame) {
            if (frame == 2) {
                // Sources again, as the mouse and key f write them, on top of the non-finite fields.
                keyboardCommand('f', 0, 0);
                press(GLUT_RIGHT_BUTTON, 256, 256);
                press(GLUT_LEFT_BUTTON, 10, 10);
                mouseMotion(INT_MAX, INT_MIN);
                release(GLUT_LEFT_BUTTON, INT_MAX, INT_MIN);
                u_prev[IX(64, 64)] = quietNaN;
                dens_prev[IX(64, 64)] = infinity;
            }
            glrecorder::reset();
            displayFrame();
            EXPECT_EQ(glrecorder::swapCount, 1);
            EXPECT_TRUE(sameValue(totalDensity, sumInteriorDensity()));
            expectBalancedNesting("frame");
            if (perCell) {
                // Obstacle quads for every cell; no density quad for NaN or non-positive cells.
                EXPECT_GE(glrecorder::named("glCallList").size(), size_t(N * N));
                for (const auto& c : glrecorder::named("glColor3f"))
                    for (double channel : c.args) EXPECT_FALSE(std::isnan(channel));
            } else {
                EXPECT_EQ(glrecorder::named("glTexSubImage2D").size(), 1u);
                // One line per interior cell, whatever its velocity.
                int lineDraws = 0;
                for (const auto& c : glrecorder::named("glDrawArrays"))
                    if (c.args[0] == GL_LINES) {
                        ++lineDraws;
                        EXPECT_EQ(c.args[2], 2.0 * N * N);
                    }
                EXPECT_EQ(lineDraws, 1);
            }
        }
        // The NaNs and infinities spread through the solver instead of vanishing.
        EXPECT_TRUE(anyNonFinite(dens));
        EXPECT_TRUE(std::isnan(totalDensity));
        EXPECT_TRUE(maskIsZeroOrOne());
    }

    // The dump after a step of such fields, read from a pipe: exactly what
    // printf makes of each value.
    fillNonFinite();
    const ChildResult child = runInChild([] {
        printFields = 1;
        displayFrame();
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.status, 0);
    displayFrame();  // the same step here, from the same fields
    EXPECT_EQ(child.out, expectedDump());
    // Non-finite values survive the step in every printed field.
    for (const char* heading : {"Density Field\n", "u Field\n", "v Field\n"}) {
        const size_t from = child.out.find(heading);
        ASSERT_NE(from, std::string::npos) << heading;
        const size_t to = child.out.find("\n\n", from);
        EXPECT_NE(child.out.substr(from, to - from).find("nan "), std::string::npos) << heading;
    }
    EXPECT_TRUE(child.out.find("Total Density: nan\n") != std::string::npos ||
                child.out.find("Total Density: -nan\n") != std::string::npos);

    // printField itself, on a field of every kind of value: printf's text.
    float small[16];
    const float values[] = {infinity, -infinity, quietNaN, -quietNaN, 1e10f, -0.0f, 1.5f, 1e-30f};
    for (int k = 0; k < 16; ++k) small[k] = values[k % 8];
    const ChildResult printed = runInChild([&] { printField(2, small); });
    ASSERT_TRUE(printed.exited);
    EXPECT_EQ(printed.status, 0);
    EXPECT_EQ(printed.out,
              "-nan 0.000000 -nan 0.000000 \n"
              "nan 1.500000 nan 1.500000 \n"
              "-inf -0.000000 -inf -0.000000 \n"
              "inf 10000000000.000000 inf 10000000000.000000 \n");
}
