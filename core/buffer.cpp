#include "buffer.h"

#include "analysiswindow.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include <kissfft/kiss_fftr.h>

#include "alignedmemory.h"
#include "keptframes.h"
#include "globals.h"
#include "log.h"
#include "sdk/rounding.h"

namespace {

constexpr int windowfloats = Buffer::maxfftsize;
constexpr int lobefloats = 16 * (Buffer::maxfftsize / 2);

float* allocfloats(int count)
{
    float* block = alignedalloc(count * int(sizeof(float)), 16);
    if (block)
        std::memset(block, 0, sizeof(float) * size_t(count));
    return block;
}

} // namespace

Buffer::Buffer()
{
    std::fill(std::begin(snapped), std::end(snapped), std::numeric_limits<int>::min());
    analysiswindow = allocfloats(windowfloats);
    synthesiswindow = allocfloats(windowfloats);
    lobetable = allocfloats(lobefloats);
    if (!analysiswindow || !synthesiswindow || !lobetable) {
        alignedfree(analysiswindow);
        alignedfree(synthesiswindow);
        alignedfree(lobetable);
        throw std::bad_alloc();
    }
}

Buffer::~Buffer()
{
    writeback();
    freestorage();
    alignedfree(analysiswindow);
    alignedfree(synthesiswindow);
    alignedfree(lobetable);
}

int Buffer::freqtobin(double frequency) const
{
    if (samplerate <= 0)
        return 0;
    return roundhalfupclamped(fftsize * frequency / samplerate);
}

// The arrays of one channel for a window of `samples` samples at the current
// transform. The time and spectrum arrays are written before they are read
// (a load reads the window and analyses its frames), so they are not
// cleared; the change arrays and the frame states start at zero.
bool Buffer::makearrays(Arrays& r, int samples) const
{
    const qint64 time = qint64(samples) + 2 * margin;
    const qint64 frames = haswindow() ? samples / hop() : 0;
    r.a = alignedalloc(int(time * qint64(sizeof(float))), 16);
    r.b = alignedalloc(int(time * qint64(sizeof(float))), 16);
    r.d = allocfloats(int(time));
    r.e = allocfloats(int(time));
    r.spectrum = frames > 0 ? alignedalloc(int(frames * fftsize * qint64(sizeof(float))), 16) : nullptr;
    r.bits = new (std::nothrow) quint64[size_t(std::max<qint64>(frames * pairwords(), 1))]();
    r.state = new (std::nothrow) quint8[size_t(std::max<qint64>(frames, 1))]();
    if (r.a && r.b && r.d && r.e && r.bits && r.state && (frames == 0 || r.spectrum))
        return true;
    release(r);
    return false;
}

void Buffer::release(Arrays& r)
{
    for (float* p : {r.a, r.b, r.d, r.e, r.spectrum})
        alignedfree(p);
    delete[] r.bits;
    delete[] r.state;
    r = Arrays();
}

// Channel c takes the arrays (and lets go of those it had).
void Buffer::install(int c, Arrays& r)
{
    forgethot();
    if (c < allocatedchannels) {
        Arrays old{timeblockA[c], timeblockB[c], timeblockD[c], timeblockE[c], spectrum[c], statebits[c], framestate[c]};
        release(old);
    }
    timeblockA[c] = r.a;
    timeblockB[c] = r.b;
    timeblockD[c] = r.d;
    timeblockE[c] = r.e;
    timebufferA[c] = r.a + margin;
    timebufferB[c] = r.b + margin;
    sampledelta[c] = r.d + margin;
    framechange[c] = r.e + margin;
    spectrum[c] = r.spectrum;
    statebits[c] = r.bits;
    framestate[c] = r.state;
    r = Arrays();
}

// Storage for the channels of the bound layer, for the window's size and the
// current transform; arrays made for another are made again (their contents
// are forgotten by then).
bool Buffer::ensurestorage()
{
    const int count = boundlayer ? channels : 0;
    if (count > maxchannels)
        return false;
    const bool stale = allocatedsamples != windowsamples || allocatedsize != fftsize || allocatedoverlap != overlap;
    const int remake = stale ? allocatedchannels : 0;
    allocatedsamples = windowsamples;
    allocatedsize = fftsize;
    allocatedoverlap = overlap;
    for (int c = 0; c < std::max(count, remake); ++c) {
        if (c < allocatedchannels && c >= remake)
            continue;
        Arrays r;
        if (!makearrays(r, windowsamples)) {
            freestorage();
            return false;
        }
        install(c, r);
        allocatedchannels = std::max(allocatedchannels, c + 1);
    }
    return true;
}

void Buffer::freestorage()
{
    forgethot();
    for (int c = 0; c < allocatedchannels; ++c) {
        Arrays old{timeblockA[c], timeblockB[c], timeblockD[c], timeblockE[c], spectrum[c], statebits[c], framestate[c]};
        release(old);
        timeblockA[c] = timeblockB[c] = timeblockD[c] = timeblockE[c] = spectrum[c] = nullptr;
        timebufferA[c] = timebufferB[c] = sampledelta[c] = framechange[c] = nullptr;
        statebits[c] = nullptr;
        framestate[c] = nullptr;
        forgetedits(c);
    }
    allocatedchannels = 0;
    allocatedsamples = 0;
}

// A copy of a window frame as it is before its first edit since the last
// write-back, kept until that write-back.
float* Buffer::snapshot(int channel, int frame)
{
    auto& copy = before[channel][frame];
    if (!copy) {
        if (spareframes.empty()) {
            copy.reset(new float[size_t(fftsize)]);
        } else {
            copy = std::move(spareframes.back());
            spareframes.pop_back();
        }
        std::memcpy(copy.get(), spectrum[channel] + qint64(frame - cachestartframe) * fftsize,
                    sizeof(float) * size_t(fftsize));
    }
    return copy.get();
}

qint64 Buffer::heldsnapshots() const
{
    qint64 count = 0;
    for (int c = 0; c < maxchannels; ++c)
        count += qint64(before[c].size());
    return count;
}

void Buffer::forgetedits(int channel)
{
    forgethot();
    snapped[channel] = std::numeric_limits<int>::min();
    for (auto& e : before[channel])
        spareframes.push_back(std::move(e.second));
    before[channel].clear();
}

quint64 Buffer::settingkey() const
{
    return KeptFrames::settingkey(windowtype, fftsize, overlap, fftsubwin);
}

// With `keep`, what edits left in the window frames is kept for the layer
// first: the samples the window holds are those the edits gave, even when the
// layer has been changed behind the Buffer (an undo) before this reset.
void Buffer::forgetcache(bool keep)
{
    forgethot();
    if (keep && cachestart != unsettime && haswindow())
        keepframes(0, windowframes() - 1);
    for (int c = 0; c < maxchannels; ++c) {
        // The change array is zero again wherever pending sample edits left it.
        if (!dirtysamples[c].empty() && c < allocatedchannels)
            std::memset(timeblockD[c], 0, sizeof(float) * size_t(timefloats()));
        dirtyframes[c] = IntRange::none();
        dirtysamples[c] = IntRange::none();
        forgetedits(c);
        if (c < allocatedchannels) {
            std::memset(timeblockE[c], 0, sizeof(float) * size_t(timefloats()));
            std::memset(statebits[c], 0, sizeof(quint64) * size_t(windowframes()) * size_t(pairwords()));
            std::memset(framestate[c], 0, size_t(windowframes()));
        }
    }
    cachestart = unsettime;
    cachedsamples = IntRange::none();
    cachedframes = IntRange::none();
    reach = lastreach = IntRange::none();
    revisits = 0;
    // A grown window gives its memory back.
    if (windowsamples != cachesamples) {
        windowsamples = cachesamples;
        cachelength = samplerate > 0 ? double(windowsamples) / samplerate : 0;
        if (allocatedchannels > 0 && !ensurestorage())
            logerror(QStringLiteral("Buffer: no memory for the frames of its window"));
    }
    notebase();
}

void Buffer::infftparam(qint32 ffttype, qint32 size, qint32 fftoverlap, bool subwin)
{
    const std::lock_guard lock(guard);
    writeback();
    forgetcache();
    spareframes.clear();
    windowtype = (ffttype >= 0 && ffttype <= 4) ? ffttype : 4;
    fftsize = clampfftsize(size);
    overlap = clampfftoverlap(fftoverlap);
    fftsubwin = subwin;
    buildwindows();
    if (boundlayer && !ensurestorage()) {
        logerror(QStringLiteral("Buffer: no memory for the frames of layer \"%1\"").arg(boundlayer->name));
        boundlayer = nullptr;
        samplerate = channels = 0;
        cachelength = 0;
    }
    // The selection's frames and bins depend on the new hop and size.
    updateselectionranges();
}

void Buffer::buildwindows()
{
    const int n = fftsize;
    const int h = hop();
    // The analysis window sums to 2; the synthesis window is built from it
    // scaled to sum to 2N, as the overlap-add divides by those weights.
    std::memset(analysiswindow, 0, sizeof(float) * windowfloats);
    fillanalysiswindow(analysiswindow, windowtype, n, fftsubwin);
    std::vector<double> a(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j)
        a[j] = double(analysiswindow[j]) * n;

    // Triangles over the central 2 x hop samples, divided by the analysis
    // weights there, so that two neighbouring frames add up to the input.
    const int t = n / (overlap / 2);
    std::memset(synthesiswindow, 0, sizeof(float) * windowfloats);
    auto tri = [t](int k) { return 1.0 - 2.0 * std::fabs(double(k) / t - 0.5); };
    for (int k = 0; k < h; ++k) {
        const double d = a[n / 2 - h + k] * tri(k) + a[n / 2 + k] * tri(h + k);
        synthesiswindow[k] = float(tri(k) / d);
        synthesiswindow[h + k] = float(tri(h + k) / d);
    }

    // Window lobe: magnitudes of a sinusoid s/16 of a bin below bin N/4.
    kiss_fftr_cfg p = kiss_fftr_alloc(n, 0, nullptr, nullptr);
    std::vector<float> in(static_cast<size_t>(n));
    std::vector<kiss_fft_cpx> out(static_cast<size_t>(n / 2 + 1));
    std::memset(lobetable, 0, sizeof(float) * lobefloats);
    for (int s = 0; s < 16; ++s) {
        const double cycles = n / 4.0 - s / 16.0;
        for (int j = 0; j < n; ++j)
            in[j] = float(std::sin(2.0 * (double(j) / n) * 3.1415926536 * cycles) * analysiswindow[j]);
        kiss_fftr(p, in.data(), out.data());
        for (int k = 0; k < n / 2; ++k)
            lobetable[16 * k + s] = std::sqrt(out[k].r * out[k].r + out[k].i * out[k].i);
    }
    kiss_fftr_free(p);
}

void Buffer::indatareset()
{
    const std::lock_guard lock(guard);
    forgetcache();
}

bool Buffer::hasselection() const
{
    return selection.width() != 0 || selection.height() != 0;
}

void Buffer::selectionband(int& lowbin, int& highbin) const
{
    const int half = fftsize / 2;
    if (hasselection()) {
        lowbin = std::max(freqtobin(selection.y() + selection.height()), 0);
        highbin = std::min(freqtobin(selection.y()), half);
    } else {
        lowbin = 0;
        highbin = half;
    }
}

// Sample, frame and bin ranges of the selection, for the accessors. Without a
// rate or a window the ranges that need them are left without limit.
void Buffer::updateselectionranges()
{
    forgethot();
    selectionsamples = IntRange::unlimited();
    selectionframes = IntRange::unlimited();
    selectionbins = {0, fftsize > 0 ? fftsize / 2 : 2147418112};
    if (!hasselection() || samplerate <= 0)
        return;
    const double x0 = selection.x() * samplerate;
    const double x1 = (selection.x() + selection.width()) * samplerate;
    selectionsamples = {roundhalfupclamped(x0), roundhalfupclamped(x1)};
    if (!haswindow())
        return;
    selectionframes = {roundhalfupclamped(x0 / hop()), roundhalfupclamped(x1 / hop())};
    selectionband(selectionbins.low, selectionbins.high);
}
