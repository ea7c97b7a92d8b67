#include "toolplugin.h"

#include <cmath>

#include "ownthread.h"
#include "peaktrack.h"
#include "peakwidgets.h"
#include "toolwidgets.h"

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
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

void ToolPlugin::takesettings()
{
    taken = toolframe::PeakSettings::take(tolerance, timelimit, spread, purefreq);
    taken.alive = taken.alive && frequencyrank && harmonics && harmtolerance;
    if (taken.alive) {
        rank = toolframe::valueof(frequencyrank);
        harmonicsmax = toolframe::valueof(harmonics);
    }
}

bool ToolPlugin::writeharmonics(int channel, int frame, double position, double frequency,
                                const toolframe::SelectedCells& selected)
{
    bool inside = false;
    const double nyquist = samplerate / 2;
    const int bins = taken.spread;
    for (float h = 1;; h += 1) {
        // How many fundamentals fit below the Nyquist frequency; at 0 Hz only
        // the harmonics setting limits the series.
        const double fundamental = frequency / rank;
        const double fits = fundamental != 0 ? nyquist / fundamental : HUGE_VAL;
        if (std::min(fits, harmonicsmax) <= h)
            return inside;
        const double expected = position / rank * h;
        const long long centre = toolframe::roundindex(expected);
        const QVector2D peak = toolframe::locatepeak(*this, channel, frame, centre);
        toolframe::writepeak(*this, channel, frame, centre, double(centre) + peak.x(), peak.y(), bins, taken.pure);
        inside = inside || selected.reach(frame, centre - bins, centre + bins);
    }
}

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                         qint32 mousechannel)
{
    note.clear();
    if (!taken.alive)
        return true;
    // The box keeps the rank within 1 to 60; the event then runs with it.
    // Keys come on the widgets' thread.
    if (key == Qt::Key_Plus || key == Qt::Key_Minus) {
        QDoubleSpinBox* box = ownthread(frequencyrank.data());
        box->setValue(box->value() + (key == Qt::Key_Plus ? 1 : -1));
        takesettings();
    }
    const bool pressed = pressure > 0;
    if (pressed && !stroking)
        reached = false;
    const toolframe::SelectedCells selected = toolframe::SelectedCells::of(*this);
    toolframe::partialevent(*this, x, y, pressure, dx, dy, dpressure,
                            toolframe::Tracking::of(taken.timelimit, taken.tolerance),
                            [&](double frequency, int channel, int frame, double position, float) {
                                const long long tracked = toolframe::roundindex(position);
                                const bool inside = writeharmonics(channel, frame, position, frequency, selected);
                                reached = reached || inside || selected.reach(frame, tracked, tracked);
                            });
    // The selection keeps every write outside it, silently: the stroke says so at its release.
    if (!pressed && dpressure < 0 && stroking && areaselected && !reached)
        note = tr("The stroke lies outside the selected time/frequency area, so nothing was extracted.");
    stroking = pressed;
    return true;
}
