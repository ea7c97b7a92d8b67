#pragma once
// Common set-up for tests: the process-wide folders point into the test's own
// private home (see runtest.sh), and the installation root is the build's.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstring>
#include <vector>

#include "core/globals.h"

inline void kvtestfolders()
{
    rootpath = QStringLiteral(KV_TEST_ROOT);
    utilpath = rootpath + "/Resources/Util";
    sessionpath = QDir::tempPath() + "/kvtmp";
    logspath = QDir::tempPath() + "/logs";
    QDir().mkpath(sessionpath);
    QDir().mkpath(logspath);
}

// Names of the files in the session folder, for tests that check nothing is left behind.
inline QStringList kvsessionfiles()
{
    return QDir(sessionpath).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

// Their bytes together, for tests of what a step costs on disk.
inline qint64 kvsessionbytes()
{
    qint64 bytes = 0;
    for (const QFileInfo& info : QDir(sessionpath).entryInfoList(QDir::Files | QDir::NoDotAndDotDot))
        bytes += info.size();
    return bytes;
}

// Raw 32-bit float samples as numbers.
inline std::vector<float> kvfloats(const QByteArray& raw)
{
    std::vector<float> v(size_t(raw.size()) / 4);
    if (!v.empty())
        std::memcpy(v.data(), raw.constData(), v.size() * 4);
    return v;
}

// Writes an executable shell script of the given body to `path`: the
// stand-ins for external utilities that fail in chosen ways.
inline bool kvscript(const QString& path, const QString& body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A folder of utilities whose sox is a script of the given body.
inline QString kvfakesox(const QTemporaryDir& dir, const QString& body)
{
    QDir().mkpath(dir.path() + "/sox");
    kvscript(dir.path() + "/sox/sox", body);
    return dir.path();
}

// The text of the session log of this run, with the empty slot space removed.
inline QString kvlogtext()
{
    QFile file(logspath + "/" + sessionid + ".htm");
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    bytes.replace('\0', QByteArray());
    return QString::fromUtf8(bytes);
}

// Runs the event loop until a timer of `ms` started now has fired. Timers fire
// in the order they fall due, however late the loop runs: every timer due
// sooner (a delayed warning or question) has had its turn by then, so that a
// check that it did nothing checks something.
inline bool kvtimerspassed(int ms)
{
    QTimer later;
    later.setSingleShot(true);
    later.setTimerType(Qt::PreciseTimer);
    QSignalSpy fired(&later, &QTimer::timeout);
    later.start(ms);
    return fired.wait(ms + 60000);
}
