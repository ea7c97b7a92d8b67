#include "recentprojects.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QSettings>

#include "core/globals.h"
#include "mainwindow.h"
#include "panels/layersgui.h"

namespace {
const QString listkey = QStringLiteral("recentFileList");
}

QStringList pushrecent(QStringList list, const QString& file, int max)
{
    list.removeAll(file);
    list.prepend(file);
    while (list.size() > qMax(max, 0))
        list.removeLast();
    return list;
}

const char* recentopener(const QString& path)
{
    if (path.endsWith(QLatin1String(".kvp"), Qt::CaseSensitive))
        return "OpenProject(QString)";
    if (path.endsWith(QLatin1String(".kvx"), Qt::CaseSensitive))
        return "OpenXML(QString)";
    return nullptr;
}

void MainWindow::updateRecentFileActions()
{
    const QStringList files = QSettings().value(listkey).toStringList();
    int actions = 0;
    while (actions < 10 && recentacts[actions])
        ++actions;
    const int shown = qMin(qMin(int(files.size()), projectmax), actions);
    for (int i = 0; i < shown; ++i) {
        recentacts[i]->setText(tr("&%1 %2").arg(i + 1).arg(QFileInfo(files.at(i)).fileName()));
        recentacts[i]->setData(files.at(i));
        recentacts[i]->setVisible(true);
    }
    // Every entry past the list is hidden, also after the limit was lowered.
    for (int i = shown; i < actions; ++i)
        recentacts[i]->setVisible(false);
}

void MainWindow::setCurrentFile(QString fileName)
{
    QSettings settings;
    settings.setValue(listkey, pushrecent(settings.value(listkey).toStringList(), fileName, projectmax));
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<MainWindow*>(widget))
            window->updateRecentFileActions();
}

void MainWindow::openRecentFile()
{
    auto* action = qobject_cast<QAction*>(sender());
    if (!action)
        return;
    const QString path = action->data().toString();
    if (const char* opener = recentopener(path))
        invoke(layersgui, "LayersGui", opener, Q_ARG(QString, path));
}
