#pragma once
// The channel list behind the channels dock: one row per channel of the
// project, with an active and a solo toggle. Its one effect on the rest of
// the program is outchannelactive, sent for every channel after each toggle:
// while a channel is solo only that one is on, otherwise the active ones are.
// At least one channel stays active; at most one is solo.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QTreeWidgetExt;
class QTreeWidgetItem;
class QWidget;

class ChannelsGui : public QObject
{
    Q_OBJECT
public:
    explicit ChannelsGui(QWidget* mainwindow);
    ~ChannelsGui() override;

    QPointer<QTreeWidgetExt> tree; // the list; it belongs to the channels dock
    QWidget* mainwindow = nullptr;

signals:
    void outchannelactive(qint32 channel, bool active);

public slots:
    // Rebuilds the rows: every channel active, none solo, "Undefined" names.
    void inchannels(qint32 channels);
    void inchanneldescription(qint32 channel, QString description);
    // Shows the given channel's number and name in bold (no row for -1).
    void incurrentchannel(qint32 channel);
    // Column 0 toggles active, columns 1 and 3 toggle solo.
    void ItemClicked(QTreeWidgetItem* item, int field);
    // For QShortcut senders: keys 0 to 7 toggle that channel's active flag,
    // Shift+0 to Shift+7 its solo.
    void Itemshortcut();
    void inDropUrl(QList<QUrl> urlList);

private:
    static bool isactive(QTreeWidgetItem* item);
    static bool issolo(QTreeWidgetItem* item);
    static void setactive(QTreeWidgetItem* item, bool active);
    static void setsolo(QTreeWidgetItem* item, bool solo);
    void publish();
};

// The one channel panel of the main window (null while there is none).
extern ChannelsGui* channelsgui;
