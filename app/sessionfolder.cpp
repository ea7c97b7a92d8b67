#include "sessionfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <unistd.h>

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

int cleansessionfolder(const QString& folder, int days, const QDateTime& now)
{
    const QStringList live = livesessions(folder);
    QDateTime oldeststart;
    for (const QString& id : live) {
        const QDateTime start = sessionstart(id);
        if (start.isValid() && (!oldeststart.isValid() || start < oldeststart))
            oldeststart = start;
    }
    const qint64 limit = qint64(days) * 86400000;
    int removed = 0;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo& file : files) {
        const QString name = file.fileName();
        if (!issessionfilename(name))
            continue;
        const auto session = sessionpattern().match(name);
        if (session.hasMatch() && live.contains(session.captured(1)))
            continue;
        const QDateTime changed = file.lastModified();
        if (changed.msecsTo(now) <= limit)
            continue;
        if (oldeststart.isValid() && changed >= oldeststart)
            continue;
        if (QFile::remove(file.absoluteFilePath()))
            ++removed;
    }
    return removed;
}
