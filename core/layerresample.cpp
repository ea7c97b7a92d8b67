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
#include "soxsamples.h"
#include "utility.h"

namespace {

constexpr int soxtimeoutms = 30000;

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
        const bool reformat = samplerate != newrate || channels != newchannels;
        samplerate = newrate;
        channels = newchannels;
        speakermask = newmask;
        updatelength();
        if (kept && reformat)
            keepbefore(); // no chunk of another format could be restored
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
    const float gain = headroomgain(peak);
    if (gain != 1) {
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
    arguments << soxrawformat(oldrate, oldchannels) << inputpath << soxrawformat(newrate, newchannels) << outputpath
              << QStringLiteral("rate") << QStringLiteral("-v") << QStringLiteral("-s");
    // Watched: a hanging sox can be cancelled, and the window goes on
    // drawing meanwhile; the layer is left as it was until sox is done.
    const UtilityResult run = runutility(utilpath + QStringLiteral("/sox/sox"), arguments, soxtimeoutms, true);

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
    if (kept)
        keepbefore();
    return true;
}
