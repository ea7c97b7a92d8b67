// Input over a shown channel view (full tier, Mesa under Xvfb): synthetic
// mouse, wheel, key, pen and drop events become mouse messages in seconds and
// Hz with the right pressure, key, channel and time-cursor flag; panning, the
// displacement drag and the wheel change the display; the echoed pressure is
// repeated; snapping follows the grid; and no OpenGL error is logged.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QSignalSpy>
#include <QTabletEvent>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <memory>

#include "glviewtestsupport.h"
#include "testsupport.h"
#include "view/viewcontextmenu.h"

namespace {

// 0..2 s over 400 pixels (200 px/s), 0..4 kHz over 300 pixels (0.075 px/Hz).
const QRectF area(0, 4000, 2, -4000);
const QPointF unset(2147418112.0, 2147418112.0);

struct MouseMessage
{
    QPointF position;
    float pressure;
    int key;
    int channel;
    bool timecursorarea;
};

// The controller's side of the round trip: it notes every message, echoes
// the position and pressure it accepts to the view, and takes display areas
// as they come.
class Controller : public QObject
{
public:
    QList<MouseMessage> messages;
    QList<QRectF> areas;
    bool echo = true;
    float echopressure = -1; // >= 0: echo this pressure instead of the event's

    explicit Controller(GLChannel* view)
    {
        connect(view, &GLChannel::outmouseevent, this,
                [this, view](QPointF p, float pressure, int key, qint32 channel, bool timearea) {
                    messages.append({p, pressure, key, channel, timearea});
                    if (echo)
                        view->inmouseevent(p, echopressure >= 0 ? echopressure : pressure);
                });
        connect(view, &GLChannel::outdisplayarea, this, [this, view](QRectF a) {
            areas.append(a);
            view->indisplayarea(a);
        });
    }

    MouseMessage last() const { return messages.isEmpty() ? MouseMessage{unset, -1, -1, -1, false} : messages.last(); }
};

void mouse(GLChannel* view, QEvent::Type type, QPointF pixel, Qt::MouseButton button, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, pixel, view->mapToGlobal(pixel), button, buttons, modifiers);
    QApplication::sendEvent(view, &event);
}

void press(GLChannel* view, QPointF pixel, Qt::MouseButton button, Qt::MouseButtons held = Qt::NoButton)
{
    mouse(view, QEvent::MouseButtonPress, pixel, button, held | button);
}

void release(GLChannel* view, QPointF pixel, Qt::MouseButton button, Qt::MouseButtons held = Qt::NoButton)
{
    mouse(view, QEvent::MouseButtonRelease, pixel, button, held);
}

void move(GLChannel* view, QPointF pixel, Qt::MouseButtons held = Qt::NoButton,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    mouse(view, QEvent::MouseMove, pixel, Qt::NoButton, held, modifiers);
}

void wheel(GLChannel* view, int delta, Qt::MouseButtons held = Qt::NoButton,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF pixel(100, 100);
    QWheelEvent event(pixel, view->mapToGlobal(pixel), QPoint(), QPoint(0, delta), held, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
}

void key(GLChannel* view, QEvent::Type type, int code)
{
    QKeyEvent event(type, code, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

bool near(QPointF a, QPointF b)
{
    return std::fabs(a.x() - b.x()) < 1e-9 && std::fabs(a.y() - b.y()) < 1e-6;
}

bool near(const QRectF& a, const QRectF& b)
{
    return std::fabs(a.x() - b.x()) < 1e-9 && std::fabs(a.width() - b.width()) < 1e-9
           && std::fabs(a.y() - b.y()) < 1e-6 && std::fabs(a.height() - b.height()) < 1e-6;
}

QString describe(const MouseMessage& m)
{
    return QString("(%1 s, %2 Hz) pressure %3 key %4 channel %5 area %6")
        .arg(m.position.x(), 0, 'g', 12)
        .arg(m.position.y(), 0, 'g', 12)
        .arg(m.pressure)
        .arg(m.key)
        .arg(m.channel)
        .arg(m.timecursorarea);
}

} // namespace

class TestGLChannelInput : public QObject
{
    Q_OBJECT
    std::unique_ptr<GLChannel> view;
    std::unique_ptr<Controller> controller;
    QPointingDevice pen{"pen", 7, QInputDevice::DeviceType::Stylus, QPointingDevice::PointerType::Pen,
                        QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 2};

    void tablet(QEvent::Type type, QPointF pixel, qreal pressure, Qt::MouseButton button, Qt::MouseButtons buttons,
                bool* accepted = nullptr)
    {
        QTabletEvent event(type, &pen, pixel, view->mapToGlobal(pixel), pressure, 0, 0, 0, 0, 0, Qt::NoModifier,
                           button, buttons);
        if (type == QEvent::TabletEnterProximity || type == QEvent::TabletLeaveProximity)
            view->tabletEvent(&event); // what the shell forwards from the application object
        else
            QApplication::sendEvent(view.get(), &event);
        if (accepted)
            *accepted = event.isAccepted();
    }

    // A hover move that the controller echoes, so that the view has a position.
    void hoverat(QPointF pixel)
    {
        move(view.get(), pixel);
        controller->messages.clear();
    }

private slots:
    void initTestCase()
    {
        kvtestfolders();
        QVERIFY(startlog());
        // The real pointer stays away from the views: only synthetic events reach them.
        QCursor::setPos(1590, 990);
    }

    void init()
    {
        unittime = -1;
        unitfreq = -10;
        mainwindowptr = nullptr;
        view = makeview(1);
        QVERIFY(view);
        view->indisplayarea(area);
        controller = std::make_unique<Controller>(view.get());
    }

    void cleanup()
    {
        controller.reset();
        view.reset();
        mainwindowptr = nullptr;
        QCOMPARE(GLChannel::glerrorcount.load(), 0);
    }

    void cleanupTestCase() { QVERIFY(!logtext().contains("gl error")); }

    // A left press reports 1.0 with a mouse, a drag repeats what the
    // controller echoed, the release reports 0 and a later hover repeats 0.
    void pressDragReleaseCarryPressure()
    {
        GLChannel* v = view.get();
        press(v, QPointF(200, 150), Qt::LeftButton);
        QCOMPARE(controller->messages.size(), 1);
        MouseMessage m = controller->last();
        QVERIFY2(near(m.position, QPointF(1.0, 2000)), qPrintable(describe(m)));
        QCOMPARE(m.pressure, 1.0f);
        QCOMPARE(m.key, 0);
        QCOMPARE(m.channel, 1);
        QVERIFY(!m.timecursorarea);
        QCOMPARE(v->buttons, int(Qt::LeftButton));

        // The controller echoes another pressure: the drag repeats that one.
        controller->echopressure = 0.7f;
        move(v, QPointF(240, 75), Qt::LeftButton);
        m = controller->last();
        QVERIFY2(near(m.position, QPointF(1.2, 3000)), qPrintable(describe(m)));
        QCOMPARE(m.pressure, 1.0f); // echoed at the press
        move(v, QPointF(260, 75), Qt::LeftButton);
        QCOMPARE(controller->last().pressure, 0.7f);
        controller->echopressure = -1;

        release(v, QPointF(260, 75), Qt::LeftButton);
        m = controller->last();
        QCOMPARE(m.pressure, 0.0f);
        QVERIFY(near(m.position, QPointF(1.3, 3000)));
        QCOMPARE(v->buttons, 0);
        move(v, QPointF(100, 150));
        QCOMPARE(controller->last().pressure, 0.0f);
        QVERIFY(v->hover);
        QCOMPARE(controller->messages.size(), 5);
    }

    void otherButtonsEmitNothing()
    {
        GLChannel* v = view.get();
        press(v, QPointF(200, 150), Qt::RightButton); // no main window: nothing opens, nothing breaks
        press(v, QPointF(200, 150), Qt::LeftButton, Qt::RightButton);
        release(v, QPointF(200, 150), Qt::RightButton, Qt::LeftButton);
        QCOMPARE(controller->messages.size(), 0);
        QCOMPARE(v->buttons, int(Qt::LeftButton));
        press(v, QPointF(200, 150), Qt::MiddleButton);
        release(v, QPointF(200, 150), Qt::MiddleButton);
        QCOMPARE(controller->messages.size(), 0);
        // A release of the left button while the right is still held reports 0.
        press(v, QPointF(200, 150), Qt::RightButton, Qt::LeftButton);
        release(v, QPointF(200, 150), Qt::LeftButton, Qt::RightButton);
        QCOMPARE(controller->messages.size(), 1);
        QCOMPARE(controller->last().pressure, 0.0f);
    }

    void rightPressOpensTheMainWindowMenu()
    {
        QWidget window;
        auto* menu = new QMenu(&window);
        menu->setObjectName(viewcontextmenuname);
        menu->addAction("Snap to grid");
        mainwindowptr = &window;
        bool shown = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, menu, [&] {
            if (menu->isVisible()) {
                shown = true;
                menu->close();
            }
        });
        closer.start(20);
        QTimer::singleShot(5000, menu, &QMenu::close); // never hang on a menu that did not show
        press(view.get(), QPointF(120, 80), Qt::RightButton);
        QVERIFY(shown);
        QCOMPARE(controller->messages.size(), 0);

        // A main window without that menu: nothing opens.
        delete menu;
        press(view.get(), QPointF(120, 80), Qt::RightButton);
        QCOMPARE(controller->messages.size(), 0);
    }

    // 4 pixels from the time cursor line is inside, 5 outside, unless within
    // 7 pixels of the top or bottom edge.
    void timeCursorArea()
    {
        GLChannel* v = view.get();
        v->indevicecursor(1.0, 3, false);
        const struct
        {
            QPointF pixel;
            bool inside;
        } cases[] = {{{196, 150}, true},  {{204, 150}, true},  {{195, 150}, false}, {{205, 150}, false},
                     {{100, 7}, true},    {{100, 8}, false},   {{100, 293}, true},  {{100, 292}, false},
                     {{100, 0}, true},    {{100, 299}, true}};
        for (const auto& c : cases) {
            press(v, c.pixel, Qt::LeftButton);
            QVERIFY2(controller->last().timecursorarea == c.inside, qPrintable(describe(controller->last())));
            release(v, c.pixel, Qt::LeftButton);
            QCOMPARE(controller->last().timecursorarea, c.inside);
        }
        // Far from the line and the edges: outside, also for the first cursor (unset).
        v->indevicecursor(-2147418112.0, -1, false);
        move(v, QPointF(200, 150));
        QVERIFY(!controller->last().timecursorarea);
    }

    // Keys carry the echoed position and pressure; the release carries key 0.
    void keysRepeatTheEchoedPosition()
    {
        GLChannel* v = view.get();
        v->indevicecursor(1.0, 3, false);
        hoverat(QPointF(198, 150));
        controller->echo = false;
        v->inmouseevent(QPointF(1.5, 2500), 0.4f);
        key(v, QEvent::KeyPress, Qt::Key_Delete);
        MouseMessage m = controller->last();
        QVERIFY(near(m.position, QPointF(1.5, 2500)));
        QCOMPARE(m.pressure, 0.4f);
        QCOMPARE(m.key, int(Qt::Key_Delete));
        QCOMPARE(m.channel, 1);
        QVERIFY(!m.timecursorarea);
        v->inmouseevent(QPointF(1.01, 2500), 0.0f);
        key(v, QEvent::KeyRelease, Qt::Key_Delete);
        m = controller->last();
        QCOMPARE(m.key, 0);
        QVERIFY(m.timecursorarea);
        QCOMPARE(controller->messages.size(), 2);
    }

    // Leaving reports the unset position; the wheel then does nothing until
    // a position is echoed again, and keys say the pointer is nowhere.
    void leaveUnsetsThePosition()
    {
        GLChannel* v = view.get();
        press(v, QPointF(200, 150), Qt::MiddleButton);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(v, &leave);
        MouseMessage m = controller->last();
        QCOMPARE(m.position, unset);
        QCOMPARE(m.pressure, 0.0f);
        QVERIFY(!m.timecursorarea);
        QCOMPARE(v->buttons, 0);
        QVERIFY(!v->hover);
        QCOMPARE(v->mousepos, unset);
        wheel(v, 120);
        QCOMPARE(controller->areas.size(), 0);
        key(v, QEvent::KeyPress, Qt::Key_A);
        QCOMPARE(controller->last().position, unset);
        QVERIFY(!controller->last().timecursorarea);
        hoverat(QPointF(200, 150));
        wheel(v, 120);
        QCOMPARE(controller->areas.size(), 1);
    }

    // The wheel zooms about the last echoed position: time alone, frequency
    // with Shift, both with Ctrl, frequency with the middle button held.
    void wheelZooms()
    {
        GLChannel* v = view.get();
        hoverat(QPointF(200, 150)); // (1 s, 2000 Hz)
        const double l = 1 - 0.8;
        wheel(v, 120);
        QVERIFY(near(controller->areas.last(), QRectF(l, 4000, 0.8 * 2, -4000)));
        v->indisplayarea(area);
        wheel(v, -120);
        QVERIFY(near(controller->areas.last(), QRectF(-0.25, 4000, 2.5, -4000)));
        v->indisplayarea(area);
        wheel(v, 120, Qt::NoButton, Qt::ShiftModifier);
        QVERIFY(near(controller->areas.last(), QRectF(0, 3600, 2, -3200)));
        v->indisplayarea(area);
        wheel(v, 120, Qt::NoButton, Qt::ControlModifier);
        QVERIFY(near(controller->areas.last(), QRectF(l, 3600, 1.6, -3200)));
        v->indisplayarea(area);
        press(v, QPointF(200, 150), Qt::MiddleButton);
        wheel(v, 120, Qt::MiddleButton);
        QVERIFY(near(controller->areas.last(), QRectF(0, 3600, 2, -3200)));
        QCOMPARE(controller->areas.size(), 5);
        // The left button held, or a wheel event that turns nothing: no zoom.
        press(v, QPointF(200, 150), Qt::LeftButton);
        wheel(v, 120, Qt::LeftButton);
        release(v, QPointF(200, 150), Qt::LeftButton);
        wheel(v, 0);
        QCOMPARE(controller->areas.size(), 5);
        QCOMPARE(controller->messages.size(), 2); // only the left press and release
    }

    // A step per notch of 120 units: the parts that high-resolution wheels and
    // touchpads send add up, a turn back starts the count again, and a
    // change of what the wheel acts on drops the parts counted so far.
    void wheelStepsPerNotch()
    {
        GLChannel* v = view.get();
        QSignalSpy mult(v, &GLChannel::outmultiplier);
        hoverat(QPointF(200, 150)); // (1 s, 2000 Hz)
        wheel(v, 15);
        QCOMPARE(controller->areas.size(), 0);
        for (int i = 0; i < 7; ++i)
            wheel(v, 15);
        QCOMPARE(controller->areas.size(), 1);
        QVERIFY(near(controller->areas.last(), QRectF(0.2, 4000, 1.6, -4000)));
        v->indisplayarea(area);
        wheel(v, 100);
        wheel(v, -60);
        wheel(v, -60);
        QCOMPARE(controller->areas.size(), 2);
        QVERIFY(near(controller->areas.last(), QRectF(-0.25, 4000, 2.5, -4000)));
        v->indisplayarea(area);
        wheel(v, 240); // two notches at once: two steps
        QVERIFY(near(controller->areas.last(), QRectF(1 - 0.64, 4000, 1.28, -4000)));
        v->indisplayarea(area);
        wheel(v, 60);
        wheel(v, 60, Qt::NoButton, Qt::AltModifier);
        QCOMPARE(mult.size(), 0);
        QCOMPARE(controller->areas.size(), 3);
        for (int i = 0; i < 7; ++i)
            wheel(v, 15, Qt::NoButton, Qt::AltModifier);
        QCOMPARE(mult.size(), 1);
        QCOMPARE(mult.last().at(0).toInt(), 25);
    }

    // With Alt the wheel steps the level multiplier (no bound) or, with Shift
    // or the middle button, the gamma (10..80).
    void altWheelStepsMultiplierAndGamma()
    {
        GLChannel* v = view.get();
        QSignalSpy mult(v, &GLChannel::outmultiplier);
        QSignalSpy gamma(v, &GLChannel::outgamma);
        v->inmultiplier(200);
        wheel(v, 120, Qt::NoButton, Qt::AltModifier);
        wheel(v, 120, Qt::NoButton, Qt::AltModifier);
        QCOMPARE(mult.size(), 2);
        QCOMPARE(mult.last().at(0).toInt(), 202);
        v->ingamma(79);
        wheel(v, 120, Qt::NoButton, Qt::AltModifier | Qt::ShiftModifier);
        wheel(v, 120, Qt::NoButton, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(gamma.size(), 2);
        QCOMPARE(gamma.at(0).at(0).toInt(), 80);
        QCOMPARE(gamma.at(1).at(0).toInt(), 80);
        v->ingamma(11);
        press(v, QPointF(200, 150), Qt::MiddleButton);
        wheel(v, -120, Qt::MiddleButton, Qt::AltModifier);
        wheel(v, -120, Qt::MiddleButton, Qt::AltModifier);
        QCOMPARE(gamma.last().at(0).toInt(), 10);
        QCOMPARE(v->gamma, 10);
        QCOMPARE(mult.size(), 2);
        QCOMPARE(controller->areas.size(), 0);
    }

    // A middle drag pans without any mouse message: the grabbed point (the
    // echoed position) stays under the pointer.
    void middleDragPans()
    {
        GLChannel* v = view.get();
        hoverat(QPointF(200, 150));
        press(v, QPointF(200, 150), Qt::MiddleButton);
        move(v, QPointF(240, 180), Qt::MiddleButton);
        QCOMPARE(controller->areas.size(), 1);
        QVERIFY(near(controller->areas.last(), QRectF(-0.2, 4400, 2, -4000)));
        move(v, QPointF(260, 120), Qt::MiddleButton);
        QVERIFY(near(controller->areas.last(), QRectF(-0.3, 3600, 2, -4000)));
        // The point under the pointer is the one grabbed.
        const QRectF a = v->displayarea;
        QVERIFY(near(QPointF(a.x() + 260 * a.width() / 400, a.y() + 120 * a.height() / 300), QPointF(1, 2000)));
        QCOMPARE(controller->messages.size(), 0);
    }

    // The displacement vector follows a left drag in displace mode (or an Alt
    // middle drag), capped at 64 pixels; a double click resets its size.
    void displacementDrag()
    {
        GLChannel* v = view.get();
        QVERIFY(GLChannel::fullext);
        QSignalSpy displacement(v, &GLChannel::outdisplacement);
        connect(v, &GLChannel::outdisplacement, v, &GLChannel::indisplacement);
        v->indisplace(1);
        hoverat(QPointF(200, 150));
        press(v, QPointF(200, 150), Qt::LeftButton);
        QCOMPARE(controller->messages.size(), 1);
        move(v, QPointF(230, 110), Qt::LeftButton); // 30 px right, 40 px up
        QCOMPARE(displacement.size(), 1);
        QPointF d = displacement.last().at(0).toPointF();
        QVERIFY2(std::fabs(d.x() - 50) < 1e-9 && std::fabs(d.y() - 53.13010235415598) < 1e-6,
                 qPrintable(QString("%1 %2").arg(d.x()).arg(d.y())));
        MouseMessage m = controller->last();
        QCOMPARE(controller->messages.size(), 2);
        QCOMPARE(m.pressure, 1.0f);
        QVERIFY(!m.timecursorarea);
        move(v, QPointF(390, 110), Qt::LeftButton);
        d = displacement.last().at(0).toPointF();
        QCOMPARE(d.x(), 64.0);
        mouse(v, QEvent::MouseButtonDblClick, QPointF(390, 110), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(displacement.last().at(0).toPointF(), QPointF(0, d.y()));
        release(v, QPointF(390, 110), Qt::LeftButton);

        // Alt with the middle button does the same outside displace mode.
        v->indisplace(0);
        hoverat(QPointF(200, 150));
        press(v, QPointF(200, 150), Qt::MiddleButton);
        move(v, QPointF(200, 130), Qt::MiddleButton, Qt::AltModifier);
        d = displacement.last().at(0).toPointF();
        QVERIFY(std::fabs(d.x() - 20) < 1e-9 && std::fabs(d.y() - 90) < 1e-9);
        // A left drag without displace mode is a plain drag.
        const int before = displacement.size();
        press(v, QPointF(200, 150), Qt::LeftButton);
        move(v, QPointF(230, 110), Qt::LeftButton);
        mouse(v, QEvent::MouseButtonDblClick, QPointF(230, 110), Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(displacement.size(), before);
        QCOMPARE(controller->areas.size(), 0);
    }

    // The pen's pressure reaches the press and the moves; with the pen near
    // the tablet, a middle drag is a plain drag.
    void penPressure()
    {
        GLChannel* v = view.get();
        bool accepted = true;
        tablet(QEvent::TabletEnterProximity, QPointF(), 0, Qt::NoButton, Qt::NoButton);
        QVERIFY(v->proximity);
        tablet(QEvent::TabletPress, QPointF(200, 150), 0.25, Qt::LeftButton, Qt::LeftButton, &accepted);
        QVERIFY(!accepted); // so that the window system sends the mouse press
        press(v, QPointF(200, 150), Qt::LeftButton);
        QCOMPARE(controller->last().pressure, 0.25f);
        tablet(QEvent::TabletMove, QPointF(220, 150), 1.0, Qt::NoButton, Qt::LeftButton, &accepted);
        QVERIFY(!accepted);
        move(v, QPointF(220, 150), Qt::LeftButton);
        QCOMPARE(controller->last().pressure, 1.0f);
        tablet(QEvent::TabletRelease, QPointF(220, 150), 0, Qt::LeftButton, Qt::NoButton);
        release(v, QPointF(220, 150), Qt::LeftButton);
        QCOMPARE(controller->last().pressure, 0.0f);
        // A hover move of the pen without buttons still notes its pressure.
        tablet(QEvent::TabletMove, QPointF(230, 150), 0.5, Qt::NoButton, Qt::NoButton, &accepted);
        QVERIFY(!accepted);
        QCOMPARE(v->mousepressure, 0.5f);

        controller->messages.clear();
        press(v, QPointF(200, 150), Qt::MiddleButton);
        move(v, QPointF(240, 180), Qt::MiddleButton);
        QCOMPARE(controller->messages.size(), 1);
        QCOMPARE(controller->areas.size(), 0);

        tablet(QEvent::TabletLeaveProximity, QPointF(), 0, Qt::NoButton, Qt::NoButton);
        QVERIFY(!v->proximity);
        press(v, QPointF(200, 150), Qt::LeftButton);
        QCOMPARE(controller->last().pressure, 1.0f);
    }

    void snapToTheGrid()
    {
        GLChannel* v = view.get();
        v->insnap(1);
        press(v, QPointF(44, 221), Qt::LeftButton); // (0.22 s, 1053 Hz): 4 px from (0.2, 1000)
        QCOMPARE(controller->last().position, QPointF(0.2, 1000));
        move(v, QPointF(47, 221), Qt::LeftButton); // 7 px from 0.2 s
        QVERIFY(near(controller->last().position, QPointF(0.235, 1000)));
        release(v, QPointF(83, 223), Qt::LeftButton);
        QCOMPARE(controller->last().position, QPointF(0.4, 1000));
        // Notes: a pointer 4 pixels above C4 lands on it exactly.
        unitfreq = -13;
        v->indisplayarea(QRectF(0, 1000, 2, -1000));
        move(v, QPointF(100, 300 - 275 * 0.3));
        QCOMPARE(controller->last().position.y(), 440 * std::pow(2.0, 4 - 4.75));
        v->insnap(0);
        move(v, QPointF(100, 300 - 275 * 0.3));
        QVERIFY(std::fabs(controller->last().position.y() - 275) < 1e-9);
    }

    // Only existing local files are handed on; a drop of nothing else is refused.
    void dropsPassExistingFilesOnly()
    {
        GLChannel* v = view.get();
        QSignalSpy drops(v, &GLChannel::dropUrl);
        const QString path = QDir::tempPath() + "/dropped.wav";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("RIFF");
        file.close();
        const QUrl existing = QUrl::fromLocalFile(path);
        const QUrl missing = QUrl::fromLocalFile(QDir::tempPath() + "/missing.wav");
        const QUrl remote("http://127.0.0.1/sound.wav");
        const QUrl folder = QUrl::fromLocalFile(QDir::tempPath());

        auto drag = [&](QList<QUrl> urls) {
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            enter.setAccepted(false);
            QApplication::sendEvent(v, &enter);
            QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            drop.setAccepted(false);
            QApplication::sendEvent(v, &drop);
            return std::make_pair(enter.isAccepted(), drop.isAccepted());
        };
        QCOMPARE(drag({missing}), std::make_pair(false, false));
        QCOMPARE(drag({remote, folder}), std::make_pair(false, false));
        QCOMPARE(drops.size(), 0);
        QCOMPARE(drag({missing, existing, remote}), std::make_pair(true, true));
        QCOMPARE(drops.size(), 1);
        QCOMPARE(drops.at(0).at(0).value<QList<QUrl>>(), QList<QUrl>({existing}));
        QCOMPARE(controller->messages.size(), 0);
    }

    // Moving the system pointer onto a position takes the ordinary road: a
    // real mouse move reports that position.
    void snapNumericMovesThePointer()
    {
        GLChannel* v = view.get();
        v->insnapnumeric(QPointF(1.0, 1000));
        QVERIFY(waituntil(
            [&] {
                return std::any_of(controller->messages.begin(), controller->messages.end(),
                                   [](const MouseMessage& m) { return near(m.position, QPointF(1.0, 1000)); });
            },
            5000));
        QCursor::setPos(1590, 990);
        QVERIFY(waituntil([&] { return controller->last().position == unset; }, 5000));
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestGLChannelInput test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_glchannelinput.moc"
