#include "fastmath.h"

#include <bit>
#include <cmath>
#include <cstdint>

float fastsqrt(float x)
{
    // The magic constant minus half the exponent gives a first 1/sqrt(x)
    // estimate; unsigned arithmetic keeps the subtraction defined for every
    // bit pattern (the shift itself sign-extends).
    const std::int32_t bits = std::bit_cast<std::int32_t>(x);
    const std::uint32_t i = 0x5F375A86u - static_cast<std::uint32_t>(bits >> 1);
    const float y = std::bit_cast<float>(i);
    return x * y * (1.5f - y * y * 0.5f * x);
}

float fastatan2(float y, float x)
{
    const float a = std::fabs(y) + 1e-10f;
    float theta;
    if (x >= 0.0f) {
        const float r = (x - a) / (x + a);
        theta = 0.1963f * r * r * r - 0.9817f * r + 0.7853982f;
    } else {
        const float r = (x + a) / (a - x);
        theta = 0.1963f * r * r * r - 0.9817f * r + 2.3561945f;
    }
    return y < 0.0f ? -theta : theta;
}

float fastsin(float x)
{
    const float s = 1.2732406f * x - 0.40528542f * x * std::fabs(x);
    return s + 0.225f * (s * std::fabs(s) - s);
}

float fastcos(float x)
{
    float a = x + 1.570795f;
    if (a > 3.14159f)
        a -= 6.28318f;
    return fastsin(a);
}
