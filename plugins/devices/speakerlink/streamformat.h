#pragma once
// What the stream sent to OpenAL looks like for a project format: the 16-bit
// buffer format by channel count, the output rate by project rate, and the
// conversion of one float sample.
#include <cmath>
#include <cstdint>

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
