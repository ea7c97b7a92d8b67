#pragma once
// A tool bar that reports a left click beside its buttons.
#include <QToolBar>

class QToolBarExt : public QToolBar
{
    Q_OBJECT
public:
    QToolBarExt(const QString& title, QWidget* parent);

signals:
    void noActionClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
