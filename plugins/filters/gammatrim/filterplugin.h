#pragma once
// gammatrim reshapes the spectrum of the current layer inside the area: a
// gain in dB, then a power law on the real and imaginary parts, then an offset
// added to each bin's magnitude.
#include <QDoubleSpinBox>
#include <QObject>
#include <QPointer>
#include <QSlider>

#include "hostlink.h"
#include "interfaces.h"
#include "previewcycle.h"

class FilterPlugin : public QObject,
                     public FilterInterface,
                     public filterframe::TakesHost,
                     public filterframe::TakesBinRuns
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.FilterInterface/1.0")
    Q_INTERFACES(FilterInterface HostUser BinRunUser)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process() override;

public slots:
    void refreshS(); // a slider moved: every spin box follows its slider
    void refreshV(); // a spin box changed: every slider follows its spin box
    void preview();

private:
    // The result over an area (the selection, or a run of it) into the
    // target buffer (the scratch, or the current layer in place), at the
    // dialog's settings as they are now.
    filterframe::ApplyArea applier(int target);

    QWidget* parent = nullptr;
    filterframe::OwnedDialog dialog;
    // The controls live in the dialog; these go null when it is deleted.
    QPointer<QSlider> levelslider, gammaslider, offsetslider;
    QPointer<QDoubleSpinBox> levelspin, gammaspin, offsetspin;
    bool rewriting = false; // refreshS is writing the spin boxes
};
