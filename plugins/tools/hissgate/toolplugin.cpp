#include "toolplugin.h"

#include <algorithm>
#include <cmath>

#include "brushstroke.h"
#include "fitsize.h"
#include "ownthread.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("Extract Noise Manual Gate");
    category = QStringLiteral("Extract");
    label = tr("Noise (Manual Gate)");
    icon = toolframe::loadicon(QStringLiteral(":/resources/hissgate.png"));
    // A second call keeps the bar the host already holds.
    if (!settings.bar) {
        registernoise = new QPushButton(tr("Register Noise"));
        registernoise->setToolTip(tr("Register noise from mix"));
        fixedatleast(registernoise, 100);
        registernoise->setCheckable(true);
        registernoise->setChecked(false);
        reset = new QPushButton(tr("Reset"));
        fixedatleast(reset, 40);
        connect(reset, &QPushButton::clicked, this, &ToolPlugin::resetnoise);
        tolerance = toolframe::newspinbox({-48, 48, 1, 1, 0, tr("tolerance:"), tr("dB"),
                                           tr("tolerance to the registered noise gate")});
        settings.build({.freqrange = 1000,
                        .timerange = 0.3,
                        .softness = 50,
                        .help = tr("Extract noise from mix to selected layer. Register noise areas first.")},
                       {registernoise, reset, tolerance});
    }
    toolbar = settings.bar;
    cursor = toolframe::loadcursor(QStringLiteral(":/resources/hissgatec.png"));
    return true;
}

void ToolPlugin::resetnoise()
{
    toolframe::emptyscratch(*this);
    std::fill(&noiseprofile[0][0], &noiseprofile[0][0] + profilechannels * profilebins, 0.0f);
}

int ToolPlugin::profileindex(int bin)
{
    // Registration and extraction must agree on the entry of every bin, or the
    // top bins of the largest window would be gated by a neighbour's noise.
    return std::clamp(bin, 0, profilebins - 1);
}

bool ToolPlugin::ownspresses() const
{
    return registernoise && ownthread(registernoise.data())->isChecked();
}

void ToolPlugin::takesettings()
{
    settings.take();
    usable = settings.alive() && registernoise && tolerance;
    if (!usable)
        return;
    registering = toolframe::checkedof(registernoise);
    gatetolerance = toolframe::valueof(tolerance);
}

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                         qint32 mousechannel)
{
    note.clear();
    // Without its settings (the host has deleted them) or a filled block the
    // tool does nothing.
    if (!usable || !toolframe::blockready(*this))
        return true;

    // '+' and '-' over a view move the tolerance; the re-sent event then shows
    // the preview at the new gate at once. The spin box keeps its range.
    // Keys come on the widgets' thread.
    if (key == Qt::Key_Plus || key == Qt::Key_Minus) {
        QDoubleSpinBox* box = ownthread(tolerance.data());
        box->setValue(box->value() + (key == Qt::Key_Plus ? 1 : -1));
        takesettings();
    }

    if (!registering)
        extractstroke(x, y, pressure, dx, dy, dpressure);
    else if (toolframe::ispressed(pressure)) // hovering and releasing register nothing
        registerstroke(x, y, dx, dy);
    return true;
}

// Pressed events grow the profile: along the path, about one stamp per frame
// and bin travelled, each a fixed 5 x 5 block of cells without weights. The
// scratch buffer shows what was registered.
void ToolPlugin::registerstroke(float x, float y, float dx, float dy)
{
    if (fftsize != noisefftsize) {
        resetnoise();
        noisefftsize = fftsize;
    }
    if (!toolframe::realplace(x) || !toolframe::realplace(y))
        return;
    double tx = dx, ty = dy;
    toolframe::travelfrom(x, y, tx, ty);
    const int hop = fftsize / overlap;
    const int n = toolframe::stampcount(tx * samplerate / hop, ty * fftsize / samplerate, 1, 1);
    toolframe::Footprint block;
    block.cmin = block.bmin = -2;
    block.cmax = block.bmax = 2;
    auto cell = [&](int channel, int frame, int bin, float) {
        if (channel >= profilechannels)
            return;
        const QVector2D mix = getbin(toolframe::mixbuffer, channel, frame, bin);
        // What the scratch buffer keeps counts as noise, earlier strokes'
        // content included.
        const QVector2D kept = toolframe::keeplouder(*this, channel, frame, bin, mix);
        float& entry = noiseprofile[channel][profileindex(bin)];
        entry = std::max(entry, kept.length());
    };
    toolframe::forstamps(x, y, tx, ty, n, [&](double t, double f) { toolframe::stampcells(*this, block, t, f, cell); });
}

QString ToolPlugin::withoutprofile() const
{
    const QString first = tr("Register noise areas first: with \"Register Noise\" down, drag over a place of the "
                             "mix that holds only noise.");
    if (noisefftsize != 0 && fftsize != noisefftsize)
        return tr("The noise was registered at a window size of %1, so nothing is extracted at %2. ")
                   .arg(noisefftsize)
                   .arg(fftsize)
            + first;
    const int lastchannel = std::clamp(channels, 0, profilechannels);
    const bool registered = std::any_of(&noiseprofile[0][0], &noiseprofile[0][0] + lastchannel * profilebins,
                                        [](float entry) { return entry > 0; });
    return registered ? QString() : tr("No noise is registered, so nothing was extracted. ") + first;
}

void ToolPlugin::extractstroke(float x, float y, float pressure, float dx, float dy, float dpressure)
{
    toolframe::hoverreset(*this, pressure, dpressure, dx, dy);
    // The stroke that ends here said nothing while it ran.
    if (toolframe::isrelease(pressure, dpressure))
        note = withoutprofile();
    // No profile at this window size: nothing to gate against.
    if (fftsize != noisefftsize)
        return;
    const double gate = std::pow(2.0, gatetolerance / 6.0);
    toolframe::FrameSpan painted;
    toolframe::brushstroke(*this, x, y, dx, dy, settings.brush(), [&](int channel, int frame, int bin, float w) {
        if (channel >= profilechannels)
            return;
        const QVector2D mix = getbin(toolframe::mixbuffer, channel, frame, bin);
        if (double(mix.length()) > gate * noiseprofile[channel][profileindex(bin)])
            return;
        toolframe::paint(*this, channel, frame, bin, mix * w, painted);
    });
    // What this event painted lies partly beyond the area the host computed
    // before the call; the commit covers it too.
    if (dpressure < 0)
        toolframe::commitwritten(*this, painted);
}
