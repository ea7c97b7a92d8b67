// Recording in the whole main window while the user works the history and
// the layer rows: undo, redo and a click on a history row stop the run first,
// so that its "Record" entry lands before they walk the rows; clicks on the
// current row's speaker and sign keep every recorded sample.
#include <QPluginLoader>

#include "editrig.h"
#include "recordcheck.h"
#include "sdk/interfaces.h"

namespace {

constexpr int rate = 44100;

QTreeWidgetItem* historyrow(int index)
{
    return historygui->tree->topLevelItem(index);
}

int historycurrent()
{
    return historygui->tree->indexOfTopLevelItem(historygui->current);
}

} // namespace

class TestRecordEdits : public QObject
{
    Q_OBJECT

    QPluginLoader loader;
    DeviceInterface* recorder = nullptr;

    // A new project of one empty current layer "A", the recorder chosen as
    // the record device; gives the layer and the window's record action.
    layer* recordproject(PanelRig& r, QAction*& record)
    {
        newproject(r, rate, 1, "A");
        QAction choice(QStringLiteral("Tone input"));
        choice.setData(QVariant::fromValue(recorder));
        QObject::connect(&choice, &QAction::triggered, spectrumgui, &SpectrumGui::indevicerecord);
        choice.trigger();
        record = r.window()->recordact;
        return r.current();
    }

    // Where the last recording began, and how far it had come when the test
    // acted on it.
    double from = 0, to = 0;

    // Starts a recording at `at` seconds and lets it record `seconds` of the tone.
    bool recordfor(QAction* record, double at, double seconds)
    {
        spectrumgui->timecursor = at;
        spectrumgui->setdevicetime(at);
        record->trigger();
        if (spectrumgui->transportmode != 4 || spectrumgui->recordmark != at)
            return false;
        QTest::qWaitFor([&] { return spectrumgui->transportmode != 4 || spectrumgui->devicetime() >= at + seconds; },
                        30000);
        from = at;
        to = spectrumgui->devicetime();
        return spectrumgui->transportmode == 4;
    }

    // The last recording's tone is in the layer over the time it had recorded.
    bool holdsrecording(layer* l) const
    {
        const float mismatch = tonemismatch(l, from, to);
        if (to - from < 0.05 || mismatch > 1e-3f) {
            qWarning("recorded %g to %g s, off the tone by up to %g", from, to, double(mismatch));
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        QSettings().clear();
        loader.setFileName(QStringLiteral(KV_RECORDER));
        recorder = qobject_cast<DeviceInterface*>(loader.instance());
        QVERIFY(recorder);
        QVERIFY(recorder->initialize(QStringLiteral(KV_RECORDER), nullptr));
    }

    // Record, stop, undo, record again, redo while recording: the second
    // recording becomes the "Record" row in place of the undone one, and the
    // redo finds nothing below it. An undo while recording undoes that
    // recording; a click on a row the landing entry replaces does no more
    // than stop; a click on the first row walks back through everything.
    void historyStopsTheRecordingBeforeWalking()
    {
        PanelRig r;
        QAction* record = nullptr;
        layer* a = recordproject(r, record);
        QVERIFY(a && record);
        const LayerState empty = state(a);
        QAction* undo = r.window()->undoact;
        QAction* redo = r.window()->redoact;

        QVERIFY(recordfor(record, 0.0, 0.5));
        record->trigger();
        QCOMPARE(spectrumgui->transportmode, -1);
        QVERIFY(holdsrecording(a));
        QCOMPARE(historyrows(), 2);
        QCOMPARE(historytext(1), QString("Record"));
        undo->trigger();
        QVERIFY(state(a) == empty);
        QCOMPARE(historycurrent(), 0);

        QVERIFY(recordfor(record, 1.0, 0.7));
        redo->trigger();
        QCOMPARE(spectrumgui->transportmode, -1);
        QCOMPARE(historyrows(), 2);
        QCOMPARE(historytext(1), QString("Record"));
        QCOMPARE(historycurrent(), 1);
        QVERIFY(holdsrecording(a));
        const LayerState second = state(a);
        undo->trigger();
        QVERIFY(state(a) == empty);
        redo->trigger();
        QVERIFY(state(a) == second);

        QVERIFY(recordfor(record, 2.0, 0.4));
        undo->trigger();
        QCOMPARE(spectrumgui->transportmode, -1);
        QCOMPARE(historyrows(), 3);
        QCOMPARE(historycurrent(), 1);
        QVERIFY(state(a) == second);
        redo->trigger();
        QCOMPARE(historycurrent(), 2);
        QVERIFY(holdsrecording(a));
        const LayerState third = state(a);
        QVERIFY(!(third == second));

        // Row 2 is undone, then replaced by the recording that the click stops.
        undo->trigger();
        QVERIFY(recordfor(record, 3.0, 0.3));
        historygui->ItemClicked(historyrow(2), 1);
        QCOMPARE(spectrumgui->transportmode, -1);
        QCOMPARE(historyrows(), 3);
        QCOMPARE(historycurrent(), 2);
        QVERIFY(holdsrecording(a));
        const LayerState fourth = state(a);
        QVERIFY(!(fourth == third));

        QVERIFY(recordfor(record, 4.0, 0.3));
        historygui->ItemClicked(historyrow(0), 1);
        QCOMPARE(spectrumgui->transportmode, -1);
        QCOMPARE(historyrows(), 4);
        QCOMPARE(historycurrent(), 0);
        QVERIFY(state(a) == empty);
        historygui->ItemClicked(historyrow(2), 1);
        QVERIFY(state(a) == fourth);
        historygui->ItemClicked(historyrow(3), 1);
        QVERIFY(holdsrecording(a));
    }

    // The speaker and sign of the current row rebind its layer while the
    // recorder writes into it: what was recorded but not yet written to the
    // layer stays, sample for sample.
    void rowClicksKeepTheRecording()
    {
        PanelRig r;
        QAction* record = nullptr;
        layer* a = recordproject(r, record);
        QVERIFY(a && record);
        QVERIFY(recordfor(record, 0.5, 0));
        // A click every eighth of a second of the recording.
        for (int i = 0; i <= 8; ++i) {
            const double next = from + 0.125 * (i + 1);
            QTRY_VERIFY_WITH_TIMEOUT(spectrumgui->devicetime() >= next || spectrumgui->transportmode != 4, 30000);
            if (i < 8)
                click(r, 0, i % 2 ? 0 : 2);
        }
        QCOMPARE(spectrumgui->transportmode, 4);
        to = spectrumgui->devicetime();
        record->trigger();
        QCOMPARE(spectrumgui->transportmode, -1);
        QCOMPARE(a->active, 1);
        QCOMPARE(a->mixsign, 1);
        QVERIFY(to - from > 0.8);
        QVERIFY(holdsrecording(a));
    }
};

QTEST_MAIN(TestRecordEdits)
#include "tst_recordedits.moc"
