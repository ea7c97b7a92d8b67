#pragma once
// The WAVE file exchanged with the external wave editor: written as 32-bit
// float, read back as 8-, 16-, 24- or 32-bit integer PCM or 32-bit float.
// All integers are little-endian.
#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

class QIODevice;

namespace wavefile {

constexpr int headerbytes = 44;
// The largest data chunk a 32-bit RIFF size can describe.
constexpr quint64 maxdatabytes = 0xFFFFFFFFull - 36;

// The header of a 32-bit float file of `frames` frames; the caller keeps
// frames x channels x 4 within maxdatabytes.
QByteArray header(int channels, int samplerate, quint32 frames);

enum class Encoding { integer, floating };

// What the read-back needs of a file's format and data chunk.
struct Layout
{
    int channels = 0;
    int samplerate = 0;
    int bytespersample = 0; // byte rate / sample rate / channels
    Encoding encoding = Encoding::integer;
    qint64 databytes = 0;   // of the data chunk, held to what the file holds
};

enum class Problem {
    none,
    notwave,     // no "RIFF", "WAVE" and "fmt " at their places
    changed,     // another channel count or sample rate
    nodata,      // the file ends before a "data" chunk
    unsupported, // a sample format the read-back does not know
};

// Reads the header from the start of the file and leaves it at the first
// byte of the data chunk. The format chunk must come first; other chunks may
// stand between it and the data chunk.
Problem readlayout(QIODevice& file, int channels, int samplerate, Layout& layout);

// Reads `frames` frames of the data chunk from the file's position on, in
// blocks of at most `blockframes` frames, and hands each block with the
// index of its first frame to `take` (when set). False as soon as the file
// gives fewer bytes than asked for.
bool readframes(QIODevice& file, const Layout& layout, qint64 frames, qint64 blockframes,
                const std::function<void(qint64 first, const QByteArray& bytes)>& take);

// One sample from its bytes: integers of 1 byte are unsigned around 128,
// wider ones signed; floats are 32-bit.
float decode(const char* bytes, const Layout& layout);

} // namespace wavefile
