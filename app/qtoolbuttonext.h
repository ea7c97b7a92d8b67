#pragma once
// A tool button that reports right clicks and double clicks instead of acting
// on them (they open the numeric dialogs of the editing modes).
#include <QToolButton>

class QToolButtonExt : public QToolButton
{
    Q_OBJECT
public:
    explicit QToolButtonExt(QWidget* parent);

signals:
    void mouseDoubleClicked();
    void mouseRightClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
