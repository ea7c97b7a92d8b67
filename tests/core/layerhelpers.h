#pragma once
// Small builders for layer tests: layers filled with known frames, and reads
// of whole ranges into vectors.
#include <QFile>
#include <functional>
#include <vector>

#include "core/layer.h"

// A layer of the given format whose frame k, channel c holds value(k, c).
inline layer* makelayer(int rate, int channels, double start, int frames,
                        const std::function<float(int, int)>& value)
{
    auto l = new layer();
    l->samplerate = rate;
    l->channels = channels;
    std::vector<float> data(size_t(frames) * channels);
    for (int k = 0; k < frames; k++)
        for (int c = 0; c < channels; c++)
            data[size_t(k) * channels + c] = value(k, c);
    l->write(data.data(), start, double(frames) / rate);
    l->resetdirty();
    return l;
}

// Distinct values per frame and channel, so that any shift shows.
inline float ramp(int k, int c)
{
    return float(k + 1) + 0.25f * float(c);
}

inline std::vector<float> readrange(layer* l, double time, int frames, int channel = -1, bool gains = false)
{
    const int width = channel == -1 ? l->channels : 1;
    std::vector<float> dst(size_t(frames) * width, 12345.0f);
    l->read(dst.data(), time, double(frames) / l->samplerate, channel, gains);
    return dst;
}

// The layer's own sample file, byte for byte.
inline QByteArray filebytes(layer* l)
{
    l->file->flush();
    QFile copy(l->file->fileName());
    return copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray();
}

// A layer's whole state as undo must give it back.
struct LayerState
{
    QByteArray bytes;
    double start = 0;
    double length = 0;
    bool operator==(const LayerState&) const = default;
};

inline LayerState state(layer* l)
{
    return {filebytes(l), l->start, l->length};
}
