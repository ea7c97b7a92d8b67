#pragma once
// The object that carries out the device plugin's operations in the
// controller's own thread: it is created inside SpectrumGui::run(), so it
// belongs to that thread and every queued call reaches it there, one after the
// other in the order sent.
#include <QObject>
#include <QString>

class DeviceThread : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // One line per device operation: its action word, the device entry and
    // whether the operation succeeded.
    void outdevicelog(QString action, QString description, bool result);
};
