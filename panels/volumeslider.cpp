#include "panels/volumeslider.h"

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>

VolumeSlider::VolumeSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setFocusPolicy(Qt::NoFocus);
}

void VolumeSlider::mousePressEvent(QMouseEvent* event)
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QStyle::SubControl hit =
        style()->hitTestComplexControl(QStyle::CC_Slider, &option, event->position().toPoint(), this);
    if (event->button() == Qt::LeftButton && hit == QStyle::SC_SliderHandle) {
        QSlider::mousePressEvent(event);
        return;
    }
    // Passed on to the row, whose list makes the layer current.
    event->ignore();
}

void VolumeSlider::wheelEvent(QWheelEvent* event)
{
    event->ignore();
}
