#pragma once
// Ends Qt's shared thread pool before the process ends.
//
// The raster painter fills large areas on Qt's global pool. Qt waits for the
// pool's threads to report that they are done, not for them to be gone, so a
// thread may still be releasing its thread-local record while the process
// exits, and that record is then left behind unreferenced. Waiting until the
// pooled threads have left the process makes the end orderly.
#include <QDir>
#include <QFile>
#include <QThreadPool>

#include <chrono>
#include <thread>

namespace poolthreads_detail {
inline int alive()
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(task + QStringLiteral("/comm")));
        // Qt names its pooled threads "Thread (pooled)".
        if (name.open(QIODevice::ReadOnly) && name.readAll().startsWith("Thread (pooled)"))
            ++count;
    }
    return count;
}
} // namespace poolthreads_detail

inline void endpoolthreads()
{
    QThreadPool::globalInstance()->waitForDone();
    // Bounded: a thread that never leaves must not keep the program from ending.
    for (int i = 0; i < 500 && poolthreads_detail::alive() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}
