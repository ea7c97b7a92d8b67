#pragma once
// gainbrush, the amplifier: raises the level of the current layer under the
// brush by the chosen strength, with soft edges. A stroke collects the
// amplified cells in the scratch buffer, where the views show them, and
// commits them on release, each cell of the layer keeping the louder of its
// old and its amplified value. Within one stroke a cell is amplified once, by
// the strongest stamp that reached it.
#include <QObject>

#include "brushsettings.h"
#include "interfaces.h"
#include "offthreadtool.h"

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

    toolframe::BrushSettings settings;
};
