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
#include "packedbin.h"
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
    return cachestart != unsettime && i >= 0 && i < windowsamples;
}

bool Buffer::inwindowframes(int frame) const
{
    const qint64 i = qint64(frame) - cachestartframe;
    return cachestart != unsettime && haswindow() && i >= 0 && i < windowframes();
}

void Buffer::bindlayer(layer* l)
{
    const std::lock_guard lock(guard);
    writeback();
    forgethot();
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
    cachelength = double(windowsamples) / samplerate;
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
    forgethot(); // the step's reach starts again
    // A step ends here: what it reached is what the next one may go back over.
    if (!reach.empty()) {
        const bool back = !lastreach.empty() && lastreach.low < reach.high && reach.low < lastreach.high;
        revisits = back ? revisits + 1 : 0;
        lastreach = reach;
    }
    reach = IntRange::none();
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
    forgethot();
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
        const qint64 b = std::min<qint64>(qint64(samples.high) - cachestartsample, windowsamples + margin - 1);
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
    high = std::min<qint64>(high, windowsamples + margin);
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
    const int windowframes = this->windowframes();
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
    last = std::min(last, windowframes() - 1);
    // The analyses go through a block of bounded size, a part of the frames at a time.
    const int part = std::max(8, int(scratchlimit / n));
    for (int c = 0; c < channels && c < allocatedchannels; ++c) {
        std::vector<int> frames;
        for (int f = first; f <= last; ++f)
            if ((framestate[c][f] & changedsincekept) && !before[c].count(cachestartframe + f))
                frames.push_back(f);
        for (int f = first; f <= last; ++f)
            framestate[c][f] &= quint8(~changedsincekept);
        for (size_t from = 0; from < frames.size();) {
            size_t to = from;
            while (to < frames.size() && frames[to] - frames[from] < part)
                ++to;
            const int lo = frames[from], hi = frames[to - 1];
            std::vector<float>& analysed = scratchframes;
            analysed.resize(size_t(hi - lo + 1) * size_t(n));
            analyzeinto(c, lo, hi, analysed.data());
            std::vector<KeptFrames::Frame> keep;
            for (size_t k = from; k < to; ++k) {
                const int f = frames[k];
                const quint64 hash = centralhash(c, f);
                if (!hash)
                    continue;
                const quint64* bits = statebits[c] + qint64(f) * pw;
                if (std::all_of(bits, bits + pw, [](quint64 w) { return w == 0; }))
                    continue;
                const float* carry = framechange[c] + qint64(f) * hop();
                const bool owed = std::any_of(carry, carry + hop(), [](float v) { return v != 0; });
                keep.push_back({cachestartframe + f, hash, spectrum[c] + qint64(f) * n,
                                analysed.data() + qint64(f - lo) * n, bits, owed ? carry : nullptr, hop()});
            }
            from = to;
            if (keep.empty())
                continue;
            if (!boundlayer->keptframes)
                boundlayer->keptframes = std::make_shared<KeptFrames>();
            boundlayer->keptframes->add(settingkey(), c, n, keep, boundlayer->name);
        }
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
    movecache(time, windowsamples);
}

void Buffer::movecache(double time, int samples)
{
    const std::lock_guard lock(guard);
    writeback();
    placewindow(time, samples);
}

// Where the window goes for a bin access at absolute `frame` outside its
// valid frames, pending edits written back. A step that goes back over the
// frames of the step before, after one that did the same, is a stroke (a
// brush dragged): the window grows to hold every frame the step has reached,
// and room ahead, so that each frame of the stroke is analysed, written back
// and kept once however many steps go over it, not once per move of the
// window; within a bound on its memory, beyond which it slides along.
// Otherwise the window takes its usual size again, centred on the frame.
void Buffer::follow(int frame)
{
    writeback();
    const int h = hop();
    const double sr = samplerate;
    qint64 low = std::min<qint64>(reach.empty() ? frame : reach.low, frame);
    qint64 high = std::max<qint64>(reach.empty() ? frame + 1 : reach.high, qint64(frame) + 1);
    const bool stroke = revisits > 0 && lastreach.low < high && low < lastreach.high;
    // A stroke's step goes over about what the step before did: the window
    // is made for that at once, not grown a little at each miss.
    if (stroke) {
        low = std::min<qint64>(low, lastreach.low);
        high = std::max<qint64>(high, lastreach.high);
    }
    const qint64 basewindow = cachesamples / h;
    const qint64 most = growablesamples() / h;
    if (!stroke || most <= basewindow) {
        placewindow(double(frame) * h / sr - double(cachesamples) / sr / 2, cachesamples);
        return;
    }
    // As in setvalidranges for a grown window: the frames an edit's
    // write-back reaches beyond it stay inside.
    const qint64 edge = overlap / 2 + 1;
    const bool up = cachestart == unsettime || frame >= cachestartframe;
    const qint64 needed = high - low + 2 * edge;
    const qint64 ahead = std::max<qint64>(overlap, (high - low) / 8);
    qint64 frames, first;
    if (needed <= most) {
        // All the step has reached, and what room is left on the side it goes to.
        frames = std::clamp(needed + ahead, basewindow, most);
        first = up ? low - edge : high - 1 + edge - frames + 1;
        if (frames > needed + ahead)
            first = low - edge - (frames - needed) / 2; // centred in the usual size
    } else {
        // Too long to hold: the end it goes to, and room ahead of it.
        frames = most;
        first = up ? frame + edge + ahead - frames + 1 : frame - edge - ahead;
    }
    placewindow(double(first) * h / sr, int(frames * h));
}

// The most samples a grown window may take within its memory bound, its
// frames and the four time arrays of every channel.
int Buffer::growablesamples() const
{
    if (!haswindow() || channels < 1)
        return cachesamples;
    const qint64 perframe = qint64(channels) * (qint64(fftsize) + 4 * hop()) * qint64(sizeof(float));
    const qint64 frames = std::max<qint64>(grownbytes / perframe, 0);
    return int(std::clamp<qint64>(frames * hop(), cachesamples, maxwindowsamples));
}

// Moves the window to start at the frame boundary nearest `time` and to hold
// `samples` samples (whole hops), pending edits written back by the caller:
// what both windows hold keeps its contents (edited frames their bins), what
// leaves is kept first, the rest is read from the layer and analysed. A
// window of another size takes new arrays.
void Buffer::placewindow(double time, int samples)
{
    forgethot();
    if (!haswindow() || samplerate <= 0 || channels < 1 || channels > allocatedchannels
        || allocatedsamples != windowsamples || allocatedsize != fftsize || allocatedoverlap != overlap)
        return;
    if (!std::isfinite(time) || !reachable(qint64(std::clamp(time * samplerate, -4e18, 4e18))))
        return;
    const int h = hop();
    const double sr = samplerate;
    // A window of another size takes new arrays, all made before anything
    // changes; without the memory it keeps its size.
    const bool resized = samples != windowsamples;
    std::vector<Arrays> next(resized ? size_t(allocatedchannels) : 0);
    for (Arrays& r : next)
        if (!makearrays(r, samples)) {
            for (Arrays& x : next)
                release(x);
            logerror(QStringLiteral("Buffer: no memory for a window of %1 samples").arg(samples));
            return placewindow(time, windowsamples);
        }
    const double snapped = h * std::floor(time * sr / h + 0.5) / sr;
    const bool loaded = cachestart != unsettime;
    if (!loaded)
        cachestart = snapped + cachelength + 65536.0 / sr;
    const double d = h * std::floor((snapped - cachestart) * sr / h + 0.5) / sr;
    if (d == 0 && !resized)
        return;
    const double start = cachestart + d;
    // The shift in samples and frames; all old when nothing was loaded.
    const qint64 oldsize = windowsamples, oldframes = windowframes();
    const qint64 newframes = samples / h;
    const qint64 far = oldsize + samples + 4 * qint64(margin);
    const qint64 shift = loaded ? std::min<qint64>(roundhalfup64(std::fabs(d) * sr), far) * (d < 0 ? -1 : 1) : far;
    const qint64 shiftframes = loaded ? std::min<qint64>(roundhalfup64(std::fabs(d) * sr / h), far) * (d < 0 ? -1 : 1) : far;
    // New frame k is old frame k + shiftframes; new time index i is old i + shift.
    const qint64 keptlow = std::clamp<qint64>(-shiftframes, 0, newframes);
    const qint64 kepthigh = std::clamp<qint64>(oldframes - shiftframes, keptlow, newframes);
    const qint64 timelow = std::clamp<qint64>(-margin - shift, -margin, samples + margin);
    const qint64 timehigh = std::clamp<qint64>(oldsize + margin - shift, timelow, samples + margin);
    // What edits left in the frames about to leave is kept first.
    if (loaded) {
        if (shiftframes > 0)
            keepframes(0, int(std::min(shiftframes, oldframes) - 1));
        if (shiftframes + newframes < oldframes)
            keepframes(int(std::max<qint64>(shiftframes + newframes, 0)), int(oldframes - 1));
    }

    // The part both hold goes to its new place, in the same arrays or in the new ones.
    const qint64 pw = pairwords();
    for (int c = 0; c < (resized ? allocatedchannels : channels); ++c) {
        Arrays now{timeblockA[c], timeblockB[c], timeblockD[c], timeblockE[c], spectrum[c], statebits[c], framestate[c]};
        Arrays& to = resized ? next[size_t(c)] : now;
        auto move = [&](auto* dst, auto* src, qint64 per, qint64 low, qint64 high, qint64 by, qint64 base) {
            if (low < high)
                std::memmove(dst + (low + base) * per, src + (low + by + base) * per,
                             sizeof(*dst) * size_t((high - low) * per));
        };
        for (auto [dst, src] : {std::pair{to.a, now.a}, std::pair{to.b, now.b}, std::pair{to.e, now.e}})
            move(dst, src, 1, timelow, timehigh, shift, margin);
        move(to.spectrum, now.spectrum, fftsize, keptlow, kepthigh, shiftframes, 0);
        move(to.bits, now.bits, pw, keptlow, kepthigh, shiftframes, 0);
        move(to.state, now.state, 1, keptlow, kepthigh, shiftframes, 0);
        // What comes in starts with nothing owed and no edit.
        auto clear = [&](auto* a, qint64 per, qint64 low, qint64 high, qint64 size, qint64 base) {
            std::memset(a, 0, sizeof(*a) * size_t((low + base) * per));
            std::memset(a + (high + base) * per, 0, sizeof(*a) * size_t((size - high - base) * per));
        };
        clear(to.e, 1, timelow, timehigh, samples + 2 * margin, margin);
        if (resized)
            clear(to.b, 1, timelow, timehigh, samples + 2 * margin, margin);
        clear(to.bits, pw, keptlow, kepthigh, newframes, 0);
        clear(to.state, 1, keptlow, kepthigh, newframes, 0);
        if (resized)
            install(c, next[size_t(c)]);
    }
    if (resized) {
        allocatedsamples = samples;
        windowsamples = samples;
        cachelength = double(samples) / sr;
    }

    // The samples that come in, read from the layer.
    const qint64 startsample = roundhalfup64(start * sr);
    for (const auto& [from, to] : {std::pair{-qint64(margin), timelow}, std::pair{timehigh, samples + qint64(margin)}}) {
        const qint64 n = to - from;
        if (n <= 0)
            continue;
        std::vector<float>& block = scratchblock;
        block.assign(size_t(n * channels), 0.0f);
        if (boundlayer)
            boundlayer->read(block.data(), double(startsample + from) / sr, double(n) / sr, -1, false);
        for (int c = 0; c < channels; ++c) {
            float* dst = timebufferA[c] + from;
            for (qint64 i = 0; i < n; ++i)
                dst[i] = block[size_t(i * channels + c)];
        }
    }

    cachestart = start;
    cachestartsample = int(startsample);
    cachestartframe = roundhalfup(start * sr / h);
    setvalidranges();

    // The frames that came in, analysed.
    if (keptlow > 0)
        analyzenew(0, int(keptlow - 1));
    if (kepthigh < newframes)
        analyzenew(int(kepthigh), int(newframes - 1));
}

// Window frames [first, last] came in: their analysis, a frame of margin on
// either side (which may carry an edit: it keeps its bins), what is kept for
// them, and the band signal over them.
void Buffer::analyzenew(int first, int last)
{
    const double sr = samplerate;
    const int h = hop();
    const double from = cachestart + double(first) * h / sr;
    const double span = double(last + 1 - first) * h / sr;
    int lo, hi;
    if (!passframes(from, span, lo, hi))
        return;
    std::vector<std::pair<std::pair<int, int>, std::vector<float>>> carried;
    for (int c = 0; c < channels; ++c)
        for (int k = lo; k <= hi; ++k)
            if (framestate[c][k] & carriesedit) {
                const float* p = spectrum[c] + qint64(k) * fftsize;
                carried.push_back({{c, k}, std::vector<float>(p, p + fftsize)});
            }
    analyze(from, span, -1);
    for (const auto& [where, bins] : carried)
        std::memcpy(spectrum[where.first] + qint64(where.second) * fftsize, bins.data(),
                    sizeof(float) * size_t(fftsize));
    restorekept(lo, hi);
    resynthesizeselection(from, span, -1);
}

// The indices the accessors reach without moving the window: a whole
// transform length from both ends, as long as that leaves room; for the
// longest transforms a quarter of the window. A sample edit's write-back
// analyses the frames up to one hop beyond the frames around it, and the
// frames whose analysis a frame edit's write-back changes (half a transform
// length around it) must be in the window to keep their bins, so the ranges
// keep those inside it; a grown window keeps no more than that from its
// ends, as it is placed around what a stroke reaches (follow).
void Buffer::setvalidranges()
{
    forgethot();
    const int h = hop();
    const int size = windowsamples;
    const int windowframes = this->windowframes();
    const int inset = std::min(fftsize, size / 4);
    int low = std::max(inset, h / 2 + 1);
    int high = std::min(size - inset, windowframes * h - h - h / 2 - 2);
    if (low > high)
        low = high = size / 2;
    cachedsamples = {cachestartsample + low, cachestartsample + high};
    const int edge = size == cachesamples ? cachewindowedge(windowframes, overlap) : overlap / 2 + 1;
    cachedframes = {cachestartframe + edge, cachestartframe + windowframes - std::max({edge, 2, overlap / 2 + 1})};
}

// The floats of an absolute frame of a channel in the window, the window moved
// there when it does not hold it; null where the accessors read zeros and
// drop writes (unbound, outside the selection's frames or the reach).
float* Buffer::frameat(int channel, int frame, bool write)
{
    if (!boundlayer) {
        (write ? writewithoutlayer : readwithoutlayer) = true;
        return nullptr;
    }
    if (channel < 0 || channel >= channels || !haswindow())
        return nullptr;
    if (frame < selectionframes.low || frame > selectionframes.high || !reachable(qint64(frame) * hop()))
        return nullptr;
    if (write && clash(dirtysamples[channel], {frame - 1, frame + 1}))
        writeback();
    if (frame < cachedframes.low || frame > cachedframes.high) {
        follow(frame);
        if (!inwindowframes(frame))
            return nullptr;
    }
    notereach(frame);
    return spectrum[channel] + qint64(frame - cachestartframe) * fftsize;
}

// A frame about to be edited: its bins as they are go aside for the
// write-back, which synthesises what the edit changed. Returns the frame,
// which a write-back here may have left elsewhere in the arrays.
float* Buffer::editframe(int channel, int frame, float* p)
{
    // Bins of one frame come one after the other: the last frame's copy is
    // known without a look-up.
    if (snapped[channel] != frame && !before[channel].count(frame)) {
        if (heldsnapshots() * fftsize >= snapshotfloats) {
            // Enough frames wait for their write-back: it comes now, the window stays.
            writeback();
            p = spectrum[channel] + qint64(frame - cachestartframe) * fftsize;
        }
        snapshot(channel, frame);
    }
    snapped[channel] = frame;
    IntRange& dirty = dirtyframes[channel];
    dirty = {std::min(dirty.low, frame - 1), std::max(dirty.high, frame + 1)};
    return p;
}

const float* Buffer::readframe(int channel, int frame)
{
    const std::lock_guard lock(guard);
    return frameat(channel, frame, false);
}

float* Buffer::writeframe(int channel, int frame)
{
    const std::lock_guard lock(guard);
    float* p = frameat(channel, frame, true);
    return p ? editframe(channel, frame, p) : nullptr;
}

void Buffer::setbin(int channel, int frame, int bin, float re, float im)
{
    const std::lock_guard lock(guard);
    const int half = fftsize / 2;
    if (boundlayer && (bin < 0 || bin > half || bin < selectionbins.low || bin > selectionbins.high))
        return;
    float* p = frameat(channel, frame, true);
    if (!p)
        return;
    // A bin written as it is changes nothing, so it leaves the layer as it is.
    if (holdsbin(p, bin, half, re, im)) {
        hotread[channel] = {frame, p, true};
        return;
    }
    p = editframe(channel, frame, p);
    hotwrite[channel] = {frame, p, true};
    setbinof(p, bin, half, re, im);
}

QVector2D Buffer::getbin(int channel, int frame, int bin)
{
    const std::lock_guard lock(guard);
    const int half = fftsize / 2;
    if (boundlayer && (bin < 0 || bin > half || bin < selectionbins.low || bin > selectionbins.high))
        return {0, 0};
    float* p = frameat(channel, frame, false);
    if (!p)
        return {0, 0};
    hotread[channel] = {frame, p, !clash(dirtysamples[channel], {frame - 1, frame + 1})};
    return binof(p, bin, half);
}

// The frame a run of bins reaches, and the bins of the run that reach the
// frame and the selection (none when low > high); null where getbin reads
// zeros and setbin writes nothing.
float* Buffer::runframe(int channel, int frame, int firstbin, int count, bool write, IntRange& bins)
{
    bins = {std::max({firstbin, 0, selectionbins.low}),
            int(std::min<qint64>({qint64(firstbin) + count - 1, fftsize / 2, selectionbins.high}))};
    // Without a layer the look-up only notes the read or write.
    if (boundlayer && bins.low > bins.high)
        return nullptr;
    return frameat(channel, frame, write);
}

void Buffer::getbins(int channel, int frame, int firstbin, int count, float* pairs)
{
    const std::lock_guard lock(guard);
    std::fill(pairs, pairs + 2 * qint64(std::max(count, 0)), 0.0f);
    const int half = fftsize / 2;
    IntRange bins;
    const float* p = runframe(channel, frame, firstbin, count, false, bins);
    if (!p)
        return;
    for (int b = bins.low; b <= bins.high; ++b) {
        const QVector2D v = binof(p, b, half);
        pairs[2 * (b - firstbin)] = v.x();
        pairs[2 * (b - firstbin) + 1] = v.y();
    }
}

void Buffer::setbins(int channel, int frame, int firstbin, int count, const float* pairs)
{
    const std::lock_guard lock(guard);
    const int half = fftsize / 2;
    IntRange bins;
    float* p = runframe(channel, frame, firstbin, count, true, bins);
    if (!p)
        return;
    bool edited = false;
    for (int b = bins.low; b <= bins.high; ++b) {
        const float re = pairs[2 * (b - firstbin)];
        const float im = pairs[2 * (b - firstbin) + 1];
        // Bins given as they are change nothing, as in setbin.
        if (holdsbin(p, b, half, re, im))
            continue;
        if (!edited) {
            p = editframe(channel, frame, p);
            edited = true;
        }
        setbinof(p, b, half, re, im);
    }
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
        movecache(double(sample) / samplerate - double(cachesamples) / samplerate / 2, cachesamples);
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
    forgethot(); // bin edits near it must write back first (clash)
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
        movecache(double(sample) / samplerate - double(cachesamples) / samplerate / 2, cachesamples);
        if (!inwindowsamples(sample))
            return 0;
    }
    return timebufferB[channel][sample - cachestartsample];
}
