// Test entry: registers the solver's kernels with the runtime layer, as the
// program does before main, then runs every test.
#include <gtest/gtest.h>

#include "Kernels.h"

int main(int argc, char** argv) {
    registerFluidKernels();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
