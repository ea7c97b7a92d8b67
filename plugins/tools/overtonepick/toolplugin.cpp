#include "toolplugin.h"

#include <cmath>

#include "peaktrack.h"
#include "peakwidgets.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    // Pointer events touch the widgets only to read them: the host may
    // process them off the GUI thread while the window keeps answering.
    setProperty("offguithread", true);
    name = tr("Extract Harmonics");
    category = QStringLiteral("Extract");
    label = tr("Harmonics");
    icon = toolframe::loadicon(QStringLiteral(":/resources/overtonepick.png"));
    // A second call keeps the bar the host already holds.
    if (!settingsbar) {
        tolerance = toolframe::newtolerance();
        timelimit = toolframe::newtimelimit();
        spread = toolframe::newspread();
        purefreq = toolframe::newpurefreq();
        frequencyrank = toolframe::newspinbox({1, 60, 1, 0, 1, {}, tr("th harmonic"), tr("Frequency Rank")});
        harmonics = toolframe::newspinbox({1, 60, 1, 0, 10, {}, tr(" harmonics"), {}});
        harmtolerance = toolframe::newspinbox({-90, -0.0, 1, 1, -36, tr("harm. tol.:"), tr("dB"),
                                               tr("Harmonic Tolerance")});
        helplabel = toolframe::newhelplabel(tr("Extract harmonics from mix to selected layer. Press +/- to "
                                               "change frequency rank in harmonics."));
        settingsbar = toolframe::newsettingsbar({tolerance, timelimit, spread, frequencyrank, harmonics, helplabel});
        toolframe::keephidden(settingsbar, {purefreq, harmtolerance});
    }
    toolbar = settingsbar;
    cursor = toolframe::loadcursor(QStringLiteral(":/resources/overtonepickc.png"));
    return true;
}

bool ToolPlugin::writeharmonics(int channel, int frame, double position, double frequency, int bins, double pure,
                                const toolframe::SelectedCells& selected)
{
    bool inside = false;
    const double nyquist = samplerate / 2;
    for (float h = 1;; h += 1) {
        const double rank = frequencyrank->value();
        // How many fundamentals fit below the Nyquist frequency; at 0 Hz only
        // the harmonics setting limits the series.
        const double fundamental = frequency / rank;
        const double fits = fundamental != 0 ? nyquist / fundamental : HUGE_VAL;
        if (std::min(fits, harmonics->value()) <= h)
            return inside;
        const double expected = position / rank * h;
        const long long centre = toolframe::roundindex(expected);
        const QVector2D peak = toolframe::locatepeak(*this, channel, frame, centre);
        toolframe::writepeak(*this, channel, frame, centre, double(centre) + peak.x(), peak.y(), bins, pure);
        inside = inside || selected.reach(frame, centre - bins, centre + bins);
    }
}

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                         qint32 mousechannel)
{
    strokenote.clear();
    if (!tolerance || !timelimit || !spread || !purefreq || !frequencyrank || !harmonics || !harmtolerance)
        return true;
    // The box keeps the rank within 1 to 60; the event then runs with it.
    if (key == Qt::Key_Plus)
        frequencyrank->setValue(frequencyrank->value() + 1);
    else if (key == Qt::Key_Minus)
        frequencyrank->setValue(frequencyrank->value() - 1);
    const int bins = int(spread->value());
    const double pure = purefreq->value() / 100;
    const bool pressed = pressure > 0;
    if (pressed && !stroking)
        reached = false;
    const toolframe::SelectedCells selected = toolframe::SelectedCells::of(*this);
    toolframe::partialevent(*this, x, y, pressure, dx, dy, dpressure,
                            toolframe::Tracking::of(timelimit->value(), tolerance->value()),
                            [&](double frequency, int channel, int frame, double position, float) {
                                const long long tracked = toolframe::roundindex(position);
                                const bool inside =
                                    writeharmonics(channel, frame, position, frequency, bins, pure, selected);
                                reached = reached || inside || selected.reach(frame, tracked, tracked);
                            });
    // The selection keeps every write outside it, silently: the stroke says so at its release.
    if (!pressed && dpressure < 0 && stroking && areaselected && !reached)
        strokenote = tr("The stroke lies outside the selected time/frequency area, so nothing was extracted.");
    stroking = pressed;
    return true;
}
