#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QToolBar>

#include <cmath>
#include <memory>

#include "plugins/tools/peakmodel.h"
#include "plugins/tools/spectrumgrids.h"
#include "plugins/tools/tooldriver.h"

// The harmonics extraction tool loaded from the installation root, driven
// against spectrogram grids and the stand-in peak estimate. Project: 8000 Hz,
// window 256, overlap 4 (a frame is 8 ms, a bin 31.25 Hz). The mix holds a
// harmonic series on 250 Hz (bins 8, 16, ..., 120 and the Nyquist bin 128) and
// a stray partial at bin 52, on a flat background; the pointer sits at 0.8 s
// (frame 100).
class TestOvertonepick : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identity();
    void settingsBar();
    void seriesBelowTheHarmonicsCount();
    void rankTakesTheFundamental();
    void keysStepTheRank_data();
    void keysStepTheRank();
    void oneHarmonicWritesNothing();
    void nyquistLimitsTheSeries();
    void fadingPartialStopsEveryHarmonic();
    void pureLobeTakesEachHarmonicsPeak();
    void zeroFrequency();
    void hostDeletesTheSettings(); // last: it unloads the plugin

private:
    void refresh();
    QList<int> writtenframes(int channel) const;
    // The scratch holds the mix around these bins of a frame and nothing else.
    bool onlycopied(int channel, int frame, const QList<int>& centres, int spread = 2) const;
    static QList<int> series(int fundamentalbin, int count);

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<SpectrumGrids> grids;
    std::unique_ptr<tooltest::Pointer> pointer;
    QPointer<QDoubleSpinBox> tolerance, timelimit, spread, purefreq, frequencyrank, harmonics, harmtolerance;
    QPointer<QLabel> helplabel;
    QList<double> startvalues;
};

constexpr double at = 0.8;

static QVector2D background(int channel, int frame, int bin)
{
    const QVector2D directions[4] = {{0.01f, 0}, {0, 0.01f}, {-0.01f, 0}, {0, -0.01f}};
    return directions[(frame + 2 * bin + 3 * channel) % 4];
}

QList<int> TestOvertonepick::series(int fundamentalbin, int count)
{
    QList<int> bins;
    for (int h = 1; h <= count; ++h)
        bins.append(h * fundamentalbin);
    return bins;
}

QList<int> TestOvertonepick::writtenframes(int channel) const
{
    QList<int> frames;
    for (int f = 0; f < grids->frames; ++f)
        for (int b = 0; b <= 128; ++b)
            if (!grids->get(2, channel, f, b).isNull()) {
                frames.append(f);
                break;
            }
    return frames;
}

bool TestOvertonepick::onlycopied(int channel, int frame, const QList<int>& centres, int spread) const
{
    for (int b = 0; b <= 128; ++b) {
        bool inside = false;
        for (int c : centres)
            inside = inside || std::abs(b - c) <= spread;
        const QVector2D expected = inside ? grids->get(0, channel, frame, b) : QVector2D();
        if (grids->get(2, channel, frame, b) != expected) {
            qWarning("channel %d frame %d bin %d: not %s", channel, frame, b, inside ? "copied" : "empty");
            return false;
        }
    }
    return true;
}

void TestOvertonepick::refresh()
{
    grids->fill(*tool, 0b11);
    peakmodel::fill(*tool);
    tool->areaselected = false;
    tool->clipboardarea = QRectF(0, 4000, 0.5, -4000);
}

void TestOvertonepick::initTestCase()
{
    QString error;
    tool = tooltest::loadtool(loader, "overtonepick", error);
    QVERIFY2(tool, qPrintable(error));
    const QList<QWidget*> widgets = tooltest::settingwidgets(tool);
    QCOMPARE(widgets.size(), 6);
    tolerance = qobject_cast<QDoubleSpinBox*>(widgets[0]);
    timelimit = qobject_cast<QDoubleSpinBox*>(widgets[1]);
    spread = qobject_cast<QDoubleSpinBox*>(widgets[2]);
    frequencyrank = qobject_cast<QDoubleSpinBox*>(widgets[3]);
    harmonics = qobject_cast<QDoubleSpinBox*>(widgets[4]);
    helplabel = qobject_cast<QLabel*>(widgets[5]);
    purefreq = tooltest::hiddenbox(tool, "pure freq:");
    harmtolerance = tooltest::hiddenbox(tool, "harm. tol.:");
    QVERIFY(tolerance && timelimit && spread && frequencyrank && harmonics && helplabel && purefreq
            && harmtolerance);
    for (QDoubleSpinBox* box : {tolerance, timelimit, spread, purefreq, frequencyrank, harmonics, harmtolerance})
        startvalues.append(box->value());
    grids = std::make_unique<SpectrumGrids>(8000, 256, 4, 2, 200);
    pointer = std::make_unique<tooltest::Pointer>(tool, [this] { refresh(); });
}

void TestOvertonepick::init()
{
    if (!grids)
        return;
    grids->paint(0, background);
    for (int c = 0; c < 2; ++c)
        for (int f = 0; f < 200; ++f) {
            for (int b = 8; b <= 120; b += 8)
                grids->set(0, c, f, b, QVector2D(0.6f, 0.8f) * (b == 8 ? 5.0f : 2.0f));
            grids->set(0, c, f, 128, QVector2D(0, 2));
            grids->set(0, c, f, 52, QVector2D(4, 0));
        }
    grids->clear(1);
    grids->clear(2);
    grids->resetcounts();
    pointer->jumpto(at, 250);
    if (tolerance) {
        tolerance->setValue(-6);
        timelimit->setValue(0);
        spread->setValue(2);
        purefreq->setValue(0);
        frequencyrank->setValue(1);
        harmonics->setValue(10);
    }
}

void TestOvertonepick::identity()
{
    const QString difference = tooltest::Identity{"Extract Harmonics", "Extract", "Harmonics"}.describe(tool);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(tooltest::keepsbar(tool, loader, 6));
}

void TestOvertonepick::settingsBar()
{
    const QPair<QDoubleSpinBox*, tooltest::Spin> table[] = {
        {tolerance, {-30, 0, 1, 1, -6, "tolerance:", "dB", ""}},
        {timelimit, {0, 10, 0.1, 2, 0.3, QString("time limit:") + QChar(0x00B1), "s", ""}},
        {spread, {1, 5, 1, 0, 2, "spread:", "bins", ""}},
        {purefreq, {0, 100, 10, 0, 0, "pure freq:", "%", ""}},
        {frequencyrank, {1, 60, 1, 0, 1, "", "th harmonic", "Frequency Rank"}},
        {harmonics, {1, 60, 1, 0, 10, "", " harmonics", ""}},
        {harmtolerance, {-90, 0, 1, 1, -36, "harm. tol.:", "dB", "Harmonic Tolerance"}},
    };
    for (int i = 0; i < 7; ++i) {
        const QString difference = table[i].second.describe(table[i].first, startvalues[i]);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    QCOMPARE(helplabel->text(), QString("Extract harmonics from mix to selected layer. Press +/- to change "
                                        "frequency rank in harmonics."));
    QVERIFY(tooltest::onlyshown(tool, harmonics, {purefreq, harmtolerance}));
}

void TestOvertonepick::seriesBelowTheHarmonicsCount()
{
    timelimit->setValue(0.3);
    pointer->at(at, 250, 0);
    // Harmonics 1 to 9 in every frame of the time limit, on both channels;
    // neither the tenth harmonic (bin 80) nor the stray partial.
    for (int c = 0; c < 2; ++c) {
        QCOMPARE(writtenframes(c).size(), 76);
        QCOMPARE(writtenframes(c).first(), 63);
        for (int f = 63; f <= 138; f += 5)
            QVERIFY(onlycopied(c, f, series(8, 9)));
    }
    QCOMPARE(grids->outside, 0);
    // Hover, press, release: empty, commit, empty.
    pointer->stroke(at, 250);
    QCOMPARE(grids->transfers.size(), 4);
    QCOMPARE(grids->transfers[2].mode, 9);
    QCOMPARE(grids->transfers[2].source, 2);
    QCOMPARE(grids->transfers[2].destination, 1);
    QCOMPARE(grids->transfers[3].mode, 0);
    QCOMPARE(grids->writes[1], 0);
}

void TestOvertonepick::rankTakesTheFundamental()
{
    // The partial under the pointer as the second harmonic: the same series.
    frequencyrank->setValue(2);
    pointer->at(at, 500, 0);
    QVERIFY(onlycopied(0, 100, series(8, 9)));
    // As the third, on the stray partial at bin 52 (1625 Hz): harmonics of
    // bin 52 / 3, rounded to the nearest bin, the seven below 4000 Hz.
    frequencyrank->setValue(3);
    pointer->at(at, 1625, 0);
    QList<int> centres;
    for (int h = 1; h <= 7; ++h)
        centres.append(int(std::floor(52.0 / 3 * h + 0.5)));
    QVERIFY(onlycopied(0, 100, centres));
}

void TestOvertonepick::keysStepTheRank_data()
{
    QTest::addColumn<int>("rank");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("after");
    QTest::newRow("plus") << 1 << int(Qt::Key_Plus) << 2;
    QTest::newRow("plus at the top") << 60 << int(Qt::Key_Plus) << 60;
    QTest::newRow("minus") << 3 << int(Qt::Key_Minus) << 2;
    QTest::newRow("minus at the bottom") << 1 << int(Qt::Key_Minus) << 1;
    QTest::newRow("other key") << 3 << int(Qt::Key_Equal) << 3;
}

void TestOvertonepick::keysStepTheRank()
{
    QFETCH(int, rank);
    QFETCH(int, key);
    QFETCH(int, after);
    frequencyrank->setValue(rank);
    // The key event re-sent at the last position runs with the new rank at
    // once: on the 500 Hz partial, rank 2 reaches down to 250 Hz.
    pointer->at(at, 500, 0, key);
    QCOMPARE(int(frequencyrank->value()), after);
    if (after == 2)
        QVERIFY(onlycopied(0, 100, series(8, 9)));
    if (after == 1)
        QVERIFY(onlycopied(0, 100, series(16, 7))); // below 4000 Hz
}

void TestOvertonepick::oneHarmonicWritesNothing()
{
    harmonics->setValue(1);
    timelimit->setValue(0.3);
    pointer->at(at, 250, 1);
    QVERIFY(grids->reads[0] > 0); // the partial is followed
    QCOMPARE(grids->writes[2], 0);
}

void TestOvertonepick::nyquistLimitsTheSeries()
{
    // 1000 Hz: harmonics 1 to 3 lie below 4000 Hz, the fourth is the Nyquist bin.
    for (const double count : {10.0, 60.0}) {
        harmonics->setValue(count);
        grids->clear(2);
        pointer->at(at, 1000, 0);
        QVERIFY(onlycopied(0, 100, {32, 64, 96}));
    }
}

void TestOvertonepick::fadingPartialStopsEveryHarmonic()
{
    timelimit->setValue(0.3);
    const float level[] = {5, 4, 3, 1}; // frames 100 to 103
    for (int f = 0; f < 200; ++f)
        grids->set(0, 0, f, 8, f >= 100 && f <= 103 ? QVector2D(0.6f, 0.8f) * level[f - 100] : background(0, f, 8));
    pointer->at(at, 250, 0);
    // Forwards to the first frame below a quarter of the first amplitude;
    // backwards from the pointer to the first background frame.
    QCOMPARE(writtenframes(0).first(), 99);
    QCOMPARE(writtenframes(0).last(), 103);
    QCOMPARE(writtenframes(0).size(), 5);
    QVERIFY(onlycopied(0, 103, series(8, 9)));
    QVERIFY(onlycopied(0, 99, series(8, 9)));
    QCOMPARE(writtenframes(1).size(), 76);
}

void TestOvertonepick::pureLobeTakesEachHarmonicsPeak()
{
    // The second harmonic leans a quarter bin up: its lobe is centred on
    // 16.25 with its own amplitude, not the tracked partial's.
    grids->set(0, 0, 100, 17, {1, 0});
    purefreq->setValue(100);
    pointer->at(at, 250, 0);
    const float amplitude = grids->get(0, 0, 100, 16).length();
    for (int b = 14; b <= 18; ++b) {
        const QVector2D x = grids->get(0, 0, 100, b);
        const QVector2D expected = x.normalized() * peakmodel::lobe(b - 16.25f) * amplitude;
        QVERIFY2((grids->get(2, 0, 100, b) - expected).length() <= 1e-6f * expected.length(),
                 qPrintable(QString("bin %1").arg(b)));
    }
}

void TestOvertonepick::zeroFrequency()
{
    // Only the harmonics count limits the series; every harmonic sits at the
    // bottom of the spectrum and nothing outside it is asked for.
    pointer->at(at, 0, 0);
    QCOMPARE(grids->outside, 0);
    QVERIFY(grids->writes[2] > 0);
    for (int b = 0; b <= 128; ++b) {
        const QVector2D value = grids->get(2, 0, 100, b);
        QVERIFY(value.isNull() || (b <= 4 && value == grids->get(0, 0, 100, b)));
    }
}

void TestOvertonepick::hostDeletesTheSettings()
{
    delete tool->toolbar;
    QVERIFY(!frequencyrank && !harmtolerance && !purefreq);
    tool->toolbar = nullptr;
    pointer->at(at, 250, 0, Qt::Key_Plus);
    pointer->at(at, 250, 1);
    QCOMPARE(grids->reads[0] + grids->writes[2], 0);
    QCOMPARE(grids->transfers.size(), 0);
    QVERIFY(tooltest::unloads(loader));
    tool = nullptr;
}

QTEST_MAIN(TestOvertonepick)
#include "tst_overtonepick.moc"
