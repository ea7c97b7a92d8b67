// Importing files into the layer panel of a whole main window, through the
// codecbridge plugin loaded from the installation root and the real ffmpeg:
// files made with sox become rows whose sample files equal ffmpeg's own
// decode; the first sets the project format, a later one of another format is
// resampled only when the user agrees; damaged files keep what decodes with
// one warning; unreadable and unsupported files leave nothing behind with one
// box; a missing, hanging or slow converter is named or can be cancelled;
// dropped files take the same road.
#include "app/filechooser.h"
#include <QFileInfo>
#include <QLibrary>
#include <QProgressDialog>
#include <QTemporaryDir>

#include <QProgressBar>
#include <QPushButton>

#include <csignal>
#include <sys/stat.h>

#include "fulldisk.h"

#include "codecbridgetest.h"
#include "panelrig.h"
#include "panels/importchoice.h"
#include "view/glchannel.h"

namespace {

QTemporaryDir* work = nullptr;

QString sample(const QString& name)
{
    return work->filePath(name);
}

using codecbridgetest::run;

// ffmpeg's own decode of a file to raw 32-bit float.
QByteArray reference(const QString& file)
{
    return codecbridgetest::reference({"-i", file});
}

QByteArray filebytes(layer* l)
{
    l->file->flush();
    QFile copy(l->file->fileName());
    return copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray();
}

QStringList pcmfiles()
{
    return kvsessionfiles().filter(".pcm");
}

// A file plugin of the test: it writes `bytes` into the destination and
// reports the format it is told to.
class FakeCodec : public FileInterface
{
public:
    bool ok = true;
    int samplerate = 8000, channels = 1, speakermask = 0;
    double start = 0, length = 0;
    QByteArray bytes = QByteArray(8000 * 4, '\0');
    QStringList sources;

    explicit FakeCodec(const QString& filter) { importfilters = {filter}; }
    bool initialize(const QString&, QWidget*) override { return true; }
    bool importFile(const QString&, const QString& source, const QString& destination, int* rate, int* count,
                    int* mask, double* outstart, double* outlength) override
    {
        sources << source;
        QFile file(destination);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        *rate = samplerate;
        *count = channels;
        *mask = speakermask;
        *outstart = start;
        *outlength = length;
        return ok;
    }
    bool exportFile(const QString&, const QString&, const QString&, int, int) override { return false; }
};

// Boxes that codecbridge would show itself (it should show none: the host
// shows the one box).
int pluginboxes = 0;

int countbox(QDialog* dialog)
{
    if (qobject_cast<QMessageBox*>(dialog))
        ++pluginboxes;
    return int(QDialog::Rejected);
}

// Routes the dialogs of the codecbridge under the rig's root to the above.
void watchplugin()
{
    pluginboxes = 0;
    QLibrary codec(rootpath + "/Plugins/Files/codecbridge.so");
    auto sethooks = reinterpret_cast<decltype(&codecbridgesethooks)>(codec.resolve("codecbridgesethooks"));
    QVERIFY(sethooks);
    sethooks(&countbox);
}

// An installation root of the test's own: the build's resources, no plugin
// but a copy of codecbridge, and as its converter the script body (none when
// the body is empty).
struct FakeRoot
{
    QTemporaryDir dir;
    explicit FakeRoot(const QString& converter)
    {
        for (const char* folder : {"Plugins/Devices", "Plugins/Tools", "Plugins/Filters", "bin"})
            QDir(dir.path()).mkpath(folder);
        QFile::link(QStringLiteral(KV_TEST_ROOT "/Resources"), dir.filePath("Resources"));
        const QString copy = codecbridgetest::plugincopy(dir.path());
        if (!converter.isEmpty())
            codecbridgetest::fakeconverter(copy, converter);
    }
    QString path() const { return dir.path(); }
    QString converter() const { return dir.filePath("Plugins/Files/ffmpeg"); }
};

} // namespace

class TestLayerImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        work = new QTemporaryDir();
        QVERIFY(work->isValid());
        const QStringList tone{"synth", "1.5", "sine", "440", "sine", "660", "vol", "0.5"};
        const auto make = [&](const QString& name, const QString& format) {
            return codecbridgetest::sox(format.split(' ') + QStringList{sample(name)} + tone);
        };
        QVERIFY(make("mono16.wav", "-n -r 44100 -c 1 -b 16 -e signed-integer"));
        QVERIFY(make("float48.wav", "-n -r 48000 -c 2 -b 32 -e floating-point"));
        QVERIFY(make("stereo.flac", "-n -r 44100 -c 2 -b 16"));
        QVERIFY(make("mono48.wav", "-n -r 48000 -c 1 -b 16"));
        QVERIFY(make("mono22.wav", "-n -r 22050 -c 1 -b 16"));
        // This sox cannot write MP3: ffmpeg encodes sox's tone.
        QVERIFY(run("ffmpeg", {"-v", "error", "-nostdin", "-i", sample("mono48.wav"), "-b:a", "128k",
                               sample("mono.mp3")}));
        QVERIFY(QFile::copy(sample("mono16.wav"), sample("TAKE.WAV")));
        QVERIFY(QFile::copy(sample("mono16.wav"), sample("song.xyz")));
        QVERIFY(QFile::copy(sample("mono16.wav"), sample("noextension")));

        // Damaged: bytes overwritten in the middle, or cut off.
        QVERIFY(run("ffmpeg", {"-v", "error", "-nostdin", "-i", sample("stereo.flac"), "-b:a", "128k",
                               sample("stereo.mp3")}));
        QVERIFY(!codecbridgetest::damagedcopy(sample("stereo.mp3"), sample("damaged.mp3")).isEmpty());
        QVERIFY(!codecbridgetest::cutcopy(sample("mono16.wav"), sample("cut.wav"), 0.5).isEmpty());
        QVERIFY(!codecbridgetest::cutcopy(sample("stereo.flac"), sample("cut.flac"), 0.6).isEmpty());
        // A header that claims 2^31 Hz.
        QByteArray wave = codecbridgetest::contents(sample("mono16.wav"));
        const quint32 rate = 2147483648u;
        memcpy(wave.data() + 24, &rate, 4);
        QFile absurd(sample("absurd.wav"));
        QVERIFY(absurd.open(QIODevice::WriteOnly));
        absurd.write(wave);
        absurd.close();
        // Long enough to cancel while it is converted in real time.
        QVERIFY(run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", sample("long.wav"), "synth", "10", "sine",
                            "300", "vol", "0.5"}));
        QFile empty(sample("empty.wav"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QFile noise(sample("noise.wav"));
        QVERIFY(noise.open(QIODevice::WriteOnly));
        QByteArray bytes(100000, 0);
        quint32 state = 2024;
        for (char& b : bytes) {
            state = state * 1664525u + 1013904223u;
            b = char(state >> 24);
        }
        noise.write(bytes);
        noise.close();
        // Six channels that no two are alike, in 5.1 order (FL FR FC LFE BL BR).
        QVERIFY(codecbridgetest::sox({"-n", "-r", "48000", "-c", "6", "-b", "16", sample("surround.wav"), "synth", "1.5",
                                      "whitenoise", "pinknoise", "brownnoise", "tpdfnoise", "sine", "1234", "square",
                                      "77", "vol", "0.25"}));
        QFile project(sample("song.kvp"));
        QVERIFY(project.open(QIODevice::WriteOnly));
        project.write("not audio");
    }

    void cleanupTestCase() { delete work; }

    void init() { QSettings().clear(); }

    void filesBecomeRowsDecodedLikeFfmpeg_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("mask");
        QTest::newRow("WAVE 16-bit mono 44.1 kHz") << "mono16.wav" << 44100 << 1 << 0x4;
        QTest::newRow("WAVE float stereo 48 kHz") << "float48.wav" << 48000 << 2 << 0x3;
        QTest::newRow("FLAC stereo 44.1 kHz") << "stereo.flac" << 44100 << 2 << 0x3;
        QTest::newRow("MP3 mono 48 kHz") << "mono.mp3" << 48000 << 1 << 0x4;
    }

    void filesBecomeRowsDecodedLikeFfmpeg()
    {
        QFETCH(QString, file);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, mask);
        PanelRig r;
        QVERIFY(r.panel()->fileplugincount >= 1);
        r.window()->setWindowModified(false);
        r.panel()->Import(sample(file), "");
        QVERIFY2(r.asked.isEmpty(), qPrintable(r.titles().join(", ")));
        QCOMPARE(r.rows(), 1);
        layer* l = r.at(0);
        QCOMPARE(l->name, file);
        QCOMPARE(l->samplerate, rate);
        QCOMPARE(l->channels, channels);
        QCOMPARE(l->speakermask, mask);
        const QByteArray expected = reference(sample(file));
        QVERIFY(expected.size() > rate);
        QVERIFY(filebytes(l) == expected);
        QCOMPARE(l->length, double(expected.size() / (4 * channels)) / rate);
        // The first file sets the project format; a single row is not made current.
        QCOMPARE(projectformat.samplerate, rate);
        QCOMPARE(projectformat.channels, channels);
        QCOMPARE(projectformat.speakermask, mask);
        QVERIFY(!r.panel()->currentitem);
        QVERIFY(r.window()->isWindowModified());
        QVERIFY(r.window()->closeact->isEnabled());
        QCOMPARE(spectrumgui->samplerate, rate);
        checkbindings(r);
    }

    void anotherFormatIsResampledOnlyWhenAsked()
    {
        PanelRig r;
        r.panel()->Import(sample("mono16.wav"), "");
        QCOMPARE(r.rows(), 1);
        const QStringList before = pcmfiles();

        r.answers["Resample"] = QMessageBox::No;
        r.panel()->Import(sample("float48.wav"), "");
        QCOMPARE(r.titles(), QStringList{"Resample"});
        QCOMPARE(r.asked.last().text, QString("The file is 48000Hz/2 channel(s), project is 44100Hz/1 channel(s)."
                                              "<br/>Resample to match the project settings ?"));
        QCOMPARE(r.asked.last().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(r.rows(), 1);
        QCOMPARE(projectformat.samplerate, 44100);
        QCOMPARE(projectformat.channels, 1);
        QCOMPARE(pcmfiles(), before);

        r.answers["Resample"] = QMessageBox::Yes;
        r.panel()->Import(sample("float48.wav"), "");
        QCOMPARE(r.rows(), 2);
        layer* resampled = r.at(0);
        QCOMPARE(resampled->name, QString("float48.wav"));
        QCOMPARE(resampled->samplerate, 44100);
        QCOMPARE(resampled->channels, 1);
        QCOMPARE(resampled->speakermask, 0x4);
        QVERIFY(std::fabs(resampled->length - 1.5) < 0.01);
        // Still the tone: its level is close to the original's.
        const std::vector<float> data = samplefile(resampled);
        double energy = 0;
        for (float v : data)
            energy += double(v) * v;
        const double rms = std::sqrt(energy / double(data.size()));
        QVERIFY2(rms > 0.2 && rms < 0.6, qPrintable(QString::number(rms)));
        QCOMPARE(projectformat.samplerate, 44100);
        // With more than one row the new one is current.
        QCOMPARE(r.current(), resampled);
        checkbindings(r);
    }

    void unreadableFilesLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("withproject");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "empty.wav" << false << "empty.wav is empty: it holds no audio.";
        QTest::newRow("noise") << "noise.wav" << true
                               << "No audio could be decoded from noise.wav: it is damaged or not an audio file that "
                                  "the converter knows. Details are in the log.";
        QTest::newRow("missing") << "missing.wav" << true << "missing.wav is not there (any more).";
        QTest::newRow("2^31 Hz") << "absurd.wav" << false
                                 << "absurd.wav claims a sample rate of 2147483648 Hz; Korvane edits sample rates "
                                    "from 1 Hz to 32 MHz.";
    }

    void unreadableFilesLeaveNothingBehind()
    {
        QFETCH(QString, file);
        QFETCH(bool, withproject);
        QFETCH(QString, text);
        PanelRig r;
        watchplugin();
        if (withproject)
            r.panel()->Import(sample("mono48.wav"), "");
        const int rows = r.rows();
        const ProjectFormat format = projectformat;
        const QStringList before = pcmfiles();
        r.window()->setWindowModified(false);
        r.panel()->Import(sample(file), "");
        // One box, the host's, in plain words.
        QCOMPARE(r.titles(), QStringList{"Error Reading File"});
        QCOMPARE(r.asked.last().text, text);
        QCOMPARE(r.asked.last().icon, QMessageBox::Critical);
        QCOMPARE(pluginboxes, 0);
        QCOMPARE(r.rows(), rows);
        QCOMPARE(pcmfiles(), before);
        QCOMPARE(projectformat.samplerate, format.samplerate);
        QCOMPARE(projectformat.channels, format.channels);
        QVERIFY(!r.window()->isWindowModified());
    }

    void damagedFilesKeepWhatDecodes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("warning");
        // Every frame decodes, glitches and all: nothing to say.
        QTest::newRow("MP3 with 40 bytes overwritten") << "damaged.mp3" << "";
        QTest::newRow("WAVE cut in half") << "cut.wav" << "The file ends early";
        QTest::newRow("FLAC cut") << "cut.flac" << "The file is damaged or incomplete";
    }

    void damagedFilesKeepWhatDecodes()
    {
        QFETCH(QString, file);
        QFETCH(QString, warning);
        PanelRig r;
        watchplugin();
        r.panel()->Import(sample(file), "");
        // Every sample plain ffmpeg decodes of the same file.
        QCOMPARE(r.rows(), 1);
        layer* l = r.at(0);
        const QByteArray expected = reference(sample(file));
        QVERIFY(expected.size() > 0);
        QVERIFY(filebytes(l) == expected);
        if (warning.isEmpty()) {
            QVERIFY(r.asked.isEmpty());
            return;
        }
        // One warning, after the layer is in, naming what came in.
        QCOMPARE(r.titles(), QStringList{"Partly Imported"});
        QCOMPARE(r.asked.last().icon, QMessageBox::Warning);
        const QString decoded = QString::number(double(expected.size()) / (4 * l->channels * l->samplerate), 'f', 2);
        QVERIFY2(r.asked.last().text.startsWith(warning) && r.asked.last().text.contains(decoded + " s of 1.5"),
                 qPrintable(r.asked.last().text));
        // The log has it too.
        QVERIFY(errorloglines(logfilepath()).join('\n').contains(file + ": " + warning));
        QCOMPARE(pluginboxes, 0);
        checkbindings(r);
    }

    void aMissingConverterIsNamed()
    {
        FakeRoot root({});
        PanelRig r(root.path());
        watchplugin();
        // The formats are offered, and choosing one says what is missing and where.
        answerfile(r, sample("mono16.wav"), "WAVE");
        r.panel()->Import();
        QCOMPARE(r.rig.filerequests.size(), 1);
        QVERIFY(r.rig.filerequests.first().filter.contains("WAVE/WavPack (*.wav"));
        const QString text = "The converter ffmpeg, through which Korvane reads and writes this format, is missing: "
                             "it was looked for at " + root.converter() + ".";
        QCOMPARE(r.titles(), QStringList{"Error Reading File"});
        QCOMPARE(r.asked.last().text, text);
        // A file handed over on the command line hears the same.
        r.asked.clear();
        r.window()->sessionimport(sample("stereo.flac"));
        QCOMPARE(r.titles(), QStringList{"Error Reading File"});
        QCOMPARE(r.asked.last().text, text);
        QCOMPARE(r.rows(), 0);
        QCOMPARE(pluginboxes, 0);
    }

    void aHangingConverterCanBeCancelled()
    {
        // A converter that prints nothing and never ends, neither for the
        // probe at start nor for the import.
        FakeRoot root({});
        const QString pids = root.dir.filePath("pids");
        QVERIFY(codecbridgetest::fakeconverter(root.path() + "/Plugins/Files/codecbridge.so",
                                               "echo $$ >> '" + pids + "'\nexec sleep 60"));
        PanelRig r(root.path());
        // The window was built while the probe hangs.
        QTRY_VERIFY_WITH_TIMEOUT(!codecbridgetest::contents(pids).isEmpty(), 30000);
        const pid_t probe = codecbridgetest::contents(pids).trimmed().toInt();
        QCOMPARE(::kill(probe, 0), 0);
        watchplugin();
        const QStringList before = pcmfiles();

        // The window answers while the import waits, and Cancel ends it.
        codecbridgetest::CancelTicker ticker(
            [&] { return codecbridgetest::contents(pids).trimmed().split('\n').size() >= 2; });
        r.panel()->Import(sample("mono16.wav"), "");
        ticker.timer.stop();
        QVERIFY(ticker.ticks >= 3);
        // Nothing changed, and nothing is said: the user cancelled.
        QCOMPARE(r.rows(), 0);
        QVERIFY(r.asked.isEmpty());
        QCOMPARE(pluginboxes, 0);
        QCOMPARE(projectformat.samplerate, 0);
        QCOMPARE(pcmfiles(), before);
        QVERIFY(!r.window()->isWindowModified());
        const pid_t import = codecbridgetest::contents(pids).trimmed().split('\n').last().toInt();
        QVERIFY(import > 0 && import != probe);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(import, 0) != 0, 30000);
    }

    void aCancelledImportKeepsTheBeginning()
    {
        // The real converter, held to real time so that Cancel comes in the middle.
        FakeRoot root("exec /usr/bin/ffmpeg -re \"$@\"");
        PanelRig r(root.path());
        watchplugin();
        // Cancelled in the wait's window once 2 s of the 10 are converted
        // (the converter writes in blocks: by then some are in the file).
        poll(100000, [] {
            auto* watch = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            auto* bar = watch ? watch->findChild<QProgressBar*>() : nullptr;
            if (bar && bar->value() >= 20)
                watch->cancel();
            return bar && bar->value() >= 20;
        });
        r.panel()->Import(sample("long.wav"), "");
        QVERIFY2(r.rows() == 1, qPrintable(r.titles().join(", ") + ": " + (r.asked.isEmpty() ? "" : r.asked.last().text)));
        const QByteArray whole = reference(sample("long.wav"));
        const QByteArray got = filebytes(r.at(0));
        const double seconds = double(got.size() / 8) / 44100;
        QVERIFY2(seconds >= 1 && got.size() < whole.size(), qPrintable(QString::number(seconds)));
        QVERIFY(whole.startsWith(got));
        QCOMPARE(r.at(0)->length, seconds);
        QCOMPARE(r.titles(), QStringList{"Partly Imported"});
        QCOMPARE(r.asked.last().text, QString("The import was cancelled: the first %1 s of 10.00 s were imported.")
                                          .arg(seconds, 0, 'f', 2));
        QCOMPARE(pluginboxes, 0);
    }

    void surroundIsMixedDownByItsSpeakers()
    {
        PanelRig r;
        r.panel()->Import(sample("stereo.flac"), "");
        r.answers["Resample"] = QMessageBox::Yes;
        r.panel()->Import(sample("surround.wav"), "");
        QCOMPARE(r.titles(), QStringList{"Resample"});
        QCOMPARE(r.rows(), 2);
        QCOMPARE(r.at(0)->channels, 2);
        const std::vector<float> got = samplefile(r.at(0));
        // The six channels at the project's rate, by sox alone.
        QByteArray six;
        QVERIFY(run("sox", {sample("surround.wav"), "-t", "raw", "-e", "floating-point", "-b", "32", "-r", "44100", "-",
                            "rate", "-v", "-s"},
                    &six));
        const std::vector<float> in = kvfloats(six);
        // Least squares: the normal equations of both output channels against
        // the six inputs side by side, solved by Gauss-Jordan elimination.
        double m[6][8] = {};
        for (size_t k = 10000; k < 50000; ++k)
            for (int i = 0; i < 6; ++i)
                for (int j = 0; j < 8; ++j)
                    m[i][j] += double(in[k * 6 + i]) * (j < 6 ? in[k * 6 + j] : got[k * 2 + j - 6]);
        for (int p = 0; p < 6; ++p)
            for (int i = 0; i < 6; ++i)
                if (i != p)
                    for (int j = 7; j >= p; --j) // m[i][p] last: the factor reads it
                        m[i][j] -= m[i][p] / m[p][p] * m[p][j];
        // Fronts on their sides, the centre equal in both at -3 dB, each
        // surround on its own side at -3 dB, no LFE.
        const double h = M_SQRT1_2, expected[2][6] = {{1, 0, h, 0, h, 0}, {0, 1, h, 0, 0, h}};
        QString shown;
        bool near = true;
        for (int o = 0; o < 2; ++o)
            for (int i = 0; i < 6; ++i) {
                shown += QString::number(m[i][6 + o] / m[i][i], 'f', 3) + " ";
                near = near && std::fabs(m[i][6 + o] / m[i][i] - expected[o][i]) < 0.01;
            }
        QVERIFY2(near, qPrintable(shown));
    }

    void aSilentPipeCanBeCancelled()
    {
        // A pipe that nobody writes: opening it waits for a writer.
        PanelRig r;
        watchplugin();
        const QString pipe = sample("pipe.wav");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        codecbridgetest::CancelTicker ticker([] { return true; });
        r.panel()->Import(pipe, "");
        ticker.timer.stop();
        QVERIFY(ticker.ticks >= 3);
        QCOMPARE(r.rows(), 0);
        QVERIFY(r.asked.isEmpty());
        QCOMPARE(pluginboxes, 0);
    }

    void importMessagesNameTheCause_data()
    {
        QTest::addColumn<QString>("sox"); // the script, "missing" for none, empty for the real one
        QTest::addColumn<QString>("file"); // imported into a project of mono16.wav
        QTest::addColumn<int>("limit");    // the largest file that may be written, 0: any
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text"); // a part of it; empty: no box at all
        QTest::addColumn<bool>("kept");    // the layer comes in, and sox's progress was seen
        QTest::newRow("full disk") << "" << "long.wav" << (1 << 20) << "Error Reading File"
                                   << "There is no room for the audio" << false;
        // sox goes on after it could not write and ends with 0.
        QTest::newRow("full disk under sox") << "" << "mono22.wav" << 200000 << "Error Resampling File"
                                             << "sox could not write all the converted samples: File too large (in "
                                             << false;
        QTest::newRow("sox missing") << "missing" << "mono48.wav" << 0 << "Error Resampling File"
                                     << "could not be started" << false;
        QTest::newRow("sox fails") << "echo \"sox FAIL formats: can't open output file: Permission denied\"\n"
                                      "exit 2"
                                   << "mono48.wav" << 0 << "Error Resampling File"
                                   << "(it exited with code 2: sox FAIL formats: can't open output file: Permission "
                                      "denied)."
                                   << false;
        QTest::newRow("resampling cancelled") << "while :; do printf 'In:1.0%%\\r' >&2; sleep 0.2; done"
                                              << "mono48.wav" << 0 << "" << "" << false;
        // Longer than the limit for a utility that stops answering, but
        // telling how far it is all the while.
        QTest::newRow("a long resampling that progresses")
            << "for i in $(seq 1 35); do printf 'In:%d%%\\r' $((i * 2)) >&2; sleep 1; done\nexec sox \"$@\""
            << "mono48.wav" << 0 << "" << "" << true;
    }

    void importMessagesNameTheCause()
    {
        QFETCH(QString, sox);
        QFETCH(QString, file);
        QFETCH(int, limit);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(bool, kept);
        PanelRig r;
        QTemporaryDir util;
        if (!sox.isEmpty())
            utilpath = sox == "missing" ? util.path() : kvfakesox(util, sox);
        r.panel()->Import(sample("mono16.wav"), "");
        QCOMPARE(r.rows(), 1);
        const QStringList before = pcmfiles();
        r.answers["Resample"] = QMessageBox::Yes;
        int shown = 0;
        bool cancellable = false;
        // Cancel as soon as the watch shows, or watch it to the end.
        poll(kept ? 100000 : 6000, [&] {
            auto* watch = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (watch && !kept && title.isEmpty())
                watch->cancel();
            if (auto* bar = watch ? watch->findChild<QProgressBar*>() : nullptr)
                shown = std::max(shown, bar->value());
            cancellable = cancellable || (watch && watch->findChild<QPushButton*>());
            return watch && !kept;
        });
        {
            FullDisk full(limit > 0 ? rlim_t(limit) : RLIM_INFINITY);
            r.panel()->Import(sample(file), "");
        }
        QStringList boxes = r.titles();
        boxes.removeAll("Resample");
        QCOMPARE(boxes, title.isEmpty() ? QStringList() : QStringList{title});
        QCOMPARE(r.rows(), kept ? 2 : 1);
        if (kept) {
            QVERIFY(std::fabs(r.at(0)->length - 1.5) < 0.01);
            QVERIFY2(shown >= 10 && cancellable, qPrintable(QString::number(shown)));
            return;
        }
        QCOMPARE(pcmfiles(), before);
        if (title.isEmpty())
            return;
        // The cause alone, without what sox says of every run.
        const QString said = r.asked.last().text;
        QVERIFY2(said.contains(text) && !said.contains("Input File"), qPrintable(said));
        if (sox == "missing")
            QVERIFY(said.contains("It was looked for at " + util.filePath("sox/sox")));
    }

    void extensionsChooseThePlugin()
    {
        PanelRig r;
        const QStringList before = pcmfiles();
        for (const char* name : {"song.xyz", "noextension"}) {
            r.asked.clear();
            r.panel()->Import(sample(name), "All (*.*)");
            QCOMPARE(r.titles(), QStringList{"Unsupported Extension"});
            QCOMPARE(r.asked.last().text, QString("The file you selected is not supported."));
        }
        QCOMPARE(pcmfiles(), before);
        // Project and session files are not imported, and nothing is said.
        r.asked.clear();
        r.panel()->Import(sample("song.kvp"), "");
        r.panel()->Import(sample("other.KVX"), "");
        QVERIFY(r.asked.isEmpty());
        // The extension is lowered before it is matched.
        r.panel()->Import(sample("TAKE.WAV"), "All (*.*)");
        QCOMPARE(r.names(), QStringList{"TAKE.WAV"});
        // A filter no plugin offers creates nothing.
        r.panel()->Import(sample("mono16.wav"), "Nothing (*.wav)");
        QCOMPARE(r.rows(), 1);
        QVERIFY(r.asked.isEmpty());
    }

    void formatsThePanelRefuses_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bytes");
        QTest::newRow("plugin failed") << false << 8000 << 1 << 32000;
        QTest::newRow("no rate") << true << 0 << 1 << 32000;
        QTest::newRow("negative rate") << true << -8000 << 1 << 32000;
        QTest::newRow("no channels") << true << 8000 << 0 << 32000;
        QTest::newRow("nine channels") << true << 8000 << 9 << 36 * 1000;
        QTest::newRow("2^31 - 1 Hz") << true << 2147483647 << 1 << 32000;
        QTest::newRow("no frames") << true << 8000 << 1 << 0;
    }

    void formatsThePanelRefuses()
    {
        QFETCH(bool, ok);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(int, bytes);
        PanelRig r;
        FakeCodec fake("Fake (*.fake)");
        fake.ok = ok;
        fake.samplerate = rate;
        fake.channels = channels;
        fake.bytes = QByteArray(bytes, '\0');
        r.panel()->AddPlugin(&fake);
        const QStringList before = pcmfiles();
        r.panel()->Import(sample("take.fake"), "");
        QCOMPARE(fake.sources, QStringList{sample("take.fake")});
        QCOMPARE(r.titles(), QStringList{"Error Reading File"});
        QCOMPARE(r.rows(), 0);
        QCOMPARE(projectformat.samplerate, 0);
        QCOMPARE(pcmfiles(), before);
    }

    void pluginsPlaceAndOrder()
    {
        PanelRig r;
        FakeCodec first("First (*.fake)"), second("Second (*.fake *.other)");
        r.panel()->AddPlugin(&first);
        r.panel()->AddPlugin(&second);
        // The later plugin for an extension both offer.
        r.panel()->Import(sample("a.fake"), "");
        QCOMPARE(first.sources.size(), 0);
        QCOMPARE(second.sources.size(), 1);
        // A chosen filter picks its plugin; a start given by the plugin places the layer.
        first.start = 2.0;
        first.length = 0.5;
        first.bytes = QByteArray(8000 * 4, '\0');
        r.panel()->Import(sample("b.fake"), "First (*.fake)");
        QCOMPARE(first.sources.size(), 1);
        QCOMPARE(r.names(), (QStringList{"b.fake", "a.fake"}));
        QCOMPARE(r.at(0)->start, 2.0);
        QCOMPARE(r.at(0)->length, 0.5);
        QCOMPARE(r.panel()->alllayers->spanlength(), 2.5);
        checkbindings(r);
        // The table of file plugins holds 1000.
        const int count = r.panel()->fileplugincount;
        for (int i = count; i < LayersGui::maxfileplugins + 5; ++i)
            r.panel()->AddPlugin(&first);
        QCOMPARE(r.panel()->fileplugincount, LayersGui::maxfileplugins);
    }

    void importDialogRemembersTheFolder()
    {
        PanelRig r;
        QList<FileRequest> asked;
        QString answer = sample("stereo.flac");
        setfileanswerer([&](const FileRequest& request) {
            asked << request;
            if (request.selectedfilter)
                *request.selectedfilter = answer.isEmpty() ? QString() : "Free Lossless Audio Codec (*.flac)";
            return answer;
        });
        r.panel()->Import();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].kind, FileRequest::Open);
        QCOMPARE(asked[0].caption, QString("Import File"));
        QCOMPARE(asked[0].parent, r.window());
        QCOMPARE(QDir(asked[0].path).absolutePath(), QDir(rootpath + "/Resources/Samples").absolutePath());
        const QStringList filters = asked[0].filter.split(";;");
        QVERIFY(filters.size() > 3);
        QCOMPARE(filters.first(), QString("All (*.*)"));
        QStringList rest = filters.mid(1);
        QStringList sorted = rest;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(rest, sorted);
        QVERIFY(rest.contains("Free Lossless Audio Codec (*.flac)"));
        QCOMPARE(r.names(), QStringList{"stereo.flac"});
        QCOMPARE(QSettings().value("lastlayerfolder").toString(), QFileInfo(sample("stereo.flac")).path());

        // The next dialog opens there; cancelled, it changes nothing.
        answer.clear();
        r.panel()->Import();
        QCOMPARE(asked.size(), 2);
        QCOMPARE(QDir(asked[1].path).absolutePath(), QDir(work->path()).absolutePath());
        QCOMPARE(r.rows(), 1);
        setfileanswerer({});
    }

    void droppedFiles()
    {
        PanelRig r;
        const QList<QUrl> urls{QUrl("https://example.org/song.wav"), QUrl::fromLocalFile(sample("missing.wav")),
                               QUrl::fromLocalFile(work->path()), QUrl::fromLocalFile(sample("song.kvp")),
                               QUrl::fromLocalFile(sample("mono16.wav"))};
        // Dropped on the window, passed on by its signal.
        emit r.window()->dropUrl(urls);
        // The project file is no audio to import: it goes to the project
        // opener, which says that this one is no project either.
        QCOMPARE(r.titles(), QStringList{"Open Project"});
        QCOMPARE(r.names(), QStringList{"mono16.wav"});
        // Dropped on the list.
        emit r.panel()->tree->dropUrl({QUrl::fromLocalFile(sample("TAKE.WAV"))});
        QCOMPARE(r.names(), (QStringList{"TAKE.WAV", "mono16.wav"}));
        QCOMPARE(r.current(), r.at(0));
        checkbindings(r);
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestLayerImport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_layerimport.moc"
