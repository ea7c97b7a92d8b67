#include "analysiswindow.h"

#include <cmath>
#include <vector>

namespace {

// The largest power of two in low..high (both powers of two) not above value.
int powerbelow(int value, int low, int high)
{
    int p = low;
    while (p < high && p * 2 <= value)
        p *= 2;
    return p;
}

} // namespace

int clampfftsize(int size)
{
    return powerbelow(size, 64, 65536);
}

int clampfftoverlap(int overlap)
{
    return powerbelow(overlap, 2, 16);
}

void fillanalysiswindow(float* dst, int type, int size, bool subwin)
{
    const int n = size;
    std::vector<double> w(n), a(n);
    for (int j = 0; j < n; ++j) {
        const double x = double(j) / n;
        switch (type) {
        case 0:
            w[j] = 1.0;
            break;
        case 1:
            w[j] = 1.0 - std::fabs(2.0 * x - 1.0);
            break;
        case 2:
            w[j] = 0.5 - 0.5 * std::cos(6.2831853072 * x);
            break;
        case 3:
            w[j] = 0.42 - 0.5 * std::cos(6.2831853072 * x) + 0.08 * std::cos(12.5663706144 * x);
            break;
        default:
            w[j] = 0.35875 - 0.48829 * std::cos(6.2831853072 * x) + 0.14128 * std::cos(12.5663706144 * x)
                   - 0.01168 * std::cos(18.8495559216 * x);
            break;
        }
    }
    for (int j = 0; j < n; ++j)
        a[j] = w[j];
    if (subwin) {
        // The window decimated by two is added into the middle half.
        for (int j = n / 4; j < 3 * n / 4; ++j)
            a[j] = w[j] + w[2 * (j - n / 4)];
        for (int j = 0; j < n; ++j)
            a[j] *= 0.5;
    }
    double sum = 0;
    for (int j = 0; j < n; ++j)
        sum += a[j];
    const double scale = sum > 0 ? 2.0 / sum : 0.0;
    for (int j = 0; j < n; ++j)
        dst[j] = float(a[j] * scale);
}
