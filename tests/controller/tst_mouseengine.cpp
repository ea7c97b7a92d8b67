// The interaction engine with the real controller, views and eraser plugin:
// a stroke that ends outside the views, the tool's action data, and the pan,
// zoom and selection modes.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPluginLoader>
#include <QPushButton>
#include <QToolBar>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <random>
#include <vector>

#include "app/mainwindow.h"
#include "controller/spectrumgui.h"
#include "core/buffer.h"
#include "core/callbacks.h"
#include "core/layer.h"
#include "core/log.h"
#include "panels/layersgui.h"
#include "sdk/interfaces.h"
#include "testsupport.h"

namespace {

layer* noiselayer(int rate, double seconds)
{
    auto* l = new layer();
    l->resample(rate, 1, 0);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-0.3f, 0.3f);
    std::vector<float> data(size_t(seconds * rate));
    for (float& v : data)
        v = uniform(random);
    l->write(data.data(), 0, seconds);
    return l;
}



} // namespace

class TestMouseEngine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(loginit(2));
        registerlayermetatype();
        registerinterfacetypes();
        loader.setFileName(QStringLiteral(KV_TEST_ROOT) + "/Plugins/Tools/rubout.so");
        QVERIFY2(loader.load(), qPrintable(loader.errorString()));
        tool = qobject_cast<ToolInterface*>(loader.instance());
        QVERIFY(tool);
        QVERIFY(tool->initialize(loader.fileName(), nullptr));
    }

    void init()
    {
        window = new MainWindow();
        window->resize(800, 600);
        gui = new SpectrumGui(window);
        panel = new LayersGui(window);
        current = noiselayer(8000, 2.0);
        panel->alllayers = new layer();
        panel->alllayers->resample(8000, 1, 0);
        panel->mixlayer = new layer();
        panel->mixlayer->resample(8000, 1, 0);
        panel->alllayers->addchild(current);
        panel->mixlayer->addchild(current);
        QVERIFY(gui->bindlayer(0, panel->mixlayer));
        QVERIFY(gui->bindlayer(1, current));
        sizes = new QComboBox(window);
        for (int size = 64; size <= 65536; size *= 2)
            sizes->addItem(QString::number(size), size);
        connect(sizes, &QComboBox::currentIndexChanged, gui, &SpectrumGui::infftsize);
        sizes->setCurrentIndex(4); // 1024
        QCOMPARE(gui->fftsize, 1024);
        action = new QAction(window);
        action->setCheckable(true);
        action->setData(QVariant::fromValue(tool));
        connect(action, &QAction::toggled, gui, &SpectrumGui::intool);
        action->setChecked(true);
        QCOMPARE(gui->tool, tool);
    }

    void cleanup()
    {
        delete gui;
        gui = nullptr;
        delete panel;
        panel = nullptr;
        delete window;
        window = nullptr;
        delete current;
        current = nullptr;
    }

    void releaseOutsideEndsTheStroke()
    {
        QSignalSpy backups(gui, &SpectrumGui::outbackuplayer);
        gui->inmouseevent(QPointF(1.0, 2000), 1, 0, 0, false);
        gui->inmouseevent(QPointF(1.02, 2000), 1, 0, 0, false);
        gui->inmouseevent(QPointF(unsettime, unsettime), 0, 0, -1, false);
        QCOMPARE(backups.count(), 1);
        delete backups[0][3].value<layer*>();
        delete backups[0][4].value<layer*>();
    }

    void wrongToolData()
    {
        QAction other;
        other.setCheckable(true);
        other.setData(42);
        connect(&other, &QAction::toggled, gui, &SpectrumGui::intool);
        other.setChecked(true);
        QVERIFY(!gui->tool);
        gui->intool(true); // no sender: nothing chosen
        QVERIFY(!gui->tool);
    }

    void zoomTime_data()
    {
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("length");
        QTest::newRow("left by a third doubles") << -1.0 / 3 << 2.0;
        QTest::newRow("right by a sixth halves") << 1.0 / 6 << 0.5;
    }

    void zoomTime()
    {
        QFETCH(double, step);
        QFETCH(double, length);
        action->setChecked(false);
        gui->indisplayarea(QRectF(0.5, 4000, 1.0, -4000));
        const QRectF a = gui->displayarea;
        gui->panzoommode = 4;
        gui->inmouseevent(QPointF(1.0, 2000), 0, 0, 0, false);
        gui->inmouseevent(QPointF(1.0 + step * a.width(), 2000), 1, 0, 0, false);
        QVERIFY2(std::fabs(gui->displayarea.width() - length * a.width()) < 1e-6,
                 qPrintable(QString::number(gui->displayarea.width())));
        QCOMPARE(gui->displayarea.height(), a.height());
    }

    void panTime()
    {
        action->setChecked(false);
        gui->indisplayarea(QRectF(0.5, 4000, 1.0, -4000));
        gui->panzoommode = 1;
        gui->inmouseevent(QPointF(1.0, 2000), 0, 0, 0, false);
        gui->inmouseevent(QPointF(0.9, 1000), 1, 0, 0, false);
        QVERIFY(std::fabs(gui->displayarea.x() - 0.6) < 1e-9);
        QCOMPARE(gui->displayarea.y(), 4000.0);
        QCOMPARE(gui->mouseposition, QPointF(1.0, 2000));
    }

    void selectionRectangle()
    {
        action->setChecked(false);
        gui->selectionmode = 0;
        QSignalSpy spy(gui, &SpectrumGui::outselection);
        gui->inmouseevent(QPointF(0.5, 3000), 1, 0, 0, false);
        QCOMPARE(selection, QRectF(0, 0, 0, 0));
        gui->inmouseevent(QPointF(0.2, 3500), 1, 0, 0, false);
        QCOMPARE(selection, QRectF(0.2, 3500, 0.3, -500));
        QCOMPARE(gui->timecursor, 0.2);
        QCOMPARE(spy.count(), 2);
    }

private:
    QPluginLoader loader;
    ToolInterface* tool = nullptr;
    MainWindow* window = nullptr;
    SpectrumGui* gui = nullptr;
    LayersGui* panel = nullptr;
    layer* current = nullptr;
    QComboBox* sizes = nullptr;
    QAction* action = nullptr;
};

QTEST_MAIN(TestMouseEngine)
#include "tst_mouseengine.moc"
