// The four passes between the time buffers and the frames of a Buffer. Each
// pass splits the frames of every channel between two workers that run at once
// and are joined before the pass returns.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
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

// Starts the two workers of every channel, all at once, and joins them in
// start order (each destructor waits for its worker).
template <typename Worker, typename Make>
void runworkers(int c0, int c1, Make make)
{
    std::vector<std::unique_ptr<Worker>> workers;
    for (int c = c0; c <= c1; ++c)
        for (int half = 0; half < 2; ++half) {
            workers.push_back(make(c, half));
            workers.back()->start(QThread::InheritPriority);
        }
    workers.clear();
}

} // namespace

void Buffer::forwardpass(float* const* time, int lowbin, int highbin, double t, double dt, int channel)
{
    int firstframe, lastframe, c0, c1;
    if (!passframes(t, dt, firstframe, lastframe) || !channelrange(channel, c0, c1))
        return;
    const int mid = firstframe + (lastframe - firstframe) / 2;
    runworkers<threadR2C>(c0, c1, [&](int c, int half) {
        return std::make_unique<threadR2C>(time[c], spectrum[c], analysiswindow, fftsize, overlap,
                                           half ? mid + 1 : firstframe, half ? lastframe : mid, lowbin,
                                           highbin, plan(false, 2 * c + half));
    });
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
    // The middle frame is shared: each worker adds only half of its boundary
    // frames, so the two sample spans meet without overlap.
    const int mid = firstframe + (lastframe - firstframe) / 2;
    runworkers<threadC2R>(c0, c1, [&](int c, int half) {
        return std::make_unique<threadC2R>(time[c], spectrum[c], synthesiswindow, fftsize, overlap,
                                           half ? mid : firstframe, half ? lastframe : mid, lowbin,
                                           highbin, plan(true, 2 * c + half));
    });
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
