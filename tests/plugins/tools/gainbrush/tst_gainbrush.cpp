#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPluginLoader>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <cmath>
#include <memory>

#include "interfaces.h"
#include "plugins/tools/hostslots.h"

// The amplifier loaded from the build's installation root as the host loads
// it, driven with the host's event sequences on the program's own slot
// Buffers, callbacks and area transfer. Project: 8000 Hz, window 256, overlap 4, so one frame is 8 ms and one
// bin 31.25 Hz; a brush of 0.08 s x 250 Hz spans frame offsets -5 .. 5 and bin
// offsets -4 .. 4.
class TestGainBrush : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndSettings();
    void hoverPreviewsWithoutCommitting();
    void releaseCommitsTheAmplifiedCells();
    void strokeAmplifiesOnceStrokesAgain();
    void zeroDecibelsChangeNothing();
    void pressureScalesOnlyPressedStamps_data();
    void pressureScalesOnlyPressedStamps();
    void lighterPenDoesNotCommit();
    void softEdges_data();
    void softEdges();
    void commitCoversOnlyTheSelection();
    void maskedChannelIsLeftAlone();
    void hostDeletesTheSettings(); // last: it unloads the plugin

private:
    static QVector2D original(int channel, int frame, int bin);
    // Cell of a buffer against the layer's original value times factor.
    bool cellis(int buffer, int channel, int frame, int bin, double factor) const;

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<HostSlots> spectra;
    tooltest::SlotDriver host;
    QPointer<QDoubleSpinBox> freqrange, timerange, softness, strength;
    QPointer<QPushButton> tablet;
    QPointer<QLabel> helplabel;
    QList<double> startvalues; // of the four spin boxes, before any test changed them
};

constexpr float at = 0.4f;     // frame 50
constexpr float freq = 1000.f; // bin 32
const double root2 = std::pow(2.0, 0.5); // the start strength, 3 dB

QVector2D TestGainBrush::original(int channel, int frame, int bin)
{
    return {1.0f + channel + frame / 256.0f, 0.5f - bin / 512.0f};
}

bool TestGainBrush::cellis(int buffer, int channel, int frame, int bin, double factor) const
{
    return tooltest::holds(*spectra, buffer, channel, frame, bin, original(channel, frame, bin) * float(factor));
}

void TestGainBrush::initTestCase()
{
    QString error;
    tool = tooltest::loadtool(loader, QStringLiteral("gainbrush"), nullptr, error);
    QVERIFY2(tool, qPrintable(error));
    const QList<QWidget*> widgets = tooltest::settingwidgets(tool);
    QCOMPARE(widgets.size(), 6);
    freqrange = qobject_cast<QDoubleSpinBox*>(widgets[0]);
    timerange = qobject_cast<QDoubleSpinBox*>(widgets[1]);
    softness = qobject_cast<QDoubleSpinBox*>(widgets[2]);
    strength = qobject_cast<QDoubleSpinBox*>(widgets[3]);
    tablet = qobject_cast<QPushButton*>(widgets[4]);
    helplabel = qobject_cast<QLabel*>(widgets[5]);
    QVERIFY(freqrange && timerange && softness && strength && tablet && helplabel);
    startvalues = {freqrange->value(), timerange->value(), softness->value(), strength->value()};

    startlog("tools_gainbrush");
    spectra = std::make_unique<HostSlots>(8000, 256, 4, 2, 200);
    host.tool = tool;
    host.spectra = spectra.get();
}

void TestGainBrush::init()
{
    if (!spectra)
        return;
    spectra->reset();
    spectra->paint(0, [](int c, int f, int b) { return QVector2D(3.0f + c, f / 64.0f + b); });
    spectra->paint(1, original);
    spectra->channelmask = 0b11;
    if (freqrange) {
        freqrange->setValue(250);
        timerange->setValue(0.08);
        softness->setValue(0);
        strength->setValue(3);
        tablet->setChecked(true);
    }
}

void TestGainBrush::identityAndSettings()
{
    const QString difference = tooltest::Identity{"Modify Amplify", "Modify", "Amplify"}.describe(tool);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    const tooltest::Spin expected[] = {
        {0, 10000, 100, 0, 200, "freq range:", " Hz", ""},
        {0, 10, 0.1, 2, 0.2, "time range:", "s", ""},
        {0, 100, 10, 0, 50, "softness:", "%", ""},
        {0, 90, 1, 1, 3, "", "dB", "amplification strength"},
    };
    QDoubleSpinBox* boxes[] = {freqrange, timerange, softness, strength};
    for (int i = 0; i < 4; ++i) {
        tooltest::Spin spin = expected[i];
        QCOMPARE(startvalues[i], spin.value);
        spin.value = boxes[i]->value(); // changed by init
        const QString box = spin.describe(boxes[i]);
        QVERIFY2(box.isEmpty(), qPrintable(box));
    }
    QVERIFY(tablet->isCheckable());
    QVERIFY(tablet->isChecked());
    QVERIFY(!tablet->icon().isNull());
    QCOMPARE(tablet->toolTip(), QString("use tablet pressure"));
    QCOMPARE(helplabel->text(), QString("Amplify from selected layer."));
}

void TestGainBrush::hoverPreviewsWithoutCommitting()
{
    spectra->set(2, 0, 120, 60, {5, 5}); // left over from an earlier stroke
    // However far the pointer moved, a hover empties the scratch buffer and
    // stamps once, at the pointer.
    QVERIFY(host.send(at, freq, 0, 0.5f, -800, 0));
    QVERIFY(tooltest::onlyemptied(*spectra, 0b11));
    QCOMPARE(spectra->get(2, 0, 120, 60), QVector2D());
    QCOMPARE(spectra->writes[2], 11 * 9 * 2);
    QCOMPARE(spectra->writes[1], 0);
    QCOMPARE(spectra->reads[0], 0);
    // The preview is the amplified layer; the outermost ring weighs 0.
    for (int channel = 0; channel < 2; ++channel)
        for (int frame = 44; frame <= 56; ++frame)
            for (int bin = 27; bin <= 37; ++bin) {
                const bool inside = std::abs(frame - 50) < 5 && std::abs(bin - 32) < 4;
                QVERIFY(cellis(2, channel, frame, bin, inside ? root2 : 0));
            }
    QVERIFY(norefusals());
}

void TestGainBrush::releaseCommitsTheAmplifiedCells()
{
    QVERIFY(host.send(at, freq, 0, 0, 0, 0));
    QVERIFY(host.send(at, freq, 1, 0, 0, 1));
    QVERIFY(host.send(at + 0.1f, freq, 1, 0.1f, 0, 0));
    QVERIFY(tooltest::commits(*spectra).isEmpty()); // pressing and dragging only collect
    QCOMPARE(spectra->writes[1], 0);
    QVERIFY(host.send(at + 0.1f, freq, 0, 0, 0, -1));
    const QList<HostSlots::Transfer> done = tooltest::commits(*spectra);
    QCOMPARE(done.size(), 1);
    QCOMPARE(done[0].source, 2);
    QCOMPARE(done[0].destination, 1);
    // Frames 46 .. 67: the first stamp's outer ring (frame 45) weighs 0 and paints nothing.
    const QString missed = tooltest::coverage(done[0], *tool, 0.368, 0.544);
    QVERIFY2(missed.isEmpty(), qPrintable(missed));
    QCOMPARE(done[0].channelmask, 0b11);
    QCOMPARE(done[0].dtime, 0.0f);
    QCOMPARE(done[0].dfreq, 0.0f);
    // The tool itself never writes the layer.
    QCOMPARE(spectra->writes[1], 0);
    for (int frame = 46; frame <= 66; ++frame)
        QVERIFY(cellis(1, 1, frame, 32, root2));
    QVERIFY(cellis(1, 1, 44, 32, 1));
    QVERIFY(cellis(1, 1, 68, 32, 1));
    QVERIFY(cellis(1, 0, 55, 28, 1));
}

void TestGainBrush::strokeAmplifiesOnceStrokesAgain()
{
    // Away and back within one stroke: amplified once.
    QVERIFY(host.send(at, freq, 0, 0, 0, 0));
    QVERIFY(host.send(at, freq, 1, 0, 0, 1));
    QVERIFY(host.send(at + 0.2f, freq, 1, 0.2f, 0, 0));
    QVERIFY(host.send(at, freq, 1, -0.2f, 0, 0));
    QVERIFY(host.send(at, freq, 0, 0, 0, -1));
    QVERIFY(cellis(1, 0, 50, 32, root2));
    QVERIFY(cellis(1, 0, 70, 32, root2));

    // A second stroke amplifies again; the scratch buffer starts afresh.
    spectra->resetcounts();
    QVERIFY(host.stroke(at, freq));
    QCOMPARE(spectra->transfers[0].mode, 0);
    QVERIFY(cellis(1, 0, 50, 32, 2));
    QVERIFY(cellis(1, 0, 70, 32, root2));
}

void TestGainBrush::zeroDecibelsChangeNothing()
{
    strength->setValue(0);
    softness->setValue(50);
    const std::vector<QVector2D> before = spectra->cells(1);
    QVERIFY(host.stroke(at, freq, 1.0f, 0.1f, 100));
    QCOMPARE(tooltest::commits(*spectra).size(), 1);
    for (int channel = 0; channel < 2; ++channel)
        for (int frame = 40; frame <= 70; ++frame)
            for (int bin = 20; bin <= 45; ++bin)
                QVERIFY(spectra->get(2, channel, frame, bin).lengthSquared()
                        <= spectra->get(1, channel, frame, bin).lengthSquared());
    QVERIFY(spectra->cells(1) == before);
}

void TestGainBrush::pressureScalesOnlyPressedStamps_data()
{
    QTest::addColumn<bool>("usetablet");
    QTest::addColumn<double>("middle");
    QTest::newRow("tablet on") << true << 1.0; // gain 2 at half pressure
    QTest::newRow("tablet off") << false << 2.0;
}

void TestGainBrush::pressureScalesOnlyPressedStamps()
{
    QFETCH(bool, usetablet);
    QFETCH(double, middle);
    tablet->setChecked(usetablet);
    strength->setValue(6); // gain 2
    // Hover and press at the start, a light pen along 0.4 s, release there.
    QVERIFY(host.send(at, freq, 0, 0, 0, 0));
    QVERIFY(host.send(at, freq, 0.5f, 0, 0, 0.5f));
    QVERIFY(host.send(at + 0.4f, freq, 0.5f, 0.4f, 0, 0));
    QVERIFY(host.send(at + 0.4f, freq, 0, 0, 0, -0.5f));
    // The hover preview and the release stamp carry the full strength, the
    // pressed stamps between them the pen's share.
    QVERIFY(cellis(2, 0, 50, 32, 2));
    QVERIFY(cellis(2, 0, 100, 32, 2));
    QVERIFY(cellis(2, 0, 75, 32, middle));
}

void TestGainBrush::lighterPenDoesNotCommit()
{
    QVERIFY(host.send(at, freq, 0, 0, 0, 0));
    QVERIFY(host.send(at, freq, 0.8f, 0, 0, 0.8f));
    QVERIFY(host.send(at + 0.05f, freq, 0.3f, 0.05f, 0, -0.5f));
    QVERIFY(tooltest::commits(*spectra).isEmpty());
    QVERIFY(host.send(at + 0.05f, freq, 0, 0, 0, -0.3f));
    QCOMPARE(tooltest::commits(*spectra).size(), 1);
}

void TestGainBrush::softEdges_data()
{
    QTest::addColumn<double>("softnesspercent");
    QTest::addColumn<int>("frameoffset");
    QTest::addColumn<int>("binoffset");
    QTest::addColumn<double>("weight");
    QTest::newRow("pyramid centre") << 100.0 << 0 << 0 << 1 / 1.001;
    QTest::newRow("pyramid flank") << 100.0 << 2 << -1 << 0.6 / 1.001;
    QTest::newRow("flat top of 50 %") << 50.0 << 2 << 1 << 1.0;
    QTest::newRow("flank of 50 %") << 50.0 << -4 << 0 << 0.2 / 0.501;
}

void TestGainBrush::softEdges()
{
    QFETCH(double, softnesspercent);
    QFETCH(int, frameoffset);
    QFETCH(int, binoffset);
    QFETCH(double, weight);
    softness->setValue(softnesspercent);
    strength->setValue(12);
    QVERIFY(host.stroke(at, freq));
    QVERIFY(cellis(2, 0, 50 + frameoffset, 32 + binoffset, 4 * weight));
    // The layer keeps the louder of its value and the weighted one.
    QVERIFY(cellis(1, 0, 50 + frameoffset, 32 + binoffset, std::max(1.0, 4 * weight)));
}

void TestGainBrush::commitCoversOnlyTheSelection()
{
    tooltest::strokesinselection(host);
    if (QTest::currentTestFailed())
        return;
    // The stroke on the selection's corner amplified only the part inside it.
    QVERIFY(cellis(1, 0, 127, 94, root2));
    QVERIFY(cellis(1, 1, 125, 96, root2));
    QVERIFY(cellis(1, 0, 122, 94, 1));
    QVERIFY(cellis(1, 0, 127, 98, 1));
}

void TestGainBrush::maskedChannelIsLeftAlone()
{
    spectra->channelmask = 0b10;
    QVERIFY(host.stroke(at, 3950)); // near the top the box reaches beyond bin 128
    QVERIFY(norefusals());
    for (const HostSlots::Transfer& t : spectra->transfers)
        QCOMPARE(t.channelmask, 0b10);
    for (int frame = 44; frame <= 56; ++frame)
        for (int bin = 120; bin <= 128; ++bin)
            QCOMPARE(spectra->get(2, 0, frame, bin), QVector2D());
    QVERIFY(cellis(2, 1, 50, 128, root2));
    QVERIFY(cellis(2, 1, 50, 124, root2));
    QVERIFY(cellis(2, 1, 50, 0, 0)); // the Nyquist value shares bin 0's slot
}

void TestGainBrush::hostDeletesTheSettings()
{
    // The host owns the bar and deletes it with the widgets in it; the tool
    // then leaves the buffers alone, and destroying the plugin object frees
    // nothing twice.
    delete tool->toolbar;
    QVERIFY(!freqrange && !strength && !tablet);
    tool->toolbar = nullptr;
    QVERIFY(host.stroke(at, freq));
    QCOMPARE(spectra->reads[1] + spectra->reads[2] + spectra->writes[1] + spectra->writes[2], 0);
    QCOMPARE(spectra->transfers.size(), 0);

    QPointer<QObject> object = loader.instance();
    QVERIFY(loader.unload());
    QVERIFY(!object);
    tool = nullptr;
}

QTEST_MAIN(TestGainBrush)
#include "tst_gainbrush.moc"
