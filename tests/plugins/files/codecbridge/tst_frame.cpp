// Loading codecbridge, its interface and filter lists, and the probe that
// decides whether its converter can be run.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "codecbridgetest.h"

using namespace codecbridgetest;

class FrameTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { forget(); }

    void loadsfromtheroot()
    {
        QPluginLoader loader(rootplugin);
        QObject* object = loader.instance();
        QVERIFY2(object, qPrintable(loader.errorString()));
        QCOMPARE(loader.metaData().value("IID").toString(),
                 QStringLiteral("com.MURROWGATE.Korvane.Plugin.FileInterface/1.0"));
        QCOMPARE(object->metaObject()->className(), "FilePlugin");
        // One object for the life of the library.
        QCOMPARE(QPluginLoader(rootplugin).instance(), object);

        auto* plugin = qobject_cast<FileInterface*>(object);
        QVERIFY(plugin);
        QCOMPARE(object->qt_metacast("com.MURROWGATE.Korvane.Plugin.FileInterface/1.0"),
                 static_cast<void*>(plugin));
        QCOMPARE(object->qt_metacast("FileInterface"), static_cast<void*>(plugin));
        QVERIFY(!object->qt_metacast("com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0"));
        QCOMPARE(object->metaObject()->indexOfSlot("output()") >= 0, true);
    }

    void listsitsfilters()
    {
        FileInterface* plugin = load(rootplugin);
        QVERIFY(plugin);
        QVERIFY(plugin->initialize(rootplugin, nullptr));
        QCOMPARE(plugin->name, QStringLiteral("FFmpeg interface"));
        QCOMPARE(plugin->importfilters.size(), 20);
        QCOMPARE(plugin->importfilters.first(),
                 QStringLiteral("Advanced Audio Coding (*.aac *.m4a *.m4b *.m4p *.m4v *.m4r *.mp4)"));
        QCOMPARE(plugin->importfilters.at(15), QStringLiteral("RAW/PCM (*.raw *.pcm)"));
        QCOMPARE(plugin->importfilters.at(18), wavefilter);
        QCOMPARE(plugin->importfilters.last(), QStringLiteral("Apple Lossless (*.alac *.m4a)"));
        QCOMPARE(plugin->exportfilters.size(), 12);
        QCOMPARE(plugin->exportfilters.first(), QStringLiteral("Dolby Digital 640kbps (*.ac3)"));
        QCOMPARE(plugin->exportfilters.at(6), QStringLiteral("Free Lossless Audio Codec (*.flac)"));
        QCOMPARE(plugin->exportfilters.last(), QStringLiteral("Windows Media Audio (*.wma)"));
        // Every import filter is a file-dialog filter: a label, then patterns.
        for (const QString& filter : plugin->importfilters)
            QVERIFY2(QRegularExpression(R"(^\S.* \((\*\.\S+)( \*\.\S+)*\)$)").match(filter).hasMatch(),
                     qPrintable(filter));
        // The probe runs quietly: it asks the user nothing.
        QVERIFY(seen.titles.isEmpty());
        // A second initialisation does not add the lists again.
        QVERIFY(plugin->initialize(rootplugin, nullptr));
        QCOMPARE(plugin->importfilters.size(), 20);
    }

    void probe_data()
    {
        QTest::addColumn<QString>("converter"); // shell script body, or empty for no converter
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("usable");
        QTest::newRow("no converter") << QString() << "plain" << false;
        QTest::newRow("exits with an error") << "exit 3" << "plain" << true;
        QTest::newRow("blanks and quotes in its folder") << "exit 1" << "with \"blanks\" & 'quotes' %1" << true;
        QTest::newRow("crashes") << "kill -SEGV $$" << "plain" << false;
    }

    void probe()
    {
        QFETCH(QString, converter);
        QFETCH(QString, folder);
        QFETCH(bool, usable);
        QTemporaryDir dir;
        const QString copy = plugincopy(dir.filePath(folder));
        QVERIFY(!copy.isEmpty());
        const QString ran = dir.filePath("ran");
        if (!converter.isEmpty())
            QVERIFY(fakeconverter(copy, "touch '" + ran + "'\n" + converter));
        FileInterface* plugin = load(copy);
        QVERIFY(plugin);
        // The formats are offered either way: a missing converter is named
        // when one of them is chosen.
        QVERIFY(plugin->initialize(copy, nullptr));
        QCOMPARE(plugin->importfilters.size(), 20);
        QCOMPARE(plugin->exportfilters.size(), 12);
        // The probe runs in the background and ends by itself.
        auto* object = dynamic_cast<QObject*>(plugin);
        QTRY_VERIFY_WITH_TIMEOUT(object->findChildren<QProcess*>().isEmpty(), 30000);
        QCOMPARE(QFileInfo::exists(ran), !converter.isEmpty());
        QCOMPARE(plugin->name, usable ? QStringLiteral("FFmpeg interface")
                                      : QStringLiteral("FFmpeg interface - ERROR: could not run ffmpeg"));
        QVERIFY(seen.titles.isEmpty());
    }

    void probeofahangingconverter()
    {
        // The probe never holds up the start: initialize returns while the
        // converter still runs.
        QTemporaryDir dir;
        const QString copy = plugincopy(dir.path());
        const QString pidfile = dir.filePath("pid");
        QVERIFY(fakeconverter(copy, "echo $$ > '" + pidfile + "'\nexec sleep 60"));
        FileInterface* plugin = load(copy);
        QVERIFY(plugin);
        QVERIFY(plugin->initialize(copy, nullptr));
        QTRY_VERIFY_WITH_TIMEOUT(contents(pidfile).trimmed().toInt() > 0, 30000);
        const pid_t pid = contents(pidfile).trimmed().toInt();
        QCOMPARE(::kill(pid, 0), 0);
        QCOMPARE(dynamic_cast<QObject*>(plugin)->findChildren<QProcess*>().size(), 1);
        QCOMPARE(plugin->importfilters.size(), 20);
        // A second initialisation ends the first probe (and without a
        // converter starts none).
        QVERIFY(QFile::remove(QFileInfo(copy).absolutePath() + "/ffmpeg"));
        QVERIFY(plugin->initialize(copy, nullptr));
        QCOMPARE(plugin->name, QStringLiteral("FFmpeg interface - ERROR: could not run ffmpeg"));
        QTRY_VERIFY_WITH_TIMEOUT(::kill(pid, 0) != 0, 30000);
    }
};

QTEST_MAIN(FrameTest)
#include "tst_frame.moc"
