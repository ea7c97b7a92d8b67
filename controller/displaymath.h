#pragma once
// The arithmetic of the visible time-frequency area, kept free of widgets so
// that every rule (clamps, zoom and pan steps, scroll-bar scales, edge edits)
// can be checked on its own. An area is x = start (s), y = top (Hz),
// width = length (s), height = minus the frequency span (Hz).
#include <QRectF>
#include <optional>

#include "core/globals.h"

// An area never collapses below these; views divide by both.
constexpr double mindisplaylength = 0.001;
constexpr double mindisplayspan = 1.0;

// What the area is clamped to: the project format and the span of all layers.
struct DisplayExtent
{
    int samplerate = 0;      // project rate; 0 = no project format
    bool haslayers = false;  // the layer list has its all-layers container
    double start = unsettime; // span start of all layers
    double length = 0;        // span length of all layers
    int layersrate = 0;       // sample rate of the all-layers container
};

// Truncation toward zero into an int; out-of-range values saturate and a
// value that is not a number gives 0, so no conversion is undefined.
int truncint(double value);
// Rounding half up into an int with the same saturation.
int roundint(double value);

bool isfinitearea(const QRectF& area);

// The area as it is stored: refused (nullopt) when not finite, never shorter
// than 0.001 s nor narrower than 1 Hz, and with a project kept inside
// 0 .. samplerate / 2 and inside the span of all layers.
std::optional<QRectF> clampdisplayarea(QRectF area, const DisplayExtent& extent);

// One zoom step: both edges move inward (direction > 0) or outward (< 0) by
// a fifteenth of the size; 0 leaves the area as it is.
QRectF zoomtime(QRectF area, int direction);
QRectF zoomfreq(QRectF area, int direction);
// One pan step of a fortieth of the size: later (direction > 0) or earlier,
// higher (direction > 0) or lower.
QRectF pantime(QRectF area, int direction);
QRectF panfreq(QRectF area, int direction);

struct ScrollSetting
{
    int minimum = 0;
    int maximum = 0;
    int pagestep = 0;
    int value = 0;
    bool operator==(const ScrollSetting&) const = default;
};

// The time bar counts tenths of a second of the start; the frequency bar
// counts -10 Hz steps of the low edge, so its top position is the highest band.
ScrollSetting timescrollsetting(const QRectF& area, double spanstart, double spanlength);
ScrollSetting freqscrollsetting(const QRectF& area, int layersrate);

// The area a scroll-bar value stands for, or nullopt when the value already
// agrees with the area (which ends the echo between bar and controller).
std::optional<QRectF> areafortimescroll(const QRectF& area, int value);
std::optional<QRectF> areaforfreqscroll(const QRectF& area, int value);

// The six edge spin boxes of the shell.
enum class DisplayEdge { start, end, length, low, high, range };

// The area after one edge was typed, or nullopt when the typed value agrees
// with the current one (compared at millisecond or whole-hertz precision) or
// is not finite. The other edges are kept; lengths and spans never reach 0.
std::optional<QRectF> editdisplayedge(const QRectF& area, DisplayEdge edge, double value);
