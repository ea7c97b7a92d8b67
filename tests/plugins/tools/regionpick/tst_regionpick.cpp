#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPluginLoader>
#include <QPointer>
#include <QTest>
#include <QToolBar>

#include <cmath>
#include <memory>

#include "interfaces.h"
#include "plugins/tools/hostslots.h"

// The area extractor loaded from the build's installation root as the host
// loads it, driven with the host's event sequences on the program's own slot
// Buffers, callbacks and area transfer. Project: 8000 Hz, window 256, overlap 4, so one frame is
// 8 ms and one bin 31.25 Hz; a brush of 0.08 s x 250 Hz spans frame offsets
// -5 .. 5 and bin offsets -4 .. 4.
class TestRegionPick : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndSettings();
    void hoverPreviewsTheMix();
    void strokeCopiesTheMixExceptTheRing();
    void louderLayerCellsStay();
    void silentMixChangesNothing();
    void fallingPressureCommitsEarly();
    void softEdges_data();
    void softEdges();
    void commitCoversOnlyTheSelection();
    void maskedChannelIsLeftAlone();
    void hostDeletesTheSettings(); // last: it unloads the plugin

private:
    static QVector2D mixvalue(int channel, int frame, int bin);
    static QVector2D layervalue(int channel, int frame, int bin);
    // Cell of a buffer against the mix's value times factor.
    bool cellis(int buffer, int channel, int frame, int bin, double factor) const;

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<HostSlots> spectra;
    tooltest::SlotDriver host;
    QPointer<QDoubleSpinBox> freqrange, timerange, softness;
    QPointer<QLabel> helplabel;
    QList<double> startvalues; // of the three spin boxes, before any test changed them
};

constexpr float at = 0.4f;     // frame 50
constexpr float freq = 1000.f; // bin 32

QVector2D TestRegionPick::mixvalue(int channel, int frame, int bin)
{
    return {2.0f + channel + frame / 128.0f, 1.0f - bin / 256.0f};
}

// Quieter than the mix everywhere.
QVector2D TestRegionPick::layervalue(int channel, int frame, int bin)
{
    return {0.25f, 0.01f * channel + bin / 1024.0f};
}

bool TestRegionPick::cellis(int buffer, int channel, int frame, int bin, double factor) const
{
    return tooltest::holds(*spectra, buffer, channel, frame, bin, mixvalue(channel, frame, bin) * float(factor));
}

void TestRegionPick::initTestCase()
{
    QString error;
    tool = tooltest::loadtool(loader, QStringLiteral("regionpick"), nullptr, error);
    QVERIFY2(tool, qPrintable(error));
    const QList<QWidget*> widgets = tooltest::settingwidgets(tool);
    QCOMPARE(widgets.size(), 4);
    freqrange = qobject_cast<QDoubleSpinBox*>(widgets[0]);
    timerange = qobject_cast<QDoubleSpinBox*>(widgets[1]);
    softness = qobject_cast<QDoubleSpinBox*>(widgets[2]);
    helplabel = qobject_cast<QLabel*>(widgets[3]);
    QVERIFY(freqrange && timerange && softness && helplabel);
    startvalues = {freqrange->value(), timerange->value(), softness->value()};

    startlog("tools_regionpick");
    spectra = std::make_unique<HostSlots>(8000, 256, 4, 2, 200);
    host.tool = tool;
    host.spectra = spectra.get();
}

void TestRegionPick::init()
{
    if (!spectra)
        return;
    spectra->reset();
    spectra->paint(0, mixvalue);
    spectra->paint(1, layervalue);
    spectra->channelmask = 0b11;
    if (freqrange) {
        freqrange->setValue(250);
        timerange->setValue(0.08);
        softness->setValue(0);
    }
}

void TestRegionPick::identityAndSettings()
{
    const QString difference = tooltest::Identity{"Extract Area", "Extract", "Area"}.describe(tool);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    const tooltest::Spin expected[] = {
        {0, 10000, 100, 0, 200, "freq range:", " Hz", ""},
        {0, 10, 0.1, 2, 0.2, "time range:", "s", ""},
        {0, 100, 10, 0, 30, "softness:", "%", ""},
    };
    QDoubleSpinBox* boxes[] = {freqrange, timerange, softness};
    for (int i = 0; i < 3; ++i) {
        tooltest::Spin spin = expected[i];
        QCOMPARE(startvalues[i], spin.value);
        spin.value = boxes[i]->value(); // changed by init
        const QString box = spin.describe(boxes[i]);
        QVERIFY2(box.isEmpty(), qPrintable(box));
    }
    QCOMPARE(helplabel->text(), QString("Extract area from mix to selected layer."));
}

void TestRegionPick::hoverPreviewsTheMix()
{
    spectra->set(2, 1, 150, 90, {5, 5}); // left over from an earlier stroke
    QVERIFY(host.send(at, freq, 0, -0.3f, 500, 0));
    QVERIFY(tooltest::onlyemptied(*spectra, 0b11));
    QCOMPARE(spectra->get(2, 1, 150, 90), QVector2D());
    // One stamp at the pointer, read from the mix; the layer is not read.
    QCOMPARE(spectra->reads[0], 11 * 9 * 2);
    QCOMPARE(spectra->reads[1], 0);
    QCOMPARE(spectra->writes[1], 0);
    QCOMPARE(spectra->writes[0], 0);
    QVERIFY(cellis(2, 0, 54, 35, 1));
    QVERIFY(cellis(2, 1, 46, 29, 1));
    QVERIFY(cellis(2, 1, 55, 32, 0));
}

void TestRegionPick::strokeCopiesTheMixExceptTheRing()
{
    QVERIFY(host.stroke(at, freq));
    const QList<HostSlots::Transfer> done = tooltest::commits(*spectra);
    QCOMPARE(done.size(), 1);
    QCOMPARE(done[0].source, 2);
    QCOMPARE(done[0].destination, 1);
    const QString missed = tooltest::coverage(done[0], *tool, 0.368, 0.44); // frames 46 .. 54, inside the ring
    QVERIFY2(missed.isEmpty(), qPrintable(missed));
    QCOMPARE(done[0].channelmask, 0b11);
    QCOMPARE(spectra->writes[1], 0); // the layer changes only through the commit
    // softness 0: exact copies of the mix inside, the outermost ring weighs 0
    // and leaves the layer as it was.
    for (int channel = 0; channel < 2; ++channel)
        for (int frame = 43; frame <= 57; ++frame)
            for (int bin = 26; bin <= 38; ++bin) {
                const bool inside = std::abs(frame - 50) < 5 && std::abs(bin - 32) < 4;
                if (inside)
                    QVERIFY(cellis(1, channel, frame, bin, 1));
                else
                    QCOMPARE(spectra->get(1, channel, frame, bin), layervalue(channel, frame, bin));
            }
}

void TestRegionPick::louderLayerCellsStay()
{
    spectra->set(1, 0, 50, 32, {-40, 30});
    spectra->set(1, 1, 52, 30, mixvalue(1, 52, 30)); // a tie stays as well
    QVERIFY(host.stroke(at, freq));
    QCOMPARE(spectra->get(1, 0, 50, 32), QVector2D(-40, 30));
    QVERIFY(cellis(1, 0, 51, 32, 1));
    QVERIFY(cellis(1, 1, 52, 30, 1));
}

void TestRegionPick::silentMixChangesNothing()
{
    spectra->paint(0, [](int, int, int) { return QVector2D(); });
    const std::vector<QVector2D> before = spectra->cells(1);
    QVERIFY(host.stroke(at, freq, 1.0f, 0.2f, 300));
    for (const QVector2D& cell : spectra->cells(2))
        QCOMPARE(cell, QVector2D());
    QVERIFY(spectra->cells(1) == before);
}

void TestRegionPick::fallingPressureCommitsEarly()
{
    QVERIFY(host.send(at, freq, 0, 0, 0, 0));
    QVERIFY(host.send(at, freq, 0.9f, 0, 0, 0.9f));
    QVERIFY(tooltest::commits(*spectra).isEmpty());
    // A lighter pen hands over what is painted so far, the stamps of this
    // event included.
    QVERIFY(host.send(at + 0.2f, freq, 0.4f, 0.2f, 0, -0.5f));
    QCOMPARE(tooltest::commits(*spectra).size(), 1);
    QVERIFY(cellis(1, 0, 50, 32, 1));
    QVERIFY(cellis(1, 0, 75, 32, 1));
    QVERIFY(host.send(at + 0.3f, freq, 0.4f, 0.1f, 0, 0));
    QCOMPARE(tooltest::commits(*spectra).size(), 1);
    QVERIFY(host.send(at + 0.3f, freq, 0, 0, 0, -0.4f));
    QCOMPARE(tooltest::commits(*spectra).size(), 2);
    QVERIFY(cellis(1, 0, 87, 32, 1));
}

void TestRegionPick::softEdges_data()
{
    QTest::addColumn<double>("softnesspercent");
    QTest::addColumn<int>("frameoffset");
    QTest::addColumn<int>("binoffset");
    QTest::addColumn<double>("weight");
    QTest::newRow("pyramid centre") << 100.0 << 0 << 0 << 1 / 1.001;
    QTest::newRow("pyramid corner") << 100.0 << -4 << 3 << 0.2 / 1.001;
    QTest::newRow("30 % flank") << 30.0 << 0 << -3 << 0.25 / 0.301;
    QTest::newRow("30 % flat top") << 30.0 << 3 << 2 << 1.0;
}

void TestRegionPick::softEdges()
{
    QFETCH(double, softnesspercent);
    QFETCH(int, frameoffset);
    QFETCH(int, binoffset);
    QFETCH(double, weight);
    softness->setValue(softnesspercent);
    QVERIFY(host.stroke(at, freq));
    QVERIFY(cellis(2, 1, 50 + frameoffset, 32 + binoffset, weight));
}

void TestRegionPick::commitCoversOnlyTheSelection()
{
    tooltest::strokesinselection(host);
    if (QTest::currentTestFailed())
        return;
    // The stroke on the selection's corner copied only the part inside it.
    QVERIFY(cellis(1, 0, 127, 94, 1));
    QVERIFY(cellis(1, 1, 125, 96, 1));
    QCOMPARE(spectra->get(1, 0, 122, 94), layervalue(0, 122, 94));
    QCOMPARE(spectra->get(1, 0, 127, 98), layervalue(0, 127, 98));
}

void TestRegionPick::maskedChannelIsLeftAlone()
{
    spectra->channelmask = 0b01;
    QVERIFY(host.stroke(at, 20)); // near 0 Hz the box reaches below bin 0
    QVERIFY(norefusals());
    for (const HostSlots::Transfer& t : spectra->transfers)
        QCOMPARE(t.channelmask, 0b01);
    for (int frame = 44; frame <= 56; ++frame)
        for (int bin = 0; bin <= 6; ++bin)
            QCOMPARE(spectra->get(2, 1, frame, bin), QVector2D());
    QVERIFY(cellis(2, 0, 50, 0, 1));
    QVERIFY(cellis(2, 0, 50, 3, 1));
    QCOMPARE(spectra->get(2, 0, 50, 5), QVector2D()); // the ring
}

void TestRegionPick::hostDeletesTheSettings()
{
    delete tool->toolbar;
    QVERIFY(!freqrange && !softness);
    tool->toolbar = nullptr;
    QVERIFY(host.stroke(at, freq));
    QCOMPARE(spectra->reads[0] + spectra->reads[2] + spectra->writes[2], 0);
    QCOMPARE(spectra->transfers.size(), 0);

    QPointer<QObject> object = loader.instance();
    QVERIFY(loader.unload());
    QVERIFY(!object);
    tool = nullptr;
}

QTEST_MAIN(TestRegionPick)
#include "tst_regionpick.moc"
