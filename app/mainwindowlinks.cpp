// The links through which other workstations start this program as their
// external wave editor: an entry of Cakewalk SONAR's Tools menu in the
// platform's key store, and a Pro Tools/Media Composer DAE plug-in in the
// workstations' plug-ins folder, with the test at start whether an installed
// plug-in still names this executable.
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include "core/globals.h"
#include "mainwindow.h"
#include "platformregistry.h"
#include "prompt.h"
#include "protoolslink.h"
#include "selfexecutable.h"

namespace {

const char* const cakewalkkeys[2] = {
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Cakewalk Music Software\\Tools Menu\\%1",
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Cakewalk Music Software\\Tools Menu\\%1",
};

void warn(QWidget* parent, const QString& title, const QString& text)
{
    tell(parent, QMessageBox::Warning, title, text);
}

QString adminrights()
{
    return MainWindow::tr("Require Admin Rights");
}

} // namespace

void MainWindow::linkcakewalk()
{
    const QString application = QCoreApplication::applicationName();
    const QMessageBox::StandardButton answer =
        ask(this, tr("Cakewalk SONAR"), tr("%1 integration").arg(application),
            QMessageBox::Apply | QMessageBox::Reset | QMessageBox::Cancel);
    if (answer != QMessageBox::Apply && answer != QMessageBox::Reset)
        return;
    // Every path separator as two backslashes: how the workstation reads the value.
    QString executable = selfexecutable();
    executable.replace(QLatin1Char('/'), QStringLiteral("\\\\"));
    std::unique_ptr<QSettings> keys[2];
    for (int k = 0; k < 2; ++k) {
        keys[k] = openregistrykey(QString::fromLatin1(cakewalkkeys[k]).arg(application));
        if (answer == QMessageBox::Apply) {
            keys[k]->setValue(QStringLiteral("ExePath"), executable);
            keys[k]->setValue(QStringLiteral("MenuText"), QStringLiteral("&%1").arg(application));
            keys[k]->setValue(QStringLiteral("StatusBarText"), QStringLiteral("Run %1").arg(application));
            keys[k]->setValue(QStringLiteral("Type"), QStringLiteral("WaveEditor"));
        } else {
            keys[k]->remove(QString());
        }
    }
    for (auto& key : keys)
        key->sync();
    if (keys[0]->status() == QSettings::AccessError || keys[1]->status() == QSettings::AccessError)
        warn(this, adminrights(), tr("You need admin rights for this integration. Log-in as admin and retry."));
}

void MainWindow::linkprotools()
{
    const QMessageBox::StandardButton answer =
        ask(this, tr("Pro Tools/Media Composer"), tr("Pro Tools/Media Composer integration"),
            QMessageBox::Apply | QMessageBox::Reset | QMessageBox::Cancel);
    const QString installed = protoolslink::installedfolder();
    if (answer == QMessageBox::Apply) {
        const QString source = utilpath + QStringLiteral("/daeplugin");
        // Without the plug-in in the installation nothing could be installed:
        // say so, and leave a link that is there as it is.
        if (!QFileInfo(source).isDir()) {
            warn(this, tr("Pro Tools/Media Composer"),
                 tr("The Pro Tools/Media Composer plug-in is missing from this installation:<br/>%1").arg(source));
            return;
        }
        if (!installed.isEmpty() && !protoolslink::remove(installed)) {
            warn(this, adminrights(), tr("You need admin rights to reset this integration. Log-in as admin and retry."));
            return;
        }
        QString target;
        for (const QString& folder : protoolslink::pluginfolders())
            if (QFileInfo(folder).isDir()) {
                target = folder;
                break;
            }
        if (target.isEmpty()) {
            warn(this, tr("No Avid/Digidesign Product"), tr("No Avid/Digidesign product was found."));
            return;
        }
        if (!protoolslink::install(source, target, selfexecutable()))
            warn(this, adminrights(), tr("You need admin rights for this integration. Log-in as admin and retry."));
    } else if (answer == QMessageBox::Reset) {
        if (installed.isEmpty())
            warn(this, tr("No Pro Tools/Media Composer integration"),
                 tr("No Pro Tools/Media Composer integration was found."));
        else if (!protoolslink::remove(installed))
            warn(this, adminrights(), tr("You need admin rights to remove this integration. Log-in as admin and retry."));
    }
}

void MainWindow::linkprotoolscheck()
{
    const QString installed = protoolslink::installedfolder();
    if (!installed.isEmpty() && !protoolslink::pointsto(installed, selfexecutable()))
        QTimer::singleShot(500, this, &MainWindow::linkprotoolswarning);
}

void MainWindow::linkprotoolswarning()
{
    const QString text = tr("Pro Tools/Media Composer plugin does not link<br/>to this version of %1. Relink ?")
                             .arg(QCoreApplication::applicationName());
    if (ask(this, tr("Pro Tools/Media Composer"), text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        linkprotools();
}
