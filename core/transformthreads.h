#pragma once
// The transforms of a Buffer pass. A job takes an inclusive range of frames of
// one channel (frame indices relative to the cache window), eight frames per
// batch, one per lane of the lane transform (lanefft.h). The passes hand their jobs to a small pool of workers started once,
// each with its own scratch and plans; `threadR2C` and `threadC2R` run one job
// on a thread of their own, for callers outside a pass.
//
// Threads: the pool's workers are started once for the process. A pass may be
// run from any thread (the window's, a device run's, a tool step's); it
// returns when its jobs are done, and the jobs' arrays stay the caller's.
#include <QThread>

#include <memory>
#include <vector>

class lanefft;

// One run of frames through a transform; `window` is the analysis window for
// the forward direction and the synthesis window for the inverse one.
struct TransformJob
{
    bool inverse = false;
    float* timedata = nullptr;
    float* spectrumdata = nullptr;
    const float* window = nullptr;
    int fftsize = 0;
    int overlap = 0;
    int firstframe = 0;
    int lastframe = -1;
    int lowbin = 0;
    int highbin = 0;
    // Forward only: add the band's bins to the frames instead of storing them
    // (the analysis of a change of the signal, added to frames that hold more
    // than the analysis of the signal).
    bool accumulate = false;
    // Frame f of the run is frame f - spectrumoffset of `spectrumdata`, so that
    // a pass can take its frames from (or put them into) a block of its own.
    int spectrumoffset = 0;
    // Inverse only: the left halves of the frames go here instead (indexed
    // as `timedata`), so that the two halves that meet on a sample can be
    // added to it one at a time.
    float* lefthalves = nullptr;
};

TransformJob transformjob(bool inverse, float* timedata, float* spectrumdata, const float* window, int fftsize,
                          int overlap, int firstframe, int lastframe, int lowbin, int highbin);

// Scratch arrays and plans of one worker, kept for the size last used.
class TransformScratch
{
public:
    TransformScratch() = default;
    TransformScratch(const TransformScratch&) = delete;
    TransformScratch& operator=(const TransformScratch&) = delete;
    ~TransformScratch();
    // Sizes everything for transforms of size n; false when memory ran out.
    bool prepare(int n);
    std::unique_ptr<lanefft> fft;
    float* rows = nullptr; // a frame of N floats per lane

private:
    void release();
    int size = 0;
};

// Forward: windowed samples of `timedata` into the frames of `spectrumdata`.
// Only the floats of bins lowbin..highbin are stored; the rest of a frame keeps
// its previous contents, the DC and Nyquist slots included.
// Inverse with overlap-add: the central 2 x hop samples of every frame, weighted
// by the synthesis window, are added into `timedata`. The first frame adds only
// its right half and the last only its left half, so two jobs that share their
// boundary frame write disjoint sample spans. Bins outside lowbin..highbin are
// silenced.
// A frame gives the same bits whatever frames share its batch, so jobs may
// be cut anywhere: an analysis kept and one made again agree.
void runtransform(const TransformJob& job, TransformScratch& scratch);

// Runs the jobs on the pool's workers, all at once, and returns when every one
// has ended. Jobs must not write the same floats. Safe from several threads.
void runtransformjobs(const std::vector<TransformJob>& jobs);

// A job on a thread of its own; the destructor waits for the thread to end.
class transformthread : public QThread
{
public:
    ~transformthread() override;

protected:
    transformthread(bool inverse, float* timedata, float* spectrumdata, float* window, int fftsize,
                    int overlap, int firstframe, int lastframe, int lowbin, int highbin);
    void run() override;
    TransformJob job;
};

class threadR2C : public transformthread
{
public:
    threadR2C(float* timedata, float* spectrumdata, float* window, int fftsize, int overlap,
              int firstframe, int lastframe, int lowbin, int highbin)
        : transformthread(false, timedata, spectrumdata, window, fftsize, overlap, firstframe, lastframe,
                          lowbin, highbin)
    {
    }
    // Joins here, while run() is still this class's.
    ~threadR2C() override { wait(); }
};

class threadC2R : public transformthread
{
public:
    threadC2R(float* timedata, float* spectrumdata, float* window, int fftsize, int overlap,
              int firstframe, int lastframe, int lowbin, int highbin)
        : transformthread(true, timedata, spectrumdata, window, fftsize, overlap, firstframe, lastframe,
                          lowbin, highbin)
    {
    }
    ~threadC2R() override { wait(); }
};

// True when the calling thread's stack gives 16-byte alignment to an aligned
// local; otherwise logs `what` with the address and returns false.
bool workerstackaligned(const char* what);
