// Delete, Cut, Copy and Paste: they act bin by bin on the time-frequency
// area of the selection, between the current layer, the mix and the
// clipboard. Cut, Delete and Paste change the current layer and end with its
// history entry; Copy only fills the clipboard.
#include <QPixmap>
#include <cmath>

#include "core/buffer.h"
#include "sdk/rounding.h"
#include "core/transferarea.h"
#include "panels/layersgui.h"
#include "spectrumgui.h"

bool SpectrumGui::deviceidle()
{
    // A start that a stop could not wait for still reads the caches: it is
    // waited for once more before an edit writes into them.
    if (transportmode >= 0 || (runpending && !waitdevice())) {
        transportwarning(tr("Device in use"), tr("Wait for playback/record to end."));
        return false;
    }
    return true;
}

void SpectrumGui::editarea(int source, int destination, int mode, const QRectF& area)
{
    // The transfer reads an empty mask as every channel; here it means that
    // every channel is switched off, and hidden channels are never edited.
    if (channelmask == 0)
        return;
    transferarea(slottable.buffer[source], slottable.buffer[destination], area, channelmask, mode, 0, 0);
}

// The selection widened in time to every frame whose synthesis reaches its
// samples: frame f writes the two hops around its centre, so a selection
// shorter than a hop (a click) is covered by two or three frames, and a
// longer one loses its last samples to the frames beyond its rounded end.
// Deleting these frames silences every sample of the selection; the change
// reaches less than two hops beyond each edge.
QRectF SpectrumGui::framesreaching(const QRectF& area) const
{
    const Buffer* b = slottable.buffer[1];
    const int hop = b ? b->hop() : 0;
    if (hop <= 0 || b->samplerate <= 0 || area.width() <= 0)
        return area;
    const double perframe = double(b->samplerate) / hop;
    const double first = std::floor(double(roundhalfup64(area.x() * b->samplerate)) / hop);
    const double last = std::ceil(double(roundhalfup64((area.x() + area.width()) * b->samplerate)) / hop);
    return QRectF(first / perframe, area.y(), (last + 1 - first) / perframe, area.height());
}

void SpectrumGui::renewscalesource()
{
    layer* clip = slottable.bound[2];
    if (!scalesource || !clip)
        return;
    // The cache lets go of the old copy (writing back into it) before it goes.
    layer* old = scalesource;
    scalesource = new layer(*clip);
    if (scalebuffer)
        scalebuffer->bindlayer(scalesource);
    delete old;
}

void SpectrumGui::indel()
{
    if (!deviceidle())
        return;
    if (!slottable.bound[1]) {
        transportwarning(tr("Delete"), tr("Select a layer first."));
        return;
    }
    if (!selectionexists()) {
        if (layersgui)
            layersgui->DeleteLayer();
        return;
    }
    editarea(1, 1, 3, framesreaching(selection));
    emit outdisplayarea(displayarea, selection, 1);
    pushbackup(tr("Delete"), QPixmap(QStringLiteral(":/icons/Delete.png")));
}

void SpectrumGui::incut()
{
    if (!deviceidle())
        return;
    if (!slottable.bound[1]) {
        transportwarning(tr("Cut"), tr("You cannot cut from mix. Select a layer first."));
        return;
    }
    if (!selectionexists()) {
        transportwarning(tr("Cut"), tr("Select a time/frequency area first."));
        return;
    }
    editarea(1, 2, 4, selection);
    emit outdisplayarea(displayarea, selection, 2);
    emit outdisplayarea(displayarea, selection, 1);
    renewscalesource();
    pushbackup(tr("Cut"), QPixmap(QStringLiteral(":/icons/Cut.png")));
    // The clipboard is scratch space: its writes never reach the history.
    if (layer* clip = slottable.bound[2])
        clip->resetdirty();
}

void SpectrumGui::incopy()
{
    if (!deviceidle())
        return;
    layer* current = slottable.bound[1];
    if (!selectionexists()) {
        if (!current)
            transportwarning(tr("Copy"), tr("Select an area or a layer first."));
        else if (layersgui)
            layersgui->DuplicateLayer();
        return;
    }
    editarea(current ? 1 : 0, 2, 5, selection);
    emit outdisplayarea(displayarea, selection, 2);
    renewscalesource();
    if (layer* clip = slottable.bound[2])
        clip->resetdirty();
}

void SpectrumGui::inpaste()
{
    if (!deviceidle())
        return;
    layer* clip = slottable.bound[2];
    if (!clip || !(clip->length > 0)) {
        transportwarning(tr("Paste"), tr("Clipboard is empty."));
        return;
    }
    if (!slottable.bound[1]) {
        transportwarning(tr("Paste"), tr("You must select a layer first."));
        return;
    }
    if (!selectionexists())
        return;
    editarea(2, 1, 5, selection);
    emit outdisplayarea(displayarea, selection, 1);
    pushbackup(tr("Paste"), QPixmap(QStringLiteral(":/icons/Paste.png")));
}
