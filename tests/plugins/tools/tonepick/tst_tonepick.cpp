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

// The frequency extraction tool loaded from the installation root, driven
// with the host's event sequences against in-memory spectrogram grids and the
// stand-in peak estimate. Project: 8000 Hz, window 256, overlap 4: a frame is
// 8 ms, a bin 31.25 Hz. The pointer sits at 0.8 s, 1000 Hz: frame 100, bin 32;
// the default time limit of 0.3 s reaches frames 63 to 138.
class TestTonepick : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identity();
    void settingsBar();
    void hoverPreviewsThePartial();
    void pressAndDragCommit();
    void selectionIsTheCommitArea();
    void timeLimit();
    void fadingPartialStops_data();
    void fadingPartialStops();
    void glidingPartialIsFollowed();
    void silentStartWaitsForThePartial();
    void spreadAndPureLobe();
    void edgesOfTheSpectrum();
    void channelMask();
    void keysAndPointerOffTheViews();
    void hostDeletesTheSettings(); // last: it unloads the plugin

private:
    void refresh();
    static QVector2D background(int channel, int frame, int bin);
    void partial(int channel, int frame, int bin, float magnitude);
    // Frames of a channel in which the scratch buffer holds anything.
    QList<int> writtenframes(int channel) const;
    // In that frame the scratch holds the mix at bins centre - spread ..
    // centre + spread and nothing next to them.
    bool copied(int channel, int frame, int centre, int spread = 2) const;

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<SpectrumGrids> grids;
    std::unique_ptr<tooltest::Pointer> pointer;
    int channelmask = 0b11;
    bool areaselected = false;
    QRectF clipboardarea;
    QPointer<QDoubleSpinBox> tolerance, timelimit, spread, purefreq;
    QPointer<QLabel> helplabel;
    QList<double> startvalues;
};

constexpr double at = 0.8;     // frame 100
constexpr double freq = 1000; // bin 32

QVector2D TestTonepick::background(int channel, int frame, int bin)
{
    // The same magnitude everywhere, in one of four directions, so that a
    // copied cell can be told from its neighbours.
    const QVector2D directions[4] = {{0.01f, 0}, {0, 0.01f}, {-0.01f, 0}, {0, -0.01f}};
    return directions[(frame + 2 * bin + 3 * channel) % 4];
}

void TestTonepick::partial(int channel, int frame, int bin, float magnitude)
{
    grids->set(0, channel, frame, bin, QVector2D(0.6f, 0.8f) * magnitude);
}

QList<int> TestTonepick::writtenframes(int channel) const
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

bool TestTonepick::copied(int channel, int frame, int centre, int spread) const
{
    for (int b = centre - spread - 1; b <= centre + spread + 1; ++b) {
        const bool inside = std::abs(b - centre) <= spread;
        const QVector2D expected = inside ? grids->get(0, channel, frame, b) : QVector2D();
        if (grids->get(2, channel, frame, b) != expected) {
            qWarning("channel %d frame %d bin %d: not %s", channel, frame, b, inside ? "copied" : "empty");
            return false;
        }
    }
    return true;
}

static QList<int> range(int first, int last)
{
    QList<int> list;
    for (int i = first; i <= last; ++i)
        list.append(i);
    return list;
}

// Frames that an area transfer takes, first to last.
static QPair<int, int> transferframes(const QRectF& area)
{
    const auto round = [](double v) { return int(std::floor(v + 0.5)); };
    return {round(area.x() * 8000 / 64), round((area.x() + area.width()) * 8000 / 64) - 1};
}

void TestTonepick::refresh()
{
    grids->fill(*tool, channelmask);
    peakmodel::fill(*tool);
    tool->areaselected = areaselected;
    tool->clipboardarea = tool->layerarea = tool->mixarea = clipboardarea;
}

void TestTonepick::initTestCase()
{
    QString error;
    tool = tooltest::loadtool(loader, "tonepick", error);
    QVERIFY2(tool, qPrintable(error));
    const QList<QWidget*> widgets = tooltest::settingwidgets(tool);
    QCOMPARE(widgets.size(), 4);
    tolerance = qobject_cast<QDoubleSpinBox*>(widgets[0]);
    timelimit = qobject_cast<QDoubleSpinBox*>(widgets[1]);
    spread = qobject_cast<QDoubleSpinBox*>(widgets[2]);
    helplabel = qobject_cast<QLabel*>(widgets[3]);
    purefreq = tooltest::hiddenbox(tool, "pure freq:");
    QVERIFY(tolerance && timelimit && spread && helplabel && purefreq);
    startvalues = {tolerance->value(), timelimit->value(), spread->value(), purefreq->value()};
    grids = std::make_unique<SpectrumGrids>(8000, 256, 4, 2, 200);
    pointer = std::make_unique<tooltest::Pointer>(tool, [this] { refresh(); });
}

void TestTonepick::init()
{
    if (!grids)
        return;
    grids->paint(0, background);
    grids->clear(1);
    grids->clear(2);
    grids->resetcounts();
    channelmask = 0b11;
    areaselected = false;
    clipboardarea = QRectF(0, 4000, 0.5, -4000);
    pointer->jumpto(at, freq);
    if (tolerance) {
        tolerance->setValue(-6);
        timelimit->setValue(0.3);
        spread->setValue(2);
        purefreq->setValue(0);
    }
}

void TestTonepick::identity()
{
    const QString difference = tooltest::Identity{"Extract Frequency", "Extract", "Frequency"}.describe(tool);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(tooltest::keepsbar(tool, loader, 4));
}

void TestTonepick::settingsBar()
{
    const QPair<QDoubleSpinBox*, tooltest::Spin> table[] = {
        {tolerance, {-30, 0, 1, 1, -6, "tolerance:", "dB", ""}},
        {timelimit, {0, 10, 0.1, 2, 0.3, QString("time limit:") + QChar(0x00B1), "s", ""}},
        {spread, {1, 5, 1, 0, 2, "spread:", "bins", ""}},
        {purefreq, {0, 100, 10, 0, 0, "pure freq:", "%", ""}},
    };
    for (int i = 0; i < 4; ++i) {
        const QString difference = table[i].second.describe(table[i].first, startvalues[i]);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    tolerance->setValue(3);
    QCOMPARE(tolerance->value(), 0.0); // never a positive level
    QCOMPARE(helplabel->text(), QString("Extract frequency from mix to selected layer."));
    // The blend box belongs to the bar but is never shown.
    QVERIFY(tooltest::onlyshown(tool, tolerance, {purefreq}));
}

void TestTonepick::hoverPreviewsThePartial()
{
    grids->set(2, 1, 10, 90, {7, 7}); // left from an earlier stroke
    for (int f = 0; f < 200; ++f)
        partial(0, f, 32, 5);
    QVERIFY(pointer->at(at, freq, 0));
    QCOMPARE(grids->transfers.size(), 1);
    QCOMPARE(grids->transfers[0].source, 2);
    QCOMPARE(grids->transfers[0].destination, 2);
    QCOMPARE(grids->transfers[0].mode, 0);
    QCOMPARE(grids->transfers[0].channelmask, 0b11);
    QCOMPARE(grids->get(2, 1, 10, 90), QVector2D());
    // Both channels: the partial on channel 0, the flat background on
    // channel 1, over the time limit on both sides.
    for (int channel = 0; channel < 2; ++channel) {
        QCOMPARE(writtenframes(channel), range(63, 138));
        for (int f = 63; f <= 138; ++f)
            QVERIFY(copied(channel, f, 32));
    }
    QCOMPARE(grids->writes[1], 0);
    QCOMPARE(grids->writes[0], 0);
    QCOMPARE(grids->outside, 0);
}

void TestTonepick::pressAndDragCommit()
{
    pointer->at(at, freq, 0);
    grids->resetcounts();
    pointer->at(at, freq, 1);
    // A press adds to the preview without emptying it and commits.
    QCOMPARE(grids->transfers.size(), 1);
    const SpectrumGrids::Transfer commit = grids->transfers[0];
    QCOMPARE(commit.source, 2);
    QCOMPARE(commit.destination, 1);
    QCOMPARE(commit.mode, 9);
    QCOMPARE(commit.channelmask, 0b11);
    QCOMPARE(transferframes(commit.area), qMakePair(0, 138)); // the clipboard area and the extraction
    QCOMPARE(commit.area.y(), 4000.0);
    QCOMPARE(commit.area.height(), -4000.0);

    // A drag far away in one event: the new extraction lies beyond the
    // clipboard area the host knew of, and is committed all the same.
    grids->resetcounts();
    pointer->at(1.2, freq, 1);
    QCOMPARE(writtenframes(0), range(63, 188));
    QCOMPARE(grids->transfers.size(), 1);
    QCOMPARE(grids->transfers[0].mode, 9);
    QCOMPARE(transferframes(grids->transfers[0].area), qMakePair(0, 188));

    // The release empties the scratch and previews there; nothing is committed.
    grids->resetcounts();
    pointer->at(1.2, freq, 0);
    QCOMPARE(grids->transfers.size(), 1);
    QCOMPARE(grids->transfers[0].mode, 0);
    QCOMPARE(writtenframes(0), range(113, 188));
    QCOMPARE(grids->writes[1], 0);
}

void TestTonepick::selectionIsTheCommitArea()
{
    areaselected = true;
    clipboardarea = QRectF(0.7, 2000, 0.2, -1500);
    pointer->stroke(at, freq);
    QCOMPARE(grids->transfers.size(), 3); // hover, press, release
    QCOMPARE(grids->transfers[1].mode, 9);
    QCOMPARE(grids->transfers[1].area, clipboardarea);
}

void TestTonepick::timeLimit()
{
    timelimit->setValue(0);
    pointer->at(at, freq, 0);
    QCOMPARE(writtenframes(0), QList<int>{100});
    QVERIFY(copied(0, 100, 32));
    // The limit is half up on both sides: 0.5 s and 1.1 s are frames 62.5 and 137.5.
    timelimit->setValue(0.3);
    pointer->at(at, freq, 0);
    QCOMPARE(writtenframes(1), range(63, 138));
}

void TestTonepick::fadingPartialStops_data()
{
    QTest::addColumn<double>("tolerancedb");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    // Threshold = first amplitude x 2^(tolerance / 3): 1.25, 0.3125, 0.0049.
    QTest::newRow("-6 dB") << -6.0 << 96 << 103;
    QTest::newRow("-12 dB") << -12.0 << 96 << 104;
    QTest::newRow("-30 dB keeps to the background") << -30.0 << 63 << 138;
}

void TestTonepick::fadingPartialStops()
{
    QFETCH(double, tolerancedb);
    QFETCH(int, first);
    QFETCH(int, last);
    tolerance->setValue(tolerancedb);
    const float level[] = {5, 5, 5, 5, 4, 3, 1}; // frames 97 to 103
    for (int f = 97; f <= 103; ++f)
        partial(0, f, 32, level[f - 97]);
    pointer->at(at, freq, 0);
    // The frame in which the amplitude first falls below is still written.
    QCOMPARE(writtenframes(0), range(first, last));
    for (int f = first; f <= last; ++f)
        QVERIFY(copied(0, f, 32));
    // The other channel follows its own (flat) level.
    QCOMPARE(writtenframes(1), range(63, 138));
}

void TestTonepick::glidingPartialIsFollowed()
{
    // One bin up per frame around the pointer: frame 95 at bin 27, 105 at 37.
    for (int f = 95; f <= 105; ++f)
        partial(0, f, 32 + (f - 100), 5);
    pointer->at(at, freq, 0);
    for (int f = 95; f <= 105; ++f)
        QVERIFY(copied(0, f, 32 + (f - 100)));
    // Past either end the level falls; the first frame below is still
    // written, at the last bin followed.
    QCOMPARE(writtenframes(0), range(94, 106));
    QVERIFY(copied(0, 106, 37));
    QVERIFY(copied(0, 94, 27));
}

void TestTonepick::silentStartWaitsForThePartial()
{
    grids->clear(0);
    for (int f = 105; f < 200; ++f)
        partial(0, f, 32, 5);
    pointer->at(at, freq, 0);
    // Silence sets no threshold, so the forward pass goes on to the partial;
    // backwards, the silent pointer frame is below the partial's threshold.
    QVERIFY(copied(0, 105, 32));
    QVERIFY(copied(0, 138, 32));
    QVERIFY(grids->get(2, 0, 139, 32).isNull());
    QVERIFY(grids->get(2, 0, 99, 32).isNull());
}

void TestTonepick::spreadAndPureLobe()
{
    timelimit->setValue(0);
    spread->setValue(1);
    partial(0, 100, 32, 5);
    pointer->at(at, freq, 0);
    QVERIFY(copied(0, 100, 32, 1));

    // With the hidden blend at 100 % the bins hold a lobe of the peak's
    // amplitude centred on the peak, a quarter bin above bin 32 here, each
    // with its own bin's phase; at 50 % half of that and half the mix.
    spread->setValue(2);
    partial(0, 100, 33, 1);
    for (const double pure : {100.0, 50.0}) {
        purefreq->setValue(pure);
        pointer->at(at, freq, 0);
        const float p = float(pure / 100);
        const float amplitude = grids->get(0, 0, 100, 32).length();
        for (int b = 30; b <= 34; ++b) {
            const QVector2D x = grids->get(0, 0, 100, b);
            const QVector2D expected = p * x.normalized() * peakmodel::lobe(b - 32.25f) * amplitude + (1 - p) * x;
            QVERIFY2((grids->get(2, 0, 100, b) - expected).length() <= 1e-6f * expected.length(),
                     qPrintable(QString("pure %1, bin %2").arg(pure).arg(b)));
        }
    }
}

void TestTonepick::edgesOfTheSpectrum()
{
    timelimit->setValue(0);
    // Near 0 Hz and near the Nyquist frequency the spread reaches past the
    // spectrum: only real bins are read and written.
    for (const double f : {20.0, 3990.0}) {
        grids->clear(2);
        grids->resetcounts();
        pointer->at(at, f, 0);
        QCOMPARE(grids->outside, 0);
        const int low = f < 100 ? 0 : 126, high = f < 100 ? 3 : 128;
        for (int b = low; b <= high; ++b)
            QCOMPARE(grids->get(2, 0, 100, b), grids->get(0, 0, 100, b));
    }
}

static int channelreads[2];

static QVector2D countingbin(int buffer, int channel, int frame, int bin)
{
    ++channelreads[channel];
    return SpectrumGrids::current->get(buffer, channel, frame, bin);
}

void TestTonepick::channelMask()
{
    channelmask = 0b10;
    channelreads[0] = channelreads[1] = 0;
    refresh();
    tool->getbin = &countingbin;
    tooltest::takesettings(tool);
    QVERIFY(tool->process(at, freq, 1, 0, 0, 1, 0, 0));
    QCOMPARE(channelreads[0], 0);
    QVERIFY(channelreads[1] > 0);
    QVERIFY(writtenframes(0).isEmpty());
    QCOMPARE(writtenframes(1), range(63, 138));
    QCOMPARE(grids->transfers.last().channelmask, 0b10);
}

void TestTonepick::keysAndPointerOffTheViews()
{
    partial(0, 100, 32, 5);
    pointer->at(at, freq, 0);
    const std::vector<QVector2D> plain = grids->cells(2);
    for (const int key : {int(Qt::Key_Plus), int(Qt::Key_Minus), int(Qt::Key_A)}) {
        pointer->at(at, freq, 0, key);
        QVERIFY(grids->cells(2) == plain);
    }
    // The host's "unset" position: the scratch is emptied, nothing is read.
    grids->resetcounts();
    pointer->at(2147418112.0, freq, 0);
    QCOMPARE(grids->transfers.size(), 1);
    QCOMPARE(grids->reads[0], 0);
    QVERIFY(writtenframes(0).isEmpty());
}

void TestTonepick::hostDeletesTheSettings()
{
    delete tool->toolbar;
    QVERIFY(!tolerance && !purefreq && !helplabel);
    tool->toolbar = nullptr;
    pointer->at(at, freq, 0);
    pointer->at(at, freq, 1);
    QCOMPARE(grids->reads[0] + grids->writes[2], 0);
    QCOMPARE(grids->transfers.size(), 0);
    QVERIFY(tooltest::unloads(loader));
    tool = nullptr;
}

QTEST_MAIN(TestTonepick)
#include "tst_tonepick.moc"
