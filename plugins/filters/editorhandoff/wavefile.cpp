#include "wavefile.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace wavefile {

namespace {

constexpr quint16 pcmtag = 1;
constexpr quint16 floattag = 3;
constexpr quint16 extensibletag = 0xFFFE;

void put16(QByteArray& bytes, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    bytes.append(b, 2);
}

void put32(QByteArray& bytes, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    bytes.append(b, 4);
}

bool read32(QIODevice& file, quint32& v)
{
    char b[4];
    if (file.read(b, 4) != 4)
        return false;
    v = qFromLittleEndian<quint32>(b);
    return true;
}

bool readid(QIODevice& file, const char* id)
{
    return file.read(4) == QByteArray(id, 4);
}

} // namespace

QByteArray header(int channels, int samplerate, quint32 frames)
{
    const quint32 databytes = frames * quint32(channels) * 4;
    QByteArray bytes;
    bytes.reserve(headerbytes);
    bytes.append("RIFF", 4);
    put32(bytes, databytes + 36);
    bytes.append("WAVEfmt ", 8);
    put32(bytes, 16);
    put16(bytes, floattag);
    put16(bytes, quint16(channels));
    put32(bytes, quint32(samplerate));
    put32(bytes, quint32(samplerate) * 4 * quint32(channels));
    put16(bytes, quint16(channels * 4));
    put16(bytes, 32);
    bytes.append("data", 4);
    put32(bytes, databytes);
    return bytes;
}

Problem readlayout(QIODevice& file, int channels, int samplerate, Layout& layout)
{
    quint32 riffsize = 0;
    quint32 fmtsize = 0;
    if (!readid(file, "RIFF") || !read32(file, riffsize) || !readid(file, "WAVE") || !readid(file, "fmt ")
        || !read32(file, fmtsize) || fmtsize < 16)
        return Problem::notwave;
    const QByteArray fmt = file.read(fmtsize);
    if (fmt.size() != qsizetype(fmtsize))
        return Problem::notwave;
    // The fields read here lie in the first 26 bytes; shorter chunks leave zeros.
    char head[26] = {};
    std::memcpy(head, fmt.constData(), std::min<size_t>(sizeof head, fmtsize));
    quint16 tag = qFromLittleEndian<quint16>(head);
    layout.channels = qFromLittleEndian<quint16>(head + 2);
    layout.samplerate = int(qFromLittleEndian<quint32>(head + 4));
    const quint32 byterate = qFromLittleEndian<quint32>(head + 8);
    if (layout.channels != channels || layout.samplerate != samplerate)
        return Problem::changed;
    if (fmtsize & 1u)
        file.skip(1);

    // An extensible format names the plain one in the first two bytes of its
    // sub-format identifier.
    if (tag == extensibletag && fmtsize >= 26)
        tag = qFromLittleEndian<quint16>(head + 24);
    const quint32 perframe = samplerate > 0 && channels > 0 ? byterate / quint32(samplerate) : 0;
    layout.bytespersample = channels > 0 ? int(perframe / quint32(channels)) : 0;
    if (tag == pcmtag && layout.bytespersample >= 1 && layout.bytespersample <= 4)
        layout.encoding = Encoding::integer;
    else if (tag == floattag && layout.bytespersample == 4)
        layout.encoding = Encoding::floating;
    else
        return Problem::unsupported;

    // Chunks between the format and the data are skipped, with the pad byte
    // that follows a chunk of odd size.
    for (;;) {
        const QByteArray id = file.read(4);
        quint32 size = 0;
        if (id.size() != 4 || !read32(file, size))
            return Problem::nodata;
        if (id == "data") {
            layout.databytes = std::min<qint64>(size, file.size() - file.pos());
            return Problem::none;
        }
        const qint64 skip = qint64(size) + (size & 1u);
        if (file.pos() + skip > file.size() || !file.seek(file.pos() + skip))
            return Problem::nodata;
    }
}

bool readframes(QIODevice& file, const Layout& layout, qint64 frames, qint64 blockframes,
                const std::function<void(qint64 first, const QByteArray& bytes)>& take)
{
    const qint64 framebytes = qint64(layout.bytespersample) * layout.channels;
    if (framebytes <= 0 || blockframes <= 0)
        return frames <= 0;
    for (qint64 first = 0; first < frames; first += blockframes) {
        const qint64 want = std::min(blockframes, frames - first) * framebytes;
        const QByteArray bytes = file.read(want);
        if (bytes.size() != want)
            return false;
        if (take)
            take(first, bytes);
    }
    return true;
}

float decode(const char* bytes, const Layout& layout)
{
    if (layout.encoding == Encoding::floating)
        return qFromLittleEndian<float>(bytes);
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    const int n = layout.bytespersample;
    if (n == 1)
        return float((int(b[0]) - 128) / 128.0);
    qint64 v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | b[i];
    const qint64 half = qint64(1) << (8 * n - 1);
    if (v >= half)
        v -= 2 * half;
    return float(double(v) / double(half));
}

} // namespace wavefile
