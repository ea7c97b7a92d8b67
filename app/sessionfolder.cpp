#include "sessionfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>

#include "core/fileutils.h"
#include "sessionlock.h"

namespace {

const QRegularExpression& layerpattern()
{
    static const QRegularExpression p(QStringLiteral("^layer\\(.{6}\\)\\.pcm$"));
    return p;
}

const QRegularExpression& sessionpattern()
{
    static const QRegularExpression p(QStringLiteral("^session\\((.+)\\)\\.kvx$"));
    return p;
}

// A folder of our own: a real directory (no link) that belongs to this user.
// A missing one is made, readable by the user alone.
bool ownfolder(const QString& path)
{
    QFileInfo info(path);
    if (!QFileInfo::exists(path) && !info.isSymLink()) {
        if (!QDir().mkpath(path))
            return false;
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        info = QFileInfo(path);
    }
    return info.isDir() && !info.isSymLink() && info.ownerId() == ::getuid();
}

} // namespace

QString defaultsessionfolder(const QString& temp, QString* note)
{
    if (note)
        note->clear();
    const QString usual = temp + QStringLiteral("/kvtmp");
    if (ownfolder(usual))
        return usual;
    const QString peruser = usual + QStringLiteral("-%1").arg(::getuid());
    QString chosen = peruser;
    if (!ownfolder(peruser)) {
        QTemporaryDir unique(usual + QStringLiteral("-XXXXXX"));
        unique.setAutoRemove(false);
        chosen = unique.isValid() ? unique.path() : peruser;
    }
    if (note)
        *note = QStringLiteral("session folder %1 is not a folder of this user: using %2").arg(usual, chosen);
    return chosen;
}

bool issessionfilename(const QString& name)
{
    return layerpattern().match(name).hasMatch() || sessionpattern().match(name).hasMatch();
}

QDateTime sessionstart(const QString& sessionid)
{
    return QDateTime::fromString(sessionid, QStringLiteral("yyyy.MM.dd-HH.mm.ss.zzz"));
}

namespace {

// What running instances still use in a session folder: their session files
// (named after their ids) and every file changed since the oldest of them
// started. `own` counts as running even when its lock could not be taken.
class RunningInstances
{
public:
    RunningInstances(const QString& folder, const QString& own = QString())
    {
        ids = livesessions(folder);
        if (!own.isEmpty() && !ids.contains(own))
            ids << own;
        for (const QString& id : ids) {
            const QDateTime start = sessionstart(id);
            if (start.isValid() && (!oldeststart.isValid() || start < oldeststart))
                oldeststart = start;
        }
    }
    bool use(const QFileInfo& file) const
    {
        const auto session = sessionpattern().match(file.fileName());
        if (session.hasMatch() && ids.contains(session.captured(1)))
            return true;
        return oldeststart.isValid() && file.lastModified() >= oldeststart;
    }

private:
    QStringList ids;
    QDateTime oldeststart;
};

} // namespace

int cleansessionfolder(const QString& folder, int days, const QDateTime& now)
{
    const RunningInstances running(folder);
    const qint64 limit = qint64(days) * 86400000;
    int removed = 0;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& file : files) {
        if (!issessionfilename(file.fileName()) || file.lastModified().msecsTo(now) <= limit || running.use(file))
            continue;
        if (QFile::remove(file.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

int removesessionfiles(const QString& folder, const QString& ownsessionid)
{
    const RunningInstances running(folder, ownsessionid);
    QStringList files;
    listfiles(folder, files);
    int removed = 0;
    for (const QString& path : files) {
        const QFileInfo file(path);
        const QString name = file.fileName();
        const bool ours = name.contains(QLatin1String(".kvx")) || name.contains(QLatin1String(".pcm"));
        if (!ours || file.isSymLink() || running.use(file))
            continue;
        if (QFile::remove(path))
            ++removed;
    }
    return removed;
}
