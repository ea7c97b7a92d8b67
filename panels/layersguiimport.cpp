// Audio files become layers: the file plugins' import filters in a file
// dialog, the plugin chosen by filter or extension, the decode into the new
// layer's sample file, the project format, and dropped files.
#include <QFileInfo>
#include <QSettings>
#include <algorithm>

#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "app/prompt.h"
#include "core/buffer.h"
#include "core/globals.h"
#include "sdk/ratelimit.h"
#include "importchoice.h"
#include "layersgui.h"
#include "pluginreport.h"
#include "qtreewidgetext.h"

// A minute at the highest rate still fits in the Buffer's reach.
static_assert(qint64(maxsamplerate) * 60 <= Buffer::reachlimit);

void LayersGui::AddPlugin(FileInterface* fileplugin)
{
    if (fileplugin && fileplugincount < maxfileplugins)
        fileplugins[fileplugincount++] = fileplugin;
}

void LayersGui::Import()
{
    QStringList filters;
    for (int i = 0; i < fileplugincount; ++i)
        filters += fileplugins[i]->importfilters;
    if (filters.isEmpty()) {
        tell(mainwindow, QMessageBox::Warning, tr("Import File"),
             tr("No file plugin that imports audio is loaded; the session log says why."));
        return;
    }
    std::sort(filters.begin(), filters.end());
    filters.prepend(allfilesfilter);

    QSettings settings;
    const QString folder =
        settings.value(QStringLiteral("lastlayerfolder"), rootpath + QStringLiteral("/Resources/Samples")).toString();
    QString selected;
    FileRequest request;
    request.kind = FileRequest::Open;
    request.parent = mainwindow;
    request.caption = tr("Import File");
    request.path = folder;
    request.filter = filters.join(QStringLiteral(";;"));
    request.selectedfilter = &selected;
    const QString file = choosefile(request);
    if (file.isEmpty())
        return;
    settings.setValue(QStringLiteral("lastlayerfolder"), QFileInfo(file).path());
    Import(file, selected);
    if (mainwindow)
        mainwindow->activateWindow();
}

void LayersGui::inDropUrl(QList<QUrl> urlList)
{
    for (const QUrl& url : urlList) {
        // Only files that are there can be read; anything else dropped is not ours.
        if (!url.isLocalFile())
            continue;
        const QString file = url.toLocalFile();
        if (!QFileInfo(file).isFile())
            continue;
        const QString extension = fileextension(file);
        if (extension == QLatin1String(".kvp"))
            OpenProject(file);
        else if (extension == QLatin1String(".kvx"))
            OpenXML(file);
        else
            Import(file, QString());
    }
}

void LayersGui::Import(QString fileName, QString selectedFormat)
{
    QList<QStringList> filters;
    for (int i = 0; i < fileplugincount; ++i)
        filters.append(fileplugins[i]->importfilters);

    int chosen = -1;
    if (selectedFormat.isEmpty() || selectedFormat == allfilesfilter) {
        const QString extension = fileextension(fileName).toLower();
        if (extension == QLatin1String(".kvp") || extension == QLatin1String(".kvx"))
            return;
        chosen = pluginforextension(filters, fileName, &selectedFormat);
        if (chosen < 0) {
            tell(mainwindow, QMessageBox::Critical, tr("Unsupported Extension"),
                 tr("The file you selected is not supported."));
            return;
        }
    } else {
        chosen = pluginforfilter(filters, selectedFormat);
        if (chosen < 0)
            return;
    }
    if (!roomforrow())
        return;

    // Until the layer joins the list it is this import's; deleting it removes its file.
    auto* l = new layer();
    const auto unreadable = [&](const QString& why) {
        delete l;
        tell(mainwindow, QMessageBox::Critical, tr("Error Reading File"),
             why.isEmpty() ? tr("The file you selected could not be read.") : why);
    };
    int samplerate = 0, channels = 0, speakermask = 0;
    double start = 0.0, length = 0.0;
    const QString destination = l->file->fileName();
    const bool ok = !destination.isEmpty()
                    && fileplugins[chosen]->importFile(selectedFormat, fileName, destination, &samplerate, &channels,
                                                       &speakermask, &start, &length);
    // The plugin shows no box of its own: its reason is shown here, once.
    const PluginReport said = pluginreport(fileplugins[chosen]);
    logreport(QStringLiteral("import"), fileName, said);
    const QString file = QFileInfo(fileName).fileName();
    if (!ok) {
        if (said.cancelled) {
            delete l;
            return;
        }
        unreadable(said.message);
        return;
    }
    // Formats the caches and the player cannot hold are refused with their reason.
    if (samplerate > maxsamplerate)
        return unreadable(tr("%1 has a sample rate of %2 Hz; Korvane edits sample rates from %3.")
                              .arg(file)
                              .arg(samplerate)
                              .arg(samplerateslimits()));
    if (channels > Buffer::maxchannels)
        return unreadable(tr("%1 has %2 channels; Korvane edits up to %3.").arg(file).arg(channels).arg(Buffer::maxchannels));
    if (samplerate < 1 || channels < 1)
        return unreadable(QString());
    l->resample(samplerate, channels, speakermask);
    l->updatelength();
    if (l->spanlength() <= 0)
        return unreadable(QString());
    if (start != 0.0)
        l->setlength(start, true, length > 0.0 ? length : l->length);

    // The project takes the first file's format, but only once the file is in.
    ProjectFormat target = projectformat;
    if (target.samplerate == 0 || target.channels == 0)
        target = {l->samplerate, l->channels, l->speakermask};
    if (target.samplerate != samplerate || target.channels != channels) {
        PromptRequest request;
        request.parent = mainwindow;
        request.icon = QMessageBox::Question;
        request.title = tr("Resample");
        request.text = tr("The file is %1Hz/%2 channel(s), project is %3Hz/%4 channel(s).")
                           .arg(samplerate)
                           .arg(channels)
                           .arg(target.samplerate)
                           .arg(target.channels)
                       + QStringLiteral("<br/>") + tr("Resample to match the project settings ?");
        request.buttons = QMessageBox::Yes | QMessageBox::No;
        if (prompt(request) != QMessageBox::Yes) {
            delete l;
            return;
        }
        if (!l->resample(target.samplerate, target.channels, target.speakermask)) {
            // Without a reason the user cancelled it, and knows.
            const QString why = l->lasterror();
            delete l;
            if (!why.isEmpty())
                tell(mainwindow, QMessageBox::Critical, tr("Error Resampling File"),
                     tr("The file could not be resampled to match the project.") + QStringLiteral("<br/>")
                         + why.toHtmlEscaped());
            return;
        }
    }
    l->name = QFileInfo(fileName).fileName();
    projectformat = target;

    QTreeWidgetItem* item = inaddlayer(l, 0);
    inrefreshalllayers();
    if (rowcount() > 1)
        ItemClicked(item, 3);
    inrefreshmixlayers();
    setmodified();
    reportstate();
    // What the file left out is said once the layer is there to see.
    if (!said.message.isEmpty())
        tell(mainwindow, QMessageBox::Warning, tr("Partly Imported"), said.message);
}
