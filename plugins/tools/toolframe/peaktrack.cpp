#include "peaktrack.h"

#include <algorithm>
#include <cmath>

#include "brushstroke.h"
#include "toolrounding.h"

namespace toolframe {

namespace {

struct Partial
{
    long long bin = 0;     // tracked bin
    float amplitude = 0;   // amplitude found in the previous frame
    float first = 0;       // first amplitude found, 0 while none
    double threshold = 0;  // the pass stops once amplitude falls below it
};

} // namespace

long long roundindex(double v)
{
    if (std::isnan(v))
        return 0;
    // Beyond any frame or bin a host could hold; only keeps the loops finite.
    return std::llround(std::floor(std::clamp(v, -4e15, 4e15) + 0.5));
}

bool trackready(const DataInterface& data)
{
    return blockready(data) && data.getlobe && data.estimatepeak;
}

float mixmagnitude(const DataInterface& data, int channel, int frame, long long bin)
{
    if (bin < 0 || bin > data.fftsize / 2)
        return 0;
    return data.getbin(mixbuffer, channel, frame, int(bin)).length();
}

QVector2D locatepeak(const DataInterface& data, int channel, int frame, long long centre)
{
    const float right = mixmagnitude(data, channel, frame, centre + 1);
    const float middle = mixmagnitude(data, channel, frame, centre);
    const float left = mixmagnitude(data, channel, frame, centre - 1);
    const QVector2D peak = data.estimatepeak(left, middle, right);
    // A peak the host cannot place locates nothing.
    if (!std::isfinite(peak.x()) || !std::isfinite(peak.y()) || peak.y() < 0)
        return QVector2D(0, 0);
    return peak;
}

void writepeak(const DataInterface& data, int channel, int frame, long long centre, double peak,
               float amplitude, int spread, double pure)
{
    const float p = float(pure);
    for (long long bin = centre - spread; bin <= centre + spread; ++bin) {
        if (bin < 0 || bin > data.fftsize / 2)
            continue;
        const QVector2D x = data.getbin(mixbuffer, channel, frame, int(bin));
        QVector2D value = x;
        // Only a blend asks for the lobe; a plain copy stays exact.
        if (p != 0) {
            const float lobe = data.getlobe(float(double(bin) - peak));
            value = p * x.normalized() * lobe * amplitude + (1 - p) * x;
        }
        data.setbin(scratchbuffer, channel, frame, int(bin), value.x(), value.y());
    }
}

FrameSpan trackpartial(const DataInterface& data, double time, double frequency, const Tracking& tracking,
                       const PeakVisit& visit)
{
    FrameSpan visited;
    if (!trackready(data) || !pointerset(time) || !pointerset(frequency))
        return visited;
    const double rate = data.samplerate;
    const int hop = data.fftsize / data.overlap;
    const long long startbin = roundindex(frequency * data.fftsize / rate);
    const long long startframe = roundindex(rate * time / hop);
    const long long lastframe = roundindex((time + tracking.timelimit) * rate / hop);
    const long long firstframe = roundindex((time - tracking.timelimit) * rate / hop);
    const int channels = std::clamp(data.channels, 0, trackchannels);
    const unsigned mask = unsigned(data.channelmask);

    Partial partial[trackchannels];
    const auto pass = [&](long long from, long long to, int direction, bool forward) {
        for (long long frame = from; direction > 0 ? frame <= to : frame >= to; frame += direction) {
            if (frame < INT_MIN || frame > INT_MAX)
                break;
            for (int c = 0; c < channels; ++c) {
                Partial& t = partial[c];
                if (!((mask >> c) & 1u) || !(double(t.amplitude) >= t.threshold))
                    continue;
                const QVector2D peak = locatepeak(data, c, int(frame), t.bin);
                const float amplitude = peak.y();
                if (forward && t.first == 0) {
                    t.first = amplitude;
                    const double root = std::sqrt(double(amplitude)) * tracking.gain;
                    t.threshold = root * root;
                }
                const double position = double(t.bin) + peak.x();
                visit(frequency, c, int(frame), position, amplitude);
                visited.add(frame);
                t.amplitude = amplitude;
                t.bin = roundindex(position);
            }
        }
    };

    for (Partial& t : partial)
        t.bin = startbin;
    pass(startframe, lastframe, +1, true);
    // Backwards from the pointer again, each channel from its first peak.
    for (Partial& t : partial) {
        t.bin = startbin;
        t.amplitude = t.first;
    }
    pass(startframe, firstframe, -1, false);
    return visited;
}

int placecount(const DataInterface& data, double dtime, double dfreq, double timelimit)
{
    const double hop = double(data.fftsize / data.overlap) / data.samplerate; // s
    const double timestep = std::max(timelimit, hop);
    const double freqstep = double(data.samplerate) / data.fftsize; // one bin, Hz
    const double n = std::max(std::fabs(dtime) / timestep, std::fabs(dfreq) / freqstep);
    if (!std::isfinite(n))
        return 1;
    return int(std::clamp(std::ceil(n), 1.0, double(maxplaces)));
}

void partialevent(const DataInterface& data, float time, float frequency, float pressure, float dtime,
                  float dfreq, float dpressure, const Tracking& tracking, const PeakVisit& visit)
{
    if (!trackready(data))
        return;
    const bool pressed = ispressed(pressure);
    double dx = dtime, dy = dfreq;
    travelfrom(time, frequency, dx, dy);
    // A release that came to another frame or bin than the last drag.
    const double frames = double(data.samplerate) / (data.fftsize / data.overlap); // per s
    const double bins = double(data.fftsize) / data.samplerate;                     // per Hz
    const bool travelled = roundindex(time * frames) != roundindex((time - dx) * frames)
                           || roundindex(frequency * bins) != roundindex((frequency - dy) * bins);
    if (pressed || (isrelease(pressure, dpressure) && travelled)) {
        // From one step after the previous place up to the pointer.
        FrameSpan written;
        const int n = placecount(data, dx, dy, tracking.timelimit);
        forstamps(time, frequency, dx, dy, n, [&](double t, double f) {
            const FrameSpan span = trackpartial(data, t, f, tracking, visit);
            if (!span.empty())
                written.add(span.first, span.last);
        });
        commitwritten(data, written);
        if (pressed)
            return;
    }
    // Hover and release show the extraction at the pointer afresh.
    emptyscratch(data);
    trackpartial(data, time, frequency, tracking, visit);
}

} // namespace toolframe
