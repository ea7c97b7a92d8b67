#pragma once
// The two-way spectral cache of one layer: a window of 131072 samples of every
// channel held twice in the time domain (full band A, selected band B) and once
// as short-time Fourier frames, with write-back of whatever was changed.
//
// Threads: the controller makes the three on the window's thread, which binds,
// configures, flushes and reloads them. A device run (the controller's own
// thread) and a tool step (the stroke worker) call its public operations
// meanwhile: every one of them takes `guard`, so any may come from any thread;
// the transform pool works on a pass's arrays only while its caller holds it.
#include <QObject>
#include <QRectF>
#include <QVector2D>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

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
    static constexpr int cachesamples = cachewindowsamples; // samples of the window
    static constexpr int margin = 32768;          // samples before and after it
    static constexpr int timesize = cachesamples + 2 * margin; // 196608
    static constexpr int spectrumsize = 2949120;  // floats a channel may need at most
    static constexpr int maxfftsize = 65536;
    static constexpr int maxchannels = 8;
    // Absolute sample indices the window may be moved to, so that every index of
    // the window and of its frames stays well inside the int range.
    static constexpr qint64 reachlimit = 2147418112LL - 4LL * timesize;

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
    mutable std::recursive_mutex guard;

    int hop() const { return overlap > 0 ? fftsize / overlap : 0; }
    bool haswindow() const { return fftsize > 0 && overlap > 0; }
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
    void setsample(int channel, int sample, float value);
    float getsample(int channel, int sample);

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
    qint64 spectrumcapacity = 0; // floats of each channel's spectrum array
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
    // Blocks the write-backs and relocations reuse rather than allocate each
    // time: copies of frames of the current size, frames, interleaved samples.
    std::vector<std::unique_ptr<float[]>> spareframes;
    std::vector<float> scratchframes;
    std::vector<float> scratchblock;
    float* snapshot(int channel, int frame);
    void forgetedits(int channel);
    // An edited set of bins is not the analysis of its own synthesis. What
    // edits leave in the window frames is kept for the bound layer (see
    // keptframes.h) before the frames leave the window or the cache is
    // forgotten, and comes back when they are analysed again from the samples
    // it gave. Per channel and window frame: a bit per pair (floats 2p and
    // 2p + 1) that an edit set or that came back, and a state byte.
    static constexpr int statewords = 32768; // frames x words of pairs, at most
    quint64* statebits[maxchannels] = {};
    quint8* framestate[maxchannels] = {};
    enum : quint8 { carriesedit = 1, changedsincekept = 2 };

    bool ensurestorage();
    void freestorage();
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
};
