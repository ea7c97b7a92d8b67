// History entries of the current layer: the edited span cut out before and
// after the edit, and the write-back of one of them on undo or redo. The
// "before" side comes from what the layer put aside of its frames since the
// last entry (copy on write), never from a copy of the whole layer.
#include <QScopedValueRollback>

#include <QThread>

#include "app/prompt.h"
#include "core/buffer.h"
#include "core/utility.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "spectrumgui.h"

void SpectrumGui::pushbackup(QString description)
{
    pushbackup(description, QPixmap());
}

void SpectrumGui::pushbackup(QString description, QPixmap icon)
{
    layer* current = slottable.bound[1];
    // A message box opened below sends the view a Leave, which would end the
    // same stroke again and open the next box, without end.
    if (!current || pushing)
        return;
    const QScopedValueRollback<bool> guard(pushing, true);
    // Edits still held in the Buffer belong to this entry.
    if (slottable.buffer[1])
        slottable.buffer[1]->flush();
    if (current->writefailed) {
        // The Buffer has let go of the edit: the view shows what the file
        // holds. The kept frames and the dirty span stay, so the next entry
        // that can be made also takes back the part of this edit that
        // reached the file; Undo makes that entry first.
        current->writefailed = false;
        if (slottable.buffer[1])
            slottable.buffer[1]->indatareset();
        emit outdisplayarea(displayarea, displayarea, 1);
        if (!(current->dirtymax > current->dirtymin) && !retrying && pendinglayer != current) {
            // Refused before it changed anything (no room to keep what it
            // would overwrite): there is nothing to make an entry of.
            undoerror(tr("The edit of layer \"%1\" was not made: nothing of it was written, and the layer is as it "
                         "was.<br/>%2")
                          .arg(current->name.toHtmlEscaped(), current->lasterror().toHtmlEscaped()));
            return;
        }
        if (!retrying) {
            pendinglayer = current;
            pendingdescription = description;
            pendingicon = icon;
            pendingreason = current->lasterror();
            undoerror(tr("The edit of layer \"%1\" could not be written in full: the layer holds what reached the "
                         "disk, and the edit has no history entry yet. Should the program end before it has one, "
                         "Recover Session brings the layer back as it was before this edit.<br/>%2")
                          .arg(current->name.toHtmlEscaped(), current->lasterror().toHtmlEscaped()));
            return;
        }
    }
    if (!(current->dirtymax > current->dirtymin)) {
        if (pendinglayer == current)
            pendinglayer = nullptr; // nothing of it reached the file
        return;
    }
    if (!current->keepsbefore() || current->beforelost()) {
        // Nothing holds all of the audio from before this edit, so it gets
        // no entry (the user hears it once); keeping from now lets the next
        // edits be undone once there is room.
        const bool lost = current->beforelost();
        if (lost && !snapshotwarned) {
            snapshotwarned = true;
            undoerror(tr("Layer \"%1\" could not be copied for the history, so this edit and the layer's earlier "
                         "ones cannot be undone, and its next ones only once there is room in the session folder "
                         "again.<br/>%2")
                          .arg(current->name.toHtmlEscaped(), current->lasterror().toHtmlEscaped()));
        }
        if (lost)
            keeppending(current);
        current->resetdirty();
        current->keepbefore();
        return;
    }
    const double t = current->dirtymin;
    const double d = current->dirtymax - current->dirtymin;
    const double before = current->beforeextent().length;
    // The two copies take as long as the edit is long (a whole layer's
    // filter): on a thread of their own, the window drawing meanwhile. Their
    // files then belong to this thread, as every layer's do.
    layer* backupbefore = nullptr;
    layer* backupafter = nullptr;
    QThread* here = QThread::currentThread();
    runstep(
        [&] {
            backupbefore = current->beforechunk(t, d);
            backupafter = new layer(current, t, d);
            for (layer* chunk : {backupbefore, backupafter})
                if (chunk && chunk->file)
                    chunk->file->moveToThread(here);
        },
        {});
    if (backupbefore->failed() || backupafter->failed()) {
        // A chunk cut short would restore silence, or no frames at all. The
        // kept frames and the dirty span stay for the next entry that can be made.
        const QString reason = (backupbefore->failed() ? backupbefore : backupafter)->lasterror();
        delete backupbefore;
        delete backupafter;
        pendingreason = reason;
        if (retrying)
            return;
        pendinglayer = current;
        pendingdescription = description;
        pendingicon = icon;
        undoerror(tr("The edit of layer \"%1\" was kept, but no history entry could be made for it. Undo and Redo "
                     "make the entry first, once there is room; choosing another layer keeps the edit for good, "
                     "and the layer's earlier edits can then no longer be undone. Should the program end before "
                     "either, Recover Session brings the layer back as it was before this edit.<br/>%2")
                      .arg(current->name.toHtmlEscaped(), reason.toHtmlEscaped()));
        return;
    }
    emit outbackuplayer(icon, description, current, backupbefore, backupafter, selection);

    const double start = current->spanstart();
    const bool noselection = selection.width() == 0 && selection.height() == 0;
    const bool inside = start > selection.x() && start < selection.x() + selection.width();
    if (smartcursor && current->spanlength() > 0 && before <= 0 && (noselection || inside)) {
        timecursor = start;
        setdevicetime(start);
        emit outdevicecursor(start, 3, false);
        emit outupdategl();
    }
    snapshotwarned = false;
    pendinglayer = nullptr;
    pendingdescription.clear();
    pendingicon = QPixmap();
    pendingreason.clear();
    // Letting go of what was kept of a long edit takes a moment as well.
    runstep([current] { current->keepbefore(); }, {});
    current->resetdirty();
}

bool SpectrumGui::pendingedit() const
{
    return pendinglayer && pendinglayer == slottable.bound[1];
}

void SpectrumGui::keeppending(layer* l)
{
    l->resetdirty();
    pendinglayer = nullptr;
    pendingdescription.clear();
    pendingicon = QPixmap();
    pendingreason.clear();
    if (historygui)
        historygui->indellayers(l);
    // Kept for good: the session file names the layer as it is now, so that
    // a run that ends later does not take the edit back.
    if (layersgui)
        layersgui->SaveSession();
}

void SpectrumGui::inrecordpending()
{
    if (!pendingedit() || pushing)
        return;
    const QScopedValueRollback<bool> guard(retrying, true);
    pushbackup(pendingdescription.isEmpty() ? tr("Edit") : pendingdescription, pendingicon);
}

void SpectrumGui::undoerror(const QString& text)
{
    PromptRequest request;
    request.parent = mainwindow;
    request.icon = QMessageBox::Critical;
    request.title = tr("Undo/Redo Error");
    request.text = text;
    prompt(request);
}

void SpectrumGui::inrestorelayer(layer* source, layer* restore, QRectF select)
{
    if (!source || !restore)
        return;
    // A run reads or records the caches that the restore rewrites.
    if (transportmode >= 0)
        indevicepause();
    layer* current = slottable.bound[1];
    // Pending Buffer edits would otherwise be written over the restored frames.
    if (source == current && slottable.buffer[1])
        slottable.buffer[1]->flush();
    if (source == current && pendingedit()) {
        // Every entry of the layer lies before that edit: restoring one would remove it.
        source->seterror(tr("The last edit of layer \"%1\" has no history entry yet, and undoing or redoing now "
                            "would remove it; they wait until there is room for its entry in the session folder.")
                             .arg(source->name));
        undoerror(source->lasterror().toHtmlEscaped() + QStringLiteral("<br/>") + pendingreason.toHtmlEscaped());
        return;
    }
    // The chunk also gives back the layer's extent, for edits that moved its start or end.
    source->clearerror();
    source->restorerange(restore);
    const bool restored = !source->failed();
    const QRectF update(restore->spanstart(), displayarea.y(), restore->length,
                        displayarea.height());
    if (source == current) {
        slottable.buffer[1]->indatareset();
        emit outdisplayarea(displayarea, update, 1);
        current->keepbefore();
        current->resetdirty();
    } else if (source->active && slottable.buffer[0]) {
        slottable.buffer[0]->indatareset();
        emit outdisplayarea(displayarea, update, 0);
    }
    if (!restored) {
        // The layer kept its extent and the history does not move; the
        // reason is in the log as well.
        undoerror(tr("Layer \"%1\" could not be restored, so the history stays where it was.<br/>%2")
                      .arg(source->name.toHtmlEscaped(), source->lasterror().toHtmlEscaped()));
        return;
    }
    selection = select;
    emit outselection(select);
    cleanclipboard();
}
