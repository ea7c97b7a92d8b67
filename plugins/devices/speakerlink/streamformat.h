#pragma once
// What the stream sent to OpenAL looks like for a project format: the 16-bit
// buffer format by channel count, the order of its channels by speaker mask,
// the output rate by project rate, and the conversion of one float sample.
#include <array>
#include <cmath>
#include <cstdint>

#include "speakermix.h"

struct StreamFormat {
    int channels;
    const char* name; // the enum name the implementation must know
    int value;        // the value handed to alBufferData
};

// Channel counts without an entry (0, 3, 5, more than 8) cannot be played.
inline const StreamFormat* streamformat(int channels)
{
    static const StreamFormat formats[] = {
        {1, "AL_FORMAT_MONO16", 0x1101},   {2, "AL_FORMAT_STEREO16", 0x1103},
        {4, "AL_FORMAT_QUAD16", 0x1205},   {6, "AL_FORMAT_51CHN16", 0x120B},
        {7, "AL_FORMAT_61CHN16", 0x120E},  {8, "AL_FORMAT_71CHN16", 0x1211},
    };
    for (const StreamFormat& f : formats)
        if (f.channels == channels)
            return &f;
    return nullptr;
}

// The host's channels follow its speaker mask (WAVE bits, lowest first);
// OpenAL's formats have an order of their own: quad FL FR BL BR, 5.1 FL FR FC
// LFE BL BR, 6.1 FL FR FC LFE BC SL SR, 7.1 FL FR FC LFE BL BR SL SR. The
// result names for each channel of the OpenAL format the host channel that
// feeds it. A slot takes the host channel on its own speaker, else the one on
// the neighbouring surround speaker (side for back, back for side); channels
// still left over fill the slots still free in order, so none goes silent. A
// mask that does not describe the channels keeps the host's order.
inline std::array<int, 8> speakerorder(int channels, int speakermask)
{
    using namespace speakermix;
    struct Slot {
        int speaker;
        int instead;
    };
    static const Slot quad[] = {{FL, 0}, {FR, 0}, {BL, SL}, {BR, SR}};
    static const Slot x51[] = {{FL, 0}, {FR, 0}, {FC, 0}, {LFE, 0}, {BL, SL}, {BR, SR}};
    static const Slot x61[] = {{FL, 0}, {FR, 0}, {FC, 0}, {LFE, 0}, {BC, 0}, {SL, BL}, {SR, BR}};
    static const Slot x71[] = {{FL, 0}, {FR, 0}, {FC, 0}, {LFE, 0}, {BL, SL}, {BR, SR}, {SL, BL}, {SR, BR}};

    std::array<int, 8> order{};
    for (int i = 0; i < 8; ++i)
        order[i] = i;
    const Slot* places = channels == 4   ? quad
                         : channels == 6 ? x51
                         : channels == 7 ? x61
                         : channels == 8 ? x71
                                         : nullptr;
    std::array<int, 8> speaker{}; // of each host channel
    int count = 0;
    for (int bit = 0; bit < 31 && count <= channels; ++bit)
        if ((speakermask >> bit) & 1) {
            if (count < 8)
                speaker[count] = 1 << bit;
            ++count;
        }
    if (!places || count != channels)
        return order;

    for (int s = 0; s < channels; ++s)
        order[s] = -1;
    std::array<bool, 8> taken{};
    auto assign = [&](auto wanted) {
        for (int s = 0; s < channels; ++s)
            for (int c = 0; c < channels && order[s] < 0; ++c)
                if (!taken[c] && wanted(places[s], speaker[c])) {
                    order[s] = c;
                    taken[c] = true;
                }
    };
    assign([](const Slot& slot, int at) { return at == slot.speaker; });
    assign([](const Slot& slot, int at) { return at == slot.instead; });
    assign([](const Slot&, int) { return true; });
    return order;
}

struct OutputRate {
    int rate; // what OpenAL is told
    int step; // project samples per output sample
};

// The high studio rates are halved or quartered by keeping every step-th
// sample; every other rate is played as it is.
inline OutputRate outputrate(int projectrate)
{
    switch (projectrate) {
    case 88200: return {44100, 2};
    case 176400: return {44100, 4};
    case 96000: return {48000, 2};
    case 192000: return {48000, 4};
    default: return {projectrate, 1};
    }
}

// Full scale is 32768; the value is clamped while still a float so that huge
// values and infinities saturate and NaN becomes silence instead of an
// undefined conversion, then cut toward zero.
inline std::int16_t tosample16(float value)
{
    float v = value * 32768.0f;
    if (std::isnan(v))
        return 0;
    if (v >= 32767.0f)
        return 32767;
    if (v <= -32768.0f)
        return -32768;
    return static_cast<std::int16_t>(v);
}
