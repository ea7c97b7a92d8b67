#pragma once
// The data block that the host hands to tool, filter and device plugins: the
// project format, the areas, gains, display units and colours, and the twelve
// host functions through which a plugin reads and writes audio. The host writes
// every member before each tool or filter process call and when a device is
// chosen, restarted or started; a plugin only reads it.
//
// Host and plugins are built separately and share this block by pointer, so
// member order and types must never change.
//
// Buffer indices in the callbacks: 0 the mix, 1 the current layer, 2 the
// clipboard (the plugins' scratch area). Areas: x start time in seconds,
// y top frequency in Hz, width duration in seconds, height minus the bandwidth.
// A spectrum frame of window size N holds bins 0 .. N/2; frame j is centred on
// sample j * (fftsize / overlap). Refused calls (bad buffer, channel, window,
// lobe or position) read 0 and write nothing.
#include <QColor>
#include <QRectF>
#include <QVector2D>

class DataInterface
{
public:
    int samplerate = 0;   // project sample rate, Hz
    int channels = 0;     // project channel count
    int speakermask = 0;  // WAVE speaker bits; channel c is the (c+1)-th set bit
    int channelmask = 0;  // channels switched on: bit c = channel c
    int fftsize = 0;      // transform window length N
    int overlap = 0;      // frames per window length; hop = fftsize / overlap
    bool areaselected = false; // a time-frequency selection exists
    QRectF mixarea;       // the mix's extents, or the selection
    QRectF layerarea;     // the current layer's extents, or the selection
    QRectF clipboardarea; // the clipboard's extents, or the selection
    float buffergain[3] = {0, 0, 0}; // gain of each buffer as heard
    float unittime = 0;   // display unit codes (Units menu)
    float unitfreq = 0;
    float unitpow = 0;
    float unitphase = 0;
    QColor colormix;
    QColor colorselect;
    QColor colorclipboard;

    // Time-domain samples of a buffer's layer (absolute sample index).
    float (*getsample)(int buffer, int channel, int sample) = nullptr;
    void (*setsample)(int buffer, int channel, int sample, float value) = nullptr;
    // One bin of one frame as (re, im); bin 0 gives (DC, 0), bin N/2 (0, Nyquist).
    QVector2D (*getbin)(int buffer, int channel, int frame, int bin) = nullptr;
    void (*setbin)(int buffer, int channel, int frame, int bin, float re, float im) = nullptr;
    // Entry 0 .. fftsize-1 of the analysis window (its values sum to 2).
    float (*getwindow)(int index) = nullptr;
    // Window-lobe magnitude at binoffset bins from a unit sinusoid (1 at 0),
    // in steps of 1/16 bin.
    float (*getlobe)(float binoffset) = nullptr;
    // From the magnitudes of bins k-1, k, k+1: (offset of the sinusoid from bin
    // k in bins, its amplitude).
    QVector2D (*estimatepeak)(float left, float centre, float right) = nullptr;
    // Bin-by-bin operation on a rectangle between two buffers; both layers hold
    // the result when it returns. Modes: 0 empty the destination, 1 move with
    // shift, 3 clear, 4 cut, 5 copy, 6 add, 7 subtract, 8 keep the quieter,
    // 9 keep the louder.
    void (*transferarea)(int srcbuffer, int dstbuffer, QRectF area, int channelmask, int mode,
                         float dtime, float dfreq) = nullptr;
    float (*fastsqrt)(float x) = nullptr;
    float (*fastatan2)(float y, float x) = nullptr;
    float (*fastsin)(float x) = nullptr; // x in -pi .. pi
    float (*fastcos)(float x) = nullptr; // x in -pi .. pi
};
