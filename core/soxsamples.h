#pragma once
// Handing raw 32-bit float sample files to sox: its format arguments, and
// whole-file passes for the peak and a copy through a gain. sox works in fixed
// point and clips at full scale, so the callers bring loud samples down before
// sox sees them and back up after.
#include <QStringList>

class QFile;

// sox's format options for a raw interleaved 32-bit float file.
QStringList soxrawformat(int samplerate, int channels);

// sox's effects and filters may overshoot a little: a peak above this level
// is brought down to it before sox sees the samples.
constexpr float soxheadroom = 0.5f;

// Largest absolute sample of the whole file, or a negative value on a read failure.
float filepeak(QFile* file);

// Streams `from` (from its start) through a gain into `to` at its current
// position; with from == to the file is scaled in place.
bool scalefile(QFile* from, QFile* to, float gain);

// The gain that brings `peak` within the headroom (1 when it already is).
float headroomgain(float peak);
