// One run of the converter under the host's wait, shared by import and export.
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>

#include "fileplugin.h"

void FilePlugin::sethost(HostServices* services)
{
    host = services;
}

bool FilePlugin::inbackground(const QString& title, const QString& label, const Work& work, bool* cancelled)
{
    const WorkEnd end = hostrunwork(host, title, label, [&](const std::function<bool(int)>& going) {
        return work([&](qint64 part, qint64 whole) { return going(whole > 0 ? int(part * 100 / whole) : 0); });
    });
    *cancelled = end == WorkEnd::Cancelled;
    return end == WorkEnd::Done;
}

FilePlugin::Run FilePlugin::convert(const QStringList& arguments, const QString& title, const QString& watched)
{
    Run run;
    console.reset();
    duration = 0;
    samplerate = 0;
    channels = 0;

    const QString program = converterpath();
    if (program.isEmpty()) {
        run.error = tr("the plugin was not initialised");
        return run;
    }

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&process, &QProcess::readyReadStandardOutput, this, &FilePlugin::output);

    QTimer watchdog;
    watchdog.setSingleShot(true);
    watchdog.setInterval(converteridletime);
    bool stalled = false;
    qint64 watchedsize = QFileInfo(watched).size();
    connect(&process, &QProcess::readyReadStandardOutput, &watchdog, qOverload<>(&QTimer::start));
    connect(&watchdog, &QTimer::timeout, &process, [&] {
        const qint64 size = QFileInfo(watched).size();
        if (size != watchedsize) { // silent, but still writing
            watchedsize = size;
            watchdog.start();
            return;
        }
        stalled = true;
        process.kill();
    });

    process.start(program, arguments);
    if (!process.waitForStarted(converteridletime)) {
        run.error = process.errorString();
        if (process.state() != QProcess::NotRunning)
            process.kill();
    } else {
        process.closeWriteChannel();
        watchdog.start();
        // A converter that hangs before it prints anything can be cancelled too.
        const bool cancelled = hostwaitwhile(host, title, tr("Converting..."),
                                             [&] { return process.state() != QProcess::NotRunning; });
        watchdog.stop();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
        absorb(&process, console.feed(process.readAllStandardOutput()) | console.finish());

        if (toomanychannels())
            run.ending = Ending::TooManyChannels;
        else if (cancelled)
            run.ending = Ending::Cancelled;
        else if (stalled)
            run.ending = Ending::Stalled;
        else if (process.exitStatus() == QProcess::CrashExit)
            run.ending = Ending::Crashed;
        else
            run.ending = Ending::Finished;
        run.exitcode = process.exitCode();
    }

    disconnect(&process, nullptr, this, nullptr);
    return run;
}

void FilePlugin::output()
{
    if (auto* process = qobject_cast<QProcess*>(sender()))
        absorb(process, console.feed(process->readAllStandardOutput()));
}

bool FilePlugin::toomanychannels() const
{
    return console.outputstream && console.channels > maxchannels;
}

void FilePlugin::absorb(QProcess* process, int changes)
{
    if (changes & ConsoleParser::Duration)
        duration = console.duration;
    if (changes & ConsoleParser::Stream) {
        samplerate = console.samplerate;
        channels = console.channels;
        hosttext(host, convertingtext());
        // Decoding a file the system cannot hold would only waste the user's time.
        if (toomanychannels())
            process->kill();
    }
    if ((changes & ConsoleParser::Time) && duration > 0)
        hostprogress(host, int(std::min(console.time, duration) * 100 / duration));
}

QString FilePlugin::convertingtext() const
{
    return tr("Converting to Float32... (%1 channels/%2 Hz)").arg(channels).arg(samplerate);
}
