#pragma once
// Synthetic layers and waiting helpers shared by the view tests.
#include <QFile>
#include <QTest>
#include <cmath>
#include <functional>
#include <vector>

#include "core/globals.h"
#include "core/layer.h"

// A layer over a raw float file of `seconds` of a sine (all channels alike);
// the layer owns the file and removes it.
inline layer* makesinelayer(double frequency, double amplitude, int samplerate, int channels, double seconds,
                            double start = 0)
{
    static int serial = 0;
    const QString path = sessionpath + QString("/sine%1.pcm").arg(serial++);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return nullptr;
    const qint64 frames = qint64(std::llround(seconds * samplerate));
    std::vector<float> block;
    const qint64 step = 65536;
    for (qint64 f0 = 0; f0 < frames; f0 += step) {
        const qint64 n = std::min(step, frames - f0);
        block.resize(size_t(n * channels));
        for (qint64 i = 0; i < n; ++i) {
            const float v = float(amplitude * std::sin(2 * M_PI * frequency * double(f0 + i) / samplerate));
            for (int c = 0; c < channels; ++c)
                block[size_t(i * channels + c)] = v;
        }
        file.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * sizeof(float)));
    }
    file.close();
    return new layer(path, "sine", true, 1, 1.0f, samplerate, channels, start, seconds, false);
}

// Waits until `done` holds, processing events; false after `ms`.
inline bool waituntil(const std::function<bool()>& done, int ms = 30000)
{
    return QTest::qWaitFor(done, ms);
}
