#pragma once
// The text of the status line: the project format, the span of all layers and
// the time cursor in the time unit the user has chosen.
#include <QString>
#include <optional>

struct StatusInputs
{
    int samplerate = 0;     // project rate R
    int channels = 0;       // project channel count K
    double spanstart = 0;   // S; 2147418112.0 or more: no layer holds samples
    double spanlength = 0;  // L
    double timecursor = 0;  // T
    int fftsize = 0;        // N
    int fftoverlap = 0;     // O
    float unittime = 0;     // the time unit code
};

// The clock form "-mm:ss.zzz" (a space in place of the sign when positive).
QString clocktext(double seconds);

// The line for the inputs, or nullopt for a time unit code without a form
// (no line is written then). The caller shows "No project loaded" when there
// is no project.
std::optional<QString> statusline(const StatusInputs& in);
