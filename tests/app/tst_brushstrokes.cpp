// Brush strokes through the whole window as a hand makes them: a press after
// the pointer left the views, a release that itself travels, a Shift-locked
// stroke released off its line, a first Shift-click, Ctrl held at the
// release, a stroke with no layer chosen, a quick drag of the partial tools,
// filters at settings that change nothing and strokes past a layer's end, a
// whole-layer filter cancelled, a level over a selection undone and redone,
// and a setting applied while a step runs.
// What a stroke did is read from the layer's file.
#include <QComboBox>
#include <QLibrary>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

#include "panels/historygui.h"
#include "plugins/filters/filterframe/dialogseam.h"
#include "strokerig.h"

using namespace strokes;

namespace {

// The change of the band's energy in dB between two versions of a layer.
double change(const std::vector<float>& before, const std::vector<float>& after, double from, double to, double f1,
              double f2)
{
    return db(bandenergy(after, from, to, f1, f2) / bandenergy(before, from, to, f1, f2));
}

QString numbers(double a, double b)
{
    return QString("%1 and %2").arg(a).arg(b);
}

// A filter's dialog answered at its start values: "Apply", or for the
// external editor "Edit" with the editor given here.
QString editor;
int answerfilter(QDialog* dialog)
{
    if (qobject_cast<QMessageBox*>(dialog))
        return QMessageBox::Ok;
    dialog->setResult(QDialog::Rejected);
    const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
    for (QPushButton* b : buttons)
        if (b->toolTip() == "Path to external audio editor")
            b->setText(editor);
    for (QPushButton* b : buttons)
        if (b->text() == "Apply" || b->text() == "Edit")
            b->click();
    return dialog->result();
}

// Installs (or with null takes away) the dialog answers in every filter.
void answerfilters(filtermodalhook hook)
{
    const QDir dir(QStringLiteral(KV_TEST_ROOT) + "/Plugins/Filters");
    for (const QString& name : dir.entryList(QDir::Files))
        if (auto set = reinterpret_cast<decltype(&filterframesethooks)>(
                QLibrary(dir.absoluteFilePath(name)).resolve("filterframesethooks")))
            set(hook, nullptr, nullptr);
}

// Level/Gamma/Offset at +6 dB, applied.
int applylouder(QDialog* dialog)
{
    dialog->setResult(QDialog::Rejected);
    for (QDoubleSpinBox* box : dialog->findChildren<QDoubleSpinBox*>())
        if (box->suffix() == "dB")
            box->setValue(6);
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->text() == "Apply")
            b->click();
    return dialog->result();
}

QAction* filteraction(MainWindow* w, const QString& label)
{
    for (QAction* category : w->filtersmenu->actions())
        if (category->menu())
            for (QAction* a : category->menu()->actions())
                if (a->text() == label)
                    return a;
    return nullptr;
}

// The noise gate learns the noise of every bin from the view's top edge down
// to 600 Hz (a stroke across the band; from within the edge's 7 pixels it
// registers and leaves the time cursor) and lets all of it through.
void opengate(StrokeRig& rig, ToolInterface* t)
{
    QPushButton* registernoise = nullptr;
    for (auto* button : t->toolbar->findChildren<QPushButton*>())
        if (button->text() == "Register Noise")
            registernoise = button;
    QVERIFY(registernoise);
    registernoise->setChecked(true);
    const QRectF a = rig.view->displayarea;
    const double top = a.y() + 3 * a.height() / rig.view->height(), cursor = spectrumgui->timecursor;
    rig.hover(0.2, top);
    rig.press(0.2, top);
    for (double f = top - 500; f > 600; f -= 500)
        rig.drag(0.2, f);
    rig.release(0.2, 600);
    QCOMPARE(spectrumgui->timecursor, cursor);
    registernoise->setChecked(false);
    StrokeRig::setting(t, "tolerance:", "dB")->setValue(12);
}

} // namespace

class TestBrushStrokes : public QObject
{
    Q_OBJECT
    std::unique_ptr<StrokeRig> rig;

    // The brush of a row in hand, 0.2 s by `height` Hz, for the noise or,
    // when it extracts, for a new layer taking from the mix, which is then
    // `target`: Amplify at +6 dB, the noise gate open. Null if not in hand.
    ToolInterface* brushrow(const QString& label, bool extract, layer*& target, double height = 2000)
    {
        target = extract ? rig->newlayer() : rig->noise;
        if (!extract)
            rig->choose(0);
        ToolInterface* t = rig->tool(label);
        if (t && label == "Amplify")
            StrokeRig::setting(t, "", "dB")->setValue(6);
        if (t && label.startsWith("Noise"))
            opengate(*rig, t);
        return t && StrokeRig::brush(t, 0.2, height, 20) ? t : nullptr;
    }

private slots:
    void init()
    {
        rig.reset();
        rig = std::make_unique<StrokeRig>();
        QVERIFY(rig->noise);
        QVERIFY(rig->view && rig->view->isVisible());
    }
    void cleanup() { rig.reset(); }

    // Leave the views, come back with a press and no hover: the brush paints
    // at the pointer, at once, and nowhere else.
    void pressWithoutHoverPaintsAtThePointer_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("rubout") << "Eraser";
        QTest::newRow("gainbrush") << "Amplify";
        QTest::newRow("regionpick") << "Area";
    }
    void pressWithoutHoverPaintsAtThePointer()
    {
        QFETCH(QString, label);
        const bool extract = label == "Area"; // from the mix into a new layer
        layer* target = nullptr;
        ToolInterface* t = brushrow(label, extract, target);
        QVERIFY(t);
        if (auto* strength = StrokeRig::setting(t, "", "dB"))
            strength->setValue(label == "Eraser" ? -24 : 12);
        const std::vector<float> mix = timeline(rig->noise, rig->seconds);
        const std::vector<float> before = timeline(target, rig->seconds);
        rig->hover(0.5, 5000);
        rig->leave();
        QCOMPARE(spectrumgui->mousechannel, -1);
        rig->press(2.0, 5000);
        rig->release(2.0, 5000);
        const std::vector<float> after = timeline(target, rig->seconds);
        // One analysis frame of the measure over the stamp: erased, raised,
        // or taken from the mix.
        const double there = change(extract ? mix : before, after, 2.0 - 0.093, 2.0 + 0.094, 4700, 5300);
        QVERIFY2(extract ? std::fabs(there) < 6 : std::fabs(there) > 6, qPrintable(QString::number(there)));
        // Nothing between where the pointer left and where it came back.
        QVERIFY(largestdifference(before, after, 0, 1.75) < 1e-5);
        QVERIFY(largestdifference(before, after, 2.25, rig->seconds) < 1e-5);
    }

    // A release whose event travels: what it painted is committed with the
    // rest, as if the last stretch had been dragged.
    void releaseTravelIsCommitted_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("extract"); // from the mix into a new layer
        QTest::addColumn<double>("expected"); // dB, dragged stretch
        QTest::newRow("rubout") << "Eraser" << false << -24.0;
        QTest::newRow("gainbrush") << "Amplify" << false << 6.0;
        QTest::newRow("regionpick") << "Area" << true << 0.0;
        QTest::newRow("hissgate") << "Noise (Manual Gate)" << true << 0.0;
    }
    void releaseTravelIsCommitted()
    {
        QFETCH(QString, label);
        QFETCH(bool, extract);
        QFETCH(double, expected);
        layer* target = nullptr;
        QVERIFY(brushrow(label, extract, target) && target == slottable.bound[1]);
        // The noise the brush paints or the mix it takes from.
        const std::vector<float> reference = timeline(rig->noise, rig->seconds);

        rig->stroke(0.5, 1.2, 2.0, 5000);
        rig->hover(2.6, 9000); // the scratch is emptied; the layer keeps the stroke
        const std::vector<float> after = timeline(target, rig->seconds);
        const double dragged = change(reference, after, 0.65, 1.05, 4700, 5300);
        const double released = change(reference, after, 1.45, 1.85, 4700, 5300);
        QVERIFY2(std::fabs(dragged - expected) < 2, qPrintable(numbers(dragged, released)));
        QVERIFY2(std::fabs(released - dragged) < 1.5, qPrintable(numbers(dragged, released)));
        // One history entry for the one stroke.
        QCOMPARE(historygui->tree->topLevelItem(historygui->tree->topLevelItemCount() - 1)->text(1), label);
    }

    // Shift held, a drag that first moves diagonally stays on its line, and
    // so does its release off the line, whose travel the brushes paint.
    void shiftLockedStrokeStaysOnItsLine_data()
    {
        releaseTravelIsCommitted_data();
    }
    void shiftLockedStrokeStaysOnItsLine()
    {
        QFETCH(QString, label);
        QFETCH(bool, extract);
        QFETCH(double, expected);
        layer* target = nullptr;
        QVERIFY(brushrow(label, extract, target, 600));
        const std::vector<float> reference = timeline(rig->noise, rig->seconds);

        rig->hover(1.0, 1000);
        rig->press(1.0, 1000, Qt::ShiftModifier);
        for (int i = 1; i <= 18; ++i)
            rig->drag(1.0 + 0.05 * i, 1000 + 250 * i, Qt::ShiftModifier);
        rig->release(2.0, 6000, Qt::ShiftModifier);
        rig->hover(2.6, 9000);
        const std::vector<float> after = timeline(target, rig->seconds);
        const double line = change(reference, after, 1.2, 1.7, 850, 1150);
        QVERIFY2(std::fabs(line - expected) < 2, qPrintable(QString::number(line)));
        for (double f : {3000, 6000}) {
            const double off = change(reference, after, 1.75, 2.25, f - 300, f + 300);
            QVERIFY2(extract ? off < -30 : std::fabs(off) < 0.3, qPrintable(numbers(f, off)));
        }
    }

    // The first Shift-click of a session, and the first on a fresh layer, has
    // no stroke to continue: it touches only its own spot; the next one joins it.
    void firstShiftClickTouchesItsSpot()
    {
        layer* target = nullptr;
        QVERIFY(brushrow("Eraser", false, target));
        const std::vector<float> before = timeline(rig->noise, rig->seconds);
        rig->hover(2.0, 5000);
        rig->press(2.0, 5000, Qt::ShiftModifier);
        QVERIFY(QApplication::keyboardModifiers() & Qt::ShiftModifier);
        rig->release(2.0, 5000, Qt::ShiftModifier);
        std::vector<float> after = timeline(rig->noise, rig->seconds);
        const double spot = change(before, after, 2.0 - 0.093, 2.0 + 0.094, 4700, 5300);
        QVERIFY2(spot < -10, qPrintable(QString::number(spot)));
        QVERIFY(largestdifference(before, after, 0, 1.75) < 1e-5);
        QVERIFY(largestdifference(before, after, 2.25, rig->seconds) < 1e-5);

        // A second Shift-click continues from the first in a straight line.
        rig->hover(1.0, 5000);
        rig->press(1.0, 5000, Qt::ShiftModifier);
        rig->release(1.0, 5000, Qt::ShiftModifier);
        after = timeline(rig->noise, rig->seconds);
        const double joined = change(before, after, 1.2, 1.8, 4700, 5300);
        QVERIFY2(joined < -10, qPrintable(QString::number(joined)));

        // Not from the noise layer's last stroke into a fresh layer.
        layer* fresh = nullptr;
        QVERIFY(brushrow("Area", true, fresh));
        rig->hover(2.5, 5000);
        rig->press(2.5, 5000, Qt::ShiftModifier);
        rig->release(2.5, 5000, Qt::ShiftModifier);
        const std::vector<float> extracted = timeline(fresh, rig->seconds);
        const double there = bandenergy(extracted, 2.5 - 0.093, 2.5 + 0.094, 4700, 5300);
        const double between = bandenergy(extracted, 1.2, 2.2, 4700, 5300);
        QVERIFY2(there > 0 && between < 1e-6 * there, qPrintable(numbers(there, between)));
    }

    // Ctrl held at the release: the stroke still commits and stays after the
    // next hover, for the brush that collects in the scratch and for the pen.
    void ctrlReleaseCommits_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("gainbrush") << "Amplify";
        QTest::newRow("tonepen") << "Frequency";
    }
    void ctrlReleaseCommits()
    {
        QFETCH(QString, label);
        const bool pen = label == "Frequency";
        layer* target = pen ? rig->newlayer() : rig->noise;
        if (!pen)
            rig->choose(0);
        ToolInterface* t = rig->tool(label, pen ? "Draw" : "Modify");
        QVERIFY(t);
        if (!pen)
            QVERIFY(StrokeRig::brush(t, 0.2, 2000, 20));
        const double f = pen ? 3000 : 5000;
        const std::vector<float> before = timeline(target, rig->seconds);
        rig->hover(0.5, f);
        rig->press(0.5, f);
        for (int i = 1; i <= 20; ++i)
            rig->drag(0.5 + 0.05 * i, f);
        rig->release(1.5, f, Qt::ControlModifier);
        QTest::keyRelease(rig->view, Qt::Key_Control); // the hand lets go of Ctrl
        rig->hover(2.5, 9000);
        const std::vector<float> after = timeline(target, rig->seconds);
        if (pen) {
            // A tone where the pen went, none elsewhere.
            const double tone = bandenergy(after, 0.7, 1.3, f - 30, f + 30);
            const double other = bandenergy(after, 0.7, 1.3, 2 * f - 30, 2 * f + 30);
            QVERIFY2(tone > 1000 * other && tone > 0, qPrintable(numbers(tone, other)));
        } else {
            const double raised = change(before, after, 0.7, 1.3, 4700, 5300);
            QVERIFY2(std::fabs(raised - 3) < 1.5, qPrintable(QString::number(raised)));
        }
        QCOMPARE(historygui->tree->topLevelItem(historygui->tree->topLevelItemCount() - 1)->text(1), label);
    }

    // A filter at settings that change nothing, and an external editor that
    // changes nothing, leave the layer file as it was, extent included, and
    // no history entry.
    void neutralFiltersLeaveTheLayer_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("routematrix") << "Channels";
        QTest::newRow("gammatrim") << "Level/Gamma/Offset";
        QTest::newRow("editorhandoff") << "External Wave Editor";
    }
    void neutralFiltersLeaveTheLayer()
    {
        QFETCH(QString, label);
        const QDir temp = QDir::temp();
        const QString seen = temp.filePath("editor.seen");
        editor = temp.filePath("editor.sh");
        QFile script(editor);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\ncp \"$1\" \"$(dirname \"$1\")/editor.seen\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        QFile::remove(seen);
        answerfilters(&answerfilter);
        const auto unanswer = qScopeGuard([] { answerfilters(nullptr); });
        rig->choose(0);
        const QByteArray before = filebytes(rig->noise);
        const double start = rig->noise->start, length = rig->noise->length;
        const int entries = historygui->tree->topLevelItemCount();
        QAction* filter = filteraction(rig->window(), label);
        QVERIFY(filter);
        filter->trigger();
        if (label == "External Wave Editor") // ran, and the file it edited was taken back
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(seen) && temp.entryList({"Korvane-*.wav"}).isEmpty(), 60000);
        QCOMPARE(filebytes(rig->noise), before);
        QCOMPARE(rig->noise->start, start);
        QCOMPARE(rig->noise->length, length);
        QCOMPARE(historygui->tree->topLevelItemCount(), entries);
    }

    // A whole layer of a minute through Level/Gamma/Offset: after a moment
    // the wait's window shows the progress with Cancel, and Cancel leaves
    // the layer's file, its extent, the history and the selection as they
    // were. Not cancelled, the same filter changes the layer and makes its
    // entry.
    void cancelledWholeLayerFilterChangesNothing()
    {
        const QString wav = QDir::tempPath() + "/minute.wav";
        QVERIFY(soxfile(wav, 60, {"whitenoise"}, 0.3));
        layersgui->Import(wav, QString());
        QCOMPARE(layersgui->tree->topLevelItemCount(), 2);
        rig->choose(0);
        layer* minute = slottable.bound[1];
        QVERIFY(minute && std::fabs(minute->length - 60) < 0.01);
        const QByteArray before = filebytes(minute);
        const double start = minute->start, length = minute->length;
        const int entries = historygui->tree->topLevelItemCount();
        const QRectF selected = selection;
        answerfilters(&applylouder);
        const auto unanswer = qScopeGuard([] { answerfilters(nullptr); });
        QAction* filter = filteraction(rig->window(), "Level/Gamma/Offset");
        QVERIFY(filter);
        int shown = -1;
        QString title, text;
        QTimer user;
        connect(&user, &QTimer::timeout, [&] {
            auto* wait = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            auto* bar = wait ? wait->findChild<QProgressBar*>() : nullptr;
            if (!bar || bar->value() <= 0 || shown >= 0)
                return;
            shown = bar->value();
            title = wait->windowTitle();
            text = wait->labelText();
            for (QPushButton* button : wait->findChildren<QPushButton*>())
                if (button->text() == "Cancel")
                    button->click();
        });
        user.start(20);
        filter->trigger();
        user.stop();
        QVERIFY2(shown > 0 && shown < 100, qPrintable(QString::number(shown)));
        QCOMPARE(title, QString("Level/Gamma/Offset"));
        QCOMPARE(text, QString("Applying Level/Gamma/Offset..."));
        QVERIFY(filebytes(minute) == before);
        QCOMPARE(minute->start, start);
        QCOMPARE(minute->length, length);
        QCOMPARE(historygui->tree->topLevelItemCount(), entries);
        QCOMPARE(selection, selected);

        selection = QRectF(1.0, 8000, 0.5, -4000);
        emit spectrumgui->outselection(selection);
        filter->trigger();
        QVERIFY(filebytes(minute) != before);
        const int rows = historygui->tree->topLevelItemCount();
        QVERIFY(rows > entries);
        QCOMPARE(historygui->tree->topLevelItem(rows - 1)->text(1), QString("Level/Gamma/Offset"));
        // Written into the layer in place: +6 dB inside the selection only,
        // and its entry undoes and redoes it exactly.
        const QByteArray louder = filebytes(minute);
        const std::vector<float> a = timeline(minute, 3);
        rig->window()->undoact->trigger();
        QVERIFY(filebytes(minute) == before);
        const std::vector<float> b = timeline(minute, 3);
        QVERIFY(std::fabs(change(b, a, 1.1, 1.4, 4500, 7500) - 6) < 0.5);
        QVERIFY(largestdifference(a, b, 0, 0.7) < 1e-5 && largestdifference(a, b, 1.9, 3) < 1e-5);
        rig->window()->redoact->trigger();
        QVERIFY(filebytes(minute) == louder);
    }

    // A strength typed into the eraser's box and applied by the box's pause
    // (its timer) while a long step of a press runs: that step erases at the
    // strength it started with, the next one at the new strength.
    void settingTypedDuringALongStepCountsFromTheNext()
    {
        // Long windows make every step of a wide brush long.
        QComboBox* sizes = rig->window()->fftsizebox;
        sizes->setCurrentIndex(sizes->findData(65536));
        QComboBox* overlaps = rig->window()->fftoverlapbox;
        overlaps->setCurrentIndex(overlaps->findData(16));
        rig->choose(0);
        ToolInterface* t = rig->tool("Eraser");
        QVERIFY(t && StrokeRig::brush(t, 1.0, 2000, 0));
        QDoubleSpinBox* strength = StrokeRig::setting(t, "", "dB");
        QVERIFY(strength);
        strength->setValue(-24);
        bool appliedinstep = false;
        QTimer pause; // the box's own pause, ended while the press's step runs
        connect(&pause, &QTimer::timeout, [&] {
            if (spectrumgui->strokerunning && spectrumgui->toolstroke && strength->value() == -24) {
                strength->interpretText();
                appliedinstep = strength->value() == -6;
            }
        });
        pause.start(0);
        const std::vector<float> before = timeline(rig->noise, rig->seconds);
        rig->hover(1.5, 3000); // a long step too, which must not run the box's own pause
        // Typed right before the press, which takes the settings before any
        // event runs: the box's own pause cannot come in between.
        strength->selectAll();
        QTest::keyClicks(strength, "-6");
        QCOMPARE(strength->value(), -24.0); // typed, not yet applied
        rig->press(1.5, 3000);
        rig->release(1.5, 3000);
        pause.stop();
        QVERIFY2(appliedinstep, "the typed strength was not applied while the press's step ran");
        rig->hover(1.5, 8000);
        rig->press(1.5, 8000);
        rig->release(1.5, 8000);
        const std::vector<float> after = timeline(rig->noise, rig->seconds);
        const double first = change(before, after, 1.2, 1.8, 2600, 3400);
        const double second = change(before, after, 1.2, 1.8, 7600, 8400);
        QVERIFY2(std::fabs(first + 24) < 3 && std::fabs(second + 6) < 2, qPrintable(numbers(first, second)));
    }

    // Strokes that reach past the layer's end: the eraser keeps its extent,
    // an Area stroke over a silent mix leaves a new layer empty, and a tone
    // drawn past the end lengthens it to where the pen was released.
    void strokesPastTheEndKeepTheExtent_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("rubout") << "Eraser";
        QTest::newRow("regionpick") << "Area";
        QTest::newRow("tonepen") << "Frequency";
    }
    void strokesPastTheEndKeepTheExtent()
    {
        QFETCH(QString, label);
        spectrumgui->indisplayarea(QRectF(0, rate / 2.0, 5.0, -rate / 2.0));
        layer* target = label == "Area" ? rig->newlayer() : rig->noise;
        if (target == rig->noise)
            rig->choose(0);
        ToolInterface* t = rig->tool(label, label == "Frequency" ? "Draw" : QString());
        QVERIFY(t);
        if (label != "Frequency")
            QVERIFY(StrokeRig::brush(t, 0.2, 2000, 20));
        const std::vector<float> before = timeline(target, rig->seconds);
        const double start = target->start, length = target->length;
        // Over silence only for the Area stroke: the mix ends at 3 s.
        const double from = label == "Area" ? 3.3 : 2.6;
        rig->stroke(from, 3.5, 3.5, 3000);
        const double released = spectrumgui->mouseposition.x();
        rig->hover(1.0, 9000);
        const std::vector<float> after = timeline(target, rig->seconds);
        QCOMPARE(target->start, start);
        if (label == "Frequency") {
            const double end = target->start + target->length;
            QVERIFY2(std::fabs(end - released) * rate < 2, qPrintable(numbers(end, released)));
            // What the pen added, apart from the noise: the band energy of
            // 0.25 s of white noise alone varies fivefold from file to file.
            std::vector<float> added(after.size());
            for (size_t i = 0; i < added.size(); ++i)
                added[i] = after[i] - before[i];
            const double drawn = bandenergy(added, 2.7, 2.95, 2970, 3030);
            const double stray = bandenergy(added, 2.7, 2.95, 1000, 2000);
            QVERIFY2(drawn > 1000 * stray && drawn > 0.1 * bandenergy(before, 2.7, 2.95, 2970, 3030),
                     qPrintable(numbers(drawn, stray)));
        } else {
            QCOMPARE(target->length, length);
            if (label == "Eraser")
                QVERIFY(change(before, after, 2.7, 2.95, 2700, 3300) < -6);
        }
    }

    // A quick drag along a tone reaches the partial tools as a few events far
    // apart: what lies between them is extracted as well, without a gap.
    void quickDragExtractsTheWholeTone_data()
    {
        QTest::addColumn<QString>("label");
        QTest::newRow("tonepick") << "Frequency";
        QTest::newRow("overtonepick") << "Harmonics";
    }
    void quickDragExtractsTheWholeTone()
    {
        QFETCH(QString, label);
        const QString wav = QDir::tempPath() + "/tone.wav";
        QVERIFY(soxfile(wav, rig->seconds, {"sine", "3000"}, 0.5));
        layersgui->Import(wav, QString());
        QCOMPARE(layersgui->tree->topLevelItemCount(), 2);
        const std::vector<float> tone = timeline(LayersGui::rowlayer(layersgui->tree->topLevelItem(0)), rig->seconds);
        layer* target = rig->newlayer();
        QVERIFY(rig->tool(label, "Extract"));
        rig->stroke(0.5, 2.5, 2.5, 3000, 1.0);
        const std::vector<float> after = timeline(target, rig->seconds);
        // Blocks of two hops (2048 at x4), one hop apart.
        for (size_t at = size_t(0.6 * rate); at + 1024 < size_t(2.4 * rate); at += 512) {
            const double ratio = power(after, 3000, at, 1024) / power(tone, 3000, at, 1024);
            QVERIFY2(ratio > 0.5 && ratio < 2, qPrintable(numbers(double(at) / rate, ratio)));
        }
    }

    // A harmonics stroke over a recording from its first moments to its last
    // at window 8192: the layer extracted lies within the recording, and
    // Export Mix writes the recording's samples with it, no more, in place.
    void extractionAtTheEdgesStaysInTheRecording()
    {
        const QString wav = QDir::tempPath() + "/square.wav";
        QVERIFY(soxfile(wav, rig->seconds, {"square", "1000"}, 0.3));
        layersgui->Import(wav, QString());
        layer* source = LayersGui::rowlayer(layersgui->tree->topLevelItem(0));
        QComboBox* sizes = rig->window()->fftsizebox;
        sizes->setCurrentIndex(sizes->findData(8192));
        QCOMPARE(spectrumgui->fftsize, 8192);
        layer* target = rig->newlayer();
        QVERIFY(rig->tool("Harmonics", "Extract"));
        rig->stroke(0.02, rig->seconds - 0.02, rig->seconds - 0.02, 1000, 0.1);
        const double start = target->spanstart(), end = start + target->spanlength();
        QVERIFY2(end - start > 1 && start >= 0 && end <= rig->seconds + 0.5 / rate, qPrintable(numbers(start, end)));
        std::vector<float> mix = timeline(rig->noise, rig->seconds);
        for (layer* l : {source, target}) {
            const std::vector<float> add = timeline(l, rig->seconds);
            for (size_t i = 0; i < mix.size(); ++i)
                mix[i] += add[i];
        }
        rig->rig->fileanswer = QDir::tempPath() + "/mix.wav";
        rig->window()->exportmixact->trigger();
        layersgui->Import(rig->rig->fileanswer, QString());
        layer* exported = LayersGui::rowlayer(layersgui->tree->topLevelItem(0));
        qInfo("extracted %.4f to %.4f s; Export Mix: %lld frames from %.4f s for %zu", start, end,
              qlonglong(exported->fileframes()), exported->spanstart(), mix.size());
        QCOMPARE(exported->spanstart(), 0.0);
        QCOMPARE(exported->fileframes(), qint64(mix.size()));
        QVERIFY(largestdifference(timeline(exported, rig->seconds), mix, 0, rig->seconds) < 1e-6);
    }

    // A stroke that extracts nothing says why, once: the noise gate before any noise is
    // registered (Reset: the plugin outlives its window), the harmonics outside the
    // selection. Where they take something they say nothing.
    void strokeThatTakesNothingSaysWhy()
    {
        layer* target = rig->newlayer();
        const QByteArray empty = filebytes(target);
        ToolInterface* gate = rig->tool("Noise (Manual Gate)");
        QVERIFY(gate);
        for (auto* button : gate->toolbar->findChildren<QPushButton*>())
            if (button->text() == "Reset")
                button->click();
        rig->stroke(0.5, 1.0, 1.0, 5000);
        QCOMPARE(filebytes(target), empty);
        opengate(*rig, gate);
        rig->stroke(0.5, 1.0, 1.0, 5000);
        const QByteArray gated = filebytes(target);
        QVERIFY(gated != empty);
        selection = QRectF(2.0, 3000, 0.8, -2000);
        emit spectrumgui->outselection(selection);
        ToolInterface* harmonics = rig->tool("Harmonics", "Extract");
        rig->stroke(0.5, 1.0, 1.0, 5000);
        QCOMPARE(filebytes(target), gated);
        rig->stroke(2.2, 2.5, 2.5, 2000);
        QVERIFY(filebytes(target) != gated);
        const QList<PromptRequest>& asked = rig->rig->asked;
        QCOMPARE(asked.size(), 2);
        QVERIFY(asked[0].title == gate->name && asked[0].text.startsWith("No noise is registered"));
        QVERIFY(harmonics && asked[1].title == harmonics->name
                && asked[1].text.startsWith("The stroke lies outside the selected time/frequency area"));
    }

    // A stroke with no layer chosen asks for one without blocking anything:
    // the window goes on taking commands, and the answer makes the layer.
    void noLayerPromptNeverBlocks()
    {
        rig->choose(0);
        ToolInterface* t = rig->tool("Eraser");
        QVERIFY(t);
        layersgui->NoItemClicked(); // the layer is let go, the eraser stays in hand
        QVERIFY(!slottable.bound[1]);
        const QByteArray before = filebytes(rig->noise);
        rig->stroke(1.0, 1.5, 1.5, 5000);
        QMessageBox* box = rig->window()->nolayerbox;
        QVERIFY(box && box->isVisible());
        QCOMPARE(box->windowModality(), Qt::NonModal);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(filebytes(rig->noise), before);

        // The window still answers while the box stands.
        rig->choose(0);
        QCOMPARE(slottable.bound[1], rig->noise);
        QVERIFY(box->isVisible());
        for (QAbstractButton* button : box->buttons())
            if (button->text() == "Yes")
                button->click();
        QCOMPARE(layersgui->tree->topLevelItemCount(), 2);
        QVERIFY(!box->isVisible());
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestBrushStrokes test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_brushstrokes.moc"
