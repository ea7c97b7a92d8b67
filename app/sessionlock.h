#pragma once
// One lock file per running instance in the session folder, named after the
// instance's session id. The lock is an advisory file lock that the system
// drops when the process ends, however it ends, so a lock file that nobody
// holds belongs to an instance that is gone.
#include <QString>
#include <QStringList>

class InstanceLock
{
public:
    InstanceLock() = default;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    static QString filename(const QString& sessionid); // "instance(<id>).lock"

    // Creates and locks the lock file of `sessionid` in `folder`.
    bool acquire(const QString& folder, const QString& sessionid);
    // Takes a session id of its own, `*sessionid` (a start time) or a later
    // millisecond: one that no running instance holds and that names no
    // session file left in `folder`, so that instances started at the same
    // moment never share a session file. False when the folder takes no lock.
    bool acquirenew(const QString& folder, QString* sessionid);
    // Unlocks and removes the file.
    void release();
    bool held() const { return fd >= 0; }

private:
    enum class Taken { Ours, Others, Failed };
    Taken take(const QString& folder, const QString& sessionid);
    int fd = -1;
    QString path;
};

// The lock of the running program (held from start-up to exit).
InstanceLock& sessionlock();

// Session ids of the instances whose lock in `folder` is held by a running
// process; lock files left by ended instances are removed on the way.
QStringList livesessions(const QString& folder);
