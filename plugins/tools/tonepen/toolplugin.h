#pragma once
// tonepen, frequency drawing: each drag segment adds to the scratch buffer a
// sine whose frequency glides from the previous pointer frequency towards the
// current one over the samples between the two pointer times; the release
// commits the scratch buffer into the current layer. The sine's phase runs on
// from segment to segment and from stroke to stroke.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QToolBar>

#include "interfaces.h"
#include "offthreadtool.h"
#include "scratchcommit.h"

class ToolPlugin : public QObject, public ToolInterface, public OffThreadTool
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0")
    Q_INTERFACES(ToolInterface OffThreadTool)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                 qint32 mousechannel) override;
    void takesettings() override;

    // Settings; the host owns them through the tool bar. soft is kept hidden
    // there and read by nothing.
    QPointer<QDoubleSpinBox> strength;
    QPointer<QCheckBox> soft;
    QPointer<QPushButton> tablet;
    QPointer<QLabel> helplabel;

private:
    // Adds the segment from (x - dx, y - dy) up to, not including, x to the
    // scratch buffer; returns the frames it reaches.
    toolframe::FrameSpan drawsegment(float x, float y, float dx, float dy, double gain);

    QPointer<QToolBar> settingsbar; // the bar handed to the host, while it lives
    // What process works with: every widget was there, the strength in dB,
    // the tablet button was down.
    bool usable = false;
    double strengthdb = 0;
    bool usepressure = false;
    // Drawing phase in radians, shared by all channels, from load to unload.
    float phase = 0;
};
