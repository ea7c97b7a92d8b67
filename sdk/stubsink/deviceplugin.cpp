#include "deviceplugin.h"

bool DevicePlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = QStringLiteral("empty device plugin");
    category.clear();
    playdevices.clear();
    recorddevices.clear();
    return true;
}

// No settings dialog: the host answers false with "No settings."
bool DevicePlugin::playSettings()
{
    return false;
}

bool DevicePlugin::playOpen(const QString& description)
{
    return true;
}

bool DevicePlugin::playStart(const QString& description, qint32 layertype, qint32 loop,
                             QRectF range, double* currenttime, float* volume, bool* stop)
{
    return true;
}

bool DevicePlugin::playClose(const QString& description)
{
    return true;
}

bool DevicePlugin::recordSettings()
{
    return false;
}

bool DevicePlugin::recordOpen(const QString& description)
{
    return true;
}

bool DevicePlugin::recordStart(const QString& description, qint32 layertype, qint32 loop,
                               QRectF range, double* currenttime, float* volume, bool* stop)
{
    return true;
}

bool DevicePlugin::recordClose(const QString& description)
{
    return true;
}
