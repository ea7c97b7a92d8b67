// Audio out of the editor: the current layer or the mix of the active layers
// written through a file plugin's export, in the format chosen in the file
// dialog or named by the file's extension, and the mix written back to the
// file that a calling program handed over.
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <memory>

#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "app/prompt.h"
#include "core/globals.h"
#include "importchoice.h"
#include "layersgui.h"
#include "pluginreport.h"
#include "projectlayers.h"
#include "sdk/interfaces.h"

namespace {

// The extensions a filter names: "WAV (*.wav *.wave)" gives ".wav" and ".wave".
QStringList filterextensions(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*(\\.[^ )]+)"));
    QStringList extensions;
    for (auto match = pattern.globalMatch(filter); match.hasNext();)
        extensions << match.next().captured(1).toLower();
    return extensions;
}

} // namespace

QList<QStringList> LayersGui::exportlists() const
{
    QList<QStringList> lists;
    for (int i = 0; i < fileplugincount; ++i)
        lists.append(fileplugins[i]->exportfilters);
    return lists;
}

bool LayersGui::chooseexport(const QString& title, const QString& name, QString* file, QString* filter)
{
    QStringList filters;
    for (const QStringList& list : exportlists())
        filters += list;
    filters.removeDuplicates();
    if (filters.isEmpty()) {
        tell(mainwindow, QMessageBox::Warning, title, tr("No file plugin offers a format to export to."));
        return false;
    }
    QSettings settings;
    const QString folder = settings
                               .value(QStringLiteral("lastexportfolder"),
                                      settings.value(QStringLiteral("lastlayerfolder"),
                                                     rootpath + QStringLiteral("/Resources/Samples")))
                               .toString();
    filter->clear();
    FileRequest request;
    request.kind = FileRequest::Save;
    request.parent = mainwindow;
    request.caption = title;
    request.path = folder + QLatin1Char('/') + name;
    request.filter = filters.join(QStringLiteral(";;"));
    request.selectedfilter = filter;
    *file = choosefile(request);
    if (file->isEmpty())
        return false;
    // A name typed without the format's ending gets it, so that the file
    // says what it holds; the dialog asked about the name as typed only.
    const QStringList extensions = filterextensions(*filter);
    if (!extensions.isEmpty() && !extensions.contains(fileextension(QFileInfo(*file).fileName()).toLower())) {
        *file += extensions.first();
        if (!mayreplace(title, *file))
            return false;
    }
    settings.setValue(QStringLiteral("lastexportfolder"), QFileInfo(*file).path());
    return true;
}

layer* LayersGui::activemix() const
{
    if (projectformat.samplerate == 0 || projectformat.channels == 0)
        return nullptr;
    layer* mix = newcontainer();
    mix->name = tr("Mix");
    for (int i = 0; i < rowcount(); ++i)
        if (rowlayer(row(i))->active)
            mix->addchild(rowlayer(row(i)));
    return mix;
}

bool LayersGui::exportto(const QString& title, const QString& fileName, QString format, layer* source, bool writeback)
{
    if (!source || source->spanlength() <= 0) {
        tell(mainwindow, QMessageBox::Information, title, tr("There is nothing to export: no samples."));
        return false;
    }
    const QList<QStringList> lists = exportlists();
    int plugin = format.isEmpty() ? -1 : pluginforfilter(lists, format);
    if (plugin < 0)
        plugin = pluginforextension(lists, QFileInfo(fileName).fileName(), &format);
    if (plugin < 0) {
        tell(mainwindow, QMessageBox::Critical, title,
             tr("No file plugin can write %1: its extension names no export format.").arg(fileName.toHtmlEscaped()));
        return false;
    }
    // A copy holds a layer's own samples, or renders a mix, in a raw file of
    // its own that nothing changes while the plugin reads it.
    const std::unique_ptr<layer> samples(new layer(*source));
    if (samples->failed()) {
        tell(mainwindow, QMessageBox::Critical, title,
             tr("The samples could not be prepared for export.<br/>%1").arg(samples->lasterror().toHtmlEscaped()));
        return false;
    }
    if (auto* object = dynamic_cast<QObject*>(fileplugins[plugin]))
        object->setProperty(fileexportwriteback, writeback);
    const bool ok = fileplugins[plugin]->exportFile(format, samples->file->fileName(),
                                                    QFileInfo(fileName).absoluteFilePath(), samples->samplerate,
                                                    samples->channels);
    // The plugin shows no box of its own: its reason is shown here, once.
    const PluginReport said = pluginreport(fileplugins[plugin]);
    logreport(QStringLiteral("export"), fileName, said);
    if (!ok && !said.cancelled) {
        QString text = tr("%1 could not be written as %2.").arg(fileName.toHtmlEscaped(), format.toHtmlEscaped());
        if (!said.message.isEmpty())
            text += QStringLiteral("<br/>") + said.message.toHtmlEscaped();
        tell(mainwindow, QMessageBox::Critical, title, text);
    }
    if (ok) {
        // What a sample file cut short outside the program no longer holds is not in the export either.
        QStringList notes;
        for (int i = 0; i < std::max(1, int(source->childcount)); ++i)
            if (const QString note = cutshortnote(source->childcount ? source->children[i] : source, true);
                !note.isEmpty())
                notes << note;
        if (!notes.isEmpty())
            tell(mainwindow, QMessageBox::Warning, title,
                 tr("%1 was written without what is missing:").arg(fileName.toHtmlEscaped()) + QStringLiteral("<br/>")
                     + notes.join(QStringLiteral("<br/>")));
    }
    return ok;
}

void LayersGui::Export()
{
    const QString title = tr("Export Layer");
    if (!currentitem) {
        tell(mainwindow, QMessageBox::Information, title, tr("Select the layer to export first."));
        return;
    }
    layer* current = rowlayer(currentitem);
    if (current->spanlength() <= 0) {
        tell(mainwindow, QMessageBox::Information, title, tr("There is nothing to export: the layer holds no samples."));
        return;
    }
    QString file, format;
    if (chooseexport(title, QFileInfo(current->name).completeBaseName(), &file, &format))
        exportto(title, file, format, current);
}

void LayersGui::ExportMix()
{
    const QString title = tr("Export Mix");
    const std::unique_ptr<layer> mix(activemix());
    if (!mix || mix->spanlength() <= 0) {
        tell(mainwindow, QMessageBox::Information, title, tr("There is nothing to export: no active layer holds samples."));
        return;
    }
    const QString project = mainwindow ? QFileInfo(mainwindow->windowFilePath()).completeBaseName() : QString();
    QString file, format;
    if (chooseexport(title, project.isEmpty() ? mix->name : project, &file, &format))
        exportto(title, file, format, mix.get());
}

bool LayersGui::ExportCaller(QString fileName)
{
    // The caller reads the file in the format it gave: its ending names the
    // container, and the plugin keeps the coding it read from it.
    const std::unique_ptr<layer> mix(activemix());
    return exportto(tr("Export to Caller"), fileName, QString(), mix.get(), true);
}

void LayersGui::Export(QString fileName, QString selectedFormat, layer* exportlayer)
{
    exportto(tr("Export Layer"), fileName, selectedFormat, exportlayer);
}
