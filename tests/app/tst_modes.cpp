// The interaction modes through the whole window: each mode action switches
// its mode and cursor, the mouse on a view then selects, pans, zooms, moves
// the time cursor or the displacement, and the three numeric dialogs set the
// pointer, the time cursor and the selection. Numbers typed into the window's
// boxes are taken whole.
#include <QAction>
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include "editrig.h"
#include "sdk/fitsize.h"

namespace {

bool samecursor(const QCursor& cursor, const char* image)
{
    return cursor.pixmap().toImage() == QPixmap(QString::fromLatin1(image)).toImage();
}

bool near(double a, double b, double tolerance)
{
    return std::fabs(a - b) <= tolerance;
}

} // namespace

class TestModes : public QObject
{
    Q_OBJECT
    std::unique_ptr<EditRig> edit;

private slots:
    // One window for all: building and closing one takes seconds, and every
    // case starts from the state set below.
    void initTestCase()
    {
        edit = std::make_unique<EditRig>(2, 3.0, sine(1000));
        QVERIFY(edit->view(0) && edit->view(1));
    }
    void init()
    {
        QVERIFY(edit);
        MainWindow* w = edit->window();
        if (spectrumgui->panzoommode >= 0 || spectrumgui->selectionmode >= 0 || spectrumgui->movescalemode >= 0
            || spectrumgui->displacemode != 0 || spectrumgui->timecursormode != 0)
            spectrumgui->escapeKey();
        for (int i = 0; i < 3; ++i)
            for (QAction* a : {w->selectact[i], w->panact[i], w->zoomact[i], w->moveact[i], w->scaleact[i]})
                a->setChecked(false);
        w->displaceact->setChecked(false);
        w->timecursoract->setChecked(false);
        QCOMPARE(spectrumgui->panzoommode, -1);
        QCOMPARE(spectrumgui->selectionmode, -1);
        QCOMPARE(spectrumgui->movescalemode, -1);
        QCOMPARE(spectrumgui->displacemode, 0);
        QCOMPARE(spectrumgui->timecursormode, 0);
        for (int channel = 0; channel < 2; ++channel)
            spectrumgui->inchannelactive(channel, true);
        spectrumgui->indisplayarea(QRectF(0, 22050, 3, -22050));
        selection = QRectF(0, 0, 0, 0);
        spectrumgui->timecursor = 0;
        spectrumgui->setdevicetime(0);
        QCOMPARE(spectrumgui->displayarea, QRectF(0, 22050, 3, -22050));
    }
    void cleanupTestCase() { edit.reset(); }

    void actionsSwitchModeAndCursor_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("image");
        for (int i = 0; i < 3; ++i) {
            QTest::addRow("select %d", i) << "select" << i << i << ":/cursors/select.png";
            QTest::addRow("pan %d", i) << "pan" << i << i << ":/cursors/hand.png";
            QTest::addRow("zoom %d", i) << "zoom" << i << i + 3 << ":/cursors/zoom.png";
            QTest::addRow("move %d", i) << "move" << i << i << ":/cursors/move.png";
            QTest::addRow("scale %d", i) << "scale" << i << i + 3 << ":/cursors/scale.png";
        }
    }

    void actionsSwitchModeAndCursor()
    {
        QFETCH(QString, family);
        QFETCH(int, index);
        QFETCH(int, mode);
        QFETCH(QString, image);
        MainWindow* w = edit->window();
        QAction* action = family == "select" ? w->selectact[index]
                          : family == "pan"  ? w->panact[index]
                          : family == "zoom" ? w->zoomact[index]
                          : family == "move" ? w->moveact[index]
                                             : w->scaleact[index];
        int* member = family == "select"                      ? &spectrumgui->selectionmode
                      : family == "pan" || family == "zoom" ? &spectrumgui->panzoommode
                                                              : &spectrumgui->movescalemode;
        QSignalSpy cursors(spectrumgui, &SpectrumGui::outmousecursor);
        action->trigger();
        QVERIFY(action->isChecked());
        QCOMPARE(*member, mode);
        QVERIFY(samecursor(spectrumgui->cursor, image.toLatin1()));
        QVERIFY(!cursors.isEmpty());
        QVERIFY(samecursor(cursors.last()[0].value<QCursor>(), image.toLatin1()));
        // The views show it too.
        QVERIFY(samecursor(edit->view(1)->mousecursor, image.toLatin1()));

        // Unchecked again (as Escape does): the mode is off.
        action->setChecked(false);
        QCOMPARE(*member, -1);
    }

    void oneModeReplacesAnother()
    {
        MainWindow* w = edit->window();
        w->panact[0]->trigger();
        QCOMPARE(spectrumgui->panzoommode, 0);
        w->zoomact[2]->trigger();
        QCOMPARE(spectrumgui->panzoommode, 5);
        QVERIFY(!w->panact[0]->isChecked());
        w->panact[1]->trigger();
        QCOMPARE(spectrumgui->panzoommode, 1);
        QVERIFY(samecursor(spectrumgui->cursor, ":/cursors/hand.png"));

        // The old action's "off" arriving after the new one's "on" keeps the new mode.
        QAction pan, zoom;
        pan.setCheckable(true);
        zoom.setCheckable(true);
        pan.setData(0);
        zoom.setData(3);
        connect(&pan, &QAction::toggled, spectrumgui, &SpectrumGui::inpanzoom);
        connect(&zoom, &QAction::toggled, spectrumgui, &SpectrumGui::inpanzoom);
        pan.setChecked(true);
        zoom.setChecked(true);
        pan.setChecked(false);
        QCOMPARE(spectrumgui->panzoommode, 3);
        zoom.setChecked(false);
        QCOMPARE(spectrumgui->panzoommode, -1);
    }

    void displaceAndTimeCursorSwitches()
    {
        MainWindow* w = edit->window();
        QSignalSpy displace(spectrumgui, &SpectrumGui::outdisplace);
        w->displaceact->trigger();
        QCOMPARE(spectrumgui->displacemode, 1);
        QCOMPARE(edit->view(0)->displace, 1);
        QVERIFY(samecursor(spectrumgui->cursor, ":/cursors/displace.png"));
        w->displaceact->setChecked(false);
        QCOMPARE(spectrumgui->displacemode, 0);
        QCOMPARE(displace.count(), 2);
        QCOMPARE(displace.last()[0].toInt(), 0);
        QCOMPARE(edit->view(1)->displace, 0);
        // Off keeps the cursor until another mode sets its own.
        QVERIFY(samecursor(spectrumgui->cursor, ":/cursors/displace.png"));

        w->timecursoract->trigger();
        QCOMPARE(spectrumgui->timecursormode, 1);
        QVERIFY(samecursor(spectrumgui->cursor, ":/cursors/time.png"));
        w->timecursoract->setChecked(false);
        QCOMPARE(spectrumgui->timecursormode, 0);
    }

    void escapeDropsTheMode()
    {
        edit->window()->zoomact[0]->trigger();
        QCOMPARE(spectrumgui->panzoommode, 3);
        spectrumgui->escapeKey();
        QCOMPARE(spectrumgui->panzoommode, -1);
        QVERIFY(!edit->window()->zoomact[0]->isChecked());
    }

    void selectionModesDrawWithTheMouse()
    {
        MainWindow* w = edit->window();
        w->selectact[0]->trigger();
        edit->drag(1.0, 3000, 2.0, 6000);
        QVERIFY2(near(selection.x(), 1.0, 0.01) && near(selection.width(), 1.0, 0.01), describe(selection));
        QVERIFY2(near(selection.y(), 6000, 60) && near(selection.height(), -3000, 60), describe(selection));
        QVERIFY(near(spectrumgui->timecursor, selection.x(), 1e-9));

        // Time: the whole band; frequency: the whole project in time.
        w->selectact[1]->trigger();
        edit->drag(1.5, 3000, 2.5, 9000);
        QVERIFY2(near(selection.x(), 1.5, 0.01) && near(selection.width(), 1.0, 0.01), describe(selection));
        QCOMPARE(selection.y(), 44100.0);
        QCOMPARE(selection.height(), -44100.0);
        w->selectact[2]->trigger();
        edit->drag(0.5, 2000, 0.8, 4000);
        QCOMPARE(selection.x(), 0.0);
        QVERIFY(near(selection.width(), 3.0, 1e-9));
        QVERIFY2(near(selection.y(), 4000, 60) && near(selection.height(), -2000, 60), describe(selection));
    }

    void panAndZoomFollowTheMouse()
    {
        MainWindow* w = edit->window();
        spectrumgui->indisplayarea(QRectF(1.0, 16000, 1.0, -8000));
        w->panact[1]->trigger();
        // The content follows the pointer: dragging left by 0.25 s shows later times.
        edit->drag(1.6, 12000, 1.35, 10000);
        QVERIFY2(near(spectrumgui->displayarea.x(), 1.25, 0.005), describe(spectrumgui->displayarea));
        QCOMPARE(spectrumgui->displayarea.y(), 16000.0);
        // (The shell's edge boxes echo the edges in whole milliseconds.)
        QVERIFY(near(spectrumgui->displayarea.width(), 1.0, 0.002));

        w->zoomact[1]->trigger();
        // Left by a third of the visible length doubles it, about the pointer.
        const QRectF before = spectrumgui->displayarea;
        edit->drag(1.75, 12000, 1.75 - before.width() / 3, 12000, 1);
        QVERIFY2(near(spectrumgui->displayarea.width(), 2 * before.width(), 0.01), describe(spectrumgui->displayarea));
        QCOMPARE(spectrumgui->displayarea.height(), before.height());
    }

    void timeCursorModePlacesTheCursor()
    {
        edit->window()->timecursoract->trigger();
        QSignalSpy cursors(spectrumgui, &SpectrumGui::outdevicecursor);
        edit->mouse(QEvent::MouseMove, 2.2, 5000, Qt::NoButton, Qt::NoButton);
        QCOMPARE(cursors.count(), 0);
        edit->mouse(QEvent::MouseButtonPress, 2.2, 5000, Qt::LeftButton, Qt::LeftButton);
        QVERIFY(near(spectrumgui->timecursor, 2.2, 0.005));
        QCOMPARE(spectrumgui->devicetime(), spectrumgui->timecursor);
        QVERIFY(!cursors.isEmpty());
        QCOMPARE(selection, QRectF(0, 0, 0, 0));
    }

    void displaceModeDragsTheDisplacement()
    {
        if (!GLChannel::glsl || !GLChannel::fullext)
            QSKIP("the displacement needs the full OpenGL tier");
        edit->window()->displaceact->trigger();
        const QPointF before = spectrumgui->displacement;
        edit->drag(1.0, 8000, 1.05, 7000, 4);
        QVERIFY(spectrumgui->displacement != before);
        QCOMPARE(selection, QRectF(0, 0, 0, 0));
    }

    void mouseCursorDialog()
    {
        QStringList shown, cut;
        whendialog<QDialog>([&](QDialog* dialog) {
            shown << dialog->windowTitle();
            auto* time = boxwithprefix<QDoubleSpinBox>(dialog, "time: ");
            auto* frequency = boxwithprefix<QDoubleSpinBox>(dialog, "frequency: ");
            auto* channel = boxwithprefix<QSpinBox>(dialog, "channel: ");
            // Starts in the middle of the visible area; every channel can be chosen.
            shown << QString::number(time->value()) << QString::number(frequency->value())
                  << QString::number(channel->maximum());
            for (QAbstractSpinBox* box : dialog->findChildren<QAbstractSpinBox*>())
                cut << (box->fontMetrics().horizontalAdvance(box->text()) > fitsize::textfield(box) ? box->text() : "");
            time->setValue(1.5);
            frequency->setValue(4000);
            channel->setValue(1);
            pressok(dialog);
        });
        edit->window()->setmouseact->trigger();
        QCOMPARE(shown, (QStringList{"Mouse cursor position", "1.5", "11025", "1"}));
        QCOMPARE(cut, QStringList(3, "")); // every value shown whole
        QCOMPARE(spectrumgui->mouseposition, QPointF(1.5, 4000));
        // The system pointer stands on that point of channel 1's view.
        const QPoint expected = edit->view(1)->mapToGlobal(edit->pixel(1.5, 4000, 1).toPoint());
        QVERIFY2((QCursor::pos() - expected).manhattanLength() <= 2,
                 qPrintable(QString("%1,%2").arg(QCursor::pos().x()).arg(QCursor::pos().y())));

        // Outside the visible area nothing happens: the pointer stays.
        const QPoint placed = QCursor::pos();
        spectrumgui->indisplayarea(QRectF(0, 10000, 2, -10000));
        whendialog<QDialog>([&](QDialog* dialog) {
            boxwithprefix<QDoubleSpinBox>(dialog, "time: ")->setValue(2.5);
            pressok(dialog);
        });
        spectrumgui->insnapnumeric();
        QCOMPARE(QCursor::pos(), placed);
        QVERIFY(spectrumgui->mouseposition.x() != 2.5);
        // Nor for a channel that is switched off.
        spectrumgui->inchannelactive(1, false);
        whendialog<QDialog>([&](QDialog* dialog) {
            boxwithprefix<QSpinBox>(dialog, "channel: ")->setValue(1);
            pressok(dialog);
        });
        spectrumgui->insnapnumeric();
        QCOMPARE(QCursor::pos(), placed);
    }

    void timeCursorDialog()
    {
        spectrumgui->timecursor = 1.0;
        spectrumgui->setdevicetime(2.0);
        QSignalSpy cursors(spectrumgui, &SpectrumGui::outdevicecursor);
        double offered = -1;
        whendialog<QInputDialog>([&](QInputDialog* dialog) {
            offered = dialog->doubleValue();
            dialog->setDoubleValue(1.25);
            dialog->accept();
        });
        edit->window()->settimecursoract->trigger();
        // It starts from the transport position, not from the time cursor.
        QCOMPARE(offered, 2.0);
        QCOMPARE(spectrumgui->timecursor, 1.25);
        QCOMPARE(spectrumgui->devicetime(), 1.25);
        QCOMPARE(cursors.count(), 1);
        QCOMPARE(cursors[0][0].toDouble(), 1.25);
        QCOMPARE(cursors[0][1].toInt(), 3);

        whendialog<QInputDialog>([](QInputDialog* dialog) {
            dialog->setDoubleValue(0.5);
            dialog->reject();
        });
        spectrumgui->intimecursornumeric();
        QCOMPARE(spectrumgui->timecursor, 1.25);
        QCOMPARE(cursors.count(), 1);
    }

    void selectAreaDialog()
    {
        QSignalSpy selections(spectrumgui, &SpectrumGui::outselection);
        QList<double> offered;
        answerselectarea(&offered);
        edit->window()->setselectact->trigger();
        // No selection: four zeros, and taking them leaves no selection.
        QCOMPARE(offered, (QList<double>{0, 0, 0, 0}));
        QCOMPARE(selection, QRectF(0, 0, 0, 0));
        QCOMPARE(selections.count(), 1);

        const double cursor = spectrumgui->timecursor;
        answerselectarea(nullptr, {0.5, 1.75, 500, 1500});
        spectrumgui->inselectionnumeric();
        QCOMPARE(selection, QRectF(0.5, 1500, 1.25, -1000));
        QCOMPARE(selections.last()[0].toRectF(), selection);
        QCOMPARE(spectrumgui->timecursor, cursor);

        // Shown back as it is; typed backwards it is stored as typed.
        offered.clear();
        answerselectarea(&offered, {2, 1, 300, 200});
        spectrumgui->inselectionnumeric();
        QCOMPARE(offered, (QList<double>{0.5, 1.75, 500, 1500}));
        QCOMPARE(selection, QRectF(2, 200, -1, 100));

        // Cancelled: nothing changes.
        whendialog<QDialog>([](QDialog* dialog) {
            boxwithprefix<QDoubleSpinBox>(dialog, "start: ")->setValue(0);
            dialog->reject();
        });
        const int count = selections.count();
        spectrumgui->inselectionnumeric();
        QCOMPARE(selection, QRectF(2, 200, -1, 100));
        QCOMPARE(selections.count(), count);
    }

    // Every number box of the window, the tools' and filters' settings among
    // them: a number typed beyond the range is applied as the range's end,
    // never as the part of it that fitted. (What a receiver makes of it, as
    // the view's bounds do of the display fields, is the receiver's.)
    void typedNumbersBeyondTheRangeEndThere()
    {
        int checked = 0;
        for (QAbstractSpinBox* box : edit->window()->findChildren<QAbstractSpinBox*>()) {
            const bool whole = box->inherits("QSpinBox");
            if ((!whole && !box->inherits("QDoubleSpinBox")) || !box->isEnabled())
                continue;
            const double low = box->property("minimum").toDouble(), high = box->property("maximum").toDouble();
            const QVariant kept = box->property("value");
            // Beyond each end, with other digits than the end's own; a box
            // that takes nothing negative takes no minus sign.
            for (const auto& [end, typed] : {std::pair{high, (std::fabs(high) + 1) * 7},
                                             std::pair{low, low < 0 ? -(std::fabs(low) + 1) * 7 : 0.0}}) {
                if (end == low && low == 0)
                    continue;
                QSignalSpy applied(box, whole ? SIGNAL(valueChanged(int)) : SIGNAL(valueChanged(double)));
                box->selectAll();
                QTest::keyClicks(box, QString::number(typed, 'f', 0));
                QTest::keyClick(box, Qt::Key_Return);
                bool took = applied.isEmpty() && box->property("value").toDouble() == end;
                for (const QList<QVariant>& v : applied)
                    took = took || v.first().toDouble() == end;
                QVERIFY2(took, (box->toolTip() + " " + box->text()).toUtf8());
            }
            box->setProperty("value", kept);
            ++checked;
        }
        QVERIFY2(checked > 60, QByteArray::number(checked));
    }

    // A typed time applies when it is complete, at any typing speed and
    // across a pause: the box does not rewrite itself under the hand.
    void typedTimesAreTakenWhole_data()
    {
        QTest::addColumn<int>("delay"); // ms between keys; -1: a pause after the first
        QTest::newRow("30 ms") << 30;
        QTest::newRow("250 ms") << 250;
        QTest::newRow("pause") << -1;
    }
    void typedTimesAreTakenWhole()
    {
        QFETCH(int, delay);
        MainWindow* w = edit->window();
        for (const auto& [box, text] : {std::pair{w->dispend, QString("2.05")}, std::pair{w->dispstart, QString("1.95")}}) {
            box->selectAll();
            if (delay < 0) {
                QSignalSpy applied(box, &QDoubleSpinBox::valueChanged);
                QTest::keyClicks(box, text.left(1));
                QVERIFY(applied.wait(30000));
                QTest::keyClicks(box, text.mid(1));
            } else {
                QTest::keyClicks(box, text, Qt::NoModifier, delay);
            }
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(box->value(), text.toDouble()); // and what the controller sent back
        }
    }

    // A range typed and applied with Return gives the keyboard back to the editor: T then
    // selects time. A field that only holds the focus passes the letters on too.
    void typedRangeThenModeLetter()
    {
        edit->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(edit->window(), 30000));
        QDoubleSpinBox* end = edit->window()->dispend;
        end->setFocus();
        end->selectAll();
        QTest::keyClicks(end, "2.5");
        // While the field is typed in, its letters are its own.
        QTest::keyClick(end, Qt::Key_T);
        QCOMPARE(spectrumgui->selectionmode, -1);
        QTest::keyClick(end, Qt::Key_Return);
        QVERIFY(near(spectrumgui->displayarea.right(), 2.5, 0.001));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_T);
        QCOMPARE(spectrumgui->selectionmode, 1);
        edit->drag(0.5, 3000, 1.5, 6000);
        QVERIFY2(near(selection.x(), 0.5, 0.01) && near(selection.width(), 1.0, 0.01), describe(selection));
        QCOMPARE(selection.height(), -44100.0);
        end->setFocus();
        QTest::keyClick(end, Qt::Key_S);
        QCOMPARE(spectrumgui->selectionmode, 0);
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestModes test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_modes.moc"
