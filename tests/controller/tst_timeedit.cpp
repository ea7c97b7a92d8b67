// Insert time and Remove time from the main window's actions: the dialog and
// its starting values, the question, the shift of the current layer or of
// every layer by the right number of frames, the cleared selection and
// history, and undo of a later edit against the shifted layer.
#include "editrig.h"
#include "fulldisk.h"

namespace {

constexpr int rate = 8000;

// Every row holds one second of frames numbered 1, 2, 3...
void ramps(PanelRig& r, int rows)
{
    project(r, rows, rate, 1);
    for (int i = 0; i < rows; ++i) {
        fill(r.at(i), 0.0, rate, [](int k, int) { return float(k + 1); });
        r.at(i)->resetdirty();
    }
}

// The frames of a ramp with `gap` zero frames inserted before frame `at`.
std::vector<float> inserted(int at, int gap)
{
    std::vector<float> v;
    for (int k = 0; k < rate; ++k) {
        if (k == at)
            v.insert(v.end(), size_t(gap), 0.0f);
        v.push_back(float(k + 1));
    }
    return v;
}

// The frames of a ramp with `count` frames from `at` on taken out.
std::vector<float> removed(int at, int count)
{
    std::vector<float> v;
    for (int k = 0; k < rate; ++k)
        if (k < at || k >= at + count)
            v.push_back(float(k + 1));
    return v;
}

// What the dialog showed, and the values typed into it.
struct TimeDialog
{
    QString title;
    QSize size;
    QStringList prefixes;
    double start = NAN;
    double length = NAN;
    double startmin = 0;
    double lengthmin = -1;
    bool seen = false;
};

// Answers the next time dialog with (start, length), or cancels it when
// `accept` is false.
void answer(TimeDialog* seen, double start, double length, bool accept = true)
{
    whendialog<QDialog>([=](QDialog* dialog) {
        const QList<QDoubleSpinBox*> spins = dialog->findChildren<QDoubleSpinBox*>();
        seen->seen = true;
        seen->title = dialog->windowTitle();
        seen->size = dialog->size();
        if (spins.size() == 2) {
            seen->prefixes = QStringList{spins[0]->prefix() + "|" + spins[0]->suffix(),
                                         spins[1]->prefix() + "|" + spins[1]->suffix()};
            seen->start = spins[0]->value();
            seen->length = spins[1]->value();
            seen->startmin = spins[0]->minimum();
            seen->lengthmin = spins[1]->minimum();
            spins[0]->setValue(start);
            spins[1]->setValue(length);
        }
        if (!accept) {
            dialog->reject();
            return;
        }
        if (auto* ok = dialog->findChild<QPushButton*>())
            ok->click();
    });
}

} // namespace

class TestTimeEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QSettings().clear(); }

    void insertIntoTheCurrentLayerOnly()
    {
        PanelRig r;
        ramps(r, 2);
        // A history entry on B first.
        click(r, 1, 3);
        select(QRectF(0.4, 4000, 0.2, -4000));
        r.window()->deleteact->trigger();
        QCOMPARE(historyrows(), 2);
        const QByteArray b = filebytes(r.at(1));

        click(r, 0, 3);
        select(QRectF(0.5, 3000, 0.25, -1000));
        r.window()->copyact->trigger(); // A's frames are in the cache now
        r.window()->setWindowModified(false);
        QSignalSpy selections(spectrumgui, &SpectrumGui::outselection);
        TimeDialog seen;
        answer(&seen, 0.5, 0.25);
        r.answers["Insert Time"] = QMessageBox::Yes;
        r.window()->inserttimeact->trigger();

        QVERIFY(seen.seen);
        QCOMPARE(seen.title, QString("Insert Time"));
        QCOMPARE(seen.size, QSize(150, 100));
        QCOMPARE(seen.prefixes, (QStringList{"start: | s", "length: | s"}));
        QCOMPARE(seen.start, 0.5);
        QCOMPARE(seen.length, 0.25);
        QCOMPARE(seen.startmin, -2147418112.0);
        QCOMPARE(seen.lengthmin, 0.0);
        QCOMPARE(r.titles(), QStringList{"Insert Time"});
        QCOMPARE(r.asked.at(0).text, QString("Are you sure ? (You can't undo this action)"));
        QCOMPARE(r.asked.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(r.asked.at(0).defaultbutton, QMessageBox::No);

        QVERIFY(samplefile(r.at(0)) == inserted(4000, 2000));
        QCOMPARE(r.at(0)->length, 1.25);
        QCOMPARE(filebytes(r.at(1)), b);
        QCOMPARE(selection, QRectF(0, 0, 0, 0));
        QCOMPARE(selections.size(), 1);
        QCOMPARE(historyrows(), 0);
        QVERIFY(r.window()->isWindowModified());

        // The next edit's entry is made against the shifted layer: its undo
        // gives that layer back exactly.
        const LayerState shifted = state(r.at(0));
        select(QRectF(0.9, 4000, 0.1, -1000)); // a band the ramp hardly has
        r.window()->deleteact->trigger();
        QCOMPARE(historyrows(), 2);
        QVERIFY(!(state(r.at(0)) == shifted));
        // The frames the delete rewrote are the shifted ones, not those the
        // cache held before the insertion.
        const std::vector<float> after = samplefile(r.at(0));
        const std::vector<float> expected = inserted(4000, 2000);
        double worst = 0;
        for (int k = 6700; k < 8100; ++k)
            worst = std::max(worst, double(std::fabs(after[size_t(k)] - expected[size_t(k)])));
        QVERIFY2(worst < 1.0, qPrintable(QString::number(worst)));
        historygui->Undo();
        QVERIFY(state(r.at(0)) == shifted);
    }

    void removeFromEveryLayerAtThePlayPosition()
    {
        PanelRig r;
        ramps(r, 2);
        r.panel()->NoItemClicked();
        unselect();
        spectrumgui->setdevicetime(0.25);
        TimeDialog seen;
        answer(&seen, 0.25, 0.5);
        r.answers["Remove Time"] = QMessageBox::Yes;
        r.window()->removetimeact->trigger();
        QCOMPARE(seen.title, QString("Remove Time"));
        QCOMPARE(seen.start, 0.25);
        QCOMPARE(seen.length, 0.0);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(samplefile(r.at(i)) == removed(2000, 4000));
            QCOMPARE(r.at(i)->length, 0.5);
        }
        // The view keeps inside the shorter project.
        QVERIFY(spectrumgui->displayarea.x() + spectrumgui->displayarea.width() <= 0.5 + 1e-9);
    }

    void cancelOrNoChangesNothing()
    {
        PanelRig r;
        ramps(r, 1);
        click(r, 0, 3);
        select(QRectF(0.2, 4000, 0.2, -4000));
        r.window()->deleteact->trigger();
        const QRectF area = selection;
        const LayerState before = state(r.at(0));

        TimeDialog seen;
        answer(&seen, 0.1, 0.3, false);
        r.window()->inserttimeact->trigger();
        QVERIFY(seen.seen);
        QVERIFY(r.asked.isEmpty());

        r.answers["Remove Time"] = QMessageBox::No;
        answer(&seen, 0.1, 0.3);
        r.window()->removetimeact->trigger();
        QCOMPARE(r.titles(), QStringList{"Remove Time"});

        QVERIFY(state(r.at(0)) == before);
        QCOMPARE(selection, area);
        QCOMPARE(historyrows(), 2);
    }

    void zeroLengthAndNegativeStartGoThrough()
    {
        PanelRig r;
        r.answers["Insert Time"] = QMessageBox::Yes;
        ramps(r, 1);
        click(r, 0, 3);
        select(QRectF(0.2, 4000, 0.2, -4000));
        r.window()->deleteact->trigger();
        const LayerState before = state(r.at(0));

        // A zero length changes no layer but still clears selection and history.
        TimeDialog seen;
        answer(&seen, 0.3, 0.0);
        r.window()->inserttimeact->trigger();
        QVERIFY(state(r.at(0)) == before);
        QCOMPARE(selection, QRectF(0, 0, 0, 0));
        QCOMPARE(historyrows(), 0);

        // Time inserted before the layer moves it later.
        answer(&seen, -1.0, 0.5);
        r.window()->inserttimeact->trigger();
        QCOMPARE(r.at(0)->start, 0.5);
        QCOMPARE(filebytes(r.at(0)), before.bytes);
    }

    void aLayerThatCannotBeChangedLeavesEveryLayerAsItWas()
    {
        PanelRig r;
        ramps(r, 2);
        // B is twice as long: on a disk that takes 50000 bytes a file, A's
        // edit fits and B's does not.
        fill(r.at(1), 0.0, 2 * rate, [](int k, int) { return float(k + 1); });
        click(r, 0, 3);
        select(QRectF(0.2, 4000, 0.2, -4000));
        r.window()->deleteact->trigger();
        QCOMPARE(historyrows(), 2);
        r.panel()->NoItemClicked();
        select(QRectF(0.5, 4000, 0.25, -4000));
        const QRectF area = selection;
        const LayerState a = state(r.at(0));
        const LayerState b = state(r.at(1));
        const QStringList files = kvsessionfiles();

        TimeDialog seen;
        answer(&seen, 0.5, 0.25);
        r.answers["Insert Time"] = QMessageBox::Yes;
        {
            FullDisk full(50000);
            r.window()->inserttimeact->trigger();
        }
        QCOMPARE(r.titles(), (QStringList{"Insert Time", "Insert Time"}));
        QCOMPARE(r.asked.at(1).icon, QMessageBox::Critical);
        QVERIFY2(r.asked.at(1).text.startsWith("Layer \"B\" could not be changed, so no layer was."),
                 qPrintable(r.asked.at(1).text));
        QVERIFY(state(r.at(0)) == a);
        QVERIFY(state(r.at(1)) == b);
        // The history still fits the layers, the selection is back and no
        // half-made file is left.
        QCOMPARE(historyrows(), 2);
        QCOMPARE(selection, area);
        QCOMPARE(kvsessionfiles(), files);

        // With room on the disk the same edit reaches both.
        answer(&seen, 0.5, 0.25);
        r.window()->inserttimeact->trigger();
        QCOMPARE(r.at(0)->length, 1.25);
        QCOMPARE(r.at(1)->length, 2.25);
        QVERIFY(samplefile(r.at(1)).size() == size_t(2 * rate + 2000));
        QCOMPARE(historyrows(), 0);
    }

    void aRunningPlaybackStopsFirst()
    {
        PanelRig r;
        r.answers["Insert Time"] = QMessageBox::Yes;
        ramps(r, 1);
        click(r, 0, 3);
        QAction* play = transportaction(r.window(), 0);
        QVERIFY(play);
        play->trigger();
        QCOMPARE(spectrumgui->transportmode, 0);
        TimeDialog seen;
        answer(&seen, 0.5, 0.25);
        r.window()->inserttimeact->trigger();
        QCOMPARE(spectrumgui->transportmode, -1);
        QVERIFY(samplefile(r.at(0)) == inserted(4000, 2000));
    }
};

QTEST_MAIN(TestTimeEdit)
#include "tst_timeedit.moc"
