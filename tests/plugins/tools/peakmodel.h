#pragma once
// Stand-ins for the host's window-lobe table and peak estimate, for tools
// driven against the spectrogram grids: the largest of three neighbouring
// magnitudes is the peak; a peak in the centre leans a quarter bin towards the
// larger neighbour. The lobe falls off as 1 / (1 + offset^2).
#include <QVector2D>

#include "datainterface.h"

namespace peakmodel {

inline QVector2D estimate(float left, float centre, float right)
{
    if (centre >= left && centre >= right) {
        if (centre == 0)
            return {0, 0};
        return {right > left ? 0.25f : right < left ? -0.25f : 0.0f, centre};
    }
    if (right >= left)
        return {1, right};
    return {-1, left};
}

inline float lobe(float offset)
{
    return 1 / (1 + offset * offset);
}

inline void fill(DataInterface& block)
{
    block.estimatepeak = &estimate;
    block.getlobe = &lobe;
}

} // namespace peakmodel
