#include "qtoolbarext.h"

#include <QMouseEvent>

QToolBarExt::QToolBarExt(const QString& title, QWidget* parent) : QToolBar(title, parent) {}

void QToolBarExt::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && actionAt(event->position().toPoint()) == nullptr)
        emit noActionClicked();
    QToolBar::mousePressEvent(event);
}
