#include <QTest>

#include <cmath>
#include <memory>

#include "plugins/tools/hostbuffers.h"
#include "plugins/tools/tooldriver.h"

// The frequency pen on the host's own spectral core: strokes drawn into the
// real clipboard and committed into a real, initially empty current layer.
// 44100 Hz, window 1024 (a bin is 43 Hz), overlap 4; the mix is silent.
class TestTonepenSpectra : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void drawnToneReachesTheLayer();
    void glideRisesThroughTheStroke();

private:
    // Hover at the start, press, drag in 10 ms steps along the line to the
    // end, release there.
    void line(double t0, double f0, double t1, double f1);

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<HostBuffers> host;
    std::unique_ptr<tooltest::Pointer> pointer;
};

void TestTonepenSpectra::initTestCase()
{
    startlog("tonepenspectra");
    QString error;
    tool = tooltest::loadtool(loader, "tonepen", error);
    QVERIFY2(tool, qPrintable(error));
    host = std::make_unique<HostBuffers>(44100, 1024, 4);
    pointer = std::make_unique<tooltest::Pointer>(
        tool, [this] { host->refresh(*tool); }, [this] { host->writeback(); });
}

void TestTonepenSpectra::cleanupTestCase()
{
    pointer.reset();
    host.reset();
    QVERIFY(norefusals());
}

void TestTonepenSpectra::init()
{
    host->setup(2.0, [](double) { return 0.0; });
}

void TestTonepenSpectra::line(double t0, double f0, double t1, double f1)
{
    pointer->jumpto(t0, f0);
    pointer->at(t0, f0, 0);
    pointer->at(t0, f0, 1);
    const int steps = int(std::lround((t1 - t0) / 0.01));
    for (int k = 1; k <= steps; ++k)
        pointer->at(t0 + (t1 - t0) * k / steps, f0 + (f1 - f0) * k / steps, 1);
    pointer->at(t1, f1, 0);
}

void TestTonepenSpectra::drawnToneReachesTheLayer()
{
    line(0.5, 1000, 1.0, 1000);
    // The layer plays a 1000 Hz sine of 2^(-30/6) = 1/32 while the stroke
    // lasted, and silence before and after it.
    const std::vector<float> tone = host->samples(1, 0.55, 17640);
    QVERIFY2(std::abs(rms(tone) - 1.0 / 32 / std::sqrt(2.0)) < 0.001, qPrintable(QString::number(rms(tone))));
    QVERIFY(std::abs(zerocrossings(tone) - 800) <= 2);
    QVERIFY(rms(host->samples(1, 0.2, 8820)) < 1e-4);
    QVERIFY(rms(host->samples(1, 1.1, 8820)) < 1e-4);
    // A hover empties the clipboard; the layer keeps the tone.
    pointer->at(1.2, 1000, 0);
    QVERIFY(rms(host->samples(2, 0.55, 17640)) < 1e-6);
    QVERIFY(std::abs(rms(host->samples(1, 0.55, 17640)) - rms(tone)) < 1e-4);
}

static int peakbin(const HostBuffers& host, double time)
{
    int best = 0;
    for (int b = 1; b < 512; ++b)
        if (host.level(1, time, b * 44100.0 / 1024) > host.level(1, time, best * 44100.0 / 1024))
            best = b;
    return best;
}

void TestTonepenSpectra::glideRisesThroughTheStroke()
{
    line(0.5, 500, 1.0, 1500);
    // 500 Hz rising by 2000 Hz per second: 700 Hz at 0.6 s, 1300 Hz at 0.9 s.
    QVERIFY(std::abs(peakbin(*host, 0.6) - 700 * 1024 / 44100.0) <= 1.5);
    QVERIFY(std::abs(peakbin(*host, 0.9) - 1300 * 1024 / 44100.0) <= 1.5);
}

QTEST_MAIN(TestTonepenSpectra)
#include "tst_tonepen_spectra.moc"
