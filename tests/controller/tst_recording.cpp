// Recording through the controller's device thread with a test device that
// writes a known tone through the host callbacks, the device choice, restart
// and failure reports, and rewinding.
#include "controller/devicethread.h"
#include "panels/historygui.h"
#include "panels/qtreewidgetext.h"
#include "recordcheck.h"
#include "transportrig.h"

namespace {

layer* emptylayer(int rate = 44100)
{
    auto* l = new layer();
    l->resample(rate, 1, 0);
    return l;
}

float loudest(layer* l, double from, double to)
{
    const int rate = l->samplerate;
    const std::vector<float> got = readrange(l, from, int(std::lround((to - from) * rate)), 0);
    float peak = 0;
    for (float v : got)
        peak = std::max(peak, std::fabs(v));
    return peak;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

    QPluginLoader loader;
    DeviceInterface* recorder = nullptr;

    // What the recorder was last given, and its "opens closes starts".
    QRectF lastrange()
    {
        QRectF value;
        QMetaObject::invokeMethod(loader.instance(), "range", Qt::DirectConnection,
                                  Q_RETURN_ARG(QRectF, value));
        return value;
    }
    int lastlayertype()
    {
        int value = -1;
        QMetaObject::invokeMethod(loader.instance(), "layertype", Qt::DirectConnection,
                                  Q_RETURN_ARG(int, value));
        return value;
    }
    QString counts()
    {
        QString value;
        QMetaObject::invokeMethod(loader.instance(), "counts", Qt::DirectConnection,
                                  Q_RETURN_ARG(QString, value));
        return value;
    }
    void failstarts(bool fail)
    {
        QMetaObject::invokeMethod(loader.instance(), "setfailstart", Qt::DirectConnection,
                                  Q_ARG(bool, fail));
    }

    // A project of one empty current layer, recorded into with "Tone input".
    std::unique_ptr<TransportRig> rig(layer*& current)
    {
        auto r = std::make_unique<TransportRig>();
        r->choose(recorder, QStringLiteral("Tone input"), true);
        current = emptylayer();
        if (!r->add(current, true))
            return nullptr;
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(transporttestsetup());
        recorder = loaddevice(loader, QStringLiteral(KV_RECORDER));
        QVERIFY(recorder);
        QCOMPARE(recorder->recorddevices, (QStringList{"Tone input", "Unplugged input"}));
    }

    void cleanup() { selection = QRectF(0, 0, 0, 0); }

    // A second recorded without a selection lands in the current layer,
    // reaches the layer every half second while the run goes on, and becomes
    // one "Record" history entry, which undo and redo restore.
    void recordsIntoTheCurrentLayer()
    {
        layer* current = nullptr;
        auto r = rig(current);
        QVERIFY(r);
        BackupSpy backups(r->gui);
        QSignalSpy redraws(r->gui, &SpectrumGui::outdisplayarea);
        r->gui->inpause(2); // the position stays where the recording stopped
        r->action(4)->trigger();
        QCOMPARE(r->gui->transportmode, 4);
        // The layer and the views get the recording while it goes on.
        QTRY_VERIFY_WITH_TIMEOUT(current->length > 0.3, 30000);
        const auto redrawn = [&redraws] {
            for (const QList<QVariant>& e : redraws)
                if (e.at(2).toInt() == 1 && e.at(1).toRectF().width() > 0.5)
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(redrawn(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(r->gui->devicetime() > 1.0, 30000);
        r->action(4)->trigger();
        QCOMPARE(r->gui->transportmode, -1);

        QCOMPARE(lastlayertype(), 1);
        QCOMPARE(lastrange().x(), 0.0);
        QCOMPARE(lastrange().width(), 2147418112.0); // no end
        const double end = r->gui->devicetime();
        QVERIFY2(end > 1.0, qPrintable(QString::number(end)));
        // The layer holds the tone up to where the recording stopped, and
        // ends there: the cache adds nothing beyond what was recorded.
        const double spanend = current->spanstart() + current->spanlength();
        QVERIFY2(std::fabs(spanend - end) * current->samplerate < 1, qPrintable(QString::number(spanend - end)));
        QVERIFY2(tonemismatch(current, 0, end) < 1e-3,
                 qPrintable(QString::number(tonemismatch(current, 0, end))));

        QCOMPARE(backups.count(), 1);
        QCOMPARE(backups[0][1].toString(), QString("Record"));
        QCOMPARE(backups[0][2].value<layer*>(), current);
        layer* before = backups.before(0);
        layer* after = backups.after(0);
        QVERIFY(after->length >= end - 0.01);
        QCOMPARE(loudest(before, before->start, before->start + before->length), 0.0f);

        r->gui->inrestorelayer(current, before, QRectF());
        QCOMPARE(loudest(current, 0, end), 0.0f);
        r->gui->inrestorelayer(current, after, QRectF());
        QVERIFY(tonemismatch(current, 0, end) < 1e-3);
        QCOMPARE(backups.count(), 1);
        QVERIFY(r->closeproject());
    }

    // A recording that runs on past the layer's end makes it longer: undo
    // through the history gives back its file, start and length exactly, redo
    // the recorded ones, again and again.
    void undoOfARecordingThatGrowsTheLayer()
    {
        TransportRig r;
        r.choose(recorder, QStringLiteral("Tone input"), true);
        layer* current = makelayer(44100, 1, 0.1, 22050, [](int k, int) { return 0.1f + 1e-6f * float(k); });
        QVERIFY(r.add(current, true));
        auto history = std::make_unique<HistoryGui>(r.window);
        QObject::connect(r.gui, &SpectrumGui::outbackuplayer, history.get(), &HistoryGui::inbackuplayer);
        QObject::connect(history.get(), &HistoryGui::outrestorelayer, r.gui, &SpectrumGui::inrestorelayer);
        const LayerState original = state(current);

        r.gui->timecursor = 0.4;
        r.action(4)->trigger();
        QVERIFY(QTest::qWaitFor([&] { return current->start + current->length > 0.9; }, 30000));
        r.action(4)->trigger();
        QCOMPARE(r.gui->transportmode, -1);
        const LayerState recorded = state(current);
        QCOMPARE(recorded.start, 0.1);
        QVERIFY(recorded.length > 0.8);
        const double end = r.gui->devicetime();
        QVERIFY(tonemismatch(current, 0.4, end) < 1e-3);
        QCOMPARE(history->tree->topLevelItemCount(), 2);
        QCOMPARE(history->tree->topLevelItem(1)->text(1), QString("Record"));

        for (int round = 0; round < 3; ++round) {
            history->Undo();
            QVERIFY(state(current) == original);
            history->Redo();
            QVERIFY(state(current) == recorded);
        }
        history.reset();
        QVERIFY(r.closeproject());
    }

    // With a selection the record runs over the selected time only and ends
    // by itself; an empty project gives no extent to clip the range to.
    void recordsTheSelection()
    {
        layer* current = nullptr;
        auto r = rig(current);
        QVERIFY(r);
        selection = QRectF(0.2, 22050, 0.3, -22050);
        emit r->gui->outselection(selection);
        BackupSpy backups(r->gui);
        r->action(4)->trigger();
        QVERIFY(r->idle());
        QCOMPARE(lastrange(), QRectF(0.2, 22050, 0.3, -22050));
        QCOMPARE(backups.count(), 1);
        // Only the selected time was recorded, and the layer holds that alone.
        const double start = current->spanstart();
        const double end = start + current->spanlength();
        QVERIFY2(std::fabs(start - 0.2) * 44100 < 1 && std::fabs(end - 0.5) * 44100 < 1,
                 qPrintable(QStringLiteral("%1 .. %2").arg(start).arg(end)));
        QVERIFY(tonemismatch(current, 0.2, 0.5) < 1e-3);
        QVERIFY(r->closeproject());
    }

    // Commands that rewrite the caches stop a recording first and wait for
    // the device to return: an undo, a new selection, another device.
    void editsStopTheRun()
    {
        layer* current = nullptr;
        auto r = rig(current);
        QVERIFY(r);
        BackupSpy backups(r->gui);
        std::unique_ptr<layer> chunk(emptylayer());
        r->action(4)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(r->gui->devicetime() > 0.1, 30000);
        r->gui->inrestorelayer(current, chunk.get(), QRectF());
        QCOMPARE(r->gui->transportmode, -1);
        QVERIFY(r->gui->stopflag());
        QCOMPARE(backups.count(), 1); // the recording so far
        const double length = current->spanlength();
        // The device thread is back and what it sent is in: nothing is written after the stop.
        QVERIFY(r->gui->waitdevice(30000));
        QCoreApplication::processEvents();
        QCOMPARE(current->spanlength(), length);

        // Each run records past the layer's end: the same tone over itself
        // would change nothing and make no entry.
        const auto pastend = [&] { r->gui->timecursor = current->start + current->length + 0.5; };
        r->gui->selectionmode = 0;
        pastend();
        r->action(4)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(r->gui->devicetime() > r->gui->timecursor + 0.1, 30000);
        r->gui->inmouseevent(QPointF(0.1, 1000), 1.0f, 0, 0, false);
        QCOMPARE(r->gui->transportmode, -1);
        QVERIFY(r->gui->stopflag());
        QCOMPARE(backups.count(), 2);

        pastend();
        r->action(4)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(r->gui->devicetime() > r->gui->timecursor + 0.1, 30000);
        r->choose(recorder, QStringLiteral("Tone input"), true);
        QCOMPARE(r->gui->transportmode, -1);
        QCOMPARE(backups.count(), 3);
        QVERIFY(r->closeproject());
    }

    // A device that does not open, or does not start, is reported in the log;
    // a box comes only as the answer to the user's Record, not while the
    // project opens; the transport stays usable.
    void failuresAreReported()
    {
        TransportRig r;
        r.choose(recorder, QStringLiteral("Unplugged input"), true);
        QVERIFY(r.add(emptylayer(), true));
        QVERIFY(r.gui->waitdevice(30000));
        QTRY_VERIFY_WITH_TIMEOUT(sessionlog().contains("Device RecordOpen &quot;Unplugged input&quot; failed"), 30000);
        QCOMPARE(r.asked.size(), 0);
        r.action(4)->trigger();
        QVERIFY(r.idle());
        QTRY_COMPARE_WITH_TIMEOUT(r.asked.size(), 1, 30000);
        QCOMPARE(r.asked[0].title, QString("Record Error"));
        QCOMPARE(r.asked[0].text, QString("The device \"Unplugged input\" could not be opened."));
        QCOMPARE(r.asked[0].icon, QMessageBox::Warning);
        QVERIFY(sessionlog().contains("Device RecordStart &quot;Unplugged input&quot; failed"));

        r.choose(recorder, QStringLiteral("Tone input"), true);
        BackupSpy backups(r.gui);
        failstarts(true);
        r.action(4)->trigger();
        QVERIFY(r.idle());
        failstarts(false);
        QTRY_COMPARE_WITH_TIMEOUT(r.asked.size(), 2, 30000);
        QCOMPARE(r.asked[1].text, QString("The device \"Tone input\" could not record."));
        r.action(4)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(r.gui->devicetime() > 0.1, 30000); // recording
        QCOMPARE(r.gui->transportmode, 4); // and the next start works
        r.action(4)->trigger();
        QCOMPARE(r.asked.size(), 2);
        QCOMPARE(backups.count(), 1); // only the run that recorded
        QVERIFY(r.closeproject());
    }

    // The choice is stored and opens nothing until a project exists; restart
    // and a new choice close and reopen; the settings dialog is the device's.
    void choiceAndRestart()
    {
        TransportRig r;
        const QString before = counts();
        const int opens = before.section(' ', 0, 0).toInt();
        const int closes = before.section(' ', 1, 1).toInt();
        auto expected = [&](int o, int c) {
            return QStringLiteral("%1 %2").arg(opens + o).arg(closes + c);
        };
        auto current = [&] { return counts().section(' ', 0, 1); };
        r.choose(recorder, QStringLiteral("Tone input"), true);
        QVERIFY(r.gui->waitdevice(30000));
        QCOMPARE(current(), expected(0, 0));
        QCOMPARE(QSettings().value("recordcategory").toString(), QString("Tone"));
        QCOMPARE(QSettings().value("recorddescription").toString(), QString("Tone input"));
        QVERIFY(r.add(emptylayer(), true));
        QVERIFY(r.gui->waitdevice(30000));
        QCOMPARE(current(), expected(1, 0));
        r.gui->indevicerecordrestart();
        QVERIFY(r.gui->waitdevice(30000));
        QCOMPARE(current(), expected(2, 1));
        r.gui->indeviceplayrestart(); // no playback device: nothing
        r.gui->indevicerecordsettings();
        QCOMPARE(r.asked.size(), 1);
        QCOMPARE(r.asked[0].title, QString("Record Settings"));
        QCOMPARE(r.asked[0].text, QString("No settings."));
        QVERIFY(r.closeproject());
        QCOMPARE(current(), expected(2, 2));
    }

    // Each device operation is reported; a missing device is a failure, and
    // a start, however it ends, leaves the stop flag raised.
    void deviceThreadReports()
    {
        DeviceThread thread;
        QSignalSpy reports(&thread, &DeviceThread::outdevicelog);
        alignas(8) double time = 0;
        float volume = 1;
        bool stop = false;
        thread.devicePlayStart(nullptr, "none", 0, 0, QRectF(0, 0, 1, 0), &time, &volume, &stop);
        QVERIFY(stop);
        thread.deviceRecordOpen(recorder, "Tone input");
        thread.deviceRecordStart(recorder, "Tone input", 1, 0, QRectF(0, 0, 1, 0), &time, &volume, &stop);
        QVERIFY(stop);
        thread.deviceRecordClose(recorder, "Tone input");
        QCOMPARE(reports.size(), 4);
        const QStringList actions{"PlayStart", "RecordOpen", "RecordStart", "RecordClose"};
        const QList<bool> results{false, true, true, true};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(reports[i][0].toString(), actions[i]);
            QCOMPARE(reports[i][2].toBool(), results[i]);
        }
        QCOMPARE(reports[0][1].toString(), QString("none"));
    }

    // A device whose start returns at once (the empty device plugin) ends
    // the run at the next tick.
    void instantDeviceEndsTheRun()
    {
        QPluginLoader sinkloader;
        DeviceInterface* sink = loaddevice(sinkloader, QStringLiteral(KV_TEST_ROOT "/Plugins/Devices/stubsink"));
        QVERIFY(sink);
        TransportRig r;
        QVERIFY(r.add(makelayer(44100, 1, 0, 44100, [](int, int) { return 0.1f; }), true));
        r.choose(sink, QStringLiteral("anything"), false);
        r.action(0)->trigger();
        QCOMPARE(r.gui->transportmode, 0);
        QVERIFY(r.idle(2000));
        QVERIFY(r.asked.isEmpty());
        QVERIFY(r.closeproject());
    }

    // The first rewind brings the position back to the time cursor, the
    // second brings both to the project's start; a project of empty layers
    // has no start, and the cursor stays where it is.
    void rewind()
    {
        TransportRig r;
        QVERIFY(r.add(emptylayer(), true));
        r.gui->timecursor = 0.7;
        r.gui->setdevicetime(0.3);
        QSignalSpy cursor(r.gui, &SpectrumGui::outdevicecursor);
        r.action(-1)->trigger();
        QCOMPARE(r.gui->devicetime(), 0.7);
        r.action(-1)->trigger();
        QCOMPARE(r.gui->timecursor, 0.7);
        QCOMPARE(r.gui->devicetime(), 0.7);
        for (const QList<QVariant>& e : cursor)
            QVERIFY(e.at(0).toDouble() < 1);

        QVERIFY(r.add(makelayer(44100, 1, 0.5, 4410, [](int, int) { return 0.1f; }), false));
        r.action(-1)->trigger();
        QCOMPARE(r.gui->timecursor, 0.5);
        QCOMPARE(r.gui->devicetime(), 0.5);
        QCOMPARE(cursor.last()[0].toDouble(), 0.5);
        QVERIFY(r.closeproject());
    }
};

KV_HEADLESS_TEST_MAIN(TestRecording)
#include "tst_recording.moc"
