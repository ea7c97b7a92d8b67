#include "devicethread.h"

#include <atomic>

#include "sdk/interfaces.h"

namespace {

using StartOperation = bool (DeviceInterface::*)(const QString&, qint32, qint32, QRectF, double*,
                                                 float*, bool*);

// Runs a start to its end, then raises the stop flag, which the GUI thread
// reads as an atomic too: the run is over, whatever ended it.
bool runstart(DeviceInterface* device, StartOperation start, const QString& description,
              qint32 layertype, qint32 loop, QRectF range, double* currenttime, float* volume,
              bool* stop)
{
    const bool result = device && currenttime && volume && stop
        && (device->*start)(description, layertype, loop, range, currenttime, volume, stop);
    if (stop)
        std::atomic_ref<bool>(*stop).store(true);
    return result;
}

} // namespace

void DeviceThread::report(const QString& action, const QString& description, bool result)
{
    last = {action, description, result};
    emit outdevicelog(action, description, result);
}

void DeviceThread::answer()
{
    emit outanswer(last.action, last.description, last.result);
}

void DeviceThread::devicePlayOpen(DeviceInterface* device, QString description)
{
    const bool result = device && device->playOpen(description);
    report(QStringLiteral("PlayOpen"), description, result);
}

void DeviceThread::devicePlayStart(DeviceInterface* device, QString description, qint32 layertype,
                                   qint32 loop, QRectF range, double* currenttime, float* volume,
                                   bool* stop)
{
    report(QStringLiteral("PlayStart"), description,
                      runstart(device, &DeviceInterface::playStart, description, layertype, loop,
                               range, currenttime, volume, stop));
}

void DeviceThread::devicePlayClose(DeviceInterface* device, QString description)
{
    const bool result = device && device->playClose(description);
    report(QStringLiteral("PlayClose"), description, result);
}

void DeviceThread::deviceRecordOpen(DeviceInterface* device, QString description)
{
    const bool result = device && device->recordOpen(description);
    report(QStringLiteral("RecordOpen"), description, result);
}

void DeviceThread::deviceRecordStart(DeviceInterface* device, QString description,
                                     qint32 layertype, qint32 loop, QRectF range,
                                     double* currenttime, float* volume, bool* stop)
{
    report(QStringLiteral("RecordStart"), description,
                      runstart(device, &DeviceInterface::recordStart, description, layertype,
                               loop, range, currenttime, volume, stop));
}

void DeviceThread::deviceRecordClose(DeviceInterface* device, QString description)
{
    const bool result = device && device->recordClose(description);
    report(QStringLiteral("RecordClose"), description, result);
}
