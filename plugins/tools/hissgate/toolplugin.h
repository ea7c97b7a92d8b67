#pragma once
// hissgate, the manual noise gate: extracts noise from the mix into the current
// layer. With "Register Noise" down, dragging over places of the mix that hold
// only noise records per channel and bin the loudest magnitude met (the noise
// profile). With it up, the tool is a brush that copies into the current layer
// only the mix cells at or below the profile of their bin, moved by a
// tolerance in dB. A profile is valid only at the window size it was
// registered at.
#include <QDoubleSpinBox>
#include <QObject>
#include <QPointer>
#include <QPushButton>

#include "brushsettings.h"
#include "interfaces.h"
#include "offthreadtool.h"
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
    // Registering takes presses at the view's edges too, where only noise
    // often lies; the time cursor is placed another way meanwhile.
    bool ownspresses() const override;

    // The brush settings, and the tool's own between them and the help line.
    // The host owns them through the tool bar; they are gone once it deletes
    // the bar.
    toolframe::BrushSettings settings; // no strength
    QPointer<QPushButton> registernoise; // down: register, up: extract
    QPointer<QPushButton> reset;
    QPointer<QDoubleSpinBox> tolerance;

    // The profile covers the first eight channels and bins 0 .. 32767; higher
    // bins of the largest window share the last entry.
    static constexpr int profilechannels = 8;
    static constexpr int profilebins = 32768;

public slots:
    // Empties the scratch buffer and the profile; the window size it belongs
    // to stays.
    void resetnoise();

private:
    void registerstroke(float x, float y, float dx, float dy);
    void extractstroke(float x, float y, float pressure, float dx, float dy, float dpressure);
    static int profileindex(int bin);
    // Why a stroke at this window size can extract nothing; empty when it can.
    QString withoutprofile() const;

    // What process works with: every widget was there, the registering
    // button was down, the tolerance.
    bool usable = false;
    bool registering = false;
    double gatetolerance = 0;
    int noisefftsize = 0;           // window size of the profile; 0: none registered
    float noiseprofile[profilechannels][profilebins] = {};
    QString note; // why the stroke the last call ended extracted nothing
};
