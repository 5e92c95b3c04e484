// InputFuzzer.cpp - a libFuzzer target for the front end's input handling.
//
// Each input is decoded into a stream of events that call the real callbacks
// on the real globals, with the GL and GLUT calls going to the recording
// stand-in: key presses of any code, mouse button events of any button and
// state, pointer motion to any coordinates, reshapes to any size, redraws,
// timer and idle callbacks, solver steps, flag changes (the drawing path
// included), direct calls of the picking function, and writes of any value
// into any field element. Every input starts from the program's start state.
//
// After every event the target checks what must always hold and aborts with
// a message when it does not: picked cells lie in the interior, the cell that
// boundary editing remembers is -1, 0 (at start) or interior, the obstacle
// mask holds only 0 and 1 unless this input wrote other values, each callback
// requests the redraws it should, writes its source values where it should,
// and leaves the GL matrix, attribute, primitive and list nesting balanced.
// AddressSanitizer and UndefinedBehaviorSanitizer catch writes outside the
// fields and undefined behaviour on the way.
//
// Esc (code 27) ends the process by design; the decoder maps it to 'x'.
#include <GL/glut.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Fluid.h"
#include "FrameLoop.h"
#include "FrontEndState.h"
#include "GlDrawing.h"
#include "DesktopPlatform.h"
#include "InputCodes.h"
#include "Keyboard.h"
#include "Mouse.h"
#include "GlRecorder.h"
#include "Kernels.h"
#include "IdleKernels.h"

namespace {

// Steps and redraws cost far more than the other events. An input gets a few
// redraws and steps; its first step runs the solver's kernels, later steps
// run the whole step driver with kernels that leave their fields unchanged.
constexpr int redrawsPerInput = 4;
constexpr int stepsPerInput = 8;
constexpr int solvedStepsPerInput = 1;


struct Budget {
    int redraws = redrawsPerInput;
    int steps = stepsPerInput;
    int solvedSteps = solvedStepsPerInput;

    // Called before anything that steps: past the solved steps, idle kernels.
    void beforeStep() {
        if (solvedSteps > 0)
            --solvedSteps;
        else
            setActiveHostKernels(&idleKernels());
    }
};

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "input fuzzer: invariant broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

void require(bool condition, const char* what) {
    if (!condition) broken(what);
}

// Reads the input front to back; past the end every byte reads as zero.
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

    bool done() const { return left_ == 0; }

    std::uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *data_++;
    }

    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int k = 0; k < 4; ++k) value = value << 8 | byte();
        return value;
    }

    std::uint64_t u64() {
        const std::uint64_t high = u32();
        return high << 32 | u32();
    }

    // An int: often an edge value or a coordinate around the start window,
    // otherwise any 32-bit pattern.
    int anyInt() {
        static const int edges[] = {INT_MIN, INT_MIN + 1, -1000000000, -100000, -513, -512, -1, 0,
                                    1,       2,           3,           4,       5,    125,  126, 127,
                                    128,     252,         253,         255,     256,  504,  508, 511,
                                    512,     513,         1024,        4096,    4097, 100000, INT_MAX - 1, INT_MAX};
        const std::uint8_t selector = byte();
        if (selector < 32) return edges[selector];
        if (selector < 160) return (selector - 32) * 5 - 40;  // -40 .. 595
        return static_cast<int>(u32());
    }

    // A float: often an edge value, otherwise any bit pattern (NaNs included).
    float anyFloat() {
        static const float edges[] = {0.0f,
                                      -0.0f,
                                      1.0f,
                                      -1.0f,
                                      0.5f,
                                      1e-40f,
                                      1e30f,
                                      -1e30f,
                                      3.4e38f,
                                      -3.4e38f,
                                      INFINITY,
                                      -INFINITY,
                                      NAN,
                                      -NAN,
                                      504.0f,
                                      4.0f};
        const std::uint8_t selector = byte();
        if (selector < 128) return edges[selector % 16];
        const std::uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::size_t left_;
};

// The program's start state: fields zero, start flags, a 512 x 512 window.
void startState() {
    platform = desktopPlatform;
    setActiveHostKernels(nullptr);
    resetFields();
    simulate = 1;
    stepOnce = printFields = 0;
    showDensity = showBoundary = 1;
    showVelocity = showGrid = editBoundary = 0;
    usePerCellDrawing = 0;
    totalDensity = 0.0f;
    mouseX = mouseY = prevMouseX = prevMouseY = mouseState = 0;
    lastCellI = lastCellJ = 0;
    reshapeWindow(startWindowSide, startWindowSide);
    glrecorder::reset();
}

bool interior(int index) { return index >= 1 && index <= N; }

// Whether this input wrote a mask value other than 0 and 1 that may still be there.
bool otherMaskValues = false;

void checkRecordedNesting() {
    long long matrix = 0, attrib = 0, clientAttrib = 0, primitive = 0, list = 0;
    for (const glrecorder::Call& c : glrecorder::calls) {
        const std::string& n = c.name;
        if (n == "glPushMatrix") ++matrix;
        else if (n == "glPopMatrix") --matrix;
        else if (n == "glPushAttrib") ++attrib;
        else if (n == "glPopAttrib") --attrib;
        else if (n == "glPushClientAttrib") ++clientAttrib;
        else if (n == "glPopClientAttrib") --clientAttrib;
        else if (n == "glBegin") ++primitive;
        else if (n == "glEnd") --primitive;
        else if (n == "glNewList") ++list;
        else if (n == "glEndList") --list;
        if (matrix < 0 || attrib < 0 || clientAttrib < 0 || primitive < 0 || list < 0)
            broken("a GL pop or end without its push or begin");
        if (primitive > 1 || list > 1) broken("nested glBegin or glNewList");
    }
    require(matrix == 0, "matrix pushes and pops unbalanced");
    require(attrib == 0, "attribute pushes and pops unbalanced");
    require(clientAttrib == 0, "client attribute pushes and pops unbalanced");
    require(primitive == 0, "glBegin without glEnd");
    require(list == 0, "glNewList without glEndList");
}

// What holds after every event.
void checkState() {
    require(lastCellI == -1 || lastCellI == 0 || interior(lastCellI), "lastCellI outside -1, 0 and 1..N");
    require(lastCellJ == -1 || lastCellJ == 0 || interior(lastCellJ), "lastCellJ outside -1, 0 and 1..N");
    require(interior(pickCellIndex(mouseX, windowWidth)), "pick along j outside the interior");
    require(interior(pickCellIndex(static_cast<long long>(windowHeight) - mouseY, windowHeight)),
            "pick along i outside the interior");
    if (!otherMaskValues)
        for (int k = 0; k < cellsPerField; ++k)
            if (boundary[k] != 0 && boundary[k] != 1) broken("obstacle mask holds a value other than 0 and 1");
    for (int flag : {simulate, stepOnce, printFields, showDensity, showBoundary, showVelocity, showGrid, editBoundary})
        require(flag == 0 || flag == 1, "a view or mode flag left 0 and 1");
    checkRecordedNesting();
}

// The cell the pointer picks, as applyMouse computes it.
void pointerCell(int& i, int& j) {
    j = pickCellIndex(mouseX, windowWidth);
    i = pickCellIndex(static_cast<long long>(windowHeight) - mouseY, windowHeight);
}

void checkRightButtonPattern(const char* what) {
    int i, j;
    pointerCell(i, j);
    const float s = cellSize;
    require(dens_prev[IX(i, j)] == static_cast<float>(N) * s, what);
    require(u_prev[IX(i, j + 1)] == s && v_prev[IX(i + 1, j)] == s, what);
    require(u_prev[IX(i, j - 1)] == -s && v_prev[IX(i - 1, j)] == -s, what);
}

void keyEvent(unsigned char key, int x, int y) {
    if (key == escapeKey) key = 'x';  // Esc ends the process
    keyboardCommand(key, x, y);
    require(glrecorder::redisplayRequests == 1, "a key did not request exactly one redraw");
    if (key == 'f') {
        require(dens_prev[IX(1, forceRow)] == static_cast<float>(N) * cellSize, "key f density source");
        require(v_prev[IX(1, forceRow)] == cellSize, "key f velocity source");
    }
    if (key == 'r') {
        for (int k = 0; k < cellsPerField; ++k)
            if (dens[k] != 0.0f || u_prev[k] != 0.0f || boundary[k] != 0) broken("key r left a field nonzero");
        otherMaskValues = false;
    }
}

void buttonEvent(int button, int state, int x, int y) {
    mouseButton(button, state, x, y);
    require(glrecorder::redisplayRequests == 1, "a button event did not request exactly one redraw");
    require(mouseX == x && mouseY == y && mouseState == state, "a button event did not store its position");
    if (state == GLUT_DOWN) {
        if (button == GLUT_LEFT_BUTTON && editBoundary) {
            int i, j;
            pointerCell(i, j);
            require(lastCellI == i && lastCellJ == j, "a left press with editing did not remember its cell");
        } else {
            require(lastCellI == -1 && lastCellJ == -1, "a press did not forget the last edited cell");
        }
    }
    if (button == GLUT_RIGHT_BUTTON) checkRightButtonPattern("right button source pattern");
}

void motionEvent(int x, int y) {
    const int stateBefore = mouseState, xBefore = mouseX, yBefore = mouseY;
    mouseMotion(x, y);
    if (stateBefore != 0) {
        require(glrecorder::redisplayRequests == 0, "an ignored drag requested a redraw");
        require(mouseX == xBefore && mouseY == yBefore, "an ignored drag moved the pointer");
    } else {
        require(glrecorder::redisplayRequests == 1, "a drag did not request exactly one redraw");
        require(mouseX == x && mouseY == y && prevMouseX == xBefore && prevMouseY == yBefore,
                "a drag did not shift the pointer positions");
    }
}

void reshapeEvent(int width, int height) {
    reshapeWindow(width, height);
    require(windowWidth == width && windowHeight == height, "reshape did not store the size");
    require(cellSize == static_cast<float>(width / N), "reshape cell size");
    require(glrecorder::redisplayRequests == 1, "reshape did not request exactly one redraw");
}

void redrawEvent() {
    displayFrame();
    require(glrecorder::swapCount == 1, "a frame did not swap buffers exactly once");
    require(stepOnce == 0, "a frame left stepOnce set");
}

void pokeEvent(Reader& in) {
    const int field = in.byte() % 7;
    const int cell = static_cast<int>(in.u32() % cellsPerField);
    if (field == 6) {
        const int value = in.anyInt();
        boundary[cell] = value;
        if (value != 0 && value != 1) otherMaskValues = true;
        return;
    }
    float* const fields[] = {u, v, u_prev, v_prev, dens, dens_prev};
    fields[field][cell] = in.anyFloat();
}

void pickEvent(Reader& in) {
    const std::uint8_t selector = in.byte();
    long long pixel;
    if (selector < 64) {
        static const long long edges[] = {LLONG_MIN, LLONG_MIN + 1, -(1LL << 40), INT_MIN, -1, 0, 1, 126,
                                          127,       128,           511,          512,     513, INT_MAX, 1LL << 40,
                                          LLONG_MAX};
        pixel = edges[selector % 16];
    } else {
        pixel = static_cast<long long>(in.u64());
    }
    const int extent = in.anyInt();
    require(interior(pickCellIndex(pixel, extent)), "pickCellIndex outside 1..N");
}

void setFlag(Reader& in) {
    int* const flags[] = {&simulate,     &stepOnce,  &printFields,  &showDensity,      &showBoundary,
                          &showVelocity, &showGrid,  &editBoundary, &usePerCellDrawing};
    const std::uint8_t selector = in.byte();
    *flags[selector % 9] = (selector / 9) & 1;
}

int anyButton(Reader& in) {
    const std::uint8_t selector = in.byte();
    if (selector < 240) return selector % 5 - 1;  // -1 .. 3: left 0, middle 1, right 2
    return in.anyInt();
}

int anyState(Reader& in) {
    const std::uint8_t selector = in.byte();
    if (selector < 240) return selector % 3 == 2 ? -1 : selector % 3;  // GLUT_DOWN 0, GLUT_UP 1
    return in.anyInt();
}

void runEvent(Reader& in, Budget& budget) {
    const std::uint8_t op = in.byte();
    switch (op % 16) {
        case 0: {
            const unsigned char key = in.byte();
            const int x = in.anyInt();
            keyEvent(key, x, in.anyInt());
            break;
        }
        case 1: {
            static const char commands[] = " BbcdfgrsvxX";
            keyEvent(static_cast<unsigned char>(commands[in.byte() % 12]), 0, 0);
            break;
        }
        case 2: {
            const int button = anyButton(in);
            const int state = anyState(in);
            const int x = in.anyInt();
            buttonEvent(button, state, x, in.anyInt());
            break;
        }
        case 3: {
            const int x = in.anyInt();
            motionEvent(x, in.anyInt());
            break;
        }
        case 4: {
            const int button = anyButton(in);
            applyMouse(button, in.byte() % 3);
            require(glrecorder::redisplayRequests == 1, "applyMouse did not request exactly one redraw");
            if (button == GLUT_RIGHT_BUTTON) checkRightButtonPattern("applyMouse right button pattern");
            break;
        }
        case 5: {
            const int width = in.anyInt();
            reshapeEvent(width, in.anyInt());
            break;
        }
        case 6:
            if (budget.redraws > 0) {
                --budget.redraws;
                if (simulate || stepOnce) budget.beforeStep();
                redrawEvent();
            }
            break;
        case 7:
            if (budget.steps > 0) {
                --budget.steps;
                budget.beforeStep();
                gpuCalcFluid();
            }
            break;
        case 8: usePerCellDrawing = 1 - usePerCellDrawing; break;
        case 9: setFlag(in); break;
        case 10: pokeEvent(in); break;
        case 11: pickEvent(in); break;
        case 12:
            if (op & 16) {
                timerRedraw(in.anyInt());
                require(glrecorder::named("glutTimerFunc").size() == 1, "the timer did not rearm once");
            } else {
                idleRedraw();
            }
            require(glrecorder::redisplayRequests == 1, "timer or idle did not request exactly one redraw");
            break;
        case 13: {
            // A whole drag: press, a few moves, release.
            const int x = in.anyInt();
            buttonEvent(GLUT_LEFT_BUTTON, GLUT_DOWN, x, in.anyInt());
            checkState();
            glrecorder::reset();
            const int moves = in.byte() % 4 + 1;
            for (int k = 0; k < moves; ++k) {
                const int mx = in.anyInt();
                motionEvent(mx, in.anyInt());
                checkState();
                glrecorder::reset();
            }
            const int rx = in.anyInt();
            buttonEvent(GLUT_LEFT_BUTTON, GLUT_UP, rx, in.anyInt());
            break;
        }
        case 14: {
            // A right click: press and release at one position.
            const int x = in.anyInt();
            const int y = in.anyInt();
            buttonEvent(GLUT_RIGHT_BUTTON, GLUT_DOWN, x, y);
            checkState();
            glrecorder::reset();
            buttonEvent(GLUT_RIGHT_BUTTON, GLUT_UP, x, y);
            break;
        }
        default: {
            // Boundary editing on, then a left press somewhere.
            editBoundary = 1;
            const int x = in.anyInt();
            buttonEvent(GLUT_LEFT_BUTTON, GLUT_DOWN, x, in.anyInt());
            break;
        }
    }
    checkState();
    glrecorder::reset();  // the log holds one event's calls at most
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    registerFluidKernels();
    // Key c turns on the field dump after every step; it goes nowhere.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    startState();
    otherMaskValues = false;
    Reader in(data, size);
    Budget budget;
    while (!in.done()) runEvent(in, budget);
    setActiveHostKernels(nullptr);
    return 0;
}
