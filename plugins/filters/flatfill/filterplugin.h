#pragma once
// flatfill fills the selected area of the current layer with random spectral
// values of a chosen level, merged so that every bin of the area keeps the
// louder of the layer and the noise.
#include <QDoubleSpinBox>
#include <QObject>
#include <QPointer>

#include "hostlink.h"
#include "interfaces.h"
#include "previewcycle.h"

class FilterPlugin : public QObject, public FilterInterface, public filterframe::TakesHost
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.FilterInterface/1.0")
    Q_INTERFACES(FilterInterface HostUser)

public:
    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process() override;

public slots:
    void preview();

private:
    // The generated signal over the selection into the scratch, at the
    // dialog's settings as they are now.
    filterframe::ApplyArea applier();

    QWidget* parent = nullptr;
    filterframe::OwnedDialog dialog;
    // The control lives in the dialog; this goes null when it is deleted.
    QPointer<QDoubleSpinBox> power;
};
