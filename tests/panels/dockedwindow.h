#pragma once
// Shared pieces of the panel tests: a bare main window with the three docks
// that the panels fill, and a layer panel that records what is dropped on it.
#include <QDockWidget>
#include <QList>
#include <QUrl>
#include <memory>

#include "app/mainwindow.h"
#include "panels/layersgui.h"

// Stands in for the layer panel's import: the panels reach inDropUrl by name,
// so this slot answers in place of the real one.
class DropSink : public LayersGui
{
    Q_OBJECT
public:
    using LayersGui::LayersGui;
    QList<QList<QUrl>> received;

public slots:
    void inDropUrl(QList<QUrl> urlList) { received << urlList; }
};

struct DockedWindow
{
    MainWindow window;
    QDockWidget* history = new QDockWidget(QStringLiteral("History"), &window);
    QDockWidget* channels = new QDockWidget(QStringLiteral("Channels"), &window);

    DockedWindow()
    {
        window.setWindowFilePath(QStringLiteral("Untitled.kvp"));
        historydockptr = history;
        channelsdockptr = channels;
        window.addDockWidget(Qt::RightDockWidgetArea, history);
        window.addDockWidget(Qt::RightDockWidgetArea, channels);
    }
    ~DockedWindow()
    {
        historydockptr = nullptr;
        channelsdockptr = nullptr;
    }
};
