#include "toolplugin.h"

#include "brushstroke.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Modify Amplify");
    category = QStringLiteral("Modify");
    label = tr("Amplify");
    icon = toolframe::loadicon(QStringLiteral(":/resources/gainbrush.png"));
    // A second call keeps the bar the host already holds.
    if (!settings.bar)
        settings.build({.freqrange = 200,
                        .timerange = 0.2,
                        .softness = 50,
                        .strength = true,
                        .strengthminimum = 0,
                        .strengthmaximum = 90,
                        .strengthstart = 3,
                        .strengthtip = tr("amplification strength"),
                        .help = tr("Amplify from selected layer.")});
    toolbar = settings.bar;
    cursor = toolframe::loadcursor(QStringLiteral(":/resources/gainbrushc.png"));
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

    const float gain = float(settings.gain(pressure));
    toolframe::hoverreset(*this, pressure, dpressure, dx, dy);
    toolframe::FrameSpan painted;
    toolframe::brushstroke(*this, x, y, dx, dy, settings.brush(), [&](int channel, int frame, int bin, float w) {
        const QVector2D level = getbin(toolframe::layerbuffer, channel, frame, bin);
        toolframe::paint(*this, channel, frame, bin, level * w * gain, painted);
    });
    // A pen that only gets lighter keeps painting; the stroke commits when it
    // leaves the surface, the stamps of the release's own travel included.
    if (toolframe::isrelease(pressure, dpressure))
        toolframe::commitwritten(*this, painted);
    return true;
}
