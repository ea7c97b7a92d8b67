// The display-transform worker on real layers: geometry of the published
// grid, spectral content, empty results, coalescing of requests, requests at
// the end of a computation, a binding or teardown while computing and broken
// samples.
#include <QMutexLocker>
#include <QTest>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "testsupport.h"
#include "core/analysiswindow.h"
#include "view/displaypool.h"
#include "view/texbuffer.h"
#include "viewtestsupport.h"

namespace {

struct Counted
{
    TexBuffer worker;
    std::atomic<int> published{0};
    Counted()
    {
        QObject::connect(&worker, &TexBuffer::outtexdata, &worker, [this] { ++published; }, Qt::DirectConnection);
    }
    bool idle()
    {
        QMutexLocker request(&worker.requestmutex);
        return worker.requesttaken && !worker.isRunning();
    }
};

float magnitude(const float* data, int rows, int column, int row)
{
    return data[(size_t(column) * rows + row) * 2];
}

// A copy of a worker's published result.
struct Result
{
    QRectF area;
    QSize res;
    std::vector<float> data, peaks;
    explicit Result(TexBuffer& worker)
    {
        QMutexLocker result(&worker.resultmutex);
        area = worker.resultarea;
        res = worker.resultres;
        if (worker.resultdata) {
            data.assign(worker.resultdata, worker.resultdata + size_t(res.width()) * res.height() * 2);
            peaks.assign(worker.resultpeaks, worker.resultpeaks + res.width());
        }
    }
    int column(double time) const { return int(std::floor((time - area.x()) / area.width() * res.width() + 0.5)); }
    double columntime(int c) const { return area.x() + c * area.width() / res.width(); }
    double rowfrequency(int r) const { return area.y() + area.height() + r * -area.height() / res.height(); }
    // The strongest value of column c and its row.
    std::pair<float, int> strongest(int c) const
    {
        std::pair<float, int> best(-1.0f, -1);
        for (int r = 0; r < res.height(); ++r)
            best = std::max(best, std::make_pair(magnitude(data.data(), res.height(), c, r), r));
        return best;
    }
};

// A mono layer whose content changes with time, so that a column taken from
// the wrong place shows: a rising tone over a little noise.
layer* makechirplayer(int rate, double seconds)
{
    const QString path = sessionpath + "/chirp.pcm";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return nullptr;
    std::vector<float> samples(size_t(rate * seconds));
    quint32 noise = 1;
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / rate;
        noise = noise * 1664525u + 1013904223u;
        samples[i] = float(0.4 * std::sin(2 * M_PI * (200 * t + 150 * t * t)) + 0.01 * (noise >> 8) / 16777216.0);
    }
    file.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * sizeof(float)));
    file.close();
    return new layer(path, "chirp", true, 1, 1.0f, rate, 1, 0, seconds, false);
}

} // namespace

class TestTexBuffer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { kvtestfolders(); }

    void windowsSumToTwo()
    {
        std::vector<float> w(4096), plain(1024), sub(1024);
        for (int type = 0; type <= 4; ++type) {
            fillanalysiswindow(w.data(), type, 4096, false);
            double sum = 0;
            for (float v : w)
                sum += v;
            QVERIFY2(std::fabs(sum - 2.0) < 1e-4, qPrintable(QString("type %1 sums to %2").arg(type).arg(sum)));
        }
        // Sub-window: the outer quarters keep the plain shape, the middle half gains.
        fillanalysiswindow(plain.data(), 2, 1024, false);
        fillanalysiswindow(sub.data(), 2, 1024, true);
        const double outer = sub[100] / plain[100];
        QCOMPARE_LT(std::fabs(sub[900] / plain[900] - outer), 1e-4);
        QVERIFY(sub[400] / plain[400] > outer * 1.05);
    }

    void parametersAreClamped()
    {
        QCOMPARE(clampfftsize(32), 64);
        QCOMPARE(clampfftsize(1000), 512);
        QCOMPARE(clampfftsize(131072), 65536);
        QCOMPARE(clampfftoverlap(1), 2);
        QCOMPARE(clampfftoverlap(32), 16);
        QCOMPARE(clampfftoverlap(6), 4);
        TexBuffer worker;
        worker.infftparam(2, 0, 0, false);
        QCOMPARE(worker.fftsize, 64);
        QCOMPARE(worker.fftoverlap, 2);
    }

    // A sine centred on a bin shows its amplitude there; the grid follows the
    // pixel size in whole quarter hops and whole bins.
    void sineOnItsBin()
    {
        std::unique_ptr<layer> l(makesinelayer(1500, 0.5, 48000, 2, 2.0));
        Counted c;
        c.worker.bindlayer(l.get(), 1);
        c.worker.infftparam(2, 4096, 4, false);
        c.worker.intexrequest(QRectF(0, 24000, 2, -24000), QSize(400, 2048), QRectF(), false);
        QCOMPARE(c.published.load(), 1);
        QMutexLocker result(&c.worker.resultmutex);
        QCOMPARE(c.worker.resultlayer, l.get());
        QCOMPARE(c.worker.resultchannel, 1);
        // 46.875 frames per second, fewer than the 200 pixels per second: one hop per column.
        QCOMPARE(c.worker.framerate, 46.875);
        const QSize res = c.worker.resultres;
        const QRectF area = c.worker.resultarea;
        QCOMPARE(res.width(), 94); // columns 0 .. ceil(46.875 x 2) (the layer ends at 2 s)
        QCOMPARE(area.x(), 0.0);
        QVERIFY(std::fabs(area.width() - 94 / 46.875) < 1e-9);
        // Every bin up to Nyquist: row r is bin r, the top row at most bin 2048.
        QVERIFY(res.height() == 2048 || res.height() == 2049);
        QVERIFY(std::fabs(area.y() + area.height()) < 1e-9);
        const float* data = c.worker.resultdata;
        const int rows = res.height();
        QVERIFY(std::fabs(magnitude(data, rows, 47, 128) - 0.5f) < 0.005f);
        QVERIFY(magnitude(data, rows, 47, 128) > 50 * magnitude(data, rows, 47, 120));
        QVERIFY(magnitude(data, rows, 47, 400) < 1e-4f);
        QVERIFY(std::fabs(c.worker.resultpeaks[47] - 0.5f) < 1e-3f);
        // The first column is centred on 0 s: half of its frame is before the layer.
        QVERIFY(magnitude(data, rows, 0, 128) < 0.35f);
    }

    void zoomedOutSteps()
    {
        std::unique_ptr<layer> l(makesinelayer(1000, 0.5, 48000, 1, 2.0));
        Counted c;
        c.worker.bindlayer(l.get(), 0);
        c.worker.infftparam(4, 4096, 4, false);
        // 2.6 frames per pixel: k = 10, a column every 2.5 hops.
        const double w = 1000 * 2.6 / 46.875;
        c.worker.intexrequest(QRectF(0, 30000, w, -30000), QSize(1000, 100), QRectF(), false);
        QMutexLocker result(&c.worker.resultmutex);
        QVERIFY(std::fabs(c.worker.framerate - 46.875 / 2.5) < 1e-9);
        const QRectF area = c.worker.resultarea;
        const int columns = c.worker.resultres.width();
        QVERIFY(std::fabs(area.width() / columns - 2.5 * 1024 / 48000) < 1e-9);
        // The last column lies within the layer, which ends long before the area.
        QVERIFY(area.x() + (columns - 1) * area.width() / columns <= 2.0);
        // An area reaching above Nyquist: rows stop there.
        const double fstep = (4096.0 / 48000) / c.worker.rowdensity;
        QCOMPARE(fstep, 25.0);
        const int rows = c.worker.resultres.height();
        QVERIFY((rows - 1) * fstep <= 2048);
        QVERIFY(rows <= 100 + 2);
    }

    void outsideTheLayerClears()
    {
        std::unique_ptr<layer> l(makesinelayer(1000, 0.5, 48000, 1, 2.0));
        Counted c;
        c.worker.bindlayer(l.get(), 0);
        c.worker.infftparam(2, 1024, 4, false);
        c.worker.intexrequest(QRectF(10, 24000, 2, -24000), QSize(200, 100), QRectF(), false);
        QCOMPARE(c.published.load(), 1);
        {
            QMutexLocker result(&c.worker.resultmutex);
            QCOMPARE(c.worker.resultlayer, l.get());
            QCOMPARE(c.worker.resultres, QSize(-1, -1));
            QVERIFY(!c.worker.resultdata);
        }
        // Above Nyquist likewise.
        c.worker.intexrequest(QRectF(0, 40000, 2, -10000), QSize(200, 100), QRectF(), false);
        QCOMPARE(c.published.load(), 2);
        QMutexLocker result(&c.worker.resultmutex);
        QCOMPARE(c.worker.resultres, QSize(-1, -1));
    }

    void refusesUntilComplete()
    {
        std::unique_ptr<layer> l(makesinelayer(1000, 0.5, 48000, 1, 1.0));
        Counted c;
        const QRectF area(0, 24000, 1, -24000);
        c.worker.intexrequest(area, QSize(100, 100), QRectF(), false); // nothing bound, no size
        c.worker.infftparam(2, 1024, 4, false);
        c.worker.bindlayer(nullptr, 0);
        c.worker.intexrequest(area, QSize(100, 100), QRectF(), false);
        c.worker.bindlayer(l.get(), 0);
        c.worker.intexrequest(area, QSize(0, 100), QRectF(), false);
        c.worker.intexrequest(QRectF(0, 0, 0, 0), QSize(100, 100), QRectF(), false);
        QCOMPARE(c.published.load(), 0);
        c.worker.intexrequest(area, QSize(100, 100), QRectF(), false);
        QCOMPARE(c.published.load(), 1);
    }

    // Ten requests while one computation runs: the newest is computed next,
    // the others are skipped.
    void requestsCoalesce()
    {
        std::unique_ptr<layer> l(makesinelayer(1000, 0.5, 48000, 1, 60.0));
        Counted c;
        c.worker.bindlayer(l.get(), 0);
        c.worker.infftparam(2, 65536, 4, false);
        for (int i = 0; i < 10; ++i)
            c.worker.intexrequest(QRectF(i, 24000, 50, -24000), QSize(2000, 1000));
        QVERIFY(waituntil([&] { return c.idle(); }, 60000));
        QVERIFY2(c.published.load() >= 1 && c.published.load() <= 2,
                 qPrintable(QString::number(c.published.load())));
        QMutexLocker result(&c.worker.resultmutex);
        const double framerate = c.worker.framerate;
        QCOMPARE(c.worker.resultarea.x(), std::floor(framerate * 9) / framerate);
    }

    // However the requests fall against the end of the worker's loop, the
    // last one is always computed.
    void lastRequestIsNeverLost()
    {
        std::unique_ptr<layer> l(makesinelayer(1000, 0.5, 48000, 1, 4.0));
        Counted c;
        c.worker.bindlayer(l.get(), 0);
        c.worker.infftparam(2, 256, 4, false);
        for (int i = 0; i < 300; ++i) {
            c.worker.intexrequest(QRectF(0.05 * i, 24000, 1, -24000), QSize(50, 20));
            if (i % 3 == 0)
                QThread::usleep(50 * (i % 7));
        }
        const double lastx = 0.05 * 299;
        QVERIFY(waituntil([&] { return c.idle(); }, 30000));
        QMutexLocker result(&c.worker.resultmutex);
        const double framerate = c.worker.framerate;
        QCOMPARE(c.worker.resultarea.x(), std::floor(framerate * lastx) / framerate);
    }

    // Deleting a worker stops its computation and waits for it (the test's
    // time limit catches a hang); no result is published afterwards.
    void destroyedWhileComputing()
    {
        std::unique_ptr<layer> l(makesinelayer(1000, 0.5, 48000, 1, 60.0));
        auto* worker = new TexBuffer;
        worker->bindlayer(l.get(), 0);
        worker->infftparam(2, 65536, 16, false);
        worker->intexrequest(QRectF(0, 24000, 60, -24000), QSize(2000, 1000));
        QVERIFY(worker->isRunning());
        delete worker;
    }

    // A new binding does not wait for the computation in progress: it gives
    // up, publishes nothing, and its request is computed for the new layer.
    void rebindingGivesUpTheComputation()
    {
        std::unique_ptr<layer> a(makesinelayer(1000, 0.5, 48000, 1, 60.0)), b(makesinelayer(3000, 0.5, 48000, 1, 2.0));
        Counted c;
        c.worker.bindlayer(a.get(), 0);
        c.worker.infftparam(2, 65536, 16, false);
        // Holding the layers' lock keeps the computation from its samples
        // until the new binding waits.
        layermutex.lock();
        c.worker.intexrequest(QRectF(0, 24000, 60, -24000), QSize(2000, 1000));
        const bool computing = waituntil([&] {
            QMutexLocker request(&c.worker.requestmutex);
            return c.worker.requesttaken;
        }, 30000);
        std::thread binder([&] { c.worker.bindlayer(b.get(), 0); });
        const bool waiting = computing && waituntil([&] { return c.worker.superseding.load() == 1; }, 30000);
        layermutex.unlock();
        binder.join();
        QVERIFY(waiting);
        QVERIFY(waituntil([&] { return c.idle(); }, 60000));
        QCOMPARE(c.published.load(), 1);
        QMutexLocker result(&c.worker.resultmutex);
        QCOMPARE(c.worker.resultlayer, b.get());
    }

    // Display work gives way to a repaint of the window, once and for a
    // bounded time: the painting thread never waits for itself, another
    // thread comes back on its own, and a picture asked for during a repaint
    // that does not end is still computed.
    void workGivesWayToARepaint()
    {
        std::atomic<int> looks{0};
        const std::function<bool()> stop = [&] {
            ++looks;
            return false;
        };
        displaypool::yieldtoforeground(stop);
        QCOMPARE(looks.load(), 0);
        std::unique_ptr<layer> l(makesinelayer(1000, 0.5, 48000, 1, 20.0));
        Counted c;
        c.worker.bindlayer(l.get(), 0);
        c.worker.infftparam(2, 4096, 4, false);
        const displaypool::Foreground painting;
        displaypool::yieldtoforeground(stop);
        QCOMPARE(looks.load(), 0);
        std::thread other([&] { displaypool::yieldtoforeground(stop); });
        other.join();
        QVERIFY(looks.load() >= 1);
        c.worker.intexrequest(QRectF(0, 24000, 20, -24000), QSize(1000, 500));
        QVERIFY(waituntil([&] { return c.published.load() == 1; }, 120000));
    }

    // A 0.5 sine shows within 3 dB of its level, at the row of its frequency,
    // whatever the window size and the view's height, also between bins:
    // each row is the strongest of the bins it stands for.
    void sineShowsAtEveryHeightAndSize()
    {
        const double frequencies[] = {48000 * 85.5 / 4096, 48000 * 2731.5 / 65536, 48000 * 10.5 / 64, 9876.5};
        const int heights[] = {100, 150, 250, 400, 700, 1080, 2000};
        for (double f : frequencies) {
            std::unique_ptr<layer> l(makesinelayer(f, 0.5, 48000, 1, 4.0));
            TexBuffer worker;
            worker.bindlayer(l.get(), 0);
            for (int n = 64; n <= 65536; n *= 2) {
                worker.infftparam(4, n, 4, false);
                for (int h : heights) {
                    worker.intexrequest(QRectF(0, 24000, 4, -24000), QSize(400, h), QRectF(), false);
                    const Result r(worker);
                    const QString where = QString("%1 Hz, N %2, %3 pixels").arg(f).arg(n).arg(h);
                    QVERIFY2(r.res.width() > 0 && r.res.height() <= 2 * h + 2, qPrintable(where));
                    // A column whose frame lies wholly inside the layer.
                    const int c = r.column(2.0);
                    const auto [level, row] = r.strongest(c);
                    const double db = 20 * std::log10(level / 0.5);
                    QVERIFY2(std::fabs(db) < 3, qPrintable(where + QString(": %1 dB").arg(db)));
                    const double rowheight = -r.area.height() / r.res.height();
                    QVERIFY2(std::fabs(r.rowfrequency(row) - f) <= rowheight,
                             qPrintable(where + QString(": at %1 Hz").arg(r.rowfrequency(row))));
                }
            }
        }
    }

    // A 5 ms burst in a silent 10-minute stereo layer shows in the fully
    // zoomed-out view at its time: every frame of a column's span counts.
    void burstShowsZoomedOut()
    {
        const int rate = 48000;
        const QString path = sessionpath + "/tenminutes.pcm";
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.resize(qint64(600) * rate * 2 * 4)); // silence, without writing it
            const double at = 377.3;
            std::vector<float> burst(size_t(rate / 200) * 2);
            for (size_t i = 0; i < burst.size() / 2; ++i)
                burst[2 * i + 1] = float(0.5 * std::sin(2 * M_PI * 3000.0 * double(i) / rate));
            QVERIFY(file.seek(qint64(at * rate) * 2 * 4));
            file.write(reinterpret_cast<const char*>(burst.data()), qint64(burst.size() * sizeof(float)));
        }
        std::unique_ptr<layer> l(new layer(path, "ten minutes", true, 1, 1.0f, rate, 2, 0, 600, false));
        TexBuffer worker;
        worker.bindlayer(l.get(), 1);
        worker.infftparam(4, 4096, 4, false);
        worker.intexrequest(QRectF(0, 24000, 600, -24000), QSize(1920, 1080), QRectF(), false);
        const Result r(worker);
        QVERIFY(r.res.width() > 1800 && r.res.width() < 2000);
        // Every frame centred in the layer, and at most a column's more at its end.
        const qint64 frames = qint64(600 * 46.875) + 1;
        QVERIFY2(worker.framescomputed >= frames && worker.framescomputed <= frames + 15,
                 qPrintable(QString::number(worker.framescomputed)));
        const int c = r.column(377.3 + 0.0025);
        float level = 0, peak = 0;
        int row = -1;
        for (int k = c - 1; k <= c + 1; ++k) {
            const auto s = r.strongest(k);
            if (s.first > level)
                std::tie(level, row) = s;
            peak = std::max(peak, r.peaks[size_t(k)]);
        }
        // 240 samples of 0.5 under a window of 4096 that sums to 2: about 0.08
        // when a frame is centred on the burst, never below 0.055.
        QVERIFY2(level > 0.05f, qPrintable(QString("burst at %1").arg(level)));
        QVERIFY(std::fabs(r.rowfrequency(row) - 3000) < 30);
        QVERIFY(peak > 0.49f);
        for (int k = 0; k < r.res.width(); ++k)
            if (std::abs(k - c) > 2)
                QVERIFY2(r.strongest(k).first < 1e-6f && r.peaks[size_t(k)] == 0.0f, qPrintable(QString::number(k)));
    }

    // A scroll computes only the new columns, an edit only the columns whose
    // frames it touches, a repaint nothing, a slot that takes another's
    // picture over nothing; each gives what a fresh worker computes for the
    // same area.
    void keptColumnsMatchFreshOnes()
    {
        std::unique_ptr<layer> l(makechirplayer(48000, 60));
        auto fresh = [&](const QRectF& area) {
            TexBuffer other;
            other.bindlayer(l.get(), 0);
            other.infftparam(4, 1024, 4, false);
            other.intexrequest(area, QSize(600, 300), QRectF(), false);
            return Result(other);
        };
        auto same = [](const Result& a, const Result& b) {
            return a.area == b.area && a.res == b.res && a.data == b.data && a.peaks == b.peaks;
        };
        TexBuffer worker;
        worker.bindlayer(l.get(), 0);
        worker.infftparam(4, 1024, 4, false);
        const QRectF first(0, 24000, 30, -24000), scrolled(3, 24000, 30, -24000);
        worker.intexrequest(first, QSize(600, 300), QRectF(), false);
        const qint64 whole = worker.framescomputed;
        QVERIFY(whole > 30 * 187);

        worker.intexrequest(scrolled, QSize(600, 300), QRectF(), false);
        const qint64 scroll = worker.framescomputed;
        QVERIFY2(scroll > 0 && scroll < whole / 8, qPrintable(QString("%1 of %2").arg(scroll).arg(whole)));
        QVERIFY(same(Result(worker), fresh(scrolled)));

        worker.intexrequest(scrolled, QSize(600, 300), QRectF(), false);
        QCOMPARE(worker.framescomputed.load(), 0);

        // An edit of 50 ms at 12 s.
        std::vector<float> loud(2400, 0.9f);
        l->write(loud.data(), 12.0, 0.05);
        worker.intexrequest(scrolled, QSize(600, 300), QRectF(12.0, 24000, 0.05, -24000), false);
        const qint64 edit = worker.framescomputed;
        QVERIFY2(edit > 0 && edit < whole / 50, qPrintable(QString("%1 of %2").arg(edit).arg(whole)));
        QVERIFY(same(Result(worker), fresh(scrolled)));

        // A change noted without a request of its own counts at the next one.
        l->write(loud.data(), 20.0, 0.05);
        worker.invalidate(QRectF(20.0, 24000, 0.05, -24000));
        worker.intexrequest(scrolled, QSize(600, 300), QRectF(), false);
        QVERIFY(worker.framescomputed > 0);
        QVERIFY(same(Result(worker), fresh(scrolled)));

        // A slot bound to a mix that holds that layer alone takes the
        // columns over, and computes those of a change only noted so far;
        // with a second layer heard, it takes nothing.
        std::unique_ptr<layer> mix(new layer(sessionpath + "/mix.pcm", "mix", true, 1, 1.0f, 48000, 1, 0, 0, false));
        QVERIFY(mix->addchild(l.get()));
        auto takenover = [&](bool alone) {
            TexBuffer taking;
            taking.infftparam(4, 1024, 4, false);
            taking.bindlayer(mix.get(), 0, {&worker});
            taking.intexrequest(scrolled, QSize(600, 300), QRectF(), false);
            if (alone && !same(Result(taking), fresh(scrolled)))
                return qint64(-1);
            return qint64(taking.framescomputed);
        };
        QCOMPARE(takenover(true), 0);
        l->write(loud.data(), 25.0, 0.05);
        worker.invalidate(QRectF(25.0, 24000, 0.05, -24000));
        const qint64 changed = takenover(true);
        QVERIFY2(changed > 0 && changed < whole / 50, qPrintable(QString::number(changed)));
        std::unique_ptr<layer> second(new layer(*l));
        QVERIFY(mix->addchild(second.get()));
        QVERIFY(takenover(false) >= whole);
    }

    void brokenSamplesStayFinite()
    {
        const int rate = 8000;
        const QString path = sessionpath + "/broken.pcm";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        std::vector<float> samples(rate, 0.25f);
        samples[4000] = std::nanf("");
        samples[4100] = INFINITY;
        file.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * sizeof(float)));
        file.close();
        std::unique_ptr<layer> l(new layer(path, "broken", true, 1, 1.0f, rate, 1, 0, 1.0, false));
        Counted c;
        c.worker.bindlayer(l.get(), 0);
        c.worker.infftparam(2, 512, 4, false);
        c.worker.intexrequest(QRectF(0, 4000, 1, -4000), QSize(100, 100), QRectF(), false);
        QMutexLocker result(&c.worker.resultmutex);
        const QSize res = c.worker.resultres;
        QVERIFY(res.width() > 0 && res.height() > 0);
        for (int i = 0; i < res.width() * res.height() * 2; ++i)
            QVERIFY(std::isfinite(c.worker.resultdata[i]));
        for (int i = 0; i < res.width(); ++i)
            QVERIFY(std::isfinite(c.worker.resultpeaks[i]));
    }
};

QTEST_GUILESS_MAIN(TestTexBuffer)
#include "tst_texbuffer.moc"
