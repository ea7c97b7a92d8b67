#pragma once
// The undo history behind the History dock.
#include <QObject>

class MainWindow;

class HistoryGui : public QObject
{
    Q_OBJECT
public:
    explicit HistoryGui(MainWindow* mainwindow);
    ~HistoryGui() override;

    MainWindow* mainwindow = nullptr;
};

// The one history panel of the main window (null while there is none).
extern HistoryGui* historygui;
