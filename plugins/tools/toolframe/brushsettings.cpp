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

void BrushSettings::take()
{
    taken.alive = freqrange && timerange && softness && (!hasstrength || (strength && tablet));
    if (!taken.alive)
        return;
    taken.brush = {valueof(timerange), valueof(freqrange), valueof(softness)};
    if (hasstrength) {
        taken.strength = valueof(strength);
        taken.tablet = checkedof(tablet);
    }
}

double BrushSettings::gain(float pressure) const
{
    if (!hasstrength)
        return 1;
    return brushgain(taken.strength, taken.tablet, pressure);
}

} // namespace toolframe
