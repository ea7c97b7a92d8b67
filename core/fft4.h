#pragma once
// The real transforms of a batch of four frames held side by side: every real
// value and every complex part is a group of four floats, one frame per lane.
// The transform library is the scalar float build, so each lane goes through
// its own call; the layouts stay those of a four-lane build.
#include <kissfft/kiss_fftr.h>

// Floats of lane scratch that the two functions need for a transform of size n.
constexpr int fft4lanefloats(int n) { return 2 * n + 2; }

// Forward: `time` holds n groups of four samples; `bins` receives n/2 + 1
// bins, each a group of four real parts followed by a group of four imaginary
// parts ((n + 2) x 4 floats). Only the first `lanes` lanes are transformed.
// `plan` is a forward plan of size n; `lane` has fft4lanefloats(n) floats.
void fft4forward(kiss_fftr_cfg plan, int n, const float* time, float* bins, float* lane,
                 int lanes = 4);

// Inverse (unnormalised) of the same layouts; `plan` is an inverse plan of size n.
void fft4inverse(kiss_fftr_cfg plan, int n, const float* bins, float* time, float* lane,
                 int lanes = 4);
