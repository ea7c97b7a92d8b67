#include "toolplugin.h"

#include <cmath>

#include "brushstroke.h"
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

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                         qint32 mousechannel)
{
    if (!tolerance || !timelimit || !spread || !purefreq || !toolframe::trackready(*this))
        return true;
    const bool pressed = toolframe::ispressed(pressure);
    // Hover and release show the extraction at the pointer afresh.
    if (!pressed)
        toolframe::emptyscratch(*this);

    const int bins = int(spread->value());
    const double pure = purefreq->value() / 100;
    const toolframe::Tracking tracking{timelimit->value(), std::pow(2.0, tolerance->value() / 6.0)};
    const toolframe::FrameSpan written = toolframe::trackpartial(
        *this, x, y, tracking, [&](int channel, int frame, double position, float amplitude) {
            toolframe::writepeak(*this, channel, frame, toolframe::roundindex(position), position, amplitude,
                                 bins, pure);
        });
    if (pressed)
        toolframe::commitwritten(*this, written);
    return true;
}
