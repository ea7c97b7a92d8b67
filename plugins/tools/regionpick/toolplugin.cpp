#include "toolplugin.h"

#include "brushstroke.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Extract Area");
    category = QStringLiteral("Extract");
    label = tr("Area");
    icon = toolframe::loadicon(QStringLiteral(":/resources/regionpick.png"));
    // A second call keeps the bar the host already holds.
    if (!settings.bar)
        settings.build({.freqrange = 200,
                        .timerange = 0.2,
                        .softness = 30,
                        .help = tr("Extract area from mix to selected layer.")});
    toolbar = settings.bar;
    cursor = toolframe::loadcursor(QStringLiteral(":/resources/regionpickc.png"));
    return true;
}

void ToolPlugin::takesettings()
{
    settings.take();
}

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                         qint32 mousechannel)
{
    // Without its settings (the host has deleted them) or a filled block the
    // tool does nothing.
    if (!settings.alive() || !toolframe::blockready(*this))
        return true;

    toolframe::hoverreset(*this, pressure, dpressure, dx, dy);
    toolframe::FrameSpan painted;
    toolframe::brushstroke(*this, x, y, dx, dy, settings.brush(), [&](int channel, int frame, int bin, float w) {
        const QVector2D mix = getbin(toolframe::mixbuffer, channel, frame, bin);
        toolframe::paint(*this, channel, frame, bin, mix * w, painted);
    });
    // Any fall of pressure commits what is painted so far, so a pen that gets
    // lighter during a drag already hands it to the layer; what this event
    // painted, beyond the area the host computed before the call, with it.
    if (dpressure < 0)
        toolframe::commitwritten(*this, painted);
    return true;
}
