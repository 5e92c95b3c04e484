// FrontEndTestSupport.h - fixtures that put the front end into its start
// state: the core on the tests' counting platform (CoreTest), and the core
// with the desktop's table on top of the GL recorder (FrontEndTest); and a
// kernel set that leaves the fields as they are, so that a redraw can step
// without changing what a test set up.
#pragma once

#include <gtest/gtest.h>

#include "CountingPlatform.h"
#include "FrameLoop.h"
#include "FrontEndState.h"
#include "GlDrawing.h"
#include "GlRecorder.h"
#include "DesktopPlatform.h"
#include "IdleKernels.h"
#include "Keyboard.h"
#include "Mouse.h"
#include "TestSupport.h"

namespace testsupport {


// The front end's state as at start, on whichever table the fixture installs.
inline void resetFrontEnd() {
    resetFields();
    setWindowSize(startWindowSide, startWindowSide);
    simulate = 1;
    stepOnce = printFields = showVelocity = showGrid = editBoundary = 0;
    showDensity = showBoundary = 1;
    totalDensity = 0.0f;
    programEnded = 0;
    mouseX = mouseY = prevMouseX = prevMouseY = mouseState = 0;
    lastCellI = lastCellJ = 0;
}

class CoreTest : public testing::Test {
  protected:
    void SetUp() override {
        platform = counting::table;
        resetFrontEnd();
        counting::reset();
    }
    void TearDown() override {
        setActiveHostKernels(nullptr);
        resetFields();
        programEnded = 0;
    }
    // Keeps the fields exactly as the test set them when a redraw steps.
    void freezeSolver() { setActiveHostKernels(&idleKernels()); }
};

class FrontEndTest : public testing::Test {
  protected:
    void SetUp() override {
        platform = desktopPlatform;
        resetFrontEnd();
        usePerCellDrawing = 1;  // the call-by-call checks describe the per-cell drawing
        buildCellList();
        glrecorder::reset();
    }
    void TearDown() override {
        setActiveHostKernels(nullptr);
        resetFields();
        programEnded = 0;
    }
    // Keeps the fields exactly as the test set them when a redraw steps.
    void freezeSolver() { setActiveHostKernels(&idleKernels()); }
};

}  // namespace testsupport
