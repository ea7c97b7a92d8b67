#pragma once
// The quantities the graph window shows for a spectrum cell, in the order of
// the unit list, with the vertical range and unit text of each.
#include <QString>
#include <QVector2D>

namespace spotmeter {

enum class Quantity { powerdb, powervalue, phaseradian, phasedegree, phasevelocity };
constexpr int quantitycount = 5;

struct Scale
{
    float bottom;
    float top;
    QString unit;
};
Scale scaleof(Quantity quantity);

// The value of one cell v at bin `bin`; next is the same bin one frame later,
// read only for the phase velocity.
float valueof(Quantity quantity, QVector2D v, QVector2D next, int bin, int overlap);

// How far the phase of bin `bin` moved over one hop beyond what a tone at the
// bin's centre frequency would move, in radians per window length: 0 for such
// a tone, 2 pi d for a tone d bins above it.
float phasevelocity(QVector2D v, QVector2D next, int bin, int overlap);

} // namespace spotmeter
