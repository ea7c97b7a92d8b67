#pragma once
// The grid a channel view draws for its display area and units: each line's
// position, its brightness and its label. Pure functions over gridlines.h and
// labeltexts.h, so that the grid can be checked without OpenGL.
#include <QRectF>
#include <QSize>
#include <QString>
#include <QVector>

struct GridMark
{
    double position = 0; // seconds for time lines, Hz for frequency lines
    double grey = 0;     // 0.15 for the lines that stand out, else 0.07
    QString label;       // may be empty: the line has no text
};

// Time lines of a display area (x start s, width s) in the time unit; empty
// when the unit draws no time grid.
QVector<GridMark> timegridmarks(const QRectF& area, float unittime, int samplerate, int fftsize, int fftoverlap);

// Frequency lines of a display area (y top Hz, height minus the span) shown
// `heightpixels` high, in the frequency unit. The note and octave grids skip
// the finer lines closer than 11 pixels to the line drawn before.
QVector<GridMark> freqgridmarks(const QRectF& area, int heightpixels, float unitfreq, int samplerate, int fftsize);

// Texture columns per transform window of the texture the phase-velocity
// display uses: the current layer's when it has one, else the mix's, else 0.
// Below 2 the display cannot show phase velocity.
double phasecolumnsperwindow(const QRectF texarea[3], const QSize texres[3], int samplerate, int fftsize);
