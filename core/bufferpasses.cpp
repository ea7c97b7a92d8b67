// The four passes between the time buffers and the frames of a Buffer. Each
// pass splits the frames of every channel between two workers that run at once
// and are joined before the pass returns.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "buffer.h"
#include "globals.h"
#include "lanefft.h"
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
    const double windowframes = this->windowframes();
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

namespace {

// Splits frames [first, last] of every channel into two jobs and runs them.
// Forward jobs take disjoint frames; inverse jobs share their middle frame,
// since each adds only the right half of its first frame and the left half of
// its last. A batch of the lane transform costs all its lanes however few
// frames fill it, so the first job takes whole batches and a pass of one
// batch is not split.
void runpass(const TransformJob& pattern, float* const* time, float* const* spectrum, int c0, int c1)
{
    constexpr int lanes = lanefft::lanes;
    const int first = pattern.firstframe, last = pattern.lastframe;
    const int count = last - first + 1;
    const bool split = count > lanes;
    const int mid = first + (count / 2 + lanes - 1) / lanes * lanes - 1;
    std::vector<TransformJob> jobs;
    for (int c = c0; c <= c1; ++c) {
        TransformJob a = pattern;
        a.timedata = time[c];
        a.spectrumdata = spectrum[c];
        if (!split) {
            jobs.push_back(a);
            continue;
        }
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

// Frames [first, last] of the window, analysed from timebufferA of one
// channel into `frames` (frame first at its start), the array left alone.
void Buffer::analyzeinto(int channel, int first, int last, float* frames)
{
    float* time[maxchannels] = {};
    float* into[maxchannels] = {};
    time[channel] = timebufferA[channel];
    into[channel] = frames;
    TransformJob job = transformjob(false, nullptr, nullptr, analysiswindow, fftsize, overlap, first, last, 0,
                                    fftsize / 2);
    job.spectrumoffset = first;
    runpass(job, time, into, channel, channel);
}

// What the edited bins of one channel changed since the last write-back is
// synthesised on its own and added to timebufferA (and with `band` to
// timebufferB): samples beyond its reach keep their bits, and an edit and its
// inverse add changes that cancel exactly. The pairs it changed now carry an
// edit. Widens [low, high) by the window samples it rewrote and
// [framelow, framehigh] by the absolute frames it made louder. The frames go
// through in parts of bounded size.
void Buffer::synthesizechange(int channel, bool band, qint64& low, qint64& high, int& framelow, int& framehigh)
{
    auto& edited = before[channel];
    if (edited.empty())
        return;
    std::vector<std::pair<int, const float*>> frames; // window frame, its bins before
    frames.reserve(edited.size());
    for (const auto& e : edited)
        frames.push_back({e.first - cachestartframe, e.second.get()});
    std::sort(frames.begin(), frames.end());
    const int n = fftsize, pw = pairwords(), h = hop();
    const int windowframes = this->windowframes();
    const int part = std::max(8, int(scratchlimit / n));
    std::vector<char> changed(size_t(windowframes), 0);
    std::vector<std::pair<int, int>> spans; // first and last changed frame of each part
    for (size_t from = 0; from < frames.size();) {
        size_t to = from;
        while (to < frames.size() && frames[to].first - frames[from].first < part)
            ++to;
        // A silent frame on each side, so that every edited frame adds both halves.
        const int first = frames[from].first - 1;
        const int last = frames[to - 1].first + 1;
        int t0 = std::numeric_limits<int>::max(), t1 = std::numeric_limits<int>::min();
        std::vector<float>& change = scratchframes;
        change.assign(size_t(last - first + 1) * size_t(n), 0.0f);
        for (size_t k = from; k < to; ++k) {
            const int f = frames[k].first;
            const float* old = frames[k].second;
            const float* now = spectrum[channel] + qint64(f) * n;
            float* d = change.data() + qint64(f - first) * n;
            quint64* bits = statebits[channel] + qint64(f) * pw;
            bool any = false;
            double gained = 0; // energy the changed pairs gained
            for (int p = 0; p < n / 2; ++p)
                if (now[2 * p] != old[2 * p] || now[2 * p + 1] != old[2 * p + 1]) {
                    d[2 * p] = now[2 * p] - old[2 * p];
                    d[2 * p + 1] = now[2 * p + 1] - old[2 * p + 1];
                    bits[p >> 6] |= quint64(1) << (p & 63);
                    any = true;
                    gained += double(now[2 * p]) * now[2 * p] + double(now[2 * p + 1]) * now[2 * p + 1]
                              - double(old[2 * p]) * old[2 * p] - double(old[2 * p + 1]) * old[2 * p + 1];
                }
            if (any) {
                changed[size_t(f)] = 1;
                framestate[channel][f] |= carriesedit | changedsincekept;
                t0 = std::min(t0, f);
                t1 = std::max(t1, f);
            }
            // Only frames that gained sound give the layer time: erasing
            // where it has nothing adds nothing.
            if (gained > 0) {
                framelow = std::min(framelow, f + cachestartframe);
                framehigh = std::max(framehigh, f + cachestartframe);
            }
        }
        from = to;
        if (t0 > t1)
            continue; // every bin was written back as it was

        // Each frame's contribution to a sample comes separately, right halves
        // and left halves, and is added to it exactly (what the float sample
        // cannot take stays in `e`): a sample's value is its exact sum rounded
        // once, whatever parts the edits were written back in, so an inverse
        // written back in other parts still cancels an edit to the bit.
        const qint64 s0 = qint64(t0 - 1) * h, s1 = qint64(t1 + 1) * h;
        righthalves.assign(size_t(s1 - s0), 0.0f);
        lefthalves.assign(size_t(s1 - s0), 0.0f);
        float* time[maxchannels] = {};
        float* into[maxchannels] = {};
        time[channel] = righthalves.data() - s0;
        into[channel] = change.data();
        TransformJob job = transformjob(true, nullptr, nullptr, synthesiswindow, n, overlap, t0 - 1, t1 + 1, 0, n / 2);
        job.spectrumoffset = first;
        job.lefthalves = lefthalves.data() - s0;
        runpass(job, time, into, channel, channel);

        float* e = framechange[channel];
        float* a = timebufferA[channel];
        float* b = timebufferB[channel];
        const float* right = righthalves.data() - s0;
        const float* left = lefthalves.data() - s0;
        // x + v as y plus what it rounded off, added to the carry.
        const auto add = [](float& x, float& carry, float v) {
            const float y = x + v;
            const float w = y - x;
            carry += (x - (y - w)) + (v - w);
            x = y;
        };
        for (qint64 i = s0; i < s1; ++i) {
            float x = a[i];
            float carry = e[i];
            add(x, carry, right[i]);
            add(x, carry, left[i]);
            // The carry joins the sample once, its remainder stays.
            const float y = x + carry;
            const float w = y - x;
            e[i] = (x - (y - w)) + (carry - w);
            a[i] = y;
            if (band)
                b[i] += right[i] + left[i];
        }
        // A hop between two silent frames is silence, to the bit: a cut or a
        // delete leaves no rounding of what was there.
        auto silent = [&](int f) {
            if (f < 0 || f >= windowframes)
                return false;
            const float* p = spectrum[channel] + qint64(f) * n;
            return std::all_of(p, p + n, [](float v) { return v == 0; });
        };
        for (int f = t0 - 1; f <= t1; ++f)
            if (silent(f) && silent(f + 1)) {
                const qint64 at = qint64(f) * h, end = at + h;
                std::fill(a + at, a + end, 0.0f);
                std::fill(e + at, e + end, 0.0f);
                if (band)
                    std::fill(b + at, b + end, 0.0f);
            }
        low = std::min(low, s0);
        high = std::max(high, s1);
        markchanged(channel, s0, s1);
        spans.push_back({t0, t1});
    }
    forgetedits(channel);

    // The frames around whose analysis a change reaches (half a transform
    // length either way) keep the bins they have: their state is not what the
    // edit made of their neighbours, and a later part of the same edit must
    // find them as they were.
    for (const auto& [t0, t1] : spans)
        for (int f = std::max(t0 - overlap / 2, 0); f <= std::min(t1 + overlap / 2, windowframes - 1); ++f)
            if (!changed[size_t(f)]) {
                quint64* bits = statebits[channel] + qint64(f) * pw;
                std::fill(bits, bits + pw, ~quint64(0));
                framestate[channel][f] |= carriesedit | changedsincekept;
            }
}
