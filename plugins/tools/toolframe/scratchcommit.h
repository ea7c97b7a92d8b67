#pragma once
// Committing the scratch buffer into the current layer at the end of a stroke.
//
// The host computes clipboardarea before the call, from what the scratch held
// then; what the call itself writes outside that extent would be left behind
// and thrown away by the next hover. So without a selection the commit also
// covers the frames the call wrote.
#include <QRectF>

#include <algorithm>
#include <climits>
#include <cmath>

#include "interfaces.h"

namespace toolframe {

// A pointer coordinate that stands for a real place: finite and short of the
// host's "unset" value, which it sends while the pointer is off the views.
inline bool pointerset(double v)
{
    return std::isfinite(v) && std::fabs(v) < 2147418112.0;
}

// The frames a call wrote, first to last; empty until something is added.
struct FrameSpan
{
    long long first = LLONG_MAX;
    long long last = LLONG_MIN;

    bool empty() const { return first > last; }
    void add(long long frame) { add(frame, frame); }
    void add(long long from, long long to)
    {
        first = std::min(first, from);
        last = std::max(last, to);
    }
};

// The frames whose windows reach samples from .. to (either order).
FrameSpan framesofsamples(const DataInterface& data, long long from, long long to);

// The area to commit: the selection when there is one; otherwise the
// clipboard area widened in time over the written frames, over the whole band.
QRectF commitarea(const DataInterface& data, const FrameSpan& written);

// The cells the host's buffers take while an area is selected: the
// selection's frames and bins as the host rounds them. Without a selection,
// every cell.
struct SelectedCells
{
    bool all = true;
    long long firstframe = 0, lastframe = -1;
    long long lowbin = 0, highbin = -1;

    static SelectedCells of(const DataInterface& data);
    // Whether bins low .. high of the frame reach inside.
    bool reach(long long frame, long long low, long long high) const
    {
        return all || (frame >= firstframe && frame <= lastframe && high >= lowbin && low <= highbin);
    }
};

// Commits the scratch buffer into the current layer over commitarea, each
// cell keeping the louder value (mode 9), on the block's channel mask.
void commitwritten(const DataInterface& data, const FrameSpan& written);

} // namespace toolframe
