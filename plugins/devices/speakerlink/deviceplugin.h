#pragma once
// speakerlink: the device plugin that plays a host buffer through OpenAL.
//
// Threads: initialize and the settings calls come on the window's thread, the
// Open, Start and Close calls one after another on the controller's device
// thread. A running Start shares only the run's cells (time, volume, stop),
// which the window's thread reads and sets without a lock, and the atomic
// `recordstop`.
#include <QObject>
#include <QRectF>
#include <QString>

#include <AL/al.h>
#include <AL/alc.h>

#include <atomic>

#include "interfaces.h"

class DevicePlugin : public QObject, public DeviceInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.DeviceInterface/1.0")
    Q_INTERFACES(DeviceInterface)

public:
    DevicePlugin() = default;
    ~DevicePlugin() override = default;

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

private:
    ALCdevice* playdevice = nullptr;
    ALCcontext* playcontext = nullptr;
    ALCdevice* capturedevice = nullptr;
    ALuint source = 0;
    int chunkspersecond = 2;
    // Written by recordOpen/recordClose, read by a running recordStart.
    std::atomic<bool> recordstop{false};
};
