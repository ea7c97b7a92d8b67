#include "startup.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QtGlobal>
#include <algorithm>

#include "core/globals.h"
#include "core/log.h"
#include "filealias.h"
#include "identity.h"
#include "prompt.h"
#include "sessionfolder.h"
#include "sessionlock.h"

namespace {

QColor readcolour(QSettings& settings, const QString& key, const QColor& fallback)
{
    const QVariant value = settings.value(key, fallback);
    if (value.canConvert<QColor>())
        return value.value<QColor>();
    return QColor();
}

QString documentsfolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return docs.isEmpty() ? QDir::homePath() : docs;
}

} // namespace

namespace {

// A stored limit within the range the settings dialog offers; a value that is
// no number counts as never set. An edited store must not make the start-up
// clean-up take every dead session (0 days) or the history keep nothing.
int readlimit(const QSettings& settings, const QString& key, int fallback, int low, int high)
{
    bool ok = false;
    const int value = settings.value(key, fallback).toInt(&ok);
    return qBound(low, ok ? value : fallback, high);
}

} // namespace

void readlimitsandcolours()
{
    QSettings settings;
    sessionmax = readlimit(settings, QStringLiteral("sessionmax"), 10, 1, 30);
    logsmax = readlimit(settings, QStringLiteral("logsmax"), 10, 5, 50);
    // The File menu has room for ten recent projects, whatever the store says.
    projectmax = readlimit(settings, QStringLiteral("projectmax"), 5, 0, 10);
    historymax = readlimit(settings, QStringLiteral("historymax"), 8, 4, 8);
    readcolours();
}

void readcolours()
{
    QSettings settings;
    colormix = readcolour(settings, QStringLiteral("colormix"), QColor(0, 255, 0, 255));
    colorselect = readcolour(settings, QStringLiteral("colorselect"), QColor(255, 0, 0, 255));
    colorclipboard = readcolour(settings, QStringLiteral("colorclipboard"), QColor(70, 70, 255, 255));
}

StartResult startsession(const StartOptions& options)
{
    StartResult result;
    const SoftwareIdentity identity = readidentity();
    applyidentity(identity);
    QSettings settings;

    rootpath = QDir(options.executablefolder + QStringLiteral("/..")).absolutePath();
    sessionid = QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd-HH.mm.ss.zzz"));

    QString sessionnote;
    if (settings.contains(QStringLiteral("sessionpath"))) {
        sessionpath = settings.value(QStringLiteral("sessionpath")).toString();
        QDir().mkpath(sessionpath);
    } else {
        sessionpath = defaultsessionfolder(QDir::tempPath(), &sessionnote);
    }
    // Another instance started in the same millisecond has the time as its
    // id: this one takes the next free one.
    const bool locked = sessionlock().acquirenew(sessionpath, &sessionid);

    logspath = settings.value(QStringLiteral("logspath"),
                              documentsfolder() + QStringLiteral("/%1 logs").arg(identity.name))
                   .toString();
    QDir().mkpath(logspath);
    utilpath = rootpath + QStringLiteral("/Resources/Util");
    readlimitsandcolours();

    settings.setValue(QStringLiteral("forcesoft"), false);
    settings.setValue(QStringLiteral("loglevel"), 2);
    for (int i = 1; i < options.arguments.size(); ++i) {
        const QString& argument = options.arguments.at(i);
        if (argument == QLatin1String("-soft"))
            settings.setValue(QStringLiteral("forcesoft"), true);
        if (argument == QLatin1String("-debug"))
            settings.setValue(QStringLiteral("loglevel"), 2);
        // A name that is no valid text reads with U+FFFD in place of its
        // odd bytes and names nothing: its bytes find the file.
        const QByteArray raw = options.rawarguments.value(i);
        if (QFileInfo(argument).isFile()) {
            result.fileargument = argument;
            result.rawfileargument.clear();
        } else if (!decodablename(raw) && rawregularfile(raw)) {
            result.fileargument = argument;
            result.rawfileargument = raw;
        }
    }
    settings.sync();

    result.loglevel = settings.value(QStringLiteral("loglevel")).toInt();
    if (!loginit(result.loglevel)) {
        PromptRequest request;
        request.icon = QMessageBox::Critical;
        request.title = QObject::tr("Error creating log file");
        request.text = QObject::tr("Could not create log file.<br/>Check file permissions for %1").arg(logspath);
        request.buttons = QMessageBox::Ok;
        prompt(request);
        sessionlock().release();
        return result;
    }
    result.logopen = true;

    QString commandline;
    for (const QString& argument : options.arguments)
        commandline += argument + QLatin1Char(' ');
    logmessage(commandline);
    logmessage(QStringLiteral("session %1 started - log level: %2").arg(sessionid).arg(result.loglevel));
    logmessage(QStringLiteral("launching %1 (%2 - x%3 - Qt %4)")
                   .arg(identity.name, identity.version)
                   .arg(QSysInfo::WordSize == 64 ? 64 : 86)
                   .arg(QString::fromLatin1(qVersion())));
    logmessage(QStringLiteral("OS: %1").arg(QSysInfo::prettyProductName()));
    logmessage(QStringLiteral("CPU: %1 cores").arg(QThread::idealThreadCount()));
    if (!sessionnote.isEmpty())
        logmessage(sessionnote);
    if (!locked) {
        logerror(QStringLiteral("could not lock the session folder %1: its files may be taken for old ones by "
                                "another instance")
                     .arg(sessionpath));
        // The folder takes no file: no layer can be made, nothing kept for recovery.
        PromptRequest request;
        request.icon = QMessageBox::Warning;
        request.title = QObject::tr("Session Folder");
        request.text = QObject::tr("The session folder %1 cannot take new files, so no layer can be imported or "
                                   "made.<br/>Make it writable, or choose another one in Advanced Settings.")
                           .arg(sessionpath.toHtmlEscaped());
        request.buttons = QMessageBox::Ok;
        prompt(request);
    }
    return result;
}

namespace {

// Pixels of a strip of the title bar that lie on a screen, counted in 64 bits:
// a stored position may lie anywhere an int reaches.
qint64 seen(qint64 from, qint64 length, qint64 low, qint64 high)
{
    return std::max<qint64>(0, std::min(from + length, high) - std::max(from, low));
}

// The screen that holds a good part of the title bar of a window at `pos`, or -1.
int screenof(const QPoint& pos, const QSize& size, const QList<QRect>& screens)
{
    // Reachable means a good part of its title bar, a strip along its top, is on a screen.
    const qint64 width = std::clamp(size.width(), 1, 200);
    for (int i = 0; i < screens.size(); ++i) {
        const QRect& screen = screens.at(i);
        const qint64 across = seen(pos.x(), width, screen.left(), qint64(screen.left()) + screen.width());
        const qint64 down = seen(pos.y(), 30, screen.top(), qint64(screen.top()) + screen.height());
        if (across >= std::min<qint64>(width, 100) && down >= 15)
            return i;
    }
    return -1;
}

} // namespace

QPoint visibleposition(const QPoint& pos, const QSize& size, const QList<QRect>& screens)
{
    if (screens.isEmpty() || screenof(pos, size, screens) >= 0)
        return pos;
    return screens.first().topLeft();
}

QSize visiblesize(const QPoint& pos, const QSize& size, const QList<QRect>& screens)
{
    if (screens.isEmpty())
        return size;
    const int on = screenof(pos, size, screens);
    return size.boundedTo(screens.at(on >= 0 ? on : 0).size());
}
