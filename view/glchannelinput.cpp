// What the pointing device, the pen, the keyboard and the window system do
// over a channel view. Everything reaches the controller as one message,
// outmouseevent, in seconds and Hz; the controller echoes the position and
// pressure it accepted through inmouseevent. Panning with the middle button,
// the displacement drag and the wheel change display parameters only, so they
// are handled here.
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGestureEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTabletEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/globals.h"
#include "glchannel.h"
#include "viewcontextmenu.h"

namespace {

// The URLs of a drag that name existing, readable local files; anything
// else (remote URLs, missing files, folders) is no file to import.
QList<QUrl> localfiles(const QMimeData* data)
{
    QList<QUrl> files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (info.isFile() && info.isReadable())
            files << url;
    }
    return files;
}

} // namespace

AxisScale GLChannel::xscale() const
{
    return AxisScale{double(width()), displayarea.width()};
}

AxisScale GLChannel::yscale() const
{
    return AxisScale{double(height()), -displayarea.height()};
}

bool GLChannel::fulltier() const
{
    return glsl && fullext;
}

QPointF GLChannel::pixeltovalue(QPointF pixel) const
{
    const double w = width(), h = height();
    const double t = displayarea.x() + (w > 0 ? pixel.x() * displayarea.width() / w : 0);
    const double f = displayarea.y() + (h > 0 ? pixel.y() * displayarea.height() / h : 0);
    return QPointF(t, f);
}

QPointF GLChannel::snapmouse(QPointF position) const
{
    const SnapFrame frame{displayarea, size(), samplerate, fftsize, fftoverlap};
    return snapposition(position, frame, unittime, unitfreq);
}

// Near the time cursor line, or near the top or bottom edge, a press grabs
// the time cursor (the controller decides; the view only measures).
bool GLChannel::intimecursorarea(QPointF position) const
{
    if (position.x() == unsettime || position.y() == unsettime)
        return false;
    const AxisScale x = xscale(), y = yscale();
    if (std::abs(x.distance(position.x() - devicecursor)) <= 4)
        return true;
    if (y.distance(position.y() - (displayarea.y() + displayarea.height())) <= 7)
        return true;
    return y.distance(displayarea.y() - position.y()) <= 7;
}

// The displacement vector follows the pointer's movement since the last
// echoed position, in pixels with y upwards, at most 64 pixels long.
void GLChannel::dragdisplacement(QPointF position, int newbuttons)
{
    const double theta = disp.y() * 0.01745329252;
    const double a = disp.x() * std::cos(theta) + xtopixels(position.x() - mousepos.x());
    const double c = disp.x() * std::sin(theta) + ytopixels(position.y() - mousepos.y());
    const double r = std::min(std::sqrt(a * a + c * c), 64.0);
    const double angle = std::atan2(c, a) * 57.29577951289617;
    buttons = newbuttons;
    emit outmouseevent(position, mousepressure, 0, channel, false);
    emit outdisplacement(QPointF(r, angle));
}

void GLChannel::opencontextmenu(QPoint global)
{
    QMenu* menu = mainwindowptr ? mainwindowptr->findChild<QMenu*>(viewcontextmenuname) : nullptr;
    if (menu)
        menu->exec(global); // the main window has connected its entries
}

void GLChannel::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::OtherFocusReason);
    QPointF position = pixeltovalue(event->position());
    if (snap == 1)
        position = snapmouse(position);
    buttons = int(event->buttons());
    if (buttons == Qt::LeftButton) {
        const float pressure = proximity ? mousepressure : 1.0f;
        emit outmouseevent(position, pressure, 0, channel, intimecursorarea(position));
    } else if (buttons == Qt::RightButton) {
        opencontextmenu(event->globalPosition().toPoint());
    }
}

void GLChannel::mouseReleaseEvent(QMouseEvent* event)
{
    QPointF position = pixeltovalue(event->position());
    buttons = int(event->buttons());
    if (snap == 1)
        position = snapmouse(position);
    if (event->button() == Qt::LeftButton)
        emit outmouseevent(position, 0.0f, 0, channel, intimecursorarea(position));
}

void GLChannel::mouseDoubleClickEvent(QMouseEvent* event)
{
    const Qt::MouseButtons b = event->buttons();
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (fulltier() && (((b & Qt::MiddleButton) && alt) || ((b & Qt::LeftButton) && displace == 1)))
        emit outdisplacement(QPointF(0, disp.y()));
}

void GLChannel::mouseMoveEvent(QMouseEvent* event)
{
    setFocus(Qt::OtherFocusReason);
    QPointF position = pixeltovalue(event->position());
    const int b = int(event->buttons());
    hover = true;
    if (snap == 1)
        position = snapmouse(position);

    // With a pen near the tablet every move is a plain event: the pen's
    // buttons must not pan or displace.
    if (!proximity && haspointer()) {
        const bool middle = buttons == Qt::MiddleButton && b == Qt::MiddleButton;
        if (event->modifiers() & Qt::AltModifier) {
            if (middle && fulltier()) {
                dragdisplacement(position, b);
                return;
            }
        } else if (middle) {
            QRectF area = displayarea;
            area.moveTo(area.x() + mousepos.x() - position.x(), area.y() + mousepos.y() - position.y());
            buttons = b;
            emit outdisplayarea(area);
            return;
        } else if (buttons == Qt::LeftButton && b == Qt::LeftButton && fulltier() && displace == 1) {
            dragdisplacement(position, b);
            return;
        }
    }
    // The pressure is the one the controller echoed last (or the pen's), so a
    // drag keeps its pressure and a hover after a release reports 0.
    emit outmouseevent(position, mousepressure, 0, channel, intimecursorarea(position));
}

void GLChannel::wheelEvent(QWheelEvent* event)
{
    // With Alt held the window system may turn the wheel sideways.
    const QPoint angle = event->angleDelta();
    const int d = angle.y() != 0 ? angle.y() : angle.x();
    if (d == 0)
        return; // scroll phase markers and pixel-only deltas turn nothing
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool ctrl = modifiers & Qt::ControlModifier;
    const bool shift = modifiers & Qt::ShiftModifier;

    if (modifiers & Qt::AltModifier) {
        if (buttons != Qt::MiddleButton && !shift) {
            const int s = wheelnotches.take(d, 1);
            if (s == 0)
                return;
            mult += s;
            emit outmultiplier(mult);
        } else {
            const int s = wheelnotches.take(d, 2);
            if (s == 0)
                return;
            gamma = std::clamp(gamma + s, 10, 80);
            emit outgamma(gamma);
        }
        return;
    }

    // The zoom centre is the last echoed position: nothing before the
    // controller has accepted one.
    if (!haspointer() || (buttons != 0 && buttons != Qt::MiddleButton))
        return;
    bool zoomtime, zoomfreq;
    if (buttons == 0) {
        zoomtime = !shift;
        zoomfreq = shift || ctrl;
    } else {
        zoomtime = ctrl && !shift;
        zoomfreq = true;
    }
    const int s = wheelnotches.take(d, 3 + int(zoomtime) + 2 * int(zoomfreq));
    if (s == 0)
        return;
    const double k = s > 0 ? 0.8 : 1.25;
    const double l = 1 - k;
    double start = displayarea.x(), end = displayarea.x() + displayarea.width();
    double top = displayarea.y(), bottom = displayarea.y() + displayarea.height();
    for (int i = 0; i < std::abs(s); ++i) {
        if (zoomtime) {
            start = k * start + l * mousepos.x();
            end = k * end + l * mousepos.x();
        }
        if (zoomfreq) {
            top = k * top + l * mousepos.y();
            bottom = k * bottom + l * mousepos.y();
        }
    }
    emit outdisplayarea(QRectF(start, top, end - start, bottom - top));
}

void GLChannel::keyPressEvent(QKeyEvent* event)
{
    emit outmouseevent(mousepos, mousepressure, event->key(), channel, intimecursorarea(mousepos));
}

void GLChannel::keyReleaseEvent(QKeyEvent* event)
{
    Q_UNUSED(event);
    emit outmouseevent(mousepos, mousepressure, 0, channel, intimecursorarea(mousepos));
}

void GLChannel::focusInEvent(QFocusEvent* event)
{
    Q_UNUSED(event); // focus changes the picture in no way: no repaint
}

void GLChannel::focusOutEvent(QFocusEvent* event)
{
    Q_UNUSED(event);
}

void GLChannel::leaveEvent(QEvent* event)
{
    Q_UNUSED(event);
    buttons = 0;
    hover = false;
    emit outmouseevent(QPointF(unsettime, unsettime), 0.0f, 0, channel, false);
}

// The pen's pressure is noted and the event ignored, so that the window
// system delivers the matching mouse event, which then carries the pressure.
void GLChannel::tabletEvent(QTabletEvent* event)
{
    if (!event)
        return;
    setFocus(Qt::OtherFocusReason);
    switch (event->type()) {
    case QEvent::TabletMove:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        mousepressure = float(event->pressure());
        event->ignore();
        break;
    case QEvent::TabletEnterProximity:
        proximity = true;
        break;
    case QEvent::TabletLeaveProximity:
        proximity = false;
        break;
    default:
        break;
    }
}

void GLChannel::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localfiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void GLChannel::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void GLChannel::dropEvent(QDropEvent* event)
{
    const QList<QUrl> files = localfiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    emit dropUrl(files);
    event->acceptProposedAction();
}

bool GLChannel::event(QEvent* event)
{
    if (event->type() == QEvent::Gesture) {
        // Touch gestures mean nothing to the view; taken, so that no parent acts on them.
        auto* gestures = static_cast<QGestureEvent*>(event);
        for (QGesture* gesture : gestures->gestures())
            gestures->accept(gesture);
        gestures->accept();
        return true;
    }
    return QOpenGLWidget::event(event);
}
