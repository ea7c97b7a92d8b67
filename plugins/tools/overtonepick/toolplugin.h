#pragma once
// overtonepick, harmonics extraction: takes the partial under the pointer as
// harmonic number `frequencyrank` of a harmonic series, follows it over time
// as the frequency extraction does, and in every followed frame copies the
// bins around each harmonic of the series below the Nyquist frequency from
// the mix into the scratch buffer, committing them while pressed. The '+' and
// '-' keys step the rank.
#include <QDoubleSpinBox>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QToolBar>

#include "interfaces.h"
#include "offthreadtool.h"
#include "peakwidgets.h"
#include "scratchcommit.h"
#include "toolnotes.h"

class ToolPlugin : public QObject, public ToolInterface, public OffThreadTool, public ToolNotes
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0")
    Q_INTERFACES(ToolInterface OffThreadTool ToolNotes)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                 qint32 mousechannel) override;
    void takesettings() override;
    QString strokenote() const override { return note; }
    bool ownspresses() const override { return false; }

    // Settings; the host owns them through the tool bar. purefreq and
    // harmtolerance are kept hidden there: purefreq stays 0 (a plain copy),
    // harmtolerance is read by nothing.
    QPointer<QDoubleSpinBox> tolerance;
    QPointer<QDoubleSpinBox> timelimit;
    QPointer<QDoubleSpinBox> spread;
    QPointer<QDoubleSpinBox> purefreq;
    QPointer<QDoubleSpinBox> frequencyrank;
    QPointer<QDoubleSpinBox> harmonics;
    QPointer<QDoubleSpinBox> harmtolerance;
    QPointer<QLabel> helplabel;

private:
    // Copies the harmonics of the series whose harmonic `rank` lies at bin
    // `position` of one frame; true when any of them reaches the selection.
    bool writeharmonics(int channel, int frame, double position, double frequency,
                        const toolframe::SelectedCells& selected);

    QPointer<QToolBar> settingsbar; // the bar handed to the host, while it lives
    // What process works with.
    toolframe::PeakSettings taken;
    double rank = 1;
    double harmonicsmax = 1;
    bool stroking = false; // the button is down
    bool reached = false;  // the stroke has touched the selection
    QString note;          // why the stroke the last call ended extracted nothing
};
