#pragma once
// Channel names from the speaker bits of a WAVE extensible channel mask.
#include <QString>

// The name of the speaker bit `bit` (a single set bit), "Undefined" for bits
// without a speaker name.
QString speakername(unsigned bit);

// Channel c is named after the (c + 1)-th set bit of the mask, counted from
// bit 0; a channel beyond the mask's bits is "Undefined", as the channel list
// shows a channel that was never named.
QString channelname(int speakermask, int channel);
