#include "waveheader.h"

#include <QFile>
#include <QtEndian>

WaveHeader readwaveheader(const QString& path)
{
    WaveHeader header;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return header;
    const QByteArray start = file.read(12);
    if (start.size() < 12 || !start.startsWith("RIFF") || start.mid(8, 4) != "WAVE")
        return header;

    bool format = false;
    // The chunks before the audio are small; a header that wanders further is not one to trust.
    for (int chunk = 0; chunk < 64 && file.pos() < 1 << 20; ++chunk) {
        const QByteArray head = file.read(8);
        if (head.size() < 8)
            return header;
        const quint32 size = qFromLittleEndian<quint32>(head.constData() + 4);
        if (head.startsWith("fmt ")) {
            const QByteArray body = file.read(qMin<quint32>(size, 16));
            if (body.size() < 14)
                return header;
            header.formattag = qFromLittleEndian<quint16>(body.constData());
            header.samplerate = qFromLittleEndian<quint32>(body.constData() + 4);
            header.blockalign = qFromLittleEndian<quint16>(body.constData() + 12);
            format = true;
            file.seek(file.pos() - body.size());
        } else if (head.startsWith("data")) {
            if (!format)
                return header;
            header.valid = true;
            header.dataend = file.pos() + size;
            // A streamed file leaves the size open (0 or all ones).
            if (size != 0 && size != 0xFFFFFFFFu && header.blockalign > 0 && header.samplerate > 0)
                header.seconds = double(size / quint32(header.blockalign)) / header.samplerate;
            return header;
        }
        if (!file.seek(file.pos() + size + (size & 1)))
            return header;
    }
    return header;
}
