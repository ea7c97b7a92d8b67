#pragma once
// codecbridge: the file plugin that converts between the users' audio files and
// the host's raw exchange files by running the ffmpeg converter installed in the
// plugin's own folder.
#include <QObject>
#include <QString>
#include <QStringList>

#include "consoleparser.h"
#include "interfaces.h"

class QProcess;
class QProgressDialog;
class QWidget;

class FilePlugin : public QObject, public FileInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.FileInterface/1.0")
    Q_INTERFACES(FileInterface)

public:
    FilePlugin();

    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool importFile(const QString& filter, const QString& source, const QString& destination, int* samplerate,
                    int* channels, int* speakermask, double* start, double* length) override;
    bool exportFile(const QString& filter, const QString& source, const QString& destination, int samplerate,
                    int channels) override;

    static constexpr int maxchannels = 8;

public slots:
    // Reads the running converter's console output (the sender) and follows it
    // in the progress dialog.
    void output();

private:
    // How a converter run ended.
    enum class Ending { Finished, NotStarted, Crashed, Stalled, Cancelled, TooManyChannels };
    struct Run
    {
        Ending ending = Ending::NotStarted;
        int exitcode = -1;
        QString error; // why it did not start
    };

    QString converterpath() const;
    // Runs the converter with these arguments under a progress dialog titled
    // title until it ends, is cancelled or stalls (no console output and no
    // growth of the file watched for the idle time).
    Run convert(const QStringList& arguments, const QString& title, const QString& watched);
    void absorb(QProcess* process, int changes);
    bool toomanychannels() const;
    bool askrawformat(QStringList* arguments);
    QString importproblem(const Run& run, const QString& destination) const;
    // A message box; the title says reading unless another is given.
    void complain(const QString& text, const QString& title = QString()) const;

    QString pluginpath;
    QWidget* parent = nullptr;
    QProgressDialog* progress = nullptr;
    double duration = 0;
    int samplerate = 0;
    int channels = 0;

    ConsoleParser console;
    bool busy = false; // a conversion runs: its event loop must not start another
};

// The converter is stopped after this many milliseconds without output: 30 s,
// or the value of the environment variable KV_CONVERTER_IDLE_MS, read once.
int converteridletime();
