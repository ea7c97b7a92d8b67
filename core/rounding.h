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
