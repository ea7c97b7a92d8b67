#pragma once
// The volume slider of a layer row. It lies just under the layer's name, so a
// click meant for the name often lands on it: only a drag of its handle
// changes the volume. A press beside the handle and the wheel are the row's
// (the press selects the layer, the wheel scrolls the list), and the slider
// takes no keyboard focus, which stays with the editor.
#include <QSlider>

class VolumeSlider : public QSlider
{
public:
    explicit VolumeSlider(QWidget* parent);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
