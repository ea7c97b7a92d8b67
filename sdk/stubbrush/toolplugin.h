#pragma once
// The smallest tool plugin: it loads, initializes and does nothing. A starting
// point for real tools.
#include <QObject>

#include "interfaces.h"

class ToolPlugin : public QObject, public ToolInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0")
    Q_INTERFACES(ToolInterface)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process(float x, float y, float pressure, float dx, float dy, float dpressure, int key,
                 qint32 mousechannel) override;
};
