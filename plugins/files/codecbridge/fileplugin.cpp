#include "fileplugin.h"

#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include "filtertables.h"

FilePlugin::FilePlugin() = default;

FilePlugin::~FilePlugin()
{
    endprobe();
}

void FilePlugin::endprobe()
{
    if (!probe)
        return;
    // Ends without a verdict: nothing may call back into a plugin going away.
    probe->disconnect();
    probe->kill();
    probe->waitForFinished(5000);
    delete probe;
    probe = nullptr;
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

QString FilePlugin::missingconverter() const
{
    const QFileInfo converter(converterpath());
    if (converter.isFile() && converter.isExecutable())
        return {};
    return tr("The converter ffmpeg, through which Korvane reads and writes this format, is missing: it was looked "
              "for at %1.")
        .arg(converter.absoluteFilePath());
}

bool FilePlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    endprobe();
    pluginpath = pluginfile;
    parent = mainwindow;
    name = QStringLiteral("FFmpeg interface");
    importfilters.clear();
    exportfilters.clear();

    // The formats are offered even without a usable converter: choosing one
    // then says what is missing and where it was looked for, where a plugin
    // left out would leave Import silent and a file argument "not supported".
    for (const char* filter : importfiltertable)
        importfilters.append(QString::fromUtf8(filter));
    for (const ExportFormat& format : exporttable)
        exportfilters.append(QString::fromUtf8(format.label));
    if (!missingconverter().isEmpty())
        name += QStringLiteral(" - ERROR: could not run ffmpeg");
    else
        startprobe();
    return true;
}

void FilePlugin::startprobe()
{
    // The probe runs beside the start-up, never in its way: only its failure
    // is noted, in the plugin's name.
    probe = new QProcess(this);
    QProcess* running = probe;
    auto* limit = new QTimer(running);
    limit->setSingleShot(true);
    const auto failed = [this, running] {
        if (!name.endsWith(QLatin1String(" - ERROR: could not run ffmpeg")))
            name += QStringLiteral(" - ERROR: could not run ffmpeg");
        running->kill();
    };
    const auto done = [this, running] {
        if (probe == running)
            probe = nullptr;
        running->deleteLater();
    };
    connect(limit, &QTimer::timeout, running, failed);
    connect(running, &QProcess::errorOccurred, running, [failed, done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failed();
            done(); // nothing will finish
        } else if (error == QProcess::Crashed) {
            failed();
        }
    });
    // The converter without arguments prints its banner and ends: that it ends
    // by itself is all the probe asks, whatever its exit code.
    connect(running, &QProcess::finished, running, done);
    running->setProcessChannelMode(QProcess::MergedChannels);
    running->setStandardOutputFile(QProcess::nullDevice());
    running->setStandardInputFile(QProcess::nullDevice());
    limit->start(converteridletime);
    running->start(converterpath(), QStringList());
}

void FilePlugin::clearreport()
{
    setProperty(filereportmessage, QString());
    setProperty(filereportdetails, QString());
    setProperty(filereportcancelled, false);
}

void FilePlugin::report(const QString& message, bool cancelled)
{
    setProperty(filereportmessage, message);
    setProperty(filereportdetails, console.messages.join(QLatin1Char('\n')));
    setProperty(filereportcancelled, cancelled);
}
