// Importing files into the layer panel of a whole main window, through the
// codecbridge plugin loaded from the installation root and the real ffmpeg:
// files made with sox become rows whose sample files equal ffmpeg's own
// decode; the first sets the project format, a later one of another format is
// resampled only when the user agrees; unreadable, damaged and unsupported
// files leave nothing behind; dropped files take the same road.
#include "app/filechooser.h"
#include <QFileInfo>
#include <QTemporaryDir>

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
            return run("sox", format.split(' ') + QStringList{sample(name)} + tone);
        };
        QVERIFY(make("mono16.wav", "-n -r 44100 -c 1 -b 16 -e signed-integer"));
        QVERIFY(make("float48.wav", "-n -r 48000 -c 2 -b 32 -e floating-point"));
        QVERIFY(make("stereo.flac", "-n -r 44100 -c 2 -b 16"));
        QVERIFY(make("mono48.wav", "-n -r 48000 -c 1 -b 16"));
        // This sox cannot write MP3: ffmpeg encodes sox's tone.
        QVERIFY(run("ffmpeg", {"-v", "error", "-nostdin", "-i", sample("mono48.wav"), "-b:a", "128k",
                               sample("mono.mp3")}));
        QVERIFY(QFile::copy(sample("mono16.wav"), sample("TAKE.WAV")));
        QVERIFY(QFile::copy(sample("mono16.wav"), sample("song.xyz")));
        QVERIFY(QFile::copy(sample("mono16.wav"), sample("noextension")));

        QFile half(sample("half.flac"));
        QVERIFY(half.open(QIODevice::WriteOnly));
        const QByteArray whole = codecbridgetest::contents(sample("stereo.flac"));
        half.write(whole.left(whole.size() / 2));
        half.close();
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
        QTest::newRow("FLAC cut in half") << "half.flac" << false;
        QTest::newRow("empty") << "empty.wav" << false;
        QTest::newRow("noise") << "noise.wav" << true;
        QTest::newRow("missing") << "missing.wav" << true;
    }

    void unreadableFilesLeaveNothingBehind()
    {
        QFETCH(QString, file);
        QFETCH(bool, withproject);
        PanelRig r;
        if (withproject)
            r.panel()->Import(sample("mono48.wav"), "");
        const int rows = r.rows();
        const ProjectFormat format = projectformat;
        const QStringList before = pcmfiles();
        r.window()->setWindowModified(false);
        r.panel()->Import(sample(file), "");
        QCOMPARE(r.titles(), QStringList{"Error Reading File"});
        QCOMPARE(r.asked.last().text, QString("The file you selected could not be read."));
        QCOMPARE(r.asked.last().icon, QMessageBox::Critical);
        QCOMPARE(r.rows(), rows);
        QCOMPARE(pcmfiles(), before);
        QCOMPARE(projectformat.samplerate, format.samplerate);
        QCOMPARE(projectformat.channels, format.channels);
        QVERIFY(!r.window()->isWindowModified());
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
