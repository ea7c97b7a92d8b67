// Exporting a raw exchange file through codecbridge and the real ffmpeg.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <filesystem>

#include "codecbridgetest.h"

using namespace codecbridgetest;

class ExportTest : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    FileInterface* plugin = nullptr;
    QString source; // 1 s of float stereo at 48 kHz, not on a 16- or 24-bit grid

    QString codecof(const QString& file)
    {
        QByteArray out;
        run("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels", "-of",
                        "csv=p=0", file},
            &out);
        return QString::fromUtf8(out).trimmed();
    }

    static std::filesystem::perms mode(const QString& file)
    {
        return std::filesystem::status(QFile::encodeName(file).toStdString()).permissions()
               & std::filesystem::perms::mask;
    }

    // A raw exchange file of 0.2 s of tones, one frequency per channel.
    QString rawtones(const QString& name, int rate, int count)
    {
        const QString path = work.filePath(name);
        QFile raw(path);
        if (!raw.open(QIODevice::WriteOnly))
            return {};
        for (int i = 0; i < rate / 5; ++i)
            for (int c = 0; c < count; ++c) {
                const float v = float(0.3 * std::sin(2 * M_PI * (300 + 100 * c) * i / rate));
                raw.write(reinterpret_cast<const char*>(&v), 4);
            }
        return path;
    }

    QStringList leftovers() const
    {
        return QDir(work.path()).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\."));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        ::umask(027); // new exports are created as any new file: 0666 less this
        plugin = load(rootplugin);
        QVERIFY(plugin && plugin->initialize(rootplugin, nullptr));
        const QString wav = work.filePath("tone.wav");
        QVERIFY(sox({"-n", "-r", "48000", "-c", "2", "-b", "32", "-e", "floating-point", wav, "synth", "1", "sine",
                     "441", "sine", "887", "vol", "0.37"}));
        source = work.filePath("tone.f32");
        QFile raw(source);
        QVERIFY(raw.open(QIODevice::WriteOnly));
        raw.write(reference({"-i", wav}));
    }

    void init() { forget(); }

    void formats_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<bool>("exact"); // decodes to the very samples exported
        QTest::newRow("WAVE 32-bit") << "Microsoft WAV 32bit (*.wav)" << "out32.wav" << "pcm_f32le,48000,2" << true;
        QTest::newRow("WAVE 24-bit") << "Microsoft WAV 24bit (*.wav)" << "out24.wav" << "pcm_s24le,48000,2" << false;
        QTest::newRow("AIFF 24-bit") << "Apple AIFF 24bit (*.aiff)" << "out.aiff" << "pcm_s24be,48000,2" << false;
        QTest::newRow("FLAC") << "Free Lossless Audio Codec (*.flac)" << "out.flac" << "flac,48000,2" << false;
        QTest::newRow("Ogg") << "Vorbis 320kbps (*.ogg)" << "out.ogg" << "vorbis,48000,2" << false;
        QTest::newRow("unknown label, by extension") << "Something else (*.wav)" << "other.wav"
                                                     << "pcm_s16le,48000,2" << false;
    }

    void formats()
    {
        QFETCH(QString, label);
        QFETCH(QString, file);
        QFETCH(QString, codec);
        QFETCH(bool, exact);
        const QString destination = work.filePath(file);
        QVERIFY(plugin->exportFile(label, source, destination, 48000, 2));
        QCOMPARE(codecof(destination), codec);
        const QByteArray decoded = reference({"-i", destination});
        if (exact)
            QVERIFY(decoded == contents(source));
        QVERIFY(leftovers().isEmpty());
        QCOMPARE(mode(destination), std::filesystem::perms(0640));
        QCOMPARE(seen.waittitle, "Writing " + file + "...");
    }

    void rawpcmisthesource()
    {
        const QString destination = work.filePath("same.pcm");
        QVERIFY(plugin->exportFile("RAW/PCM 32bit (*.pcm)", source, destination, 48000, 2));
        QVERIFY(contents(destination) == contents(source));
    }

    void replacesonlyonsuccess()
    {
        const QString destination = work.filePath("kept.wav");
        QFile old(destination);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the user's earlier file");
        old.close();
        QVERIFY(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));

        // Nothing sensible to export: the earlier file stays.
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 0));
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 9));
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 0, 2));
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", work.filePath("none.f32"), destination, 48000, 2));
        // A converter that fails: the earlier file stays, nothing else is left.
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, work.filePath("kept.nosuchformat"), 48000, 2));
        QVERIFY(!QFileInfo::exists(work.filePath("kept.nosuchformat")));
        QVERIFY(reportof(plugin).message.contains("could not write the audio as Microsoft WAV 32bit (*.wav)"));
        QVERIFY(!reportof(plugin).details.isEmpty()); // the converter's own words, for the log
        QCOMPARE(contents(destination), QByteArray("the user's earlier file"));
        QVERIFY(leftovers().isEmpty());

        // A folder in the way cannot be replaced: it stays, and so does what it holds.
        QVERIFY(QDir(work.path()).mkpath("folder.wav/inside"));
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, work.filePath("folder.wav"), 48000, 2));
        QVERIFY(QFileInfo::exists(work.filePath("folder.wav/inside")));
        QVERIFY(leftovers().isEmpty());

        // The new file takes the old one's place in one step, never by removing
        // it first, and keeps its permissions.
        const int watch = inotify_init1(IN_NONBLOCK);
        QVERIFY(watch >= 0);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(work.path()).constData(), IN_DELETE) >= 0);
        QVERIFY(plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 2));
        QVERIFY(reference({"-i", destination}) == contents(source));
        alignas(inotify_event) char events[4096];
        const ssize_t got = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            QVERIFY2(event->len == 0 || QString::fromUtf8(event->name) != "kept.wav", "the earlier file was removed");
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
        ::close(watch);
        QCOMPARE(mode(destination), std::filesystem::perms(0604));
        QVERIFY(seen.titles.isEmpty()); // export failures are the caller's to report
    }

    // An encoder that cannot hold the channels or the rate would convert them
    // quietly: the export is refused and says why.
    void refusesWhatTheFormatCannotHold_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("why");
        QTest::newRow("8 channels as AC-3") << "Dolby Digital 640kbps (*.ac3)" << 48000 << 8
                                            << "6 channels instead of 8";
        QTest::newRow("8 channels as MP3") << "MPEG-1 Audio Layer 3 320kbps (*.mp3)" << 48000 << 8
                                           << "2 channels instead of 8";
        QTest::newRow("96 kHz as MP3") << "MPEG-1 Audio Layer 3 320kbps (*.mp3)" << 96000 << 2
                                       << "48000 Hz instead of 96000 Hz";
    }

    void refusesWhatTheFormatCannotHold()
    {
        QFETCH(QString, label);
        QFETCH(int, rate);
        QFETCH(int, count);
        QFETCH(QString, why);
        const QString raw = rawtones("tones.f32", rate, count);
        const QString destination = work.filePath("held." + label.section("*.", 1).chopped(1));
        QFile old(destination);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the user's earlier file");
        old.close();

        QVERIFY(!plugin->exportFile(label, raw, destination, rate, count));
        QCOMPARE(contents(destination), QByteArray("the user's earlier file"));
        QVERIFY(leftovers().isEmpty());
        // The reason goes to the host, which shows the one box.
        QVERIFY(seen.titles.isEmpty());
        const QString message = reportof(plugin).message;
        QVERIFY2(message.startsWith(label + " cannot hold this audio") && message.contains(why)
                     && message.contains("held." + QFileInfo(destination).suffix() + " was left as it was"),
                 qPrintable(message));

        // A format that holds it all writes it all.
        QVERIFY(plugin->exportFile("Free Lossless Audio Codec (*.flac)", raw, work.filePath("held.flac"), rate, count));
        QCOMPARE(codecof(work.filePath("held.flac")), QString("flac,%1,%2").arg(rate).arg(count));
        QVERIFY(reportof(plugin).message.isEmpty());
    }

    void hangingconverterchangesnothing()
    {
        // A converter that hangs before it prints: the event loop runs on and
        // Cancel ends the run; the earlier file stays.
        QTemporaryDir dir;
        const QString copy = plugincopy(dir.path());
        const QString pidfile = dir.filePath("pid");
        QVERIFY(fakeconverter(copy, "[ $# -eq 0 ] && exit 1\necho $$ > '" + pidfile + "'\nexec sleep 60"));
        FileInterface* hanging = load(copy);
        QVERIFY(hanging && hanging->initialize(copy, nullptr));
        const QString destination = work.filePath("stays.wav");
        QFile old(destination);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the user's earlier file");
        old.close();
        CancelTicker ticker([&] { return !contents(pidfile).isEmpty(); });
        QVERIFY(!hanging->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 2));
        ticker.timer.stop();
        QVERIFY(ticker.ticks >= 3);
        QVERIFY(reportof(hanging).cancelled);
        QVERIFY(reportof(hanging).message.isEmpty());
        QCOMPARE(contents(destination), QByteArray("the user's earlier file"));
        QVERIFY(leftovers().isEmpty());
        const pid_t pid = contents(pidfile).trimmed().toInt();
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(pid, 0) != 0, 30000);
    }

    void withoutconverter()
    {
        QTemporaryDir dir;
        const QString copy = plugincopy(dir.path());
        FileInterface* lonely = load(copy);
        QVERIFY(lonely);
        QVERIFY(lonely->initialize(copy, nullptr));
        const QString destination = work.filePath("lonely.wav");
        QVERIFY(!lonely->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 2));
        QVERIFY(reportof(lonely).message.contains("is missing: it was looked for at "
                                                  + QFileInfo(copy).absolutePath() + "/ffmpeg."));
        QVERIFY(!QFileInfo::exists(destination));
        QVERIFY(leftovers().isEmpty());
    }
};

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
