// The pure side of moving and scaling: the command lines, run against the
// real sox and rubberband where it matters, the drag geometry with its bounds
// and rubberband's progress.
#include <QFile>
#include <QtTest>
#include <cmath>
#include <vector>

#include "controller/scalecommands.h"
#include "core/utility.h"
#include "testsupport.h"

namespace {

void writefloats(const QString& path, const std::vector<float>& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(reinterpret_cast<const char*>(data.data()), qint64(data.size() * sizeof(float)));
}

std::vector<float> readfloats(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<float> data(size_t(bytes.size()) / sizeof(float));
    memcpy(data.data(), bytes.constData(), data.size() * sizeof(float));
    return data;
}

bool close(double a, double b, double tolerance = 1e-9)
{
    return std::fabs(a - b) <= tolerance;
}

} // namespace

class TestScaleCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { kvtestfolders(); }

    void commandLines()
    {
        QCOMPARE(soxprogram(), utilpath + "/sox/sox");
        QCOMPARE(rubberbandprogram(), utilpath + "/rubberband/rubberband");
        // Instances share the session folder, never their work files.
        const QString own = sessionid;
        sessionid = "2031.01.01-00.00.00.000";
        QCOMPARE(scalechanfile(3), sessionpath + "/scale(2031.01.01-00.00.00.000)-chan3.wav");
        QCOMPARE(scaledchanfile(0), sessionpath + "/scale(2031.01.01-00.00.00.000)-scaled0.wav");
        const QStringList first = {scalechanfile(0), scaledchanfile(0), scaledclipfile(), scalesourcefile()};
        sessionid = "2031.01.01-00.00.00.001";
        for (const QString& name : {scalechanfile(0), scaledchanfile(0), scaledclipfile(), scalesourcefile()})
            QVERIFY2(!first.contains(name), qPrintable(name));
        sessionid = own;

        const QStringList split = splitarguments(44100, 2, "/in.pcm", 1);
        QCOMPARE(split.mid(0, 10), (QStringList{"-t", "raw", "-e", "floating-point", "-b", "32", "-r", "44100",
                                                "-c", "2"}));
        QCOMPARE(split.mid(10), (QStringList{"--no-glob", "/in.pcm", "--no-glob", scalechanfile(1), "remix", "2"}));

        // A drag up by a quarter of the band: 12 semitones, 1200 cents; twice
        // the length is half the tempo.
        QCOMPARE(previewarguments(0, 2.0, 12.0).mid(4), (QStringList{"tempo", "0.5", "pitch", "1200"}));
        QCOMPARE(previewarguments(0, 3.0, 0.0).mid(4), (QStringList{"tempo", "0.333333", "pitch", "0"}));
        QCOMPARE(finalarguments(2, 1.5, -3.25),
                 (QStringList{"-t", "1.5", "-p", "-3.25", scalechanfile(2), scaledchanfile(2)}));

        // Two or more channels are merged side by side, one alone is converted.
        const QStringList stereo = mergearguments(48000, 2, 2, "/out.pcm");
        QCOMPARE(stereo.first(), QString("-M"));
        QCOMPARE(stereo.count("--no-glob"), 3);
        QVERIFY(stereo.indexOf(scaledchanfile(1)) > stereo.indexOf(scaledchanfile(0)));
        QCOMPARE(stereo.last(), QString("/out.pcm"));
        const QStringList mono = mergearguments(48000, 1, 1, "/out.pcm");
        QVERIFY(!mono.contains("-M"));
        QCOMPARE(mono.mid(0, 2), (QStringList{"--no-glob", scaledchanfile(0)}));
    }

    void splitAndMergeGiveTheSamplesBack()
    {
        // Three channels of distinct ramps through the real sox: the split
        // picks each channel, the merge puts them back in their places.
        constexpr int rate = 8000, channels = 3, frames = 4000;
        std::vector<float> data(size_t(frames * channels));
        for (int k = 0; k < frames; ++k)
            for (int c = 0; c < channels; ++c)
                data[size_t(k * channels + c)] = 0.1f * float(c + 1) * std::sin(0.01f * float(k * (c + 1)));
        const QString input = sessionpath + "/source.pcm";
        writefloats(input, data);
        QList<UtilityCommand> split;
        for (int c = 0; c < channels; ++c)
            split << UtilityCommand{soxprogram(), splitarguments(rate, channels, input, c)};
        for (const UtilityResult& r : runutilities(split))
            QVERIFY2(r.succeeded(), qPrintable(r.failuretext()));
        for (int c = 0; c < channels; ++c)
            QVERIFY(QFile::copy(scalechanfile(c), scaledchanfile(c)));
        const QString output = sessionpath + "/merged.pcm";
        const UtilityResult merge = runutility(soxprogram(), mergearguments(rate, channels, channels, output));
        QVERIFY2(merge.succeeded(), qPrintable(merge.failuretext()));
        const std::vector<float> back = readfloats(output);
        QCOMPARE(back.size(), data.size());
        for (size_t i = 0; i < data.size(); ++i)
            QVERIFY2(std::fabs(back[i] - data[i]) < 1e-6, qPrintable(QString::number(i)));
    }

    void previewAndFinalStretchAndTranspose_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("plain") << QString("kvtmp");
        QTest::newRow("awkward") << QString("it's a \"session\" at 100%1 [x]*");
    }

    void previewAndFinalStretchAndTranspose()
    {
        QFETCH(QString, folder);
        sessionpath = QDir::tempPath() + "/" + folder;
        QVERIFY(QDir().mkpath(sessionpath));
        constexpr int rate = 8000;
        std::vector<float> tone(rate);
        for (int k = 0; k < rate; ++k)
            tone[size_t(k)] = 0.4f * std::sin(2 * float(M_PI) * 500 * float(k) / rate);
        const QString input = sessionpath + "/tone.pcm";
        writefloats(input, tone);
        QVERIFY(runutility(soxprogram(), splitarguments(rate, 1, input, 0)).succeeded());
        for (bool final : {false, true}) {
            const UtilityResult r = final ? runutility(rubberbandprogram(), finalarguments(0, 2.0, 12.0))
                                          : runutility(soxprogram(), previewarguments(0, 2.0, 12.0));
            QVERIFY2(r.succeeded(), qPrintable(r.failuretext()));
            const QString raw = sessionpath + "/scaled.pcm";
            QVERIFY(runutility(soxprogram(), mergearguments(rate, 1, 1, raw)).succeeded());
            const std::vector<float> out = readfloats(raw);
            QVERIFY2(std::abs(int(out.size()) - 2 * rate) < rate / 50, qPrintable(QString::number(out.size())));
            // An octave up: 1000 Hz crosses zero twice as often as the 500 Hz source.
            int crossings = 0;
            for (size_t k = size_t(rate / 2) + 1; k < size_t(rate * 3 / 2); ++k)
                crossings += (out[k - 1] < 0) != (out[k] < 0);
            QVERIFY2(std::abs(crossings - 2000) < 40, qPrintable(QString::number(crossings)));
        }
    }

    void scaleGeometry()
    {
        const QRectF origin(1.0, 2000, 0.5, -1000);
        // A quarter of the displayed band upwards doubles every frequency.
        ScaleGeometry g = scalegeometry(origin, 1.0, 0, 4000, 16000);
        QVERIFY(close(g.frequencyfactor, 2));
        QVERIFY(close(g.semitones, 12));
        QVERIFY(close(g.timefactor, 1));
        QCOMPARE(g.selection, QRectF(1.0, 4000, 0.5, -2000));
        // Time grows from the start; a drag by the length doubles it.
        g = scalegeometry(origin, 1.0, 0.5, 0, 16000);
        QVERIFY(close(g.timefactor, 2));
        QVERIFY(close(g.selection.width(), 1.0));
        QCOMPARE(g.selection.y(), 2000.0);
        // Beyond what the utilities take: held at a tenth and at ten times.
        g = scalegeometry(origin, 1.0, -0.6, -5000, 16000);
        QVERIFY(close(g.timefactor, minscalefactor));
        QVERIFY(close(g.frequencyfactor, minscalefactor));
        QVERIFY(g.selection.width() > 0 && g.selection.height() < 0);
        g = scalegeometry(origin, 1.0, 50, 1e6, 16000);
        QVERIFY(close(g.timefactor, maxscalefactor));
        QVERIFY(close(g.frequencyfactor, maxscalefactor));
        // A selection without length or a view without a band scales by 1.
        g = scalegeometry(QRectF(1.0, 2000, 0, -1000), 1.0, 0.3, 0, 0);
        QVERIFY(close(g.timefactor, 1) && close(g.frequencyfactor, 1));

        // The offsets that the Scale dialog sets give its factors back.
        float dragtime = 0, dragfreq = 0;
        scaleoffsets(origin, 1.5, 0.5, 16000, dragtime, dragfreq);
        g = scalegeometry(origin, origin.x(), dragtime, dragfreq, 16000);
        QVERIFY(close(g.timefactor, 1.5, 1e-6));
        QVERIFY(close(g.frequencyfactor, 0.5, 1e-6));
        scaleoffsets(origin, 1, 1, 16000, dragtime, dragfreq);
        QCOMPARE(dragtime, 0.0f);
        QCOMPARE(dragfreq, 0.0f);

        QCOMPARE(movedselection(origin, -0.25, 500), QRectF(0.75, 2500, 0.5, -1000));
    }

    void progress_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("percent");
        QTest::newRow("two digits") << QByteArray("76% \r") << 76;
        QTest::newRow("blank before") << QByteArray("\r 7%") << 7;
        QTest::newRow("first of several") << QByteArray("12%\r13%\r") << 12;
        QTest::newRow("hundred") << QByteArray("100%\n") << 100;
        QTest::newRow("none") << QByteArray("in: 8000, out: 16000") << 0;
        QTest::newRow("no digits") << QByteArray("%") << 0;
    }

    void progress()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, percent);
        QCOMPARE(progresspercent(text), percent);
    }
};

QTEST_GUILESS_MAIN(TestScaleCommands)
#include "tst_scalecommands.moc"
