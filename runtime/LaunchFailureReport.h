// LaunchFailureReport.h - a kernel that a backend could not start, or that
// failed while it ran, said once on standard error.
//
// The step driver skips a kernel whose launch fails without a word, as the
// launch protocol requires, so the fields simply stay as they were. A GPU
// backend reports each such failure here, so that it never goes unseen; the
// same kernel failing again for the same cause is not repeated, one step
// after another.
#pragma once

namespace fluidrt {

// Prints "fluid: KERNEL STAGE: NAME (TEXT)" on standard error the first time
// that kernel fails at that stage with that cause (NAME, e.g. the CUDA
// error's name); later ones are counted, not printed. Returns whether it
// printed.
bool reportLaunchFailure(const char* kernel, const char* stage, const char* name, const char* text);

// Failures reported so far, printed or not.
long launchFailureCount();

}  // namespace fluidrt
