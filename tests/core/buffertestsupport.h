#pragma once
// Layers filled with known signals, and reading them back, for the Buffer tests.
#include <QRandomGenerator>
#include <cmath>
#include <memory>
#include <vector>

#include "core/buffer.h"
#include "core/layer.h"
#include "sdk/rounding.h"
#include "testsupport.h"

// A layer of `frames` interleaved frames at `start` seconds.
inline std::unique_ptr<layer> makelayer(const std::vector<float>& interleaved, int samplerate,
                                        int channels, double start = 0)
{
    auto l = std::make_unique<layer>();
    l->samplerate = samplerate;
    l->channels = channels;
    l->speakermask = defaultspeakermask(channels, 0);
    const double frames = double(interleaved.size() / size_t(channels));
    if (frames > 0)
        l->write(interleaved.data(), start, frames / samplerate);
    l->resetdirty();
    return l;
}

// Uniform noise in [-amplitude, amplitude), reproducible by seed.
inline std::vector<float> noise(size_t count, quint32 seed, float amplitude = 1.0f)
{
    QRandomGenerator g(seed);
    std::vector<float> v(count);
    for (float& x : v)
        x = amplitude * float(2.0 * g.generateDouble() - 1.0);
    return v;
}

// Sum of three sines of amplitude 0.3 at awkward frequencies.
inline std::vector<float> sines(size_t count, int samplerate)
{
    std::vector<float> v(count);
    const double f[3] = {97.3, 1234.5, 9876.1};
    for (size_t i = 0; i < count; ++i) {
        double s = 0;
        for (double fr : f)
            s += 0.3 * std::sin(2 * M_PI * fr * double(i) / samplerate + fr);
        v[i] = float(s);
    }
    return v;
}

// Two channels interleaved.
inline std::vector<float> interleave(const std::vector<float>& a, const std::vector<float>& b)
{
    std::vector<float> v(a.size() * 2);
    for (size_t i = 0; i < a.size(); ++i) {
        v[2 * i] = a[i];
        v[2 * i + 1] = b[i];
    }
    return v;
}

// `count` samples of one channel of a layer from sample `first` (counted from time 0).
inline std::vector<float> readlayer(layer* l, qint64 first, int count, int channel)
{
    std::vector<float> v(static_cast<size_t>(count));
    l->read(v.data(), double(first) / l->samplerate, double(count) / l->samplerate, channel, false);
    return v;
}
