#include "sessionfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <functional>
#include <unistd.h>

#include "panels/projectfile.h"
#include "sessionlock.h"

namespace {

// A session file is a few hundred bytes a row; anything much larger is not one.
constexpr qint64 maxsessionbytes = 16 * 1024 * 1024;

// A layer's sample file, and the file into which its frames are put aside
// while an edit is under way (layer::keptfile), with the name under which
// that one is written before it takes its place.
const QRegularExpression& layerpattern()
{
    static const QRegularExpression p(QStringLiteral("^layer\\(.{6}\\)\\.(pcm|kept|kept\\.new)$"));
    return p;
}

const QRegularExpression& sessionpattern()
{
    static const QRegularExpression p(QStringLiteral("^session\\((.+)\\)\\.kvx$"));
    return p;
}

// The work files of Move/Scale (controller/scalecommands.h), named after the
// session id of the instance that made them.
const QRegularExpression& scaleworkpattern()
{
    static const QRegularExpression p(
        QStringLiteral("^scale\\((.+)\\)-(chan\\d+\\.wav|scaled\\d+\\.wav|clip\\.pcm|source\\.pcm)$"));
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
    return layerpattern().match(name).hasMatch() || sessionpattern().match(name).hasMatch()
           || scaleworkpattern().match(name).hasMatch();
}

QDateTime sessionstart(const QString& sessionid)
{
    return QDateTime::fromString(sessionid, QStringLiteral("yyyy.MM.dd-HH.mm.ss.zzz"));
}

namespace {

// What running instances still use in a session folder: their session and
// Move/Scale work files (named after their ids) and every file changed since the oldest of them
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
        for (const QRegularExpression* named : {&sessionpattern(), &scaleworkpattern()}) {
            const auto match = named->match(file.fileName());
            if (match.hasMatch() && ids.contains(match.captured(1)))
                return true;
        }
        return oldeststart.isValid() && file.lastModified() >= oldeststart;
    }

private:
    QStringList ids;
    QDateTime oldeststart;
};

} // namespace

namespace {

bool readsession(const QFileInfo& session, ProjectData* data)
{
    QFile file(session.absoluteFilePath());
    QString why;
    return file.open(QIODevice::ReadOnly) && file.size() <= maxsessionbytes
           && readprojectxml(file.readAll(), data, &why);
}

// The ids of the sessions that the session files in `folder` took over:
// their work goes on in those, and a file of theirs that a run left behind
// (ended between the two) is not theirs to offer.
QSet<QString> recoveredsessions(const QString& folder)
{
    QSet<QString> ids;
    for (const QFileInfo& session :
         QDir(folder).entryInfoList({QStringLiteral("session(*).kvx")}, QDir::Files | QDir::NoSymLinks)) {
        ProjectData data;
        if (readsession(session, &data))
            for (const QString& id : std::as_const(data.recovered))
                ids.insert(id);
    }
    return ids;
}

// Removes from `folder` (not its sub-folders, no links) the files of this
// program for which `old` holds, except those of running instances and the
// layer files named by a session file that stays: a session and the layers
// it lists go together. When a session file that stays cannot be read, no
// layer file goes, since any might be one of its.
int removeunused(const QString& folder, const RunningInstances& running, const std::function<bool(const QFileInfo&)>& old)
{
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    QFileInfoList sessions, layers;
    int removed = 0;
    for (const QFileInfo& file : files) {
        if (sessionpattern().match(file.fileName()).hasMatch())
            sessions << file;
        else if (layerpattern().match(file.fileName()).hasMatch())
            layers << file;
        else if (scaleworkpattern().match(file.fileName()).hasMatch() && old(file) && !running.use(file)
                 && QFile::remove(file.absoluteFilePath()))
            ++removed; // no session names them
    }
    QSet<QString> named;
    bool known = true;
    const QSet<QString> taken = recoveredsessions(folder);
    for (const QFileInfo& session : sessions) {
        if ((old(session) || taken.contains(sessionpattern().match(session.fileName()).captured(1)))
            && !running.use(session)) {
            if (QFile::remove(session.absoluteFilePath()))
                ++removed;
            continue;
        }
        ProjectData data;
        if (!readsession(session, &data)) {
            known = false;
            continue;
        }
        for (const ProjectRow& row : data.rows)
            for (const QString& file : {row.samples, row.kept})
                if (!file.isEmpty())
                    named << QFileInfo(QDir(folder).absoluteFilePath(file)).canonicalFilePath();
    }
    if (!known)
        return removed;
    for (const QFileInfo& layer : layers) {
        if (!old(layer) || running.use(layer) || named.contains(layer.canonicalFilePath()))
            continue;
        if (QFile::remove(layer.absoluteFilePath()))
            ++removed;
    }
    return removed;
}

} // namespace

int cleansessionfolder(const QString& folder, int days, const QDateTime& now)
{
    const qint64 limit = qint64(days) * 86400000;
    return removeunused(folder, RunningInstances(folder),
                        [&](const QFileInfo& file) { return file.lastModified().msecsTo(now) > limit; });
}

int removesessionfiles(const QString& folder, const QString& ownsessionid)
{
    return removeunused(folder, RunningInstances(folder, ownsessionid), [](const QFileInfo&) { return true; });
}

QString endedsession(const QString& folder, const QString& ownsessionid)
{
    static const QRegularExpression pattern(QStringLiteral("^session\\((.+)\\)\\.kvx$"));
    if (folder.isEmpty())
        return QString();
    const QStringList live = livesessions(folder);
    const QSet<QString> taken = recoveredsessions(folder);
    QFileInfo newest;
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("session(*).kvx")}, QDir::Files | QDir::NoSymLinks);
    for (const QFileInfo& file : files) {
        const auto match = pattern.match(file.fileName());
        if (!match.hasMatch() || match.captured(1) == ownsessionid || live.contains(match.captured(1))
            || taken.contains(match.captured(1)))
            continue;
        if (newest.fileName().isEmpty() || file.lastModified() > newest.lastModified())
            newest = file;
    }
    return newest.fileName().isEmpty() ? QString() : newest.absoluteFilePath();
}
