#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMetaMethod>
#include <QPluginLoader>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <cmath>
#include <memory>

#include "interfaces.h"
#include "plugins/tools/hostslots.h"

// The manual noise gate loaded from the build's installation root as the host
// loads it, driven with the host's event sequences on the program's own slot
// Buffers, callbacks and area transfer. Project: 8000 Hz, window 256, overlap 4, so one frame is
// 8 ms and one bin 31.25 Hz; the brush of 0.08 s x 250 Hz spans frame offsets
// -5 .. 5 and bin offsets -4 .. 4. The mix is "noise" whose level depends on
// the bin and, by up to half again, on the frame, in values exact in binary.
class TestHissGate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndSettings();
    void nothingBeforeRegistration(); // first: the plugin holds no profile yet
    void registeringHoverChangesNothing();
    void registerRecordsTheLoudestMix();
    void registerFollowsTheDrag();
    void registerCountsScratchContent();
    void extractCopiesGatedCells();
    void gate_data();
    void gate();
    void keysMoveTheTolerance();
    void resetKeepsTheWindowSize();
    void newWindowSizeNeedsNewNoise();
    void allEightChannels();
    void topBinsOfTheLargestWindow();
    void hostDeletesTheSettings(); // last: it unloads the plugin

private:
    static float noise(int bin) { return 0.125f * (1 + bin % 4); }
    static QVector2D mixvalue(int channel, int frame, int bin)
    {
        return {noise(bin) * (1 + (frame % 5) / 8.0f) * (channel + 1), 0};
    }
    // The registered level of a bin after registering over frames 20 .. 24:
    // the loudest of five frames.
    static float profile(int channel, int bin) { return noise(bin) * 1.5f * (channel + 1); }
    // Registers with a press at (t, f), a drag by (dt, df) and the release.
    void registerat(float t, float f, float dt = 0, float df = 0);

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    std::unique_ptr<HostSlots> spectra;
    tooltest::SlotDriver host;
    QPointer<QDoubleSpinBox> freqrange, timerange, softness, tolerance;
    QPointer<QPushButton> registernoise, reset;
    QPointer<QLabel> helplabel;
    QList<double> startvalues; // of the spin boxes, before any test changed them
};

static float frametime(int frame)
{
    return frame * 0.008f;
}
static float binfrequency(int bin)
{
    return bin * 31.25f;
}

void TestHissGate::registerat(float t, float f, float dt, float df)
{
    registernoise->setChecked(true);
    QVERIFY(host.send(t, f, 1, 0, 0, 1));
    if (dt != 0 || df != 0)
        QVERIFY(host.send(t + dt, f + df, 1, dt, df, 0));
    QVERIFY(host.send(t + dt, f + df, 0, 0, 0, -1));
    registernoise->setChecked(false);
}

void TestHissGate::initTestCase()
{
    QString error;
    tool = tooltest::loadtool(loader, QStringLiteral("hissgate"), nullptr, error);
    QVERIFY2(tool, qPrintable(error));
    const QList<QWidget*> widgets = tooltest::settingwidgets(tool);
    QCOMPARE(widgets.size(), 7);
    freqrange = qobject_cast<QDoubleSpinBox*>(widgets[0]);
    timerange = qobject_cast<QDoubleSpinBox*>(widgets[1]);
    softness = qobject_cast<QDoubleSpinBox*>(widgets[2]);
    registernoise = qobject_cast<QPushButton*>(widgets[3]);
    reset = qobject_cast<QPushButton*>(widgets[4]);
    tolerance = qobject_cast<QDoubleSpinBox*>(widgets[5]);
    helplabel = qobject_cast<QLabel*>(widgets[6]);
    QVERIFY(freqrange && timerange && softness && registernoise && reset && tolerance && helplabel);
    startvalues = {freqrange->value(), timerange->value(), softness->value(), tolerance->value()};

    startlog("tools_hissgate");
    spectra = std::make_unique<HostSlots>(8000, 256, 4, 2, 200);
    host.tool = tool;
    host.spectra = spectra.get();
}

void TestHissGate::init()
{
    if (!spectra)
        return;
    host.spectra = spectra.get();
    spectra->reset();
    spectra->paint(0, mixvalue);
    spectra->paint(1, [](int, int, int) { return QVector2D(0.01f, 0); });
    spectra->channelmask = 0b11;
    if (freqrange) {
        freqrange->setValue(250);
        timerange->setValue(0.08);
        softness->setValue(0);
        tolerance->setValue(0);
        registernoise->setChecked(false);
    }
}

void TestHissGate::identityAndSettings()
{
    const QString difference =
        tooltest::Identity{"Extract Noise Manual Gate", "Extract", "Noise (Manual Gate)"}.describe(tool);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));

    const tooltest::Spin expected[] = {
        {0, 10000, 100, 0, 1000, "freq range:", " Hz", ""},
        {0, 10, 0.1, 2, 0.3, "time range:", "s", ""},
        {0, 100, 10, 0, 50, "softness:", "%", ""},
        {-48, 48, 1, 1, 0, "tolerance:", "dB", "tolerance to the registered noise gate"},
    };
    QDoubleSpinBox* boxes[] = {freqrange, timerange, softness, tolerance};
    for (int i = 0; i < 4; ++i) {
        tooltest::Spin spin = expected[i];
        QCOMPARE(startvalues[i], spin.value);
        spin.value = boxes[i]->value(); // changed by init
        const QString box = spin.describe(boxes[i]);
        QVERIFY2(box.isEmpty(), qPrintable(box));
    }
    QCOMPARE(registernoise->text(), QString("Register Noise"));
    QCOMPARE(registernoise->toolTip(), QString("Register noise from mix"));
    // Fixed widths of at least 100 and 40 pixels, wider when the text needs it.
    QCOMPARE(registernoise->minimumWidth(), registernoise->maximumWidth());
    QCOMPARE(registernoise->maximumWidth(), std::max(100, registernoise->sizeHint().width()));
    QVERIFY(registernoise->isCheckable());
    QCOMPARE(reset->text(), QString("Reset"));
    QCOMPARE(reset->maximumWidth(), std::max(40, reset->sizeHint().width()));
    QCOMPARE(helplabel->text(), QString("Extract noise from mix to selected layer. Register noise areas first."));

    const QMetaObject* meta = loader.instance()->metaObject();
    QCOMPARE(meta->className(), "ToolPlugin");
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    QCOMPARE(meta->method(meta->methodOffset()).methodSignature(), QByteArray("resetnoise()"));
}

void TestHissGate::nothingBeforeRegistration()
{
    QVERIFY(host.stroke(frametime(100), binfrequency(32)));
    // Every hover still empties the scratch buffer; nothing else happens.
    QVERIFY(!spectra->transfers.isEmpty());
    for (const HostSlots::Transfer& t : spectra->transfers)
        QCOMPARE(t.mode, 0);
    QCOMPARE(spectra->reads[0] + spectra->writes[2], 0);
}

void TestHissGate::registeringHoverChangesNothing()
{
    registernoise->setChecked(true);
    QVERIFY(host.send(frametime(22), binfrequency(32), 0, 0.1f, 30, 0));
    QVERIFY(host.send(frametime(22), binfrequency(32), 0, 0, 0, -1));
    QCOMPARE(spectra->transfers.size(), 0);
    QCOMPARE(spectra->reads[0] + spectra->reads[2] + spectra->writes[2] + spectra->writes[1], 0);
}

void TestHissGate::registerRecordsTheLoudestMix()
{
    registerat(frametime(22), binfrequency(32));
    // A 5 x 5 block of the mix, unweighted, shows in the scratch buffer; no
    // commit.
    QCOMPARE(spectra->reads[0], 5 * 5 * 2);
    QVERIFY(tooltest::commits(*spectra).isEmpty());
    for (int channel = 0; channel < 2; ++channel)
        for (int frame = 19; frame <= 25; ++frame)
            for (int bin = 29; bin <= 35; ++bin) {
                const bool inside = std::abs(frame - 22) <= 2 && std::abs(bin - 32) <= 2;
                QCOMPARE(spectra->get(2, channel, frame, bin),
                         inside ? mixvalue(channel, frame, bin) : QVector2D());
            }

    // The profile is the loudest of the five frames per bin: extraction
    // elsewhere lets through exactly the cells up to it.
    spectra->set(0, 0, 100, 32, {profile(0, 32), 0});
    spectra->set(0, 0, 101, 32, {profile(0, 32) * 1.001f, 0});
    spectra->set(0, 1, 100, 34, {0, -profile(1, 34)});
    QVERIFY(host.stroke(frametime(100), binfrequency(32)));
    QCOMPARE(spectra->get(2, 0, 100, 32), QVector2D(profile(0, 32), 0));
    QCOMPARE(spectra->get(2, 0, 101, 32), QVector2D());
    QCOMPARE(spectra->get(2, 1, 100, 34), QVector2D(0, -profile(1, 34)));
    // Bins nobody registered have a profile of 0 and keep their noise out.
    QCOMPARE(spectra->get(2, 0, 100, 29), QVector2D());
    QCOMPARE(spectra->get(2, 1, 98, 35), QVector2D());
}

void TestHissGate::registerFollowsTheDrag()
{
    // About one stamp per frame and per bin travelled: 20 frames and 6 bins
    // make 21 stamps without gaps.
    registerat(frametime(20), binfrequency(30), frametime(20), binfrequency(6));
    for (int frame = 18; frame <= 42; ++frame) {
        const int bin = 30 + int(std::floor((frame - 20) * 6 / 20.0 + 0.5));
        QCOMPARE(spectra->get(2, 0, frame, std::clamp(bin, 30, 36)), mixvalue(0, frame, std::clamp(bin, 30, 36)));
    }
    QCOMPARE(spectra->get(2, 0, 17, 30), QVector2D());
    QCOMPARE(spectra->get(2, 0, 43, 36), QVector2D());
    QCOMPARE(spectra->get(2, 0, 20, 35), QVector2D());
}

void TestHissGate::registerCountsScratchContent()
{
    // What an earlier stroke left in the scratch buffer is louder than the mix
    // there and counts as noise.
    spectra->set(2, 0, 22, 33, {3, 4});
    registerat(frametime(22), binfrequency(32));
    QCOMPARE(spectra->get(2, 0, 22, 33), QVector2D(3, 4));
    spectra->set(0, 0, 100, 33, {5, 0});
    spectra->set(0, 0, 100, 32, {5, 0});
    QVERIFY(host.stroke(frametime(100), binfrequency(32)));
    QCOMPARE(spectra->get(2, 0, 100, 33), QVector2D(5, 0));
    QCOMPARE(spectra->get(2, 0, 100, 32), QVector2D());
}

void TestHissGate::extractCopiesGatedCells()
{
    registerat(frametime(22), binfrequency(32));
    softness->setValue(100);
    spectra->resetcounts();
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0));
    QVERIFY(host.send(frametime(100), binfrequency(32), 1, 0, 0, 1));
    QVERIFY(tooltest::commits(*spectra).isEmpty());
    // The pen gets lighter: that already commits.
    QVERIFY(host.send(frametime(100), binfrequency(32), 0.5f, 0, 0, -0.5f));
    QCOMPARE(tooltest::commits(*spectra).size(), 1);
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, -0.5f));
    const QList<HostSlots::Transfer> done = tooltest::commits(*spectra);
    QCOMPARE(done.size(), 2);
    QCOMPARE(done[1].source, 2);
    QCOMPARE(done[1].destination, 1);
    // The soft brush's outer ring (frames 95 and 105) weighs 0 and paints nothing.
    const QString missed = tooltest::coverage(done[1], *tool, frametime(96), frametime(105));
    QVERIFY2(missed.isEmpty(), qPrintable(missed));
    QCOMPARE(done[1].channelmask, 0b11);
    QCOMPARE(spectra->writes[1], 0);
    // The gated cells, weighted by the soft brush.
    const QVector2D centre = spectra->get(2, 1, 100, 32);
    QVERIFY(std::abs(centre.x() - mixvalue(1, 100, 32).x() / 1.001f) < 1e-6f);
    const QVector2D flank = spectra->get(2, 0, 102, 31);
    QVERIFY(std::abs(flank.x() - mixvalue(0, 102, 31).x() * 0.6f / 1.001f) < 1e-6f);
    QCOMPARE(spectra->get(1, 1, 100, 32), centre);
}

void TestHissGate::gate_data()
{
    QTest::addColumn<double>("tolerancedb");
    QTest::addColumn<float>("ratio");
    QTest::addColumn<bool>("extracted");
    QTest::newRow("0 dB, at the profile") << 0.0 << 1.0f << true;
    QTest::newRow("0 dB, above") << 0.0 << 1.001f << false;
    QTest::newRow("+6 dB, twice the profile") << 6.0 << 2.0f << true;
    QTest::newRow("+6 dB, above twice") << 6.0 << 2.002f << false;
    QTest::newRow("-6 dB, half the profile") << -6.0 << 0.5f << true;
    QTest::newRow("-6 dB, above half") << -6.0 << 0.501f << false;
}

void TestHissGate::gate()
{
    QFETCH(double, tolerancedb);
    QFETCH(float, ratio);
    QFETCH(bool, extracted);
    registerat(frametime(22), binfrequency(32));
    tolerance->setValue(tolerancedb);
    const QVector2D cell(0, -profile(0, 32) * ratio);
    spectra->set(0, 0, 100, 32, cell);
    QVERIFY(host.stroke(frametime(100), binfrequency(32)));
    QCOMPARE(spectra->get(2, 0, 100, 32), extracted ? cell : QVector2D());
}

void TestHissGate::keysMoveTheTolerance()
{
    registerat(frametime(22), binfrequency(32));
    const QVector2D cell(profile(0, 32) * 2, 0);
    spectra->set(0, 0, 100, 32, cell);
    tolerance->setValue(5);
    // The key re-sends the hover; its preview already uses the new gate.
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0, '-'));
    QCOMPARE(tolerance->value(), 4.0);
    QCOMPARE(spectra->get(2, 0, 100, 32), QVector2D());
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0, '+'));
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0, '+'));
    QCOMPARE(tolerance->value(), 6.0);
    QCOMPARE(spectra->get(2, 0, 100, 32), cell);
    // Other keys leave it; the spin box keeps its range.
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0, Qt::Key_Left));
    QCOMPARE(tolerance->value(), 6.0);
    tolerance->setValue(47.5);
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0, '+'));
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0, '+'));
    QCOMPARE(tolerance->value(), 48.0);
    tolerance->setValue(-47.5);
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0, '-'));
    QCOMPARE(tolerance->value(), -48.0);
    // In registering mode the keys work as well.
    registernoise->setChecked(true);
    QVERIFY(host.send(frametime(100), binfrequency(32), 0, 0, 0, 0, '+'));
    QCOMPARE(tolerance->value(), -47.0);
}

void TestHissGate::resetKeepsTheWindowSize()
{
    registerat(frametime(22), binfrequency(32));
    spectra->resetcounts();
    reset->click();
    QVERIFY(tooltest::onlyemptied(*spectra, 0b11));
    for (const QVector2D& cell : spectra->cells(2))
        QCOMPARE(cell, QVector2D());
    // The profile is empty but still belongs to this window size: the stroke
    // runs, and lets through only silent cells, which leave nothing to commit.
    spectra->set(0, 0, 24, 32, QVector2D());
    QVERIFY(host.stroke(frametime(22), binfrequency(32)));
    QVERIFY(spectra->reads[0] > 0);
    QCOMPARE(tooltest::commits(*spectra).size(), 0);
    for (const QVector2D& cell : spectra->cells(2))
        QCOMPARE(cell, QVector2D());
}

void TestHissGate::newWindowSizeNeedsNewNoise()
{
    registerat(frametime(22), binfrequency(32));
    {
        // The same project at window 512: nothing is extracted until noise is
        // registered again.
        HostSlots wide(8000, 512, 4, 2, 100);
        wide.paint(0, mixvalue);
        wide.channelmask = 0b11;
        host.spectra = &wide;
        QVERIFY(host.stroke(frametime(100), binfrequency(32)));
        QCOMPARE(wide.reads[0] + wide.writes[2], 0);
        QVERIFY(tooltest::commits(wide).isEmpty());

        registerat(frametime(22), binfrequency(32));
        wide.resetcounts();
        QVERIFY(host.stroke(frametime(40), binfrequency(32)));
        QVERIFY(wide.reads[0] > 0);
        QCOMPARE(tooltest::commits(wide).size(), 1);
    }
    // Back at 256 the earlier profile is gone: registering at 512 replaced it.
    spectra->install();
    host.spectra = spectra.get();
    spectra->resetcounts();
    QVERIFY(host.stroke(frametime(100), binfrequency(32)));
    QCOMPARE(spectra->reads[0] + spectra->writes[2], 0);
    QVERIFY(tooltest::commits(*spectra).isEmpty());
}

void TestHissGate::allEightChannels()
{
    // The profile holds the eight channels a project can have; each is
    // registered and extracted.
    HostSlots eight(8000, 256, 4, 8, 120);
    eight.paint(0, mixvalue);
    eight.channelmask = 0xFF;
    host.spectra = &eight;
    registerat(frametime(22), binfrequency(32));
    QCOMPARE(eight.reads[0], 5 * 5 * 8);
    eight.resetcounts();
    QVERIFY(host.stroke(frametime(100), binfrequency(32)));
    QCOMPARE(eight.reads[0], 11 * 9 * 8 * 3); // hover, press and release stamps
    for (int channel = 0; channel < 8; ++channel)
        QCOMPARE(eight.get(2, channel, 100, 32), mixvalue(channel, 100, 32));
    host.spectra = spectra.get();
    spectra->install();
}

void TestHissGate::topBinsOfTheLargestWindow()
{
    // At window 65536 bins 32767 and 32768 share the last profile entry, in
    // registration and in extraction alike. One frame is 8192 samples long.
    HostSlots largest(8000, 65536, 4, 1, 8);
    largest.channelmask = 1;
    host.spectra = &largest;
    const auto time = [](int frame) { return frame * 16384 / 8000.0f; };
    for (int frame = 0; frame <= 4; ++frame)
        for (int bin = 32764; bin <= 32768; ++bin)
            largest.set(0, 0, frame, bin, {0, (bin - 32760) * 0.125f});
    registerat(time(2), 32766 * 8000 / 65536.0f);
    // A brush of a single cell.
    timerange->setValue(0.01);
    freqrange->setValue(0);
    const struct
    {
        int bin;
        float level;
        bool extracted;
    } cells[] = {
        {32765, 0.625f, true},   // its own entry
        {32766, 0.75f, true},    // its own entry
        {32766, 0.76f, false},
        {32767, 1.0f, true},     // the loudest of 32767 and 32768
        {32768, 1.0f, true},
        {32768, 1.01f, false},
    };
    for (const auto& c : cells) {
        largest.set(0, 0, 6, c.bin, {0, c.level});
        QVERIFY(host.stroke(time(6), c.bin * 8000 / 65536.0f));
        QVERIFY2(largest.get(2, 0, 6, c.bin).y() == (c.extracted ? c.level : 0.0f),
                 qPrintable(QString("bin %1 level %2").arg(c.bin).arg(c.level)));
    }
    host.spectra = spectra.get();
    spectra->install();
}

void TestHissGate::hostDeletesTheSettings()
{
    registerat(frametime(22), binfrequency(32));
    delete tool->toolbar;
    QVERIFY(!freqrange && !tolerance && !registernoise);
    tool->toolbar = nullptr;
    spectra->resetcounts();
    QVERIFY(host.stroke(frametime(100), binfrequency(32)));
    QCOMPARE(spectra->reads[0] + spectra->reads[2] + spectra->writes[2], 0);
    QCOMPARE(spectra->transfers.size(), 0);

    QPointer<QObject> object = loader.instance();
    QVERIFY(loader.unload());
    QVERIFY(!object);
    tool = nullptr;
}

QTEST_MAIN(TestHissGate)
#include "tst_hissgate.moc"
