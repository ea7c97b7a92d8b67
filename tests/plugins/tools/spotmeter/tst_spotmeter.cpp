#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QPluginLoader>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

#include "graphrender.h"
#include "interfaces.h"
#include "plugins/tools/hostslots.h"

// The readout graph loaded from the build's installation root as the host
// loads it, with a main window of its own, driven on the program's own slot
// Buffers and callbacks. Project: 44100 Hz, window 4096, overlap 4 (hop 1024).
// The graph widgets in its window are read through their class declaration.
class TestSpotMeter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndBar();
    void graphWindow();
    void toolChoiceShowsTheWindow();
    void axisSwapsTheRangeBox();
    void timeLine();
    void frequencyLine();
    void quantities_data();
    void quantities();
    void phaseVelocityOfATone_data();
    void phaseVelocityOfATone();
    void channelsShown();
    void emptyRangeAndFarPointer();
    void mainWindowTakesTheGraphAlong(); // last: it unloads the plugin

private:
    GraphRender* render(int channel) const;
    static QVector2D cellvalue(int buffer, int channel, int frame, int bin);
    static float decibels(QVector2D v) { return std::max(20 * std::log10(v.length()), -120.0f); }

    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    QObject* plugin = nullptr;
    std::unique_ptr<QWidget> mainwindow;
    std::unique_ptr<HostSlots> spectra;
    tooltest::SlotDriver host;
    QPointer<QPushButton> showgraph;
    QPointer<QDialog> dialog;
    QPointer<QComboBox> unitbox, axisbox;
    QPointer<QDoubleSpinBox> freqrange, timerange;
    QList<QPointer<QWidget>> renders;
};

constexpr int frame0 = 100, bin0 = 300;
const float time0 = frame0 * 1024 / 44100.0f;
const float freq0 = bin0 * 44100 / 4096.0f;

GraphRender* TestSpotMeter::render(int channel) const
{
    // The same declaration the plugin is built with.
    return static_cast<GraphRender*>(renders.value(channel).data());
}

QVector2D TestSpotMeter::cellvalue(int buffer, int channel, int frame, int bin)
{
    const float magnitude = 0.001f * (1 + (frame * 7 + bin * 3 + buffer * 11) % 50) * (channel + 1);
    const float phase = 0.1f * ((frame + bin + buffer) % 60) - 3;
    return {magnitude * std::cos(phase), magnitude * std::sin(phase)};
}

void TestSpotMeter::initTestCase()
{
    mainwindow = std::make_unique<QWidget>();
    QString error;
    tool = tooltest::loadtool(loader, QStringLiteral("spotmeter"), mainwindow.get(), error);
    QVERIFY2(tool, qPrintable(error));
    plugin = loader.instance();
    const QList<QWidget*> widgets = tooltest::settingwidgets(tool);
    QCOMPARE(widgets.size(), 1);
    showgraph = qobject_cast<QPushButton*>(widgets[0]);
    QVERIFY(showgraph);

    const QList<QDialog*> dialogs = mainwindow->findChildren<QDialog*>();
    QCOMPARE(dialogs.size(), 1);
    dialog = dialogs[0];
    for (QComboBox* box : dialog->findChildren<QComboBox*>())
        (box->count() == 5 ? unitbox : axisbox) = box;
    for (QDoubleSpinBox* box : dialog->findChildren<QDoubleSpinBox*>())
        (box->prefix() == "freq range:" ? freqrange : timerange) = box;
    QVERIFY(unitbox && axisbox && freqrange && timerange && unitbox != axisbox && freqrange != timerange);
    QList<QWidget*> graphs;
    for (QWidget* w : dialog->findChildren<QWidget*>())
        if (QByteArray(w->metaObject()->className()) == "GraphRender")
            graphs.append(w);
    QCOMPARE(graphs.size(), 8);
    std::sort(graphs.begin(), graphs.end(), [](QWidget* a, QWidget* b) {
        return static_cast<GraphRender*>(a)->channel < static_cast<GraphRender*>(b)->channel;
    });
    for (QWidget* w : graphs)
        renders.append(w);

    startlog("tools_spotmeter");
    spectra = std::make_unique<HostSlots>(44100, 4096, 4, 2, 200);
    spectra->paint(0, [](int c, int f, int b) { return cellvalue(0, c, f, b); });
    spectra->paint(1, [](int c, int f, int b) { return cellvalue(1, c, f, b); });
    spectra->paint(2, [](int c, int f, int b) { return cellvalue(2, c, f, b); });
    host.tool = tool;
}

void TestSpotMeter::init()
{
    if (!spectra)
        return;
    spectra->install();
    host.spectra = spectra.get();
    spectra->channelmask = 0b11;
    spectra->resetcounts();
    tool->colormix = QColor(1, 2, 3);
    tool->colorselect = QColor(4, 5, 6);
    tool->colorclipboard = QColor(7, 8, 9);
    if (unitbox) {
        unitbox->setCurrentIndex(0);
        axisbox->setCurrentIndex(0);
        timerange->setValue(1);
        freqrange->setValue(4000);
    }
}

void TestSpotMeter::identityAndBar()
{
    const QString difference = tooltest::Identity{"Info Graph", "Info", "Graph"}.describe(tool);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(showgraph->text(), QString("Show Graph"));
    QVERIFY(showgraph->isCheckable());
    QVERIFY(!showgraph->isChecked());
    const QMetaObject* meta = plugin->metaObject();
    QStringList methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        methods << meta->method(i).methodSignature();
    QCOMPARE(methods, (QStringList{"visible(bool)", "dialogclosed(int)", "dialogfocuslost()", "unitchanged(QString)"}));
}

void TestSpotMeter::graphWindow()
{
    QCOMPARE(dialog->parentWidget(), mainwindow.get());
    QCOMPARE(dialog->windowTitle(), QString("Graph"));
    QVERIFY(!(dialog->windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog->size(), QSize(500, 300));
    QCOMPARE(dialog->baseSize(), QSize(200, 200));
    QVERIFY(!dialog->isVisible());

    auto* grid = qobject_cast<QGridLayout*>(dialog->layout());
    QVERIFY(grid);
    QCOMPARE(grid->contentsMargins(), QMargins(2, 2, 2, 2));
    int row, column, rowspan, columnspan;
    grid->getItemPosition(grid->indexOf(renders[0]->parentWidget()), &row, &column, &rowspan, &columnspan);
    QCOMPARE(QList<int>({row, column, rowspan, columnspan}), QList<int>({0, 0, 1, 3}));
    QVERIFY(grid->indexOf(unitbox) >= 0 && grid->indexOf(axisbox) >= 0);
    grid->getItemPosition(grid->indexOf(unitbox), &row, &column, &rowspan, &columnspan);
    QCOMPARE(QList<int>({row, column}), QList<int>({1, 0}));
    grid->getItemPosition(grid->indexOf(axisbox), &row, &column, &rowspan, &columnspan);
    QCOMPARE(QList<int>({row, column}), QList<int>({1, 1}));
    for (QWidget* box : {static_cast<QWidget*>(timerange), static_cast<QWidget*>(freqrange)}) {
        grid->getItemPosition(grid->indexOf(box), &row, &column, &rowspan, &columnspan);
        QCOMPARE(QList<int>({row, column}), QList<int>({1, 2}));
    }

    for (int c = 0; c < 8; ++c) {
        QCOMPARE(render(c)->channel, c);
        QVERIFY(render(c)->isHidden());
        QCOMPARE(render(c)->parentWidget(), renders[0]->parentWidget());
    }
    QCOMPARE(renders[0]->parentWidget()->layout()->contentsMargins(), QMargins(2, 2, 2, 2));

    QStringList units;
    for (int i = 0; i < unitbox->count(); ++i)
        units << unitbox->itemText(i);
    QCOMPARE(units, (QStringList{"Power dB", "Power Value", "Phase Radian", "Phase Degree", "Relative Phase Vel."}));
    // Fixed widths of at least 100 and 60 pixels, wider when the texts need it.
    QCOMPARE(unitbox->minimumWidth(), unitbox->maximumWidth());
    QVERIFY(unitbox->maximumWidth() >= 100);
    QCOMPARE(unitbox->view()->minimumWidth(), 140);
    QCOMPARE(unitbox->maximumHeight(), 20);
    QCOMPARE(axisbox->count(), 2);
    QCOMPARE(axisbox->itemText(0), QString("Time"));
    QCOMPARE(axisbox->itemText(1), QString("Freq."));
    QCOMPARE(axisbox->minimumWidth(), axisbox->maximumWidth());
    QVERIFY(axisbox->maximumWidth() >= 60);
    QCOMPARE(axisbox->maximumHeight(), 20);

    const QString freq = tooltest::Spin{0, 10000, 10, 0, 4000, "freq range:", " Hz", ""}.describe(freqrange);
    QVERIFY2(freq.isEmpty(), qPrintable(freq));
    const QString time = tooltest::Spin{0.1, 10, 0.1, 2, 1, "time range:", "s", ""}.describe(timerange);
    QVERIFY2(time.isEmpty(), qPrintable(time));
    QCOMPARE(freqrange->maximumHeight(), 20);
    QCOMPARE(timerange->maximumHeight(), 20);
}

void TestSpotMeter::toolChoiceShowsTheWindow()
{
    // The host shows the tool's bar when the tool is chosen: the window opens.
    tool->toolbar->show();
    QVERIFY(showgraph->isChecked());
    QVERIFY(dialog->isVisible());
    // Another tool: the bar goes, and the window with it.
    tool->toolbar->hide();
    QVERIFY(!showgraph->isChecked());
    QVERIFY(!dialog->isVisible());
    // The button alone opens it; closing the window releases the button.
    showgraph->setChecked(true);
    QVERIFY(dialog->isVisible());
    dialog->close();
    QVERIFY(!showgraph->isChecked());
    QVERIFY(!dialog->isVisible());
    showgraph->setChecked(true);
    QVERIFY(QMetaObject::invokeMethod(plugin, "dialogfocuslost"));
    QVERIFY(!showgraph->isChecked());
    QVERIFY(!dialog->isVisible());
}

void TestSpotMeter::axisSwapsTheRangeBox()
{
    QVERIFY(freqrange->isHidden());
    QVERIFY(!timerange->isHidden());
    axisbox->setCurrentIndex(1);
    QVERIFY(!freqrange->isHidden());
    QVERIFY(timerange->isHidden());
    axisbox->setCurrentIndex(0);
    QVERIFY(freqrange->isHidden());
    QVERIFY(!timerange->isHidden());
}

void TestSpotMeter::timeLine()
{
    // 1 s at 44100 Hz and hop 1024: 43 frames, from 21 before the pointer's.
    QVERIFY(host.send(time0, freq0, 0, 0, 0, 0));
    QCOMPARE(spectra->writes[0] + spectra->writes[1] + spectra->writes[2], 0);
    QCOMPARE(spectra->transfers.size(), 0);
    QCOMPARE(spectra->reads[0], 43 * 2);
    for (int c = 0; c < 2; ++c) {
        GraphRender* r = render(c);
        QVERIFY(!r->isHidden());
        QCOMPARE(r->numvalues, 43);
        QCOMPARE(r->startvalue, time0 - 0.5f);
        QCOMPARE(r->endvalue, time0 + 0.5f);
        QCOMPARE(r->bottomvalue, -90.0f);
        QCOMPARE(r->topvalue, -10.0f);
        QCOMPARE(r->horizontalunit, QString("s"));
        QCOMPARE(r->verticalunit, QString("dB"));
        QCOMPARE(r->colormix, QColor(1, 2, 3));
        QCOMPARE(r->colorselect, QColor(4, 5, 6));
        QCOMPARE(r->colorclipboard, QColor(7, 8, 9));
        for (int i = 0; i < 43; ++i) {
            const int frame = frame0 - 21 + i;
            QCOMPARE(r->arraymix[i], decibels(cellvalue(0, c, frame, bin0)));
            QCOMPARE(r->arrayselect[i], decibels(cellvalue(1, c, frame, bin0)));
            QCOMPARE(r->arrayclip[i], decibels(cellvalue(2, c, frame, bin0)));
        }
    }
}

void TestSpotMeter::frequencyLine()
{
    // 4000 Hz at window 4096: 372 bins, from 186 below the pointer's.
    axisbox->setCurrentIndex(1);
    QVERIFY(host.send(time0, freq0, 1, 0.1f, 5, 1));
    GraphRender* r = render(1);
    QCOMPARE(r->numvalues, 372);
    QCOMPARE(r->startvalue, freq0 - 2000);
    QCOMPARE(r->endvalue, freq0 + 2000);
    QCOMPARE(r->horizontalunit, QString("Hz"));
    for (int i = 0; i < 372; ++i) {
        const int bin = bin0 - 186 + i;
        QCOMPARE(r->arraymix[i], decibels(cellvalue(0, 1, frame0, bin)));
        QCOMPARE(r->arrayclip[i], decibels(cellvalue(2, 1, frame0, bin)));
    }
}

void TestSpotMeter::quantities_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<QVector2D>("cell");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("bottom");
    QTest::addColumn<float>("top");
    QTest::addColumn<QString>("verticalunit");
    const QVector2D v(0.03f, -0.04f);
    QTest::newRow("power dB") << 0 << v << float(20 * std::log10(0.05)) << -90.f << -10.f << "dB";
    QTest::newRow("power dB of silence") << 0 << QVector2D() << -120.f << -90.f << -10.f << "dB";
    QTest::newRow("power value") << 1 << v << 0.05f << 0.f << 0.08f << "";
    QTest::newRow("phase radian") << 2 << v << float(std::atan2(-0.04, 0.03)) << -3.14f << 3.14f << "rad";
    QTest::newRow("phase degree") << 3 << v << float(std::atan2(-0.04, 0.03) * 180 / std::numbers::pi) << -180.f
                                  << 180.f << "deg";
    QTest::newRow("phase of silence") << 2 << QVector2D() << 0.f << -3.14f << 3.14f << "rad";
}

void TestSpotMeter::quantities()
{
    QFETCH(int, unit);
    QFETCH(QVector2D, cell);
    QFETCH(float, value);
    QFETCH(float, bottom);
    QFETCH(float, top);
    QFETCH(QString, verticalunit);
    HostSlots flat(8000, 256, 4, 1, 40);
    flat.paint(1, [&](int, int, int) { return cell; });
    flat.channelmask = 1;
    host.spectra = &flat;
    unitbox->setCurrentIndex(unit);
    timerange->setValue(0.1); // 12.5 frames: 13 points
    QVERIFY(host.send(0.16f, 1000, 0, 0, 0, 0));
    GraphRender* r = render(0);
    QCOMPARE(r->numvalues, 13);
    QCOMPARE(r->bottomvalue, bottom);
    QCOMPARE(r->topvalue, top);
    QCOMPARE(r->verticalunit, verticalunit);
    for (int i = 0; i < 13; ++i) {
        QVERIFY2(std::abs(r->arrayselect[i] - value) <= 1e-4f * std::max(1.0f, std::abs(value)),
                 qPrintable(QString("%1, expected %2").arg(r->arrayselect[i]).arg(value)));
        QCOMPARE(r->arraymix[i], unit == 0 ? -120.0f : 0.0f); // the mix is silent
    }
}

void TestSpotMeter::phaseVelocityOfATone_data()
{
    QTest::addColumn<double>("offset");
    QTest::newRow("at the bin's centre") << 0.0;
    QTest::newRow("a quarter bin above") << 0.25;
    QTest::newRow("a third bin below") << -1.0 / 3;
}

void TestSpotMeter::phaseVelocityOfATone()
{
    // A tone whose phase advances by 2 pi (k + offset) / overlap per hop, as
    // the analysis of a sinusoid at bin k + offset gives it.
    QFETCH(double, offset);
    const int k = 20;
    HostSlots tone(8000, 256, 4, 1, 40);
    tone.paint(0, [&](int, int frame, int bin) {
        const double phase = std::fmod(frame * 2 * std::numbers::pi * (bin + offset) / 4, 2 * std::numbers::pi);
        return QVector2D(float(std::cos(phase + 0.3)), float(std::sin(phase + 0.3)));
    });
    tone.channelmask = 1;
    host.spectra = &tone;
    unitbox->setCurrentIndex(4);
    timerange->setValue(0.1);
    QVERIFY(host.send(0.16f, k * 31.25f, 0, 0, 0, 0));
    GraphRender* r = render(0);
    QCOMPARE(r->verticalunit, QString("rad/win"));
    QCOMPARE(r->bottomvalue, -6.28f);
    QCOMPARE(r->topvalue, 6.28f);
    QCOMPARE(r->numvalues, 13);
    const float expected = float(2 * std::numbers::pi * offset);
    for (int i = 0; i < 13; ++i)
        QVERIFY2(std::abs(r->arraymix[i] - expected) < 2e-3f,
                 qPrintable(QString("%1, expected %2").arg(r->arraymix[i]).arg(expected)));
    // Frequency axis: each bin against its own expected advance.
    axisbox->setCurrentIndex(1);
    freqrange->setValue(200); // 6.4 bins: 6 points
    QVERIFY(host.send(0.16f, k * 31.25f, 0, 0, 0, 0));
    QCOMPARE(r->numvalues, 6);
    for (int i = 0; i < 6; ++i)
        QVERIFY(std::abs(r->arraymix[i] - expected) < 2e-3f);
}

void TestSpotMeter::channelsShown()
{
    HostSlots three(8000, 256, 4, 3, 40);
    three.channelmask = 0b101;
    host.spectra = &three;
    timerange->setValue(0.1); // 13 points
    QVERIFY(host.send(0.16f, 1000, 0, 0, 0, 0));
    QVERIFY(!render(0)->isHidden());
    QVERIFY(render(1)->isHidden());
    QVERIFY(!render(2)->isHidden());
    for (int c = 3; c < 8; ++c)
        QVERIFY(render(c)->isHidden());
    // Masked channels are not read.
    QCOMPARE(three.reads[0], 13 * 2);

    // Back to a two-channel project: the third channel's graph goes.
    spectra->install();
    host.spectra = spectra.get();
    QVERIFY(host.send(time0, freq0, 0, 0, 0, 0));
    QVERIFY(!render(0)->isHidden());
    QVERIFY(!render(1)->isHidden());
    QVERIFY(render(2)->isHidden());
}

void TestSpotMeter::emptyRangeAndFarPointer()
{
    // No bins in the range: the graphs show their outline only.
    axisbox->setCurrentIndex(1);
    freqrange->setValue(0);
    QVERIFY(host.send(time0, freq0, 0, 0, 0, 0));
    QVERIFY(!render(0)->isHidden());
    QCOMPARE(render(0)->numvalues, 0);
    QCOMPARE(spectra->reads[0], 0);

    // Before the first frame and below 0 Hz nothing is asked of the host.
    axisbox->setCurrentIndex(0);
    QVERIFY(host.send(-5.0f, -300, 0, 0, 0, 0));
    QVERIFY(norefusals());
    QCOMPARE(render(0)->numvalues, 43);
    for (float v : render(0)->arraymix)
        QCOMPARE(v, -120.0f);
    // At the unset time, far beyond any frame index, the line stops at the
    // largest index instead of running over; it reads silence.
    QVERIFY(host.send(2147418112.0f, freq0, 0, 0, 0, 0));
    QCOMPARE(render(1)->numvalues, 43);
    for (float v : render(1)->arrayselect)
        QCOMPARE(v, -120.0f);
}

void TestSpotMeter::mainWindowTakesTheGraphAlong()
{
    // The graph window goes with the main window; the tool then draws
    // nothing, and the plugin object goes without freeing anything twice.
    mainwindow.reset();
    QVERIFY(!dialog && !unitbox && !renders[0]);
    QVERIFY(host.send(time0, freq0, 0, 0, 0, 0));
    QCOMPARE(spectra->reads[0], 0);
    delete tool->toolbar;
    tool->toolbar = nullptr;
    QPointer<QObject> object = plugin;
    QVERIFY(loader.unload());
    QVERIFY(!object);
    tool = nullptr;
}

QTEST_MAIN(TestSpotMeter)
#include "tst_spotmeter.moc"
