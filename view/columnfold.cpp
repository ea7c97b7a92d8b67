#include "columnfold.h"

#include <algorithm>
#include <cmath>

namespace {

typedef float vgroup __attribute__((vector_size(32)));
typedef int ivgroup __attribute__((vector_size(32)));
static_assert(sizeof(vgroup) == lanefft::lanes * sizeof(float));

// An unaligned group, loaded straight into a register.
typedef float uvgroup __attribute__((vector_size(32), aligned(4)));
#define loadgroup(p) (*reinterpret_cast<const uvgroup*>(p))

// Lane-wise: the strongest bin of each row (the first of equals, as a scan
// upwards finds it).
LANECLONES void strongest(const lanefft& fft, int rows, const int* low, const int* high, vgroup* re, vgroup* im)
{
    for (int r = 0; r < rows; ++r) {
        vgroup br = loadgroup(fft.real(low[r])), bi = loadgroup(fft.imag(low[r]));
        vgroup bp = br * br + bi * bi;
        for (int b = low[r] + 1; b <= high[r]; ++b) {
            const vgroup xr = loadgroup(fft.real(b)), xi = loadgroup(fft.imag(b));
            const vgroup xp = xr * xr + xi * xi;
            const ivgroup stronger = xp > bp;
            bp = stronger ? xp : bp;
            br = stronger ? xr : br;
            bi = stronger ? xi : bi;
        }
        re[r] = br;
        im[r] = bi;
    }
}

// re and im: one group per row, eight floats apart.
LANECLONES void foldlanes(int rows, const float* re, const float* im, int from, int to, float* column)
{
    const ivgroup lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const ivgroup inrun = (lane >= from) & (lane < to);
    const vgroup none = vgroup{} - 1.0f;
    const ivgroup halves = {4, 5, 6, 7, 0, 1, 2, 3}, pairs = {2, 3, 0, 1, 6, 7, 4, 5}, ones = {1, 0, 3, 2, 5, 4, 7, 6};
    for (int r = 0; r < rows; ++r) {
        const vgroup xr = loadgroup(re + 8 * r), xi = loadgroup(im + 8 * r);
        const vgroup power = xr * xr + xi * xi;
        // Lanes outside the run and not-a-number lanes lose every comparison.
        const vgroup p = (inrun & (power == power)) ? power : none;
        vgroup m = __builtin_shuffle(p, halves);
        m = p > m ? p : m;
        vgroup t = __builtin_shuffle(m, pairs);
        m = m > t ? m : t;
        t = __builtin_shuffle(m, ones);
        m = m > t ? m : t;
        const float best = m[0];
        float* value = column + 2 * r;
        if (best > value[0] * value[0] + value[1] * value[1]) {
            int l = from;
            while (p[l] != best)
                ++l;
            value[0] = xr[l];
            value[1] = xi[l];
        }
    }
}

LANECLONES float peakof(const float* samples, std::ptrdiff_t count)
{
    vgroup peak = {};
    std::ptrdiff_t i = 0;
    for (; i + 8 <= count; i += 8) {
        vgroup v = loadgroup(samples + i);
        v = v < 0 ? -v : v;
        peak = v > peak ? v : peak;
    }
    float p = 0;
    for (int l = 0; l < 8; ++l)
        p = peak[l] > p ? peak[l] : p;
    for (; i < count; ++i) {
        const float v = samples[i] < 0 ? -samples[i] : samples[i];
        p = v > p ? v : p;
    }
    return p;
}

} // namespace

void columnfold::take(const lanefft& fft, int rows, const int* low, const int* high)
{
    this->rows = rows;
    if (rows <= 0)
        return;
    bool single = true;
    for (int r = 0; r < rows && single; ++r)
        single = low[r] == low[0] + r && high[r] == low[r];
    if (single) {
        rowre = fft.real(low[0]);
        rowim = fft.imag(low[0]);
        return;
    }
    if (re.size() < size_t(rows)) {
        re.resize(size_t(rows));
        im.resize(size_t(rows));
    }
    strongest(fft, rows, low, high, reinterpret_cast<vgroup*>(re.data()), reinterpret_cast<vgroup*>(im.data()));
    rowre = re.data()->lane;
    rowim = im.data()->lane;
}

void columnfold::fold(int from, int to, float* column) const
{
    foldlanes(rows, rowre, rowim, from, to, column);
}

float peaklevel(const float* samples, std::ptrdiff_t count)
{
    return peakof(samples, count);
}

void columnlevels(float* column, int rows, bool shifts)
{
    for (int r = 0; r < rows; ++r) {
        const float re = column[2 * r], im = column[2 * r + 1];
        column[2 * r] = std::sqrt(re * re + im * im);
    }
    for (int r = 0; r < rows; ++r) {
        const float power = column[2 * r];
        const float below = r > 0 ? column[2 * r - 2] : 0.0f;
        const float above = r + 1 < rows ? column[2 * r + 2] : 0.0f;
        const float a = (below + above - 2.0f * power) * 0.5f;
        const float b = a + power - below;
        float shift = 0.0f;
        if (std::fabs(a) > 1e-6f * power)
            shift = std::clamp(-b / (2.0f * a) + 0.5f, 0.0f, 1.0f);
        if (!shifts || below * 0.9f > power || above * 0.9f > power)
            shift = 0.0f;
        column[2 * r + 1] = shift;
    }
}
