// FrontEndTestSupport.h - a fixture that puts the front end into its start
// state on top of the GL recorder, and a kernel set that leaves the fields as
// they are, so that a redraw can step without changing what a test set up.
#pragma once

#include <gtest/gtest.h>

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


class FrontEndTest : public testing::Test {
  protected:
    void SetUp() override {
        platform = desktopPlatform;
        resetFields();
        setWindowSize(512, 512);
        simulate = 1;
        stepOnce = printFields = showVelocity = showGrid = editBoundary = 0;
        showDensity = showBoundary = 1;
        totalDensity = 0.0f;
        mouseX = mouseY = prevMouseX = prevMouseY = mouseState = 0;
        lastCellI = lastCellJ = 0;
        usePerCellDrawing = 1;  // the call-by-call checks describe the per-cell drawing
        buildCellList();
        glrecorder::reset();
    }
    void TearDown() override {
        setActiveHostKernels(nullptr);
        resetFields();
    }
    // Keeps the fields exactly as the test set them when a redraw steps.
    void freezeSolver() { setActiveHostKernels(&idleKernels()); }
};

}  // namespace testsupport
