// One run of the converter under a progress dialog, shared by import and export.
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QTimer>

#include <atomic>
#include <thread>

#include "dialogseam.h"
#include "fileplugin.h"

QProgressDialog* FilePlugin::newprogress(const QString& title)
{
    auto* dialog = new QProgressDialog(parent);
    dialog->setWindowTitle(title);
    dialog->setMinimum(0);
    dialog->setMinimumDuration(0);
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    // Window-modal: the main window takes no commands while its event loop
    // keeps the dialog and its Cancel button alive.
    dialog->setWindowModality(Qt::WindowModal);
    return dialog;
}

bool FilePlugin::inbackground(const QString& title, const QString& label, const Work& work, bool* cancelled)
{
    progress = newprogress(title);
    progress->setLabelText(label);
    progress->setMaximum(100);
    progress->show();
    showprogress(progress);
    std::atomic<bool> stop = progress->wasCanceled();
    std::atomic<bool> finished = false;
    std::atomic<int> percent = 0;
    bool done = false;
    std::thread worker([&] {
        done = work([&](qint64 part, qint64 whole) {
            percent = whole > 0 ? int(part * 100 / whole) : 0;
            return !stop;
        });
        finished = true;
    });
    QEventLoop loop;
    QTimer tick;
    bool ticking = false; // the dialog's setValue runs pending events, this tick among them
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (ticking)
            return;
        const QScopedValueRollback<bool> once(ticking, true);
        if (progress->wasCanceled())
            stop = true;
        if (finished || stop)
            loop.quit();
        else if (percent > progress->value())
            progress->setValue(percent);
    });
    tick.start(50);
    loop.exec();
    worker.join();
    delete progress;
    progress = nullptr;
    *cancelled = stop;
    return done;
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

    progress = newprogress(title);

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&process, &QProcess::readyReadStandardOutput, this, &FilePlugin::output);

    QEventLoop loop;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    watchdog.setInterval(converteridletime);
    bool stalled = false;
    qint64 watchedsize = QFileInfo(watched).size();
    connect(&process, &QProcess::readyReadStandardOutput, &watchdog, qOverload<>(&QTimer::start));
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&watchdog, &QTimer::timeout, &loop, [&] {
        const qint64 size = QFileInfo(watched).size();
        if (size != watchedsize) { // silent, but still writing
            watchedsize = size;
            watchdog.start();
            return;
        }
        stalled = true;
        process.kill();
    });
    connect(progress, &QProgressDialog::canceled, &process, &QProcess::kill);

    // Shown at once, without waiting for the first output: a converter that
    // hangs before it prints anything can still be cancelled.
    progress->show();
    showprogress(progress);
    process.start(program, arguments);
    if (!process.waitForStarted(converteridletime)) {
        run.error = process.errorString();
        if (process.state() != QProcess::NotRunning)
            process.kill();
    } else {
        process.closeWriteChannel();
        if (progress->wasCanceled())
            process.kill();
        watchdog.start();
        if (process.state() != QProcess::NotRunning)
            loop.exec();
        watchdog.stop();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
        absorb(&process, console.feed(process.readAllStandardOutput()) | console.finish());

        if (toomanychannels())
            run.ending = Ending::TooManyChannels;
        else if (progress->wasCanceled())
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
    delete progress;
    progress = nullptr;
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
    if (!progress)
        return;
    if (changes & ConsoleParser::Duration) {
        duration = console.duration;
        progress->setMaximum(int(duration));
    }
    if (changes & ConsoleParser::Stream) {
        samplerate = console.samplerate;
        channels = console.channels;
        progress->setLabelText(tr("Converting to Float32... (%1 channels/%2 Hz)").arg(channels).arg(samplerate));
        // Decoding a file the system cannot hold would only waste the user's time.
        if (toomanychannels())
            process->kill();
    }
    if (changes & ConsoleParser::Time)
        progress->setValue(qMin(int(console.time), progress->maximum()));
    if (changes)
        showprogress(progress);
    if (progress->wasCanceled())
        process->kill();
}
