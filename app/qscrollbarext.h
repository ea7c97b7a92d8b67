#pragma once
// A scroll bar that turns the mouse wheel into a signal instead of scrolling:
// the controller zooms with it, and the bar's value never moves by the wheel.
#include <QScrollBar>

class QScrollBarExt : public QScrollBar
{
    Q_OBJECT
public:
    QScrollBarExt(Qt::Orientation orientation, QWidget* parent);

signals:
    // The wheel's angle delta, positive when turned away from the user.
    void wheel(int delta);

protected:
    bool event(QEvent* event) override;
};
