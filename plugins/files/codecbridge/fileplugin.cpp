#include "fileplugin.h"

#include <QDebug>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

#include "dialogseam.h"
#include "filtertables.h"

FilePlugin::FilePlugin() = default;

int converteridletime()
{
    static const int milliseconds = [] {
        bool ok = false;
        const int value = qEnvironmentVariableIntValue("KV_CONVERTER_IDLE_MS", &ok);
        return ok && value > 0 ? value : 30000;
    }();
    return milliseconds;
}

QString FilePlugin::converterpath() const
{
    if (pluginpath.isEmpty())
        return {};
#ifdef Q_OS_WIN
    return QFileInfo(pluginpath).absolutePath() + QStringLiteral("/ffmpeg.exe");
#else
    return QFileInfo(pluginpath).absolutePath() + QStringLiteral("/ffmpeg");
#endif
}

bool FilePlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    pluginpath = pluginfile;
    parent = mainwindow;
    name = QStringLiteral("FFmpeg interface");
    importfilters.clear();
    exportfilters.clear();

    // The converter without arguments prints its banner and ends: that it ends
    // by itself is all the probe asks, whatever its exit code.
    QProcess probe;
    probe.start(converterpath(), QStringList());
    probe.closeWriteChannel();
    probe.waitForFinished(converteridletime());
    if (probe.error() == QProcess::UnknownError && probe.state() == QProcess::NotRunning) {
        for (const char* filter : importfiltertable)
            importfilters.append(QString::fromUtf8(filter));
        for (const ExportFormat& format : exporttable)
            exportfilters.append(QString::fromUtf8(format.label));
        return true;
    }
    if (probe.state() != QProcess::NotRunning) {
        probe.kill();
        probe.waitForFinished(5000);
    }
    name += QStringLiteral(" - ERROR: could not run ffmpeg");
    return false;
}

void FilePlugin::complain(const QString& text, const QString& title) const
{
    qWarning().noquote() << "codecbridge:" << text;
    QMessageBox box(QMessageBox::Critical, title.isEmpty() ? tr("Error Reading File") : title, text, QMessageBox::Ok,
                    parent);
    runmodal(&box);
}
