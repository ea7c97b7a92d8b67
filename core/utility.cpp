#include "utility.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "log.h"

QString UtilityResult::failuretext() const
{
    QString why;
    if (cancelled)
        return QStringLiteral("was cancelled");
    if (!started)
        why = QStringLiteral("could not be started");
    else if (timedout)
        why = QStringLiteral("did not finish in time");
    else if (!exitednormally)
        why = QStringLiteral("crashed");
    else if (exitcode != 0)
        why = QStringLiteral("exited with code %1").arg(exitcode);
    else
        return QString();
    const QString text = output.trimmed();
    return text.isEmpty() ? why : why + ": " + text;
}

QString utilitycommandline(const QString& program, const QStringList& arguments)
{
    QStringList parts;
    parts << program << arguments;
    return parts.join(QLatin1Char(' '));
}

namespace {

UtilityWatch watch;

using Processes = std::vector<std::unique_ptr<QProcess>>;

// The time left to a run: from its start, or renewed whenever one of its
// utilities prints something.
struct Limit
{
    int ms;
    UtilityLimit kind;
    const std::vector<QByteArray>* outputs;
    QDeadlineTimer deadline{ms};
    qsizetype heard = 0;
    bool expired()
    {
        if (kind == UtilityLimit::Silence) {
            qsizetype now = 0;
            for (const QByteArray& output : *outputs)
                now += output.size();
            if (now != heard) {
                heard = now;
                deadline.setRemainingTime(ms);
            }
        }
        return deadline.hasExpired();
    }
};

void endprocess(QProcess* p)
{
    p->kill();
    p->waitForFinished(5000);
}

void takeexit(QProcess* p, UtilityResult& result)
{
    result.exitednormally = !result.timedout && !result.cancelled && p->exitStatus() == QProcess::NormalExit;
    result.exitcode = p->exitCode();
}

// Outside the GUI thread: each process in turn, at most timeoutms from the
// start of its own wait (or since it last printed).
void waitblocking(Processes& processes, QList<UtilityResult>& results, Limit limit)
{
    for (size_t i = 0; i < processes.size(); ++i) {
        QProcess* p = processes[i].get();
        UtilityResult& result = results[qsizetype(i)];
        limit.deadline.setRemainingTime(limit.ms);
        if (!p->waitForStarted(limit.ms)) {
            result.output = p->errorString();
            continue;
        }
        result.started = true;
        // A utility that waits for input would otherwise hang until the limit.
        p->closeWriteChannel();
        // In slices, so that output seen in between renews a silence limit.
        while (!p->waitForFinished(int(std::min<qint64>(limit.deadline.remainingTime(), 100)))
               && p->state() != QProcess::NotRunning) {
            if (limit.expired()) {
                result.timedout = true;
                endprocess(p);
                break;
            }
        }
        takeexit(p, result);
    }
}

bool inguithread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// In the GUI thread, while `busy` holds: the window keeps drawing, its
// timers keep firing, and the watch can end the wait (true). Input to the
// window waits until the wait ends or the watch shows its own (modal) window.
bool loopwhile(const std::function<bool()>& busy)
{
    QEventLoop loop;
    QTimer tick;
    tick.start(50);
    bool cancelled = false;
    while (busy() && !cancelled) {
        const bool shown = watch.shown && watch.shown();
        loop.processEvents(QEventLoop::WaitForMoreEvents
                           | (shown ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
        cancelled = watch.cancelled && watch.cancelled();
    }
    return cancelled;
}

void waitlooping(Processes& processes, QList<UtilityResult>& results, Limit limit, const QString& title)
{
    QStringList names;
    for (const auto& p : processes)
        if (!names.contains(QFileInfo(p->program()).fileName()))
            names << QFileInfo(p->program()).fileName();
    if (watch.begin)
        watch.begin(title, QCoreApplication::translate("utility", "Running %1...").arg(names.join(QStringLiteral(", "))));
    for (size_t i = 0; i < processes.size(); ++i) {
        QProcess* p = processes[i].get();
        UtilityResult& result = results[qsizetype(i)];
        // Starting is a fork and an exec: a moment, not a wait.
        result.started = p->waitForStarted(limit.ms);
        if (result.started)
            p->closeWriteChannel(); // a utility that waits for input would hang until the limit
        else
            result.output = p->errorString();
    }
    limit.deadline.setRemainingTime(limit.ms);
    const bool cancelled = loopwhile([&] {
        for (const auto& p : processes)
            if (p->state() != QProcess::NotRunning)
                return !limit.expired();
        return false;
    });
    if (watch.end)
        watch.end();
    for (size_t i = 0; i < processes.size(); ++i) {
        QProcess* p = processes[i].get();
        UtilityResult& result = results[qsizetype(i)];
        if (!result.started)
            continue;
        if (p->state() != QProcess::NotRunning) {
            result.cancelled = cancelled;
            result.timedout = !cancelled;
            endprocess(p);
        }
        takeexit(p, result);
    }
}

} // namespace

void setutilitywatch(const UtilityWatch& newwatch)
{
    watch = newwatch;
}

void utilityprogress(int percent)
{
    if (watch.progress)
        watch.progress(percent);
}

UtilityWatchSpan::UtilityWatchSpan(const QString& text)
{
    begun = inguithread() && watch.begin;
    if (begun)
        watch.begin(QString(), text);
}

UtilityWatchSpan::~UtilityWatchSpan()
{
    if (begun && watch.end)
        watch.end();
}

WorkEnd runwatchedwork(const QString& text, const std::function<bool(const std::function<bool(int)>&)>& work)
{
    if (!inguithread())
        return work([](int) { return true; }) ? WorkEnd::Done : WorkEnd::Failed;
    const UtilityWatchSpan span(text);
    // A Cancel given to an earlier run of the same span ends this one before it begins.
    std::atomic<bool> stop = watch.cancelled && watch.cancelled();
    std::atomic<int> percent = -1;
    std::atomic<bool> finished = false;
    bool done = false;
    std::thread worker([&] {
        done = work([&](int now) {
            if (now >= 0)
                percent = now;
            return !stop;
        });
        finished = true;
    });
    int told = -1;
    if (loopwhile([&] {
            if (const int now = percent; now > told)
                utilityprogress(told = now);
            return !finished && !stop;
        }))
        stop = true;
    worker.join();
    return stop ? WorkEnd::Cancelled : done ? WorkEnd::Done : WorkEnd::Failed;
}

UtilityResult runutility(const QString& program, const QStringList& arguments, int timeoutms, bool watched)
{
    return runutilities({{program, arguments}}, timeoutms, nullptr, nullptr, watched).constFirst();
}

UtilityResult runutility(const UtilityCommand& command, int timeoutms, UtilityLimit limit, bool watched)
{
    return runutilities({command}, timeoutms, nullptr, nullptr, watched, QString(), limit).constFirst();
}

QList<UtilityResult> runutilities(const QList<UtilityCommand>& commands, int timeoutms,
                                  QObject* listener, const char* member, bool watched, const QString& title,
                                  UtilityLimit limit)
{
    const qsizetype count = commands.size();
    QList<UtilityResult> results(count);
    std::vector<std::unique_ptr<QProcess>> processes;
    std::vector<QByteArray> outputs(static_cast<size_t>(count));
    for (qsizetype i = 0; i < count; ++i) {
        const UtilityCommand& command = commands[i];
        logmessage(utilitycommandline(command.program, command.arguments));
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::MergedChannels);
        if (listener && member)
            QObject::connect(process.get(), SIGNAL(readyReadStandardOutput()), listener, member);
        QProcess* p = process.get();
        QByteArray* collected = &outputs[size_t(i)];
        QObject::connect(p, &QProcess::readyReadStandardOutput, p, [p, collected, progress = command.progress] {
            const QByteArray chunk = p->readAll();
            *collected += chunk;
            if (progress) {
                const int percent = progress(chunk);
                if (percent >= 0)
                    utilityprogress(percent);
            }
        });
        p->start(command.program, command.arguments, QIODevice::ReadWrite);
        processes.push_back(std::move(process));
    }
    const Limit rule{timeoutms, limit, &outputs};
    if (watched && inguithread())
        waitlooping(processes, results, rule, title);
    else
        waitblocking(processes, results, rule);
    for (qsizetype i = 0; i < count; ++i) {
        QProcess* p = processes[size_t(i)].get();
        if (results[i].started) {
            outputs[size_t(i)] += p->readAll();
            results[i].output = QString::fromLocal8Bit(outputs[size_t(i)]);
        }
        // The listener hears nothing of processes that are gone.
        p->disconnect();
    }
    return results;
}
