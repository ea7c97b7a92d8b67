#include "qscrollbarext.h"

#include <QWheelEvent>

QScrollBarExt::QScrollBarExt(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent)
{
}

bool QScrollBarExt::event(QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        const QPoint angle = static_cast<QWheelEvent*>(event)->angleDelta();
        // A tilt wheel reports only the horizontal angle.
        emit wheel(angle.y() != 0 ? angle.y() : angle.x());
        event->accept();
        return true;
    }
    return QScrollBar::event(event);
}
