// The brush tools that commit their stroke, through the real controller: the
// host refreshes their block before every event, the core's buffers and area
// transfer carry their cells, and the current layer's samples show the
// result once the stroke has ended.
#include <QAction>
#include <QComboBox>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QPluginLoader>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolBar>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "app/mainwindow.h"
#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "core/log.h"
#include "panels/layersgui.h"
#include "plugins/tools/tooldriver.h"
#include "sdk/interfaces.h"
#include "testsupport.h"

namespace {

constexpr int rate = 8000;
constexpr double pi = 3.14159265358979;

// A mono layer of two seconds made by f(sample index).
layer* makelayer(const std::function<float(int)>& f)
{
    auto* l = new layer();
    l->resample(rate, 1, 0);
    std::vector<float> data(2 * rate);
    for (int i = 0; i < int(data.size()); ++i)
        data[i] = f(i);
    l->write(data.data(), 0, 2.0);
    return l;
}

float tone(int i, float amplitude)
{
    return amplitude * float(std::sin(2 * pi * 1000 * i / rate));
}

// The root mean square of a layer's samples from time a to time b.
double rms(layer* l, double a, double b)
{
    std::vector<float> data(size_t(std::lround((b - a) * rate)));
    l->read(data.data(), a, double(data.size()) / rate, 0, false);
    double sum = 0;
    for (float v : data)
        sum += double(v) * v;
    return std::sqrt(sum / data.size());
}

} // namespace

class TestStrokesInHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void regionpickCopiesFromTheMix();
    void gainbrushAmplifiesTheLayer();
    void hissgateExtractsOnlyRegisteredNoise();

private:
    // A project of the mix `mixed` and the current layer `current`, window 1024
    // with overlap 4, with the tool chosen.
    void open(layer* mixed, layer* currentlayer, ToolInterface* tool);
    // Hover, press, drag in steps of 0.1 s, release: a stroke along the 1000 Hz
    // line from time a to time b.
    void stroke(double a, double b);
    QDoubleSpinBox* spin(ToolInterface* tool, int index);

    QPluginLoader loaders[3];
    ToolInterface* regionpick = nullptr;
    ToolInterface* gainbrush = nullptr;
    ToolInterface* hissgate = nullptr;
    std::unique_ptr<QSignalSpy> backups;
    MainWindow* window = nullptr;
    SpectrumGui* gui = nullptr;
    LayersGui* panel = nullptr;
    layer* source = nullptr;
    layer* current = nullptr;
};

void TestStrokesInHost::initTestCase()
{
    kvtestfolders();
    QVERIFY(loginit(2));
    registerlayermetatype();
    registerinterfacetypes();
    ToolInterface** tools[] = {&regionpick, &gainbrush, &hissgate};
    const char* names[] = {"regionpick", "gainbrush", "hissgate"};
    for (int k = 0; k < 3; ++k) {
        QString error;
        *tools[k] = tooltest::loadtool(loaders[k], names[k], nullptr, error);
        QVERIFY2(*tools[k], qPrintable(error));
    }
}

void TestStrokesInHost::cleanupTestCase()
{
    for (ToolInterface* tool : {regionpick, gainbrush, hissgate})
        if (tool) {
            delete tool->toolbar;
            tool->toolbar = nullptr;
        }
}

void TestStrokesInHost::open(layer* mixed, layer* currentlayer, ToolInterface* tool)
{
    window = new MainWindow();
    window->resize(800, 600);
    gui = new SpectrumGui(window);
    panel = new LayersGui(window);
    source = mixed;
    current = currentlayer;
    // Made here, not edited: only the strokes are to mark them changed.
    source->resetdirty();
    current->resetdirty();
    panel->alllayers = new layer();
    panel->alllayers->resample(rate, 1, 0);
    panel->mixlayer = new layer();
    panel->mixlayer->resample(rate, 1, 0);
    panel->alllayers->addchild(source);
    panel->alllayers->addchild(current);
    panel->mixlayer->addchild(source);
    QVERIFY(gui->bindlayer(0, panel->mixlayer));
    QVERIFY(gui->bindlayer(1, current));
    // The window length and overlap come from their lists, as in the window.
    auto* sizes = new QComboBox(window);
    sizes->addItem(QStringLiteral("512"), 512);
    sizes->addItem(QStringLiteral("1024"), 1024);
    connect(sizes, &QComboBox::currentIndexChanged, gui, &SpectrumGui::infftsize);
    sizes->setCurrentIndex(1);
    auto* overlaps = new QComboBox(window);
    overlaps->addItem(QStringLiteral("2"), 2);
    overlaps->addItem(QStringLiteral("4"), 4);
    connect(overlaps, &QComboBox::currentIndexChanged, gui, &SpectrumGui::infftoverlap);
    overlaps->setCurrentIndex(1);
    QCOMPARE(gui->fftsize, 1024);
    QCOMPARE(gui->fftoverlap, 4);
    auto* action = new QAction(window);
    action->setCheckable(true);
    action->setData(QVariant::fromValue(tool));
    connect(action, &QAction::toggled, gui, &SpectrumGui::intool);
    action->setChecked(true);
    QCOMPARE(gui->tool, tool);
    backups = std::make_unique<QSignalSpy>(gui, &SpectrumGui::outbackuplayer);
}

void TestStrokesInHost::cleanup()
{
    if (backups)
        for (const QList<QVariant>& entry : *backups) {
            delete entry[3].value<layer*>();
            delete entry[4].value<layer*>();
        }
    backups.reset();
    delete gui;
    gui = nullptr;
    delete panel;
    panel = nullptr;
    delete window;
    window = nullptr;
    delete source;
    source = nullptr;
    delete current;
    current = nullptr;
}

void TestStrokesInHost::stroke(double a, double b)
{
    gui->inmouseevent(QPointF(a, 1000), 0, 0, 0, false);
    gui->inmouseevent(QPointF(a, 1000), 1, 0, 0, false);
    for (double t = a + 0.1; t < b + 0.05; t += 0.1)
        gui->inmouseevent(QPointF(std::min(t, b), 1000), 1, 0, 0, false);
    gui->inmouseevent(QPointF(b, 1000), 0, 0, 0, false);
}

QDoubleSpinBox* TestStrokesInHost::spin(ToolInterface* tool, int index)
{
    return qobject_cast<QDoubleSpinBox*>(tooltest::settingwidgets(tool).value(index));
}

void TestStrokesInHost::regionpickCopiesFromTheMix()
{
    open(makelayer([](int i) { return tone(i, 0.5f); }), makelayer([](int) { return 0.0f; }), regionpick);
    stroke(0.5, 1.2);
    // The painted stretch now holds the mix's tone; the rest stays silent.
    const double painted = rms(current, 0.7, 1.0);
    QVERIFY2(std::abs(painted - 0.5 / std::sqrt(2.0)) < 0.05, qPrintable(QString::number(painted)));
    QVERIFY2(rms(current, 1.6, 1.95) < 0.005, qPrintable(QString::number(rms(current, 1.6, 1.95))));
    QVERIFY(rms(current, 0.05, 0.3) < 0.005);
    QCOMPARE(backups->count(), 1);
    QCOMPARE(backups->at(0)[1].toString(), QString("Area"));
    // The mix is only read.
    QVERIFY(std::abs(rms(source, 0.7, 1.0) - 0.5 / std::sqrt(2.0)) < 0.01);
}

void TestStrokesInHost::gainbrushAmplifiesTheLayer()
{
    open(makelayer([](int) { return 0.0f; }), makelayer([](int i) { return tone(i, 0.1f); }), gainbrush);
    spin(gainbrush, 3)->setValue(6); // twice the level
    stroke(0.5, 1.2);
    const double quiet = 0.1 / std::sqrt(2.0);
    const double painted = rms(current, 0.7, 1.0);
    QVERIFY2(std::abs(painted - 2 * quiet) < 0.1 * quiet, qPrintable(QString::number(painted)));
    const double untouched = rms(current, 1.6, 1.95);
    QVERIFY2(std::abs(untouched - quiet) < 0.02 * quiet, qPrintable(QString::number(untouched)));
    QCOMPARE(backups->count(), 1);
    QCOMPARE(backups->at(0)[1].toString(), QString("Amplify"));
}

void TestStrokesInHost::hissgateExtractsOnlyRegisteredNoise()
{
    // Noise throughout; a loud tone on the same line from 1 s on.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> uniform(-0.05f, 0.05f);
    std::vector<float> noise(2 * rate);
    for (float& v : noise)
        v = uniform(random);
    open(makelayer([&](int i) { return noise[i] + (i >= rate ? tone(i, 0.5f) : 0.0f); }),
         makelayer([](int) { return 0.0f; }), hissgate);
    auto* registernoise = qobject_cast<QPushButton*>(tooltest::settingwidgets(hissgate).value(3));
    QVERIFY(registernoise);

    registernoise->setChecked(true);
    stroke(0.1, 0.9);
    registernoise->setChecked(false);
    // Registering writes nothing and leaves no history entry.
    QCOMPARE(rms(current, 0.0, 2.0), 0.0);
    QCOMPARE(backups->count(), 0);

    // Over the registered noise: the noise of the registered bins comes over.
    stroke(0.3, 0.7);
    const double noisy = rms(current, 0.35, 0.65);
    QVERIFY2(noisy > 0.001, qPrintable(QString::number(noisy)));
    // Over the tone: it is far above the gate and stays out.
    stroke(1.3, 1.7);
    const double tonal = rms(current, 1.35, 1.65);
    QVERIFY2(tonal < 0.2 * noisy, qPrintable(QString("%1 against %2").arg(tonal).arg(noisy)));
    // Only the stroke that changed the layer became a history entry.
    QCOMPARE(backups->count(), 1);
    QCOMPARE(backups->at(0)[1].toString(), QString("Noise (Manual Gate)"));
}

QTEST_MAIN(TestStrokesInHost)
#include "tst_strokesinhost.moc"
