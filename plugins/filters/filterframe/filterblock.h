#pragma once
// How a filter turns an area of its data block into frames, bins, samples and
// channels, and how it uses the clipboard buffer as its scratch area.
//
// Buffers by callback index: 0 the mix, 1 the current layer, 2 the clipboard,
// which the filters use as scratch. Areas: x start in s, y upper frequency in
// Hz, width in s, height minus the frequency span in Hz. Indices round to the
// nearest integer with halves upward, as the host does.
#include <QRectF>

#include <vector>

#include "interfaces.h"

namespace filterframe {

constexpr int mixbuffer = 0;
constexpr int layerbuffer = 1;
constexpr int scratchbuffer = 2;

// Area transfer modes the filters use.
constexpr int emptymode = 0;
constexpr int copymode = 5;
constexpr int loudermode = 9;

// An inclusive index range; empty when last < first.
struct Span
{
    int first = 0;
    int last = -1;
    bool empty() const { return last < first; }
};

// The block is usable: a project format with a positive hop and the host
// functions. Before the host has filled it nothing is.
bool blockready(const DataInterface& data);
int hop(const DataInterface& data);

// Frames of an area, both ends included.
Span framesof(const DataInterface& data, const QRectF& area);
// Bins of an area from its lower to its upper edge, both included, held to
// the bins a frame has (0 .. fftsize / 2): the host would ignore the others.
Span binsof(const DataInterface& data, const QRectF& area);
// Samples of an area, both ends included.
Span samplesof(const DataInterface& data, const QRectF& area);

// The channels switched on in the channel mask, in ascending order, at most
// `limit` of the first channels of the project.
std::vector<int> channelsof(const DataInterface& data, int limit = 32);
// Those channels as a mask. Never 0 for a usable choice: the host's area
// transfer reads a mask of 0 as "every channel".
int maskof(const std::vector<int>& channels);

// The area cut at frame boundaries into runs that the host's cache holds
// whole (cachewindow.h): bins a filter writes into the scratch over one run
// reach the current layer by its commit exactly as written, however long
// the area. An area of no frame is one run.
std::vector<QRectF> cachedruns(const DataInterface& data, const QRectF& area);

// The bins of a span of one frame as (re, im) pairs, 2 * (last - first + 1)
// floats, in one host call where the host offers runs (hostlink.h), else
// bin by bin.
void readbins(const DataInterface& data, int buffer, int channel, int frame, Span bins, float* pairs);
void writebins(const DataInterface& data, int buffer, int channel, int frame, Span bins, const float* pairs);

// Empties the clipboard buffer and its layer.
void emptyscratch(const DataInterface& data);
// Transfers the scratch into the current layer over the area, for the
// channels of the mask, with the given mode; both layers hold the result
// when it returns. A mask of 0 does nothing.
void commitscratch(const DataInterface& data, const QRectF& area, int mask, int mode);

} // namespace filterframe
