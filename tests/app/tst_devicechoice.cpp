// The Devices menu with the real OpenAL plugin and the test recorder, the
// choice of a device through it, and its return at the next start.
#include <QActionGroup>
#include <QMenu>
#include <QTest>

#include "controller/spectrumgui.h"
#include "sdk/interfaces.h"
#include "wavereadback.h"
#include "windowrig.h"

class TestDeviceChoice : public QObject
{
    Q_OBJECT

    FixtureRoot root;

private slots:
    void initTestCase()
    {
        configureopenal("[general]\ndrivers=null\n");
        QVERIFY(!root.addbuilt("Devices", "speakerlink", "Devices").isEmpty());
        QVERIFY(!root.add("recorder", "Devices", "recorder.so").isEmpty());
        QCoreApplication::setOrganizationName("Murrowgate");
        QCoreApplication::setApplicationName("Korvane");
        QSettings().clear();
    }

    void chosenDevicesComeBack()
    {
        {
            WindowRig w(root.path());
            QCOMPARE(menutexts(w->playbackmenu), (QStringList{"OpenAL", "—", "Settings...", "Restart Device"}));
            QCOMPARE(menutexts(w->playbackmenu->actions().first()->menu()), QStringList{"OpenAL Soft"});
            QCOMPARE(menutexts(w->recordmenu), (QStringList{"Tone", "—", "Settings...", "Restart Device"}));
            QCOMPARE(menutexts(w->recordmenu->actions().first()->menu()),
                     (QStringList{"Tone input", "Unplugged input"}));
            // Every device entry and fixed action reaches the controller.
            for (const QString& link : w->signallinks().pending())
                QVERIFY2(!link.contains("SpectrumGui::indevice"), qPrintable(link));

            // With nothing stored the OpenAL device is chosen and stored.
            QVERIFY(spectrumgui->playdevice);
            QCOMPARE(spectrumgui->playdescription, QString("OpenAL Soft"));
            QCOMPARE(QSettings().value("playbackcategory").toString(), QString("OpenAL"));
            QVERIFY(!spectrumgui->recorddevice);

            QAction* input = submenuentry(w->recordmenu, "Tone", "Tone input");
            QVERIFY(input);
            input->trigger();
            QVERIFY(input->isChecked());
            QCOMPARE(spectrumgui->recorddescription, QString("Tone input"));
            QCOMPARE(spectrumgui->recorddevice->category, QString("Tone"));

            w->playsettingsact->trigger();
            w->recordsettingsact->trigger();
            QCOMPARE(w.asked.size(), 2);
            QCOMPARE(w.asked[0].title, QString("Playback Settings"));
            QCOMPARE(w.asked[1].title, QString("Record Settings"));
            QCOMPARE(w.asked[1].text, QString("No settings."));
            w->playrestartact->trigger(); // no project: nothing to reopen
            QVERIFY(spectrumgui->waitdevice(30000));
        }
        QCOMPARE(QSettings().value("recordcategory").toString(), QString("Tone"));
        QCOMPARE(QSettings().value("recorddescription").toString(), QString("Tone input"));

        WindowRig w(root.path());
        QVERIFY(w->recorddevices->checkedAction());
        QCOMPARE(w->recorddevices->checkedAction()->text(), QString("Tone input"));
        QCOMPARE(spectrumgui->recorddescription, QString("Tone input"));
        QCOMPARE(w->playbackdevices->checkedAction()->text(), QString("OpenAL Soft"));
        QCOMPARE(spectrumgui->playdescription, QString("OpenAL Soft"));
        QVERIFY(plainloglines(logfilepath()).contains("Current playback device: OpenAL/OpenAL Soft"));
        QVERIFY(w.asked.isEmpty());
    }
};

QTEST_MAIN(TestDeviceChoice)
#include "tst_devicechoice.moc"
