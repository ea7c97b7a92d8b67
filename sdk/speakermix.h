#pragma once
// Where the sound of each speaker goes in a layout without that speaker: the
// one table of down-mix and up-mix weights, for converting a layer to another
// channel count and for playing a layout the output cannot take. The weights
// are the usual ones (ITU-R BS.775): the centre and the surrounds reach the
// front pair at -3 dB, each surround stays on its own side, and the LFE,
// which no full-range speaker should reproduce, is left out, as the player
// of a stereo output leaves it out. Mono and stereo keep their old ways: one
// channel is doubled, two are averaged. Header only: the device plugin uses it too.
#include <array>
#include <cmath>

namespace speakermix {

// WAVE channel mask bits; the channels of a layer follow its mask, lowest bit first.
enum : int {
    FL = 0x1, FR = 0x2, FC = 0x4, LFE = 0x8, BL = 0x10, BR = 0x20, FLC = 0x40, FRC = 0x80, BC = 0x100,
    SL = 0x200, SR = 0x400, TC = 0x800, TFL = 0x1000, TFC = 0x2000, TFR = 0x4000, TBL = 0x8000,
    TBC = 0x10000, TBR = 0x20000
};

inline constexpr float half = 0.70710678f; // -3 dB

struct Share
{
    int speaker;
    float gain;
};
// One way to place a speaker's sound: up to two speakers with their weights.
struct Way
{
    Share to[2];
};
// A speaker's ways in the order they are tried: the first whose speakers
// the layout has; else the last, followed further from where it leads.
struct Rule
{
    int speaker;
    Way ways[3];
    int count;
};

inline constexpr Rule rules[] = {
    {FL, {{{{FC, 0.5f}, {0, 0}}}}, 1},
    {FR, {{{{FC, 0.5f}, {0, 0}}}}, 1},
    {FC, {{{{FL, half}, {FR, half}}}}, 1},
    {LFE, {}, 0},
    {BL, {{{{SL, 1}, {0, 0}}}, {{{FL, half}, {0, 0}}}}, 2},
    {BR, {{{{SR, 1}, {0, 0}}}, {{{FR, half}, {0, 0}}}}, 2},
    {FLC, {{{{FL, 1}, {0, 0}}}}, 1},
    {FRC, {{{{FR, 1}, {0, 0}}}}, 1},
    {BC, {{{{BL, half}, {BR, half}}}, {{{SL, half}, {SR, half}}}, {{{FL, 0.5f}, {FR, 0.5f}}}}, 3},
    {SL, {{{{BL, 1}, {0, 0}}}, {{{FL, half}, {0, 0}}}}, 2},
    {SR, {{{{BR, 1}, {0, 0}}}, {{{FR, half}, {0, 0}}}}, 2},
    {TC, {{{{FC, 1}, {0, 0}}}}, 1},
    {TFL, {{{{FL, 1}, {0, 0}}}}, 1},
    {TFC, {{{{FC, 1}, {0, 0}}}}, 1},
    {TFR, {{{{FR, 1}, {0, 0}}}}, 1},
    {TBL, {{{{BL, 1}, {0, 0}}}}, 1},
    {TBC, {{{{BC, 1}, {0, 0}}}}, 1},
    {TBR, {{{{BR, 1}, {0, 0}}}}, 1},
};

constexpr int maxchannels = 8;
// weight[o][i]: how much of input channel i goes into output channel o.
using Matrix = std::array<std::array<float, maxchannels>, maxchannels>;

// The usual speakers of a channel count (0 for counts outside 1 to 8).
inline int defaultmask(int channels)
{
    constexpr int masks[] = {0, FC, FL | FR, FL | FR | LFE, FL | FR | BL | BR, FL | FR | LFE | BL | BR,
                             FL | FR | FC | LFE | BL | BR, FL | FR | FC | LFE | BL | BR | BC,
                             FL | FR | FC | LFE | BL | BR | SL | SR};
    return channels >= 1 && channels <= maxchannels ? masks[channels] : 0;
}

// The speaker of each channel of a layout. A mask that does not describe
// that many channels (0, or left from another count) says nothing of them:
// they are taken to be the usual speakers of the count.
inline std::array<int, maxchannels> speakers(int mask, int channels)
{
    std::array<int, maxchannels> of{};
    int count = 0;
    for (int bit = 0; bit < 31; ++bit)
        count += (mask >> bit) & 1;
    if (count != channels)
        mask = defaultmask(channels);
    count = 0;
    for (int bit = 0; bit < 31 && count < maxchannels; ++bit)
        if ((mask >> bit) & 1)
            of[count++] = 1 << bit;
    return of;
}

namespace detail {

inline void route(int speaker, float gain, int outmask, const std::array<int, maxchannels>& out, int outchannels,
                  std::array<float, maxchannels>& row, int depth)
{
    if (speaker & outmask) {
        for (int o = 0; o < outchannels; ++o)
            if (out[o] == speaker)
                row[o] += gain;
        return;
    }
    if (depth > 4)
        return;
    for (const Rule& rule : rules) {
        if (rule.speaker != speaker)
            continue;
        for (int w = 0; w < rule.count; ++w) {
            const Way& way = rule.ways[w];
            const bool fits = (way.to[0].speaker & outmask) && (!way.to[1].speaker || (way.to[1].speaker & outmask));
            if (fits || w == rule.count - 1) {
                for (const Share& share : way.to)
                    if (share.speaker)
                        route(share.speaker, gain * share.gain, outmask, out, outchannels, row, depth + 1);
                return;
            }
        }
        return; // a rule without a way (the LFE): nowhere
    }
    // A speaker of no known place (a mask bit beyond the table) is heard
    // from the front, as a centre is, rather than not at all.
    route(FL, gain * half, outmask, out, outchannels, row, depth + 1);
    route(FR, gain * half, outmask, out, outchannels, row, depth + 1);
}

} // namespace detail

// The weights that take a layout of inchannels on inmask to one of
// outchannels on outmask (see speakers() for masks that do not fit). Only
// beyond 8 channels does channel i simply go to channel i.
inline Matrix matrix(int inmask, int inchannels, int outmask, int outchannels)
{
    Matrix m{};
    const std::array<int, maxchannels> in = speakers(inmask, inchannels);
    const std::array<int, maxchannels> out = speakers(outmask, outchannels);
    outmask = 0;
    for (int speaker : out)
        outmask |= speaker;
    if (in[0] == 0 || out[0] == 0) {
        for (int c = 0; c < inchannels && c < outchannels && c < maxchannels; ++c)
            m[c][c] = 1;
        return m;
    }
    for (int i = 0; i < inchannels; ++i) {
        std::array<float, maxchannels> column{};
        // One channel is the whole sound rather than a centre speaker: it
        // goes to both fronts at full level, as a pair goes back to it as
        // their average.
        if (inchannels == 1 && !(outmask & FC) && (outmask & FL) && (outmask & FR)) {
            detail::route(FL, 1, outmask, out, outchannels, column, 0);
            detail::route(FR, 1, outmask, out, outchannels, column, 0);
        } else {
            detail::route(in[i], 1, outmask, out, outchannels, column, 0);
        }
        for (int o = 0; o < outchannels; ++o)
            m[o][i] = column[o];
    }
    return m;
}

} // namespace speakermix
