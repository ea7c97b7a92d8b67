// The eraser through the whole window: a noise file in a layer, the eraser
// chosen on the Tools tool bar, a drag across a channel view with the mouse
// or a pen, and the history entry that undoes and redoes it; a long step of
// a wide brush during which the window goes on taking events.
#include <QAction>
#include <QDoubleSpinBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QComboBox>
#include <QTabletEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <cmath>
#include <vector>

#include "controller/spectrumgui.h"
#include "core/layer.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "panels/qtreewidgetext.h"
#include "sdk/interfaces.h"
#include "view/glchannel.h"
#include "strokerig.h"

using namespace strokes;

namespace {
constexpr double seconds = 3.0;
} // namespace

class TestEraseStroke : public QObject
{
    Q_OBJECT
    std::unique_ptr<WindowRig> rig;
    layer* noise = nullptr;
    GLChannel* view = nullptr;
    QAction* eraser = nullptr;
    QPointingDevice pen{"pen", 7, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
                        QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 2};

    QPointF pixel(double t, double f) const
    {
        const QRectF a = view->displayarea;
        return QPointF((t - a.x()) / a.width() * view->width(), (f - a.y()) / a.height() * view->height());
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, at, view->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
    }
    void tablet(QEvent::Type type, QPointF at, qreal pressure)
    {
        QTabletEvent event(type, &pen, at, view->mapToGlobal(at), pressure, 0, 0, 0, 0, 0, Qt::NoModifier,
                           type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton,
                           type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton);
        QApplication::sendEvent(view, &event);
    }
    // Hover, press, drag in steps and release along f from t0 to t1; with a
    // pen pressure above 0 every press and move carries that pressure.
    void drag(double t0, double t1, double f, qreal penpressure = 0)
    {
        mouse(QEvent::MouseMove, pixel(t0, f), Qt::NoButton, Qt::NoButton);
        if (penpressure > 0)
            tablet(QEvent::TabletPress, pixel(t0, f), penpressure);
        mouse(QEvent::MouseButtonPress, pixel(t0, f), Qt::LeftButton, Qt::LeftButton);
        const int steps = 20;
        for (int i = 1; i <= steps; ++i) {
            const QPointF at = pixel(t0 + (t1 - t0) * i / steps, f);
            if (penpressure > 0)
                tablet(QEvent::TabletMove, at, penpressure);
            mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        }
        mouse(QEvent::MouseButtonRelease, pixel(t1, f), Qt::LeftButton, Qt::NoButton);
    }
    QDoubleSpinBox* setting(const QString& prefix, const QString& suffix) const
    {
        ToolInterface* tool = eraser->data().value<ToolInterface*>();
        for (auto* box : tool->toolbar->findChildren<QDoubleSpinBox*>())
            if (box->prefix() == prefix && box->suffix() == suffix)
                return box;
        return nullptr;
    }

private slots:
    void init();
    void cleanup();
    void strokeErasesUndoesAndRedoes();
    void penPressureErasesMore();
    void eventsDuringALongStepComeAfterIt();
};

void TestEraseStroke::init()
{
    cleanup(); // a failed init leaves its window behind
    rig = std::make_unique<WindowRig>(QStringLiteral(KV_TEST_ROOT));
    (*rig)->resize(1280, 800);
    (*rig)->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig->window.get(), 30000));

    // A noise file imported through the layer panel, as a user would.
    const QString wav = QDir::tempPath() + "/noise.wav";
    QVERIFY(soxfile(wav, seconds, {"whitenoise"}, 0.3));
    layersgui->Import(wav, QString());
    QCOMPARE(layersgui->tree->topLevelItemCount(), 1);
    layersgui->ItemClicked(layersgui->tree->topLevelItem(0), 3);
    noise = slottable.bound[1];
    QVERIFY(noise);
    QCOMPARE(noise->samplerate, rate);

    for (QAction* a : (*rig)->toolactions)
        if (a->data().value<ToolInterface*>() && a->data().value<ToolInterface*>()->label == "Eraser")
            eraser = a;
    QVERIFY(eraser);
    QVERIFY(eraser->isEnabled());
    eraser->trigger();
    QVERIFY(eraser->isChecked());

    view = spectrumgui->view(0);
    QVERIFY(view && view->isVisible());
    // A brush much wider than the analysis window's main lobe, so that the
    // erased band keeps its depth when the samples are analysed again.
    QDoubleSpinBox* freqrange = setting("freq range:", " Hz");
    QDoubleSpinBox* timerange = setting("time range:", "s");
    QDoubleSpinBox* softness = setting("softness:", "%");
    QVERIFY(freqrange && timerange && softness);
    freqrange->setValue(2000);
    timerange->setValue(0.4);
    softness->setValue(20);
}

void TestEraseStroke::cleanup()
{
    if (rig && rig->window)
        (*rig)->close();
    rig.reset();
    noise = nullptr; // the layer panel's
}

void TestEraseStroke::strokeErasesUndoesAndRedoes()
{
    const QByteArray before = filebytes(noise);
    QCOMPARE(before.size(), qsizetype(seconds * rate) * 4);
    QSignalSpy backups(spectrumgui, &SpectrumGui::outbackuplayer);

    // Hovering shows the brush in the clipboard slot and never writes the layer.
    for (double t = 1.0; t <= 2.0; t += 0.1)
        mouse(QEvent::MouseMove, pixel(t, 5000), Qt::NoButton, Qt::NoButton);
    QCOMPARE(filebytes(noise), before);
    QCOMPARE(backups.count(), 0);

    drag(1.0, 2.0, 5000);
    QCOMPARE(backups.count(), 1);
    QCOMPARE(backups[0][1].toString(), QStringLiteral("Eraser"));
    QCOMPARE(backups[0][2].value<layer*>(), noise);

    const QByteArray erased = filebytes(noise);
    const std::vector<float> a = samples(before), b = samples(erased);
    QCOMPARE(b.size(), a.size());
    // The stroke's band, away from its soft edges, is lowered by the
    // strength (-24 dB); other bands at the same time keep their level.
    const double inside = db(bandenergy(b, 1.15, 1.85, 4700, 5300) / bandenergy(a, 1.15, 1.85, 4700, 5300));
    QVERIFY2(inside < -21 && inside > -27, qPrintable(QString::number(inside)));
    const double above = db(bandenergy(b, 1.15, 1.85, 9000, 10000) / bandenergy(a, 1.15, 1.85, 9000, 10000));
    QVERIFY2(std::fabs(above) < 0.1, qPrintable(QString::number(above)));
    const double below = db(bandenergy(b, 1.15, 1.85, 1000, 2000) / bandenergy(a, 1.15, 1.85, 1000, 2000));
    QVERIFY2(std::fabs(below) < 0.1, qPrintable(QString::number(below)));
    // Away from the stroke (its half width and one window) nothing moved.
    QVERIFY(largestdifference(a, b, 0, 0.7) < 1e-5);
    QVERIFY(largestdifference(a, b, 2.3, seconds) < 1e-5);

    // One history entry, undone and redone from the window's actions.
    QCOMPARE(historygui->tree->topLevelItemCount(), 2);
    QCOMPARE(historygui->tree->topLevelItem(1)->text(1), QStringLiteral("Eraser"));
    (*rig)->undoact->trigger();
    QCOMPARE(filebytes(noise), before);
    (*rig)->redoact->trigger();
    QCOMPARE(filebytes(noise), erased);
    QCOMPARE(historygui->current, historygui->tree->topLevelItem(1));
}

void TestEraseStroke::penPressureErasesMore()
{
    const QByteArray before = filebytes(noise);
    QTabletEvent near(QEvent::TabletEnterProximity, &pen, QPointF(), QPointF(), 0, 0, 0, 0, 0, 0, Qt::NoModifier,
                      Qt::NoButton, Qt::NoButton);
    view->tabletEvent(&near); // what the application object hands on

    drag(0.6, 1.0, 5000, 1.0);
    drag(2.0, 2.4, 5000, 0.25);
    const std::vector<float> a = samples(before), b = samples(filebytes(noise));
    const double full = db(bandenergy(b, 0.65, 0.95, 4700, 5300) / bandenergy(a, 0.65, 0.95, 4700, 5300));
    const double light = db(bandenergy(b, 2.05, 2.35, 4700, 5300) / bandenergy(a, 2.05, 2.35, 4700, 5300));
    // A quarter of the pressure is a quarter of the gain: 12 dB deeper.
    QVERIFY2(full < -21 && full > -27, qPrintable(QString::number(full)));
    QVERIFY2(std::fabs(light - (full - 12)) < 1.5, qPrintable(QString("%1 vs %2").arg(light).arg(full)));
}

void TestEraseStroke::eventsDuringALongStepComeAfterIt()
{
    // A wide brush at a long window: every step is a heavy one.
    (*rig)->fftsizebox->setCurrentIndex((*rig)->fftsizebox->findData(65536));
    (*rig)->fftoverlapbox->setCurrentIndex((*rig)->fftoverlapbox->findData(16));
    setting("freq range:", " Hz")->setValue(10000);
    // Escape comes as a key press, which the window's shortcut takes only
    // while the window is the active one.
    rig->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig->window.get(), 30000));
    const QByteArray before = filebytes(noise);
    mouse(QEvent::MouseMove, pixel(0.5, 5000), Qt::NoButton, Qt::NoButton);
    mouse(QEvent::MouseButtonPress, pixel(0.5, 5000), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(spectrumgui->mousepressure > 0);

    // The next step cannot write the layer back while this thread holds the
    // layers' lock: it lasts until the window has taken a move and Escape,
    // however fast the machine. They must be taken up after it, in order.
    layermutex.lock();
    bool held = true, given = false;
    const auto release = qScopeGuard([&] {
        if (held)
            layermutex.unlock();
    });
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
        if (!spectrumgui->strokerunning || given)
            return;
        given = true;
        mouse(QEvent::MouseMove, pixel(2.5, 5000), Qt::NoButton, Qt::LeftButton);
        QTest::keyClick(view, Qt::Key_Escape);
        held = false;
        layermutex.unlock();
    });
    timer.start(0);
    mouse(QEvent::MouseMove, pixel(0.6, 5000), Qt::NoButton, Qt::LeftButton);
    timer.stop();
    QVERIFY2(given, "the step ended without the window taking events meanwhile");
    // The move erased the way to 2.5 s; Escape ended the stroke there and
    // put the eraser away.
    const std::vector<float> a = samples(before), b = samples(filebytes(noise));
    const double way = db(bandenergy(b, 1.9, 2.3, 4700, 5300) / bandenergy(a, 1.9, 2.3, 4700, 5300));
    QVERIFY2(way < -15, qPrintable(QString("the move given during the step erased %1 dB").arg(way)));
    QVERIFY2(!eraser->isChecked(), "Escape given during the step did not end the stroke");
    QCOMPARE(historygui->tree->topLevelItem(historygui->tree->topLevelItemCount() - 1)->text(1), "Eraser");
}

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestEraseStroke test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_erasestroke.moc"
