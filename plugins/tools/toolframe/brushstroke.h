#pragma once
// The brush stroke shared by the brush tools: along the pointer's path since
// the previous event, a row of stamps, each a soft-edged box of time x
// frequency cells around the stamp's position. A tool supplies the cell rule;
// the frame hands it every cell of every stamp with its weight, in the order
// stamps, frame offsets, channels, bin offsets.
//
// Buffers by callback index: 0 the mix, 1 the current layer, 2 the clipboard,
// which the tools use as their scratch buffer.
#include <QRectF>
#include <QVector2D>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "interfaces.h"
#include "scratchcommit.h"
#include "toolrounding.h"

namespace toolframe {

constexpr int mixbuffer = 0;
constexpr int layerbuffer = 1;
constexpr int scratchbuffer = 2;

// Event kinds as the host sends them: hover (no button), press and drag
// (button or pen down), release (last event of a stroke).
inline bool ishover(float pressure, float dpressure)
{
    return pressure == 0.0f && dpressure == 0.0f;
}
inline bool ispressed(float pressure)
{
    return pressure > 0.0f;
}
inline bool isrelease(float pressure, float dpressure)
{
    return pressure == 0.0f && dpressure < 0.0f;
}

// The block is usable: a project format with a positive hop, and the three
// callbacks the brushes need. Before the host has filled the block nothing is.
bool blockready(const DataInterface& data);

// Level change in dB as a gain (2^(dB/6)); with tablet pressure on, a pressed
// pen scales it. Hover and release events (pressure 0) take the plain gain.
double brushgain(double strengthdb, bool usepressure, float pressure);

// Empties the scratch buffer (area transfer mode 0) on the block's channel
// mask. The commit into the current layer is commitwritten (scratchcommit.h).
void emptyscratch(const DataInterface& data);

// A hover event empties the scratch buffer and zeroes the travel, so that the
// following stamp previews the brush at the pointer. True for a hover event.
bool hoverreset(const DataInterface& data, float pressure, float dpressure, float& dx, float& dy);

// The brush as the settings give it: full width in seconds, full height in Hz,
// soft edge in percent.
struct Brush
{
    double timerange = 0;
    double freqrange = 0;
    double softness = 0;
};

// Centre frame and bin of a stamp at time t (s) and frequency f (Hz).
int centreframe(const DataInterface& data, double t);
int centrebin(const DataInterface& data, double f);

// A place on the time or frequency axis that a pointer can be at. The host's
// unset position (2147418112, the pointer off the views) reaches a tool in
// single precision, only to within 128 of itself, and as the start of a travel
// it is x - dx; no time or frequency of a real place comes near 1e9.
inline bool realplace(double v)
{
    return std::isfinite(v) && std::fabs(v) < 1e9;
}

// The travel of an event, or none when it did not start at a real place: a
// press after the pointer came back without a hover starts at the pointer
// instead of stamping its way in from the unset position.
inline void travelfrom(double x, double y, double& dx, double& dy)
{
    if (!realplace(x - dx) || !realplace(y - dy) || !std::isfinite(dx) || !std::isfinite(dy)) {
        dx = 0;
        dy = 0;
    }
}

// The most stamps one event makes. Crossing the widest view in one event at
// half a brush per stamp takes far fewer unless the brush is narrower than a
// pixel; a longer travel is stamped at a wider spacing rather than taking
// minutes.
constexpr int maxstamps = 1 << 16;

// Number of stamps for a travel of (dx, dy) with half extents (halfwidth,
// halfheight): the larger travel counted in half extents, each quotient
// rounded down before its absolute value is taken, plus one, at most
// maxstamps. An axis of size 0 adds nothing; with both 0 the brush covers
// nothing and the result is 0.
int stampcount(double dx, double dy, double halfwidth, double halfheight);

// Visits n stamp positions from one step after (x - dx, y - dy) up to (x, y),
// in double precision and counted back from the pointer, so that the last
// stamp lies exactly at the pointer whatever the travel.
template <typename Visit>
void forstamps(double x, double y, double dx, double dy, int n, Visit&& visit)
{
    if (n < 1)
        return;
    const double stepx = dx / n;
    const double stepy = dy / n;
    for (int k = 1; k <= n; ++k)
        visit(x - (n - k) * stepx, y - (n - k) * stepy);
}

// The cells of one stamp relative to its centre and their weights: frame
// offsets cmin .. cmax and bin offsets bmin .. bmax, both ends included. The
// weight is 1 on a flat top and falls linearly to 0 at the outermost offsets
// over the soft edge; an axis of a single offset contributes the factor 1.
struct Footprint
{
    int cmin = 0;
    int cmax = 0;
    int bmin = 0;
    int bmax = 0;
    double soft = 0.001; // width of the soft edge: (softness + 0.1) / 100

    static Footprint of(const DataInterface& data, const Brush& brush);
    // The factor of one axis at offset o of extent omax.
    double axisweight(int o, int omax) const
    {
        return omax == 0 ? 1.0 : (1.0 - std::abs(double(o) / omax)) / soft;
    }
    float weight(int c, int b) const
    {
        return float(std::min({1.0, axisweight(c, cmax), axisweight(b, bmax)}));
    }
};

// Hands cell(channel, frame, bin, weight) every cell of the stamp at (t, f)
// on the channels of the block's channel mask. Cells that no buffer can hold
// (negative frames, bins outside 0 .. fftsize/2) are skipped: they read as
// zero and take no writes anyway.
template <typename Cell>
void stampcells(const DataInterface& data, const Footprint& fp, double t, double f, Cell& cell)
{
    const long long fc = centreframe(data, t);
    const long long kc = centrebin(data, f);
    const long long topbin = data.fftsize / 2;
    const int lastchannel = std::min(data.channels, 32);
    const unsigned mask = unsigned(data.channelmask);
    for (int c = fp.cmin; c <= fp.cmax; ++c) {
        const long long frame = fc + c;
        if (frame < 0 || frame > INT_MAX)
            continue;
        const double wc = std::min(1.0, fp.axisweight(c, fp.cmax));
        for (int channel = 0; channel < lastchannel; ++channel) {
            if (!((mask >> channel) & 1u))
                continue;
            for (int b = fp.bmin; b <= fp.bmax; ++b) {
                const long long bin = kc + b;
                if (bin < 0 || bin > topbin)
                    continue;
                const float w = float(std::min(wc, fp.axisweight(b, fp.bmax)));
                cell(channel, int(frame), int(bin), w);
            }
        }
    }
}

// One brush stroke segment: the stamps for the travel (dx, dy) that ends at
// the pointer (x, y), each handing its cells to the cell rule.
template <typename Cell>
void brushstroke(const DataInterface& data, double x, double y, double dx, double dy, const Brush& brush,
                 Cell&& cell)
{
    if (!blockready(data) || !realplace(x) || !realplace(y))
        return;
    travelfrom(x, y, dx, dy);
    const Footprint fp = Footprint::of(data, brush);
    const int n = stampcount(dx, dy, brush.timerange / 2, brush.freqrange / 2);
    forstamps(x, y, dx, dy, n, [&](double t, double f) { stampcells(data, fp, t, f, cell); });
}

// Whether a is louder than b by Euclidean magnitude (a tie is not).
inline bool louder(const QVector2D& a, const QVector2D& b)
{
    return a.lengthSquared() > b.lengthSquared();
}

// The scratch cell keeps the louder of what the stroke has put there so far and
// the new value, the new value winning ties: a cell passed twice within one
// stroke takes the stronger stamp instead of adding up. Returns what it kept.
inline QVector2D keeplouder(const DataInterface& data, int channel, int frame, int bin,
                            const QVector2D& value)
{
    const QVector2D scratch = data.getbin(scratchbuffer, channel, frame, bin);
    const QVector2D kept = louder(scratch, value) ? scratch : value;
    data.setbin(scratchbuffer, channel, frame, bin, kept.x(), kept.y());
    return kept;
}

// keeplouder that notes in `painted` the frames where the scratch now holds
// something: the commit at the end of the stroke must reach them, also those
// the host did not know of when it wrote the block.
inline void paint(const DataInterface& data, int channel, int frame, int bin, const QVector2D& value,
                  FrameSpan& painted)
{
    if (!keeplouder(data, channel, frame, bin, value).isNull())
        painted.add(frame);
}

} // namespace toolframe
