#include "qlabelext.h"

#include <QPainter>

QLabelExt::QLabelExt(const QString& text, QWidget* parent, Qt::WindowFlags flags) : QLabel(text, parent, flags) {}

QLabelExt::QLabelExt(QWidget* parent, Qt::WindowFlags flags) : QLabel(parent, flags) {}

void QLabelExt::setrotation(int degrees)
{
    angle = degrees;
    update();
}

void QLabelExt::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setFont(font());
    painter.save();
    painter.translate(width() / 2, height() / 2);
    painter.rotate(angle);
    painter.drawText(0, 0, text());
    painter.restore();
    painter.end();
}
