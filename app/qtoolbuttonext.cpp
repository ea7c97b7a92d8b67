#include "qtoolbuttonext.h"

#include <QMouseEvent>

QToolButtonExt::QToolButtonExt(QWidget* parent) : QToolButton(parent) {}

void QToolButtonExt::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        emit mouseRightClicked();
        return;
    }
    QToolButton::mousePressEvent(event);
}

void QToolButtonExt::mouseDoubleClickEvent(QMouseEvent* event)
{
    emit mouseDoubleClicked();
}
