#include <QTest>

#include <cmath>
#include <memory>

#include "plugins/tools/hostbuffers.h"
#include "plugins/tools/tooldriver.h"

// The harmonics extraction tool on the host's own spectral core: a tone of
// twelve harmonics on 440 Hz and a stray 1100 Hz partial in the mix, 44100 Hz,
// window 1024 (a bin is 43 Hz), overlap 4.
class TestOvertonepickSpectra : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void extractsTheSeries_data();
    void extractsTheSeries();

private:
    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<HostBuffers> host;
    std::unique_ptr<tooltest::Pointer> pointer;
};

void TestOvertonepickSpectra::initTestCase()
{
    startlog("overtonepickspectra");
    QString error;
    tool = tooltest::loadtool(loader, "overtonepick", error);
    QVERIFY2(tool, qPrintable(error));
    host = std::make_unique<HostBuffers>(44100, 1024, 4);
    pointer = std::make_unique<tooltest::Pointer>(
        tool, [this] { host->refresh(*tool); }, [this] { host->writeback(); });
}

void TestOvertonepickSpectra::cleanupTestCase()
{
    pointer.reset();
    host.reset();
    QVERIFY(norefusals());
}

void TestOvertonepickSpectra::extractsTheSeries_data()
{
    QTest::addColumn<int>("rank");
    QTest::addColumn<double>("frequency");
    QTest::newRow("on the fundamental") << 1 << 440.0;
    QTest::newRow("on the third harmonic, rank 3") << 3 << 1320.0;
    QTest::newRow("on the fifth harmonic, rank 5") << 5 << 2200.0;
}

void TestOvertonepickSpectra::extractsTheSeries()
{
    QFETCH(int, rank);
    QFETCH(double, frequency);
    host->setup(2.0, [](double t) {
        double s = 0.1 * std::sin(2 * M_PI * 1100 * t);
        for (int h = 1; h <= 12; ++h)
            s += 0.05 * std::sin(2 * M_PI * 440 * h * t + h);
        return s;
    });
    auto* rankbox = qobject_cast<QDoubleSpinBox*>(tooltest::settingwidgets(tool)[3]);
    rankbox->setValue(rank);
    pointer->jumpto(1.0, frequency);
    pointer->stroke(1.0, frequency);
    // Harmonics 1 to 9 of the default ten; neither the tenth nor the stray
    // partial; 0.3 s on either side.
    for (int h = 1; h <= 12; ++h) {
        const QString name = QString("harmonic %1").arg(h);
        const float mix = host->level(0, 1.0, 440 * h);
        for (const double t : {0.75, 1.0, 1.25}) {
            const float taken = host->level(1, t, 440 * h);
            if (h <= 9)
                QVERIFY2(std::abs(taken - mix) < 0.05f * mix, qPrintable(name));
            else
                QVERIFY2(taken < 0.01f * mix, qPrintable(name));
        }
        QVERIFY2(host->level(1, 1.5, 440 * h) < 0.01f * mix, qPrintable(name));
    }
    QVERIFY(host->level(1, 1.0, 1100) < 0.05f * host->level(0, 1.0, 1100));
}

QTEST_MAIN(TestOvertonepickSpectra)
#include "tst_overtonepick_spectra.moc"
