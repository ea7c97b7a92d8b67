// The text of project files and the header of single-file projects: what is
// written reads back the same, and every way a file can be foreign, damaged,
// of a later version or cut short is refused with a reason.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "core/layer.h"
#include "panels/projectfile.h"
#include "panels/projectlayers.h"
#include "testsupport.h"

class TestProjectFile : public QObject
{
    Q_OBJECT

private slots:
    void writtenTextReadsBackTheSame();
    void refusedTexts_data();
    void refusedTexts();
    void singleFileHeaderAndCutFiles();
    void pathsTheTextCannotCarryAreRefused();
};

namespace {

ProjectData sample()
{
    ProjectData data;
    data.samplerate = 44100;
    data.channels = 2;
    data.speakermask = 3;
    data.current = 1;
    ProjectRow a;
    a.name = QStringLiteral("<Voice> & \"friends\" 'ä' \u00e9\u4e2d");
    a.active = false;
    a.mixsign = -1;
    a.volume = 0.70710678f;
    a.samplerate = 44100;
    a.channels = 2;
    a.speakermask = 0x30;
    a.start = -0.123456789012345678;
    a.length = 2.0 / 3.0;
    a.samples = QStringLiteral("song.kvx.data/layer1.pcm");
    a.bytes = 8 * 1000;
    ProjectRow b = a;
    b.name = QStringLiteral("line\nbreak\ttab");
    b.active = true;
    b.mixsign = 1;
    b.volume = 1e-30f;
    b.start = 1e-9;
    b.length = 0;
    b.samples.clear();
    b.offset = 8000;
    b.bytes = 0;
    data.rows = {a, b};
    return data;
}

QByteArray withattribute(const QByteArray& xml, const QByteArray& from, const QByteArray& to)
{
    QByteArray changed = xml;
    const qsizetype at = changed.indexOf(from);
    return at < 0 ? QByteArray() : changed.replace(at, from.size(), to);
}

} // namespace

void TestProjectFile::writtenTextReadsBackTheSame()
{
    const ProjectData data = sample();
    ProjectData back;
    QString error;
    QVERIFY2(readprojectxml(projectxml(data), &back, &error), qPrintable(error));
    QCOMPARE(back.samplerate, 44100);
    QCOMPARE(back.channels, 2);
    QCOMPARE(back.speakermask, 3);
    QCOMPARE(back.current, 1);
    QCOMPARE(back.rows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const ProjectRow& w = data.rows.at(i);
        const ProjectRow& r = back.rows.at(i);
        QCOMPARE(r.name, w.name);
        QCOMPARE(r.active, w.active);
        QCOMPARE(r.mixsign, w.mixsign);
        // Bit for bit, not only close.
        QCOMPARE(memcmp(&r.volume, &w.volume, sizeof(float)), 0);
        QCOMPARE(memcmp(&r.start, &w.start, sizeof(double)), 0);
        QCOMPARE(memcmp(&r.length, &w.length, sizeof(double)), 0);
        QCOMPARE(r.speakermask, w.speakermask);
        QCOMPARE(r.samples, w.samples);
        QCOMPARE(r.bytes, w.bytes);
    }
    QCOMPARE(back.rows.at(1).offset, 8000);

    // A control character would make the whole file unreadable; it is replaced.
    ProjectData odd = data;
    odd.rows[0].name = QStringLiteral("bell\x07here");
    QVERIFY2(readprojectxml(projectxml(odd), &back, &error), qPrintable(error));
    QCOMPARE(back.rows.at(0).name, QStringLiteral("bell\uFFFDhere"));

    // Elements a later version might add are passed over.
    const QByteArray extra = withattribute(projectxml(data), "<layer ", "<marker at=\"1\"/><layer ");
    QVERIFY2(readprojectxml(extra, &back, &error), qPrintable(error));
    QCOMPARE(back.rows.size(), 2);
}

void TestProjectFile::refusedTexts_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("reason");
    const QByteArray good = projectxml(sample());
    QTest::newRow("empty") << QByteArray("") << "not a Korvane project";
    QTest::newRow("plain text") << QByteArray("RIFF....WAVEfmt ") << "not a Korvane project";
    QTest::newRow("other root") << QByteArray("<?xml version=\"1.0\"?><svg/>") << "not a Korvane project";
    QTest::newRow("later version") << withattribute(good, "version=\"1\"", "version=\"7\"") << "later version";
    QTest::newRow("no version") << withattribute(good, "version=\"1\"", "") << "\"version\"";
    QTest::newRow("no channels") << withattribute(good, "channels=\"2\" speakermask=\"3\" current",
                                                  "speakermask=\"3\" current")
                                 << "\"channels\"";
    QTest::newRow("nine channels") << withattribute(good, "channels=\"2\"", "channels=\"9\"") << "\"channels\"";
    QTest::newRow("row of another rate")
        << withattribute(good, "active=\"0\" mixsign=\"-1\" volume=\"0.707106769\" samplerate=\"44100\"",
                         "active=\"0\" mixsign=\"-1\" volume=\"0.707106769\" samplerate=\"48000\"")
        << "\"samplerate\"";
    QTest::newRow("mix sign 0") << withattribute(good, "mixsign=\"-1\"", "mixsign=\"0\"") << "mix sign 0";
    QTest::newRow("volume not a number") << withattribute(good, "volume=\"0.707106769\"", "volume=\"nan\"")
                                         << "\"volume\"";
    QTest::newRow("negative length") << withattribute(good, "length=\"0.66666666666666663\"", "length=\"-1\"")
                                     << "\"length\"";
    QTest::newRow("part of a frame") << withattribute(good, "bytes=\"8000\"", "bytes=\"8001\"") << "whole frames";
    QTest::newRow("current row past the end") << withattribute(good, "current=\"1\"", "current=\"2\"")
                                              << "current row 2";
    QTest::newRow("cut in the middle") << good.left(good.size() / 2) << "damaged";
    QTest::newRow("not closed") << good.left(good.lastIndexOf("</")) << "damaged";
}

void TestProjectFile::refusedTexts()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, reason);
    QVERIFY(!xml.isNull());
    ProjectData data;
    data.current = 5;
    QString error;
    QVERIFY(!readprojectxml(xml, &data, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(data.rows.isEmpty());
    QCOMPARE(data.samplerate, 0);
}

void TestProjectFile::singleFileHeaderAndCutFiles()
{
    QTemporaryDir work;
    ProjectData data = sample();
    data.rows[0].samples.clear();
    data.rows[0].offset = 0;
    data.rows[1].offset = 8000;
    data.rows[1].bytes = 16;
    const QByteArray xml = projectxml(data);
    QByteArray whole = kvpheader(xml.size()) + xml;
    for (int i = 0; i < 8016; ++i)
        whole.append(char(i));
    QCOMPARE(whole.left(16), QByteArray("KORVANE-PROJECT\n"));

    const QString file = work.filePath("p.kvp");
    const auto write = [&](const QByteArray& bytes) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    };
    ProjectData back;
    QString error;
    write(whole);
    QVERIFY2(readkvp(file, &back, &error), qPrintable(error));
    // The rows' samples come out as places in the file itself.
    const qint64 samplesat = 24 + xml.size();
    QCOMPARE(back.rows.at(0).samples, file);
    QCOMPARE(back.rows.at(0).offset, samplesat);
    QCOMPARE(back.rows.at(1).offset, samplesat + 8000);
    QCOMPARE(back.rows.at(1).bytes, 16);

    // Cut anywhere, the file is refused; a file of another kind is named as such.
    for (const qint64 size : {qint64(0), qint64(5), qint64(16), qint64(20), qint64(24), samplesat - 1, samplesat,
                              samplesat + 8015}) {
        write(whole.left(size));
        QVERIFY2(!readkvp(file, &back, &error), qPrintable(QString::number(size)));
        QVERIFY2(error.contains("ends too early") || (size > 24 && error.contains("damaged")),
                 qPrintable(QStringLiteral("%1: %2").arg(size).arg(error)));
        QVERIFY(back.rows.isEmpty());
    }
    write(QByteArray("RIFF$\0\0\0WAVEfmt ", 16) + whole);
    QVERIFY(!readkvp(file, &back, &error));
    QCOMPARE(error, QString("It is not a Korvane project."));

    // A row that points into another file is not one of a single-file project.
    ProjectData foreign = data;
    foreign.rows[0].samples = QStringLiteral("/etc/passwd");
    const QByteArray other = projectxml(foreign);
    write(kvpheader(other.size()) + other + whole.mid(samplesat));
    QVERIFY(!readkvp(file, &back, &error));
    QVERIFY2(error.contains("another file"), qPrintable(error));

    QVERIFY(!readkvp(work.filePath("missing.kvp"), &back, &error));
    QVERIFY(!error.isEmpty());
}

void TestProjectFile::pathsTheTextCannotCarryAreRefused()
{
    kvtestfolders();
    QTemporaryDir work;
    auto project = [](layer* l) {
        ProjectLayers p;
        p.rows = {l};
        p.samplerate = l->samplerate;
        p.channels = l->channels;
        p.speakermask = 4;
        return p;
    };
    const std::vector<float> frames(500, 0.5f);
    layer voice;
    voice.samplerate = 1000;
    voice.channels = 1;
    voice.write(frames.data(), 0.0, 0.5);
    QString error;

    // A control character in the name: the copies' folder could not be found again.
    const QString bad = work.filePath(QStringLiteral("take\u0001one.kvx"));
    QVERIFY(!savekvx(bad, project(&voice), true, &error));
    QVERIFY2(error.contains("control character"), qPrintable(error));
    QVERIFY(QDir(work.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

    // Every other character is carried: the project reads back with its samples.
    const QString odd = work.filePath(QStringLiteral("take \u00fc & <one> \"two\".kvx"));
    QVERIFY2(savekvx(odd, project(&voice), true, &error), qPrintable(error));
    ProjectData back;
    QVERIFY2(readkvx(odd, &back, &error), qPrintable(error));
    QCOMPARE(back.rows.size(), 1);
    QCOMPARE(QFileInfo(back.rows.at(0).samples).size(), qint64(2000));

    // A session file refers to the layers' files where they are.
    const QString folder = sessionpath;
    sessionpath = work.filePath(QStringLiteral("session\u0002folder"));
    QVERIFY(QDir().mkpath(sessionpath));
    layer stranded;
    sessionpath = folder;
    stranded.samplerate = 1000;
    stranded.channels = 1;
    stranded.write(frames.data(), 0.0, 0.5);
    QVERIFY(!stranded.failed());
    QVERIFY(!savekvx(work.filePath("session.kvx"), project(&stranded), false, &error));
    QVERIFY2(error.contains("control character"), qPrintable(error));
    QVERIFY(!QFile::exists(work.filePath("session.kvx")));
}

QTEST_GUILESS_MAIN(TestProjectFile)
#include "tst_projectfile.moc"
