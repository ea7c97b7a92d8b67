// The operations that change the list of layers: the two containers, time
// insertion and removal, closing the project, new, duplicate, delete, move and
// the merges. Each keeps the rows, the containers and the layers bound in the
// spectrum controller in step, and no layer is deleted while the controller's
// caches or display workers can still reach it.
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMutexLocker>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryFile>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <vector>

#include "sdk/ratelimit.h"
#include "app/mainwindow.h"
#include "app/prompt.h"
#include "controller/spectrumgui.h"
#include "layersgui.h"

#include "core/keptframes.h"
#include "qtreewidgetext.h"
#include "sdk/typednumber.h"

namespace {

bool hasformat()
{
    return projectformat.samplerate != 0 && projectformat.channels != 0;
}

// The layer lets go of its sample file, which stays on disk when the layer goes.
void leavefile(layer* l)
{
    QMutexLocker lock(&layermutex);
    if (auto* temporary = qobject_cast<QTemporaryFile*>(l->file))
        temporary->setAutoRemove(false);
    delete l->file;
    l->file = nullptr;
}

} // namespace

layer* LayersGui::newcontainer()
{
    auto* container = new layer();
    container->resample(projectformat.samplerate, projectformat.channels, projectformat.speakermask);
    return container;
}

void LayersGui::inrefreshalllayers()
{
    if (!hasformat())
        return;
    if (!alllayers)
        alllayers = newcontainer();
    alllayers->clearchildren();
    for (int i = 0; i < rowcount(); ++i)
        alllayers->addchild(rowlayer(row(i)));
}

void LayersGui::inrefreshmixlayers()
{
    if (!hasformat())
        return;
    if (!mixlayer)
        mixlayer = newcontainer();
    mixlayer->clearchildren();
    for (int i = 0; i < rowcount(); ++i) {
        QTreeWidgetItem* item = row(i);
        layer* l = rowlayer(item);
        if (l->active && item != currentitem)
            mixlayer->addchild(l);
    }
    if (spectrumgui)
        spectrumgui->bindlayer(0, mixlayer);
    inrefreshstatus();
}

bool LayersGui::edittime(const QString& title, void (layer::*edit)(double, double), double start, double length)
{
    QList<layer*> targets;
    if (currentitem)
        targets << rowlayer(currentitem);
    else
        for (int i = 0; i < rowcount(); ++i)
            targets << rowlayer(row(i));
    // All or nothing: each layer is edited as a copy first, so that one that
    // fails leaves every layer in step, as it was.
    std::vector<std::unique_ptr<layer>> copies;
    for (layer* l : targets) {
        if (l->length <= 0) {
            copies.emplace_back(); // no samples: the edit leaves it as it is
            continue;
        }
        auto copy = std::make_unique<layer>(*l);
        if (!copy->failed())
            (copy.get()->*edit)(start, length);
        if (copy->failed()) {
            PromptRequest request;
            request.parent = mainwindow;
            request.icon = QMessageBox::Critical;
            request.title = title;
            request.text = tr("Layer \"%1\" could not be changed, so no layer was.<br/>%2")
                               .arg(l->name.toHtmlEscaped(), copy->lasterror().toHtmlEscaped());
            prompt(request);
            return false;
        }
        copies.push_back(std::move(copy));
    }
    for (size_t i = 0; i < copies.size(); ++i) {
        layer* copy = copies[i].get();
        if (!copy)
            continue;
        layer* l = targets.at(qsizetype(i));
        QMutexLocker lock(&layermutex);
        std::swap(l->file, copy->file); // the former file goes with the copy
        l->start = copy->start;
        l->length = copy->length;
        // The copy moved the samples; the frames kept of the layer follow them.
        if (l->keptframes && copy->lastmove.valid)
            l->keptframes->remap(copy->lastmove.cut, copy->lastmove.resume, copy->lastmove.lowshift,
                                 copy->lastmove.highshift);
    }
    // The edited layers have new sample files; the session must name them
    // before the former files go, or a run that dies between the two leaves
    // a session whose files are gone.
    SaveSession();
    copies.clear();
    return true;
}

bool LayersGui::InsertTime(double start, double length)
{
    return edittime(tr("Insert Time"), &layer::inserttime, start, length);
}

bool LayersGui::RemoveTime(double start, double length)
{
    return edittime(tr("Remove Time"), &layer::removetime, start, length);
}

void LayersGui::removerow(QTreeWidgetItem* item)
{
    if (item == currentitem)
        currentitem = nullptr;
    // The tree lets go of the row's widget itself (and deletes it later): a
    // widget deleted under it stays in its list of row widgets, which it
    // lays out again while it moves its current index off the row.
    tree->removeItemWidget(item, 3);
    delete item;
}

void LayersGui::deleterow(QTreeWidgetItem* item, bool keepfile)
{
    layer* l = rowlayer(item);
    emit outdellayers(l);
    removerow(item);
    // The container of all rows lets go of it before it goes.
    inrefreshalllayers();
    if (keepfile)
        leavefile(l);
    delete l;
}

bool LayersGui::maydiscard()
{
    if (!mainwindow || !mainwindow->isWindowModified() || rowcount() == 0)
        return true;
    PromptRequest request;
    request.parent = mainwindow;
    request.icon = QMessageBox::Question;
    request.title = tr("Close Project");
    request.text = tr("Save changes to %1 ?").arg(QFileInfo(mainwindow->windowFilePath()).fileName());
    request.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    const QMessageBox::StandardButton answer = prompt(request);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer != QMessageBox::Yes)
        return true;
    // A save that failed or was cancelled leaves the project modified.
    Save();
    return !mainwindow->isWindowModified();
}

bool LayersGui::Close()
{
    // An end asked for by the system has nobody to ask: unsaved work stays
    // in the session file and the layers' files, for the next run to recover.
    const bool leave = mainwindow && mainwindow->endrequested && mainwindow->isWindowModified() && rowcount() > 0;
    if (!leave && !discardagreed && !maydiscard())
        return false;
    // The controller lets go of the current layer and the mix first: its
    // caches and display workers read them until they are unbound.
    if (spectrumgui) {
        spectrumgui->bindlayer(1, nullptr);
        spectrumgui->bindlayer(0, nullptr);
    }
    if (leave) {
        SaveSession();
        sessionleft = true;
    }
    delete mixlayer;
    mixlayer = nullptr;
    currentitem = nullptr;
    for (int i = rowcount() - 1; i >= 0; --i)
        deleterow(row(i), leave);
    // A later project may have another format: its container is made anew.
    delete alllayers;
    alllayers = nullptr;
    projectformat = ProjectFormat();
    if (mainwindow) {
        mainwindow->setWindowModified(false);
        mainwindow->setWindowFilePath(QStringLiteral("Untitled.kvp"));
    }
    inrefreshstatus();
    if (mainwindow)
        mainwindow->layerstate(false, false, false);
    // Closed on purpose: nothing of it is left to recover.
    if (!leave)
        SaveSession();
    return true;
}

bool LayersGui::roomforrow()
{
    if (rowcount() < maxrows)
        return true;
    PromptRequest request;
    request.parent = mainwindow;
    request.icon = QMessageBox::Warning;
    request.title = tr("Too Many Layers");
    request.text = tr("The project already holds %1 layers, as many as can be mixed.<br/>"
                      "Merge or delete layers first.")
                       .arg(maxrows);
    prompt(request);
    return false;
}

bool LayersGui::askirreversible(const QString& title)
{
    PromptRequest request;
    request.parent = mainwindow;
    request.icon = QMessageBox::Question;
    request.title = title;
    request.text = tr("Are you sure ? (You can't undo this action)");
    request.buttons = QMessageBox::Yes | QMessageBox::No;
    // Return after a key meant for something else must not destroy anything.
    request.defaultbutton = QMessageBox::No;
    return prompt(request) == QMessageBox::Yes;
}

bool LayersGui::newlayerdialog(QString* name, int* samplerate, int* channels)
{
    QDialog dialog(mainwindow);
    dialog.setWindowTitle(tr("Create New Layer"));
    dialog.setFixedSize(160, 140);
    auto* layout = new QVBoxLayout(&dialog);
    auto* nameedit = new QLineEdit(tr("New Layer"), &dialog);
    nameedit->selectAll();
    connect(nameedit, &QLineEdit::returnPressed, &dialog, &QDialog::accept);
    auto* ratespin = new TypedSpinBox(&dialog);
    ratespin->setRange(1, maxsamplerate);
    ratespin->setSuffix(tr(" Hz"));
    ratespin->setValue(44100);
    auto* channelspin = new TypedSpinBox(&dialog);
    channelspin->setRange(1, 8);
    channelspin->setSuffix(tr(" channels"));
    channelspin->setValue(1);
    auto* create = new QPushButton(tr("Create"), &dialog);
    connect(create, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(nameedit);
    layout->addWidget(ratespin);
    layout->addWidget(channelspin);
    layout->addWidget(create);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *name = nameedit->text();
    *samplerate = ratespin->value();
    *channels = channelspin->value();
    return true;
}

void LayersGui::NewLayer()
{
    if (!roomforrow())
        return;
    layer* l = nullptr;
    if (projectformat.samplerate != 0 || projectformat.channels != 0) {
        l = newcontainer();
        l->name = tr("New Layer");
    } else {
        QString name;
        int rate = 0, count = 0;
        if (!newlayerdialog(&name, &rate, &count))
            return;
        l = new layer();
        l->resample(rate, count, 0);
        l->name = name;
        projectformat = {l->samplerate, l->channels, l->speakermask};
    }
    const int index = currentitem ? tree->indexOfTopLevelItem(currentitem) : 0;
    QTreeWidgetItem* item = inaddlayer(l, index);
    inrefreshalllayers();
    inrefreshmixlayers();
    ItemClicked(item, 3);
    setmodified();
    reportstate();
}

void LayersGui::DuplicateLayer()
{
    if (!currentitem || !roomforrow())
        return;
    auto* copy = new layer(*rowlayer(currentitem));
    if (copy->failed()) {
        // A copy without its samples would pass for a duplicate.
        PromptRequest request;
        request.parent = mainwindow;
        request.icon = QMessageBox::Critical;
        request.title = tr("Duplicate Layer");
        request.text = tr("The layer could not be copied.<br/>%1").arg(copy->lasterror().toHtmlEscaped());
        delete copy;
        prompt(request);
        return;
    }
    copy->name += tr(" (copy)");
    QTreeWidgetItem* item = inaddlayer(copy, tree->indexOfTopLevelItem(currentitem));
    inrefreshalllayers();
    if (copy->active)
        inrefreshmixlayers();
    ItemClicked(item, 3);
    setmodified();
}

void LayersGui::DeleteLayer()
{
    if (!currentitem)
        return;
    if (rowcount() < 2) {
        PromptRequest request;
        request.parent = mainwindow;
        request.icon = QMessageBox::Warning;
        request.title = tr("Delete Layer");
        request.text = tr("You can't delete last layer.");
        prompt(request);
        return;
    }
    if (!askirreversible(tr("Delete Layer")))
        return;
    QTreeWidgetItem* doomed = currentitem;
    const int index = tree->indexOfTopLevelItem(doomed);
    QTreeWidgetItem* neighbour = index < rowcount() - 1 ? row(index + 1) : row(index - 1);
    // Inactive, it leaves the mix that selecting the neighbour rebuilds.
    rowlayer(doomed)->active = 0;
    ItemClicked(neighbour, 3);
    // The session stops naming the layer before its file goes.
    layer* gone = rowlayer(doomed);
    emit outdellayers(gone);
    removerow(doomed);
    inrefreshalllayers();
    setmodified();
    delete gone;
    reportstate();
}

void LayersGui::moverow(int from, int to)
{
    layer* l = rowlayer(row(from));
    removerow(row(from));
    QTreeWidgetItem* item = inaddlayer(l, to);
    currentitem = item;
    restyle(item);
    item->setIcon(1, soloicon);
    // The order is part of the project.
    inrefreshalllayers();
    setmodified();
}

void LayersGui::MoveUp()
{
    const int index = currentitem ? tree->indexOfTopLevelItem(currentitem) : -1;
    if (index > 0)
        moverow(index, index - 1);
}

void LayersGui::MoveDown()
{
    const int index = currentitem ? tree->indexOfTopLevelItem(currentitem) : -1;
    if (index >= 0 && index < rowcount() - 1)
        moverow(index, index + 1);
}

layer* LayersGui::mergedlayer(const QList<layer*>& members, const QString& name, const QString& title)
{
    layer* container = newcontainer();
    for (layer* member : members)
        container->addchild(member);
    // The copy of a container holds the mix of its children over their span.
    auto* merged = new layer(*container);
    delete container;
    if (merged->failed()) {
        // The merged layers are kept rather than replaced by a partial mix.
        PromptRequest request;
        request.parent = mainwindow;
        request.icon = QMessageBox::Critical;
        request.title = title;
        request.text = tr("The layers could not be merged.<br/>%1").arg(merged->lasterror().toHtmlEscaped());
        delete merged;
        prompt(request);
        return nullptr;
    }
    merged->name = name;
    return merged;
}

void LayersGui::replacerows(const QList<QTreeWidgetItem*>& merged, layer* result, int resultindex)
{
    QTreeWidgetItem* item = inaddlayer(result, resultindex);
    QList<layer*> doomed;
    for (QTreeWidgetItem* gone : merged) {
        doomed.append(rowlayer(gone));
        removerow(gone);
    }
    // A current row that was not merged stops being current like any other.
    if (QTreeWidgetItem* former = currentitem) {
        currentitem = nullptr;
        restyle(former);
        former->setIcon(1, QIcon());
    }
    inrefreshalllayers();
    // Selecting the result binds it in place of the former current layer and
    // rebuilds the mix without the merged layers; only then do they go.
    ItemClicked(item, 3);
    if (spectrumgui && doomed.contains(slottable.bound[1]))
        spectrumgui->bindlayer(1, nullptr);
    for (layer* l : doomed)
        emit outdellayers(l);
    // The session names the merged layer before the merged ones' files go.
    setmodified();
    qDeleteAll(doomed);
}

void LayersGui::MergeDown()
{
    if (!currentitem)
        return;
    const int index = tree->indexOfTopLevelItem(currentitem);
    if (index + 1 >= rowcount())
        return;
    QTreeWidgetItem* lower = row(index + 1);
    layer* upper = rowlayer(currentitem);
    layer* below = rowlayer(lower);
    if (!upper->active || !below->active)
        return;
    const QString title = tr("Merge Down");
    if (!askirreversible(title))
        return;
    if (layer* merged = mergedlayer({upper, below}, below->name, title))
        replacerows({currentitem, lower}, merged, index);
}

void LayersGui::mergerows(const QString& title, bool all)
{
    if (rowcount() < 2)
        return;
    if (!askirreversible(title))
        return;
    // Only active layers sound in the result, whichever rows go.
    QList<layer*> members;
    QList<QTreeWidgetItem*> rows;
    QString name;
    for (int i = 0; i < rowcount(); ++i) {
        layer* l = rowlayer(row(i));
        if (l->active) {
            members.append(l);
            name = l->name;
        }
        if (all || l->active)
            rows.prepend(row(i)); // removed from the last row upwards
    }
    if (all)
        name = rowlayer(row(rowcount() - 1))->name;
    if (rows.isEmpty() && !roomforrow())
        return;
    if (layer* merged = mergedlayer(members, name, title))
        replacerows(rows, merged, 0);
}

void LayersGui::MergeActive()
{
    mergerows(tr("Merge Active Layers"), false);
}

void LayersGui::MergeAll()
{
    mergerows(tr("Merge All Layers"), true);
}
