#include "toolplugin.h"

#include "brushstroke.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Modify Eraser");
    category = QStringLiteral("Modify");
    label = tr("Eraser");
    icon = toolframe::loadicon(QStringLiteral(":/resources/rubout.png"));
    // A second call keeps the bar the host already holds.
    if (!settings.bar)
        settings.build({.freqrange = 200,
                        .timerange = 0.2,
                        .softness = 50,
                        .strength = true,
                        .strengthminimum = -90,
                        .strengthmaximum = 0,
                        .strengthstart = -24,
                        .strengthtip = tr("erase strength"),
                        .help = tr("Erase from selected layer.")});
    toolbar = settings.bar;
    cursor = toolframe::loadcursor(QStringLiteral(":/resources/ruboutc.png"));
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

    // A release that moved erases its travel as the stroke did, at the
    // stroke's last pressure; one that did not has nothing left to erase.
    const bool moved = dx != 0 || dy != 0;
    const bool release = toolframe::isrelease(pressure, dpressure);
    const float gain = float(settings.gain(release ? -dpressure : pressure));
    const bool pressed = toolframe::ispressed(pressure) || (release && moved);
    toolframe::hoverreset(*this, pressure, dpressure, dx, dy);

    const toolframe::Brush brush = settings.brush();
    using toolframe::layerbuffer;
    using toolframe::scratchbuffer;
    toolframe::brushstroke(*this, x, y, dx, dy, brush, [&](int channel, int frame, int bin, float w) {
        const QVector2D scratch = getbin(scratchbuffer, channel, frame, bin);
        const QVector2D level = getbin(layerbuffer, channel, frame, bin);
        // The scratch cell holds the level before the stroke: the louder of
        // what the stroke met so far and what the layer holds now.
        const QVector2D kept = toolframe::louder(scratch, level) ? scratch : level;
        setbin(scratchbuffer, channel, frame, bin, kept.x(), kept.y());
        if (!pressed)
            return;
        const QVector2D target = kept * gain;
        // Erasing never raises a cell.
        const QVector2D chosen = toolframe::louder(target, level) ? level : target;
        const QVector2D result = level * (1 - w) + chosen * w;
        setbin(layerbuffer, channel, frame, bin, result.x(), result.y());
    });
    return true;
}
