#pragma once
// The host functions behind the twelve DataInterface callbacks. Plugins reach
// the three slot Buffers only through these (buffer 0 mix, 1 current layer,
// 2 clipboard, as in slottable).
//
// Unlike the Buffer accessors, which trust their callers, these check what a
// plugin passes: the buffer index (0 to 2, an existing Buffer), the channel
// (0 to channels-1 of a bound Buffer), the bin (0 to fftsize/2), the window
// index (0 to fftsize-1), the lobe-table index and the position. A refused call
// reads 0 and writes nothing, and the first refusal of each kind is logged as
// an error (later ones are not, so a plugin looping over a bad index cannot
// flood the log). An unbound Buffer is passed through: it answers with zeros
// itself and raises its own read/write-without-layer flag.
//
// Positions: a sample index, or the centre sample frame * hop of a frame, must
// lie in firstaddressablesample .. lastaddressablesample. The lower end is the
// margin that frames near time 0 need: anything earlier is a plugin's mistake,
// and a write there would move the layer's start far before time 0. The upper
// end is where the Buffer stops moving its window (beyond it the window's int
// arithmetic would overflow).
// Inside that range a position past the end of the bound layer is valid:
// generators write into the emptied clipboard and recording extends the layer.
// transferarea drops the part of its rectangle that lies outside the range.
#include <QRectF>
#include <QVector2D>

#include "buffer.h"
#include "globals.h"

class DataInterface;

constexpr int firstaddressablesample = -Buffer::margin;
constexpr int lastaddressablesample = int(Buffer::reachlimit - 1);

float getsamplecb(int buffer, int channel, int sample);
void setsamplecb(int buffer, int channel, int sample, float value);
QVector2D getbincb(int buffer, int channel, int frame, int bin);
void setbincb(int buffer, int channel, int frame, int bin, float re, float im);
// A run of bins of one frame, as the two above bin by bin, in one hold of
// the Buffer's lock (the plugins reach them through BinRuns, binruns.h).
void getbinscb(int buffer, int channel, int frame, int firstbin, int count, float* pairs);
void setbinscb(int buffer, int channel, int frame, int firstbin, int count, const float* pairs);
// analysiswindow[index] of the mix Buffer.
float getwindowcb(int index);
// Lobe-table magnitude of the mix Buffer at binoffset bins from a unit
// sinusoid, in steps of 1/16 bin (rounded half up); valid within -fftsize/4
// .. fftsize/4 bins.
float getlobecb(float binoffset);
// (offset in bins from the centre bin, amplitude) of the sinusoid whose
// magnitudes at three neighbouring bins are left, centre, right. A centre of 0
// gives (0, 0); where the window's lobe is about 0 at the offset the amplitude
// is the centre magnitude itself rather than an unbounded quotient.
QVector2D estimatepeakcb(float left, float centre, float right);
void transferareacb(int srcbuffer, int dstbuffer, QRectF area, int channelmask, int mode,
                    float dtime, float dfreq);
float fastsqrtcb(float x);
float fastatan2cb(float y, float x);
float fastsincb(float x);
float fastcoscb(float x);

// Stores the twelve host functions above into a plugin's data block.
void fillcallbacks(DataInterface* data);
