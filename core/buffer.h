#pragma once
// The two-way spectral cache of one layer: a window of 131072 samples of every
// channel held twice in the time domain (full band A, selected band B) and once
// as short-time Fourier frames, with write-back of whatever was changed. While
// a stroke goes over more frames than that step after step, the window grows
// to hold them, within a bound, and comes back to its size after.
//
// Threads: the controller makes the three on the window's thread, which binds,
// configures, flushes and reloads them. A device run (the controller's own
// thread) and a tool step (the stroke worker) call its public operations
// meanwhile: every one of them takes `guard`, so any may come from any thread;
// the transform pool works on a pass's arrays only while its caller holds it.
#include <QObject>
#include <QRectF>
#include <QVector2D>

#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "bufferguard.h"
#include "layer.h"
#include "sdk/cachewindow.h"

struct IntRange
{
    int low = 2147418112;
    int high = -2147418112;
    bool empty() const { return low >= high; }
    static IntRange none() { return {}; }
    static IntRange unlimited() { return {-2147418112, 2147418112}; }
};

class Buffer : public QObject
{
    Q_OBJECT
public:
    static constexpr int cachesamples = cachewindowsamples; // samples of the window at its usual size
    static constexpr int margin = 32768;          // samples before and after it
    static constexpr int maxfftsize = 65536;
    static constexpr int maxchannels = 8;
    // The most a grown window may take, its frames and time arrays of every
    // channel together, and the most samples it may hold whatever that.
    static constexpr qint64 grownbytes = qint64(96) << 20;
    static constexpr int maxwindowsamples = 1 << 23;
    // Absolute sample indices the window may be moved to, so that every index of
    // the window and of its frames stays well inside the int range.
    static constexpr qint64 reachlimit = 2147418112LL - 4LL * (maxwindowsamples + 2 * margin);

    Buffer();
    ~Buffer() override;

    layer* boundlayer = nullptr;
    int samplerate = 0;
    int channels = 0;
    int windowtype = 4;
    int fftsize = 0;
    int overlap = 0;
    bool fftsubwin = false;
    double cachestart = 2147418112.0;
    double cachelength = 0;
    int cachestartsample = 0;
    IntRange cachedsamples;
    IntRange dirtysamples[maxchannels];
    int cachestartframe = 0;
    IntRange cachedframes;
    IntRange dirtyframes[maxchannels];
    IntRange selectionsamples = IntRange::unlimited();
    IntRange selectionframes = IntRange::unlimited();
    IntRange selectionbins = {0, 2147418112};
    bool writewithoutlayer = false;
    bool readwithoutlayer = false;
    QRectF selection;
    // Per-channel arrays; index 0 of a time buffer is cachestart (the pointers
    // point `margin` floats into their allocations).
    float* timebufferA[maxchannels] = {};
    float* spectrum[maxchannels] = {};
    float* timebufferB[maxchannels] = {};
    float* analysiswindow = nullptr;  // 65536 floats
    float* synthesiswindow = nullptr; // 65536 floats
    float* lobetable = nullptr;       // 16 x 32768 floats
    // Held by every public operation: a device run in the controller's thread
    // reads and writes samples while the GUI thread flushes, rebinds or
    // reconfigures the same Buffer. Recursive, as the operations call each
    // other; whoever reads the arrays or members directly holds it too.
    mutable BufferGuard guard;

    // Samples the window holds now: cachesamples, or more while it has grown.
    int windowsamples = cachesamples;

    int hop() const { return overlap > 0 ? fftsize / overlap : 0; }
    bool haswindow() const { return fftsize > 0 && overlap > 0; }
    int windowframes() const { return haswindow() ? windowsamples / hop() : 0; }
    qint64 timefloats() const { return qint64(windowsamples) + 2 * margin; }
    int freqtobin(double frequency) const;

    void bindlayer(layer* l);
    void flush();
    void writeback();
    // Writes back what is pending and forgets the cache in one hold of the
    // guard, so that samples a device run writes meanwhile are not dropped.
    void reload();
    // Empties the bound layer (area transfer mode 0) and forgets the cache
    // and every frame kept for the layer: none of it can come back.
    void clearlayer();
    void movecache(double time);
    // The same, to a window of `samples` samples (whole hops).
    void movecache(double time, int samples);
    // Write-backs lengthen the layer only within [start, end) seconds (as far
    // as the source of an area transfer has audio; none when start equals
    // end); start > end lifts the limit.
    void limitgrowth(double start, double end);
    // Until lifted (start > end), edited bins lengthen the layer no further
    // than [start, end) seconds (samples set still give their own time): the
    // clipboard while a tool computes into it what it takes from the other
    // layers, which end there.
    void boundgrowth(double start, double end);
    void setbin(int channel, int frame, int bin, float re, float im);
    QVector2D getbin(int channel, int frame, int bin);
    // `count` bins from `firstbin` on as (re, im) pairs, exactly as getbin and
    // setbin would give and take them one by one, with one look-up of the frame.
    void getbins(int channel, int frame, int firstbin, int count, float* pairs);
    void setbins(int channel, int frame, int firstbin, int count, const float* pairs);
    // A whole frame at once, for callers that go through many of its bins
    // (the area transfer): its N floats in the frame layout, or null where
    // getbin reads zeros and setbin writes nothing. What writeframe gives is
    // an edit of every bin (a bin given back as it was changes nothing). The
    // pointer holds while the caller keeps the guard and touches nothing
    // else of this Buffer.
    const float* readframe(int channel, int frame);
    float* writeframe(int channel, int frame);
    void setsample(int channel, int sample, float value);
    float getsample(int channel, int sample);
    // getbin and setbin for a caller that holds `guard`, on the frame of the
    // channel that the last access found, while nothing the accessors check
    // has changed: a tool goes through a frame's bins one after another, and
    // looking the frame up again costs more than the bin. False when the
    // access needs the full accessor.
    bool quickgetbin(int channel, int frame, int bin, QVector2D& value) const
    {
        const float* at = hotbin(channel, frame, bin, false);
        if (!at)
            return false;
        value = bin == 0 ? QVector2D(at[0], 0) : bin == fftsize / 2 ? QVector2D(0, at[0]) : QVector2D(at[0], at[1]);
        return true;
    }
    bool quicksetbin(int channel, int frame, int bin, float re, float im)
    {
        float* at = hotbin(channel, frame, bin, true);
        if (!at)
            return false;
        const bool pair = bin != 0 && bin != fftsize / 2;
        const float first = bin == 0 || pair ? re : im;
        // A bin written as it is changes nothing, on a frame not edited yet too.
        if (at[0] == first && (!pair || at[1] == im))
            return true;
        if (frame != hotwrite[channel].frame)
            return false; // its first edit: the full accessor copies it for the write-back
        at[0] = first;
        if (pair)
            at[1] = im;
        return true;
    }

    void analyze(double t, double dt, int channel);
    void analyzeselection(double t, double dt, int channel);
    void resynthesize(double t, double dt, int channel);
    void resynthesizeselection(double t, double dt, int channel);

public slots:
    void infftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap, bool fftsubwin);
    void indatareset();
    void inselection(QRectF selection);

private:
    int allocatedchannels = 0;
    int allocatedsamples = 0; // the window size the arrays are made for
    int allocatedsize = 0, allocatedoverlap = 0; // and the transform they hold frames of
    float* timeblockA[maxchannels] = {};
    float* timeblockB[maxchannels] = {};
    // Per channel, zero except over the pending sample edits, where it holds
    // what setsample added to timebufferB: the write-back analyses this
    // change alone, so that samples set to the value they had change nothing.
    float* timeblockD[maxchannels] = {};
    float* sampledelta[maxchannels] = {};
    // The span a write-back may give the layer beyond its extent (limitgrowth).
    bool growthlimited = false;
    qint64 growthfrom = 0, growthto = 0; // samples; an empty span gives no time
    // The layer's extent when the current edit began (bound, reset, a
    // transfer started), in samples: write-backs grow the layer by what lies
    // beyond it, however many parts the edit is written back in.
    bool outerbounded = false;
    qint64 outerfrom = 0, outerto = 0; // samples
    bool baseempty = true;
    qint64 basestart = 0, baseend = 0;
    void notebase();
    // Per channel: what edits changed of timebufferA that its floats could
    // not take (at most half a unit of their last place), zero wherever the
    // samples came from the layer; a write-back adds the synthesis of what
    // the edited bins changed to it and that to timebufferA.
    float* timeblockE[maxchannels] = {};
    float* framechange[maxchannels] = {};
    // The bins of the frames edited since the last write-back as they were
    // before the edit, per channel and absolute frame.
    std::unordered_map<int, std::unique_ptr<float[]>> before[maxchannels];
    int snapped[maxchannels]; // per channel, a frame `before` holds (the last one edited)
    // Blocks the write-backs and relocations reuse rather than allocate each
    // time: copies of frames of the current size, frames, interleaved samples.
    std::vector<std::unique_ptr<float[]>> spareframes;
    std::vector<float> scratchframes;
    std::vector<float> righthalves, lefthalves;
    std::vector<float> scratchblock;
    float* snapshot(int channel, int frame);
    void forgetedits(int channel);
    // An edited set of bins is not the analysis of its own synthesis. What
    // edits leave in the window frames is kept for the bound layer (see
    // keptframes.h) before the frames leave the window or the cache is
    // forgotten, and comes back when they are analysed again from the samples
    // it gave. Per channel and window frame: a bit per pair (floats 2p and
    // 2p + 1) that an edit set or that came back, and a state byte.
    quint64* statebits[maxchannels] = {};
    quint8* framestate[maxchannels] = {};
    enum : quint8 { carriesedit = 1, changedsincekept = 2 };

    // Frames read or written through the accessors (absolute, high end
    // excluded) since the last flush, and by the last step that touched any,
    // and how many steps in a row went back over the frames of the one
    // before: from the second such step on it is a stroke, for which the
    // window grows (follow). A single pass back (a paste after a cut) is not.
    IntRange reach, lastreach;
    int revisits = 0;
    // The frame of each channel the last read and the last edit found (see
    // quickgetbin): an edit's frame has its copy for the write-back taken.
    // Whatever moves the arrays or changes what frameat and editframe check
    // forgets them.
    struct HotFrame
    {
        int frame = std::numeric_limits<int>::min();
        float* p = nullptr;
        bool writable = false; // no pending sample edit clashes with a write
    };
    HotFrame hotread[maxchannels], hotwrite[maxchannels];
    // The floats of a bin of a hot frame (a write may compare with them), or null.
    float* hotbin(int channel, int frame, int bin, bool write) const
    {
        if (unsigned(channel) >= unsigned(maxchannels) || bin < selectionbins.low || bin > selectionbins.high
            || bin > fftsize / 2)
            return nullptr;
        const HotFrame& w = hotwrite[channel];
        const HotFrame& r = hotread[channel];
        float* p = frame == w.frame ? w.p : frame == r.frame && (r.writable || !write) ? r.p : nullptr;
        return !p ? nullptr : bin == 0 ? p : bin == fftsize / 2 ? p + 1 : p + 2 * qint64(bin);
    }
    void forgethot()
    {
        std::fill(std::begin(hotread), std::end(hotread), HotFrame());
        std::fill(std::begin(hotwrite), std::end(hotwrite), HotFrame());
    }
    bool ensurestorage();
    float* runframe(int channel, int frame, int firstbin, int count, bool write, IntRange& bins);
    void freestorage();
    // The arrays of one channel, the time arrays from index -margin on.
    struct Arrays
    {
        float* a = nullptr;
        float* b = nullptr;
        float* d = nullptr;
        float* e = nullptr;
        float* spectrum = nullptr;
        quint64* bits = nullptr;
        quint8* state = nullptr;
    };
    bool makearrays(Arrays& a, int samples) const;
    void install(int channel, Arrays& a);
    static void release(Arrays& a);
    void follow(int frame);
    float* frameat(int channel, int frame, bool write);
    float* editframe(int channel, int frame, float* p);
    void notereach(int frame)
    {
        reach = {std::min(reach.low, frame), std::max(reach.high, frame + 1)};
    }
    qint64 heldsnapshots() const;
    int growablesamples() const;
    void placewindow(double time, int samples);
    void analyzenew(int first, int last);
    int pairwords() const { return (fftsize / 2 + 63) / 64; }
    quint64 settingkey() const;
    void keepframes(int firstframe, int lastframe);
    void restorekept(int firstframe, int lastframe);
    quint64 centralhash(int channel, int frame) const;
    void markchanged(int channel, qint64 low, qint64 high);
    void synthesizechange(int channel, bool band, qint64& low, qint64& high, int& framelow, int& framehigh);
    void analyzeinto(int channel, int first, int last, float* frames);
    void writechanged(qint64 low, qint64 high, int framelow, int framehigh, qint64 samplelow, qint64 samplehigh);
    void buildwindows();
    void forgetcache(bool keep = true);
    bool hasselection() const;
    void updateselectionranges();
    void selectionband(int& lowbin, int& highbin) const;
    bool channelrange(int channel, int& first, int& last) const;
    bool passframes(double t, double dt, int& firstframe, int& lastframe) const;
    void forwardpass(float* const* time, int lowbin, int highbin, double t, double dt, int channel,
                     bool accumulate = false);
    void inversepass(float* const* time, float* const* copyfrom, bool transform, int lowbin,
                     int highbin, double t, double dt, int channel);
    bool clash(IntRange samples, IntRange frames) const;
    bool reachable(qint64 sample) const;
    bool inwindowsamples(int sample) const;
    bool inwindowframes(int frame) const;
    void setvalidranges();
    // Floats of the snapshots of edited frames that a Buffer holds before it
    // writes them back, and of the blocks of frames its write-backs and
    // relocations transform at once: the memory of a long edit stays bounded.
    static constexpr qint64 snapshotfloats = qint64(4) << 20;
    static constexpr qint64 scratchlimit = qint64(2) << 20;
};
