#pragma once
// The channel list behind the channels dock.
#include <QObject>

class QWidget;

class ChannelsGui : public QObject
{
    Q_OBJECT
public:
    explicit ChannelsGui(QWidget* mainwindow);
    ~ChannelsGui() override;

    QWidget* mainwindow = nullptr;
};

// The one channel panel of the main window (null while there is none).
extern ChannelsGui* channelsgui;
