#include "sessionlock.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether the open file `fd` is the one that `path` names now.
bool samefile(int fd, const QString& path)
{
    struct stat open {}, named {};
    return ::fstat(fd, &open) == 0 && ::stat(QFile::encodeName(path).constData(), &named) == 0
           && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

} // namespace

InstanceLock::~InstanceLock()
{
    release();
}

QString InstanceLock::filename(const QString& sessionid)
{
    return QStringLiteral("instance(%1).lock").arg(sessionid);
}

bool InstanceLock::acquire(const QString& folder, const QString& sessionid)
{
    return take(folder, sessionid) == Taken::Ours;
}

bool InstanceLock::acquirenew(const QString& folder, QString* sessionid)
{
    const QString format = QStringLiteral("yyyy.MM.dd-HH.mm.ss.zzz");
    QDateTime at = QDateTime::fromString(*sessionid, format);
    for (int attempt = 0; attempt < 1000 && at.isValid(); ++attempt, at = at.addMSecs(1)) {
        const QString id = at.toString(format);
        const Taken taken = take(folder, id);
        if (taken == Taken::Failed)
            return false;
        if (taken == Taken::Others)
            continue;
        // A run that ended with this id left its session for recovery.
        if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("session(%1).kvx").arg(id)))) {
            release();
            continue;
        }
        *sessionid = id;
        return true;
    }
    return false;
}

InstanceLock::Taken InstanceLock::take(const QString& folder, const QString& sessionid)
{
    release();
    const QString file = QDir(folder).filePath(filename(sessionid));
    const QByteArray name = QFile::encodeName(file);
    // Another instance that finds the file unlocked (between our open and our
    // lock) removes it as left by an ended run, holding it locked meanwhile:
    // a lock on a file that is no longer in the folder is no lock, and a file
    // busy for that moment is not another holder. Both are tried again.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int f = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (f < 0)
            return Taken::Failed;
        const bool locked = ::flock(f, LOCK_EX | LOCK_NB) == 0;
        const bool same = samefile(f, file);
        if (locked && same) {
            fd = f;
            path = file;
            return Taken::Ours;
        }
        ::close(f);
        if (!locked && same)
            ::usleep(1000);
    }
    return Taken::Others;
}

void InstanceLock::release()
{
    if (fd < 0)
        return;
    // Remove before unlocking, so that no other instance can see the file unheld
    // and take it for an ended one while it is still ours.
    QFile::remove(path);
    ::flock(fd, LOCK_UN);
    ::close(fd);
    fd = -1;
    path.clear();
}

InstanceLock& sessionlock()
{
    static InstanceLock lock;
    return lock;
}

QStringList livesessions(const QString& folder)
{
    static const QRegularExpression pattern(QStringLiteral("^instance\\((.+)\\)\\.lock$"));
    QStringList live;
    const QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("instance(*).lock")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const auto match = pattern.match(name);
        if (!match.hasMatch())
            continue;
        const QString file = dir.filePath(name);
        const int f = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        if (f < 0)
            continue;
        if (::flock(f, LOCK_EX | LOCK_NB) == 0) {
            // Nobody holds it: its instance ended without removing it. Only
            // the file locked here goes; the name may stand for a new one by now.
            if (samefile(f, file))
                QFile::remove(file);
            ::flock(f, LOCK_UN);
        } else {
            live.append(match.captured(1));
        }
        ::close(f);
    }
    return live;
}
