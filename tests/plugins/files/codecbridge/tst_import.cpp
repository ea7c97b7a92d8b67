// Importing through codecbridge and the real ffmpeg: sample files made with
// sox decode to exactly what ffmpeg itself decodes, long FLAC files also when
// decoded in parts at once, damaged ones too, with a message that names what
// is missing and silence where audio was lost; headerless PCM is described through the plugin's dialogs; an older
// converter still imports; files without audio, a missing, hanging or lying
// converter, or a destination that cannot take the audio fail with a message
// for the host and leave nothing; the plugin itself shows no box.
#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cmath>
#include <csignal>

#include "codecbridgetest.h"
#include "fulldisk.h"

using namespace codecbridgetest;

namespace {

const QString rawfilter = QStringLiteral("RAW/PCM (*.raw *.pcm)");

// What a converter script does first: it answers the probe like ffmpeg and
// takes the destination from its last argument.
const QString fakeprologue = QStringLiteral("[ $# -eq 0 ] && exit 1\nfor a; do last=$a; done\n");

struct Outcome
{
    bool ok = false;
    int samplerate = 0;
    int channels = 0;
    int speakermask = 0;
};

Outcome import(FileInterface* plugin, const QString& filter, const QString& source, const QString& destination)
{
    Outcome outcome;
    double start = 0;
    double length = 0;
    outcome.ok = plugin->importFile(filter, source, destination, &outcome.samplerate, &outcome.channels,
                                    &outcome.speakermask, &start, &length);
    return outcome;
}

bool createempty(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

// The shift of b against a (in frames of channel 0) that matches a's window
// from frame `at` on best, by normalised cross-correlation.
qint64 lagof(const std::vector<float>& a, const std::vector<float>& b, int channels, qint64 at, qint64 window,
             qint64 maxlag)
{
    qint64 best = 0;
    double bestscore = -2;
    for (qint64 lag = -maxlag; lag <= maxlag; ++lag) {
        double ab = 0, bb = 0;
        for (qint64 k = at; k < at + window; ++k) {
            const qint64 j = k + lag;
            const double y = j >= 0 && size_t(j * channels) < b.size() ? b[size_t(j * channels)] : 0;
            ab += a[size_t(k * channels)] * y;
            bb += y * y;
        }
        if (bb > 0 && ab / std::sqrt(bb) > bestscore) {
            bestscore = ab / std::sqrt(bb);
            best = lag;
        }
    }
    return best;
}

// Puts the time of a Matroska file's cluster (from 0) `ms` later, as a damaged byte would: past
// the cluster's ID, its size (three bytes here) and its checksum element, two bytes of time.
bool clusterahead(const QString& path, int cluster, int ms)
{
    QFile file(path);
    QByteArray bytes = file.open(QIODevice::ReadWrite) ? file.readAll() : QByteArray();
    qsizetype at = -1;
    for (int i = 0; i <= cluster; ++i)
        at = bytes.indexOf(QByteArray("\x1f\x43\xb6\x75", 4), at + 1);
    at += 4 + 3 + 6;
    if (at < 13 || bytes.mid(at, 2) != "\xe7\x82")
        return false;
    const int time = (quint8(bytes[at + 2]) << 8 | quint8(bytes[at + 3])) + ms;
    bytes[at + 2] = char(time >> 8);
    bytes[at + 3] = char(time & 0xFF);
    return time < 65536 && file.seek(0) && file.write(bytes) == bytes.size();
}

} // namespace

class ImportTest : public QObject
{
    Q_OBJECT

    QTemporaryDir work;
    FileInterface* plugin = nullptr;
    QStringList asked; // labels of the input dialogs, in order

    QString sample(const QString& name) const { return work.filePath(name); }

    // A copy of the plugin whose converter is the script body.
    FileInterface* fakeplugin(QTemporaryDir& dir, const QString& body)
    {
        const QString copy = plugincopy(dir.path());
        if (copy.isEmpty() || !fakeconverter(copy, fakeprologue + body))
            return nullptr;
        FileInterface* fake = load(copy);
        return fake && fake->initialize(copy, nullptr) ? fake : nullptr;
    }

    // A copy of the plugin with the real converter, which notes each command
    // line in the file "calls" of dir and reads with these options first.
    FileInterface* loggingplugin(QTemporaryDir& dir, const QString& options = QString())
    {
        return fakeplugin(dir, "echo \"$*\" >> '" + dir.filePath("calls") + "'\nexec /usr/bin/ffmpeg " + options
                                   + " \"$@\"");
    }
    static QStringList callsof(const QTemporaryDir& dir)
    {
        return QString(contents(dir.filePath("calls"))).split('\n', Qt::SkipEmptyParts);
    }

    // Refused: false, the reason for the host, no box, nothing left behind.
    void checkfailed(FileInterface* used, const Outcome& outcome, const QString& destination, const QString& fragment)
    {
        QVERIFY(!outcome.ok);
        const Report said = reportof(used);
        QVERIFY2(said.message.contains(fragment), qPrintable(said.message));
        QVERIFY(!said.cancelled);
        QVERIFY(seen.titles.isEmpty());
        QVERIFY(!QFileInfo::exists(destination));
        // On failure the out-values stay as the host set them.
        QCOMPARE(outcome.samplerate, 0);
        QCOMPARE(outcome.channels, 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(work.isValid());
        plugin = load(rootplugin);
        QVERIFY(plugin);
        QVERIFY(plugin->initialize(rootplugin, nullptr));

        const QString tone = QStringLiteral("synth 1.5 sine 440 sine 660 vol 0.5");
        auto make = [&](const QString& name, const QString& format) {
            return sox(format.split(' ', Qt::SkipEmptyParts) + QStringList{sample(name)} + tone.split(' '));
        };
        QVERIFY(make("s16.wav", "-n -r 44100 -c 2 -b 16 -e signed-integer"));
        QVERIFY(make("s24.wav", "-n -r 48000 -c 1 -b 24 -e signed-integer"));
        QVERIFY(make("float.wav", "-n -r 48000 -c 2 -b 32 -e floating-point"));
        QVERIFY(make("s24x3.wav", "-n -r 44100 -c 3 -b 24 -e signed-integer"));
        QVERIFY(make("u8.wav", "-n -r 22050 -c 1 -b 8 -e unsigned-integer"));
        QVERIFY(make("stereo.flac", "-n -r 44100 -c 2 -b 16"));
        QVERIFY(make("mono.flac", "-n -r 48000 -c 1 -b 24"));
        QVERIFY(make("stereo.ogg", "-n -r 44100 -c 2"));
        QVERIFY(make("mono.ogg", "-n -r 48000 -c 1"));
        QVERIFY(make("ten.wav", "-n -r 8000 -c 10 -b 16"));
        QVERIFY(make("sixteen.wav", "-n -r 8000 -c 16 -b 16")); // a layout with a name
        // This sox cannot write MP3: ffmpeg encodes sox's tone.
        QVERIFY(make("mono48.wav", "-n -r 48000 -c 1 -b 16"));
        // Noise, whose shift is unmistakable.
        QVERIFY(sox({"-n", "-r", "44100", "-c", "2", "-b", "16", sample("pink.wav"), "synth", "6", "pinknoise", "vol",
                     "0.3"}));
        QVERIFY(sox({sample("pink.wav"), sample("pink.flac")}));
        // The same in Matroska, clusters of a second; and once with every
        // packet from 3 s on a day later, as a stream joined from two takes.
        QVERIFY(run("ffmpeg", {"-v", "error", "-nostdin", "-i", sample("pink.flac"), "-c:a", "copy",
                               "-cluster_time_limit", "1000", sample("pink.mkv")}));
        QVERIFY(run("ffmpeg", {"-v", "error", "-nostdin", "-i", sample("pink.flac"), "-c:a", "copy", "-bsf:a",
                               "setts=ts=if(gte(TS\\,3000)\\,TS+86400000\\,TS)", sample("pinkday.mkv")}));
        // Long enough to be decoded in parts, and not in whole seconds: the
        // parts join inside frames, and the last one is shorter. Made by sox
        // (frames of 4096) and by the converter's encoder (other frames).
        QVERIFY(sox({"-n", "-r", "44100", "-c", "2", "-b", "16", sample("long.flac"), "synth", "41.5", "pinknoise",
                     "vol", "0.3"}));
        QVERIFY(sox({"-n", "-r", "8000", "-c", "3", "-b", "24", sample("long3.wav"), "synth", "41.5", "pinknoise",
                     "vol", "0.3"}));
        QVERIFY(run("ffmpeg", {"-v", "error", "-nostdin", "-i", sample("long3.wav"), sample("long3.flac")}));
        for (const auto& [from, to] : {std::pair{"s16.wav", "stereo.mp3"}, std::pair{"mono48.wav", "mono.mp3"},
                                       std::pair{"pink.wav", "pink.mp3"}})
            QVERIFY(run("ffmpeg", {"-v", "error", "-nostdin", "-i", sample(from), "-b:a", "128k", sample(to)}));

        // Files without audio: cut inside the header, empty, noise, and rates
        // no editor holds.
        QFile header(sample("header.wav"));
        QVERIFY(header.open(QIODevice::WriteOnly));
        header.write(contents(sample("s16.wav")).left(30));
        header.close();
        QVERIFY(createempty(sample("empty.wav")));
        QFile noise(sample("noise.wav"));
        QVERIFY(noise.open(QIODevice::WriteOnly));
        quint32 state = 12345;
        QByteArray bytes(100000, 0);
        for (char& byte : bytes) {
            state = state * 1664525u + 1013904223u;
            byte = char(state >> 24);
        }
        noise.write(bytes);
        noise.close();
        for (const quint64 rate : {2147483648ull, 2147483647ull}) {
            QByteArray wave = contents(sample("s16.wav"));
            const quint32 value = quint32(rate);
            memcpy(wave.data() + 24, &value, 4); // the sample rate of the format chunk
            QFile odd(sample(QString("%1.wav").arg(rate)));
            QVERIFY(odd.open(QIODevice::WriteOnly));
            odd.write(wave);
        }
    }

    void init()
    {
        forget();
        asked.clear();
    }

    void formats_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("samplerate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("speakermask");
        const QString flac = "Free Lossless Audio Codec (*.flac)";
        const QString ogg = "Vorbis/Theora/Speex (*.ogg *.ogv *.oga *.ogx *.spx)";
        const QString mp3 = "MPEG-1 Audio Layer 2/3 (*.mp2 *.mp3)";
        QTest::newRow("WAVE 16-bit stereo 44.1 kHz") << "s16.wav" << wavefilter << 44100 << 2 << 0x3;
        QTest::newRow("WAVE 24-bit mono 48 kHz") << "s24.wav" << wavefilter << 48000 << 1 << 0x4;
        QTest::newRow("WAVE float stereo 48 kHz") << "float.wav" << wavefilter << 48000 << 2 << 0x3;
        // Frames of 9 bytes: the converter's packets hold no whole number of 4 KiB or 64 KiB.
        QTest::newRow("WAVE 24-bit 3 channels 44.1 kHz") << "s24x3.wav" << wavefilter << 44100 << 3 << 0xB;
        QTest::newRow("WAVE 8-bit mono 22.05 kHz") << "u8.wav" << wavefilter << 22050 << 1 << 0x4;
        QTest::newRow("FLAC stereo 44.1 kHz") << "stereo.flac" << flac << 44100 << 2 << 0x3;
        QTest::newRow("FLAC 24-bit mono 48 kHz") << "mono.flac" << flac << 48000 << 1 << 0x4;
        QTest::newRow("Ogg stereo 44.1 kHz") << "stereo.ogg" << ogg << 44100 << 2 << 0x3;
        QTest::newRow("Ogg mono 48 kHz") << "mono.ogg" << ogg << 48000 << 1 << 0x4;
        QTest::newRow("MP3 stereo 44.1 kHz") << "stereo.mp3" << mp3 << 44100 << 2 << 0x3;
        QTest::newRow("MP3 mono 48 kHz") << "mono.mp3" << mp3 << 48000 << 1 << 0x4;
    }

    void formats()
    {
        QFETCH(QString, file);
        QFETCH(QString, filter);
        QFETCH(int, samplerate);
        QFETCH(int, channels);
        QFETCH(int, speakermask);
        // The host hands over the new layer's sample file, already created.
        const QString destination = sample(file + ".f32");
        QVERIFY(createempty(destination));
        const Outcome outcome = import(plugin, filter, sample(file), destination);
        QVERIFY2(outcome.ok, qPrintable(seen.texts.join('\n')));
        QCOMPARE(outcome.samplerate, samplerate);
        QCOMPARE(outcome.channels, channels);
        QCOMPARE(outcome.speakermask, speakermask);
        QVERIFY(seen.titles.isEmpty());

        const QByteArray expected = reference({"-i", sample(file)});
        QVERIFY(expected.size() > samplerate * channels * 4);
        QVERIFY(contents(destination) == expected);

        QCOMPARE(seen.waittitle, "Opening " + file + "...");
        QCOMPARE(seen.waittext, QString("Converting to Float32... (%1 channels/%2 Hz)").arg(channels).arg(samplerate));
        QFile::remove(destination);
    }

    void inparts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("cancel"); // at 2 s decoded, the converters reading in real time
        QTest::newRow("16-bit stereo, frames of 4096") << "long.flac" << 2 << false;
        QTest::newRow("24-bit 3 channels, the converter's frames") << "long3.flac" << 3 << false;
        QTest::newRow("cancelled") << "long.flac" << 2 << true;
    }

    void inparts()
    {
        // A long FLAC file is decoded by several converters at once, each
        // from a whole second on, into one layer equal to the whole decode.
        QFETCH(QString, file);
        QFETCH(int, channels);
        QFETCH(bool, cancel);
        QTemporaryDir dir;
        FileInterface* logged = loggingplugin(dir, cancel ? "-re" : "");
        QVERIFY(logged);
        if (cancel) // 2 s of 41.5
            onwait = [] { seen.cancel = seen.cancel || seen.percent >= 5; };
        const QString destination = sample(file + ".parts.f32");
        QVERIFY(createempty(destination));
        const Outcome outcome = import(logged, wavefilter, sample(file), destination);
        const Report said = reportof(logged);
        QVERIFY2(outcome.ok, qPrintable(said.message));
        QCOMPARE(outcome.channels, channels);
        QCOMPARE(seen.waittitle, "Opening " + file + "...");
        QCOMPARE(seen.waittext,
                 QString("Converting to Float32... (%1 channels/%2 Hz)").arg(channels).arg(outcome.samplerate));

        // Each part from its whole second on; none decodes the file whole.
        QList<int> starts; // the second each part starts at; the parts note themselves in any order
        for (const QString& call : callsof(dir))
            starts << (call.startsWith("-ss ") ? call.section(' ', 1, 1).toInt() : -1);
        std::sort(starts.begin(), starts.end());
        QVERIFY(starts.size() >= 2 && starts.first() == 0);
        for (qsizetype i = 1; i < starts.size(); ++i)
            QCOMPARE(starts[i], i * starts[1]);

        const QByteArray expected = reference({"-i", sample(file)});
        const QByteArray got = contents(destination);
        if (!cancel) {
            QVERIFY(said.message.isEmpty());
            QCOMPARE(got.size(), expected.size());
            QVERIFY(got == expected);
            return;
        }
        // Cancelled: the beginning that every part before it had given.
        QVERIFY(said.cancelled);
        QVERIFY2(got.size() > 0 && got.size() < expected.size(), qPrintable(QString::number(got.size())));
        QVERIFY(got == expected.left(got.size()));
        QCOMPARE(said.message, QString("The import was cancelled: the first %1 s of 41.50 s were imported.")
                                   .arg(double(got.size()) / (channels * 4 * outcome.samplerate), 0, 'f', 2));
    }

    void staledestination()
    {
        // A destination that already holds more than the decode ends up
        // holding the decode alone, as one that the host made empty.
        const QString destination = sample("stale.f32");
        QFile stale(destination);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        const QByteArray expected = reference({"-i", sample("s16.wav")});
        QVERIFY(stale.write(QByteArray(expected.size() * 2, '\x55')) == expected.size() * 2);
        stale.close();
        QVERIFY(import(plugin, wavefilter, sample("s16.wav"), destination).ok);
        QVERIFY(contents(destination) == expected);
        QFile::remove(destination);
    }

    void namesarenotcommands()
    {
        // Blanks, quotes, "%1", a colon and a converter marker in relative
        // names change nothing.
        const QString name = QStringLiteral("odd %1 \"name\" 'x' a:b Duration: 09:00:00.00 \u00fc.wav");
        QVERIFY(QFile::copy(sample("s16.wav"), sample(name)));
        const QString current = QDir::currentPath();
        QDir::setCurrent(work.path());
        const Outcome outcome = import(plugin, wavefilter, name, "out:%2 \"q\".f32");
        QDir::setCurrent(current);
        QVERIFY2(outcome.ok, qPrintable(seen.texts.join('\n')));
        QVERIFY(contents(sample("out:%2 \"q\".f32")) == reference({"-i", sample("s16.wav")}));
        QCOMPARE(seen.waittitle, "Opening " + name + "...");
    }

    void rawpcm_data()
    {
        QTest::addColumn<int>("samplerate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("format");   // the converter's name of it
        QTest::addColumn<QString>("encoding"); // sox's description of the same
        QTest::addColumn<int>("speakermask");
        QTest::newRow("16-bit little-endian stereo") << 22050 << 2 << "16bit signed little-endian" << "s16le"
                                                     << "-b 16 -e signed-integer -L" << 0x3;
        QTest::newRow("float big-endian mono") << 8000 << 1 << "32bit float big-endian" << "f32be"
                                               << "-b 32 -e floating-point -B" << 0x4;
        QTest::newRow("24-bit big-endian five channels") << 11025 << 5 << "24bit signed big-endian" << "s24be"
                                                         << "-b 24 -e signed-integer -B" << 0x3B;
        QTest::newRow("8-bit unsigned mono") << 96000 << 1 << "8bit unsigned" << "u8"
                                             << "-b 8 -e unsigned-integer" << 0x4;
    }

    void rawpcm()
    {
        QFETCH(int, samplerate);
        QFETCH(int, channels);
        QFETCH(QString, label);
        QFETCH(QString, format);
        QFETCH(QString, encoding);
        QFETCH(int, speakermask);
        const QString source = sample(format + ".raw");
        QVERIFY(sox(QStringList{"-n", "-r", QString::number(samplerate), "-c", QString::number(channels)}
                    + encoding.split(' ') + QStringList{"-t", "raw", source, "synth", "0.5", "sine", "300", "vol", "0.5"}));

        // The dialogs are answered through their own widgets.
        QStringList titles;
        answer = [&](QDialog* dialog) {
            auto* input = qobject_cast<QInputDialog*>(dialog);
            if (!input)
                return int(QDialog::Rejected);
            titles.append(input->windowTitle());
            asked.append(input->labelText());
            if (input->labelText() == "Format:") {
                auto* list = input->findChild<QComboBox*>();
                if (!list || list->count() != 18 || list->currentIndex() != 0)
                    return int(QDialog::Rejected);
                list->setCurrentIndex(list->findText(label));
            } else {
                auto* spin = input->findChild<QSpinBox*>();
                if (!spin)
                    return int(QDialog::Rejected);
                spin->setValue(input->labelText() == "Sample rate:" ? samplerate : channels);
            }
            return int(QDialog::Accepted);
        };
        const QString destination = sample(format + ".f32");
        const Outcome outcome = import(plugin, rawfilter, source, destination);
        QVERIFY2(outcome.ok, qPrintable(seen.texts.join('\n')));
        QCOMPARE(asked, (QStringList{"Sample rate:", "Number of channels:", "Format:"}));
        QCOMPARE(titles, (QStringList{"RAW/PCM", "RAW/PCM", "RAW/PCM"}));
        QCOMPARE(outcome.samplerate, samplerate);
        QCOMPARE(outcome.channels, channels);
        QCOMPARE(outcome.speakermask, speakermask);
        const QByteArray expected = reference(
            {"-ar", QString::number(samplerate), "-ac", QString::number(channels), "-f", format, "-i", source});
        QCOMPARE(expected.size(), qsizetype(samplerate / 2) * channels * 4);
        QVERIFY(contents(destination) == expected);
    }

    void rawdialogsbound()
    {
        // The questions offer what the system can hold, with the defaults shown.
        QList<std::tuple<int, int, int>> spins;
        answer = [&](QDialog* dialog) {
            if (auto* spin = dialog->findChild<QSpinBox*>())
                spins.append({spin->minimum(), spin->maximum(), spin->value()});
            return int(QDialog::Accepted);
        };
        const QString destination = sample("defaults.f32");
        const Outcome outcome = import(plugin, rawfilter, sample("s16.wav"), destination);
        QVERIFY(outcome.ok); // the defaults: 44100 Hz, 1 channel, 8-bit signed
        QCOMPARE(spins, (QList<std::tuple<int, int, int>>{{1, 32000000, 44100}, {1, 8, 1}}));
        QCOMPARE(outcome.samplerate, 44100);
        QCOMPARE(outcome.channels, 1);
        QCOMPARE(contents(destination).size(), QFileInfo(sample("s16.wav")).size() * 4);
    }

    void rawdialogcancelled()
    {
        answer = [&](QDialog* dialog) {
            auto* input = qobject_cast<QInputDialog*>(dialog);
            asked.append(input ? input->labelText() : QString());
            return int(asked.size() == 1 ? QDialog::Accepted : QDialog::Rejected);
        };
        const QString destination = sample("cancelled.f32");
        const Outcome outcome = import(plugin, rawfilter, sample("s16le.raw"), destination);
        QVERIFY(!outcome.ok);
        QCOMPARE(asked, (QStringList{"Sample rate:", "Number of channels:"}));
        QCOMPARE(seen.waits, 0); // no converter, nothing waited for
        QVERIFY(seen.titles.isEmpty());
        QVERIFY(!QFileInfo::exists(destination));
    }

    void rawfilterexactly()
    {
        // Only the exact filter asks for the format; a headerless file under
        // any other cannot be read.
        answer = [&](QDialog* dialog) {
            asked.append(dialog->windowTitle());
            return int(QDialog::Accepted);
        };
        const QString destination = sample("notraw.f32");
        const Outcome outcome = import(plugin, "raw/pcm (*.raw *.pcm)", sample("s16le.raw"), destination);
        QVERIFY(asked.isEmpty());
        checkfailed(plugin, outcome, destination, "No audio could be decoded");
    }

    void damagedkeepswhatdecodes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("cut"); // share of the bytes kept; 0: 40 bytes overwritten in the middle
        QTest::addColumn<QString>("warning"); // a fragment of the message, empty for none
        QTest::newRow("WAVE overwritten") << "s16.wav" << 0.0 << ""; // the bytes are samples, right or wrong
        // Here the bytes land inside the audio of one frame: wrong samples, no error.
        QTest::newRow("MP3 mono overwritten") << "mono.mp3" << 0.0 << "";
        QTest::newRow("Ogg overwritten") << "stereo.ogg" << 0.0 << "damaged or incomplete";
        QTest::newRow("WAVE cut at a quarter") << "s16.wav" << 0.25 << "ends early";
        QTest::newRow("WAVE cut at nine tenths") << "s16.wav" << 0.9 << "ends early";
        QTest::newRow("WAVE 3 channels cut inside a frame") << "s24x3.wav" << 0.33 << "ends early";
        QTest::newRow("FLAC cut at a quarter") << "stereo.flac" << 0.25 << "damaged or incomplete";
        QTest::newRow("FLAC cut in half") << "stereo.flac" << 0.5 << "damaged or incomplete";
        QTest::newRow("MP3 cut in half") << "stereo.mp3" << 0.5 << "damaged or incomplete";
        QTest::newRow("MP3 cut at nine tenths") << "stereo.mp3" << 0.9 << "damaged or incomplete";
        // An Ogg stream's length is that of its last page: a cut one looks whole.
        QTest::newRow("Ogg cut at nine tenths") << "stereo.ogg" << 0.9 << "";
    }

    void damagedkeepswhatdecodes()
    {
        QFETCH(QString, file);
        QFETCH(double, cut);
        QFETCH(QString, warning);
        const QString copy = sample(QString("%1-%2").arg(cut).arg(file));
        QVERIFY(cut > 0 ? !cutcopy(sample(file), copy, cut).isEmpty() : !damagedcopy(sample(file), copy).isEmpty());
        const QString destination = copy + ".f32";
        QVERIFY(createempty(destination));
        const Outcome outcome = import(plugin, wavefilter, copy, destination);
        const Report said = reportof(plugin);
        QVERIFY2(outcome.ok, qPrintable(said.message));
        QVERIFY(seen.titles.isEmpty());
        // Sample for sample what plain ffmpeg decodes of the same file.
        const QByteArray expected = reference({"-i", copy});
        QVERIFY(expected.size() > 0);
        QVERIFY(contents(destination) == expected);
        if (warning.isEmpty()) {
            QVERIFY2(said.message.isEmpty(), qPrintable(said.message));
            return;
        }
        // The message names what came in, of how much.
        const double decoded = double(expected.size()) / (4 * outcome.channels * outcome.samplerate);
        QVERIFY2(said.message.contains(warning), qPrintable(said.message));
        QVERIFY2(said.message.contains(QString("%1 s of 1.5").arg(decoded, 0, 'f', 2)), qPrintable(said.message));
        QVERIFY(!said.cancelled);
    }

    void lostpacketskeepthetime_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("frame");           // damage an MPEG frame header, not any 40 bytes
        QTest::addColumn<QList<double>>("places"); // where, as shares of the file
        QTest::newRow("FLAC, 40 bytes overwritten at 40 %") << "pink.flac" << false << QList<double>{0.4};
        QTest::newRow("MP3, a frame header damaged at 40 %") << "pink.mp3" << true << QList<double>{0.4};
        QTest::newRow("FLAC, its first frame damaged") << "pink.flac" << false << QList<double>{0.01};
        QTest::newRow("FLAC, damaged in five places") << "pink.flac" << false << QList<double>{0.2, 0.35, 0.5, 0.65, 0.8};
        QTest::newRow("FLAC, cancelled while the silence goes in") << "pink.flac" << false << QList<double>{0.4};
        // Only the lost packet is silence: the next cluster undoes the time
        // of the damaged one (49 s ahead), the few packets lost the day.
        QTest::newRow("Matroska, damaged, a cluster's time damaged") << "pink.mkv" << false << QList<double>{0.2};
        QTest::newRow("Matroska, damaged, a day later from 3 s on") << "pinkday.mkv" << false << QList<double>{0.2};
        // Cut in parts, it is found damaged there and decoded whole.
        QTest::newRow("FLAC long enough for parts, damaged at 40 %") << "long.flac" << false << QList<double>{0.4};
    }

    void lostpacketskeepthetime()
    {
        QFETCH(QString, file);
        QFETCH(bool, frame);
        QFETCH(QList<double>, places);
        const bool cancel = QByteArray(QTest::currentDataTag()).contains("cancelled");
        QString copy = sample(file);
        for (double share : places)
            copy = damagedcopy(copy, sample("lost-" + file), 40, share, frame);
        QVERIFY(!copy.isEmpty());
        if (QByteArray(QTest::currentDataTag()).contains("cluster"))
            QVERIFY(clusterahead(copy, 3, 49152));
        // Timestamps in milliseconds place a gap within one of them.
        const qint64 slack = file.endsWith(".mkv") ? 45 : 0;
        if (cancel)
            onwait = [] { seen.cancel = seen.cancel || seen.waittext.startsWith("Placing silence"); };
        const QString destination = copy + ".f32";
        QVERIFY(createempty(destination));
        // The packet list lies beside the destination, whatever the temporary folder is, and goes.
        const QByteArray temp = qgetenv("TMPDIR");
        qputenv("TMPDIR", "/nonexistent");
        Outcome outcome;
        {
            // A day of silence would be 30 GB: the disk ends it.
            FullDisk disk(256 << 20);
            outcome = import(plugin, wavefilter, copy, destination);
        }
        qputenv("TMPDIR", temp);
        QCOMPARE(QDir(work.path()).entryList({"layer(*"}), QStringList());
        const Report said = reportof(plugin);
        QVERIFY2(outcome.ok, qPrintable(said.message));
        const int channels = outcome.channels;
        const qint64 rate = outcome.samplerate;

        // The converter alone closes up over a lost packet: everything after
        // it comes as much too soon as the packet was long.
        const std::vector<float> whole = kvfloats(reference({"-i", sample(file)}));
        const std::vector<float> plain = kvfloats(reference({"-i", copy}));
        const std::vector<float> got = kvfloats(contents(destination));
        const auto samefrom = [&](const std::vector<float>& v) { // the first frame unlike the undamaged decode
            qint64 k = 0;
            while (size_t(k * channels) < v.size() && v[size_t(k * channels)] == whole[size_t(k * channels)])
                ++k;
            return k;
        };
        const qint64 gap = samefrom(plain);
        if (cancel) { // what came before the first loss
            QVERIFY2(said.cancelled && said.message.startsWith("The import was cancelled"), qPrintable(said.message));
            QVERIFY(got == std::vector<float>(plain.begin(), plain.begin() + gap * channels));
            return;
        }
        const qint64 end = qint64(whole.size()) / channels - rate / 2;
        const qint64 lost = -lagof(whole, plain, channels, end, 4096, 25000);
        QVERIFY2(lost > 0, qPrintable(QString::number(lost)));
        // Imported, the rest is where it belongs, after silence of the lost length.
        QVERIFY(std::abs(lagof(whole, got, channels, end, 4096, 5000)) <= slack);
        QVERIFY2(std::abs(qint64(got.size() / channels) - qint64(plain.size() / channels) - lost) <= slack,
                 qPrintable(QString("%1 frames").arg(got.size() / channels)));
        const qint64 silence = samefrom(got);
        QVERIFY2(std::abs(silence - gap) <= 1, qPrintable(QString("%1 %2").arg(silence).arg(gap)));
        qint64 quiet = silence;
        while (std::all_of(got.begin() + quiet * channels, got.begin() + (quiet + 1) * channels,
                           [](float v) { return v == 0; }))
            ++quiet;
        if (places.size() == 1)
            QVERIFY(std::abs(quiet - silence - lost) <= slack);

        // The message says where: the first three places, the rest in the log.
        const qsizetype count = places.size();
        QVERIFY2(said.message.startsWith(QString("The file is damaged: audio is missing in %1 place%2, ")
                                             .arg(count).arg(count == 1 ? "" : "s"))
                     && said.message.contains(QString("time: %1 s at %2 s")
                                                  .arg(double(quiet - silence) / rate, 0, 'f', 2)
                                                  .arg(double(silence) / rate, 0, 'f', 2))
                     && said.message.contains(count > 3 ? QString(" and %1 more (listed in the log).").arg(count - 3)
                                                        : QString(" s.")),
                 qPrintable(said.message));
        QCOMPARE(said.details.count("frames of silence for lost audio at frame"), count);
    }

    void converterstubs_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("script");
        // Options of later converters refused, as an older build refuses them.
        const QString older = "echo \"$*\" >> calls\n"
                              "for a; do case \"$a\" in -max_size|-truncate|framecrc)\n"
                              "  echo \"Unrecognized option '${a#-}'.\"\n"
                              "  echo 'Error splitting the argument list: Option not found'; exit 1;; esac; done\n"
                              "exec /usr/bin/ffmpeg \"$@\"";
        QTest::newRow("older converter, WAVE") << "s16.wav" << older;
        QTest::newRow("older converter, FLAC") << "stereo.flac" << older;
        // A warning while it decodes the whole file changes nothing.
        QTest::newRow("warning") << "stereo.flac"
                                 << "/usr/bin/ffmpeg \"$@\"; status=$?\n"
                                    "echo '[flac @ 0x1] Skipping 1 bytes of junk at 2048.'; exit $status";
    }

    void converterstubs()
    {
        QFETCH(QString, file);
        QFETCH(QString, script);
        QTemporaryDir dir;
        FileInterface* stub = fakeplugin(dir, "cd '" + dir.path() + "'\n" + script);
        QVERIFY(stub);
        const QString destination = sample("stub.f32");
        QVERIFY(createempty(destination));
        const Outcome outcome = import(stub, wavefilter, sample(file), destination);
        QVERIFY2(outcome.ok && reportof(stub).message.isEmpty(), qPrintable(reportof(stub).message));
        QVERIFY(contents(destination) == reference({"-i", sample(file)}));
        const QStringList calls = QString(contents(dir.filePath("calls"))).split('\n', Qt::SkipEmptyParts);
        if (!calls.isEmpty()) // the second is the plain command line
            QCOMPARE(calls, (QStringList{calls.first(), "-i " + sample(file) + " -y -vn -f f32le " + destination}));
    }

    void destinationfaults()
    {
        // Not writable: nothing is converted, and the reason is the file.
        const QString folder = sample("folder.f32");
        QVERIFY(QDir().mkpath(folder + "/inside"));
        Outcome outcome = import(plugin, wavefilter, sample("s16.wav"), folder);
        QVERIFY(!outcome.ok);
        QVERIFY2(reportof(plugin).message.startsWith("The layer's sample file " + folder + " cannot be written"),
                 qPrintable(reportof(plugin).message));
        QVERIFY(QFileInfo(folder + "/inside").isDir());
        // A full disk is a full disk, not a damaged file, and keeps nothing.
        outcome = import(plugin, wavefilter, sample("stereo.flac"), "/dev/full");
        QVERIFY(!outcome.ok);
        QVERIFY2(reportof(plugin).message.startsWith("There is no room for the audio") &&
                     reportof(plugin).message.contains(qt_error_string(ENOSPC)),
                 qPrintable(reportof(plugin).message));
        // Also when it is decoded in parts, which find it out at once.
        QTemporaryDir dir;
        FileInterface* logged = loggingplugin(dir);
        QVERIFY(logged);
        outcome = import(logged, wavefilter, sample("long.flac"), "/dev/full");
        QVERIFY(!outcome.ok);
        QVERIFY2(reportof(logged).message.startsWith("There is no room for the audio")
                     && reportof(logged).message.contains(qt_error_string(ENOSPC)),
                 qPrintable(reportof(logged).message));
        const QStringList calls = callsof(dir);
        QVERIFY2(!calls.isEmpty() && calls.filter(QRegularExpression("^-ss ")) == calls, qPrintable(calls.join('\n')));
        QVERIFY(seen.titles.isEmpty());
    }

    void refused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("WAVE cut in the header") << "header.wav" << "No audio could be decoded from header.wav";
        QTest::newRow("empty") << "empty.wav" << "empty.wav is empty";
        QTest::newRow("noise") << "noise.wav" << "No audio could be decoded from noise.wav";
        QTest::newRow("missing") << "nothing.wav" << "nothing.wav is not there";
        QTest::newRow("ten channels") << "ten.wav" << "ten.wav has 10 channels; Korvane edits up to 8.";
        QTest::newRow("sixteen channels") << "sixteen.wav" << "sixteen.wav has 16 channels; Korvane edits up to 8.";
        QTest::newRow("2^31 Hz") << "2147483648.wav" << "claims a sample rate of 2147483648 Hz";
        QTest::newRow("2^31 - 1 Hz") << "2147483647.wav" << "claims a sample rate of 2147483647 Hz";
    }

    void refused()
    {
        QFETCH(QString, file);
        QFETCH(QString, fragment);
        // Without and with the host's empty sample file: either is left as it was.
        const QString destination = sample(file + ".f32");
        checkfailed(plugin, import(plugin, wavefilter, sample(file), destination), destination, fragment);
        QVERIFY(createempty(destination));
        QVERIFY(!import(plugin, wavefilter, sample(file), destination).ok);
        QVERIFY(seen.titles.isEmpty());
        QCOMPARE(QFileInfo(destination).size(), 0);
        QFile::remove(destination);
    }

    void converterremoved()
    {
        QTemporaryDir dir;
        const QString copy = plugincopy(dir.path());
        const QString link = dir.filePath("Plugins/Files/ffmpeg");
        QVERIFY(QFile::link("/usr/bin/ffmpeg", link));
        FileInterface* lonely = load(copy);
        QVERIFY(lonely && lonely->initialize(copy, nullptr));
        QVERIFY(QFile::remove(link));
        const QString destination = sample("lonely.f32");
        checkfailed(lonely, import(lonely, wavefilter, sample("s16.wav"), destination), destination,
                    "The converter ffmpeg, through which Korvane reads and writes this format, is missing: it was "
                    "looked for at " + link + ".");
        // Export says the same.
        QFile raw(sample("lonelysource.f32"));
        QVERIFY(raw.open(QIODevice::WriteOnly));
        raw.write(QByteArray(800, '\0'));
        raw.close();
        QVERIFY(!lonely->exportFile("Free Lossless Audio Codec (*.flac)", raw.fileName(), sample("lonely.flac"),
                                    44100, 2));
        QVERIFY(reportof(lonely).message.contains("is missing: it was looked for at " + link));
        QVERIFY(seen.titles.isEmpty());
    }

    void lyingconverters_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QString>("fragment");
        const QString stereo = "echo '  Stream #0:0: Audio: pcm_f32le, 44100 Hz, stereo, flt'\n";
        QTest::newRow("no stream line") << "printf 12345678 > \"$last\"" << false << "did not tell the sample rate";
        QTest::newRow("no rate") << QString(stereo).replace("44100", "0") + "printf 12345678 > \"$last\"" << false
                                 << "did not tell the sample rate";
        QTest::newRow("unknown layout")
            << "echo '  Stream #0:0: Audio: pcm_f32le, 44100 Hz, 9.1, flt'\nprintf 12345678 > \"$last\"" << false
            << "(\"9.1\")";
        QTest::newRow("half a frame") << stereo + "printf 1234567 > \"$last\"" << false << "No audio could be decoded";
        QTest::newRow("no output") << stereo << false << "No audio could be decoded";
        QTest::newRow("crashes before writing") << stereo + "kill -SEGV $$" << false << "crashed before any audio";
        // What was written before a failure is kept, and the failure said.
        QTest::newRow("fails after writing")
            << stereo + "printf 1234567812345678123 > \"$last\"\necho 'something broke'\nexit 1" << true
            << "The file is damaged or incomplete";
        QTest::newRow("crashes after writing") << stereo + "printf 12345678 > \"$last\"\nkill -SEGV $$" << true
                                               << "The converter crashed while decoding";
    }

    void lyingconverters()
    {
        QFETCH(QString, script);
        QFETCH(bool, kept);
        QFETCH(QString, fragment);
        QTemporaryDir dir;
        FileInterface* fake = fakeplugin(dir, script);
        QVERIFY(fake);
        const QString destination = sample("lying.f32");
        const Outcome outcome = import(fake, wavefilter, sample("s16.wav"), destination);
        if (!kept) {
            checkfailed(fake, outcome, destination, fragment);
            return;
        }
        QVERIFY(outcome.ok);
        QVERIFY2(reportof(fake).message.contains(fragment), qPrintable(reportof(fake).message));
        // Whole frames only: the half frame at the end is dropped.
        QCOMPARE(contents(destination), script.contains("1234567812345678123") ? QByteArray("1234567812345678")
                                                                                : QByteArray("12345678"));
        if (fragment.contains("damaged"))
            QVERIFY(reportof(fake).details.contains("something broke"));
        QFile::remove(destination);
    }

    void cancelledkeepsthebeginning()
    {
        // A converter that keeps going until it is stopped.
        QTemporaryDir dir;
        FileInterface* endless = fakeplugin(dir, "echo '  Duration: 00:10:00.00, bitrate: 1411 kb/s'\n"
                                                 "echo '  Stream #0:0: Audio: pcm_f32le, 44100 Hz, stereo, flt'\n"
                                                 "i=0\nwhile :; do i=$((i+1))\n"
                                                 // The samples are out before the time that counts them.
                                                 "printf 12345678 >> \"$last\"\n"
                                                 "printf 'size= 1kB time=00:00:%02d.00 bitrate=1\\r' $i\n"
                                                 "sleep 0.05\ndone");
        QVERIFY(endless);
        const QString destination = sample("endless.f32");
        QVERIFY(createempty(destination));
        // Once three seconds are out, which the converter's time then says.
        onwait = [&] { seen.cancel = seen.cancel || contents(destination).size() >= 3 * 8; };
        const Outcome outcome = import(endless, wavefilter, sample("stereo.flac"), destination);
        QVERIFY(outcome.ok);
        QCOMPARE(seen.waittext, QString("Converting to Float32... (2 channels/44100 Hz)"));
        const Report said = reportof(endless);
        QVERIFY(said.cancelled);
        QVERIFY(seen.titles.isEmpty());
        const QByteArray got = contents(destination);
        QVERIFY(got.size() >= 3 * 8);
        QCOMPARE(got, QByteArray("12345678").repeated(got.size() / 8));
        QCOMPARE(said.message, QString("The import was cancelled: the first %1 s of 600.00 s were imported.")
                                   .arg(double(got.size() / 8) / 44100, 0, 'f', 2));
    }

    void hangingconverter()
    {
        // A converter that prints nothing and never ends: the event loop runs
        // on, and Cancel ends the run.
        QTemporaryDir dir;
        const QString pidfile = dir.filePath("pid");
        FileInterface* hanging = fakeplugin(dir, "echo $$ > '" + pidfile + "'\nexec sleep 60");
        QVERIFY(hanging);
        CancelTicker ticker([&] { return !contents(pidfile).isEmpty(); });
        const QString destination = sample("hanging.f32");
        QVERIFY(createempty(destination));
        const Outcome outcome = import(hanging, wavefilter, sample("s16.wav"), destination);
        ticker.timer.stop();
        QVERIFY(!outcome.ok);
        QVERIFY(ticker.ticks >= 3);
        QVERIFY(reportof(hanging).cancelled);
        QVERIFY(reportof(hanging).message.isEmpty()); // the user knows why
        QVERIFY(seen.titles.isEmpty());
        QCOMPARE(QFileInfo(destination).size(), 0);
        const pid_t pid = contents(pidfile).trimmed().toInt();
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(::kill(pid, 0) != 0, 30000);
    }

    void oneconversionatatime()
    {
        Outcome inner;
        QString said;
        bool tried = false;
        onwait = [&] {
            if (seen.waittext.startsWith("Converting") && !tried) {
                tried = true;
                inner = import(plugin, wavefilter, sample("s24.wav"), sample("inner.f32"));
                said = reportof(plugin).message;
            }
        };
        const QString destination = sample("outer.f32");
        const Outcome outer = import(plugin, wavefilter, sample("s16.wav"), destination);
        QVERIFY(tried);
        QVERIFY(!inner.ok);
        QCOMPARE(said, QString("Another file is being converted; try again when it is done."));
        QVERIFY(seen.titles.isEmpty());
        QVERIFY(!QFileInfo::exists(sample("inner.f32")));
        QVERIFY(outer.ok);
        QVERIFY(contents(destination) == reference({"-i", sample("s16.wav")}));
        // And the next one runs again.
        forget();
        QVERIFY(import(plugin, wavefilter, sample("s24.wav"), sample("inner.f32")).ok);
    }
};

QTEST_MAIN(ImportTest)
#include "tst_import.moc"
