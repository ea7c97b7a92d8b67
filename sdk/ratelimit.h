#pragma once
// The highest sample rate a layer, a project or an imported file may have.
// The Buffer addresses a layer's samples by 32-bit index and playback bounds
// its buffers by frames, so no rate is too high for either as such; but at a
// rate beyond this one less than a minute fits in the Buffer's reach, which
// is no recording anyone edits: such a rate is a damaged header's claim.
#include <QString>

inline constexpr int maxsamplerate = 32000000;

// The rates, as the messages name them.
inline QString samplerateslimits()
{
    return QStringLiteral("1 Hz to %1 MHz").arg(maxsamplerate / 1000000);
}
