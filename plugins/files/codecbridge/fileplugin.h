#pragma once
// codecbridge: the file plugin that converts between the users' audio files and
// the host's raw exchange files by running the ffmpeg converter installed in the
// plugin's own folder.
#include <QObject>
#include <QString>
#include <QStringList>

#include <QHash>

#include <functional>

#include "consoleparser.h"
#include "flacheader.h"
#include "framegaps.h"
#include "hostservices.h"
#include "interfaces.h"
#include "waveheader.h"

class QFileInfo;
class QProcess;
class QWidget;

class FilePlugin : public QObject, public FileInterface, public HostUser
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.MURROWGATE.Korvane.Plugin.FileInterface/1.0")
    Q_INTERFACES(FileInterface HostUser)

public:
    FilePlugin();
    ~FilePlugin() override;

    bool initialize(const QString& pluginfile, QWidget* mainwindow) override;
    bool importFile(const QString& filter, const QString& source, const QString& destination, int* samplerate,
                    int* channels, int* speakermask, double* start, double* length) override;
    bool exportFile(const QString& filter, const QString& source, const QString& destination, int samplerate,
                    int channels) override;
    void sethost(HostServices* services) override;

    // The formats the editor holds.
    static constexpr int maxchannels = 8;

public slots:
    // Reads the running converter's console output (the sender) and follows it
    // in the host's wait.
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
    // Runs the converter with these arguments under the host's wait titled
    // title (progress and Cancel after a moment, hostservices.h) until it
    // ends, is cancelled or stalls (no console output and no growth of the
    // file watched for the idle time).
    Run convert(const QStringList& arguments, const QString& title, const QString& watched);
    // Runs work in a thread of its own under the host's wait. The work calls
    // going(done, total) now and then and ends soon once it returns false;
    // its result, and whether the user cancelled.
    using Work = std::function<bool(const std::function<bool(qint64 done, qint64 total)>& going)>;
    bool inbackground(const QString& title, const QString& label, const Work& work, bool* cancelled);
    // Decodes a FLAC file in parts at once, each by a converter of its own
    // (segmentdecode.cpp). True, with how it ended, when it was decoded so or
    // the user cancelled; false, the destination empty again, when the file
    // is to be decoded whole: too short, or any doubt about a part.
    bool decodeinsegments(const QString& source, const QString& destination, const FlacHeader& flac,
                          const QString& title, Run* run);
    void absorb(QProcess* process, int changes);
    // What the wait says once the converter has named its stream.
    QString convertingtext() const;
    bool toomanychannels() const;
    bool askrawformat(QStringList* arguments);
    // Why the file cannot be converted at all (empty: it may be).
    QString unreadable(const QFileInfo& input, const WaveHeader& header) const;
    // Why nothing can be imported from what the run left (empty: it can, or
    // the user cancelled before there was anything).
    QString refusal(const Run& run, const QString& source, const QString& destination) const;
    // Why the converter could not write the destination in full (empty: it could).
    QString nospace(const Run& run, const QString& destination) const;
    // The converter ended at once on options it does not know (an older or other build).
    bool refusedoptions(const Run& run, const QString& destination) const;
    // Makes the destination empty, creating it when missing; why it cannot be written otherwise.
    QString emptydestination(const QString& target, bool* existed) const;
    bool holdsaudio(const QString& destination) const;
    // What an import that kept audio left out or filled in (empty: nothing).
    QString shortfall(const Run& run, const QString& source, const WaveHeader& header, qint64 frames,
                      const QList<FrameGap>& gaps) const;
    // The coding of an imported file, for writing it back in the same.
    struct SourceFormat
    {
        QString codec;
        QString sampleformat;
        int samplerate = 0;
    };
    void remember(const QString& source);
    // The converter's options that write destination as it was imported (empty: not known).
    QStringList keptformat(const QString& destination) const;
    QHash<QString, SourceFormat> imported;
    QString missingconverter() const;
    void startprobe();
    void endprobe();

    // The outcome of the call that runs now, for the host (the dynamic
    // properties that the file interface describes).
    void clearreport();
    void report(const QString& message, bool cancelled = false);

    QString pluginpath;
    QWidget* parent = nullptr;
    HostServices* host = nullptr; // what the host offers; none: work in place
    double duration = 0;
    int samplerate = 0;
    int channels = 0;

    ConsoleParser console;
    bool busy = false; // a conversion runs: its event loop must not start another
    QProcess* probe = nullptr;
};

// The converter is stopped after this many milliseconds without output or
// growth of its file; the probe after as many in all.
inline constexpr int converteridletime = 30000;
