#pragma once
// Time, frequency and cell indices round to the nearest integer with halves
// upward, also for negative values: floor(x + 0.5), so -2.5 gives -2 and 2.5
// gives 3. Plugins cannot link the program's core, hence this copy. Values
// beyond the int range (a pointer far outside any layer) are clamped instead of
// overflowing.
#include <climits>
#include <cmath>

namespace toolframe {

inline int roundhalfup(double x)
{
    const double r = std::floor(x + 0.5);
    if (std::isnan(r))
        return 0;
    if (r <= double(INT_MIN))
        return INT_MIN;
    if (r >= double(INT_MAX))
        return INT_MAX;
    return static_cast<int>(r);
}

} // namespace toolframe
