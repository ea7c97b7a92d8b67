// Resampling layers through the real sox of the installation root, and what
// happens when sox is missing, fails or writes too little.
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

#include "core/globals.h"
#include "core/layer.h"
#include "core/utility.h"
#include "layerhelpers.h"
#include "testsupport.h"

using std::unique_ptr;

namespace {

layer* sine(int rate, int channels, int frames, float amplitude, double frequency = 440)
{
    return makelayer(rate, channels, 0.5, frames, [=](int k, int) {
        return amplitude * float(std::sin(2 * M_PI * frequency * k / rate));
    });
}

float peak(const std::vector<float>& v)
{
    float p = 0;
    for (float x : v)
        p = std::max(p, std::fabs(x));
    return p;
}

} // namespace

class TestResample : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY2(QFileInfo(utilpath + "/sox/sox").isExecutable(), "the build links sox into the root");
    }
    void init() { kvtestfolders(); }

    void freshlayertakesformat()
    {
        utilpath = QDir::tempPath() + "/nothing here"; // proves that sox is not needed
        layer l;
        QVERIFY(l.resample(44100, 2, 0));
        QCOMPARE(l.samplerate, 44100);
        QCOMPARE(l.channels, 2);
        QCOMPARE(l.speakermask, 0x3);
        layer four;
        QVERIFY(four.resample(48000, 4, 0));
        QCOMPARE(four.speakermask, 0x33);
        four.speakermask = 0x7;
        QVERIFY(four.resample(48000, 9, 0)); // no default for nine: the mask stays
        QCOMPARE(four.speakermask, 0x7);
        QVERIFY(four.resample(48000, 2, 0x600));
        QCOMPARE(four.speakermask, 0x600);
        QVERIFY(!four.resample(0, 2, 0));
    }

    void halfrate()
    {
        unique_ptr<layer> l(sine(48000, 1, 4800, 0.5f));
        const QString old = l->file->fileName();
        QVERIFY(l->resample(24000, 1, 0));
        QCOMPARE(l->samplerate, 24000);
        QCOMPARE(l->fileframes(), 2400);
        QCOMPARE(l->length, 0.1);
        QCOMPARE(l->start, 0.5);
        QVERIFY(!QFile::exists(old));
        QCOMPARE(kvsessionfiles().size(), 1);
        // The tone itself survives: compare with the ideal sine away from the edges.
        auto v = readrange(l.get(), 0.5, 2400);
        double worst = 0;
        for (int k = 200; k < 2200; k++)
            worst = std::max(worst, std::fabs(v[k] - 0.5 * std::sin(2 * M_PI * 440 * k / 24000)));
        QVERIFY2(worst < 1e-3, qPrintable(QString::number(worst)));
    }

    void monotostereo()
    {
        unique_ptr<layer> l(sine(32000, 1, 640, 0.25f));
        l->speakermask = 0x4;
        QVERIFY(l->resample(48000, 2, 0));
        QCOMPARE(l->channels, 2);
        QCOMPARE(l->speakermask, 0x3);
        QCOMPARE(l->fileframes(), 960);
        auto v = readrange(l.get(), 0.5, 960);
        for (int k = 0; k < 960; k++)
            QCOMPARE(v[2 * k], v[2 * k + 1]);
        QVERIFY(peak(v) > 0.2f);
    }

    void sameformat()
    {
        // Nothing to convert: the mask changes without sox.
        unique_ptr<layer> l(sine(48000, 1, 480, 0.25f));
        const QByteArray bytes = filebytes(l.get());
        utilpath = QDir::tempPath() + "/nothing here";
        QVERIFY(l->resample(48000, 1, 0x1));
        QCOMPARE(l->speakermask, 0x1);
        QCOMPARE(filebytes(l.get()), bytes);
    }

    void loudlayernotclipped()
    {
        unique_ptr<layer> l(sine(48000, 2, 4800, 2.0f));
        QVERIFY(l->resample(44100, 2, 0));
        QCOMPARE(l->fileframes(), 4410);
        const float p = peak(readrange(l.get(), 0.5, 4410));
        QVERIFY2(std::fabs(p - 2.0f) < 0.02f, qPrintable(QString::number(p)));
        QCOMPARE(kvsessionfiles().size(), 1); // the scaled copy for sox is gone
    }

    void awkwardpaths()
    {
        sessionpath = QDir::tempPath() + "/it's a \"session\" at 100%1 [x]*";
        QVERIFY(QDir().mkpath(sessionpath));
        unique_ptr<layer> l(sine(22050, 1, 2205, 0.5f));
        QVERIFY(l->file->fileName().startsWith(sessionpath));
        QVERIFY2(l->resample(11025, 1, 0), qPrintable(l->lasterror()));
        QCOMPARE(l->fileframes(), 1103);
        QCOMPARE(kvsessionfiles().size(), 1);
    }

    void remixbyspeakers_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("mask");
        QTest::addColumn<QList<float>>("weights"); // left and right of each input channel
        const float h = float(M_SQRT1_2);
        const QList<float> surround{1, 0, 0, 1, h, h, 0, 0, h, 0, 0, h};
        // A mask that does not describe the channels stands for the usual
        // speakers of their count (here FL FR FC LFE BL BR), not for none.
        QTest::newRow("six channels, mask 0") << 6 << 0 << surround;
        QTest::newRow("six channels, mask of eight") << 6 << 0x63F << surround;
        // A speaker without a known place is heard from the front.
        QTest::newRow("a speaker beyond the table") << 3 << 0x40003 << QList<float>{1, 0, 0, 1, h, h};
    }

    void remixbyspeakers()
    {
        QFETCH(int, channels);
        QFETCH(int, mask);
        QFETCH(QList<float>, weights);
        // Frame i sounds on channel i alone: the stereo frame i is its pair of weights.
        unique_ptr<layer> l(makelayer(48000, channels, 0, 480, [](int k, int c) { return k == c ? 1.0f : 0.0f; }));
        l->speakermask = mask;
        QVERIFY2(l->resample(48000, 2, 0x3), qPrintable(l->lasterror()));
        const std::vector<float> v = readrange(l.get(), 0, channels);
        for (int i = 0; i < weights.size(); ++i)
            QVERIFY2(std::fabs(v[size_t(i)] - weights[i]) < 1e-6, qPrintable(QString("%1: %2").arg(i).arg(v[size_t(i)])));
    }

    void failingsox_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("missing") << QString();
        QTest::newRow("exit 1") << QString("echo 'sox FAIL formats: cannot open' >&2; exit 1");
        QTest::newRow("writes nothing") << QString("exit 0");
        QTest::newRow("crashes") << QString("kill -SEGV $$");
        // Cancel before sox: the passes that prepare its input end, and sox never runs.
        QTest::newRow("cancelled") << QString("touch \"$0.ran\"; exec sox \"$@\"");
    }

    void failingsox()
    {
        QFETCH(QString, body);
        QTemporaryDir util;
        utilpath = body.isEmpty() ? util.path() : kvfakesox(util, body);
        const bool cancel = QByteArray(QTest::currentDataTag()) == "cancelled";
        UtilityWatch cancelling;
        cancelling.cancelled = [] { return true; };
        setutilitywatch(cancel ? cancelling : UtilityWatch());
        const auto unwatch = qScopeGuard([] { setutilitywatch({}); });
        unique_ptr<layer> l(sine(48000, 1, 480, 0.5f));
        l->speakermask = 0x4;
        const QString file = l->file->fileName();
        const QByteArray bytes = filebytes(l.get());
        const QStringList files = kvsessionfiles();
        QVERIFY(!l->resample(24000, 2, 0));
        QCOMPARE(l->failed(), !cancel);
        QVERIFY(!QFile::exists(utilpath + "/sox/sox.ran"));
        QCOMPARE(l->samplerate, 48000);
        QCOMPARE(l->channels, 1);
        QCOMPARE(l->speakermask, 0x4);
        QCOMPARE(l->length, 0.01);
        QCOMPARE(l->file->fileName(), file);
        QCOMPARE(filebytes(l.get()), bytes);
        QCOMPARE(kvsessionfiles(), files);
        if (body.contains("FAIL"))
            QVERIFY(l->lasterror().contains("cannot open"));
    }
};

QTEST_GUILESS_MAIN(TestResample)
#include "tst_resample.moc"
