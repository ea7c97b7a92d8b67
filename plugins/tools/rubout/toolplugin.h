#pragma once
// rubout, the eraser: lowers the level of the current layer under the brush by
// the chosen strength, with soft edges, while the button or pen is down. The
// scratch buffer keeps each touched cell's level from before the stroke, so
// going over a place again within one stroke never erases more than the
// strength.
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
