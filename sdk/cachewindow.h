#pragma once
// How much of a layer the host keeps analysed at once, for plugins that write
// long areas into the clipboard: the host's cache holds a window of
// `cachewindowsamples` samples around the last sample or bin asked for, and
// bins written there stay exactly as written only while they are in it.
#include <algorithm>

constexpr int cachewindowsamples = 131072;

// Frames that the host's accessors reach from either end of the window
// without moving it, with `windowframes` frames in the window.
constexpr int cachewindowedge(int windowframes, int overlap)
{
    return std::max(std::clamp(overlap, 1, std::max(windowframes / 4, 1)), overlap / 2);
}

// A run of consecutive frames this long (and one more) written into the
// clipboard, from any frame on, is still there as written when an area
// transfer reads it right after: a filter that writes and commits its area
// in such runs does not depend on what the host keeps beyond its window.
constexpr int cachedrun(int fftsize, int overlap)
{
    const int hop = overlap > 0 ? fftsize / overlap : 0;
    if (hop <= 0)
        return 1;
    const int frames = cachewindowsamples / hop;
    return std::max(frames / 2 - cachewindowedge(frames, overlap) - 1, 1);
}
