#include "historygui.h"

#include <QBrush>
#include <QColor>
#include <QDockWidget>
#include <QHeaderView>
#include <QIcon>

#include "app/mainwindow.h"
#include "core/globals.h"
#include "core/layer.h"
#include "panels/layerdrop.h"
#include "panels/qtreewidgetext.h"
#include "panels/rowstyle.h"

HistoryGui* historygui = nullptr;

namespace {

layer* layerdata(QTreeWidgetItem* item, int role)
{
    return item->data(1, role).value<layer*>();
}

// Row styles live in column 1 only.
void markcurrent(QTreeWidgetItem* item)
{
    setbold(item, 1, true);
    item->setBackground(1, QBrush(QColor(QStringLiteral("#5278b7"))));
    item->setData(1, Qt::ForegroundRole, QVariant());
}

void markdone(QTreeWidgetItem* item)
{
    setbold(item, 1, false);
    item->setData(1, Qt::BackgroundRole, QVariant());
    item->setData(1, Qt::ForegroundRole, QVariant());
}

void markundone(QTreeWidgetItem* item)
{
    setbold(item, 1, false);
    item->setData(1, Qt::BackgroundRole, QVariant());
    item->setForeground(1, QBrush(QColor(80, 80, 80, 255)));
}

QTreeWidgetItem* newrow(const QPixmap& icon, const QString& description, layer* source, layer* before,
                        layer* after, const QRectF& select)
{
    auto* item = new QTreeWidgetItem();
    if (!icon.isNull())
        item->setData(0, Qt::DecorationRole, icon);
    item->setText(1, description);
    item->setData(1, HistoryGui::sourcerole, QVariant::fromValue(source));
    item->setData(1, HistoryGui::beforerole, QVariant::fromValue(before));
    item->setData(1, HistoryGui::afterrole, QVariant::fromValue(after));
    item->setData(1, HistoryGui::selectrole, select);
    if (source)
        item->setText(2, source->name);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

} // namespace

HistoryGui::HistoryGui(MainWindow* mainwindow) : mainwindow(mainwindow)
{
    historygui = this;
    tree = new QTreeWidgetExt();
    tree->setRootIsDecorated(false);
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setColumnCount(3);
    auto* header = new QTreeWidgetItem();
    header->setIcon(0, QIcon(QPixmap(QStringLiteral(":/icons/History.png")).scaled(16, 16)));
    header->setToolTip(0, tr("history icon"));
    header->setText(1, tr("Description"));
    header->setToolTip(1, tr("history description"));
    header->setText(2, tr("Layer"));
    header->setToolTip(2, tr("layer's name"));
    tree->setHeaderItem(header);
    // The icon columns are narrower than the style's smallest section.
    tree->header()->setMinimumSectionSize(24);
    tree->setColumnWidth(0, 24);
    tree->setColumnWidth(1, 110);
    if (historydockptr)
        historydockptr->setWidget(tree);

    connect(tree, &QTreeWidget::itemClicked, this, &HistoryGui::ItemClicked);
    if (mainwindow)
        connect(tree, &QTreeWidgetExt::noItemClicked, mainwindow, qOverload<>(&QWidget::setFocus));
    connect(tree, &QTreeWidgetExt::dropUrl, this, &HistoryGui::inDropUrl);
}

HistoryGui::~HistoryGui()
{
    // The chunks are ours and each holds a file in the session folder.
    if (tree)
        inresethistory();
    // The list goes with its dock; without one it is ours.
    if (tree && !tree->parent())
        delete tree;
    if (historygui == this)
        historygui = nullptr;
}

int HistoryGui::rowcount() const
{
    return tree->topLevelItemCount();
}

QTreeWidgetItem* HistoryGui::row(int index) const
{
    return tree->topLevelItem(index);
}

int HistoryGui::indexof(QTreeWidgetItem* item) const
{
    return item ? tree->indexOfTopLevelItem(item) : -1;
}

void HistoryGui::deleterow(int index)
{
    QTreeWidgetItem* item = tree->takeTopLevelItem(index);
    if (!item)
        return;
    if (item == clicked)
        clicked = nullptr;
    delete layerdata(item, beforerole);
    delete layerdata(item, afterrole);
    delete item;
}

void HistoryGui::dropredotail()
{
    const int keep = indexof(current) + 1;
    for (int i = rowcount() - 1; i >= keep; --i)
        deleterow(i);
}

void HistoryGui::setcurrent(QTreeWidgetItem* item)
{
    current = item;
    markcurrent(item);
}

void HistoryGui::shown()
{
    if (current)
        tree->scrollToItem(current);
    if (mainwindow)
        mainwindow->setWindowModified(true);
}

void HistoryGui::inbackuplayer(QPixmap icon, QString description, layer* source, layer* backupbefore,
                               layer* backupafter, QRectF select)
{
    // An entry without a layer could never be restored; its chunks are ours all the same.
    if (!source) {
        delete backupbefore;
        delete backupafter;
        return;
    }
    if (rowcount() == 0) {
        tree->addTopLevelItem(newrow(QPixmap(), tr("No Change"), nullptr, nullptr, nullptr, QRectF()));
        setcurrent(row(0));
    }
    // The undone rows go before the oldest rows are trimmed: trimming first
    // would throw away done rows (even every row, after a full undo) while the
    // undone ones were about to go anyway.
    dropredotail();
    while (rowcount() > 0 && rowcount() >= historymax) {
        if (row(0) == current)
            current = nullptr;
        deleterow(0);
    }
    QTreeWidgetItem* previous = current;
    tree->addTopLevelItem(newrow(icon, description, source, backupbefore, backupafter, select));
    if (previous)
        markdone(previous);
    setcurrent(row(rowcount() - 1));
    shown();
}

bool HistoryGui::restore(layer* source, layer* chunk, const QRectF& select)
{
    if (source)
        source->clearerror();
    emit outrestorelayer(source, chunk, select);
    return !source || !source->failed();
}

void HistoryGui::Undo()
{
    emit outdevicepause();
    const int index = indexof(current);
    if (index <= 0)
        return;
    QTreeWidgetItem* above = row(index - 1);
    QTreeWidgetItem* undone = current;
    if (!restore(layerdata(undone, sourcerole), layerdata(undone, beforerole), above->data(1, selectrole).toRectF()))
        return;
    markundone(undone);
    setcurrent(above);
    shown();
}

void HistoryGui::Redo()
{
    emit outdevicepause();
    const int index = indexof(current);
    if (index < 0 || index >= rowcount() - 1)
        return;
    QTreeWidgetItem* next = row(index + 1);
    if (!restore(layerdata(next, sourcerole), layerdata(next, afterrole), next->data(1, selectrole).toRectF()))
        return;
    markdone(current);
    setcurrent(next);
    shown();
}

void HistoryGui::ItemClicked(QTreeWidgetItem* item, int field)
{
    Q_UNUSED(field);
    if (mainwindow)
        mainwindow->setFocus(Qt::OtherFocusReason);
    // The entry of a recording that stops now replaces the undone rows,
    // the clicked one among them perhaps.
    clicked = item;
    emit outdevicepause();
    const int target = indexof(clicked);
    clicked = nullptr;
    if (target < 0)
        return;
    // Step by step, so that every layer passes through each state between.
    while (indexof(current) > target) {
        QTreeWidgetItem* before = current;
        Undo();
        if (current == before)
            return;
    }
    while (indexof(current) >= 0 && indexof(current) < target) {
        QTreeWidgetItem* before = current;
        Redo();
        if (current == before)
            return;
    }
}

void HistoryGui::inrefreshlayers()
{
    for (int i = 0; i < rowcount(); ++i)
        if (layer* source = layerdata(row(i), sourcerole))
            row(i)->setText(2, source->name);
}

void HistoryGui::indellayers(layer* source)
{
    if (!source || rowcount() == 0)
        return;
    for (int i = rowcount() - 1; i >= 0; --i) {
        if (layerdata(row(i), sourcerole) != source)
            continue;
        if (row(i) == current)
            current = i > 0 ? row(i - 1) : nullptr;
        deleterow(i);
    }
    // With the first row gone while it was current, the rows left are undone
    // edits with no state before them to stand on: they can be neither undone
    // nor redone in a sound order, so they go too.
    if (!current)
        while (rowcount() > 0)
            deleterow(rowcount() - 1);
    if (rowcount() == 1) {
        QTreeWidgetItem* last = row(0);
        last->setData(1, Qt::BackgroundRole, QVariant());
        if (!layerdata(last, sourcerole) && !layerdata(last, beforerole)) {
            deleterow(0);
            current = nullptr;
            return;
        }
    }
    if (current)
        markcurrent(current);
}

void HistoryGui::inresethistory()
{
    for (int i = rowcount() - 1; i >= 0; --i)
        deleterow(i);
    current = nullptr;
}

void HistoryGui::inDropUrl(QList<QUrl> urlList)
{
    droptolayers(urlList);
}
