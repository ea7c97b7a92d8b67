#include "utility.h"

#include <QElapsedTimer>
#include <QProcess>

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
    logmessage(utilitycommandline(program, arguments));
    UtilityResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments, QIODevice::ReadWrite);
    if (!process.waitForStarted(timeoutms)) {
        result.output = process.errorString();
        return result;
    }
    result.started = true;
    // A utility that waits for input would otherwise hang until the limit.
    process.closeWriteChannel();
    const int left = qMax(0, timeoutms - int(clock.elapsed()));
    if (!process.waitForFinished(left) && process.state() != QProcess::NotRunning) {
        result.timedout = true;
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitednormally = !result.timedout && process.exitStatus() == QProcess::NormalExit;
    result.exitcode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}
