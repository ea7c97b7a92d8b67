#pragma once
// The smallest device plugin: no devices, no settings, every run returns at once.
#include <QObject>

#include "interfaces.h"

class DevicePlugin : public QObject, public DeviceInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.DeviceInterface/1.0")
    Q_INTERFACES(DeviceInterface)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool playSettings() override;
    bool playOpen(const QString& description) override;
    bool playStart(const QString& description, qint32 layertype, qint32 loop, QRectF range,
                   double* currenttime, float* volume, bool* stop) override;
    bool playClose(const QString& description) override;
    bool recordSettings() override;
    bool recordOpen(const QString& description) override;
    bool recordStart(const QString& description, qint32 layertype, qint32 loop, QRectF range,
                     double* currenttime, float* volume, bool* stop) override;
    bool recordClose(const QString& description) override;
};
