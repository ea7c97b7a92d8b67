#include "channelsgui.h"

#include <QDockWidget>
#include <QHeaderView>
#include <QIcon>
#include <QKeySequence>
#include <QPixmap>
#include <QShortcut>

#include "app/mainwindow.h"
#include "panels/layerdrop.h"
#include "panels/qtreewidgetext.h"
#include "panels/rowstyle.h"

ChannelsGui* channelsgui = nullptr;

namespace {

QIcon headericon(const char* path)
{
    return QIcon(QPixmap(QString::fromLatin1(path)).scaled(16, 16));
}

} // namespace

ChannelsGui::ChannelsGui(QWidget* mainwindow) : mainwindow(mainwindow)
{
    channelsgui = this;
    tree = new QTreeWidgetExt();
    tree->setRootIsDecorated(false);
    tree->setColumnCount(4);
    tree->setFocusPolicy(Qt::NoFocus);
    auto* header = new QTreeWidgetItem();
    header->setIcon(0, headericon(":/icons/Speaker.png"));
    header->setToolTip(0, tr("Active"));
    header->setIcon(1, headericon(":/icons/Solo.png"));
    header->setToolTip(1, tr("Solo"));
    header->setIcon(2, headericon(":/icons/Number.png"));
    header->setToolTip(2, tr("Channel number"));
    header->setText(3, tr("Description"));
    header->setToolTip(3, tr("Channel description"));
    tree->setHeaderItem(header);
    // The icon columns are narrower than the style's smallest section.
    tree->header()->setMinimumSectionSize(24);
    for (int column = 0; column < 3; ++column)
        tree->setColumnWidth(column, 24);
    if (channelsdockptr)
        channelsdockptr->setWidget(tree);

    connect(tree, &QTreeWidget::itemClicked, this, &ChannelsGui::ItemClicked);
    // Every click in the panel hands the keyboard back to the main window.
    if (mainwindow) {
        connect(tree, &QTreeWidget::itemClicked, mainwindow, qOverload<>(&QWidget::setFocus));
        connect(tree, &QTreeWidgetExt::noItemClicked, mainwindow, qOverload<>(&QWidget::setFocus));
    }
    connect(tree, &QTreeWidgetExt::dropUrl, this, &ChannelsGui::inDropUrl);
}

ChannelsGui::~ChannelsGui()
{
    // The list goes with its dock; without one it is ours.
    if (tree && !tree->parent())
        delete tree;
    if (channelsgui == this)
        channelsgui = nullptr;
}

bool ChannelsGui::isactive(QTreeWidgetItem* item)
{
    return item->data(0, Qt::UserRole).toBool();
}

bool ChannelsGui::issolo(QTreeWidgetItem* item)
{
    return item->data(1, Qt::UserRole).toBool();
}

void ChannelsGui::setactive(QTreeWidgetItem* item, bool active)
{
    item->setData(0, Qt::UserRole, active);
    item->setIcon(0, active ? QIcon(QStringLiteral(":/icons/Speaker.png")) : QIcon());
}

void ChannelsGui::setsolo(QTreeWidgetItem* item, bool solo)
{
    item->setData(1, Qt::UserRole, solo);
    item->setIcon(1, solo ? QIcon(QStringLiteral(":/icons/Solo.png")) : QIcon());
}

void ChannelsGui::inchannels(qint32 channels)
{
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i) {
        tree->removeItemWidget(tree->topLevelItem(i), 0);
        delete tree->takeTopLevelItem(i);
    }
    for (int c = 0; c < channels; ++c) {
        auto* item = new QTreeWidgetItem();
        setactive(item, true);
        setsolo(item, false);
        item->setText(2, QString::number(c));
        item->setText(3, tr("Undefined"));
        item->setFlags(Qt::ItemIsEnabled);
        tree->addTopLevelItem(item);
    }
}

void ChannelsGui::inchanneldescription(qint32 channel, QString description)
{
    if (QTreeWidgetItem* item = tree->topLevelItem(channel))
        item->setText(3, description);
}

void ChannelsGui::incurrentchannel(qint32 channel)
{
    for (int c = 0; c < tree->topLevelItemCount(); ++c)
        for (int column : {2, 3})
            setbold(tree->topLevelItem(c), column, c == channel);
}

void ChannelsGui::ItemClicked(QTreeWidgetItem* item, int field)
{
    if (tree->indexOfTopLevelItem(item) < 0)
        return;
    const int rows = tree->topLevelItemCount();
    if (field == 0) {
        if (!isactive(item)) {
            setactive(item, true);
        } else {
            int active = 0;
            for (int c = 0; c < rows; ++c)
                active += isactive(tree->topLevelItem(c)) ? 1 : 0;
            if (active > 1)
                setactive(item, false);
        }
    } else if (field == 1 || field == 3) {
        if (!issolo(item)) {
            for (int c = 0; c < rows; ++c)
                setsolo(tree->topLevelItem(c), false);
            setsolo(item, true);
        } else {
            setsolo(item, false);
        }
    }
    publish();
}

void ChannelsGui::publish()
{
    const int rows = tree->topLevelItemCount();
    QTreeWidgetItem* solo = nullptr;
    for (int c = 0; c < rows && !solo; ++c)
        if (issolo(tree->topLevelItem(c)))
            solo = tree->topLevelItem(c);
    for (int c = 0; c < rows; ++c) {
        QTreeWidgetItem* item = tree->topLevelItem(c);
        emit outchannelactive(c, solo ? item == solo : isactive(item));
    }
}

void ChannelsGui::Itemshortcut()
{
    auto* shortcut = qobject_cast<QShortcut*>(sender());
    if (!shortcut)
        return;
    const QKeySequence key = shortcut->key();
    if (key.count() != 1)
        return;
    const QKeyCombination combination = key[0];
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    const int digit = int(combination.key()) - int(Qt::Key_0);
    if (digit < 0 || digit > 7 || (modifiers != Qt::NoModifier && modifiers != Qt::ShiftModifier))
        return;
    if (QTreeWidgetItem* item = tree->topLevelItem(digit))
        ItemClicked(item, modifiers == Qt::ShiftModifier ? 1 : 0);
}

void ChannelsGui::inDropUrl(QList<QUrl> urlList)
{
    droptolayers(urlList);
}
