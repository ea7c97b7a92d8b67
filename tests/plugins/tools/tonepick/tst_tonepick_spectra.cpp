#include <QTest>

#include <cmath>
#include <memory>

#include "plugins/tools/hostbuffers.h"
#include "plugins/tools/tooldriver.h"

// The frequency extraction tool on the host's own spectral core: real sines
// in the mix, the host's peak estimate and lobe table, the area transfer into
// a real (initially empty) current layer. 44100 Hz, window 1024 (a bin is
// 43 Hz), overlap 4, Blackman-Harris.
class TestTonepickSpectra : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void extractsThePartialUnderThePointer();
    void toleranceDecidesHowFarAFadeIsFollowed_data();
    void toleranceDecidesHowFarAFadeIsFollowed();
    void followsASweep();
    void dragFarAwayInOneEventIsExtractedWhole();

private:
    QDoubleSpinBox* box(int index) const { return qobject_cast<QDoubleSpinBox*>(tooltest::settingwidgets(tool)[index]); }

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<HostBuffers> host;
    std::unique_ptr<tooltest::Pointer> pointer;
};

constexpr double twopi = 2 * M_PI;

void TestTonepickSpectra::initTestCase()
{
    startlog("tonepickspectra");
    QString error;
    tool = tooltest::loadtool(loader, "tonepick", error);
    QVERIFY2(tool, qPrintable(error));
    host = std::make_unique<HostBuffers>(44100, 1024, 4);
    pointer = std::make_unique<tooltest::Pointer>(
        tool, [this] { host->refresh(*tool); }, [this] { host->writeback(); });
}

void TestTonepickSpectra::cleanupTestCase()
{
    pointer.reset();
    host.reset();
    QVERIFY(norefusals());
}

void TestTonepickSpectra::extractsThePartialUnderThePointer()
{
    host->setup(2.0, [](double t) { return 0.25 * std::sin(twopi * 1000 * t) + 0.25 * std::sin(twopi * 2500 * t); });
    // The hover previews the 1000 Hz partial alone in the clipboard.
    pointer->jumpto(1.0, 1000);
    pointer->at(1.0, 1000, 0);
    const float mix = host->level(0, 1.0, 1000);
    QVERIFY(mix > 0.01f);
    QVERIFY(std::abs(host->level(2, 1.0, 1000) - mix) < 0.02f * mix);
    QVERIFY(host->level(2, 1.0, 2500) < 0.001f * mix);
    QVERIFY(host->level(1, 1.0, 1000) == 0);

    // A click extracts it into the current layer, 0.3 s on either side.
    pointer->at(1.0, 1000, 1);
    pointer->at(1.0, 1000, 0);
    for (const double t : {0.75, 1.0, 1.25})
        QVERIFY2(std::abs(host->level(1, t, 1000) - mix) < 0.05f * mix, qPrintable(QString::number(t)));
    QVERIFY(host->level(1, 1.0, 2500) < 0.01f * mix);
    QVERIFY(host->level(1, 1.5, 1000) < 0.01f * mix);
    QVERIFY(host->level(1, 0.5, 1000) < 0.01f * mix);
    // What the layer now plays there is the 1000 Hz sine.
    const std::vector<float> audio = host->samples(1, 0.9, 8820);
    QVERIFY2(std::abs(rms(audio) - 0.25 / std::sqrt(2.0)) < 0.02, qPrintable(QString::number(rms(audio))));
    QVERIFY(std::abs(zerocrossings(audio) - 400) <= 2);
}

void TestTonepickSpectra::toleranceDecidesHowFarAFadeIsFollowed_data()
{
    QTest::addColumn<double>("tolerancedb");
    QTest::addColumn<bool>("followed");
    QTest::newRow("-6 dB stops at the drop") << -6.0 << false;
    QTest::newRow("-30 dB follows it down") << -30.0 << true;
}

void TestTonepickSpectra::toleranceDecidesHowFarAFadeIsFollowed()
{
    QFETCH(double, tolerancedb);
    QFETCH(bool, followed);
    // 1000 Hz falls by 20 dB at 1.1 s.
    host->setup(2.0, [](double t) { return (t < 1.1 ? 0.25 : 0.025) * std::sin(twopi * 1000 * t); });
    box(0)->setValue(tolerancedb);
    pointer->jumpto(1.0, 1000);
    pointer->stroke(1.0, 1000);
    const float quiet = host->level(0, 1.25, 1000);
    QVERIFY(quiet > 0.001f);
    QVERIFY(std::abs(host->level(1, 1.0, 1000) - host->level(0, 1.0, 1000)) < 0.05f * host->level(0, 1.0, 1000));
    if (followed)
        QVERIFY(std::abs(host->level(1, 1.25, 1000) - quiet) < 0.05f * quiet);
    else
        QVERIFY(host->level(1, 1.25, 1000) < 0.01f * quiet);
    box(0)->setValue(-6);
}

void TestTonepickSpectra::followsASweep()
{
    // 500 Hz rising by 2250 Hz per second: from 0.7 s to 1.3 s the partial
    // moves by 31 bins.
    const auto frequency = [](double t) { return 500 + 2250 * t; };
    host->setup(2.0, [](double t) { return 0.25 * std::sin(twopi * (500 * t + 1125 * t * t)); });
    pointer->jumpto(1.0, frequency(1.0));
    pointer->stroke(1.0, frequency(1.0));
    for (const double t : {0.72, 0.85, 1.0, 1.15, 1.28}) {
        const float mix = host->level(0, t, frequency(t));
        QVERIFY2(std::abs(host->level(1, t, frequency(t)) - mix) < 0.05f * mix, qPrintable(QString::number(t)));
    }
    QVERIFY(host->level(1, 1.28, frequency(1.0)) < 0.001f);
}

void TestTonepickSpectra::dragFarAwayInOneEventIsExtractedWhole()
{
    host->setup(2.0, [](double t) { return 0.25 * std::sin(twopi * 1000 * t); });
    const float mix = host->level(0, 1.5, 1000);
    // Press at 0.5 s, one drag event to 1.5 s, release there: the way
    // between is extracted as a slow drag would, and the extraction around
    // 1.5 s, beyond what the clipboard held before the drag, reaches the layer.
    pointer->jumpto(0.5, 1000);
    pointer->stroke(0.5, 1000, {QPointF(1.5, 1000)});
    for (const double t : {0.5, 1.0, 1.3, 1.5, 1.75})
        QVERIFY2(std::abs(host->level(1, t, 1000) - mix) < 0.05f * mix, qPrintable(QString::number(t)));
}

QTEST_MAIN(TestTonepickSpectra)
#include "tst_tonepick_spectra.moc"
