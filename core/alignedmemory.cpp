#include "alignedmemory.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE__) || defined(_M_X64) || defined(_M_AMD64)
#include <xmmintrin.h>
#define KV_HAVE_SSE 1
#endif

// The block layout: [heap start ... | int distance | aligned block of size bytes].
// The int just before the returned address tells alignedfree how far back the
// heap allocation starts; an already aligned address still moves by a full
// alignment so that there is always room for it.
float* alignedalloc(int size, int alignment)
{
    if (size <= 0 || alignment <= 0 || (alignment & (alignment - 1)) != 0)
        return nullptr;
    // The total must stay representable as a byte count of the int interface.
    if (size > INT_MAX - alignment - 4)
        return nullptr;
    const size_t total = size_t(size) + size_t(alignment) + 4;
    char* heap = static_cast<char*>(std::malloc(total));
    if (!heap)
        return nullptr;
    const uintptr_t past = reinterpret_cast<uintptr_t>(heap) + 4;
    const uintptr_t move = uintptr_t(alignment) - (past % uintptr_t(alignment));
    char* block = heap + 4 + move;
    const int distance = int(move) + 4;
    // With alignments below 4 the slot is not int-aligned: copy it bytewise.
    std::memcpy(block - sizeof(int), &distance, sizeof(int));
    return reinterpret_cast<float*>(block);
}

void alignedfree(float* block)
{
    if (!block)
        return;
    char* bytes = reinterpret_cast<char*>(block);
    int distance = 0;
    std::memcpy(&distance, bytes - sizeof(int), sizeof(int));
    std::free(bytes - distance);
}

void interleave4(void* dst, float* src, int n)
{
    if (n <= 0)
        return;
    float* out = static_cast<float*>(dst);
    const float* r0 = src;
    const float* r1 = src + n;
    const float* r2 = src + 2 * size_t(n);
    const float* r3 = src + 3 * size_t(n);
    int i = 0;
#ifdef KV_HAVE_SSE
    // Four groups at a time: a 4 x 4 transpose. The rows start at arbitrary
    // multiples of n, so the loads and stores are unaligned.
    for (; i + 4 <= n; i += 4) {
        __m128 a = _mm_loadu_ps(r0 + i);
        __m128 b = _mm_loadu_ps(r1 + i);
        __m128 c = _mm_loadu_ps(r2 + i);
        __m128 d = _mm_loadu_ps(r3 + i);
        _MM_TRANSPOSE4_PS(a, b, c, d);
        float* o = out + 4 * size_t(i);
        _mm_storeu_ps(o, a);
        _mm_storeu_ps(o + 4, b);
        _mm_storeu_ps(o + 8, c);
        _mm_storeu_ps(o + 12, d);
    }
#endif
    for (; i < n; ++i) {
        float* o = out + 4 * size_t(i);
        o[0] = r0[i];
        o[1] = r1[i];
        o[2] = r2[i];
        o[3] = r3[i];
    }
}

void deinterleave4(float* dst, const void* src, int n)
{
    if (n <= 0)
        return;
    const float* in = static_cast<const float*>(src);
    float* r0 = dst;
    float* r1 = dst + n;
    float* r2 = dst + 2 * size_t(n);
    float* r3 = dst + 3 * size_t(n);
    int i = 0;
#ifdef KV_HAVE_SSE
    for (; i + 4 <= n; i += 4) {
        const float* g = in + 4 * size_t(i);
        __m128 a = _mm_loadu_ps(g);
        __m128 b = _mm_loadu_ps(g + 4);
        __m128 c = _mm_loadu_ps(g + 8);
        __m128 d = _mm_loadu_ps(g + 12);
        _MM_TRANSPOSE4_PS(a, b, c, d);
        _mm_storeu_ps(r0 + i, a);
        _mm_storeu_ps(r1 + i, b);
        _mm_storeu_ps(r2 + i, c);
        _mm_storeu_ps(r3 + i, d);
    }
#endif
    for (; i < n; ++i) {
        const float* g = in + 4 * size_t(i);
        r0[i] = g[0];
        r1[i] = g[1];
        r2[i] = g[2];
        r3[i] = g[3];
    }
}

// The arrays come from alignedalloc(.., 16), so the blocks of four use aligned
// vector moves; the n mod 4 tail elements follow the same formula one by one.
void vmul(float* dst, float* a, float* b, unsigned n)
{
    const unsigned q = n >> 2;
    unsigned i = 0;
#ifdef KV_HAVE_SSE
    for (unsigned k = 0; k < q; ++k, i += 4)
        _mm_store_ps(dst + i, _mm_mul_ps(_mm_load_ps(a + i), _mm_load_ps(b + i)));
#else
    i = q * 4;
    for (unsigned j = 0; j < i; ++j)
        dst[j] = a[j] * b[j];
#endif
    for (; i < n; ++i)
        dst[i] = a[i] * b[i];
}

void vmuladd(float* dst, float* a, float* b, unsigned n)
{
    const unsigned q = n >> 2;
    unsigned i = 0;
#ifdef KV_HAVE_SSE
    for (unsigned k = 0; k < q; ++k, i += 4) {
        const __m128 product = _mm_mul_ps(_mm_load_ps(a + i), _mm_load_ps(b + i));
        _mm_store_ps(dst + i, _mm_add_ps(_mm_load_ps(dst + i), product));
    }
#else
    i = q * 4;
    for (unsigned j = 0; j < i; ++j)
        dst[j] = dst[j] + a[j] * b[j];
#endif
    for (; i < n; ++i)
        dst[i] = dst[i] + a[i] * b[i];
}
