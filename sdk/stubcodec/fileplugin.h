#pragma once
// The smallest file plugin: no import filters, no export formats, and the
// import and export operations write nothing.
#include <QObject>

#include "interfaces.h"

class FilePlugin : public QObject, public FileInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.FileInterface/1.0")
    Q_INTERFACES(FileInterface)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool importFile(const QString& filter, const QString& source, const QString& destination,
                    int* samplerate, int* channels, int* speakermask, double* start,
                    double* length) override;
    bool exportFile(const QString& filter, const QString& source, const QString& destination,
                    int samplerate, int channels) override;
};
