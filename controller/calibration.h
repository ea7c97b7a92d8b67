#pragma once
// The level measurement behind the calibration of the display from a layer.

class layer;

// The level of `l` from `start` over `duration` seconds, in transform frames
// of `hop` samples: frames f0 = round(start * rate / hop) up to
// round((start + duration) * rate / hop) - 2 are measured, frame f covering
// the samples hop * f .. hop * (f + 1) - 1. The channels are those whose bit
// is set in `channelmask` (every channel for 0). `peak` gives the largest
// magnitude of any sample; else `average` gives the mean of the per-frame,
// per-channel peaks; neither gives 0, and so does a range with no frame.
double measurelevel(layer* l, double start, double duration, int hop, int channelmask,
                    bool average, bool peak);
