#include "fft4.h"

static_assert(sizeof(kiss_fft_scalar) == sizeof(float), "the scalar float build is required");
static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float));

void fft4forward(kiss_fftr_cfg plan, int n, const float* time, float* bins, float* lane, int lanes)
{
    float* in = lane;
    auto* out = reinterpret_cast<kiss_fft_cpx*>(lane + n);
    const int nbins = n / 2 + 1;
    for (int l = 0; l < lanes && l < 4; ++l) {
        for (int i = 0; i < n; ++i)
            in[i] = time[4 * i + l];
        kiss_fftr(plan, in, out);
        for (int k = 0; k < nbins; ++k) {
            bins[8 * k + l] = out[k].r;
            bins[8 * k + 4 + l] = out[k].i;
        }
    }
}

void fft4inverse(kiss_fftr_cfg plan, int n, const float* bins, float* time, float* lane, int lanes)
{
    auto* in = reinterpret_cast<kiss_fft_cpx*>(lane);
    float* out = lane + n + 2;
    const int nbins = n / 2 + 1;
    for (int l = 0; l < lanes && l < 4; ++l) {
        for (int k = 0; k < nbins; ++k) {
            in[k].r = bins[8 * k + l];
            in[k].i = bins[8 * k + 4 + l];
        }
        kiss_fftri(plan, in, out);
        for (int i = 0; i < n; ++i)
            time[4 * i + l] = out[i];
    }
}
