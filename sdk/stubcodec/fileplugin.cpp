#include "fileplugin.h"

bool FilePlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = QStringLiteral("empty file plugin");
    importfilters.clear();
    exportfilters.clear();
    return true;
}

bool FilePlugin::importFile(const QString& filter, const QString& source,
                            const QString& destination, int* samplerate, int* channels,
                            int* speakermask, double* start, double* length)
{
    return true;
}

bool FilePlugin::exportFile(const QString& filter, const QString& source,
                            const QString& destination, int samplerate, int channels)
{
    return true;
}
