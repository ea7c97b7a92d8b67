#pragma once
// The two transform workers of a Buffer pass. Each one takes an inclusive range
// of frames of one channel (frame indices relative to the cache window), four
// frames per batch, and owns its scratch arrays. A plan of the right size and
// direction may be lent (the Buffer keeps one per worker so that a pass does
// not rebuild twiddles); without one the worker makes and frees its own. A lent
// plan is used by this worker alone while it runs, since a plan holds scratch.
// The destructor waits for the thread to end.
#include <QThread>
#include <kissfft/kiss_fftr.h>

// What both workers hold; `window` is the analysis window for the forward
// worker and the synthesis window for the inverse one.
class transformthread : public QThread
{
public:
    float* timedata;
    float* spectrumdata;
    float* window;
    int fftsize;
    int overlap;
    int firstframe;
    int lastframe;
    int lowbin;
    int highbin;
    float* scratch1 = nullptr; // (N + 2) x 4 floats each, zeroed
    float* scratch2 = nullptr;
    kiss_fftr_cfg plan = nullptr;
    // Run the batches through the four-lane layout (interleaved groups) instead
    // of transforming each frame straight from its contiguous floats. Both give
    // the same values; the direct way saves the interleaving round trip.
    bool fourlane = false;

    ~transformthread() override; // frees; the derived destructors join

protected:
    transformthread(bool inverse, float* timedata, float* spectrumdata, float* window, int fftsize,
                    int overlap, int firstframe, int lastframe, int lowbin, int highbin,
                    kiss_fftr_cfg plan);
    // False (and logged) when the stack is misaligned or the set-up failed;
    // an empty frame range is ready but has nothing to do.
    bool ready(const char* what) const;
    float* lane = nullptr;

private:
    bool ownplan = false;
};

// Forward: windowed samples of `timedata` into the frames of `spectrumdata`.
// Only the floats of bins lowbin..highbin are stored; the rest of a frame keeps
// its previous contents, the DC and Nyquist slots included.
class threadR2C : public transformthread
{
public:
    threadR2C(float* timedata, float* spectrumdata, float* window, int fftsize, int overlap,
              int firstframe, int lastframe, int lowbin, int highbin, kiss_fftr_cfg plan = nullptr);
    // Joins here, while run() is still this class's: a thread that starts
    // during the base destructor would run QThread's own event loop.
    ~threadR2C() override { wait(); }

protected:
    void run() override;
};

// Inverse with overlap-add: the central 2 x hop samples of every frame, weighted
// by the synthesis window, are added into `timedata`. The first frame adds only
// its right half and the last only its left half, so two workers that share
// their boundary frame write disjoint sample spans. Bins outside
// lowbin..highbin are silenced.
class threadC2R : public transformthread
{
public:
    threadC2R(float* timedata, float* spectrumdata, float* window, int fftsize, int overlap,
              int firstframe, int lastframe, int lowbin, int highbin, kiss_fftr_cfg plan = nullptr);
    // Joins here, while run() is still this class's: a thread that starts
    // during the base destructor would run QThread's own event loop.
    ~threadC2R() override { wait(); }

protected:
    void run() override;
};

// True when the calling thread's stack gives 16-byte alignment to an aligned
// local; otherwise logs `what` with the address and returns false.
bool workerstackaligned(const char* what);
