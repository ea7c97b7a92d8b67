// Resampling a layer's sample file through the sox utility.
#include <QFile>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cmath>
#include <memory>
#include <vector>

#include "globals.h"
#include "layer.h"
#include "log.h"
#include "rounding.h"
#include "soxsamples.h"
#include "speakermix.h"
#include "utility.h"

namespace {

// sox is ended only when it stops printing its progress for this long: a
// long recording takes as long as it takes.
constexpr int soxsilencems = 30000;

// sox's lines without its progress display, for the log and the user.
QString soxlines(const QString& output)
{
    QStringList lines;
    for (const QString& line : output.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts))
        if (!line.trimmed().isEmpty() && !line.startsWith(QLatin1String("In:")))
            lines << line.trimmed();
    return lines.join(QLatin1Char('\n'));
}

// How far sox is, from its progress display ("In:12.3% ...").
int soxpercent(const QByteArray& output)
{
    const qsizetype at = output.lastIndexOf("In:");
    if (at < 0)
        return -1;
    const qsizetype end = output.indexOf('%', at);
    bool ok = false;
    const double percent = end < 0 ? 0 : output.mid(at + 3, end - at - 3).toDouble(&ok);
    return ok ? int(percent) : -1;
}

// Writes every frame of `from` (from its start) into `to` through the weights.
bool remixfile(QFile* from, int inchannels, QFile* to, int outchannels, const speakermix::Matrix& weights)
{
    constexpr qint64 blockframes = 65536;
    std::vector<float> in(size_t(blockframes * inchannels));
    std::vector<float> out(size_t(blockframes * outchannels));
    if (!from->seek(0))
        return false;
    for (;;) {
        const qint64 got = from->read(reinterpret_cast<char*>(in.data()), blockframes * inchannels * 4);
        if (got < 0)
            return false;
        const qint64 frames = got / (inchannels * 4);
        if (frames == 0)
            return to->flush();
        for (qint64 k = 0; k < frames; ++k)
            for (int o = 0; o < outchannels; ++o) {
                float sum = 0;
                for (int i = 0; i < inchannels; ++i)
                    sum += weights[o][i] * in[size_t(k * inchannels + i)];
                out[size_t(k * outchannels + o)] = sum;
            }
        if (to->write(reinterpret_cast<const char*>(out.data()), frames * outchannels * 4) != frames * outchannels * 4)
            return false;
    }
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
    // A layer without a format or without audio only takes the new values:
    // there is nothing to convert.
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
    // From here a false result says why in lasterror(), unless the user
    // cancelled: then it is empty.
    lasterrortext.clear();
    const qint64 oldframes = fileframes();
    const int oldrate = samplerate;

    auto fail = [this](const QString& why, QFile* made, QFile* mixed) {
        removefile(made);
        removefile(mixed);
        if (!why.isEmpty()) // empty: newtempfile() has said why
            seterror(why);
        return false;
    };
    const QString nowrite = QStringLiteral("The converted samples could not be written in the session folder %1: %2");

    QFile* newfile = newtempfile();
    if (!newfile)
        return false;
    if (!file->flush())
        return fail(nowrite.arg(sessionpath, file->errorString()), newfile, nullptr);
    // Another channel count is a down-mix or an up-mix by the speakers' places
    // (sox would only average the channels); sox then changes the rate alone.
    QFile* input = file;
    QFile* mixed = nullptr;
    if (channels != newchannels) {
        mixed = oldrate == newrate ? newfile : newtempfile();
        if (!mixed)
            return fail(QString(), newfile, nullptr);
        if (!remixfile(file, channels, mixed, newchannels,
                       speakermix::matrix(speakermask, channels, newmask, newchannels)))
            return fail(nowrite.arg(sessionpath, mixed->errorString()), newfile, mixed == newfile ? nullptr : mixed);
        if (mixed == newfile) {
            replacefile(newfile);
            samplerate = newrate;
            channels = newchannels;
            speakermask = newmask;
            updatelength();
            if (kept)
                keepbefore();
            return true;
        }
        input = mixed;
    }
    const float peak = filepeak(input);
    if (peak < 0)
        return fail(nowrite.arg(sessionpath, input->errorString()), newfile, mixed);
    const float gain = headroomgain(peak);
    if (gain != 1) {
        // Scaled in a copy of its own: the layer's file stays as it is until sox is done.
        if (!mixed) {
            mixed = newtempfile();
            if (!mixed)
                return fail(QString(), newfile, nullptr);
        }
        if (!scalefile(input, mixed, gain))
            return fail(nowrite.arg(sessionpath, mixed->errorString()), newfile, mixed);
        input = mixed;
    }
    const QString inputpath = input->fileName();
    const QString outputpath = newfile->fileName();
    // The layer's own file is only read from here on; others may read it meanwhile.
    lock.unlock();

    UtilityCommand sox;
    sox.program = utilpath + QStringLiteral("/sox/sox");
    sox.arguments << QStringLiteral("-S") << QStringLiteral("--no-glob") << soxrawformat(oldrate, newchannels)
                  << inputpath << soxrawformat(newrate, newchannels) << outputpath << QStringLiteral("rate")
                  << QStringLiteral("-v") << QStringLiteral("-s");
    sox.progress = soxpercent;
    // Watched: the progress shows, Cancel ends the run, and the window goes
    // on drawing meanwhile; the layer is left as it was until sox is done.
    const UtilityResult run = runutility(sox, soxsilencems, UtilityLimit::Silence, true);

    lock.relock();
    const QString said = soxlines(run.output);
    if (run.cancelled) {
        removefile(newfile);
        removefile(mixed);
        logmessage(QStringLiteral("Resampling of layer \"%1\" cancelled").arg(name));
        return false;
    }
    if (!run.started)
        return fail(QStringLiteral("The sound utility sox, which converts sample rates, could not be started (%1). "
                                   "It was looked for at %2.")
                        .arg(run.output.trimmed(), sox.program),
                    newfile, mixed);
    if (run.timedout)
        return fail(QStringLiteral("sox stopped answering and was ended."), newfile, mixed);
    if (!run.succeeded())
        return fail(QStringLiteral("sox could not convert the samples (it %1).")
                        .arg(said.isEmpty() ? run.failuretext() : run.failuretext().section(':', 0, 0) + ": " + said),
                    newfile, mixed);
    if (!said.isEmpty())
        logmessage(said);
    removefile(mixed);
    mixed = nullptr;
    const qint64 frames = newfile->size() / (qint64(newchannels) * 4);
    const qint64 expected = roundhalfup64(double(oldframes) * newrate / oldrate);
    const qint64 tolerance = 2 + qint64(std::ceil(double(newrate) / oldrate));
    if (std::llabs(frames - expected) > tolerance || newfile->size() % (qint64(newchannels) * 4) != 0)
        return fail(QStringLiteral("sox wrote %1 frames where %2 were expected, which means it could not write them "
                                   "all: %3")
                        .arg(frames)
                        .arg(expected)
                        .arg(said),
                    newfile, nullptr);
    if (gain != 1 && !scalefile(newfile, newfile, 1 / gain))
        return fail(nowrite.arg(sessionpath, newfile->errorString()), newfile, nullptr);
    replacefile(newfile);
    samplerate = newrate;
    channels = newchannels;
    speakermask = newmask;
    updatelength();
    if (kept)
        keepbefore();
    return true;
}
