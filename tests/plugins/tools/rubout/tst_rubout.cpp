#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPluginLoader>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QToolBar>

#include <cmath>
#include <functional>
#include <memory>

#include "interfaces.h"
#include "plugins/tools/hostslots.h"

// The eraser loaded from the build's installation root as the host loads it,
// driven with the host's event sequences on the program's own slot Buffers and
// callbacks. Project: 8000 Hz, window 256, overlap 4, so one frame is 8 ms and one bin
// 31.25 Hz; a brush of 0.08 s x 250 Hz spans frame offsets -5 .. 5 and bin
// offsets -4 .. 4.
class TestRubout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identity();
    void settingsBar();
    void hoverOnlyPreviews();
    void strokeErasesFootprint();
    void pressure_data();
    void pressure();
    void sameStrokeErasesOnce();
    void strengthAndSoftness_data();
    void strengthAndSoftness();
    void settingsChangeTheBrush();
    void dragErasesThePath();
    void topBinAndChannelMask();
    void zeroSizeBrush();
    void settingsAreReadOnTheirThreadOnly();
    void hostDeletesTheSettings(); // last: it unloads the plugin

private:
    void send(float x, float y, float pressure, float dx, float dy, float dpressure);
    // Hover at (x, y), press, optionally drag by (dx, dy), release there.
    void stroke(float x, float y, float pressure = 1.0f, float dx = 0, float dy = 0);
    static QVector2D original(int channel, int frame, int bin);
    // Layer cell against its original value times factor.
    bool layeris(int channel, int frame, int bin, float factor) const;

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

QVector2D TestRubout::original(int channel, int frame, int bin)
{
    return {1.0f + channel + frame / 256.0f, 0.5f - bin / 512.0f};
}

bool TestRubout::layeris(int channel, int frame, int bin, float factor) const
{
    return tooltest::holds(*spectra, 1, channel, frame, bin, original(channel, frame, bin) * factor);
}

void TestRubout::send(float x, float y, float pressure, float dx, float dy, float dpressure)
{
    QVERIFY(host.send(x, y, pressure, dx, dy, dpressure));
}

void TestRubout::stroke(float x, float y, float pressure, float dx, float dy)
{
    QVERIFY(host.stroke(x, y, pressure, dx, dy));
}

void TestRubout::initTestCase()
{
    QString error;
    tool = tooltest::loadtool(loader, QStringLiteral("rubout"), nullptr, error);
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

    startlog("tools_rubout");
    spectra = std::make_unique<HostSlots>(8000, 256, 4, 2, 200);
    host.tool = tool;
    host.spectra = spectra.get();
}

void TestRubout::init()
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
        strength->setValue(-24);
        tablet->setChecked(true);
    }
}

void TestRubout::identity()
{
    QCOMPARE(tool->name, QString("Modify Eraser"));
    QCOMPARE(tool->category, QString("Modify"));
    QCOMPARE(tool->label, QString("Eraser"));
    QVERIFY(!tool->icon.isNull());
    QCOMPARE(tool->icon.size(), QSize(32, 32));
    QVERIFY(!tool->cursor.pixmap().isNull());
    QCOMPARE(tool->cursor.hotSpot(), QPoint(16, 16)); // the centre of the image
    QVERIFY(!tool->toolbar->parent());

    // A second initialize keeps the bar the host holds.
    QToolBar* bar = tool->toolbar;
    QVERIFY(tool->initialize(loader.fileName(), nullptr));
    QCOMPARE(tool->toolbar, bar);
    QCOMPARE(tool->toolbar->actions().size(), 6);
}

void TestRubout::settingsBar()
{
    struct Expected
    {
        QDoubleSpinBox* box;
        double minimum, maximum, step;
        int decimals;
        double value;
        const char *prefix, *suffix, *tooltip;
    };
    const Expected table[] = {
        {freqrange, 0, 10000, 100, 0, 200, "freq range:", " Hz", ""},
        {timerange, 0, 10, 0.1, 2, 0.2, "time range:", "s", ""},
        {softness, 0, 100, 10, 0, 50, "softness:", "%", ""},
        {strength, -90, 0, 1, 1, -24, "", "dB", "erase strength"},
    };
    for (int i = 0; i < 4; ++i) {
        const Expected& e = table[i];
        QCOMPARE(startvalues[i], e.value);
        QCOMPARE(e.box->minimum(), e.minimum);
        QCOMPARE(e.box->maximum(), e.maximum);
        QCOMPARE(e.box->singleStep(), e.step);
        QCOMPARE(e.box->decimals(), e.decimals);
        QCOMPARE(e.box->prefix(), QString(e.prefix));
        QCOMPARE(e.box->suffix(), QString(e.suffix));
        QCOMPARE(e.box->toolTip(), QString(e.tooltip));
    }
    QVERIFY(tablet->isCheckable());
    QVERIFY(tablet->isChecked());
    QVERIFY(!tablet->icon().isNull());
    QCOMPARE(tablet->toolTip(), QString("use tablet pressure"));
    QCOMPARE(helplabel->text(), QString("Erase from selected layer."));
}

void TestRubout::hoverOnlyPreviews()
{
    spectra->set(2, 0, 120, 60, {5, 5}); // left over from an earlier stroke
    spectra->set(2, 1, 10, 10, {5, 5});
    // However far the pointer moved, a hover stamps once, at the pointer.
    send(at, freq, 0, 0.5f, -800, 0);
    QVERIFY(tooltest::onlyemptied(*spectra, 0b11));
    QCOMPARE(spectra->get(2, 0, 120, 60), QVector2D());
    QCOMPARE(spectra->get(2, 1, 10, 10), QVector2D());

    const int cells = 11 * 9 * 2;
    QCOMPARE(spectra->reads[2], cells);
    QCOMPARE(spectra->writes[2], cells);
    QCOMPARE(spectra->writes[1], 0);
    QCOMPARE(spectra->writes[0], 0);
    // The preview shows the layer's values under the brush, the ring included.
    for (int channel = 0; channel < 2; ++channel)
        for (int c = -5; c <= 5; ++c)
            for (int b = -4; b <= 4; ++b)
                QCOMPARE(spectra->get(2, channel, 50 + c, 32 + b), original(channel, 50 + c, 32 + b));
    QCOMPARE(spectra->get(2, 0, 56, 32), QVector2D());
    QCOMPARE(spectra->get(2, 0, 50, 37), QVector2D());

    // Hovering on leaves the layer alone, with any strength or pressure setting.
    strength->setValue(-90);
    tablet->setChecked(false);
    send(at + 0.1f, freq, 0, 0.1f, 0, 0);
    QCOMPARE(spectra->writes[1], 0);
    for (int c = 0; c < 200; ++c)
        QVERIFY(layeris(0, c, 32, 1));
}

void TestRubout::strokeErasesFootprint()
{
    stroke(at, freq);
    // softness 0: weight 1 inside, 0 on the outermost offsets, nothing beyond.
    for (int channel = 0; channel < 2; ++channel)
        for (int frame = 40; frame <= 60; ++frame)
            for (int bin = 24; bin <= 40; ++bin) {
                const bool inside = std::abs(frame - 50) < 5 && std::abs(bin - 32) < 4;
                QVERIFY(layeris(channel, frame, bin, inside ? 1.0f / 16 : 1.0f));
            }
    // The mix is never touched, the eraser commits nothing, and the host
    // refuses none of its calls.
    for (int frame = 40; frame <= 60; ++frame)
        QCOMPARE(spectra->get(0, 0, frame, 32), QVector2D(3.0f, frame / 64.0f + 32));
    QCOMPARE(spectra->writes[0], 0);
    for (const HostSlots::Transfer& t : spectra->transfers)
        QCOMPARE(t.mode, 0);
    QVERIFY(norefusals());
    // The scratch buffer keeps the levels from before the stroke.
    QCOMPARE(spectra->get(2, 1, 52, 30), original(1, 52, 30));
}

void TestRubout::pressure_data()
{
    QTest::addColumn<bool>("usetablet");
    QTest::addColumn<float>("pressure");
    QTest::addColumn<float>("factor");
    QTest::newRow("full pressure") << true << 1.0f << 1.0f / 16;
    QTest::newRow("light pen erases more") << true << 0.25f << 1.0f / 64;
    QTest::newRow("pressure off") << false << 0.25f << 1.0f / 16;
}

void TestRubout::pressure()
{
    QFETCH(bool, usetablet);
    QFETCH(float, pressure);
    QFETCH(float, factor);
    tablet->setChecked(usetablet);
    stroke(at, freq, pressure);
    QVERIFY(layeris(0, 50, 32, factor));
    QVERIFY(layeris(1, 53, 29, factor));
}

void TestRubout::sameStrokeErasesOnce()
{
    // Away and back within one stroke: the cells under the start are passed
    // twice but erased by the strength once.
    send(at, freq, 0, 0, 0, 0);
    send(at, freq, 1, 0, 0, 1);
    send(at + 0.2f, freq, 1, 0.2f, 0, 0);
    send(at, freq, 1, -0.2f, 0, 0);
    send(at, freq, 0, 0, 0, -1);
    QVERIFY(layeris(0, 50, 32, 1.0f / 16));
    QVERIFY(layeris(0, 70, 32, 1.0f / 16));

    // A new stroke erases again.
    stroke(at, freq);
    QVERIFY(layeris(0, 50, 32, 1.0f / 256));
    QVERIFY(layeris(0, 70, 32, 1.0f / 16));
}

void TestRubout::strengthAndSoftness_data()
{
    QTest::addColumn<double>("strengthdb");
    QTest::addColumn<double>("softnesspercent");
    QTest::addColumn<int>("frameoffset");
    QTest::addColumn<int>("binoffset");
    QTest::addColumn<double>("weight");
    QTest::addColumn<double>("gain");
    QTest::newRow("0 dB changes nothing") << 0.0 << 50.0 << 0 << 0 << 1.0 << 1.0;
    QTest::newRow("-90 dB hard") << -90.0 << 0.0 << 4 << -3 << 1.0 << std::pow(2.0, -15);
    QTest::newRow("-90 dB hard, outermost") << -90.0 << 0.0 << -5 << 0 << 0.0 << std::pow(2.0, -15);
    QTest::newRow("pyramid centre") << -24.0 << 100.0 << 0 << 0 << 1 / 1.001 << 1.0 / 16;
    QTest::newRow("pyramid flank") << -24.0 << 100.0 << 2 << -1 << 0.6 / 1.001 << 1.0 / 16;
    QTest::newRow("flat top of 50 %") << -12.0 << 50.0 << 2 << 1 << 1.0 << 0.25;
    QTest::newRow("flank of 50 %") << -12.0 << 50.0 << 4 << 0 << 0.2 / 0.501 << 0.25;
}

void TestRubout::strengthAndSoftness()
{
    QFETCH(double, strengthdb);
    QFETCH(double, softnesspercent);
    QFETCH(int, frameoffset);
    QFETCH(int, binoffset);
    QFETCH(double, weight);
    QFETCH(double, gain);
    strength->setValue(strengthdb);
    softness->setValue(softnesspercent);
    stroke(at, freq);
    // The cell moves by the weight towards gain times its level.
    const int frame = 50 + frameoffset, bin = 32 + binoffset;
    const double expected = original(0, frame, bin).length() * (1 - weight + weight * gain);
    const double actual = spectra->get(1, 0, frame, bin).length();
    QVERIFY2(std::abs(actual - expected) <= 1e-6 * expected,
             qPrintable(QString("%1, expected %2").arg(actual).arg(expected)));
}

void TestRubout::settingsChangeTheBrush()
{
    freqrange->setValue(500); // bin offsets -8 .. 8
    timerange->setValue(0.16); // frame offsets -10 .. 10
    stroke(at, freq);
    QVERIFY(layeris(0, 50, 39, 1.0f / 16));
    QVERIFY(layeris(0, 50, 40, 1));
    QVERIFY(layeris(0, 59, 32, 1.0f / 16));
    QVERIFY(layeris(0, 60, 32, 1));

    // Same place, different strength, a new stroke: only that strength again.
    init();
    strength->setValue(-6);
    stroke(at, freq);
    QVERIFY(layeris(0, 50, 32, 0.5f));
}

void TestRubout::dragErasesThePath()
{
    // 0.3 s in one event: stamps at most half a brush apart cover the path.
    stroke(at, freq, 1.0f, 0.3f, 0);
    for (int frame = 46; frame <= 91; ++frame)
        QVERIFY(layeris(0, frame, 32, 1.0f / 16));
    QVERIFY(layeris(0, 44, 32, 1));
    QVERIFY(layeris(0, 95, 32, 1));
    // A slanted drag follows the frequency as well.
    init();
    stroke(at, freq, 1.0f, 0.2f, 500);
    QVERIFY(layeris(0, 50, 32, 1.0f / 16));
    QVERIFY(layeris(0, 75, 48, 1.0f / 16));
    QVERIFY(layeris(0, 75, 32, 1));
    QVERIFY(layeris(0, 50, 48, 1));
}

void TestRubout::topBinAndChannelMask()
{
    spectra->channelmask = 0b01;
    // Near the top the box reaches beyond bin 128; only real bins change.
    stroke(at, 3950, 1.0f);
    QVERIFY(norefusals());
    QVERIFY(layeris(0, 50, 126, 1.0f / 16));
    QVERIFY(layeris(0, 50, 128, 1.0f / 16));
    QVERIFY(layeris(0, 50, 0, 1)); // the Nyquist value shares bin 0's slot
    // The masked-off channel is neither erased nor read into the preview.
    for (int frame = 45; frame <= 55; ++frame)
        for (int bin = 120; bin <= 128; ++bin) {
            QVERIFY(layeris(1, frame, bin, 1));
            QCOMPARE(spectra->get(2, 1, frame, bin), QVector2D());
        }
}

void TestRubout::zeroSizeBrush()
{
    // No extent at all: nothing is stamped.
    timerange->setValue(0);
    freqrange->setValue(0);
    stroke(at, freq, 1.0f, 0.3f, 0);
    QCOMPARE(spectra->reads[1] + spectra->writes[1] + spectra->reads[2] + spectra->writes[2], 0);

    // No width: the time travel adds no stamps, so only the columns under the
    // press and under the pointer's last position are erased.
    init();
    timerange->setValue(0);
    stroke(at, freq, 1.0f, 0.3f, 0);
    const int last = int(std::floor(double(at + 0.3f) * 8000 / 64 + 0.5));
    QVERIFY(layeris(0, 50, 32, 1.0f / 16));
    QVERIFY(layeris(0, last, 32, 1.0f / 16));
    QVERIFY(layeris(0, last, 35, 1.0f / 16));
    QVERIFY(layeris(0, last, 36, 1));
    for (int frame = 51; frame < last; ++frame)
        QVERIFY(layeris(0, frame, 32, 1));
    QVERIFY(layeris(0, last + 1, 32, 1));
}

void TestRubout::settingsAreReadOnTheirThreadOnly()
{
#ifndef KV_CHECKED
    QSKIP("the check is in checked builds only");
#else
    // In a copy of this test: the settings taken on another thread, which
    // the check stops at once.
    if (qEnvironmentVariableIsSet("KV_TEST_OFFTHREAD")) {
        const std::unique_ptr<QThread> worker(QThread::create([this] { tooltest::takesettings(tool); }));
        worker->start();
        worker->wait();
        QFAIL("the settings were read off their thread and nothing stopped it");
    }
    tooltest::takesettings(tool); // on their thread, as the host takes them
    QProcess copy;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KV_TEST_OFFTHREAD", "1");
    copy.setProcessEnvironment(environment);
    copy.setProcessChannelMode(QProcess::MergedChannels);
    copy.start(QCoreApplication::applicationFilePath(), {"settingsAreReadOnTheirThreadOnly"});
    QVERIFY(copy.waitForFinished(60000));
    const QByteArray said = copy.readAll();
    QCOMPARE(copy.exitStatus(), QProcess::CrashExit);
    QVERIFY2(said.contains("QDoubleSpinBox \"\" used off its own thread"), said.constData());
#endif
}

void TestRubout::hostDeletesTheSettings()
{
    // The host owns the bar and deletes it with the widgets in it; the tool
    // then leaves the buffers alone, and destroying the plugin object frees
    // nothing twice.
    QPointer<QToolBar> bar = tool->toolbar;
    delete tool->toolbar;
    QVERIFY(!freqrange && !strength && !tablet);
    tool->toolbar = nullptr;
    send(at, freq, 0, 0, 0, 0);
    send(at, freq, 1, 0, 0, 1);
    QCOMPARE(spectra->reads[1] + spectra->reads[2] + spectra->writes[1] + spectra->writes[2], 0);
    QCOMPARE(spectra->transfers.size(), 0);

    QPointer<QObject> object = loader.instance();
    QVERIFY(loader.unload());
    QVERIFY(!object);
    tool = nullptr;
}

QTEST_MAIN(TestRubout)
#include "tst_rubout.moc"
