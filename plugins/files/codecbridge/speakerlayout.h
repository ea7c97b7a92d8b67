#pragma once
// Channel layouts as the converter names them on its stream lines, read to a
// channel count and a speaker mask (WAVE channel bits, in the order the
// converter writes the channels).
#include <QString>

struct SpeakerLayout
{
    int channels = 0;    // 0: the name is not known
    int speakermask = 0; // 0: no mask known for this layout
};

// "stereo", "5.1(side)", "7.1", "10 channels", ...
SpeakerLayout speakerlayout(const QString& name);

// The mask the system assumes for a bare channel count (0 outside 1..8).
int defaultspeakermask(int channels);
