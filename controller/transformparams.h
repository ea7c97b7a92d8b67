#pragma once
// The transform parameters as the spectral caches accept them: the controller
// clamps what the shell's lists report the same way before it stores or sends
// anything, so no view or cache ever sees a size or hop of zero.

// Window types 0 Rectangular .. 4 Blackman-Harris; anything else is 4.
inline int clampwindowtype(int type)
{
    return type >= 0 && type <= 4 ? type : 4;
}

// Window lengths are powers of two from 64 to 65536; others round down.
inline int clampfftsize(int size)
{
    if (size <= 64)
        return 64;
    if (size >= 65536)
        return 65536;
    int power = 64;
    while (power * 2 <= size)
        power *= 2;
    return power;
}

// Frames per window length, 2 to 16.
inline int clampoverlap(int overlap)
{
    return overlap < 2 ? 2 : (overlap > 16 ? 16 : overlap);
}
