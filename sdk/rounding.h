#pragma once
// Seconds to samples, frames to bins and pixel distances round to the nearest
// integer with halves upward, also for negative values: floor(x + 0.5).
// Qt's qRound rounds halves away from zero (qRound(-2.5) == -3), so it is not
// used for these conversions.
#include <cmath>
#include <cstdint>

inline int roundhalfup(double x)
{
    return static_cast<int>(std::floor(x + 0.5));
}

inline std::int64_t roundhalfup64(double x)
{
    return static_cast<std::int64_t>(std::floor(x + 0.5));
}

// roundhalfup for positions computed from outside input (selections, areas,
// frequencies): held inside +-2147418112 so that the int conversion is always
// defined; not-a-number gives 0.
inline int roundhalfupclamped(double x)
{
    if (std::isnan(x))
        return 0;
    if (x < -2147418112.0)
        x = -2147418112.0;
    if (x > 2147418112.0)
        x = 2147418112.0;
    return roundhalfup(x);
}
