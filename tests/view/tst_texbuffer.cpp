// The display-transform worker on real layers: geometry of the published
// grid, spectral content, empty results, coalescing of requests, requests at
// the end of a computation, teardown while computing and broken samples.
#include <atomic>
#include <QMutexLocker>
#include <QTest>
#include <atomic>
#include <cmath>
#include <memory>

#include "testsupport.h"
#include "core/analysiswindow.h"
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
    const float* v = data + (size_t(column) * rows + row) * 2;
    return std::sqrt(v[0] * v[0] + v[1] * v[1]);
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

    void destroyedWhileComputing()
    {
        std::unique_ptr<layer> l(makesinelayer(1000, 0.5, 48000, 1, 60.0));
        auto* worker = new TexBuffer;
        worker->bindlayer(l.get(), 0);
        worker->infftparam(2, 65536, 4, false);
        worker->intexrequest(QRectF(0, 24000, 60, -24000), QSize(2000, 1000));
        // A minute of 65536-point transforms: the deletion comes long before its end.
        std::atomic<bool> finished{false};
        QObject::connect(worker, &TexBuffer::outtexdata, worker, [&finished] { finished = true; },
                         Qt::DirectConnection);
        QVERIFY(QTest::qWaitFor([worker] { return worker->isRunning(); }, 20000));
        delete worker; // stops the computation and waits for the thread
        QVERIFY(!finished); // abandoned, not finished first
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
