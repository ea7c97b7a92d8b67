#pragma once
// A label that draws its text rotated about its centre: the text starts at
// the centre and runs in the direction of the angle.
#include <QLabel>

class QLabelExt : public QLabel
{
    Q_OBJECT
public:
    QLabelExt(const QString& text, QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    explicit QLabelExt(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

    void setrotation(int degrees);
    int rotation() const { return angle; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int angle = 0;
};
