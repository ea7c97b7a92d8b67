#pragma once
// The analysis window of the short-time transform (types 0 Rectangular,
// 1 Bartlett, 2 Hann, 3 Blackman, 4 Blackman-Harris), periodic, with the
// optional sub-window rule, normalised so that its values sum to 2: a
// sinusoid centred on a bin then shows its amplitude as the bin's magnitude.

// Transform sizes are powers of two in 64..65536 and overlaps powers of two in
// 2..16, as the editing cache keeps them; any other value becomes the nearest
// allowed one below (or the smallest), so that the hop N / overlap is never zero.
int clampfftsize(int size);
int clampfftoverlap(int overlap);

// Fills dst[0 .. size) for a size already clamped by clampfftsize. Types
// outside 0..4 give the Blackman-Harris window, the default type.
void fillanalysiswindow(float* dst, int type, int size, bool subwin);
