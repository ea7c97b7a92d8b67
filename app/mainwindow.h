#pragma once
// The main window of the editor. Its central widget, named "background",
// carries the spectrum controller's views and scroll bars.
#include <QList>
#include <QMainWindow>
#include <QPointer>

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

public slots:
    // Toggles between full screen, with docks, tool bars and status bar
    // hidden, and the state the window had before.
    void on_fullscreen();

private:
    // What full screen hid, to be shown again when it ends.
    QList<QPointer<QWidget>> hiddenbyfullscreen;
    bool statusbarhidden = false;
    bool wasmaximized = false;
};
