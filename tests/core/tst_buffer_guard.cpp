// One Buffer used from two threads at once, as a recording does: a device
// thread writes samples and reads them back while the GUI thread flushes the
// edits to the layer and reads through the host callbacks.
#include <QtTest>
#include <atomic>
#include <mutex>
#include <thread>

#include "buffertestsupport.h"
#include "core/callbacks.h"

class TestBufferGuard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { kvtestfolders(); }

    // The lock keeps two threads apart, taken nested or not, and refuses a
    // try while another thread holds it.
    void guardExcludesAndNests()
    {
        BufferGuard guard;
        int counter = 0;
        auto work = [&] {
            for (int i = 0; i < 100000; ++i) {
                const std::lock_guard outer(guard);
                const std::lock_guard inner(guard);
                counter = counter + 1;
            }
        };
        std::thread other(work);
        work();
        other.join();
        QCOMPARE(counter, 200000);
        guard.lock();
        bool taken = true;
        std::thread([&] { taken = guard.try_lock(); }).join();
        QVERIFY(!taken);
        QVERIFY(guard.try_lock()); // the holder takes it again
        guard.unlock();
        guard.unlock();
        std::thread([&] {
            taken = guard.try_lock();
            if (taken)
                guard.unlock();
        }).join();
        QVERIFY(taken);
    }

    void writesDuringFlushesAllArrive()
    {
        const int rate = 44100;
        const int count = 3 * rate; // past the cache window, so it moves too
        const std::vector<float> tone = sines(size_t(count), rate);
        auto l = makelayer({}, rate, 1);
        Buffer buffer;
        buffer.infftparam(4, 1024, 2, false);
        buffer.bindlayer(l.get());
        slottable.buffer[1] = &buffer;

        std::atomic<bool> done{false};
        std::atomic<int> misread{0};
        std::atomic<int> flushes{0};
        std::thread writer([&] {
            for (int i = 0; i < count; ++i) {
                // Every few thousand samples a flush must come between, however
                // fast or slow either thread runs.
                if (i % 4096 == 0)
                    for (const int seen = flushes.load(); flushes.load() == seen;)
                        std::this_thread::yield();
                setsamplecb(1, 0, i, tone[size_t(i)]);
                if (i % 97 == 0 && buffer.getsample(0, i) != tone[size_t(i)])
                    misread++;
            }
            done = true;
        });
        while (!done) {
            buffer.flush();
            getsamplecb(1, 0, flushes % count);
            ++flushes;
            // The guard serves in turn: a flush after every write would make
            // the writer wait for this thread's turn at each sample, which on a
            // busy machine takes minutes.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        writer.join();
        buffer.flush();
        slottable.buffer[1] = nullptr;

        QVERIFY(flushes.load() > count / 4096);
        QCOMPARE(misread.load(), 0);
        const std::vector<float> got = readlayer(l.get(), 0, count, 0);
        float worst = 0;
        for (int i = 0; i < count; ++i)
            worst = std::max(worst, std::fabs(got[size_t(i)] - tone[size_t(i)]));
        QVERIFY2(worst < 1e-4f, qPrintable(QString::number(worst)));
        buffer.bindlayer(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestBufferGuard)
#include "tst_buffer_guard.moc"
