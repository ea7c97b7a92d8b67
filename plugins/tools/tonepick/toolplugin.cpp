#include "toolplugin.h"

#include "peaktrack.h"
#include "peakwidgets.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    // Pointer events touch the widgets only to read them: the host may
    // process them off the GUI thread while the window keeps answering.
    setProperty("offguithread", true);
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

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                         qint32 mousechannel)
{
    if (!tolerance || !timelimit || !spread || !purefreq)
        return true;
    const int bins = int(spread->value());
    const double pure = purefreq->value() / 100;
    toolframe::partialevent(*this, x, y, pressure, dx, dy, dpressure,
                            toolframe::Tracking::of(timelimit->value(), tolerance->value()),
                            [&](double, int channel, int frame, double position, float amplitude) {
                                toolframe::writepeak(*this, channel, frame, toolframe::roundindex(position),
                                                     position, amplitude, bins, pure);
                            });
    return true;
}
