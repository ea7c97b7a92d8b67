#pragma once
// routematrix, the channel mixer: inside the area every target channel's
// spectrum becomes a weighted sum of the spectra of all source channels, with
// the weights from an 8 x 8 matrix of percentages set with sliders.
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

#include "hostlink.h"
#include "interfaces.h"
#include "previewcycle.h"

class FilterPlugin : public QObject, public FilterInterface, public filterframe::TakesHost
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.FilterInterface/1.0")
    Q_INTERFACES(FilterInterface HostUser)

public:
    static constexpr int size = 8; // channels the matrix covers

    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool process() override;

public slots:
    void refreshmixer();
    void reset();
    void preview();

private:
    // The result over an area (the selection, or a run of it) into the
    // scratch, at the weights the dialog holds now.
    filterframe::ApplyArea applier();

    QWidget* parent = nullptr;
    filterframe::OwnedDialog dialog;
    // The controls live in the dialog; these go null when it is deleted.
    QPointer<QTabWidget> tabs;
    QPointer<QSlider> sliders[size][size]; // [target][source]
    QPointer<QSpinBox> spinboxes[size][size];
    QPointer<QLabel> channellabels[size][size];
};
