#include "layersgui.h"

#include <QStatusBar>

#include "app/mainwindow.h"
#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "core/layer.h"
#include "statusline.h"

ProjectFormat projectformat;
LayersGui* layersgui = nullptr;

LayersGui::LayersGui(MainWindow* mainwindow) : mainwindow(mainwindow)
{
    projectformat = ProjectFormat();
    layersgui = this;
}

LayersGui::~LayersGui()
{
    delete mixlayer;
    mixlayer = nullptr;
    delete alllayers;
    alllayers = nullptr;
    if (layersgui == this)
        layersgui = nullptr;
}

void LayersGui::NoItemClicked()
{
    if (mainwindow)
        mainwindow->setFocus(Qt::OtherFocusReason);
    // Restyling the former current row, rebuilding the mix and reporting the
    // layer state to the main window are filled in with the layer panel.
    currentitem = nullptr;
    if (spectrumgui)
        spectrumgui->bindlayer(1, nullptr);
}

void LayersGui::inrefreshstatus()
{
    if (!mainwindow)
        return;
    if (projectformat.samplerate < 1 || !alllayers) {
        mainwindow->statusBar()->showMessage(tr("No project loaded"), 0);
        return;
    }
    StatusInputs in;
    in.samplerate = projectformat.samplerate;
    in.channels = projectformat.channels;
    in.spanstart = alllayers->spanstart();
    in.spanlength = alllayers->spanlength();
    if (spectrumgui) {
        in.timecursor = spectrumgui->timecursor;
        in.fftsize = spectrumgui->fftsize;
        in.fftoverlap = spectrumgui->fftoverlap;
    }
    in.unittime = unittime;
    if (const auto line = statusline(in))
        mainwindow->statusBar()->showMessage(*line, 0);
}

void LayersGui::inDropUrl(QList<QUrl>)
{
    // Filled in with the layer panel's import through the file plugins.
}
