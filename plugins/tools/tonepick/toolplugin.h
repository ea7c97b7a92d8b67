#pragma once
// tonepick, frequency extraction: pointed at a partial of the mix, it follows
// the partial's peak from frame to frame up to a time limit on either side of
// the pointer and copies the few bins around it into the scratch buffer, as a
// preview while hovering and committed into the current layer while pressed.
#include <QDoubleSpinBox>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QToolBar>

#include "interfaces.h"
#include "offthreadtool.h"
#include "peakwidgets.h"

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

    // Settings; the host owns them through the tool bar. purefreq is kept
    // hidden there, so it stays at its start value 0 (a plain copy).
    QPointer<QDoubleSpinBox> tolerance;
    QPointer<QDoubleSpinBox> timelimit;
    QPointer<QDoubleSpinBox> spread;
    QPointer<QDoubleSpinBox> purefreq;
    QPointer<QLabel> helplabel;

private:
    QPointer<QToolBar> settingsbar; // the bar handed to the host, while it lives
    toolframe::PeakSettings taken;  // what process works with
};
