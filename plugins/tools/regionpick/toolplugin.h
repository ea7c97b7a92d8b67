#pragma once
// regionpick, the area extractor: copies the time-frequency area painted over
// from the mix into the current layer. Each stamp puts the mix's cells, scaled
// by the brush weight, into the scratch buffer, where the views show them; the
// stroke commits them, each cell of the layer keeping the louder of its old
// value and the painted one.
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

    toolframe::BrushSettings settings; // no strength
};
