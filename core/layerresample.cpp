// Resampling a layer's sample file through the sox utility.
#include <QCoreApplication>
#include <QFile>
#include <QMutexLocker>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <functional>
#include <vector>

#include "globals.h"
#include "layer.h"
#include "log.h"
#include "sdk/rounding.h"
#include "soxsamples.h"
#include "sdk/speakermix.h"
#include "utility.h"

namespace {

// sox is ended only when it stops printing its progress for this long: a
// long recording takes as long as it takes.
constexpr int soxsilencems = 30000;

// Where the steps of a resampling lie on the one progress bar the user sees.
constexpr int soxfrom = 30;
constexpr int soxto = 95;

// sox's own complaints ("sox FAIL ...", "sox WARN ..."), for the log and the
// user; the rest of what it prints (the description of its input, "Done.")
// tells them nothing. A complaint may follow the progress display on its line.
QString soxlines(const QString& output)
{
    static const QRegularExpression complaint(QStringLiteral("(\\S+ (?:FAIL|WARN) .*)$"));
    QStringList lines;
    for (const QString& line : output.split(QRegularExpression(QStringLiteral("[\r\n]")), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = complaint.match(line);
        if (match.hasMatch())
            lines << match.captured(1).trimmed();
    }
    return lines.join(QLatin1Char('\n'));
}

// How far sox is, from its progress display ("In:12.3% ..."), on the bar.
int soxpercent(const QByteArray& output)
{
    const qsizetype at = output.lastIndexOf("In:");
    if (at < 0)
        return -1;
    const qsizetype end = output.indexOf('%', at);
    bool ok = false;
    const double percent = end < 0 ? 0 : output.mid(at + 3, end - at - 3).toDouble(&ok);
    return ok ? soxfrom + int(percent * (soxto - soxfrom) / 100) : -1;
}

// The system's reason when sox could not write its output for want of room
// (its own words carry it, or the system ended it for a file beyond its
// limit); 0 for any other.
int soxdiskerror(const UtilityResult& run, const QString& said)
{
#ifdef SIGXFSZ
    if (run.started && !run.exitednormally && !run.timedout && !run.cancelled && run.exitcode == SIGXFSZ)
        return EFBIG;
#endif
#ifdef EDQUOT
    for (int code : {ENOSPC, EDQUOT, EFBIG})
#else
    for (int code : {ENOSPC, EFBIG})
#endif
        if (said.contains(qt_error_string(code)))
            return code;
    return 0;
}

// Why a sox run did not convert every frame into `output`, which should
// hold `expected` frames of `channels` give or take `tolerance` (empty: it
// did; its warnings then go to the log).
QString soxfailure(const UtilityResult& run, const QString& program, QFile* output, int channels, qint64 expected,
                   qint64 tolerance)
{
    if (!run.started)
        return QStringLiteral("The sound utility sox, which converts sample rates, could not be started (%1). It was "
                              "looked for at %2.")
            .arg(run.output.trimmed(), program);
    if (run.timedout)
        return QStringLiteral("sox stopped answering and was ended.");
    const QString said = soxlines(run.output);
    const qint64 framebytes = qint64(channels) * 4;
    const qint64 frames = output->size() / framebytes;
    const bool whole = std::llabs(frames - expected) <= tolerance && output->size() % framebytes == 0;
    // sox goes on to its end after a failed write, and may even exit with 0.
    if (const int error = soxdiskerror(run, said); error && (!run.succeeded() || !whole))
        return QStringLiteral("sox could not write all the converted samples: %1").arg(writefailure(output, error));
    if (!run.succeeded())
        return QStringLiteral("sox could not convert the samples (it %1).")
            .arg(run.failuretext().section(':', 0, 0) + (said.isEmpty() ? QString() : ": " + said));
    if (!whole)
        return QStringLiteral("sox wrote %1 frames where %2 were expected, which means it could not write them all.%3")
            .arg(frames)
            .arg(expected)
            .arg(said.isEmpty() ? QString() : " " + said);
    if (!said.isEmpty())
        logmessage(said);
    return {};
}

// One pass over a whole sample file: its frames through the weights (none:
// as they are) and a gain into another file, or into itself, or nowhere (to
// measure them only).
struct Pass
{
    QString from;
    int inchannels = 0;
    QString to; // empty: nowhere
    int outchannels = 0;
    const speakermix::Matrix* weights = nullptr;
    float gain = 1;
};

// Runs a pass; the peak of what came out, or below 0 when it was stopped
// (why empty) or failed (why says why). going(done, total) in frames.
float runpass(const Pass& pass, const std::function<bool(qint64, qint64)>& going, QString* why)
{
    QFile in(pass.from);
    QFile other(pass.to);
    QFile* out = pass.to.isEmpty() ? nullptr : pass.to == pass.from ? &in : &other;
    if (!in.open((out == &in ? QIODevice::ReadWrite : QIODevice::ReadOnly) | QIODevice::Unbuffered)) {
        *why = QStringLiteral("The samples could not be read: %1").arg(in.errorString());
        return -1;
    }
    if (out == &other && !other.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        *why = QStringLiteral("The converted samples could not be written: %1").arg(writefailure(&other, errno));
        return -1;
    }
    constexpr qint64 blockframes = 65536;
    const qint64 inbytes = qint64(pass.inchannels) * 4;
    const qint64 outbytes = qint64(pass.outchannels) * 4;
    const qint64 frames = in.size() / inbytes;
    std::vector<float> block(size_t(blockframes * pass.inchannels));
    std::vector<float> mixed(pass.weights ? size_t(blockframes * pass.outchannels) : 0);
    float peak = 0;
    for (qint64 done = 0; done < frames;) {
        if (!going(done, frames))
            return -1;
        const qint64 count = std::min(blockframes, frames - done);
        const qint64 bytes = count * inbytes;
        if (!in.seek(done * inbytes) || in.read(reinterpret_cast<char*>(block.data()), bytes) != bytes) {
            *why = QStringLiteral("The samples could not be read: %1").arg(in.errorString());
            return -1;
        }
        float* result = block.data();
        if (pass.weights) {
            for (qint64 k = 0; k < count; ++k)
                for (int o = 0; o < pass.outchannels; ++o) {
                    float sum = 0;
                    for (int i = 0; i < pass.inchannels; ++i)
                        sum += (*pass.weights)[o][i] * block[size_t(k * pass.inchannels + i)];
                    mixed[size_t(k * pass.outchannels + o)] = sum;
                }
            result = mixed.data();
        }
        for (qint64 k = 0; k < count * pass.outchannels; ++k) {
            result[k] *= pass.gain;
            peak = std::max(peak, std::fabs(result[k]));
        }
        if (out && (!out->seek(done * outbytes)
                    || out->write(reinterpret_cast<const char*>(result), count * outbytes) != count * outbytes)) {
            *why = QStringLiteral("The converted samples could not be written: %1").arg(writefailure(out, errno));
            return -1;
        }
        done += count;
    }
    return peak;
}

// going() of a pass that fills the bar from `from` to `to`.
std::function<bool(qint64, qint64)> share(const std::function<bool(int)>& going, int from, int to)
{
    return [&going, from, to](qint64 done, qint64 total) { return going(from + int((to - from) * done / total)); };
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
    // The new format, with the file that holds it (none: the samples stay).
    const auto adopt = [&](QFile* newfile) {
        const bool reformat = samplerate != newrate || channels != newchannels;
        if (newfile)
            replacefile(newfile);
        samplerate = newrate;
        channels = newchannels;
        speakermask = newmask;
        updatelength();
        if (kept && reformat)
            keepbefore(); // no chunk of another format could be restored
        return true;
    };
    // A layer without a format or without audio only takes the new values:
    // there is nothing to convert.
    if (samplerate <= 0 || channels <= 0 || fileframes() == 0
        || (samplerate == newrate && channels == newchannels))
        return adopt(nullptr);
    // From here a false result says why in lasterror(), unless the user
    // cancelled: then it is empty.
    lasterrortext.clear();
    const qint64 oldframes = fileframes();
    const int oldrate = samplerate;
    const int oldchannels = channels;
    // Another channel count is a down-mix or an up-mix by the speakers'
    // places (sox would only average the channels); sox changes the rate alone.
    const speakermix::Matrix weights = speakermix::matrix(speakermask, channels, newmask, newchannels);
    const bool remix = channels != newchannels;

    QFile* newfile = newtempfile();
    if (!newfile)
        return false;
    // What sox reads when the channels change or the samples are too loud
    // for it: the layer's own file stays as it is until sox is done.
    QFile* mixed = oldrate != newrate ? newtempfile() : nullptr;
    if (oldrate != newrate && !mixed) {
        removefile(newfile);
        return false;
    }
    QString why;
    if (!file->flush())
        why = QStringLiteral("The samples of layer \"%1\" could not be written: %2")
                  .arg(name, writefailure(file, errno));
    const QString source = file->fileName();
    const QString output = newfile->fileName();
    const QString input = mixed ? mixed->fileName() : QString();
    // Every step reads and writes files of its own, off the GUI thread, with
    // the progress shown and Cancel at hand: others may read the layer meanwhile.
    lock.unlock();

    bool cancelled = false;
    if (why.isEmpty()) {
        const UtilityWatchSpan span(QCoreApplication::translate("layer", "Converting the samples to %1 Hz/%2 "
                                                                         "channel(s)...")
                                        .arg(newrate)
                                        .arg(newchannels));
        float gain = 1;
        const WorkEnd before = runwatchedwork({}, [&](const std::function<bool(int)>& going) {
            const QString target = remix ? (mixed ? input : output) : QString();
            const float peak = runpass({source, oldchannels, target, newchannels, remix ? &weights : nullptr},
                                       share(going, 0, soxfrom / 2), &why);
            if (peak < 0 || !mixed)
                return peak >= 0;
            // sox clips at full scale: loud samples go down before it and up after.
            gain = headroomgain(peak);
            return gain == 1
                   || runpass({remix ? input : source, newchannels, input, newchannels, nullptr, gain},
                              share(going, soxfrom / 2, soxfrom), &why)
                          >= 0;
        });
        cancelled = before == WorkEnd::Cancelled;
        if (before == WorkEnd::Done && mixed) {
            UtilityCommand sox;
            sox.program = utilpath + QStringLiteral("/sox/sox");
            sox.arguments << QStringLiteral("-S") << QStringLiteral("--no-glob") << soxrawformat(oldrate, newchannels)
                          << (remix || gain != 1 ? input : source) << soxrawformat(newrate, newchannels) << output
                          << QStringLiteral("rate") << QStringLiteral("-v") << QStringLiteral("-s");
            sox.progress = soxpercent;
            const UtilityResult run = runutility(sox, soxsilencems, UtilityLimit::Silence, true);
            const qint64 expected = roundhalfup64(double(oldframes) * newrate / oldrate);
            cancelled = run.cancelled;
            if (!cancelled)
                why = soxfailure(run, sox.program, newfile, newchannels, expected,
                                 2 + qint64(std::ceil(double(newrate) / oldrate)));
            const auto louder = [&](const std::function<bool(int)>& going) {
                return runpass({output, newchannels, output, newchannels, nullptr, 1 / gain},
                               share(going, soxto, 100), &why)
                       >= 0;
            };
            if (why.isEmpty() && !cancelled && gain != 1)
                cancelled = runwatchedwork({}, louder) == WorkEnd::Cancelled;
        }
    }

    lock.relock();
    removefile(mixed);
    if (cancelled || !why.isEmpty()) {
        removefile(newfile);
        if (cancelled)
            logmessage(QStringLiteral("Resampling of layer \"%1\" cancelled").arg(name));
        else
            seterror(why);
        return false;
    }
    return adopt(newfile);
}
