#include "toolplugin.h"

#include <QToolBar>
#include <QWidget>

bool ToolPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = QStringLiteral("empty tool plugin");
    category.clear();
    label.clear();
    icon = QPixmap();
    // A real tool puts its settings widgets here; the host takes the bar over.
    toolbar = new QToolBar();
    toolbar->addWidget(new QWidget());
    cursor = QCursor();
    return true;
}

bool ToolPlugin::process(float x, float y, float pressure, float dx, float dy, float dpressure,
                         int key, qint32 mousechannel)
{
    return true;
}
