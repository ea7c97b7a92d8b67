#include "lanefft.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

typedef float vgroup __attribute__((vector_size(32)));
static_assert(sizeof(vgroup) == lanefft::lanes * sizeof(float));

// The transform body: the complex transform of size m of the input's even
// and odd samples (bit-reversed load, then decimation in time, two stages
// per pass over the data), then the split into the n/2 + 1 real bins.
LANECLONES void transform(int m, const vgroup* in, vgroup* re, vgroup* im, const int* reversed, const float* twr,
               const float* twi, const float* splitr, const float* spliti)
{
    // (xr, xi) *= (wr, wi)
    const auto turn = [](vgroup& xr, vgroup& xi, float wr, float wi) {
        const vgroup r = xr * wr - xi * wi;
        xi = xr * wi + xi * wr;
        xr = r;
    };
    int stages = 0;
    while ((1 << stages) < m)
        ++stages;
    // The first stage (an odd count) or two, whose turns are trivial, are
    // done on the load into bit-reversed order: z[k], z[k + m/2], z[k + m/4]
    // and z[k + 3m/4] land side by side.
    const int half = m / 2, quarter = m / 4;
    int len; // size of the transforms done so far
    if (stages & 1) {
        for (int k = 0; k < half; ++k) {
            const int p = reversed[k];
            const vgroup x0r = in[2 * k], x0i = in[2 * k + 1], x1r = in[2 * (k + half)], x1i = in[2 * (k + half) + 1];
            re[p] = x0r + x1r;
            im[p] = x0i + x1i;
            re[p + 1] = x0r - x1r;
            im[p + 1] = x0i - x1i;
        }
        len = 2;
    } else {
        for (int k = 0; k < quarter; ++k) {
            const int p = reversed[k];
            const vgroup* x0 = in + 2 * k;
            const vgroup* x1 = in + 2 * (k + half);
            const vgroup* x2 = in + 2 * (k + quarter);
            const vgroup* x3 = in + 2 * (k + half + quarter);
            const vgroup ar = x0[0] + x1[0], ai = x0[1] + x1[1], br = x0[0] - x1[0], bi = x0[1] - x1[1];
            const vgroup cr = x2[0] + x3[0], ci = x2[1] + x3[1], dr = x2[0] - x3[0], di = x2[1] - x3[1];
            re[p] = ar + cr;
            im[p] = ai + ci;
            re[p + 2] = ar - cr;
            im[p + 2] = ai - ci;
            // d turned by -i.
            re[p + 1] = br + di;
            im[p + 1] = bi - dr;
            re[p + 3] = br - di;
            im[p + 3] = bi + dr;
        }
        len = 4;
    }
    for (; len < m; len *= 4) {
        const int step1 = m / (2 * len), step2 = m / (4 * len);
        for (int s = 0; s < m; s += 4 * len)
            for (int j = 0; j < len; ++j) {
                const int a = s + j, b = a + len, c = b + len, d = c + len;
                vgroup ar = re[a], ai = im[a], br = re[b], bi = im[b];
                vgroup cr = re[c], ci = im[c], dr = re[d], di = im[d];
                // Transforms of size 2 len: (a, b) and (c, d).
                const float w1r = twr[j * step1], w1i = twi[j * step1];
                turn(br, bi, w1r, w1i);
                turn(dr, di, w1r, w1i);
                vgroup tr = ar - br, ti = ai - bi;
                ar += br;
                ai += bi;
                br = tr;
                bi = ti;
                tr = cr - dr;
                ti = ci - di;
                cr += dr;
                ci += di;
                dr = tr;
                di = ti;
                // Size 4 len: (a, c) and (b, d), a quarter turn apart.
                turn(cr, ci, twr[j * step2], twi[j * step2]);
                turn(dr, di, twr[j * step2 + quarter], twi[j * step2 + quarter]);
                re[a] = ar + cr;
                im[a] = ai + ci;
                re[c] = ar - cr;
                im[c] = ai - ci;
                re[b] = br + dr;
                im[b] = bi + di;
                re[d] = br - dr;
                im[d] = bi - di;
            }
    }
    // Real bins from the complex ones, in the order kiss_fftr uses.
    const vgroup z0r = re[0], z0i = im[0];
    re[0] = z0r + z0i;
    re[m] = z0r - z0i;
    im[0] = im[m] = vgroup{};
    for (int k = 1; k <= m / 2; ++k) {
        const vgroup pr = re[k], pi = im[k], qr = re[m - k], qi = -im[m - k];
        const vgroup f1r = pr + qr, f1i = pi + qi;
        vgroup f2r = pr - qr, f2i = pi - qi;
        turn(f2r, f2i, splitr[k], spliti[k]);
        re[k] = 0.5f * (f1r + f2r);
        im[k] = 0.5f * (f1i + f2i);
        re[m - k] = 0.5f * (f1r - f2r);
        im[m - k] = 0.5f * (f2i - f1i);
    }
}

// Eight frames side by side: blocks of eight samples of each frame, times
// the window, turned into eight groups by a transposition in registers.
LANECLONES void interleave(int n, const float* samples, int hop, int frames, const float* window, vgroup* in)
{
    typedef int ivgroup __attribute__((vector_size(32)));
    if (n % 8 != 0 || frames < 8) {
        for (int i = 0; i < n; ++i)
            for (int l = 0; l < 8; ++l)
                in[i][l] = l < frames ? samples[l * hop + i] * window[i] : 0.0f;
        return;
    }
    // Unaligned loads straight into registers.
    typedef float uvgroup __attribute__((vector_size(32), aligned(4)));
    const size_t stride = size_t(hop);
    for (int i = 0; i < n; i += 8) {
        const vgroup w = *reinterpret_cast<const uvgroup*>(window + i);
        const float* at = samples + i;
        const vgroup r[8] = {*reinterpret_cast<const uvgroup*>(at) * w,
                             *reinterpret_cast<const uvgroup*>(at + stride) * w,
                             *reinterpret_cast<const uvgroup*>(at + 2 * stride) * w,
                             *reinterpret_cast<const uvgroup*>(at + 3 * stride) * w,
                             *reinterpret_cast<const uvgroup*>(at + 4 * stride) * w,
                             *reinterpret_cast<const uvgroup*>(at + 5 * stride) * w,
                             *reinterpret_cast<const uvgroup*>(at + 6 * stride) * w,
                             *reinterpret_cast<const uvgroup*>(at + 7 * stride) * w};
        const ivgroup lo = {0, 8, 1, 9, 4, 12, 5, 13}, hi = {2, 10, 3, 11, 6, 14, 7, 15};
        const ivgroup even = {0, 1, 8, 9, 4, 5, 12, 13}, odd = {2, 3, 10, 11, 6, 7, 14, 15};
        const ivgroup front = {0, 1, 2, 3, 8, 9, 10, 11}, back = {4, 5, 6, 7, 12, 13, 14, 15};
        vgroup t[8], u[8];
        for (int k = 0; k < 4; ++k) {
            t[2 * k] = __builtin_shuffle(r[2 * k], r[2 * k + 1], lo);
            t[2 * k + 1] = __builtin_shuffle(r[2 * k], r[2 * k + 1], hi);
        }
        for (int k = 0; k < 2; ++k) {
            u[4 * k] = __builtin_shuffle(t[4 * k], t[4 * k + 2], even);
            u[4 * k + 1] = __builtin_shuffle(t[4 * k], t[4 * k + 2], odd);
            u[4 * k + 2] = __builtin_shuffle(t[4 * k + 1], t[4 * k + 3], even);
            u[4 * k + 3] = __builtin_shuffle(t[4 * k + 1], t[4 * k + 3], odd);
        }
        for (int k = 0; k < 4; ++k) {
            in[i + k] = __builtin_shuffle(u[k], u[k + 4], front);
            in[i + k + 4] = __builtin_shuffle(u[k], u[k + 4], back);
        }
    }
}

} // namespace

lanefft::lanefft(int size)
    : n(size)
    , m(size / 2)
    , in(size_t(size))
    , re(size_t(size / 2 + 1))
    , im(size_t(size / 2 + 1))
    , reversed(size_t(size / 2))
{
    int bits = 0;
    while ((1 << bits) < m)
        ++bits;
    for (int k = 0; k < m; ++k) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            if ((k >> b) & 1)
                r |= 1 << (bits - 1 - b);
        reversed[size_t(k)] = r;
    }
    // Twiddles in double, as the library makes its own.
    for (int k = 0; k < std::max(1, m / 2); ++k) {
        const double a = -2 * M_PI * k / m;
        twr.push_back(float(std::cos(a)));
        twi.push_back(float(std::sin(a)));
    }
    for (int k = 0; k <= m / 2; ++k) {
        const double a = -M_PI * (double(k) / m + 0.5);
        splitr.push_back(float(std::cos(a)));
        spliti.push_back(float(std::sin(a)));
    }
}

void lanefft::forward()
{
    transform(m, reinterpret_cast<const vgroup*>(in.data()), reinterpret_cast<vgroup*>(re.data()),
              reinterpret_cast<vgroup*>(im.data()), reversed.data(), twr.data(), twi.data(), splitr.data(),
              spliti.data());
}

void lanefft::load(const float* samples, int hop, int frames, const float* window)
{
    interleave(n, samples, hop, frames, window, reinterpret_cast<vgroup*>(in.data()));
}
