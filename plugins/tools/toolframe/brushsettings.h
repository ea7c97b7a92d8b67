#pragma once
// The settings of a brush tool as its bar shows them: brush height, width and
// softness, for the tools that change levels a strength in dB with the
// tablet-pressure button, then the tool's own widgets and a line of help.
// take() copies their values on the widgets' thread before every process
// call (OffThreadTool), and the call reads the copies wherever it runs.
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
    // On the widgets' thread: copies their values for the calls to come.
    void take();
    // As last taken: the widgets existed (the host had not deleted the bar),
    // the brush, and the strength as a gain, scaled by pen pressure when the
    // tablet button was down; 1 without a strength.
    bool alive() const { return taken.alive; }
    Brush brush() const { return taken.brush; }
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
    struct Taken
    {
        bool alive = false;
        Brush brush;
        double strength = 0; // dB
        bool tablet = false;
    } taken;
};

} // namespace toolframe
