// Where the cache window of a Buffer sits on its layer, how it moves, how edits
// go back to the layer, and the sample and bin accessors.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "buffer.h"
#include "globals.h"
#include "log.h"
#include "rounding.h"

bool Buffer::reachable(qint64 sample) const
{
    return sample > -reachlimit && sample < reachlimit;
}

// After a relocation the index sits in the middle of the window. The valid
// ranges keep a whole transform length from both ends, which for the largest
// size leaves a single index; the data of the window itself is good wider, so
// the accessors only make sure that the index lies in the arrays.
bool Buffer::inwindowsamples(int sample) const
{
    const qint64 i = qint64(sample) - cachestartsample;
    return cachestart != unsettime && i >= 0 && i < cachesamples;
}

bool Buffer::inwindowframes(int frame) const
{
    const qint64 i = qint64(frame) - cachestartframe;
    return cachestart != unsettime && haswindow() && i >= 0 && i < cachesamples / hop();
}

void Buffer::bindlayer(layer* l)
{
    const std::lock_guard lock(guard);
    writeback();
    boundlayer = nullptr;
    forgetcache();
    writewithoutlayer = false;
    readwithoutlayer = false;
    samplerate = 0;
    channels = 0;
    cachelength = 0;
    if (!l) {
        freestorage();
        return;
    }
    if (l->channels < 1 || l->channels > maxchannels || l->samplerate <= 0) {
        logerror(QStringLiteral("Buffer: layer \"%1\" with %2 channels at %3 Hz cannot be bound "
                                "(1 to %4 channels)")
                     .arg(l->name)
                     .arg(l->channels)
                     .arg(l->samplerate)
                     .arg(maxchannels));
        return;
    }
    boundlayer = l;
    samplerate = l->samplerate;
    channels = l->channels;
    cachelength = double(cachesamples) / samplerate;
    if (!ensurestorage()) {
        logerror(QStringLiteral("Buffer: no memory for the %1 channels of layer \"%2\"")
                     .arg(l->channels)
                     .arg(l->name));
        boundlayer = nullptr;
        samplerate = channels = 0;
        cachelength = 0;
        return;
    }
    updateselectionranges();
}

void Buffer::inselection(QRectF s)
{
    const std::lock_guard lock(guard);
    // Pending sample edits live in the band signal that is about to be rebuilt.
    writeback();
    selection = s;
    updateselectionranges();
    resynthesizeselection(cachestart, cachelength, -1);
}

void Buffer::flush()
{
    const std::lock_guard lock(guard);
    writeback();
}

void Buffer::reload()
{
    const std::lock_guard lock(guard);
    writeback();
    forgetcache();
}

// Frame edits and sample edits of one channel could undo each other when their
// passes overlap; the accessors write back the pending kind first when this
// says they would.
bool Buffer::clash(IntRange samples, IntRange frames) const
{
    if (samples.empty() || frames.empty() || !haswindow())
        return false;
    const int h = hop();
    const qint64 low = qint64(std::floor(double(samples.low) / h)) - 3;
    const qint64 high = qint64(std::ceil(double(samples.high) / h)) + 3;
    return low <= frames.high && frames.low <= high;
}

void Buffer::writeback()
{
    const std::lock_guard lock(guard);
    if (cachestart == unsettime || channels < 1 || !haswindow())
        return;
    const double h = hop();
    double framelow = unsettime, framehigh = -unsettime;
    double samplelow = unsettime, samplehigh = -unsettime;
    // Runs the passes of one dirty range (indices in units of `unit` samples),
    // empties it and widens [low, high) by what the passes rewrote.
    auto commit = [&](IntRange& range, double unit, double& low, double& high, auto passes) {
        if (range.empty())
            return;
        const double t = range.low * unit / samplerate;
        const double dt = (double(range.high) - range.low) * unit / samplerate;
        passes(t, dt);
        double a, b;
        passspan(t, dt, a, b);
        for (auto [from, to] : {std::pair(t, t + dt), std::pair(a, b)})
            if (from < to) {
                low = std::min(low, from);
                high = std::max(high, to);
            }
        range = IntRange::none();
    };
    int first, last;
    for (int c = 0; c < channels; ++c) {
        // Frame edits: the full band into timebufferA, the selected band into
        // B; the edited frames and their neighbours are kept as they are.
        const IntRange frames = dirtyframes[c];
        commit(dirtyframes[c], h, framelow, framehigh, [&](double t, double dt) {
            resynthesize(t, dt, c);
            resynthesizeselection(t, dt, c);
        });
        if (!frames.empty())
            keepframes(c, frames.low - cachestartframe, frames.high - cachestartframe, true);
        // Sample edits: what they changed of the band signal, analysed into
        // the selected bins, then A from the frames.
        const IntRange samples = dirtysamples[c];
        commit(dirtysamples[c], 1.0, samplelow, samplehigh, [&](double t, double dt) {
            int lowbin, highbin;
            selectionband(lowbin, highbin);
            forwardpass(sampledelta, lowbin, highbin, t, dt, c, true);
            resynthesize(t, dt, c);
            // Band-limited, the frames are no longer the analysis of the
            // signal: they are kept like edited ones. Full band they are, and
            // only the kept ones among them need the new values.
            if (passframes(t, dt, first, last))
                keepframes(c, first, last, hasselection());
        });
        if (!samples.empty()) {
            const qint64 low = std::max<qint64>(qint64(samples.low) - cachestartsample, -margin);
            const qint64 high = std::min<qint64>(qint64(samples.high) - cachestartsample, cachesamples + margin - 1);
            if (low <= high)
                std::memset(sampledelta[c] + low, 0, sizeof(float) * size_t(high - low + 1));
        }
    }
    writespan(framelow, framehigh);
    writespan(samplelow, samplehigh);
}

// Sends timebufferA of every channel over the layer time span [low, high) to
// the layer as one interleaved block.
void Buffer::writespan(double low, double high)
{
    if (!(low < high))
        return;
    qint64 s0 = roundhalfup64((low - cachestart) * samplerate);
    qint64 s1 = s0 + roundhalfup64((high - low) * samplerate);
    s0 = std::max<qint64>(s0, -margin);
    s1 = std::min<qint64>(s1, cachesamples + margin);
    if (s1 <= s0 || !boundlayer)
        return;
    const qint64 n = s1 - s0;
    std::vector<float> block(size_t(n * channels));
    for (int c = 0; c < channels; ++c) {
        const float* src = timebufferA[c] + s0;
        for (qint64 i = 0; i < n; ++i)
            block[size_t(i * channels + c)] = src[i];
    }
    boundlayer->write(block.data(), double(cachestartsample + s0) / samplerate, double(n) / samplerate);
}

void Buffer::movecache(double time)
{
    const std::lock_guard lock(guard);
    writeback();
    if (!haswindow() || samplerate <= 0 || channels < 1 || channels > allocatedchannels
        || spectrumcapacity < qint64(cachesamples) * overlap)
        return;
    if (!std::isfinite(time) || !reachable(qint64(std::clamp(time * samplerate, -4e18, 4e18))))
        return;
    const int h = hop();
    const double sr = samplerate;
    const double snapped = h * std::floor(time * sr / h + 0.5) / sr;
    if (cachestart == unsettime)
        cachestart = snapped + cachelength + 65536.0 / sr;
    const double d = h * std::floor((snapped - cachestart) * sr / h + 0.5) / sr;
    if (d == 0)
        return;
    const double start = cachestart + d;
    const qint64 s = roundhalfup64(std::fabs(d) * sr);
    const qint64 f = roundhalfup64(std::fabs(d) * sr / h);
    const qint64 windowframes = cachesamples / h;
    const qint64 keep = std::max<qint64>(timesize - s, 0);
    const qint64 shift = std::min<qint64>(s, timesize);
    const qint64 keepframes = std::max<qint64>(windowframes - f, 0);
    const qint64 shiftframes = std::min<qint64>(f, windowframes);
    const size_t framefloats = size_t(fftsize);
    const qint64 n = shift; // samples to read, the whole array at most
    const qint64 startsample = roundhalfup64(start * sr);
    std::vector<float> block(size_t(n * channels));
    qint64 firstread; // array index (from -margin) of the first sample read
    if (d < 0) {
        for (int c = 0; c < channels; ++c) {
            std::memmove(timeblockA[c] + shift, timeblockA[c], sizeof(float) * size_t(keep));
            std::memmove(timeblockB[c] + shift, timeblockB[c], sizeof(float) * size_t(keep));
            std::memmove(spectrum[c] + shiftframes * framefloats, spectrum[c],
                         sizeof(float) * size_t(keepframes) * framefloats);
        }
        firstread = 0;
    } else {
        for (int c = 0; c < channels; ++c) {
            std::memmove(timeblockA[c], timeblockA[c] + shift, sizeof(float) * size_t(keep));
            std::memmove(timeblockB[c], timeblockB[c] + shift, sizeof(float) * size_t(keep));
            std::memmove(spectrum[c], spectrum[c] + shiftframes * framefloats,
                         sizeof(float) * size_t(keepframes) * framefloats);
        }
        firstread = timesize - n;
    }
    if (n > 0) {
        if (boundlayer)
            boundlayer->read(block.data(), double(startsample - margin + firstread) / sr, double(n) / sr,
                             -1, false);
        for (int c = 0; c < channels; ++c) {
            float* dst = timeblockA[c] + firstread;
            for (qint64 i = 0; i < n; ++i)
                dst[i] = block[size_t(i * channels + c)];
        }
    }

    cachestart = start;
    cachestartsample = int(startsample);
    cachestartframe = roundhalfup(start * sr / h);
    setvalidranges();

    const double a = std::min(std::fabs(d), cachelength);
    const double from = d < 0 ? start : start + cachelength - a;
    analyze(from, a, -1);
    int first, last;
    if (passframes(from, a, first, last))
        restorekept(first, last);
    resynthesizeselection(from, a, -1);
}

// The indices the accessors reach without moving the window: a whole
// transform length from both ends, as long as that leaves room; for the
// longest transforms a quarter of the window. A sample edit's write-back
// analyses the frames up to one hop beyond the frames around it and a frame
// edit's resynthesises its neighbours with one more, so the ranges also keep
// those inside the window.
void Buffer::setvalidranges()
{
    const int h = hop();
    const int windowframes = cachesamples / h;
    const int reach = std::min(fftsize, cachesamples / 4);
    int low = std::max(reach, h / 2 + 1);
    int high = std::min(cachesamples - reach, windowframes * h - h - h / 2 - 2);
    if (low > high)
        low = high = cachesamples / 2;
    cachedsamples = {cachestartsample + low, cachestartsample + high};
    const int edge = std::clamp(overlap, 1, windowframes / 4);
    cachedframes = {cachestartframe + edge, cachestartframe + windowframes - std::max(edge, 2)};
}

void Buffer::keepframes(int channel, int firstframe, int lastframe, bool add)
{
    const int windowframes = cachesamples / hop();
    firstframe = std::max(firstframe, 0);
    lastframe = std::min(lastframe, windowframes - 1);
    auto& frames = kept[channel];
    for (int f = firstframe; f <= lastframe; ++f) {
        const float* from = spectrum[channel] + qint64(f) * fftsize;
        auto it = frames.find(cachestartframe + f);
        if (it != frames.end()) {
            std::memcpy(it->second.get(), from, sizeof(float) * size_t(fftsize));
            continue;
        }
        if (!add)
            continue;
        if (keptcount + fftsize > keptlimit) {
            if (!keptwarned)
                logerror(QStringLiteral("Buffer: more than %1 MB of edited frames; frames edited from now on "
                                        "are analysed again when the cache comes back to them")
                             .arg(keptlimit * qint64(sizeof(float)) >> 20));
            keptwarned = true;
            return;
        }
        std::unique_ptr<float[]> copy(new (std::nothrow) float[size_t(fftsize)]);
        if (!copy)
            return;
        std::memcpy(copy.get(), from, sizeof(float) * size_t(fftsize));
        frames.emplace(cachestartframe + f, std::move(copy));
        keptcount += fftsize;
    }
}

// Frames [firstframe, lastframe] of the window were just analysed: the kept
// ones among them take their kept bins back.
void Buffer::restorekept(int firstframe, int lastframe)
{
    for (int c = 0; c < channels && c < allocatedchannels; ++c) {
        const auto& frames = kept[c];
        if (frames.empty())
            continue;
        for (int f = firstframe; f <= lastframe; ++f) {
            auto it = frames.find(cachestartframe + f);
            if (it != frames.end())
                std::memcpy(spectrum[c] + qint64(f) * fftsize, it->second.get(), sizeof(float) * size_t(fftsize));
        }
    }
}

void Buffer::setbin(int channel, int frame, int bin, float re, float im)
{
    const std::lock_guard lock(guard);
    if (!boundlayer) {
        writewithoutlayer = true;
        return;
    }
    const int half = fftsize / 2;
    if (channel < 0 || channel >= channels || !haswindow() || bin < 0 || bin > half)
        return;
    if (frame < selectionframes.low || frame > selectionframes.high || bin < selectionbins.low
        || bin > selectionbins.high || !reachable(qint64(frame) * hop()))
        return;
    const IntRange edit = {frame - 1, frame + 1};
    if (clash(dirtysamples[channel], edit))
        writeback();
    if (frame < cachedframes.low || frame > cachedframes.high) {
        movecache(double(frame) * hop() / samplerate - cachelength / 2);
        if (!inwindowframes(frame))
            return;
    }
    IntRange& dirty = dirtyframes[channel];
    dirty = {std::min(dirty.low, edit.low), std::max(dirty.high, edit.high)};
    float* p = spectrum[channel] + qint64(frame - cachestartframe) * fftsize;
    if (bin == 0) {
        p[0] = re;
    } else if (bin == half) {
        p[1] = im;
    } else {
        p[2 * bin] = re;
        p[2 * bin + 1] = im;
    }
}

QVector2D Buffer::getbin(int channel, int frame, int bin)
{
    const std::lock_guard lock(guard);
    if (!boundlayer) {
        readwithoutlayer = true;
        return {0, 0};
    }
    const int half = fftsize / 2;
    if (channel < 0 || channel >= channels || !haswindow() || bin < 0 || bin > half)
        return {0, 0};
    if (frame < selectionframes.low || frame > selectionframes.high || bin < selectionbins.low
        || bin > selectionbins.high || !reachable(qint64(frame) * hop()))
        return {0, 0};
    if (frame < cachedframes.low || frame > cachedframes.high) {
        movecache(double(frame) * hop() / samplerate - cachelength / 2);
        if (!inwindowframes(frame))
            return {0, 0};
    }
    const float* p = spectrum[channel] + qint64(frame - cachestartframe) * fftsize;
    if (bin == 0)
        return {p[0], 0};
    if (bin == half)
        return {0, p[1]};
    return {p[2 * bin], p[2 * bin + 1]};
}

void Buffer::setsample(int channel, int sample, float value)
{
    const std::lock_guard lock(guard);
    if (!boundlayer) {
        writewithoutlayer = true;
        return;
    }
    if (channel < 0 || channel >= channels || !haswindow())
        return;
    if (sample < selectionsamples.low || sample > selectionsamples.high || !reachable(sample))
        return;
    const IntRange edit = {sample - 1, sample + 1};
    if (clash(edit, dirtyframes[channel]))
        writeback();
    if (sample < cachedsamples.low || sample > cachedsamples.high) {
        movecache(double(sample) / samplerate - cachelength / 2);
        if (!inwindowsamples(sample))
            return;
    }
    IntRange& dirty = dirtysamples[channel];
    dirty = {std::min(dirty.low, edit.low), std::max(dirty.high, edit.high)};
    float& current = timebufferB[channel][sample - cachestartsample];
    sampledelta[channel][sample - cachestartsample] += value - current;
    current = value;
}

float Buffer::getsample(int channel, int sample)
{
    const std::lock_guard lock(guard);
    if (!boundlayer) {
        readwithoutlayer = true;
        return 0;
    }
    if (channel < 0 || channel >= channels || !haswindow())
        return 0;
    if (sample < selectionsamples.low || sample > selectionsamples.high || !reachable(sample))
        return 0;
    if (sample < cachedsamples.low || sample > cachedsamples.high) {
        movecache(double(sample) / samplerate - cachelength / 2);
        if (!inwindowsamples(sample))
            return 0;
    }
    return timebufferB[channel][sample - cachestartsample];
}
