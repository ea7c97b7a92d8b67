#include "sessionlock.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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
    release();
    const QString file = QDir(folder).filePath(filename(sessionid));
    const int f = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (f < 0)
        return false;
    if (::flock(f, LOCK_EX | LOCK_NB) != 0) {
        ::close(f);
        return false;
    }
    fd = f;
    path = file;
    return true;
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
            // Nobody holds it: its instance ended without removing it.
            QFile::remove(file);
            ::flock(f, LOCK_UN);
        } else {
            live.append(match.captured(1));
        }
        ::close(f);
    }
    return live;
}
