#include "logviewer.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QPushButton>
#include <QTextEdit>

#include "core/fileutils.h"
#include "core/globals.h"
#include "core/log.h"
#include "filechooser.h"
#include "mainwindow.h"

QByteArray readlog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    bytes.removeIf([](char c) { return c == '\0'; });
    return bytes;
}

QStringList listlogs(const QString& folder)
{
    QStringList files, logs;
    listfiles(folder, files);
    for (const QString& path : files)
        if (QFileInfo(path).fileName().endsWith(QLatin1String(".htm"), Qt::CaseSensitive))
            logs << path;
    return logs;
}

void MainWindow::createlogviewer()
{
    logviewer = new QDialog(this);
    logviewer->setModal(true);
    logviewer->setWindowTitle(QStringLiteral("Log Output (current session: %1)").arg(sessionid));
    logviewer->setFixedSize(420, 450);
    logviewer->setWindowFlags(logviewer->windowFlags() & ~Qt::WindowContextHelpButtonHint);
    auto* grid = new QGridLayout(logviewer);
    grid->setContentsMargins(3, 3, 3, 3);
    logtext = new QTextEdit(logviewer);
    logtext->setReadOnly(true);
    logtext->setLineWrapMode(QTextEdit::NoWrap);
    grid->addWidget(logtext, 0, 0, 1, 3);
    loglist = new QComboBox(logviewer);
    grid->addWidget(loglist, 1, 0);
    logrefreshbutton = new QPushButton(tr("Refresh"), logviewer);
    grid->addWidget(logrefreshbutton, 1, 1);
    logsavebutton = new QPushButton(tr("Save..."), logviewer);
    grid->addWidget(logsavebutton, 1, 2);

    for (const QString& path : listlogs(logspath))
        loglist->addItem(QFileInfo(path).fileName().chopped(4), path);
    // Chosen before the list is connected: nothing is read until the viewer is shown.
    loglist->setCurrentIndex(loglist->count() - 1);
    connect(loglist, &QComboBox::currentIndexChanged, this, &MainWindow::changelog);
    connect(logrefreshbutton, &QPushButton::clicked, this, &MainWindow::showlog);
    connect(logsavebutton, &QPushButton::clicked, this, &MainWindow::savelog);
}

void MainWindow::showlog()
{
    if (!logviewer)
        return;
    changelog(loglist->currentIndex());
    logviewer->show();
}

void MainWindow::changelog(int index)
{
    if (!logtext)
        return;
    logtext->setHtml(QString::fromLatin1(readlog(loglist->itemData(index).toString())));
}

void MainWindow::savelog()
{
    if (!loglist)
        return;
    FileRequest request;
    request.kind = FileRequest::Save;
    request.parent = this;
    request.caption = tr("Save Log");
    request.path = loglist->currentText();
    request.filter = tr("HTML Log (*.htm)");
    const QString path = choosefile(request);
    if (path.isEmpty())
        return;
    // The running session's log is mapped into memory: cutting it down to a copy
    // of itself would end the program at its next line.
    const QString running = QFileInfo(logfilepath()).canonicalFilePath();
    if (!running.isEmpty() && QFileInfo(path).canonicalFilePath() == running) {
        logerror(QStringLiteral("log not saved over the running session's log %1").arg(path));
        return;
    }
    const QByteArray bytes = readlog(loglist->currentData().toString());
    if (!replacefile(path, bytes))
        logerror(QStringLiteral("log not saved: cannot write %1").arg(path));
}
