#pragma once
// The texts a channel view writes: grid labels and the rows of the read-out
// box at the pointer, in the display units the user chose. Pure functions, so
// that every unit can be checked without OpenGL. A null QString means "no
// text for this unit".
#include <QChar>
#include <QString>

// The bitmap font holds π in the cell of this character code.
constexpr char16_t piglyph = 0xA0;

// Note names of the twelve semitones from C, two characters each.
extern const char* const notenames[12];

// "[- ]MM:SS.mmm" of a time in seconds: a "- " for negative times, then the
// absolute value truncated to the millisecond. `tolerance` (in milliseconds)
// lets a value that misses a whole millisecond only by rounding errors count
// as that millisecond.
QString clocktime(double seconds, double tolerance = 0);

// Label of a time grid line at display value d (seconds scaled to the unit):
// the clock form for code 0, else d with six significant digits.
QString gridtimelabel(double d, float unittime);
// Label of a linear frequency grid line at display value d: "d" (Hz),
// "dx2π" (radians per window) or "dx360" (degrees per window).
QString gridfreqlabel(double d, float unitfreq);
// Label of note i of the note grid (i = 0 is the C of octave 0).
QString gridnotelabel(int i);
// Label of line i of the octave grid at frequency f: whole octaves by their
// frequency, the sixths 2, 3 and 4 as fractions, the others empty.
QString gridoctavelabel(int i, double f);

// Read-out rows.
QString readoutchannel(int channel, double dispx);
QString readouttime(double t, float unittime, int samplerate, int fftsize, int fftoverlap);
QString readoutfreq(double f, float unitfreq, int samplerate, int fftsize);
// Level row of layer slot 0 (mix), 1 (current layer) or 2 (clipboard) for a
// map value of the level display (mult and gamma as the map applied them).
QString readoutlevel(int slot, float value, float unitpow, int mult, int gamma);
// Phase-velocity row of a slot for a map value of the phase display (0 is -π,
// 1 is +π) at frequency f.
QString readoutphase(int slot, float value, float unitphase, double f, int samplerate, int fftsize);
