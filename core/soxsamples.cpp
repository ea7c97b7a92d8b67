#include "soxsamples.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr qint64 blockfloats = 250000; // one 1,000,000-byte block
}

QStringList soxrawformat(int samplerate, int channels)
{
    return {QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"), QStringLiteral("floating-point"),
            QStringLiteral("-b"), QStringLiteral("32"), QStringLiteral("-r"), QString::number(samplerate),
            QStringLiteral("-c"), QString::number(channels)};
}

float filepeak(QFile* file)
{
    std::vector<float> block(blockfloats);
    if (!file->seek(0))
        return -1;
    float peak = 0;
    for (;;) {
        const qint64 got = file->read(reinterpret_cast<char*>(block.data()), blockfloats * 4);
        if (got < 0)
            return -1;
        if (got == 0)
            return peak;
        for (qint64 i = 0; i < got / 4; i++)
            peak = std::max(peak, std::fabs(block[size_t(i)]));
    }
}

bool scalefile(QFile* from, QFile* to, float gain)
{
    std::vector<float> block(blockfloats);
    const qint64 size = from->size();
    for (qint64 position = 0; position < size;) {
        const qint64 bytes = std::min(blockfloats * 4, size - position);
        if (!from->seek(position) || from->read(reinterpret_cast<char*>(block.data()), bytes) != bytes)
            return false;
        for (qint64 i = 0; i < bytes / 4; i++)
            block[size_t(i)] *= gain;
        if (from == to && !to->seek(position))
            return false;
        if (to->write(reinterpret_cast<const char*>(block.data()), bytes) != bytes)
            return false;
        position += bytes;
    }
    return to->flush();
}

float headroomgain(float peak)
{
    return peak > soxheadroom ? soxheadroom / peak : 1.0f;
}
