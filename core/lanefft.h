#pragma once
// Real transforms of eight frames at once, one frame per lane of a group of
// eight floats, so that each arithmetic step serves eight frames. The
// display workers and the Buffers transform every frame they touch, and the
// transform library here is the scalar build, whose one-frame calls were the
// bulk of their time. Output is that of kiss_fftr and kiss_fftri
// (unnormalised, bin k = sum x[i] e^(-2 pi i k i / n)) up to rounding.
//
// Every step works lane by lane, so a frame gives the same bits in any lane
// and beside any other frames: a frame transformed alone is the frame
// transformed in a group.
#include <cstddef>
#include <vector>

// Code on groups of eight floats is built twice: for processors with AVX2
// and FMA, and for the rest; the processor picks at load time. Not under
// ThreadSanitizer, whose checks in the picking code run before its runtime
// is ready and end the program at load.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define LANECLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define LANECLONES
#endif

class lanefft
{
public:
    static constexpr int lanes = 8;

    // n: a power of two from 4 on.
    explicit lanefft(int n);
    int size() const { return n; }

    // n groups of eight floats to fill before forward(): sample i of the
    // frame in lane l at input()[i * lanes + l].
    float* input() { return reinterpret_cast<float*>(in.data()); }

    // Fills the input with `frames` (at most eight) frames of n samples, the
    // frame in lane l starting at samples + l * hop, each sample times
    // window[i]; the other lanes get silence.
    void load(const float* samples, int hop, int frames, const float* window);

    // Transforms the input. Bin k (0 .. n/2) of lane l is then
    // (real(k)[l], imag(k)[l]).
    void forward();
    const float* real(int k) const { return reinterpret_cast<const float*>(&re[std::size_t(k)]); }
    const float* imag(int k) const { return reinterpret_cast<const float*>(&im[std::size_t(k)]); }

    // The bins of the first `frames` lanes in the packed layout, n floats a
    // frame, frame l at rows + l * stride: bin 0's real part, bin n/2's real
    // part, then bins 1 .. n/2 - 1 as (real, imaginary) pairs.
    void packed(float* rows, std::size_t stride, int frames) const;

    // Takes `frames` frames in the packed layout (the other lanes silent)
    // and transforms them back: then time sample i of lane l is
    // sample(i)[l], n times the sample the forward transform took.
    void loadpacked(const float* rows, std::size_t stride, int frames);
    void inverse();
    // Time samples [from, from + count) of the first `frames` lanes after
    // inverse(), frame l's at rows + l * stride.
    void samples(float* rows, std::size_t stride, int from, int count, int frames) const;

private:
    struct alignas(32) group
    {
        float lane[lanes];
    };
    int n = 0, m = 0; // real size, complex size n/2
    std::vector<group> in, re, im; // re, im: m + 1 groups
    std::vector<int> reversed;       // bit-reversed order of 0 .. m-1
    std::vector<float> twr, twi;     // e^(-2 pi i k / m), k < 3m/4
    std::vector<float> splitr, spliti; // e^(-i pi (k / m + 1/2)), k <= m/2
};
