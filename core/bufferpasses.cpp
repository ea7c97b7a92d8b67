// The four passes between the time buffers and the frames of a Buffer. Each
// pass splits the frames of every channel between two workers that run at once
// and are joined before the pass returns.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "buffer.h"
#include "globals.h"
#include "transformthreads.h"

bool Buffer::channelrange(int channel, int& first, int& last) const
{
    const int count = std::min(channels, allocatedchannels);
    if (channel < 0) {
        first = 0;
        last = count - 1;
    } else {
        first = last = channel;
    }
    return first <= last && last < count;
}

// The frames (relative to the window) of a pass over [t, t + dt): one frame of
// margin on each side, clipped to the window. False when there is nothing to do.
bool Buffer::passframes(double t, double dt, int& firstframe, int& lastframe) const
{
    if (cachestart == unsettime || !haswindow() || samplerate <= 0)
        return false;
    if (!(dt > 0) || !std::isfinite(t) || !std::isfinite(dt))
        return false;
    const double scale = double(samplerate) / hop();
    const double windowframes = cachesamples / hop();
    const double first = std::floor((t - cachestart) * scale + 0.5) - 1;
    const double last = std::floor((t + dt - cachestart) * scale + 0.5) + 1;
    const double lo = std::max(first, 0.0);
    const double hi = std::min(last, windowframes - 1);
    if (lo > hi)
        return false;
    firstframe = int(lo);
    lastframe = int(hi);
    return true;
}

// Layer time span of the samples that an inverse pass over [t, t + dt)
// rewrites: [firstframe x hop, lastframe x hop) of the window.
void Buffer::passspan(double t, double dt, double& low, double& high) const
{
    int first, last;
    if (!passframes(t, dt, first, last)) {
        low = unsettime;
        high = -unsettime;
        return;
    }
    low = cachestart + double(first) * hop() / samplerate;
    high = cachestart + double(last) * hop() / samplerate;
}

namespace {

// Splits frames [first, last] of every channel into two jobs and runs them.
// Forward jobs take disjoint frames; inverse jobs share their middle frame,
// since each adds only the right half of its first frame and the left half of
// its last.
void runpass(const TransformJob& pattern, float* const* time, float* const* spectrum, int c0, int c1)
{
    const int first = pattern.firstframe, last = pattern.lastframe;
    const int mid = first + (last - first) / 2;
    std::vector<TransformJob> jobs;
    for (int c = c0; c <= c1; ++c) {
        TransformJob a = pattern;
        a.timedata = time[c];
        a.spectrumdata = spectrum[c];
        TransformJob b = a;
        a.lastframe = mid;
        b.firstframe = pattern.inverse ? mid : mid + 1;
        jobs.push_back(a);
        jobs.push_back(b);
    }
    runtransformjobs(jobs);
}

} // namespace

void Buffer::forwardpass(float* const* time, int lowbin, int highbin, double t, double dt, int channel,
                         bool accumulate)
{
    int firstframe, lastframe, c0, c1;
    if (!passframes(t, dt, firstframe, lastframe) || !channelrange(channel, c0, c1))
        return;
    TransformJob job = transformjob(false, nullptr, nullptr, analysiswindow, fftsize, overlap, firstframe, lastframe,
                                    lowbin, highbin);
    job.accumulate = accumulate;
    runpass(job, time, spectrum, c0, c1);
}

// Rewrites the samples [firstframe x hop, lastframe x hop) of `time` for the
// chosen channels: by the inverse transform of the band when `transform` is
// set, otherwise by a plain copy from `copyfrom`.
void Buffer::inversepass(float* const* time, float* const* copyfrom, bool transform, int lowbin,
                         int highbin, double t, double dt, int channel)
{
    int firstframe, lastframe, c0, c1;
    if (!passframes(t, dt, firstframe, lastframe) || !channelrange(channel, c0, c1))
        return;
    const qint64 start = qint64(firstframe) * hop();
    const qint64 count = qint64(lastframe - firstframe) * hop();
    if (!transform) {
        for (int c = c0; c <= c1; ++c)
            std::memmove(time[c] + start, copyfrom[c] + start, sizeof(float) * size_t(count));
        return;
    }
    for (int c = c0; c <= c1; ++c)
        std::memset(time[c] + start, 0, sizeof(float) * size_t(count));
    runpass(transformjob(true, nullptr, nullptr, synthesiswindow, fftsize, overlap, firstframe, lastframe, lowbin,
                         highbin),
            time, spectrum, c0, c1);
}

void Buffer::analyze(double t, double dt, int channel)
{
    const std::lock_guard lock(guard);
    forwardpass(timebufferA, 0, fftsize / 2, t, dt, channel);
}

void Buffer::analyzeselection(double t, double dt, int channel)
{
    const std::lock_guard lock(guard);
    int lowbin, highbin;
    selectionband(lowbin, highbin);
    forwardpass(timebufferB, lowbin, highbin, t, dt, channel);
}

void Buffer::resynthesize(double t, double dt, int channel)
{
    const std::lock_guard lock(guard);
    int c0, c1;
    if (!channelrange(channel, c0, c1))
        return;
    bool transform = hasselection();
    for (int c = c0; c <= c1; ++c)
        transform = transform || !dirtyframes[c].empty();
    inversepass(timebufferA, timebufferB, transform, 0, fftsize / 2, t, dt, channel);
}

void Buffer::resynthesizeselection(double t, double dt, int channel)
{
    const std::lock_guard lock(guard);
    int lowbin, highbin;
    selectionband(lowbin, highbin);
    inversepass(timebufferB, timebufferA, hasselection(), lowbin, highbin, t, dt, channel);
}
