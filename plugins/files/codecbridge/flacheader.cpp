#include "flacheader.h"

#include <QFile>

FlacHeader readflacheader(const QString& path)
{
    FlacHeader header;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return header;
    // The marker, then the first metadata block, which must be the STREAMINFO
    // (type 0) of 34 bytes. A file behind a tag of another format is left to
    // the converter as a whole.
    const QByteArray bytes = file.read(4 + 4 + 34);
    if (bytes.size() < 42 || !bytes.startsWith("fLaC") || (quint8(bytes[4]) & 0x7F) != 0
        || (quint8(bytes[5]) << 16 | quint8(bytes[6]) << 8 | quint8(bytes[7])) != 34)
        return header;
    const auto* info = reinterpret_cast<const quint8*>(bytes.constData() + 8);
    const int minblock = info[0] << 8 | info[1];
    const int maxblock = info[2] << 8 | info[3];
    // Bytes 10 to 17: rate (20 bits), channels - 1 (3), bits - 1 (5), samples (36).
    quint64 packed = 0;
    for (int i = 10; i < 18; ++i)
        packed = packed << 8 | info[i];
    header.valid = true;
    header.samplerate = int(packed >> 44);
    header.channels = int((packed >> 41) & 0x7) + 1;
    header.frames = qint64(packed & ((quint64(1) << 36) - 1));
    // The format's smallest frame is 16 samples; a smaller minimum is a lie.
    // Frames that vary in length are left to the whole decode: no encoder at
    // hand writes them, so seams inside such streams were never checked.
    header.blocksize = minblock == maxblock && minblock >= 16 ? minblock : 0;
    return header;
}
