#pragma once
// What a WAVE file's header announces, read without the converter: the
// converter judges a cut WAVE file by its size and so cannot say how much is
// missing, and it refuses some sample rates without naming them.
#include <QString>
#include <QtGlobal>

struct WaveHeader
{
    bool valid = false;     // a RIFF WAVE file with its format and data chunks
    quint32 samplerate = 0; // as the header claims it, unchecked
    int blockalign = 0;     // bytes per frame
    quint16 formattag = 0;  // the coding of the samples: 1 integer PCM, 3 float, 0xFFFE extensible
    qint64 dataend = 0;     // where the announced audio data ends, from the file's start
    double seconds = 0;     // the announced length; 0 when the header does not know it

    // The file ends before the data it announces.
    bool cut(qint64 filesize) const { return valid && seconds > 0 && filesize < dataend; }
    // Plain samples, which the converter's WAVE reader may hand on in packets of any whole frames.
    bool pcm() const { return valid && (formattag == 1 || formattag == 3 || formattag == 0xFFFE); }
};

WaveHeader readwaveheader(const QString& path);
