// Insert time and Remove time: a range is asked for, then silence goes into,
// or a stretch comes out of, the current layer or every layer. The history
// cannot follow such a shift of the time line and is cleared.
#include <QDialog>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/prompt.h"
#include "core/buffer.h"
#include "core/globals.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "spectrumgui.h"
#include "sdk/typednumber.h"

void SpectrumGui::ininserttime()
{
    timeedit(tr("Insert Time"), &LayersGui::InsertTime);
}

void SpectrumGui::inremovetime()
{
    timeedit(tr("Remove Time"), &LayersGui::RemoveTime);
}

void SpectrumGui::timeedit(const QString& title, bool (LayersGui::*edit)(double, double))
{
    QDialog dialog(mainwindow);
    dialog.setWindowTitle(title);
    dialog.setFixedSize(150, 100);
    auto* layout = new QVBoxLayout(&dialog);
    auto* start = new TypedDoubleSpinBox(&dialog);
    start->setPrefix(tr("start: "));
    start->setSuffix(tr(" s"));
    start->setRange(-unsettime, unsettime);
    start->setDecimals(2);
    auto* length = new TypedDoubleSpinBox(&dialog);
    length->setPrefix(tr("length: "));
    length->setSuffix(tr(" s"));
    length->setRange(0, unsettime);
    length->setDecimals(2);
    auto* ok = new QPushButton(tr("Ok"), &dialog);
    connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(start);
    layout->addWidget(length);
    layout->addWidget(ok);
    const bool selected = selectionexists();
    start->setValue(selected ? selection.x() : devicetime());
    length->setValue(selected ? selection.width() : 0.0);
    if (dialog.exec() != QDialog::Accepted)
        return;

    PromptRequest question;
    question.parent = mainwindow;
    question.icon = QMessageBox::Question;
    question.title = title;
    question.text = tr("Are you sure ? (You can't undo this action)");
    question.buttons = QMessageBox::Yes | QMessageBox::No;
    // Return after a key meant for something else must not destroy anything,
    // nor a box closed without an answer.
    question.defaultbutton = QMessageBox::No;
    if (prompt(question) != QMessageBox::Yes)
        return;

    const QRectF former = selection;
    selection = QRectF(0, 0, 0, 0);
    emit outselection(selection);

    // A run reads the layers whose files are about to be rebuilt; edits
    // still held in the caches belong to the time line as it was.
    if (transportmode >= 0)
        indevicepause();
    // What edits left in the caches is kept for the layers as they stand, so
    // that it can follow their samples.
    for (Buffer* buffer : slottable.buffer)
        buffer->flush();
    slottable.buffer[0]->indatareset();
    slottable.buffer[1]->indatareset();
    const bool project = slottable.bound[0] || slottable.bound[1];
    if (layersgui && !(layersgui->*edit)(start->value(), length->value())) {
        // No layer changed (the panel said why): the history still fits them.
        selection = former;
        emit outselection(selection);
        return;
    }
    // The caches hold the frames of the old time line, and the frames the
    // layer kept would give the next history entry a "before" side from it.
    slottable.buffer[0]->indatareset();
    slottable.buffer[1]->indatareset();
    if (layer* current = slottable.bound[1]) {
        current->keepbefore();
        current->resetdirty();
    }
    if (project) {
        // The project's extent changed: the area and the scroll bars follow.
        indisplayarea(displayarea);
        if (mainwindow)
            mainwindow->setWindowModified(true);
        if (layersgui)
            layersgui->inrefreshstatus();
    }
    emit outdisplayarea(displayarea, displayarea, 3);
    if (historygui)
        historygui->inresethistory();
}
