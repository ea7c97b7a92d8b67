#pragma once
// The controller behind the Layers dock: it owns every layer of the project
// and the two containers over them (the mix of the active layers and the
// container of all layers), keeps the project format and binds the mix and
// the current layer to the spectrum controller.
#include <QList>
#include <QObject>
#include <QUrl>

class MainWindow;
class QTreeWidgetItem;
class layer;

// The project format that every layer of the project has; all 0 while no
// project is open.
struct ProjectFormat
{
    int samplerate = 0;
    int channels = 0;
    int speakermask = 0;
};
extern ProjectFormat projectformat;

class LayersGui : public QObject
{
    Q_OBJECT
public:
    explicit LayersGui(MainWindow* mainwindow);
    ~LayersGui() override;

    QTreeWidgetItem* currentitem = nullptr; // the current row, or null
    MainWindow* mainwindow = nullptr;
    layer* mixlayer = nullptr;  // owned: the active rows except the current one
    layer* alllayers = nullptr; // owned: the layers of all rows, in row order

public slots:
    // Clears the current layer, as a click on the empty list does.
    void NoItemClicked();
    // Writes the project format, the span of all layers and the time cursor
    // into the main window's status bar.
    void inrefreshstatus();
    // Imports dropped files.
    void inDropUrl(QList<QUrl> urlList);
};

// The one layer panel of the main window (null while there is none).
extern LayersGui* layersgui;
