#include "utility.h"

#include <QElapsedTimer>
#include <QProcess>

#include <memory>
#include <vector>

#include "log.h"

QString UtilityResult::failuretext() const
{
    QString why;
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

UtilityResult runutility(const QString& program, const QStringList& arguments, int timeoutms)
{
    return runutilities({{program, arguments}}, timeoutms).constFirst();
}

QList<UtilityResult> runutilities(const QList<UtilityCommand>& commands, int timeoutms,
                                  QObject* listener, const char* member)
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
        QObject::connect(p, &QProcess::readyReadStandardOutput, p, [p, collected] { *collected += p->readAll(); });
        p->start(command.program, command.arguments, QIODevice::ReadWrite);
        processes.push_back(std::move(process));
    }
    for (qsizetype i = 0; i < count; ++i) {
        QProcess* p = processes[size_t(i)].get();
        UtilityResult& result = results[i];
        QElapsedTimer clock;
        clock.start();
        if (!p->waitForStarted(timeoutms)) {
            result.output = p->errorString();
            continue;
        }
        result.started = true;
        // A utility that waits for input would otherwise hang until the limit.
        p->closeWriteChannel();
        const int left = qMax(0, timeoutms - int(clock.elapsed()));
        if (!p->waitForFinished(left) && p->state() != QProcess::NotRunning) {
            result.timedout = true;
            p->kill();
            p->waitForFinished(5000);
        }
        result.exitednormally = !result.timedout && p->exitStatus() == QProcess::NormalExit;
        result.exitcode = p->exitCode();
    }
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
