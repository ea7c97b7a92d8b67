#pragma once
// The object that carries out the device plugin's operations in the
// controller's own thread: it is created inside SpectrumGui::run(), so it
// belongs to that thread and every queued call reaches it there, one after the
// other in the order sent. A start occupies the thread until the device
// returns.
#include <QObject>
#include <QRectF>
#include <QString>

class DeviceInterface;

// What one device operation reported.
struct DeviceReport
{
    QString action;
    QString description;
    bool result = false;
};

class DeviceThread : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // One report per device operation: its action word, the device entry and
    // whether the operation succeeded (a missing device counts as a failure).
    void outdevicelog(QString action, QString description, bool result);
    // The report of the operation run last, sent again by answer().
    void outanswer(QString action, QString description, bool result);

public slots:
    void devicePlayOpen(DeviceInterface* device, QString description);
    // Plays, then raises *stop: the run is over, whatever ended it.
    void devicePlayStart(DeviceInterface* device, QString description, qint32 layertype, qint32 loop,
                         QRectF range, double* currenttime, float* volume, bool* stop);
    void devicePlayClose(DeviceInterface* device, QString description);
    void deviceRecordOpen(DeviceInterface* device, QString description);
    void deviceRecordStart(DeviceInterface* device, QString description, qint32 layertype,
                           qint32 loop, QRectF range, double* currenttime, float* volume,
                           bool* stop);
    void deviceRecordClose(DeviceInterface* device, QString description);
    // Queued right behind an operation, it answers with that operation's
    // own report, whatever was sent or reported meanwhile.
    void answer();

private:
    DeviceReport last;
    void report(const QString& action, const QString& description, bool result);
};
