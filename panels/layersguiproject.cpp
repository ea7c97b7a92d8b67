// The project, session and export slots. Project and session files are not
// part of this editor yet: the slots exist so that the shell's commands and
// drops reach the panel, and do nothing.
#include "layersgui.h"

void LayersGui::Open() {}

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
