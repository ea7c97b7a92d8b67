#include "mainwindow.h"

#include <QDockWidget>
#include <QStatusBar>
#include <QToolBar>

#include "core/globals.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("background"));
    setCentralWidget(central);
    mainwindowptr = this;
}

MainWindow::~MainWindow()
{
    if (mainwindowptr == this)
        mainwindowptr = nullptr;
}

void MainWindow::on_fullscreen()
{
    if (!isFullScreen()) {
        wasmaximized = isMaximized();
        hiddenbyfullscreen.clear();
        const auto docks = findChildren<QDockWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QDockWidget* dock : docks)
            if (dock->isVisible())
                hiddenbyfullscreen.append(dock);
        const auto bars = findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly);
        for (QToolBar* bar : bars)
            if (bar->isVisible())
                hiddenbyfullscreen.append(bar);
        for (const auto& w : hiddenbyfullscreen)
            w->hide();
        statusbarhidden = statusBar()->isVisible();
        if (statusbarhidden)
            statusBar()->hide();
        showFullScreen();
        return;
    }
    for (const auto& w : hiddenbyfullscreen)
        if (w)
            w->show();
    hiddenbyfullscreen.clear();
    if (statusbarhidden)
        statusBar()->show();
    statusbarhidden = false;
    if (wasmaximized)
        showMaximized();
    else
        showNormal();
}
