// Where the cache window of a Buffer sits on its layer, how it moves, how edits
// go back to the layer, and the sample and bin accessors.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "buffer.h"
#include "keptframes.h"
#include "globals.h"
#include "log.h"
#include "sdk/rounding.h"

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
    forgetcache(); // what edits left goes to the layer being left
    boundlayer = nullptr;
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
    notebase();
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

void Buffer::notebase()
{
    baseempty = !boundlayer || !(boundlayer->length > 0) || samplerate <= 0;
    basestart = baseempty ? 0 : roundhalfup64(boundlayer->start * samplerate);
    baseend = baseempty ? 0 : basestart + roundhalfup64(boundlayer->length * samplerate);
}

void Buffer::limitgrowth(double start, double end)
{
    const std::lock_guard lock(guard);
    if (start <= end)
        notebase(); // a transfer begins

    growthlimited = start <= end && samplerate > 0;
    growthfrom = growthlimited ? roundhalfup64(start * samplerate) : 0;
    growthto = growthlimited ? roundhalfup64(end * samplerate) : 0;
}

void Buffer::boundgrowth(double start, double end)
{
    const std::lock_guard lock(guard);
    outerbounded = start <= end && samplerate > 0;
    outerfrom = outerbounded ? roundhalfup64(start * samplerate) : 0;
    outerto = outerbounded ? roundhalfup64(end * samplerate) : 0;
}

void Buffer::clearlayer()
{
    const std::lock_guard lock(guard);
    if (!boundlayer)
        return;
    boundlayer->clear();
    if (boundlayer->keptframes)
        boundlayer->keptframes->clear();
    forgetcache(false);
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
    // Window samples rewritten, and how far the edits themselves reached:
    // absolute frames edited and samples set.
    qint64 low = std::numeric_limits<qint64>::max(), high = std::numeric_limits<qint64>::min();
    int framelow = std::numeric_limits<int>::max(), framehigh = std::numeric_limits<int>::min();
    qint64 samplelow = std::numeric_limits<qint64>::max(), samplehigh = std::numeric_limits<qint64>::min();
    for (int c = 0; c < channels && c < allocatedchannels; ++c) {
        synthesizechange(c, true, low, high, framelow, framehigh);
        dirtyframes[c] = IntRange::none();

        const IntRange samples = dirtysamples[c];
        if (samples.empty())
            continue;
        dirtysamples[c] = IntRange::none();
        samplelow = std::min<qint64>(samplelow, qint64(samples.low) + 1);
        samplehigh = std::max<qint64>(samplehigh, qint64(samples.high) - 1);
        const double t = double(samples.low) / samplerate;
        const double dt = (double(samples.high) - samples.low) / samplerate;
        const qint64 a = std::max<qint64>(qint64(samples.low) - cachestartsample, -margin);
        const qint64 b = std::min<qint64>(qint64(samples.high) - cachestartsample, cachesamples + margin - 1);
        int first, last;
        if (hasselection()) {
            // The band signal holds the samples as set; what they changed of
            // it goes into the selected bins, and the synthesis of that into A.
            int lowbin, highbin;
            selectionband(lowbin, highbin);
            if (passframes(t, dt, first, last))
                for (int f = first; f <= last; ++f)
                    snapshot(c, cachestartframe + f);
            forwardpass(sampledelta, lowbin, highbin, t, dt, c, true);
            int unused0 = framelow, unused1 = framehigh; // the samples set are its reach
            synthesizechange(c, false, low, high, unused0, unused1);
        } else if (a <= b) {
            // Full band: A takes the samples as set, and the frames the
            // analysis of what they changed, so they stay that of the signal.
            forwardpass(sampledelta, 0, fftsize / 2, t, dt, c, true);
            std::memcpy(timebufferA[c] + a, timebufferB[c] + a, sizeof(float) * size_t(b - a + 1));
            std::memset(framechange[c] + a, 0, sizeof(float) * size_t(b - a + 1));
            low = std::min(low, a);
            high = std::max(high, b + 1);
            markchanged(c, a, b + 1);
        }
        if (a <= b)
            std::memset(sampledelta[c] + a, 0, sizeof(float) * size_t(b - a + 1));
    }
    writechanged(low, high, framelow, framehigh, samplelow, samplehigh);
}

// Sends timebufferA of every channel over the window samples [low, high) to
// the layer as one interleaved block. An edit lengthens the layer only as far
// as it reached itself: frames edited wholly outside the layer give it their
// hop, samples set outside it themselves; what the
// synthesis spreads beyond that is not written, and the time buffers drop it
// too, as the layer has nothing there. A layer that mixes children keeps
// the whole span, as its own extent is not what it reads.
void Buffer::writechanged(qint64 low, qint64 high, int framelow, int framehigh, qint64 samplelow,
                          qint64 samplehigh)
{
    low = std::max<qint64>(low, -margin);
    high = std::min<qint64>(high, cachesamples + margin);
    if (!(low < high) || !boundlayer)
        return;
    qint64 from = low, to = high;
    if (boundlayer->childcount == 0) {
        // Far beyond any index a window reaches, and safe to subtract from.
        constexpr qint64 far = qint64(1) << 60;
        qint64 start = far, end = -far;
        const bool empty = !(boundlayer->length > 0);
        if (!empty) {
            start = roundhalfup64(boundlayer->start * samplerate);
            end = start + roundhalfup64(boundlayer->length * samplerate);
        }
        const qint64 layerstart = start, layerend = end;
        // Frames whose nearest samples all lie outside the extent the layer
        // had when this edit began give it the whole span their synthesis
        // writes: a layer filled in parts (the window moving on between
        // write-backs) grows by the same samples as one filled at once.
        // While bound (boundgrowth), bins give no time beyond the bound:
        // they came from the layers that end there. Samples set are drawn
        // by the caller and give their own.
        const qint64 h = hop();
        if (framelow <= framehigh) {
            if (baseempty || framelow * h + h / 2 <= basestart)
                start = std::min(start, std::max((framelow - qint64(1)) * h, outerbounded ? outerfrom : -far));
            if (baseempty || framehigh * h - h / 2 >= baseend)
                end = std::max(end, std::min((framehigh + qint64(1)) * h, outerbounded ? outerto : far));
        }
        if (samplelow <= samplehigh) {
            if (empty || samplelow < start)
                start = std::min(start, samplelow);
            if (empty || samplehigh >= end)
                end = std::max(end, samplehigh + 1);
        }
        if (growthlimited) {
            const bool some = growthfrom < growthto;
            start = std::max(start, some ? std::min(layerstart, growthfrom) : layerstart);
            end = std::min(end, some ? std::max(layerend, growthto) : layerend);
        }

        from = std::clamp(start - cachestartsample, low, high);
        to = std::clamp(end - cachestartsample, from, high);
        for (int c = 0; c < channels; ++c)
            for (float* t : {timebufferA[c], timebufferB[c], framechange[c]}) {
                std::fill(t + low, t + from, 0.0f);
                std::fill(t + to, t + high, 0.0f);
            }
    }
    if (from >= to)
        return;
    const qint64 n = to - from;
    std::vector<float>& block = scratchblock;
    block.resize(size_t(n * channels));
    for (int c = 0; c < channels; ++c) {
        const float* src = timebufferA[c] + from;
        for (qint64 i = 0; i < n; ++i)
            block[size_t(i * channels + c)] = src[i];
    }
    boundlayer->write(block.data(), double(cachestartsample + from) / samplerate, double(n) / samplerate);
}

// Frames that carry an edit and whose own synthesis span meets the window
// samples [low, high) have to be kept again before they leave.
void Buffer::markchanged(int channel, qint64 low, qint64 high)
{
    const int h = hop();
    const int windowframes = cachesamples / h;
    const auto floordiv = [](qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const qint64 first = std::max<qint64>(floordiv(low, h), 0);
    const qint64 last = std::min<qint64>(-floordiv(-high, h), windowframes - 1);
    for (qint64 f = first; f <= last; ++f)
        if (framestate[channel][f] & carriesedit)
            framestate[channel][f] |= changedsincekept;
}

quint64 Buffer::centralhash(int channel, int frame) const
{
    const int h = hop();
    const float* central = timebufferA[channel] + qint64(frame - 1) * h;
    bool silent = true;
    for (int i = 0; i < 2 * h && silent; ++i)
        silent = central[i] == 0.0f;
    // Silence is what any layer reads where it has nothing: a frame over it
    // is never kept, and none comes back there.
    if (silent)
        return 0;
    const quint64 hash = KeptFrames::hashsamples(central, 2 * h);
    return hash ? hash : 1;
}

// Keeps, for the bound layer, what edits left in window frames [first, last]
// that changed since they were last kept or came back: the pairs an edit set,
// where they differ from the analysis of the samples the window holds (the
// samples those bins gave), under the hash of their synthesis span. Frames
// with edits not yet written back are left: their samples are not those.
void Buffer::keepframes(int first, int last)
{
    if (!boundlayer || !haswindow() || cachestart == unsettime)
        return;
    const int n = fftsize;
    const int pw = pairwords();
    first = std::max(first, 0);
    last = std::min(last, cachesamples / hop() - 1);
    for (int c = 0; c < channels && c < allocatedchannels; ++c) {
        std::vector<int> frames;
        for (int f = first; f <= last; ++f)
            if ((framestate[c][f] & changedsincekept) && !before[c].count(cachestartframe + f))
                frames.push_back(f);
        for (int f = first; f <= last; ++f)
            framestate[c][f] &= quint8(~changedsincekept);
        if (frames.empty())
            continue;
        const int lo = frames.front(), hi = frames.back();
        std::vector<float>& analysed = scratchframes;
        analysed.resize(size_t(hi - lo + 1) * size_t(n));
        analyzeinto(c, lo, hi, analysed.data());
        std::vector<KeptFrames::Frame> keep;
        for (size_t k = 0; k < frames.size(); ++k) {
            const int f = frames[k];
            const quint64 hash = centralhash(c, f);
            if (!hash)
                continue;
            const quint64* bits = statebits[c] + qint64(f) * pw;
            if (std::all_of(bits, bits + pw, [](quint64 w) { return w == 0; }))
                continue;
            const float* carry = framechange[c] + qint64(f) * hop();
            const bool owed = std::any_of(carry, carry + hop(), [](float v) { return v != 0; });
            keep.push_back({cachestartframe + f, hash, spectrum[c] + qint64(f) * n, analysed.data() + qint64(f - lo) * n,
                            bits, owed ? carry : nullptr, hop()});
        }
        if (keep.empty())
            continue;
        if (!boundlayer->keptframes)
            boundlayer->keptframes = std::make_shared<KeptFrames>();
        boundlayer->keptframes->add(settingkey(), c, n, keep, boundlayer->name);
    }
}

// Frames [first, last] of the window were just analysed: those a kept frame
// matches take its pairs back. Frames that carry an edit already keep it.
void Buffer::restorekept(int first, int last)
{
    if (!boundlayer || !boundlayer->keptframes)
        return;
    KeptFrames& store = *boundlayer->keptframes;
    const quint64 setting = settingkey();
    const int pw = pairwords();
    for (int c = 0; c < channels && c < allocatedchannels; ++c) {
        if (!store.covers(setting, c, cachestartframe + first, cachestartframe + last))
            continue;
        store.restore(
            setting, c, cachestartframe + first, cachestartframe + last,
            [&](int frame) {
                const int f = frame - cachestartframe;
                return (framestate[c][f] & carriesedit) ? 0 : centralhash(c, f);
            },
            [&](int frame, float*& bins, quint64*& mask, float*& carry) {
                const int f = frame - cachestartframe;
                bins = spectrum[c] + qint64(f) * fftsize;
                mask = statebits[c] + qint64(f) * pw;
                carry = framechange[c] + qint64(f) * hop();
                framestate[c][f] |= carriesedit;
            });
    }
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
    const bool loaded = cachestart != unsettime;
    if (!loaded)
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
    const qint64 stay = std::max<qint64>(windowframes - f, 0);
    const qint64 shiftframes = std::min<qint64>(f, windowframes);
    // What edits left in the frames about to leave is kept first.
    if (loaded)
        keepframes(d < 0 ? int(windowframes - shiftframes) : 0, d < 0 ? int(windowframes - 1) : int(shiftframes - 1));
    const size_t framefloats = size_t(fftsize);
    const qint64 pw = pairwords();
    const qint64 n = shift; // samples to read, the whole array at most
    const qint64 startsample = roundhalfup64(start * sr);
    std::vector<float>& block = scratchblock;
    block.resize(size_t(n * channels));
    qint64 firstread; // array index (from -margin) of the first sample read
    // Moves the `stay` frames of a per-frame array by the shift and clears the frames that come in.
    auto moveframes = [&](auto* a, qint64 per) {
        const size_t bytes = sizeof(*a) * size_t(per);
        if (d < 0) {
            std::memmove(a + shiftframes * per, a, bytes * size_t(stay));
            std::memset(a, 0, bytes * size_t(shiftframes));
        } else {
            std::memmove(a, a + shiftframes * per, bytes * size_t(stay));
            std::memset(a + stay * per, 0, bytes * size_t(shiftframes));
        }
    };
    if (d < 0) {
        for (int c = 0; c < channels; ++c) {
            std::memmove(timeblockA[c] + shift, timeblockA[c], sizeof(float) * size_t(keep));
            std::memmove(timeblockE[c] + shift, timeblockE[c], sizeof(float) * size_t(keep));
            std::memmove(timeblockB[c] + shift, timeblockB[c], sizeof(float) * size_t(keep));
            std::memmove(spectrum[c] + shiftframes * framefloats, spectrum[c],
                         sizeof(float) * size_t(stay) * framefloats);
        }
        firstread = 0;
    } else {
        for (int c = 0; c < channels; ++c) {
            std::memmove(timeblockA[c], timeblockA[c] + shift, sizeof(float) * size_t(keep));
            std::memmove(timeblockE[c], timeblockE[c] + shift, sizeof(float) * size_t(keep));
            std::memmove(timeblockB[c], timeblockB[c] + shift, sizeof(float) * size_t(keep));
            std::memmove(spectrum[c], spectrum[c] + shiftframes * framefloats,
                         sizeof(float) * size_t(stay) * framefloats);
        }
        firstread = timesize - n;
    }
    for (int c = 0; c < channels; ++c) {
        moveframes(statebits[c], pw);
        moveframes(framestate[c], 1);
    }
    if (n > 0) {
        if (boundlayer)
            boundlayer->read(block.data(), double(startsample - margin + firstread) / sr, double(n) / sr,
                             -1, false);
        for (int c = 0; c < channels; ++c) {
            float* dst = timeblockA[c] + firstread;
            for (qint64 i = 0; i < n; ++i)
                dst[i] = block[size_t(i * channels + c)];
            std::memset(timeblockE[c] + firstread, 0, sizeof(float) * size_t(n));
        }
    }

    cachestart = start;
    cachestartsample = int(startsample);
    cachestartframe = roundhalfup(start * sr / h);
    setvalidranges();

    const double a = std::min(std::fabs(d), cachelength);
    const double from = d < 0 ? start : start + cachelength - a;
    int first, last;
    if (!passframes(from, a, first, last))
        return;
    // The analysis also takes a frame of margin from the part that stayed,
    // which may carry an edit: it keeps its bins.
    std::vector<std::pair<std::pair<int, int>, std::vector<float>>> carried;
    for (int c = 0; c < channels; ++c)
        for (int k = first; k <= last; ++k)
            if (framestate[c][k] & carriesedit) {
                const float* p = spectrum[c] + qint64(k) * fftsize;
                carried.push_back({{c, k}, std::vector<float>(p, p + fftsize)});
            }
    analyze(from, a, -1);
    for (const auto& [where, bins] : carried)
        std::memcpy(spectrum[where.first] + qint64(where.second) * fftsize, bins.data(),
                    sizeof(float) * size_t(fftsize));
    restorekept(first, last);
    resynthesizeselection(from, a, -1);
}

// The indices the accessors reach without moving the window: a whole
// transform length from both ends, as long as that leaves room; for the
// longest transforms a quarter of the window. A sample edit's write-back
// analyses the frames up to one hop beyond the frames around it, and the
// frames whose analysis a frame edit's write-back changes (half a transform
// length around it) must be in the window to keep their bins, so the ranges
// keep those inside it.
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
    const int edge = cachewindowedge(windowframes, overlap);
    cachedframes = {cachestartframe + edge, cachestartframe + windowframes - std::max({edge, 2, overlap / 2 + 1})};
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
    float* p = spectrum[channel] + qint64(frame - cachestartframe) * fftsize;
    // A bin written as it is changes nothing, so it leaves the layer as it is.
    const bool same = bin == 0 ? p[0] == re : bin == half ? p[1] == im : p[2 * bin] == re && p[2 * bin + 1] == im;
    if (same)
        return;
    snapshot(channel, frame);
    IntRange& dirty = dirtyframes[channel];
    dirty = {std::min(dirty.low, edit.low), std::max(dirty.high, edit.high)};
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
    float& current = timebufferB[channel][sample - cachestartsample];
    // A sample written as it is changes nothing inside the layer; beyond its
    // ends it is audio the layer is given (the silence of a recording).
    if (current == value && boundlayer->length > 0) {
        const qint64 start = roundhalfup64(boundlayer->start * samplerate);
        if (sample >= start && sample < start + roundhalfup64(boundlayer->length * samplerate))
            return;
    }
    IntRange& dirty = dirtysamples[channel];
    dirty = {std::min(dirty.low, edit.low), std::max(dirty.high, edit.high)};
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
