// Exporting a raw exchange file through codecbridge and the real ffmpeg.
#include <QTemporaryDir>
#include <QTest>

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

    QStringList leftovers() const
    {
        return QDir(work.path()).entryList(QDir::Files | QDir::Hidden).filter(QRegularExpression("^\\."));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
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
        QCOMPARE(seen.progresstitle, "Writing " + file + "...");
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

        // Nothing sensible to export: the earlier file stays.
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 0));
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 9));
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 0, 2));
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", work.filePath("none.f32"), destination, 48000, 2));
        // A converter that fails: the earlier file stays, nothing else is left.
        QVERIFY(!plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, work.filePath("kept.nosuchformat"), 48000, 2));
        QVERIFY(!QFileInfo::exists(work.filePath("kept.nosuchformat")));
        QCOMPARE(contents(destination), QByteArray("the user's earlier file"));
        QVERIFY(leftovers().isEmpty());

        QVERIFY(plugin->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 2));
        QVERIFY(reference({"-i", destination}) == contents(source));
        QVERIFY(seen.titles.isEmpty()); // export failures are the caller's to report
    }

    void withoutconverter()
    {
        QTemporaryDir dir;
        const QString copy = plugincopy(dir.path());
        FileInterface* lonely = load(copy);
        QVERIFY(lonely);
        QVERIFY(!lonely->initialize(copy, nullptr));
        const QString destination = work.filePath("lonely.wav");
        QVERIFY(!lonely->exportFile("Microsoft WAV 32bit (*.wav)", source, destination, 48000, 2));
        QVERIFY(!QFileInfo::exists(destination));
        QVERIFY(leftovers().isEmpty());
    }
};

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
