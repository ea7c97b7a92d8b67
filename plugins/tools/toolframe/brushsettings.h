#pragma once
// The settings of a brush tool as its bar shows them: brush height, width and
// softness, for the tools that change levels a strength in dB with the
// tablet-pressure button, then the tool's own widgets and a line of help.
// Every process call reads the current values; nothing is kept between runs.
// The widgets belong to the bar, which the host owns and deletes; the guarded
// pointers tell when they are gone.
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QToolBar>

#include <initializer_list>

#include "brushstroke.h"

namespace toolframe {

struct BrushSetup
{
    double freqrange = 200; // start values
    double timerange = 0.2;
    double softness = 50;
    bool strength = false; // with a strength and the tablet button
    double strengthminimum = 0;
    double strengthmaximum = 0;
    double strengthstart = 0;
    QString strengthtip;
    QString help;
};

class BrushSettings
{
public:
    // Creates the widgets and the bar holding them, the tool's own widgets
    // between the brush settings and the help line.
    QToolBar* build(const BrushSetup& setup, std::initializer_list<QWidget*> own = {});
    // The widgets exist (the host has not deleted the bar).
    bool alive() const;
    Brush brush() const;
    // The strength as a gain, scaled by pen pressure when the tablet button is
    // down; 1 without a strength.
    double gain(float pressure) const;

    QPointer<QDoubleSpinBox> freqrange;
    QPointer<QDoubleSpinBox> timerange;
    QPointer<QDoubleSpinBox> softness;
    QPointer<QDoubleSpinBox> strength; // only with a strength
    QPointer<QPushButton> tablet;      // only with a strength
    QPointer<QLabel> helplabel;
    QPointer<QToolBar> bar; // the bar handed to the host, while it lives

private:
    bool hasstrength = false;
};

} // namespace toolframe
