#pragma once
// Where the grid lines of a channel view lie, for the current display units,
// and how a pointer position snaps to them. Pure functions: the grid drawing
// and the input handlers of GLChannel share them, and the tests call them
// without a view.
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QVector>

// Pixel distance along one axis: v x pixels / units, rounded half up. A zero
// or non-finite scale has no pixel distance (distance() returns
// unreachable), so nothing is ever "within reach" on it.
struct AxisScale
{
    double pixels = 0;
    double units = 0;

    static constexpr int unreachable = 2147418112;
    bool valid() const;
    int distance(double v) const;
    // The distance where one exists, else 0: for offsets that are added to
    // something, never compared with a reach.
    int offset(double v) const;
};

// Factor from seconds to the time display unit (0, -1 seconds; -2 samples;
// -3 windows; -4 transform frames; a positive code counts per minute).
// 0 when the unit draws no time grid or the transform parameters leave the
// unit undefined.
double timeunitfactor(float unittime, int samplerate, int fftsize, int fftoverlap);

// Factor from Hz to a linear frequency unit (-10 Hz, -11 and -12 cycles per
// window); 0 for the tone grids (-13, -14), other codes and undefined units.
double frequnitfactor(float unitfreq, int samplerate, int fftsize);

// Grid step for a span in display units: 1, 0.5 or 0.2 x 10^e with at least
// five steps in the span. 0 for a span that is not positive and finite.
double gridstep(double span);

// Display values of the lines of one linear axis: from step x floor(low /
// step), adding the step, while below step x floor(high / step) + step, the
// step chosen for `span`. The values accumulate by addition, as the grid
// draws them (a line at exactly 0 is drawn brighter). Empty when the step is
// 0 or the values are too large for the step to advance them; never more
// than maxgridlines values.
constexpr int maxgridlines = 1000;
QVector<double> gridvalues(double low, double high, double span);

// One line of the note (-13) or octave (-14) grid: its index i, frequency and
// whether it starts an octave (drawn and snapped to always; the others only
// when far enough from the line before).
struct ToneLine
{
    int index = 0;
    double frequency = 0;
    bool octave = false;
};
// Notes: i = 0..143, 440 x 2^(i / 12 - 4.75). Octaves: i = -30..71,
// 1000 x 2^(i / 6). Empty for every other code.
QVector<ToneLine> tonelines(float unitfreq);

// Moves `value` to the line within `reach` pixels of the value reached so
// far, walking the lines in increasing order (the last one within reach wins).
double snaptolines(double value, const QVector<double>& lines, const AxisScale& scale, int reach = 6);

// The same over tone lines: a line that does not start an octave is a
// candidate only when it lies more than `gap` pixels above the last octave
// line (starting at 0 Hz).
double snaptotones(double value, const QVector<ToneLine>& lines, const AxisScale& scale, int reach = 6,
                   int gap = 10);

// What snapping needs of a view: its display area (x start s, y top Hz,
// width s, height minus the span in Hz), its size in pixels and the
// transform parameters that define the units.
struct SnapFrame
{
    QRectF area;
    QSize size;
    int samplerate = 0;
    int fftsize = 0;
    int fftoverlap = 0;
};

// Snaps a position (s, Hz) to the grid lines of the given units, each axis on
// its own; an axis whose unit has no grid keeps its value.
QPointF snapposition(QPointF position, const SnapFrame& frame, float unittime, float unitfreq);
