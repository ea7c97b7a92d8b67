#include "brushsettings.h"

#include <QList>

#include "toolwidgets.h"

namespace toolframe {

QToolBar* BrushSettings::build(const BrushSetup& setup, std::initializer_list<QWidget*> own)
{
    hasstrength = setup.strength;
    freqrange = newfreqrange(setup.freqrange);
    timerange = newtimerange(setup.timerange);
    softness = newsoftness(setup.softness);
    QList<QWidget*> widgets{freqrange, timerange, softness};
    if (hasstrength) {
        strength = newstrength(setup.strengthminimum, setup.strengthmaximum, setup.strengthstart, setup.strengthtip);
        tablet = newtabletbutton();
        widgets << strength << tablet;
    }
    widgets << QList<QWidget*>(own);
    helplabel = newhelplabel(setup.help);
    widgets << helplabel;
    bar = new QToolBar();
    for (QWidget* widget : widgets)
        bar->addWidget(widget);
    return bar;
}

bool BrushSettings::alive() const
{
    return freqrange && timerange && softness && (!hasstrength || (strength && tablet));
}

Brush BrushSettings::brush() const
{
    return {timerange->value(), freqrange->value(), softness->value()};
}

double BrushSettings::gain(float pressure) const
{
    if (!hasstrength)
        return 1;
    return brushgain(strength->value(), tablet->isChecked(), pressure);
}

} // namespace toolframe
