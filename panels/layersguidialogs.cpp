// The layer dialogs: calibration of the current layer, its properties, and
// the resampling of the whole project.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/mainwindow.h"
#include "app/prompt.h"
#include "controller/spectrumgui.h"
#include "core/buffer.h"
#include "sdk/ratelimit.h"
#include "core/globals.h"
#include "historygui.h"
#include "layersgui.h"
#include "qtreewidgetext.h"
#include "sdk/typednumber.h"

void LayersGui::Calibrate()
{
    if (!currentitem)
        return;
    QDialog dialog(mainwindow);
    dialog.setWindowTitle(tr("Calibrate Layer"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* average = new QRadioButton(tr("average power"), &dialog);
    auto* peak = new QRadioButton(tr("peak power"), &dialog);
    peak->setChecked(true);
    auto* level = new TypedDoubleSpinBox(&dialog);
    level->setSuffix(tr("db"));
    level->setRange(-200, 200);
    level->setDecimals(2);
    level->setValue(0);
    auto* zebra = new QCheckBox(tr("adjust zebra pattern threshold"), &dialog);
    auto* multiplier = new QCheckBox(tr("adjust level multiplier"), &dialog);
    auto* volume = new QCheckBox(tr("adjust volume"), &dialog);
    for (QCheckBox* box : {zebra, multiplier, volume})
        box->setChecked(true);
    auto* calibrate = new QPushButton(tr("Calibrate"), &dialog);
    connect(calibrate, &QPushButton::clicked, &dialog, &QDialog::accept);
    for (QWidget* w : std::initializer_list<QWidget*>{average, peak, level, zebra, multiplier, volume, calibrate})
        layout->addWidget(w);
    if (dialog.exec() != QDialog::Accepted || !currentitem)
        return;
    auto* spin = rowpart<QDoubleSpinBox>(currentitem, SpinRole);
    // Without a receiver the factor stays what the row shows: nothing changes.
    float factor = spin ? float(spin->value()) : 0.0f;
    emit outcalibrate(average->isChecked(), peak->isChecked(), float(level->value()), zebra->isChecked(),
                      multiplier->isChecked(), volume->isChecked(), &factor);
    if (spin)
        spin->setValue(factor);
}

void LayersGui::Properties()
{
    if (!currentitem)
        return;
    layer* l = rowlayer(currentitem);
    const double spanstart = l->spanstart();
    const double length = l->spanlength();
    const bool empty = spanstart >= unsettime;
    const double start = empty ? 0.0 : spanstart;
    const double end = empty ? 0.0 : spanstart + length;
    const QString text = tr("%1Hz / %2 channels<br>start: %3s end: %4s length: %5s")
                             .arg(l->samplerate)
                             .arg(l->channels)
                             .arg(start)
                             .arg(end)
                             .arg(length);
    bool ok = false;
    const QString name =
        QInputDialog::getText(mainwindow, tr("Layer Properties"), text, QLineEdit::Normal, l->name, &ok);
    if (!ok)
        return;
    if (name == l->name)
        return;
    l->name = name;
    if (auto* label = rowpart<QLabel>(currentitem, LabelRole))
        label->setText(name);
    emit outrefreshlayers();
    setmodified();
}

void LayersGui::ResampleProject()
{
    if (rowcount() == 0)
        return;
    QDialog dialog(mainwindow);
    dialog.setWindowTitle(tr("Resample Project"));
    dialog.setFixedSize(160, 140);
    auto* layout = new QVBoxLayout(&dialog);
    auto* ratespin = new TypedSpinBox(&dialog);
    ratespin->setRange(1, maxsamplerate);
    ratespin->setSuffix(tr(" Hz"));
    ratespin->setValue(projectformat.samplerate);
    auto* channelspin = new TypedSpinBox(&dialog);
    channelspin->setRange(1, Buffer::maxchannels);
    channelspin->setSuffix(tr(" channels"));
    channelspin->setValue(projectformat.channels);
    auto* resample = new QPushButton(tr("Resample"), &dialog);
    connect(resample, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(ratespin);
    layout->addWidget(channelspin);
    layout->addWidget(resample);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!askirreversible(tr("Resample Project")))
        return;
    const int rate = ratespin->value();
    const int count = channelspin->value();

    NoItemClicked();
    if (spectrumgui) {
        spectrumgui->bindlayer(1, nullptr);
        spectrumgui->bindlayer(0, nullptr);
    }
    // Modal, so that no row is clicked while the layers change under it.
    QProgressDialog progress(tr("Resampling..."), QString(), 0, rowcount() - 1, mainwindow);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.show();
    progress.setValue(0);
    // All or nothing: each layer is resampled as a copy first, so that one
    // that fails leaves the project in one format, the old one.
    QList<layer*> copies;
    QStringList failed;
    bool cancelled = false;
    for (int i = 0; i < rowcount() && !cancelled; ++i) {
        QCoreApplication::processEvents();
        progress.setValue(i);
        layer* l = rowlayer(row(i));
        auto* copy = new layer(*l);
        copies << copy;
        if (copy->failed() || !copy->resample(rate, count, 0)) {
            failed << l->name;
            cancelled = !copy->failed(); // the user ended it: the rest need not run, nor a box say so
        }
    }
    progress.hide();
    if (failed.isEmpty()) {
        for (int i = 0; i < rowcount(); ++i) {
            layer* l = rowlayer(row(i));
            layer* copy = copies.at(i);
            QMutexLocker lock(&layermutex);
            std::swap(l->file, copy->file);
            l->samplerate = copy->samplerate;
            l->channels = copy->channels;
            l->speakermask = copy->speakermask;
            l->length = copy->length;
            projectformat.speakermask = l->speakermask;
        }
        projectformat.samplerate = rate;
        projectformat.channels = count;
        // The history's chunks keep the former format, which no layer takes back.
        if (historygui)
            historygui->inresethistory();
    }
    delete mixlayer;
    mixlayer = nullptr;
    delete alllayers;
    alllayers = nullptr;
    inrefreshalllayers();
    inrefreshmixlayers();
    // The session names the new sample files before the former ones go.
    if (failed.isEmpty())
        setmodified();
    qDeleteAll(copies); // with the former sample files, or the failed copies
    if (!failed.isEmpty() && !cancelled) {
        PromptRequest request;
        request.parent = mainwindow;
        request.icon = QMessageBox::Critical;
        request.title = tr("Error Resampling Project");
        request.text = tr("These layers could not be resampled, so the project keeps its format:<br/>%1")
                           .arg(failed.join(QStringLiteral(", ")).toHtmlEscaped());
        prompt(request);
    }
}
