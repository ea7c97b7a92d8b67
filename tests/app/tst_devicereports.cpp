// The device controls through the whole window with the real OpenAL plugin,
// whose wave back end writes what sounds to a file, and the test recorder: a
// volume typed beyond the dial plays what the controls show, and a device
// that fails is reported in the log and the status line, with a box only as
// the answer to a command the user just gave.
#include <QActionGroup>
#include <QDial>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>

#include "strokerig.h"
#include "wavereadback.h"

using strokes::soxfile;

class TestDeviceReports : public QObject
{
    Q_OBJECT

    FixtureRoot root;
    QString wavepath;
    double referencelevel = 0; // of a mono tone at 0.5 played straight through OpenAL

    // Imports `seconds` of a 1 kHz tone at `volume` and makes it current.
    static bool opentone(double seconds, double volume)
    {
        const QString wav = QDir::tempPath() + "/tone.wav";
        if (!soxfile(wav, seconds, {"sine", "1000"}, volume))
            return false;
        layersgui->Import(wav, QString());
        if (layersgui->tree->topLevelItemCount() != 1)
            return false;
        layersgui->ItemClicked(layersgui->tree->topLevelItem(0), 3);
        return slottable.bound[1] != nullptr;
    }
    static QLabel* devicenote(MainWindow* w) { return w->statusBar()->findChild<QLabel*>("devicenote"); }

private slots:
    void initTestCase()
    {
        wavepath = QDir::tempPath() + "/played.wav";
        configureopenal("[general]\ndrivers=wave\n[wave]\nfile=" + QFile::encodeName(wavepath) + "\n");
        referencelevel = referencetonelevel(wavepath);
        QVERIFY(referencelevel > 0.001);

        // The build's utilities and the file plugin, the OpenAL plugin and
        // the test recorder.
        QVERIFY(QFile::link(QStringLiteral(KV_TEST_ROOT) + "/Resources", root.path() + "/Resources"));
        QVERIFY(!root.addbuilt("Files", "codecbridge", "Files").isEmpty());
        QVERIFY(QFile::link(QStringLiteral(KV_TEST_ROOT) + "/Plugins/Files/ffmpeg", root.path() + "/Plugins/Files/ffmpeg"));
        QVERIFY(!root.addbuilt("Devices", "speakerlink", "Devices").isEmpty());
        QVERIFY(!root.add("recorder", "Devices", "recorder.so").isEmpty());
        WindowRig::identify();
    }
    void init() { QSettings().clear(); }

    // 100 typed into the volume box: the box and the dial show the same value
    // within their range, and the played tone has that gain.
    void typedVolumeIsWhatPlays()
    {
        WindowRig w(root.path());
        QVERIFY(spectrumgui->playdevice);
        QVERIFY(opentone(0.6, 0.05));
        w->volumespin->setFocus();
        w->volumespin->selectAll();
        QTest::keyClicks(w->volumespin, "100");
        QTest::keyClick(w->volumespin, Qt::Key_Return);
        const int shown = w->volumespin->value();
        QCOMPARE(w->volumedial->value(), shown);
        QVERIFY2(shown >= 10 && shown <= 12, qPrintable(QString::number(shown)));

        w->playact->trigger();
        QCOMPARE(spectrumgui->transportmode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(spectrumgui->transportmode, -1, 30000);

        // A calibration's shift beyond the dial ends at the dial's end too.
        emit spectrumgui->outvolume(-30);
        QCOMPARE(w->volumespin->value(), -12);
        QCOMPARE(w->volumedial->value(), -12);
        QCOMPARE(spectrumgui->volumevalue, -12);
        QVERIFY(w.asked.isEmpty());
        w.window.reset(); // the device closes and the file is complete

        WaveData wave;
        QVERIFY(readwave(wavepath, wave));
        const std::vector<float> left = wave.channel(0);
        const ToneSpan span = tonespan(left, wave.rate);
        QVERIFY2(std::fabs(span.seconds(wave.rate) - 0.6) < 0.05, qPrintable(QString::number(span.seconds(wave.rate))));
        const std::size_t margin = std::size_t(wave.rate / 50);
        const double level = meansquare(left, span.first + margin, span.end - margin);
        const double gain = std::pow(2.0, shown / 6.0);
        const double expected = referencelevel * std::pow(0.05 * gain / 0.5, 2);
        QVERIFY2(std::fabs(level / expected - 1) < 0.1,
                 qPrintable(QString("level %1, expected %2 at %3 dB").arg(level).arg(expected).arg(shown)));
    }

    // A record device that cannot open: opening a project only notes it in
    // the log and the status line; Record and choosing the device answer
    // with a box; a device that opens clears the note.
    void failingDeviceIsReported()
    {
        QSettings settings;
        settings.setValue("recordcategory", "Tone");
        settings.setValue("recorddescription", "Unplugged input");
        WindowRig w(root.path());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), 30000));
        QCOMPARE(spectrumgui->recorddescription, QString("Unplugged input"));
        QVERIFY(opentone(0.5, 0.1));
        QTRY_VERIFY_WITH_TIMEOUT(devicenote(w.window.get()) && devicenote(w.window.get())->isVisible(), 30000);
        QLabel* note = devicenote(w.window.get());
        QCOMPARE(note->text(), QString("Record Error: The device \"Unplugged input\" could not be opened."));
        QVERIFY(errorloglines(logfilepath()).join('\n').contains("Device RecordOpen \"Unplugged input\" failed"));
        QVERIFY(spectrumgui->waitdevice(30000));
        QApplication::processEvents();
        QVERIFY(w.asked.isEmpty());

        w->recordact->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w.asked.size(), 1, 30000);
        QCOMPARE(w.asked[0].title, QString("Record Error"));
        QCOMPARE(w.asked[0].text, QString("The device \"Unplugged input\" could not be opened."));
        QTRY_COMPARE_WITH_TIMEOUT(spectrumgui->transportmode, -1, 30000);

        submenuentry(w->recordmenu, "Tone", "Tone input")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!note->isVisible(), 30000);
        submenuentry(w->recordmenu, "Tone", "Unplugged input")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w.asked.size(), 2, 30000);
        QCOMPARE(w.asked[1].text, QString("The device \"Unplugged input\" could not be opened."));
        QVERIFY(note->isVisible());

        // An open the user did not ask for fails right before one that the
        // user asked for succeeds: the box answers the user's own request.
        emit spectrumgui->deviceRecordOpen(spectrumgui->recorddevice, "Unplugged input");
        submenuentry(w->recordmenu, "Tone", "Tone input")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!note->isVisible(), 10000);
        QVERIFY(spectrumgui->waitdevice());
        QApplication::processEvents();
        QCOMPARE(w.asked.size(), 2);
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestDeviceReports test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_devicereports.moc"
