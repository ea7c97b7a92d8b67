#pragma once
// floatmapdump saves the magnitude spectrum of the current layer inside the
// area as grey-scale Portable Float Map pictures, one file per channel that
// is switched on: one pixel per bin and frame, each row a frame running from
// the highest bin down, the first frame at the picture's bottom. The layer is
// not changed.
#include <QObject>

#include "hostlink.h"
#include "interfaces.h"

class FilterPlugin : public QObject, public FilterInterface, public filterframe::TakesHost
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.FilterInterface/1.0")
    Q_INTERFACES(FilterInterface HostUser)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process() override;

private:
    QWidget* parent = nullptr;
};
