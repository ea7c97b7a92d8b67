// The Samplitude/Sequoia link: while its dialog is open, two folder trees that
// the user chose are watched; a new effect file that the workstation writes
// there ("..._FX....wav") is offered for editing in a second instance of this
// program, which is waited for until it exits.
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <limits>

#include "core/fileutils.h"
#include "filechooser.h"
#include "mainwindow.h"
#include "prompt.h"
#include "selfexecutable.h"

namespace {

struct WatchedFolder
{
    const char* key;
    const char* caption; // the default text and the tool tip
};
const WatchedFolder watchedfolders[2] = {
    {"samplitudepath0", QT_TRANSLATE_NOOP("MainWindow", "Samplitude/Sequoia project folder")},
    {"samplitudepath1", QT_TRANSLATE_NOOP("MainWindow", "Project's audio files folder")},
};

// Milliseconds from the file's creation to `now`. A file that is gone is no
// new file of any age.
qint64 fileage(const QString& path, const QDateTime& now)
{
    const QFileInfo info(path);
    if (!info.exists())
        return std::numeric_limits<qint64>::max();
    QDateTime created = info.birthTime();
    if (!created.isValid())
        created = info.metadataChangeTime();
    return created.msecsTo(now);
}

bool effectname(const QString& name)
{
    return name.contains(QLatin1String("_FX")) && name.endsWith(QLatin1String(".wav"));
}

// A folder that the link watches: an existing one named by at least two characters.
bool watchable(const QString& folder)
{
    return folder.size() >= 2 && QFileInfo(folder).isDir();
}

void watchtree(QFileSystemWatcher* watcher, const QString& folder, bool watch)
{
    QStringList folders;
    listfolders(folder, folders);
    if (watch)
        watcher->addPaths(folders);
    else
        watcher->removePaths(folders);
}

} // namespace

void MainWindow::linksamplitude()
{
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Samplitude/Sequoia"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(tr("Make sur <i>Destructive effect calculation</i> is set to <i>Generate a new FX</i> "
                                    "<br/>and <i>highest resolution (32 Bit Float)</i> in Samplitude/Sequoia"),
                                 &dialog));
    QSettings settings;
    QPushButton* folderbuttons[2];
    for (int i = 0; i < 2; ++i) {
        const QString caption = tr(watchedfolders[i].caption);
        const QString key = QString::fromLatin1(watchedfolders[i].key);
        auto* button = new QPushButton(settings.value(key, caption).toString(), &dialog);
        button->setToolTip(caption);
        button->setObjectName(key);
        connect(button, &QPushButton::clicked, this, &MainWindow::linksamplitudepath);
        layout->addWidget(button);
        folderbuttons[i] = button;
    }
    auto* stop = new QPushButton(tr("Stop connection"), &dialog);
    connect(stop, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(stop);

    connect(samplitudewatcher, &QFileSystemWatcher::directoryChanged, this, &MainWindow::linksamplitudedirnotify);
    connect(samplitudewatcher, &QFileSystemWatcher::fileChanged, this, &MainWindow::linksamplitudefilenotify);
    for (QPushButton* button : folderbuttons)
        if (watchable(button->text()))
            watchtree(samplitudewatcher, button->text(), true);

    dialog.exec();

    for (const QStringList& paths : {samplitudewatcher->directories(), samplitudewatcher->files()})
        if (!paths.isEmpty())
            samplitudewatcher->removePaths(paths);
    disconnect(samplitudewatcher, nullptr, this, nullptr);
    for (QPushButton* button : folderbuttons)
        disconnect(button, nullptr, this, nullptr);
}

void MainWindow::linksamplitudepath()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    if (!button)
        return;
    const QString current = button->text();
    FileRequest request;
    request.kind = FileRequest::Folder;
    request.parent = this;
    request.caption = tr("Select a Project/Samples path");
    request.path = QFileInfo(current).isDir() ? current : QString();
    const QString chosen = choosefile(request);
    if (chosen.size() < 2)
        return;
    if (QFileInfo(current).isDir())
        watchtree(samplitudewatcher, current, false);
    button->setText(chosen);
    QSettings().setValue(button->objectName(), chosen);
    watchtree(samplitudewatcher, chosen, true);
}

void MainWindow::linksamplitudedirnotify(QString path)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString file = entry.absoluteFilePath();
        if (fileage(file, now) < 1000 && effectname(entry.fileName()) && !samplitudewatcher->files().contains(file)) {
            samplitudewatcher->addPath(file);
            linksamplitudefilenotify(file);
        }
    }
}

void MainWindow::linksamplitudefilenotify(QString path)
{
    if (!effectname(path) || fileage(path, QDateTime::currentDateTime()) >= 1000)
        return;
    samplitudepending = path;
    // The question that is open opens the newest file.
    if (samplitudeasking)
        return;
    samplitudeasking = true;
    PromptRequest request;
    request.text = tr("Edit in %1 ?").arg(QCoreApplication::applicationName());
    request.buttons = QMessageBox::Yes | QMessageBox::No;
    request.defaultbutton = QMessageBox::Yes;
    request.staysontop = true;
    const QMessageBox::StandardButton answer = prompt(request);
    samplitudeasking = false;
    if (answer != QMessageBox::Yes)
        return;
    QProcess instance;
    instance.setProcessChannelMode(QProcess::ForwardedChannels);
    instance.start(selfexecutable(), {samplitudepending});
    instance.closeWriteChannel();
    instance.waitForFinished(-1);
}
