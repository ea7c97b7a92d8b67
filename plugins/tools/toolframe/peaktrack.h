#pragma once
// Following a partial of the mix from frame to frame, as the frequency and
// harmonics extraction tools do. From the pointer's frame the peak nearest the
// pointer's bin is located in every frame, first forwards up to the time limit,
// then backwards from the pointer again; a channel drops out of a pass once the
// amplitude it found falls below a threshold set by its first peak. A tool
// decides what each located peak writes.
#include <QVector2D>

#include <cmath>
#include <functional>

#include "interfaces.h"
#include "scratchcommit.h"

namespace toolframe {

// The most channels a project has.
constexpr int trackchannels = 8;

struct Tracking
{
    double timelimit = 0; // s on either side of the pointer
    double gain = 1;      // tolerance as a gain (at most 1); threshold = first amplitude x gain^2

    static Tracking of(double timelimit, double tolerancedb) { return {timelimit, std::pow(2.0, tolerancedb / 6.0)}; }
};

// Called for each channel and frame of a pass with the frequency (Hz) the
// pass started from, the peak's position in bins (fractional) and its
// amplitude.
using PeakVisit = std::function<void(double frequency, int channel, int frame, double position, float amplitude)>;

// The block has what tracking needs: a format with a positive hop and the
// bin, lobe, peak and transfer callbacks.
bool trackready(const DataInterface& data);

// Follows the partial under (time s, frequency Hz) on the channels of the
// block's mask and returns the frames visited. A pointer off the views
// follows nothing.
FrameSpan trackpartial(const DataInterface& data, double time, double frequency, const Tracking& tracking,
                       const PeakVisit& visit);

// A frame or bin index: rounded half up, in 64 bits so that no position
// overflows.
long long roundindex(double v);

// One pointer event of a partial tool. A press or drag follows the partial
// from every place along its travel (dtime, dfreq) up to the pointer, with
// `visit` writing each peak, and commits the scratch buffer into the current
// layer: events come coalesced, and a quick drag must extract all it passed
// over, as a slow one does. A release commits its own travel likewise. A
// hover or release then empties the scratch buffer and previews the partial
// under the pointer.
void partialevent(const DataInterface& data, float time, float frequency, float pressure, float dtime,
                  float dfreq, float dpressure, const Tracking& tracking, const PeakVisit& visit);

// How many places along a travel of (dtime s, dfreq Hz) a partial tool
// follows: close enough that the time limits of neighbours overlap (one
// frame apart when the limit is shorter than a frame) and one bin apart in
// frequency, as a slow drag's events are; at least 1, at most maxplaces.
constexpr int maxplaces = 1 << 12;
int placecount(const DataInterface& data, double dtime, double dfreq, double timelimit);

// Magnitude of a mix bin; 0 for bins that no frame holds, without asking.
float mixmagnitude(const DataInterface& data, int channel, int frame, long long bin);

// (offset, amplitude) of the peak near bin `centre` of a mix frame.
QVector2D locatepeak(const DataInterface& data, int channel, int frame, long long centre);

// Writes bins centre - spread .. centre + spread of a mix frame into the
// scratch buffer: the mix bin itself, blended by `pure` (0 to 1) towards the
// window's lobe of a sinusoid of `amplitude` at bin `peak`, carrying each
// bin's own phase.
void writepeak(const DataInterface& data, int channel, int frame, long long centre, double peak,
               float amplitude, int spread, double pure);

} // namespace toolframe
