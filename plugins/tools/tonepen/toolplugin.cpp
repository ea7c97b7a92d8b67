#include "toolplugin.h"

#include <climits>
#include <cmath>

#include "brushstroke.h"
#include "toolrounding.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Draw Frequency");
    category = QStringLiteral("Draw");
    label = tr("Frequency");
    icon = toolframe::loadicon(QStringLiteral(":/resources/tonepen.png"));
    // A second call keeps the bar the host already holds.
    if (!settingsbar) {
        strength = toolframe::newspinbox({-90, 0, 1, 1, -30, {}, tr("dB"), tr("frequency strength")});
        soft = new QCheckBox(tr("soft"));
        soft->setToolTip(tr("avoid aliasing"));
        soft->setChecked(true);
        tablet = toolframe::newtabletbutton();
        helplabel = toolframe::newhelplabel(tr("Draw frequency to selected layer"));
        settingsbar = toolframe::newsettingsbar({strength, tablet, helplabel});
        toolframe::keephidden(settingsbar, {soft});
    }
    toolbar = settingsbar;
    cursor = toolframe::loadcursor(QStringLiteral(":/resources/tonepenc.png"));
    return true;
}

toolframe::FrameSpan ToolPlugin::drawsegment(float x, float y, float dx, float dy, double gain)
{
    const double rate = samplerate;
    const double from = double(x) - double(dx);
    // A segment that starts off the views (the pointer left them with the
    // button down) has no start to draw from.
    if (!toolframe::pointerset(from) || !toolframe::pointerset(x) || !std::isfinite(dy))
        return {};
    const double first = std::floor(from * rate + 0.5);
    const double last = std::floor(double(x) * rate + 0.5);
    if (std::fabs(first) >= INT_MAX || std::fabs(last) >= INT_MAX)
        return {};
    const int w = int(first);
    const int e = int(last);
    if (w == e)
        return {};
    const long long count = std::llabs(static_cast<long long>(e) - w);
    const int direction = dx >= 0 ? 1 : -1;
    float fk = y - dy;
    const float step = (y - fk) / float(count);
    const float g = float(gain);
    const int lastchannel = std::min(channels, 32);
    const unsigned mask = unsigned(channelmask);
    for (long long k = 0; k < count; ++k) {
        const int i = int(w + k * direction);
        const double value = double(g) * std::sin(double(phase));
        for (int c = 0; c < lastchannel; ++c)
            if ((mask >> c) & 1u)
                setsample(toolframe::scratchbuffer, c, i, float(getsample(toolframe::scratchbuffer, c, i) + value));
        phase = float(double(phase) + 2 * (1 / rate * double(fk) * 3.141593));
        phase = float(std::fmod(double(phase), 6.283186));
        fk += step;
    }
    return toolframe::framesofsamples(*this, w, e - direction);
}

void ToolPlugin::takesettings()
{
    usable = strength && soft && tablet;
    if (!usable)
        return;
    strengthdb = toolframe::valueof(strength);
    usepressure = toolframe::checkedof(tablet);
}

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                         qint32 mousechannel)
{
    if (!usable || samplerate <= 0 || !getsample || !setsample || !transferarea)
        return true;
    const double gain = toolframe::brushgain(strengthdb, usepressure, pressure);
    // No preview: a hover only empties the scratch buffer.
    if (toolframe::ishover(pressure, dpressure)) {
        toolframe::emptyscratch(*this);
        return true;
    }
    const bool pressed = toolframe::ispressed(pressure);
    const bool release = toolframe::isrelease(pressure, dpressure);
    if (!pressed && !release)
        return true;
    const toolframe::FrameSpan written = drawsegment(x, y, dx, dy, gain);
    if (release)
        toolframe::commitwritten(*this, written);
    return true;
}
