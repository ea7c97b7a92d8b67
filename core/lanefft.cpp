#include "lanefft.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

typedef float vgroup __attribute__((vector_size(32)));
static_assert(sizeof(vgroup) == lanefft::lanes * sizeof(float));

#define LANEINLINE inline __attribute__((always_inline))

// (xr, xi) *= (wr, wi)
LANEINLINE void turn(vgroup& xr, vgroup& xi, float wr, float wi)
{
    const vgroup r = xr * wr - xi * wi;
    xi = xr * wi + xi * wr;
    xr = r;
}

// Transposes eight groups: lane l of out[k] is lane k of r[l].
LANEINLINE void transpose8(const vgroup* r, vgroup* out)
{
    typedef int ivgroup __attribute__((vector_size(32)));
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
        out[k] = __builtin_shuffle(u[k], u[k + 4], front);
        out[k + 4] = __builtin_shuffle(u[k], u[k + 4], back);
    }
}

// Unaligned loads and stores of a group straight from and to frame rows.
typedef float uvgroup __attribute__((vector_size(32), aligned(4)));

// The first stage (an odd count) or two, whose turns are trivial, done on
// the load into bit-reversed order for the positions [p0, p1): z[k],
// z[k + m/2], z[k + m/4] and z[k + 3m/4] land side by side. Returns the size
// of the transforms done. Bit reversal is its own inverse, so the sample of
// position p is reversed[p].
LANEINLINE int firststages(int m, bool odd, const vgroup* in, vgroup* re, vgroup* im, const int* reversed, int p0,
                           int p1)
{
    const int half = m / 2, quarter = m / 4;
    if (odd) {
        for (int p = p0; p < p1; p += 2) {
            const int k = reversed[p];
            const vgroup x0r = in[2 * k], x0i = in[2 * k + 1], x1r = in[2 * (k + half)], x1i = in[2 * (k + half) + 1];
            re[p] = x0r + x1r;
            im[p] = x0i + x1i;
            re[p + 1] = x0r - x1r;
            im[p + 1] = x0i - x1i;
        }
        return 2;
    }
    for (int p = p0; p < p1; p += 4) {
        const int k = reversed[p];
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
    return 4;
}

// Radix-4 passes over the positions [p0, p1), from transforms of size len
// to transforms of size `upto`: the four transforms of size len at a, b, c,
// d hold the samples 0, 2, 1 and 3 modulo 4 (bit-reversed order); each is
// turned once, by w^0, w^2j, w^j and w^3j, then the four are joined.
LANEINLINE void radix4passes(int m, vgroup* re, vgroup* im, const float* twr, const float* twi, int p0, int p1,
                             int len, int upto)
{
    for (; len < upto; len *= 4) {
        const int step = m / (4 * len);
        for (int s = p0; s < p1; s += 4 * len)
            for (int j = 0; j < len; ++j) {
                const int a = s + j, b = a + len, c = b + len, d = c + len;
                const vgroup ar = re[a], ai = im[a];
                vgroup br = re[b], bi = im[b], cr = re[c], ci = im[c], dr = re[d], di = im[d];
                turn(br, bi, twr[2 * j * step], twi[2 * j * step]);
                turn(cr, ci, twr[j * step], twi[j * step]);
                turn(dr, di, twr[3 * j * step], twi[3 * j * step]);
                const vgroup t0r = ar + br, t0i = ai + bi, t1r = ar - br, t1i = ai - bi;
                const vgroup t2r = cr + dr, t2i = ci + di, t3r = cr - dr, t3i = ci - di;
                re[a] = t0r + t2r;
                im[a] = t0i + t2i;
                re[c] = t0r - t2r;
                im[c] = t0i - t2i;
                // t3 turned by -i.
                re[b] = t1r + t3i;
                im[b] = t1i - t3r;
                re[d] = t1r - t3i;
                im[d] = t1i + t3r;
            }
    }
}

// Positions whose transforms are completed together before the passes that
// join them: their re and im (64 bytes each) stay in the core's cache
// between passes. A large transform otherwise streams all of its data from
// memory once per pass.
constexpr int blockpositions = 8192;

// The complex transform of size m of the pairs (in[2k], in[2k + 1]) into
// (re, im) in natural order: bit-reversed load, then decimation in time, two
// stages per pass over the data. Each butterfly takes the same inputs in any
// pass order, so the blocks give the same bits as passes over the whole.
LANEINLINE void complexfft(int m, const vgroup* in, vgroup* re, vgroup* im, const int* reversed, const float* twr,
                           const float* twi)
{
    int stages = 0;
    while ((1 << stages) < m)
        ++stages;
    const bool odd = stages & 1;
    // The largest transform size reached from the first stages by radix-4
    // passes that fits a block.
    int block = odd ? 2 : 4;
    while (block * 4 <= std::min(m, blockpositions))
        block *= 4;
    int len = 0;
    for (int p0 = 0; p0 < m; p0 += block) {
        len = firststages(m, odd, in, re, im, reversed, p0, p0 + block);
        radix4passes(m, re, im, twr, twi, p0, p0 + block, len, block);
    }
    radix4passes(m, re, im, twr, twi, 0, m, block, m);
}

// Forward: the complex transform of the even and odd samples, then the split
// into the n/2 + 1 real bins, in the order kiss_fftr uses.
LANECLONES void forwardbody(int m, const vgroup* in, vgroup* re, vgroup* im, const int* reversed, const float* twr,
                            const float* twi, const float* splitr, const float* spliti)
{
    complexfft(m, in, re, im, reversed, twr, twi);
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

// Inverse: the bins joined into m complex values as kiss_fftri joins them,
// conjugated into `in`, so that the forward complex transform followed by a
// conjugation (done when the samples are read) is the inverse one.
LANECLONES void inversebody(int m, vgroup* in, vgroup* re, vgroup* im, const int* reversed, const float* twr,
                            const float* twi, const float* splitr, const float* spliti)
{
    in[0] = re[0] + re[m];
    in[1] = re[m] - re[0];
    for (int k = 1; k <= m / 2; ++k) {
        const vgroup ar = re[k], ai = im[k], cr = re[m - k], ci = -im[m - k];
        const vgroup er = ar + cr, ei = ai + ci;
        vgroup or_ = ar - cr, oi = ai - ci;
        turn(or_, oi, splitr[k], -spliti[k]);
        in[2 * k] = er + or_;
        in[2 * k + 1] = -(ei + oi);
        in[2 * (m - k)] = er - or_;
        in[2 * (m - k) + 1] = ei - oi;
    }
    complexfft(m, in, re, im, reversed, twr, twi);
}

LANECLONES void packout(int m, const vgroup* re, const vgroup* im, float* rows, size_t stride, int frames)
{
    if (m % 4 != 0) {
        for (int l = 0; l < frames; ++l) {
            float* row = rows + size_t(l) * stride;
            for (int k = 0; k < m; ++k) {
                row[2 * k] = re[k][l];
                row[2 * k + 1] = im[k][l];
            }
            row[1] = re[m][l];
        }
        return;
    }
    for (int k = 0; k < m; k += 4) {
        const vgroup r[8] = {re[k], im[k], re[k + 1], im[k + 1], re[k + 2], im[k + 2], re[k + 3], im[k + 3]};
        vgroup o[8];
        transpose8(r, o);
        for (int l = 0; l < frames; ++l)
            *reinterpret_cast<uvgroup*>(rows + size_t(l) * stride + 2 * k) = o[l];
    }
    for (int l = 0; l < frames; ++l)
        rows[size_t(l) * stride + 1] = re[m][l];
}

LANECLONES void packin(int m, const float* rows, size_t stride, int frames, vgroup* re, vgroup* im)
{
    if (m % 4 != 0) {
        for (int k = 0; k < m; ++k)
            for (int l = 0; l < 8; ++l) {
                re[k][l] = l < frames ? rows[size_t(l) * stride + 2 * k] : 0.0f;
                im[k][l] = l < frames ? rows[size_t(l) * stride + 2 * k + 1] : 0.0f;
            }
    } else {
        for (int k = 0; k < m; k += 4) {
            vgroup r[8], o[8];
            for (int l = 0; l < 8; ++l)
                r[l] = l < frames ? vgroup(*reinterpret_cast<const uvgroup*>(rows + size_t(l) * stride + 2 * k))
                                  : vgroup{};
            transpose8(r, o);
            for (int q = 0; q < 4; ++q) {
                re[k + q] = o[2 * q];
                im[k + q] = o[2 * q + 1];
            }
        }
    }
    // The Nyquist bin's real part travels in bin 0's imaginary slot.
    re[m] = im[0];
    im[0] = im[m] = vgroup{};
}

// Sample 2j is re[j], sample 2j + 1 is -im[j] (the conjugation of the inverse).
LANECLONES void samplesout(const vgroup* re, const vgroup* im, float* rows, size_t stride, int from, int count,
                           int frames)
{
    if (from % 2 != 0 || count % 8 != 0) {
        for (int l = 0; l < frames; ++l)
            for (int i = 0; i < count; ++i) {
                const int s = from + i;
                rows[size_t(l) * stride + size_t(i)] = s % 2 ? -im[s / 2][l] : re[s / 2][l];
            }
        return;
    }
    for (int i = 0; i < count; i += 8) {
        const int j = (from + i) / 2;
        const vgroup r[8] = {re[j], -im[j], re[j + 1], -im[j + 1], re[j + 2], -im[j + 2], re[j + 3], -im[j + 3]};
        vgroup o[8];
        transpose8(r, o);
        for (int l = 0; l < frames; ++l)
            *reinterpret_cast<uvgroup*>(rows + size_t(l) * stride + size_t(i)) = o[l];
    }
}

// Eight frames side by side: blocks of eight samples of each frame, times
// the window, turned into eight groups by a transposition in registers.
LANECLONES void interleave(int n, const float* samples, int hop, int frames, const float* window, vgroup* in)
{
    const size_t stride = size_t(hop);
    if (n % 8 != 0) {
        for (int i = 0; i < n; ++i)
            for (int l = 0; l < 8; ++l)
                in[i][l] = l < frames ? samples[size_t(l) * stride + size_t(i)] * window[i] : 0.0f;
        return;
    }
    for (int i = 0; i < n; i += 8) {
        const vgroup w = *reinterpret_cast<const uvgroup*>(window + i);
        vgroup r[8];
        for (int l = 0; l < 8; ++l)
            r[l] = l < frames ? *reinterpret_cast<const uvgroup*>(samples + i + size_t(l) * stride) * w : vgroup{};
        transpose8(r, in + i);
    }
}

// The moves between frame rows and lane groups again, for processors with
// AVX2: each 8 x 8 block is taken as two 4 x 4 blocks per half register,
// whose halves are loaded and stored straight from memory, which needs a
// third fewer shuffles, the step these moves are bound by. They only move
// floats (and multiply by the window, exactly), so they give the same bits
// as the moves above.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define LANEAVX __attribute__((target("avx2")))
#define LANEAVXINLINE LANEAVX inline __attribute__((always_inline))

// Four floats of row a and four of row b (none when null).
LANEAVXINLINE __m256 halves(const float* a, const float* b)
{
    const __m128 lo = a ? _mm_loadu_ps(a) : _mm_setzero_ps();
    const __m128 hi = b ? _mm_loadu_ps(b) : _mm_setzero_ps();
    return _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
}

// A 4 x 4 transposition in each half of the four registers.
LANEAVXINLINE void transpose4x2(__m256* t)
{
    const __m256 a0 = _mm256_unpacklo_ps(t[0], t[1]), a1 = _mm256_unpackhi_ps(t[0], t[1]);
    const __m256 a2 = _mm256_unpacklo_ps(t[2], t[3]), a3 = _mm256_unpackhi_ps(t[2], t[3]);
    t[0] = _mm256_shuffle_ps(a0, a2, 0x44);
    t[1] = _mm256_shuffle_ps(a0, a2, 0xEE);
    t[2] = _mm256_shuffle_ps(a1, a3, 0x44);
    t[3] = _mm256_shuffle_ps(a1, a3, 0xEE);
}

// Floats [at, at + 8) of eight rows (null: silent) into eight groups, each
// row times window[at ..] when there is a window.
LANEAVXINLINE void rowsin(const float* const* rows, size_t at, const float* window, __m256* g)
{
    for (int q = 0; q < 4; ++q) {
        g[q] = halves(rows[q] ? rows[q] + at : nullptr, rows[q + 4] ? rows[q + 4] + at : nullptr);
        g[q + 4] = halves(rows[q] ? rows[q] + at + 4 : nullptr, rows[q + 4] ? rows[q + 4] + at + 4 : nullptr);
    }
    if (window) {
        const __m256 w0 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(window + at));
        const __m256 w1 = _mm256_broadcast_ps(reinterpret_cast<const __m128*>(window + at + 4));
        for (int q = 0; q < 4; ++q) {
            g[q] = _mm256_mul_ps(g[q], w0);
            g[q + 4] = _mm256_mul_ps(g[q + 4], w1);
        }
    }
    transpose4x2(g);
    transpose4x2(g + 4);
}

// Eight groups into floats [at, at + 8) of the rows that are not null.
LANEAVXINLINE void rowsout(__m256* g, float* const* rows, size_t at)
{
    transpose4x2(g);
    transpose4x2(g + 4);
    for (int q = 0; q < 4; ++q) {
        if (rows[q]) {
            _mm_storeu_ps(rows[q] + at, _mm256_castps256_ps128(g[q]));
            _mm_storeu_ps(rows[q] + at + 4, _mm256_castps256_ps128(g[q + 4]));
        }
        if (rows[q + 4]) {
            _mm_storeu_ps(rows[q + 4] + at, _mm256_extractf128_ps(g[q], 1));
            _mm_storeu_ps(rows[q + 4] + at + 4, _mm256_extractf128_ps(g[q + 4], 1));
        }
    }
}

// The first `frames` of eight rows at `stride`, the others null.
template <typename Float>
void rowpointers(Float* first, size_t stride, int frames, Float** rows)
{
    for (int l = 0; l < 8; ++l)
        rows[l] = l < frames ? first + size_t(l) * stride : nullptr;
}

LANEAVX void interleaveavx(int n, const float* samples, int hop, int frames, const float* window, vgroup* in)
{
    const float* rows[8];
    rowpointers(samples, size_t(hop), frames, rows);
    for (int i = 0; i < n; i += 8)
        rowsin(rows, size_t(i), window, reinterpret_cast<__m256*>(in + i));
}

LANEAVX void packinavx(int m, const float* first, size_t stride, int frames, vgroup* re, vgroup* im)
{
    const float* rows[8];
    rowpointers(first, stride, frames, rows);
    __m256 g[8];
    for (int k = 0; k < m; k += 4) {
        rowsin(rows, size_t(2 * k), nullptr, g);
        for (int q = 0; q < 4; ++q) {
            re[k + q] = vgroup(g[2 * q]);
            im[k + q] = vgroup(g[2 * q + 1]);
        }
    }
    re[m] = im[0];
    im[0] = im[m] = vgroup{};
}

LANEAVX void packoutavx(int m, const vgroup* re, const vgroup* im, float* first, size_t stride, int frames)
{
    float* rows[8];
    rowpointers(first, stride, frames, rows);
    __m256 g[8];
    for (int k = 0; k < m; k += 4) {
        for (int q = 0; q < 4; ++q) {
            g[2 * q] = __m256(re[k + q]);
            g[2 * q + 1] = __m256(im[k + q]);
        }
        rowsout(g, rows, size_t(2 * k));
    }
    for (int l = 0; l < frames; ++l)
        rows[l][1] = re[m][l];
}

LANEAVX void samplesoutavx(const vgroup* re, const vgroup* im, float* first, size_t stride, int from, int count,
                           int frames)
{
    float* rows[8];
    rowpointers(first, stride, frames, rows);
    __m256 g[8];
    for (int i = 0; i < count; i += 8) {
        const int j = (from + i) / 2;
        for (int q = 0; q < 4; ++q) {
            g[2 * q] = __m256(re[j + q]);
            g[2 * q + 1] = __m256(-im[j + q]);
        }
        rowsout(g, rows, size_t(i));
    }
}

bool useavx()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

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
    // Twiddles in double, as the library makes its own; up to w^3j of the
    // last radix-4 pass.
    for (int k = 0; k < std::max(1, 3 * m / 4); ++k) {
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
    forwardbody(m, reinterpret_cast<const vgroup*>(in.data()), reinterpret_cast<vgroup*>(re.data()),
              reinterpret_cast<vgroup*>(im.data()), reversed.data(), twr.data(), twi.data(), splitr.data(),
              spliti.data());
}

void lanefft::load(const float* samples, int hop, int frames, const float* window)
{
    frames = std::clamp(frames, 0, lanes);
    auto* groups = reinterpret_cast<vgroup*>(in.data());
#ifdef LANEAVX
    if (n % 8 == 0 && useavx())
        return interleaveavx(n, samples, hop, frames, window, groups);
#endif
    interleave(n, samples, hop, frames, window, groups);
}

void lanefft::packed(float* rows, std::size_t stride, int frames) const
{
    frames = std::clamp(frames, 0, lanes);
    const auto* r = reinterpret_cast<const vgroup*>(re.data());
    const auto* i = reinterpret_cast<const vgroup*>(im.data());
#ifdef LANEAVX
    if (m % 4 == 0 && useavx())
        return packoutavx(m, r, i, rows, stride, frames);
#endif
    packout(m, r, i, rows, stride, frames);
}

void lanefft::loadpacked(const float* rows, std::size_t stride, int frames)
{
    frames = std::clamp(frames, 0, lanes);
    auto* r = reinterpret_cast<vgroup*>(re.data());
    auto* i = reinterpret_cast<vgroup*>(im.data());
#ifdef LANEAVX
    if (m % 4 == 0 && useavx())
        return packinavx(m, rows, stride, frames, r, i);
#endif
    packin(m, rows, stride, frames, r, i);
}

void lanefft::inverse()
{
    inversebody(m, reinterpret_cast<vgroup*>(in.data()), reinterpret_cast<vgroup*>(re.data()),
                reinterpret_cast<vgroup*>(im.data()), reversed.data(), twr.data(), twi.data(), splitr.data(),
                spliti.data());
}

void lanefft::samples(float* rows, std::size_t stride, int from, int count, int frames) const
{
    frames = std::clamp(frames, 0, lanes);
    const auto* r = reinterpret_cast<const vgroup*>(re.data());
    const auto* i = reinterpret_cast<const vgroup*>(im.data());
#ifdef LANEAVX
    if (from % 2 == 0 && count % 8 == 0 && useavx())
        return samplesoutavx(r, i, rows, stride, from, count, frames);
#endif
    samplesout(r, i, rows, stride, from, count, frames);
}
