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

// Forward: windowed samples of `timedata` into the frames of `spectrumdata`.
// Only the floats of bins lowbin..highbin are stored; the rest of a frame keeps
// its previous contents.
class threadR2C : public QThread
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
    float* scratch1 = nullptr;
    float* scratch2 = nullptr;
    kiss_fftr_cfg plan = nullptr;
    // Run the batches through the four-lane layout (interleaved groups) instead
    // of transforming each frame straight from its contiguous floats. Both give
    // the same values; the direct way saves the interleaving round trip.
    bool fourlane = false;

    threadR2C(float* timedata, float* spectrumdata, float* window, int fftsize, int overlap,
              int firstframe, int lastframe, int lowbin, int highbin,
              kiss_fftr_cfg plan = nullptr);
    ~threadR2C() override;

protected:
    void run() override;

private:
    float* lane = nullptr;
    bool ownplan = false;
};

// Inverse with overlap-add: the central 2 x hop samples of every frame, weighted
// by the synthesis window, are added into `timedata`. The first frame adds only
// its right half and the last only its left half, so two workers that share
// their boundary frame write disjoint sample spans. Bins outside
// lowbin..highbin are silenced.
class threadC2R : public QThread
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
    float* scratch1 = nullptr;
    float* scratch2 = nullptr;
    kiss_fftr_cfg plan = nullptr;
    bool fourlane = false;

    threadC2R(float* timedata, float* spectrumdata, float* window, int fftsize, int overlap,
              int firstframe, int lastframe, int lowbin, int highbin,
              kiss_fftr_cfg plan = nullptr);
    ~threadC2R() override;

protected:
    void run() override;

private:
    float* lane = nullptr;
    bool ownplan = false;
};

// True when the calling thread's stack gives 16-byte alignment to an aligned
// local; otherwise logs `what` with the address and returns false.
bool workerstackaligned(const char* what);
