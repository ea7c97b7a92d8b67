// Decoding a FLAC file in several parts at once. One converter decodes on one
// core and spends much of its time writing; the parts share the cores, each
// writing straight into its own place of the destination. They begin at whole
// seconds, which the converter's clock (microseconds) and the stream's (its
// samples) both name exactly, so each part starts and ends on the samples
// that the decode of the whole file gives there.
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

#include "fileplugin.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>

namespace {

// A part costs a converter's start and its seek: shorter ones gain nothing.
constexpr int shortestpart = 10; // seconds
constexpr int mostparts = 16;

struct Part
{
    qint64 first = 0;  // its first frame in the file
    qint64 frames = 0; // how many it must give
    bool last = false; // runs to the end of the file
    int fd = -1;       // the destination, open at the part's place; the converter writes through it
    std::unique_ptr<QProcess> process;
    ConsoleParser console;
    qint64 seen = 0;     // bytes written when last looked
    QElapsedTimer quiet; // since its last output or write
    bool failed = false; // did not start, crashed or ended with an error

    // Bytes the converter wrote so far: the file position it shares with us.
    qint64 written(qint64 framebytes) const
    {
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        return at < 0 ? -1 : qint64(at) - first * framebytes;
    }
    // Nothing it decoded may be in doubt.
    bool clean() const { return !failed && console.decodeproblems == 0; }
};

// Whole seconds of equal length, at most `parts` of them, none but the last
// shorter than shortestpart; fewer than two are not worth it.
std::vector<Part> plan(qint64 frames, int samplerate, int parts)
{
    const qint64 seconds = (frames + samplerate - 1) / samplerate;
    parts = int(std::min<qint64>({parts, mostparts, seconds / shortestpart}));
    std::vector<Part> plan;
    if (parts < 2)
        return plan;
    const qint64 length = (seconds + parts - 1) / parts * samplerate;
    for (qint64 first = 0; first < frames; first += length) {
        Part part;
        part.first = first;
        part.frames = std::min(length, frames - first);
        part.last = first + length >= frames;
        plan.push_back(std::move(part));
    }
    return plan.size() >= 2 ? std::move(plan) : std::vector<Part>();
}

} // namespace

bool FilePlugin::decodeinsegments(const QString& source, const QString& destination, const FlacHeader& flac,
                                  const QString& title, Run* run)
{
    std::vector<Part> parts = plan(flac.frames, flac.samplerate, QThread::idealThreadCount());
    const QString program = converterpath();
    if (parts.empty() || program.isEmpty())
        return false;
    const qint64 framebytes = qint64(flac.channels) * 4;
    const QByteArray path = QFile::encodeName(destination);
    for (Part& part : parts) {
        part.fd = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
        if (part.fd < 0 || ::lseek(part.fd, part.first * framebytes, SEEK_SET) < 0) {
            for (const Part& opened : parts)
                if (opened.fd >= 0)
                    ::close(opened.fd);
            return false;
        }
    }

    console.reset();
    duration = 0;
    samplerate = 0;
    channels = 0;

    QObject context; // of the parts' connections, which go with it
    bool ended = false;
    bool doubt = false;
    const auto doubted = [&] {
        doubt = true;
        ended = true;
    };
    const auto follow = [&](Part& part, int changes) {
        const ConsoleParser& said = part.console;
        if ((changes & ConsoleParser::Duration) && &part == &parts.front())
            duration = said.duration;
        if ((changes & ConsoleParser::Stream) && &part == &parts.front()) {
            samplerate = said.samplerate;
            channels = said.channels;
            hosttext(host, convertingtext());
        }
        if ((changes & ConsoleParser::Time) && duration > 0) {
            double time = 0;
            for (const Part& each : parts)
                time += each.console.time;
            hostprogress(host, int(std::min(time, duration) * 100 / duration));
        }
        // A damaged frame closes the part up over it: the whole decode places it.
        if (!part.clean())
            doubted();
    };
    int running = 0;
    for (Part& part : parts) {
        part.process = std::make_unique<QProcess>();
        QProcess* process = part.process.get();
        process->setProcessChannelMode(QProcess::MergedChannels);
        // The converter writes to its descriptor 3, the part's place in the destination.
        const int fd = part.fd;
        process->setChildProcessModifier([fd] {
            if (fd == 3)
                ::fcntl(3, F_SETFD, 0);
            else
                ::dup2(fd, 3);
        });
        Part* each = &part;
        connect(process, &QProcess::readyReadStandardOutput, &context, [&, each] {
            each->quiet.start();
            follow(*each, each->console.feed(each->process->readAllStandardOutput()));
        });
        connect(process, &QProcess::finished, &context, [&, each] {
            each->failed = each->process->exitStatus() != QProcess::NormalExit || each->process->exitCode() != 0;
            if (--running == 0 || each->failed)
                ended = true;
        });
        QStringList arguments{QStringLiteral("-ss"), QString::number(part.first / flac.samplerate)};
        if (!part.last)
            arguments << QStringLiteral("-t") << QString::number(part.frames / flac.samplerate);
        // The parts already fill the cores: a converter's own decoding threads
        // only cost CPU and, on a busy machine, wait on each other.
        arguments << QStringLiteral("-threads") << QStringLiteral("1");
        arguments << QStringLiteral("-i") << source << QStringLiteral("-y") << QStringLiteral("-vn")
                  << QStringLiteral("-f") << QStringLiteral("f32le") << QStringLiteral("pipe:3");
        process->start(program, arguments);
        if (!process->waitForStarted(converteridletime)) {
            part.failed = true;
            doubt = true;
            break;
        }
        process->closeWriteChannel();
        part.quiet.start();
        ++running;
    }

    QTimer tick;
    connect(&tick, &QTimer::timeout, &context, [&] {
        for (Part& part : parts) {
            const qint64 written = part.written(framebytes);
            if (written != part.seen) {
                part.seen = written;
                part.quiet.start();
            } else if (part.process && part.process->state() != QProcess::NotRunning
                       && part.quiet.elapsed() > converteridletime) {
                doubted(); // stalled
            }
        }
    });
    tick.start(100);
    bool cancelled = false;
    if (!doubt && running > 0)
        cancelled = hostwaitwhile(host, title, tr("Converting..."), [&] { return !ended; });
    tick.stop();

    for (Part& part : parts) {
        QProcess* process = part.process.get();
        if (!process)
            continue;
        disconnect(process, nullptr, &context, nullptr);
        const bool stopped = process->state() != QProcess::NotRunning;
        if (stopped) {
            process->kill();
            process->waitForFinished(5000);
        }
        // Ended by itself with an error, or crashed before it was stopped.
        if (process->exitStatus() == QProcess::NormalExit ? process->exitCode() != 0 : !stopped)
            part.failed = true;
        part.console.feed(process->readAllStandardOutput());
        part.console.finish();
    }

    // What each part wrote, and whether it is all that it had to give.
    bool whole = !doubt;
    for (Part& part : parts) {
        part.seen = part.process ? part.written(framebytes) : 0;
        ::close(part.fd);
        if (!part.clean() || part.seen != part.frames * framebytes || part.console.samplerate != flac.samplerate
            || part.console.channels != flac.channels)
            whole = false;
    }
    // A part that found no room for its audio says so as the whole decode
    // would, which would only run into the same.
    for (const Part& part : parts) {
        if (cancelled || !part.process)
            continue;
        Run ended;
        ended.ending = part.process->exitStatus() == QProcess::CrashExit ? Ending::Crashed : Ending::Finished;
        ended.exitcode = part.process->exitCode();
        console = part.console;
        if (!nospace(ended, destination).isEmpty()) {
            *run = ended;
            samplerate = console.samplerate;
            channels = console.channels;
            return true;
        }
    }
    console = parts.front().console;
    samplerate = console.samplerate;
    channels = console.channels;
    run->exitcode = 0;
    if (cancelled) {
        // The beginning up to the first part that is not complete.
        qint64 end = 0;
        for (const Part& part : parts) {
            if (!part.clean())
                break;
            end = part.first * framebytes + std::max<qint64>(0, part.seen) / framebytes * framebytes;
            if (part.seen != part.frames * framebytes)
                break;
        }
        QFile::resize(destination, end);
        run->ending = Ending::Cancelled;
        return true;
    }
    if (!whole) {
        if (QFileInfo(destination).size() > 0)
            QFile::resize(destination, 0);
        return false;
    }
    run->ending = Ending::Finished;
    return true;
}

#else

// Elsewhere the converter cannot be handed a place in a file: the whole decode.
bool FilePlugin::decodeinsegments(const QString&, const QString&, const FlacHeader&, const QString&, Run*)
{
    return false;
}

#endif
