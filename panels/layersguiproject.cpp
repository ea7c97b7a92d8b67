// The project, session and export slots. Project and session files are not
// part of this editor yet: the slots exist so that the shell's commands and
// drops reach the panel; only Open shows its dialog and hands the chosen file on.
#include <QFileInfo>
#include <QSettings>

#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "core/globals.h"
#include "layersgui.h"

void LayersGui::Open()
{
    QSettings settings;
    const QString folder = settings
                               .value(QStringLiteral("lastprojectfolder"), rootpath + QStringLiteral("/Resources/Samples"))
                               .toString();
    FileRequest request;
    request.parent = mainwindow;
    request.caption = tr("Open Project");
    request.path = folder;
    request.filter = QStringLiteral("Korvane Project (*.kvp *.kvx)");
    const QString file = choosefile(request);
    if (file.isEmpty())
        return;
    settings.setValue(QStringLiteral("lastprojectfolder"), QFileInfo(file).path());
    // The extension decides, letter case included.
    if (file.endsWith(QLatin1String("kvp")))
        OpenProject(file);
    if (file.endsWith(QLatin1String("kvx")))
        OpenXML(file);
    if (mainwindow)
        mainwindow->activateWindow();
    reportstate();
}

void LayersGui::Recover() {}

bool LayersGui::OpenProject(QString)
{
    return true;
}

bool LayersGui::OpenXML(QString, bool)
{
    return true;
}

bool LayersGui::OpenXML(QString fileName)
{
    return OpenXML(fileName, false);
}

void LayersGui::Export() {}

void LayersGui::ExportMix() {}

void LayersGui::ExportCaller(QString) {}

void LayersGui::Export(QString, QString, layer*) {}

void LayersGui::Save() {}

void LayersGui::SaveAs() {}

void LayersGui::SaveSession() {}

// Nothing is written, so nothing is reported as written.
bool LayersGui::SaveProject(QString)
{
    return false;
}

bool LayersGui::SaveXML(QString, bool)
{
    return false;
}

bool LayersGui::SaveXML(QString fileName)
{
    return SaveXML(fileName, false);
}
