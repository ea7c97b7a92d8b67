#include "toolplugin.h"

#include "peaktrack.h"
#include "peakwidgets.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Extract Frequency");
    category = QStringLiteral("Extract");
    label = tr("Frequency");
    icon = toolframe::loadicon(QStringLiteral(":/resources/tonepick.png"));
    // A second call keeps the bar the host already holds.
    if (!settingsbar) {
        tolerance = toolframe::newtolerance();
        timelimit = toolframe::newtimelimit();
        spread = toolframe::newspread();
        purefreq = toolframe::newpurefreq();
        helplabel = toolframe::newhelplabel(tr("Extract frequency from mix to selected layer."));
        settingsbar = toolframe::newsettingsbar({tolerance, timelimit, spread, helplabel});
        toolframe::keephidden(settingsbar, {purefreq});
    }
    toolbar = settingsbar;
    cursor = toolframe::loadcursor(QStringLiteral(":/resources/tonepickc.png"));
    return true;
}

void ToolPlugin::takesettings()
{
    taken = toolframe::PeakSettings::take(tolerance, timelimit, spread, purefreq);
}

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                         qint32 mousechannel)
{
    if (!taken.alive)
        return true;
    toolframe::partialevent(*this, x, y, pressure, dx, dy, dpressure,
                            toolframe::Tracking::of(taken.timelimit, taken.tolerance),
                            [&](double, int channel, int frame, double position, float amplitude) {
                                toolframe::writepeak(*this, channel, frame, toolframe::roundindex(position),
                                                     position, amplitude, taken.spread, taken.pure);
                            });
    return true;
}
