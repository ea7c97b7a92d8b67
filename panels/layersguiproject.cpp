// Projects and the session: opening ".kvp" and ".kvx" projects, saving them,
// the session file that follows every change, and bringing back the session
// of a run that did not end normally. A file is read and its layers made
// before the open project is closed, so a file that cannot be opened
// changes nothing.
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSettings>

#include "app/filechooser.h"
#include "app/mainwindow.h"
#include "app/prompt.h"
#include "app/sessionfolder.h"
#include "app/sessionlock.h"
#include "core/globals.h"
#include "core/log.h"
#include "layersgui.h"
#include "projectlayers.h"
#include "qtreewidgetext.h"

namespace {

const QString untitled = QStringLiteral("Untitled.kvp");

QString projectfolder()
{
    return QSettings()
        .value(QStringLiteral("lastprojectfolder"), rootpath + QStringLiteral("/Resources/Samples"))
        .toString();
}

} // namespace

QString LayersGui::sessionfile()
{
    if (sessionpath.isEmpty() || sessionid.isEmpty())
        return QString();
    return sessionpath + QStringLiteral("/session(%1).kvx").arg(sessionid);
}

ProjectLayers LayersGui::projectlayers() const
{
    ProjectLayers project;
    for (int i = 0; i < rowcount(); ++i)
        project.rows.append(rowlayer(row(i)));
    project.current = currentitem ? tree->indexOfTopLevelItem(currentitem) : -1;
    project.samplerate = projectformat.samplerate;
    project.channels = projectformat.channels;
    project.speakermask = projectformat.speakermask;
    return project;
}

void LayersGui::Open()
{
    QSettings settings;
    FileRequest request;
    request.parent = mainwindow;
    request.caption = tr("Open Project");
    request.path = projectfolder();
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

bool LayersGui::cannotopen(const QString& title, const QString& fileName, const QString& why)
{
    tell(mainwindow, QMessageBox::Critical, title,
         tr("%1 could not be opened.<br/>%2").arg(fileName.toHtmlEscaped(), why.toHtmlEscaped()));
    return false;
}

bool LayersGui::openproject(const QString& title, const QString& fileName, const ProjectData& data, bool adopt)
{
    if (data.rows.isEmpty())
        return cannotopen(title, fileName, tr("It holds no layer."));
    if (data.rows.size() > maxrows)
        return cannotopen(title, fileName, tr("It holds more than %1 layers, more than can be mixed.").arg(maxrows));
    // The files of the open project's layers stay theirs until it is closed.
    QStringList inuse;
    for (int i = 0; i < rowcount(); ++i)
        inuse << rowlayer(row(i))->file->fileName();
    QList<layer*> layers;
    QString why;
    if (!makelayers(data, adopt, inuse, &layers, &why))
        return cannotopen(title, fileName, why);
    if (!Close()) {
        discardlayers(data, layers);
        return false;
    }
    projectformat = {data.samplerate, data.channels, data.speakermask};
    QTreeWidgetItem* current = nullptr;
    for (int i = 0; i < layers.size(); ++i) {
        QTreeWidgetItem* item = inaddlayer(layers.at(i), i);
        if (i == data.current)
            current = item;
    }
    inrefreshalllayers();
    if (current)
        ItemClicked(current, 3);
    else
        inrefreshmixlayers();
    reportstate();
    return true;
}

void LayersGui::saved(const QString& fileName)
{
    if (!mainwindow)
        return;
    mainwindow->setWindowFilePath(fileName);
    mainwindow->setWindowModified(false);
    mainwindow->setCurrentFile(fileName);
}

bool LayersGui::OpenProject(QString fileName)
{
    return openfile(fileName, false, false);
}

bool LayersGui::OpenXML(QString fileName, bool localcopy)
{
    return openfile(fileName, true, !localcopy);
}

bool LayersGui::openfile(const QString& fileName, bool xml, bool adopt)
{
    // Asked before the file is read: a Yes may save the changes into the
    // very file being opened, which must then be read as saved.
    if (!maydiscard())
        return false;
    const QScopedValueRollback<bool> agreed(discardagreed, true);
    ProjectData data;
    QString why;
    if (!(xml ? readkvx(fileName, &data, &why) : readkvp(fileName, &data, &why)))
        return cannotopen(tr("Open Project"), fileName, why);
    if (!openproject(tr("Open Project"), fileName, data, adopt))
        return false;
    saved(fileName);
    SaveSession();
    return true;
}

bool LayersGui::OpenXML(QString fileName)
{
    return OpenXML(fileName, true);
}

void LayersGui::Recover()
{
    const QString title = tr("Recover Session");
    const QString file = endedsession(sessionpath, sessionid);
    if (file.isEmpty()) {
        tell(mainwindow, QMessageBox::Information, title, tr("There is no session to recover."));
        return;
    }
    // Taken over before it is read and asked about: while this lock is held
    // another instance counts the session as running, neither offers it nor
    // cleans its files, and one that found it before fails here.
    const QString id = QFileInfo(file).fileName().section(QLatin1Char('('), 1).chopped(5);
    InstanceLock claim;
    if (!claim.acquire(sessionpath, id) || !QFileInfo::exists(file)) {
        tell(mainwindow, QMessageBox::Information, title,
             tr("Another instance of the program has recovered this session."));
        return;
    }
    // A row whose samples are gone is left out rather than losing the others.
    ProjectData data;
    QString why;
    QStringList skipped, notes;
    if (!readkvx(file, &data, &why, &skipped, &notes) || (data.rows.isEmpty() && !skipped.isEmpty())) {
        cannotopen(title, file, skipped.isEmpty() ? why : skipped.join(QLatin1Char(' ')));
        return;
    }
    const QDateTime started = sessionstart(id);
    QString text = tr("A session that did not end normally was found: started %1, last changed %2, %3 layer(s).")
                       .arg(started.isValid() ? started.toString(Qt::TextDate) : id,
                            QFileInfo(file).lastModified().toString(Qt::TextDate))
                       .arg(data.rows.size());
    for (const QString& reason : skipped)
        text += QStringLiteral("<br/>") + tr("Left out: %1").arg(reason.toHtmlEscaped());
    for (const QString& note : std::as_const(notes))
        text += QStringLiteral("<br/>") + note.toHtmlEscaped();
    if (rowcount() > 0)
        text += QStringLiteral("<br/>") + tr("The open project will be closed.");
    text += QStringLiteral("<br/>") + tr("Recover it ?");
    if (ask(mainwindow, title, text, QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    // The layers take the session's sample files over rather than copy them.
    // From the first session file that names them, the dead session is this
    // one's and is offered no more, even if this run ends before it goes.
    const QStringList taken = QStringList{id} + data.recovered;
    recoveredsessions += taken;
    if (!openproject(title, file, data, true)) {
        for (const QString& session : taken)
            recoveredsessions.removeOne(session);
        return;
    }
    // Recovered, not saved: the project is this run's session from now on,
    // under its former name and file.
    if (mainwindow && QFileInfo(data.project).isAbsolute())
        mainwindow->setWindowFilePath(data.project);
    setmodified();
    if (QFileInfo::exists(sessionfile())) {
        // With it go those it took over, which a run that ended in its own
        // Recover left.
        for (const QString& session : taken)
            QFile::remove(sessionpath + QStringLiteral("/session(%1).kvx").arg(session));
        // The layers taken back from their kept files hold copies: what they came from goes too.
        for (const ProjectRow& row : std::as_const(data.rows))
            if (!row.kept.isEmpty()) {
                QFile::remove(row.kept);
                QFile::remove(row.samples);
            }
    }
    if (mainwindow)
        mainwindow->activateWindow();
}

bool LayersGui::nothingtosave(const QString& title)
{
    if (rowcount() > 0 && projectformat.samplerate > 0 && projectformat.channels > 0)
        return false;
    tell(mainwindow, QMessageBox::Information, title, tr("There is no project to save."));
    return true;
}

bool LayersGui::cannotsave(const QString& fileName, const QString& why)
{
    tell(mainwindow, QMessageBox::Critical, tr("Save Project"),
         tr("The project could not be saved to %1.<br/>%2<br/>The file there, if any, is unchanged.")
             .arg(fileName.toHtmlEscaped(), why.toHtmlEscaped()));
    return false;
}

bool LayersGui::SaveProject(QString fileName)
{
    if (nothingtosave(tr("Save Project")))
        return false;
    QString why;
    return savekvp(fileName, projectlayers(), &why) || cannotsave(fileName, why);
}

bool LayersGui::SaveXML(QString fileName, bool localcopy)
{
    if (nothingtosave(tr("Save Project")))
        return false;
    QString why;
    return savekvx(fileName, projectlayers(), localcopy, &why) || cannotsave(fileName, why);
}

bool LayersGui::SaveXML(QString fileName)
{
    return SaveXML(fileName, true);
}

void LayersGui::saveto(const QString& fileName)
{
    const bool ok = fileName.endsWith(QLatin1String(".kvx")) ? SaveXML(fileName, true) : SaveProject(fileName);
    if (ok)
        saved(fileName);
}

void LayersGui::Save()
{
    const QString path = mainwindow ? mainwindow->windowFilePath() : QString();
    if (path.isEmpty() || path == untitled || !QFileInfo(path).isAbsolute()) {
        SaveAs();
        return;
    }
    if (!nothingtosave(tr("Save Project")))
        saveto(path);
}

bool LayersGui::mayreplace(const QString& title, const QString& fileName)
{
    return !QFileInfo::exists(fileName)
           || ask(mainwindow, title,
                  tr("%1 already exists.<br/>Do you want to replace it ?").arg(fileName.toHtmlEscaped()),
                  QMessageBox::Yes | QMessageBox::No)
                  == QMessageBox::Yes;
}

void LayersGui::SaveAs()
{
    const QString title = tr("Save Project As");
    if (nothingtosave(title))
        return;
    const QString current = mainwindow ? mainwindow->windowFilePath() : QString();
    QString selected;
    FileRequest request;
    request.kind = FileRequest::Save;
    request.parent = mainwindow;
    request.caption = title;
    request.path = QFileInfo(current).isAbsolute() ? current : projectfolder() + QLatin1Char('/') + untitled;
    request.filter = tr("Korvane Project (*.kvp)") + QStringLiteral(";;") + tr("Korvane Project and Samples Folder (*.kvx)");
    request.selectedfilter = &selected;
    QString file = choosefile(request);
    if (file.isEmpty())
        return;
    // Only these endings open again; the dialog asked about replacing the
    // name as typed, not about the one with the ending added.
    if (!file.endsWith(QLatin1String(".kvp")) && !file.endsWith(QLatin1String(".kvx"))) {
        file += selected.contains(QLatin1String("*.kvx")) ? QStringLiteral(".kvx") : QStringLiteral(".kvp");
        if (!mayreplace(title, file))
            return;
    }
    QSettings().setValue(QStringLiteral("lastprojectfolder"), QFileInfo(file).path());
    saveto(file);
}

void LayersGui::SaveSession()
{
    const QString file = sessionfile();
    if (file.isEmpty() || sessionleft)
        return;
    // Nothing open, nothing to recover: a session file would only list layers that are gone.
    if (rowcount() == 0 || projectformat.samplerate == 0 || projectformat.channels == 0) {
        QFile::remove(file);
        return;
    }
    ProjectLayers project = projectlayers();
    project.recovered = recoveredsessions;
    // A layer whose samples were cut short could only be recovered cut short:
    // the session file follows the others without it, and the user hears so, once.
    for (int at = int(project.rows.size()) - 1; at >= 0; --at) {
        layer* l = project.rows.at(at);
        const QString note = cutshortnote(l);
        if (note.isEmpty())
            continue;
        project.rows.removeAt(at);
        project.current = project.current == at ? -1 : project.current - (project.current > at ? 1 : 0);
        if (toldshort.contains(l->file->fileName()))
            continue;
        toldshort << l->file->fileName();
        tell(mainwindow, QMessageBox::Warning, tr("Session"),
             note + QStringLiteral("<br/>")
                 + tr("If the program ends unexpectedly, this layer cannot be recovered; the others can."));
    }
    // A recovery then comes back as this project, saved where it was.
    const QString path = mainwindow ? mainwindow->windowFilePath() : QString();
    if (QFileInfo(path).isAbsolute())
        project.project = path;
    QString why;
    if (project.rows.isEmpty()) {
        QFile::remove(file);
        return;
    }
    if (!savekvx(file, project, false, &why)) {
        logerror(QStringLiteral("Could not write the session file %1: %2").arg(file, why));
        return;
    }
    // (A layer left out names nothing: none of its files is kept for the session file.)
    for (int i = 0; i < rowcount(); ++i)
        rowlayer(row(i))->listed();
}

