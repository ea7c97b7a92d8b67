#include "utility.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
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

// Well below what a user notices as a window that stops answering.
constexpr int quickms = 25;

// The input rule of a wait (utility.h), for as long as it lives. A wait
// begun during another shares its window: once that is up, every rule lets
// input through, and the window's modality rules.
class InputRule : public QObject
{
public:
    InputRule(const WaitInput& input, bool watched) : input(input), watched(watched)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputRule() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        const QEvent::Type t = event->type();
        const bool shortcut = t == QEvent::Shortcut;
        // Window-level events are passed on to a widget, judged there.
        if (!shortcut && !receiver->isWidgetType())
            return false;
        const bool dropping = t == QEvent::DragEnter || t == QEvent::DragMove || t == QEvent::Drop;
        const bool closing = t == QEvent::Close && event->spontaneous();
        if (!shortcut && !event->isInputEvent() && !dropping && !closing)
            return false;
        if (watched && watch.shown && watch.shown())
            return false;
        if (shortcut)
            return receiver != input.escape;
        if (!taker(receiver))
            return true;
        switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            return static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton;
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
            return false;
        default:
            return true; // menus, double clicks, drops
        }
    }

private:
    bool taker(const QObject* receiver) const
    {
        for (const QObject* o = receiver; o && input.takes; o = o->parent())
            if (o == input.takes)
                return true;
        return false;
    }

    WaitInput input;
    bool watched;
};

int cancels = 0;

// In the GUI thread, while `busy` holds: the one wait. `watched`: the watch
// shows its window after a moment and can end the wait (true).
bool loopwhile(const std::function<bool()>& busy, bool watched, const WaitInput& input = {})
{
    const InputRule rule(input, watched);
    QEventLoop loop;
    QTimer tick; // the busy test and the watch's moment are looked at even when nothing else happens
    tick.start(50);
    bool cancelled = false;
    while (busy() && !cancelled) {
        if (watched && watch.shown)
            watch.shown(); // shows the window once the moment is over
        loop.processEvents(QEventLoop::WaitForMoreEvents);
        cancelled = watched && watch.cancelled && watch.cancelled();
    }
    cancels += cancelled;
    return cancelled;
}

// Runs `work` on a thread of its own and returns once it has ended: a quick
// one holds the window's thread for the moment it takes; for a longer one
// the window's thread waits in wait(running), which may make the work end
// early. The thread wakes the window's thread when it ends. Standard threads
// and locks, so that ThreadSanitizer sees the hand-over, which it cannot
// inside Qt.
void runonthread(const std::function<void()>& work, const std::function<void(const std::function<bool()>&)>& wait)
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    std::thread worker([&] {
        work();
        {
            const std::lock_guard lock(mutex);
            finished = true;
        }
        ended.notify_all();
        dispatcher->wakeUp();
    });
    const auto running = [&] {
        const std::lock_guard lock(mutex);
        return !finished;
    };
    bool quick;
    {
        std::unique_lock lock(mutex);
        quick = ended.wait_for(lock, std::chrono::milliseconds(quickms), [&] { return finished; });
    }
    if (!quick)
        wait(running);
    worker.join();
}

void waitlooping(Processes& processes, QList<UtilityResult>& results, Limit limit, const QString& title)
{
    QStringList names;
    for (const auto& p : processes)
        if (!names.contains(QFileInfo(p->program()).fileName()))
            names << QFileInfo(p->program()).fileName();
    const UtilityWatchSpan span(QCoreApplication::translate("utility", "Running %1...").arg(names.join(QStringLiteral(", "))),
                                title);
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
    const bool cancelled = loopwhile(
        [&] {
            for (const auto& p : processes)
                if (p->state() != QProcess::NotRunning)
                    return !limit.expired();
            return false;
        },
        true);
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

void utilitytext(const QString& text)
{
    if (watch.settext)
        watch.settext(text);
}

int cancelledwaits()
{
    return cancels;
}

UtilityWatchSpan::UtilityWatchSpan(const QString& text, const QString& title)
{
    begun = inguithread() && watch.begin;
    if (begun)
        watch.begin(title, text);
}

UtilityWatchSpan::~UtilityWatchSpan()
{
    if (begun && watch.end)
        watch.end();
}

bool waitwhile(const std::function<bool()>& busy, const QString& title, const QString& text)
{
    if (!inguithread())
        return hostwaitwhile(nullptr, title, text, busy); // a plain wait, as without a host
    const UtilityWatchSpan span(text, title);
    return loopwhile(busy, true);
}

WorkEnd runwatchedwork(const QString& text, const HostWork& work, const QString& title)
{
    if (!inguithread())
        return work([](int) { return true; }) ? WorkEnd::Done : WorkEnd::Failed;
    const UtilityWatchSpan span(text, title);
    // A Cancel given to an earlier run of the same span ends this one before it begins.
    std::atomic<bool> stop = watch.cancelled && watch.cancelled();
    std::atomic<int> percent = -1;
    bool done = false;
    int told = -1;
    runonthread(
        [&] {
            done = work([&](int now) {
                if (now >= 0)
                    percent = now;
                return !stop;
            });
        },
        [&](const std::function<bool()>& running) {
            const bool cancelled = loopwhile(
                [&] {
                    if (const int now = percent; now > told)
                        utilityprogress(told = now);
                    return running() && !stop;
                },
                true);
            if (cancelled)
                stop = true;
        });
    return stop ? WorkEnd::Cancelled : done ? WorkEnd::Done : WorkEnd::Failed;
}

void runstep(const std::function<void()>& work, const WaitInput& input)
{
    runonthread(work, [&](const std::function<bool()>& running) { loopwhile(running, false, input); });
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
