#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <cmath>
#include <memory>

#include "plugins/tools/tooldriver.h"
#include "samplelanes.h"

// The frequency pen loaded from the installation root, driven with the
// host's event sequences against in-memory sample lanes: 8000 Hz, two
// channels, 2 s. Pointer times 0.5, 0.55 and 0.6 s are samples 4000, 4400
// and 4800.
class TestTonepen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identity();
    void settingsBar();
    void hoverEmptiesAndDrawsNothing();
    void dragDrawsTheSegment();
    void strengthAndPressure_data();
    void strengthAndPressure();
    void backwardDrag();
    void verticalDragKeepsThePhase();
    void phaseRunsOnAcrossStrokes();
    void glidingFrequency();
    void sameSpanTwiceAdds();
    void releaseCommits();
    void channelMask();
    void pointerFromOffTheViews();
    void hostDeletesTheSettings(); // last: it unloads the plugin

private:
    void refresh();
    float scratch(int sample, int channel = 0) const { return lanes->get(2, channel, sample); }
    // The samples first .. last of channel 0 are one sine of this amplitude
    // advancing by omega per sample (checked by the three-term recurrence and
    // by the amplitude of each pair).
    bool issine(int first, int last, double omega, double amplitude) const;

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<SampleLanes> lanes;
    std::unique_ptr<tooltest::Pointer> pointer;
    int channelmask = 0b11;
    QRectF clipboardarea;
    QPointer<QDoubleSpinBox> strength;
    QPointer<QPushButton> tablet;
    QPointer<QLabel> helplabel;
    QPointer<QCheckBox> soft;
    double startstrength = 0;
};

static double omegaof(double frequency)
{
    return 2 * M_PI * frequency / 8000;
}

bool TestTonepen::issine(int first, int last, double omega, double amplitude) const
{
    const double tolerance = 2e-5 + 1e-4 * amplitude;
    for (int k = first; k < last; ++k) {
        const double s0 = scratch(k), s1 = scratch(k + 1);
        const double a2 = (s0 * s0 + s1 * s1 - 2 * s0 * s1 * std::cos(omega)) / std::pow(std::sin(omega), 2);
        if (std::abs(std::sqrt(a2) - amplitude) > tolerance) {
            qWarning("samples %d, %d: amplitude %g, expected %g", k, k + 1, std::sqrt(a2), amplitude);
            return false;
        }
        if (k > first && std::abs(s1 - (2 * std::cos(omega) * s0 - scratch(k - 1))) > tolerance) {
            qWarning("sample %d does not continue the sine", k + 1);
            return false;
        }
    }
    return true;
}

void TestTonepen::refresh()
{
    lanes->fill(*tool, channelmask);
    tool->areaselected = false;
    tool->clipboardarea = clipboardarea;
}

void TestTonepen::initTestCase()
{
    QString error;
    tool = tooltest::loadtool(loader, "tonepen", error);
    QVERIFY2(tool, qPrintable(error));
    const QList<QWidget*> widgets = tooltest::settingwidgets(tool);
    QCOMPARE(widgets.size(), 3);
    strength = qobject_cast<QDoubleSpinBox*>(widgets[0]);
    tablet = qobject_cast<QPushButton*>(widgets[1]);
    helplabel = qobject_cast<QLabel*>(widgets[2]);
    const QList<QCheckBox*> boxes = tool->toolbar->findChildren<QCheckBox*>();
    QCOMPARE(boxes.size(), 1);
    soft = boxes.first();
    QVERIFY(strength && tablet && helplabel);
    startstrength = strength->value();
    lanes = std::make_unique<SampleLanes>(8000, 2, 16000);
    pointer = std::make_unique<tooltest::Pointer>(tool, [this] { refresh(); });
}

void TestTonepen::init()
{
    if (!lanes)
        return;
    for (int b = 0; b < 3; ++b)
        lanes->clear(b);
    lanes->resetcounts();
    channelmask = 0b11;
    clipboardarea = QRectF(0, 4000, 0, -4000);
    pointer->jumpto(0.5, 1000);
    if (strength) {
        strength->setValue(-30);
        tablet->setChecked(true);
    }
}

void TestTonepen::identity()
{
    const QString difference = tooltest::Identity{"Draw Frequency", "Draw", "Frequency"}.describe(tool);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(tooltest::keepsbar(tool, loader, 3));
}

void TestTonepen::settingsBar()
{
    const QString difference =
        tooltest::Spin{-90, 0, 1, 1, -30, "", "dB", "frequency strength"}.describe(strength, startstrength);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(tablet->isCheckable());
    QVERIFY(tablet->isChecked());
    QVERIFY(!tablet->icon().isNull());
    QCOMPARE(tablet->toolTip(), QString("use tablet pressure"));
    QCOMPARE(helplabel->text(), QString("Draw frequency to selected layer"));
    QCOMPARE(soft->text(), QString("soft"));
    QCOMPARE(soft->toolTip(), QString("avoid aliasing"));
    QVERIFY(soft->isChecked());
    QVERIFY(tooltest::onlyshown(tool, strength, {soft}));
}

void TestTonepen::hoverEmptiesAndDrawsNothing()
{
    lanes->set(2, 1, 100, 0.5f);
    // However far the pointer moved, a hover draws nothing.
    pointer->jumpto(0.1, 300);
    pointer->at(0.5, 1000, 0);
    QCOMPARE(lanes->transfers.size(), 1);
    QCOMPARE(lanes->transfers[0].source, 2);
    QCOMPARE(lanes->transfers[0].destination, 2);
    QCOMPARE(lanes->transfers[0].mode, 0);
    QCOMPARE(lanes->transfers[0].channelmask, 0b11);
    QCOMPARE(lanes->get(2, 1, 100), 0.0f);
    for (int c = 0; c < 2; ++c)
        QCOMPARE(lanes->accesses(2, c), 0);
}

void TestTonepen::dragDrawsTheSegment()
{
    pointer->at(0.5, 1000, 0);
    pointer->at(0.5, 1000, 1); // the press adds nothing where the hover was
    QCOMPARE(lanes->writes[2][0], 0);
    pointer->at(0.6, 1000, 1);
    // From the previous pointer sample up to, not including, the current one.
    QCOMPARE(lanes->writes[2][0], 800);
    QCOMPARE(lanes->writes[2][1], 800);
    QCOMPARE(scratch(3999), 0.0f);
    QCOMPARE(scratch(4800), 0.0f);
    QVERIFY(scratch(4000) != 0 || scratch(4001) != 0);
    QVERIFY(issine(4000, 4799, omegaof(1000), 1.0 / 32));
    for (int k = 4000; k < 4800; ++k)
        QCOMPARE(scratch(k, 1), scratch(k, 0));
    // Pressed events never commit; nothing but the scratch is written.
    QCOMPARE(lanes->transfers.size(), 1);
    QCOMPARE(lanes->writes[1][0] + lanes->writes[0][0], 0);
    QCOMPARE(lanes->outside, 0);
}

void TestTonepen::strengthAndPressure_data()
{
    QTest::addColumn<bool>("usetablet");
    QTest::addColumn<float>("pressure");
    QTest::addColumn<double>("strengthdb");
    QTest::addColumn<double>("amplitude");
    QTest::newRow("mouse") << true << 1.0f << -30.0 << 0.03125;
    QTest::newRow("pen at half pressure") << true << 0.5f << -30.0 << 0.015625;
    QTest::newRow("pressure off") << false << 0.5f << -30.0 << 0.03125;
    QTest::newRow("-6 dB") << true << 1.0f << -6.0 << 0.5;
}

void TestTonepen::strengthAndPressure()
{
    QFETCH(bool, usetablet);
    QFETCH(float, pressure);
    QFETCH(double, strengthdb);
    QFETCH(double, amplitude);
    tablet->setChecked(usetablet);
    strength->setValue(strengthdb);
    pointer->at(0.5, 1000, 0);
    pointer->at(0.5, 1000, pressure);
    pointer->at(0.55, 1000, pressure);
    QVERIFY(issine(4000, 4399, omegaof(1000), amplitude));
}

void TestTonepen::backwardDrag()
{
    pointer->jumpto(0.6, 1000, 1);
    pointer->at(0.5, 1000, 1);
    // From the previous sample downwards, down to the current sample + 1.
    QCOMPARE(lanes->writes[2][0], 800);
    QVERIFY(scratch(4800) != 0 || scratch(4799) != 0);
    QCOMPARE(scratch(4000), 0.0f);
    QCOMPARE(scratch(4801), 0.0f);
    // Read backwards, a sine running forwards in time is a sine with the phase
    // running backwards: the same recurrence and amplitude.
    QVERIFY(issine(4001, 4800, omegaof(1000), 1.0 / 32));
}

void TestTonepen::verticalDragKeepsThePhase()
{
    pointer->jumpto(0.5, 1000, 1);
    pointer->at(0.55, 1000, 1);
    lanes->resetcounts();
    pointer->at(0.55, 1500, 1); // straight up: nothing drawn
    QCOMPARE(lanes->accesses(2, 0), 0);
    pointer->at(0.6, 1500, 1);
    // Sample 4400 continues the 1000 Hz sine where it stopped; from there on
    // the phase advances at 1500 Hz.
    QVERIFY(issine(4398, 4400, omegaof(1000), 1.0 / 32));
    QVERIFY(issine(4401, 4799, omegaof(1500), 1.0 / 32));
}

void TestTonepen::phaseRunsOnAcrossStrokes()
{
    pointer->stroke(0.5, 1000, {QPointF(0.55, 1000)});
    const float s4398 = scratch(4398), s4399 = scratch(4399);
    // The hover between the strokes empties the scratch, not the phase.
    pointer->at(1.0, 1000, 0);
    QCOMPARE(scratch(4399), 0.0f);
    pointer->at(1.0, 1000, 1);
    pointer->at(1.05, 1000, 1);
    const double omega = omegaof(1000);
    QVERIFY(std::abs(scratch(8000) - (2 * std::cos(omega) * s4399 - s4398)) < 2e-5);
    QVERIFY(std::abs(scratch(8001) - (2 * std::cos(omega) * scratch(8000) - s4399)) < 2e-5);
}

static int zerocrossings(const SampleLanes& lanes, int first, int last)
{
    int n = 0;
    for (int k = first; k < last; ++k)
        n += (lanes.get(2, 0, k) < 0) != (lanes.get(2, 0, k + 1) < 0);
    return n;
}

void TestTonepen::glidingFrequency()
{
    // 500 Hz rising to 1500 Hz over 800 samples: about 625 Hz over the first
    // 200 samples and 1375 Hz over the last, two crossings per period.
    pointer->jumpto(0.5, 500, 1);
    pointer->at(0.6, 1500, 1);
    QVERIFY(std::abs(zerocrossings(*lanes, 4000, 4199) - 2 * 625 * 0.025) <= 2);
    QVERIFY(std::abs(zerocrossings(*lanes, 4600, 4799) - 2 * 1375 * 0.025) <= 2);
}

void TestTonepen::sameSpanTwiceAdds()
{
    pointer->jumpto(0.5, 1000, 1);
    pointer->at(0.55, 1000, 1);
    std::vector<float> once;
    for (int k = 4000; k <= 4400; ++k)
        once.push_back(scratch(k));
    pointer->at(0.5, 1000, 1);
    // The way back (samples 4400 down to 4001) adds a second sine.
    QCOMPARE(scratch(4000), once[0]);
    QVERIFY(scratch(4400) != 0);
    for (int k = 4001; k <= 4400; ++k)
        lanes->set(2, 0, k, scratch(k) - once[size_t(k - 4000)]);
    QVERIFY(issine(4001, 4400, omegaof(1000), 1.0 / 32));
}

void TestTonepen::releaseCommits()
{
    clipboardarea = QRectF(0.5, 4000, 0.05, -4000); // what the drags drew
    pointer->at(0.5, 1000, 0);
    pointer->at(0.5, 1000, 1);
    pointer->at(0.55, 1000, 1);
    QCOMPARE(lanes->transfers.size(), 1);
    // The release draws its own segment (samples 4400 to 4799) first, then
    // commits over the clipboard area and that segment's frames.
    pointer->at(0.6, 1000, 0);
    QVERIFY(issine(4400, 4799, omegaof(1000), 1.0 / 32));
    QCOMPARE(lanes->transfers.size(), 2);
    const SampleLanes::Transfer commit = lanes->transfers[1];
    QCOMPARE(commit.source, 2);
    QCOMPARE(commit.destination, 1);
    QCOMPARE(commit.mode, 9);
    QCOMPARE(commit.channelmask, 0b11);
    QCOMPARE(commit.area.x(), 0.5);
    // Frames are 8 ms; the window of frame 76 still reaches sample 4799.
    QCOMPARE(int(std::floor((commit.area.x() + commit.area.width()) * 125 + 0.5)), 77);
    QCOMPARE(commit.area.y(), 4000.0);
    QCOMPARE(commit.area.height(), -4000.0);

    // A release without movement commits what the stroke drew, over the
    // clipboard area as it is.
    pointer->at(0.6, 1000, 0);
    pointer->at(0.6, 1000, 1);
    pointer->at(0.6, 1000, 0);
    QCOMPARE(lanes->transfers.last().mode, 9);
    QCOMPARE(lanes->transfers.last().area, clipboardarea);
}

void TestTonepen::channelMask()
{
    channelmask = 0b10;
    pointer->stroke(0.5, 1000, {QPointF(0.55, 1000)});
    QCOMPARE(lanes->accesses(2, 0), 0);
    QCOMPARE(lanes->writes[2][1], 400);
    QCOMPARE(lanes->transfers.last().channelmask, 0b10);
}

void TestTonepen::pointerFromOffTheViews()
{
    // The pointer comes back pressed from outside the views, where the host
    // keeps its "unset" position: the segment has no start and is not drawn.
    pointer->jumpto(2147418112.0, 2147418112.0, 1);
    pointer->at(0.5, 1000, 1);
    QCOMPARE(lanes->accesses(2, 0) + lanes->outside, 0);
    pointer->at(0.55, 1000, 1);
    QCOMPARE(lanes->writes[2][0], 400);
}

void TestTonepen::hostDeletesTheSettings()
{
    delete tool->toolbar;
    QVERIFY(!strength && !soft && !tablet);
    tool->toolbar = nullptr;
    pointer->at(0.5, 1000, 0);
    pointer->at(0.55, 1000, 1);
    QCOMPARE(lanes->accesses(2, 0), 0);
    QCOMPARE(lanes->transfers.size(), 0);
    QVERIFY(tooltest::unloads(loader));
    tool = nullptr;
}

QTEST_MAIN(TestTonepen)
#include "tst_tonepen.moc"
