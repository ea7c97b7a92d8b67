#pragma once
// What a recording by the test recorder must have left in a layer: its tone,
// sample for sample, over the time that was recorded.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/layerhelpers.h"
#include "recordertone.h"

// The largest difference between the layer's samples and the recorder's tone
// over [from, to) seconds.
inline float tonemismatch(layer* l, double from, double to)
{
    const int rate = l->samplerate;
    const int first = int(std::lround(from * rate));
    const int count = int(std::lround(to * rate)) - first;
    const std::vector<float> got = readrange(l, double(first) / rate, count, 0);
    float worst = 0;
    for (int i = 0; i < count; ++i)
        worst = std::max(worst, std::fabs(got[size_t(i)] - recordersample(first + i, rate)));
    return worst;
}

