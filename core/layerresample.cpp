// Resampling a layer's sample file through the sox utility.
#include <QFile>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <cmath>
#include <memory>
#include <vector>

#include "globals.h"
#include "layer.h"
#include "log.h"
#include "rounding.h"
#include "utility.h"

namespace {

constexpr qint64 blockfloats = 250000; // one 1,000,000-byte block
constexpr int soxtimeoutms = 30000;
// sox works in fixed point and clips at full scale; a peak above this level is
// brought down to it so that the steep filter's overshoot has room too.
constexpr float soxheadroom = 0.5f;

// Largest absolute sample of the whole file, or a negative value on a read failure.
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

// Streams `from` (from its start) through a gain into `to` at its current
// position; with from == to the file is scaled in place.
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

QStringList rawformat(int samplerate, int channels)
{
    return {QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-e"), QStringLiteral("floating-point"),
            QStringLiteral("-b"), QStringLiteral("32"), QStringLiteral("-r"), QString::number(samplerate),
            QStringLiteral("-c"), QString::number(channels)};
}

} // namespace

bool layer::resample(int newrate, int newchannels, int mask)
{
    if (newrate <= 0 || newchannels <= 0) {
        logerror(QStringLiteral("Layer \"%1\" cannot take %2 Hz and %3 channels").arg(name).arg(newrate).arg(newchannels));
        return false;
    }
    QMutexLocker lock(&layermutex);
    const int newmask = mask != 0 ? mask : defaultspeakermask(newchannels, speakermask);
    // A layer without a format, without audio or already in the format only
    // takes the new values: there is nothing for sox to convert.
    if (samplerate <= 0 || channels <= 0 || fileframes() == 0
        || (samplerate == newrate && channels == newchannels)) {
        samplerate = newrate;
        channels = newchannels;
        speakermask = newmask;
        updatelength();
        return true;
    }
    const qint64 oldframes = fileframes();
    const int oldrate = samplerate;
    const int oldchannels = channels;

    auto fail = [this](const QString& why, QFile* made, QFile* scaled) {
        removefile(made);
        removefile(scaled);
        seterror(QStringLiteral("Layer \"%1\" could not be resampled: %2").arg(name, why));
        return false;
    };

    QFile* newfile = newtempfile();
    if (!newfile)
        return false;
    if (!file->flush())
        return fail(file->errorString(), newfile, nullptr);
    const float peak = filepeak(file);
    if (peak < 0)
        return fail(file->errorString(), newfile, nullptr);
    QFile* input = file;
    QFile* scaled = nullptr;
    float gain = 1;
    if (peak > soxheadroom) {
        gain = soxheadroom / peak;
        scaled = newtempfile();
        if (!scaled)
            return fail(QStringLiteral("no room for a scaled copy"), newfile, nullptr);
        if (!scalefile(file, scaled, gain))
            return fail(scaled->errorString(), newfile, scaled);
        input = scaled;
    }
    const QString inputpath = input->fileName();
    const QString outputpath = newfile->fileName();
    // The layer's own file is only read from here on; others may read it meanwhile.
    lock.unlock();

    QStringList arguments{QStringLiteral("--no-glob")};
    arguments << rawformat(oldrate, oldchannels) << inputpath << rawformat(newrate, newchannels) << outputpath
              << QStringLiteral("rate") << QStringLiteral("-v") << QStringLiteral("-s");
    const UtilityResult run = runutility(utilpath + QStringLiteral("/sox/sox"), arguments, soxtimeoutms);

    lock.relock();
    removefile(scaled);
    scaled = nullptr;
    if (!run.succeeded())
        return fail(QStringLiteral("sox ") + run.failuretext(), newfile, nullptr);
    if (!run.output.trimmed().isEmpty())
        logmessage(run.output.trimmed());
    const qint64 frames = newfile->size() / (qint64(newchannels) * 4);
    const qint64 expected = roundhalfup64(double(oldframes) * newrate / oldrate);
    const qint64 tolerance = 2 + qint64(std::ceil(double(newrate) / oldrate));
    if (std::llabs(frames - expected) > tolerance || newfile->size() % (qint64(newchannels) * 4) != 0)
        return fail(QStringLiteral("sox wrote %1 frames where %2 were expected: %3")
                        .arg(frames)
                        .arg(expected)
                        .arg(run.output.trimmed()),
                    newfile, nullptr);
    if (gain != 1 && !scalefile(newfile, newfile, 1 / gain))
        return fail(newfile->errorString(), newfile, nullptr);
    replacefile(newfile);
    samplerate = newrate;
    channels = newchannels;
    speakermask = newmask;
    updatelength();
    return true;
}
