#include <QActionGroup>
#include <QCloseEvent>
#include <QDropEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QDial>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QMimeData>
#include <QMoveEvent>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "app/qtoolbarext.h"
#include "app/qtoolbuttonext.h"
#include "controller/spectrumgui.h"
#include "core/layerhelpers.h"
#include "panels/channelsgui.h"
#include "panels/historygui.h"
#include "panels/qtreewidgetext.h"
#include "panels/layersgui.h"
#include "view/viewcontextmenu.h"
#include "windowrig.h"

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void menusInOrder();
    void contextMenus();
    void actionProperties_data();
    void actionProperties();
    void toolBarsAndDocks();
    void modeButtons();
    void everyLinkReachesItsSlot();
    void historyAndChannelPanelsAreWired();
    void widgetsReachTheController();
    void startValuesAndUnits();
    void layerStateDisablesWithAReason();
    void rowClickLeavesTheVolume();
    void fullScreenToggle();
    void geometryIsKept();
    void dragAndDrop();
    void sessionImportLogLine();
    void closeSequence();
    void styleAndStatus();
};

void TestMainWindow::menusInOrder()
{
    projectmax = 3;
    WindowRig w;
    QStringList titles;
    for (QAction* a : w->menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList{"&File", "&Edit", "&Layer", "Fil&ters", "&Devices", "&Units", "&View", "Lin&k",
                                  "&Help"}));
    QStringList file = menutexts(w->filemenu);
    QCOMPARE(file.mid(0, 11), (QStringList{"&New Project", "&Open Project", "&Recover Session", "&Import Layer",
                                           "&Export Layer", "Export &Mix", "Export to &Caller", "&Save Project",
                                           "Save Project As...", "&Close Project", "—"}));
    QCOMPARE(file.size(), 11 + 3 + 2); // three (hidden) recent entries, a separator, Exit
    QCOMPARE(file.last(), QString("&Exit"));
    QCOMPARE(menutexts(w->editmenu),
             (QStringList{"&Undo", "&Redo", "—", "Snap to grid", "—", "&Delete", "&Cut", "&Copy", "&Paste", "—",
                          "Insert time...", "Remove time...", "—", "Set mouse cursor position...",
                          "Set time cursor position...", "Set select area..."}));
    QCOMPARE(menutexts(w->layermenu),
             (QStringList{"New...", "Properties...", "Duplicate", "Delete [del]", "—", "Calibrate...", "Zoom Extents",
                          "Move Up", "Move Down", "—", "Merge Down", "Merge Active", "Merge All", "—",
                          "Resample Project..."}));
    QStringList units;
    for (QAction* a : w->unitsmenu->actions())
        units << a->text() + ": " + menutexts(a->menu()).join(", ");
    QCOMPARE(units, (QStringList{"Time: mm:ss.ddd, second, sample, window, fourier transform, beat, frame",
                                 "Frequency: Hz, rad/win, deg/win, note, octave", "Power: dB, percent, value",
                                 "Phase Velocity: rad/win, deg/win, Hz"}));
    QCOMPARE(menutexts(w->viewmenu), (QStringList{"&Fullscreen", "—", "Toolbars", "Docks", "&Load layout...",
                                                  "&Save layout...", "—", "&Advanced settings..."}));
    QCOMPARE(menutexts(w->toolbarsmenu), (QStringList{"File", "Edit", "Device Controls", "Spectral Settings", "Tools",
                                                      "Tool Settings"}));
    QCOMPARE(menutexts(w->docksmenu), (QStringList{"History", "Channels", "Layers"}));
    QCOMPARE(menutexts(w->linkmenu), (QStringList{"Cakewalk SONAR...", "Pro Tools/Media Composer...",
                                                  "Samplitude/Sequoia...", "Other DAWs/Samplers..."}));
    QCOMPARE(menutexts(w->helpmenu), (QStringList{"&Content", "&Shortcuts", "Plugins", "Log Output", "About"}));

    projectmax = 0;
    WindowRig none;
    QStringList bare = menutexts(none->filemenu);
    QCOMPARE(bare.mid(9), (QStringList{"&Close Project", "—", "—", "&Exit"}));
    projectmax = 5;
}

void TestMainWindow::contextMenus()
{
    WindowRig w;
    QCOMPARE(menutexts(w->viewcontextmenu), (QStringList{"Snap to grid", "—", "Set mouse cursor position...",
                                                         "Set time cursor position...", "Set select area..."}));
    QCOMPARE(menutexts(w->layeritemmenu),
             (QStringList{"Properties...", "Duplicate", "Delete [del]", "—", "Calibrate...", "Zoom Extents", "Move Up",
                          "Move Down", "—", "Merge Down"}));
    QCOMPARE(menutexts(w->layerlistmenu), (QStringList{"New...", "—", "Merge Active", "Merge All"}));
    // The channel views find their menu by name below the main window.
    QCOMPARE(w->findChild<QMenu*>(viewcontextmenuname), w->viewcontextmenu);
}

void TestMainWindow::actionProperties_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<QKeySequence>>("keys");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("icon");
    using K = QKeySequence;
    const auto std = [](K::StandardKey k) { return K::keyBindings(k); };
    const auto one = [](QKeyCombination k) { return QList<K>{K(k)}; };
    const QList<K> none;
    const QVariant nodata;
    auto row = [&](const char* text, QList<K> keys, const char* tip, QVariant data, bool checkable, bool icon) {
        QTest::newRow(text) << QString(text) << keys << QString(tip) << data << checkable << icon;
    };
    row("&New Project", std(K::New), "Start a new project", nodata, false, true);
    row("&Open Project", std(K::Open), "", nodata, false, true);
    row("&Recover Session", none, "", nodata, false, false);
    row("&Import Layer", none, "Import an audio file into a new layer", nodata, false, true);
    row("Export to &Caller", none, "", nodata, false, false);
    row("&Save Project", std(K::Save), "", nodata, false, true);
    row("Save Project As...", std(K::SaveAs), "", nodata, false, false);
    row("&Close Project", std(K::Close), "Close the current project", nodata, false, false);
    row("&Exit", std(K::Quit), "Exit Korvane", nodata, false, false);
    row("&Undo", std(K::Undo), "Undo previous modification", nodata, false, true);
    row("&Redo", std(K::Redo), "Redo modification", nodata, false, true);
    row("Snap to grid", one(Qt::CTRL | Qt::Key_G), "Snap mouse to units grid", nodata, true, true);
    row("&Select [s]", one(Qt::Key_S), "Select time/frequency area", 0, true, true);
    row("&Select Time [t]", one(Qt::Key_T), "Select time area", 1, true, true);
    row("&Select Frequency [f]", one(Qt::Key_F), "Select frequency area", 2, true, true);
    row("&move [m]", one(Qt::Key_M), "Move clipboard area", 0, true, true);
    row("&move Time [alt+t]", one(Qt::ALT | Qt::Key_T), "Move clipboard area (time)", 1, true, true);
    row("&move Frequency [alt+f]", one(Qt::ALT | Qt::Key_F), "Move clipboard area (frequency)", 2, true, true);
    row("&scale [x]", one(Qt::Key_X), "Move clipboard area", 3, true, true);
    row("&scale Time [ctrl+alt+t]", one(Qt::CTRL | Qt::ALT | Qt::Key_T), "Move clipboard area (time)", 4, true, true);
    row("&scale Frequency [ctrl+alt+f]", one(Qt::CTRL | Qt::ALT | Qt::Key_F), "Move clipboard area (frequency)", 5,
        true, true);
    row("Time Cursor [c]", one(Qt::Key_C), "Define time cursor position", nodata, true, true);
    row("&Pan [p]", one(Qt::Key_P), "Pan view", 0, true, true);
    row("&Pan Time [shift+t]", one(Qt::SHIFT | Qt::Key_T), "Pan view (time)", 1, true, true);
    row("&Pan Frequency [shift+f]", one(Qt::SHIFT | Qt::Key_F), "Pan view (frequency)", 2, true, true);
    row("&Zoom [z]", one(Qt::Key_Z), "Zoom view", 3, true, true);
    row("&Zoom Time [ctrl+t]", one(Qt::CTRL | Qt::Key_T), "Zoom view (time)", 4, true, true);
    row("&Zoom Frequency [ctrl+f]", one(Qt::CTRL | Qt::Key_F), "Zoom view (frequency)", 5, true, true);
    row("3D Displace [d]", one(Qt::Key_D), "3D Displace", nodata, true, true);
    row("&Delete", one(Qt::Key_Delete), "Delete selected layer or area from selected layer", nodata, false, true);
    row("&Cut", std(K::Cut), "Cut area from selected layer to clipboard", nodata, false, true);
    row("&Copy", std(K::Copy), "Duplicate selected layer, or copy an area to clipboard (from mix or selected layer)",
        nodata, false, true);
    row("&Paste", std(K::Paste), "Paste from clipboard to selected layer", nodata, false, true);
    row("Insert time...", none, "Insert time to mix or selected layer)", nodata, false, false);
    row("Remove time...", none, "Remove time from mix or selected layer", nodata, false, false);
    row("New...", one(Qt::CTRL | Qt::SHIFT | Qt::Key_N), "Create an empty layer", nodata, false, true);
    row("Duplicate", one(Qt::CTRL | Qt::Key_D), "Duplicate selected layer", nodata, false, false);
    row("Delete [del]", none, "Delete selected layer", nodata, false, true);
    row("Move Up", one(Qt::SHIFT | Qt::Key_PageUp), "Move selected layer up in the layer list", nodata, false, false);
    row("Merge Active", one(Qt::CTRL | Qt::SHIFT | Qt::Key_E), "Merge all active layers", nodata, false, false);
    row("Resample Project...", none, "Resample whole project (samplerate and channels)", nodata, false, false);
    row("Rewind [home]", one(Qt::Key_Home), "Rewind playback or record", -1, false, true);
    row("Play [space]", one(Qt::Key_Space), "Play mix or selected layer", 0, false, true);
    row("Play from start [shift+space]", one(Qt::SHIFT | Qt::Key_Space), "Play mix or selected layer from start", 1,
        false, true);
    row("Play Clipboard [tab]", one(Qt::Key_Tab), "Play clipboard content", 3, false, true);
    row("Record [ctrl+r]", one(Qt::CTRL | Qt::Key_R), "Record to selected layer", 4, false, true);
    row("&Fullscreen", one(Qt::Key_F11), "", nodata, false, false);
    row("&Content", std(K::HelpContents), "", nodata, false, true);
    row("Log Output", none, "", nodata, false, false);
}

void TestMainWindow::actionProperties()
{
    QFETCH(QString, text);
    QFETCH(QList<QKeySequence>, keys);
    QFETCH(QString, tip);
    QFETCH(QVariant, data);
    QFETCH(bool, checkable);
    QFETCH(bool, icon);
    // One window for every row, in the state where every item shows its own tip.
    static WindowRig* w = [] {
        auto* rig = new WindowRig;
        (*rig)->layerstate(true, true, true);
        return rig;
    }();
    QList<QAction*> found;
    for (QAction* a : (*w)->findChildren<QAction*>())
        if (a->text() == text && a->parent() == w->window.get())
            found << a;
    QCOMPARE(found.size(), 1);
    QAction* a = found.first();
    QCOMPARE(a->shortcuts(), keys);
    QCOMPARE(a->statusTip(), tip);
    QCOMPARE(a->data(), data);
    QCOMPARE(a->isCheckable(), checkable);
    QCOMPARE(!a->icon().isNull(), icon);
}

void TestMainWindow::toolBarsAndDocks()
{
    WindowRig w;
    const QList<QToolBar*> bars = w->findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly);
    QStringList names;
    for (QToolBar* b : bars)
        names << b->objectName();
    QCOMPARE(names, (QStringList{"File", "Edit", "Device Controls", "Spectral Settings", "Tool Settings", "Tools"}));
    QVERIFY(qobject_cast<QToolBarExt*>(w->toolsbar));
    QVERIFY(!qobject_cast<QToolBarExt*>(w->toolsettingsbar));
    QCOMPARE(w->toolBarArea(w->toolsbar), Qt::LeftToolBarArea);
    QCOMPARE(w->spectralbar->allowedAreas(), Qt::TopToolBarArea | Qt::BottomToolBarArea);
    QVERIFY(w->toolBarBreak(w->toolsettingsbar));
    QVERIFY(!w->toolBarBreak(w->editbar));

    const auto contents = [](QToolBar* bar) {
        QStringList list;
        for (QAction* a : bar->actions()) {
            if (a->isSeparator())
                list << "|";
            else if (auto* widget = bar->widgetForAction(a); auto* button = qobject_cast<QToolButton*>(widget))
                list << (button->defaultAction() ? button->defaultAction()->text() : QString("button"));
            else
                list << (widget ? widget->metaObject()->className() : a->text());
        }
        return list;
    };
    QCOMPARE(contents(w->filebar), (QStringList{"&Import Layer", "&Save Project"}));
    QCOMPARE(contents(w->editbar), (QStringList{"&Undo", "&Redo", "|", "&Select [s]", "&move [m]", "&scale [x]", "|",
                                                "Snap to grid", "|", "&Delete", "&Cut", "&Copy", "&Paste"}));
    QCOMPARE(contents(w->devicebar), (QStringList{"Time Cursor [c]", "Rewind [home]", "Play [space]",
                                                  "Record [ctrl+r]", "QSpinBox", "QWidget"}));
    QCOMPARE(contents(w->spectralbar), (QStringList{"QWidget", "|", "QWidget", "QWidget", "|", "&Pan [p]", "&Zoom [z]",
                                                    "3D Displace [d]", "QWidget"}));

    const QList<QDockWidget*> docks = w->findChildren<QDockWidget*>();
    QCOMPARE(docks.size(), 3);
    QCOMPARE(w->historydock->objectName(), QString("History"));
    QCOMPARE(w->historydock->maximumHeight(), 180);
    QCOMPARE(w->channelsdock->maximumHeight(), 150);
    QCOMPARE(w->layersdock->maximumHeight(), QWIDGETSIZE_MAX);
    for (QDockWidget* d : docks) {
        QCOMPARE(w->dockWidgetArea(d), Qt::RightDockWidgetArea);
        QCOMPARE(d->allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
        QVERIFY(!(d->features() & QDockWidget::DockWidgetFloatable));
    }
    QCOMPARE(w->dockOptions(), QMainWindow::AnimatedDocks);
    QCOMPARE(historydockptr, w->historydock);
    QCOMPARE(w->centralWidget()->objectName(), QString("background"));
    QCOMPARE(backgroundwidget, w->centralWidget());
}

void TestMainWindow::modeButtons()
{
    WindowRig w;
    w->layerstate(true, true, true);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), 30000));
    QCOMPARE(menutexts(w->selectbutton->menu()),
             (QStringList{"&Select [s]", "&Select Time [t]", "&Select Frequency [f]"}));
    QCOMPARE(w->selectbutton->defaultAction(), w->selectact[0]);
    for (QAction* a : w->selectact)
        QVERIFY(w->selectbutton->actions().contains(a));
    QVERIFY(w->toolmodes->isExclusive());
    for (QAction* a : {w->selectact[2], w->moveact[1], w->scaleact[0], w->panact[2], w->zoomact[1], w->timecursoract,
                       w->displaceact})
        QVERIFY(w->toolmodes->actions().contains(a));
    QVERIFY(!w->toolmodes->actions().contains(w->snapact));

    // Choosing from the menu makes the action the button's face.
    emit w->selectbutton->triggered(w->selectact[1]);
    QCOMPARE(w->selectbutton->defaultAction(), w->selectact[1]);
    w->toolsettings->addWidget(new QWidget);
    w->toolsettings->setCurrentIndex(1);
    w->selectact[1]->trigger();
    QVERIFY(w->selectact[1]->isChecked());
    QCOMPARE(w->toolsettings->currentIndex(), 0);
    w->zoomact[2]->trigger();
    QVERIFY(!w->selectact[1]->isChecked());

    // Play Clipboard is not a member of the play group.
    QVERIFY(!w->playgroup->actions().contains(w->playclipact));
    QCOMPARE(w->playbutton->defaultAction(), w->playact);
    emit w->playbutton->triggered(w->playstartact);
    QCOMPARE(w->playbutton->defaultAction(), w->playstartact);
    w->inplayreset();
    QCOMPARE(w->playbutton->defaultAction(), w->playact);

    w->intoolreset();
    QVERIFY(!w->toolmodes->checkedAction());
    w->toolsettings->setCurrentIndex(1);
    w->intoolreset(); // nothing checked: the page stays
    QCOMPARE(w->toolsettings->currentIndex(), 1);
}

void TestMainWindow::everyLinkReachesItsSlot()
{
    WindowRig w;
    // Every action, widget and controller signal of the window reaches its
    // receiver: a misspelt or missing signal or slot shows up here by name.
    QStringList open;
    for (const SignalLink& link : w->signallinks().links())
        if (!link.connected)
            open << SignalLinks::describe(link);
    open.removeDuplicates();
    QVERIFY2(open.isEmpty(), qPrintable(open.join("\n")));
    QVERIFY2(w->pendingcalls().isEmpty(), qPrintable(w->pendingcalls().join("\n")));
}

void TestMainWindow::historyAndChannelPanelsAreWired()
{
    WindowRig w;
    // Every link between the controller or the actions and these two panels is
    // made (the layer panel's signals to the history come with that panel).
    int links = 0;
    for (const SignalLink& link : w->signallinks().links())
        if ((link.receiver == historygui || link.receiver == channelsgui || link.sender == historygui
             || link.sender == channelsgui)
            && link.sender != layersgui) {
            QVERIFY2(link.connected, qPrintable(SignalLinks::describe(link)));
            ++links;
        }
    QCOMPARE(links, 11);
    QCOMPARE(w->historydock->widget(), historygui->tree.data());
    QCOMPARE(w->channelsdock->widget(), channelsgui->tree.data());

    // An entry of the controller reaches the history, and the window's Undo and
    // Redo write its chunks back through the controller.
    std::unique_ptr<layer> l(makelayer(8000, 1, 0, 800, ramp));
    const QByteArray original = filebytes(l.get());
    auto* before = new layer(l.get(), 0.01, 0.02);
    const std::vector<float> data(160, 0.5f);
    l->write(data.data(), 0.01, 0.02);
    auto* after = new layer(l.get(), 0.01, 0.02);
    const QByteArray edited = filebytes(l.get());
    const QRectF select(0.01, 0, 0.02, 100);
    emit spectrumgui->outbackuplayer(QPixmap(), "Cut", l.get(), before, after, select);
    QCOMPARE(historygui->tree->topLevelItemCount(), 2);
    QVERIFY(w->isWindowModified());
    w->layerstate(true, true, false);
    w->undoact->trigger();
    QCOMPARE(filebytes(l.get()), original);
    QCOMPARE(selection, QRectF());
    w->redoact->trigger();
    QCOMPARE(filebytes(l.get()), edited);
    QCOMPARE(selection, select);

    emit spectrumgui->outchannels(3);
    emit spectrumgui->outchanneldescription(2, "Front Center");
    emit spectrumgui->outcurrentchannel(2);
    QCOMPARE(channelsgui->tree->topLevelItemCount(), 3);
    QCOMPARE(channelsgui->tree->topLevelItem(2)->text(3), QString("Front Center"));
    QCOMPARE(channelsgui->tree->topLevelItem(2)->font(3).weight(), QFont::Bold);
    selection = QRectF(0, 0, 0, 0);
}

void TestMainWindow::widgetsReachTheController()
{
    WindowRig w;
    w->volumedial->setValue(5);
    QCOMPARE(w->volumespin->value(), 5);
    QCOMPARE(spectrumgui->volumevalue, 5);
    w->volumespin->setValue(7);
    QCOMPARE(w->volumedial->value(), 7);
    emit spectrumgui->outvolume(-3);
    QCOMPARE(w->volumespin->value(), -3);
    QCOMPARE(w->volumedial->value(), -3);

    w->ffttypebox->setCurrentIndex(2);
    QCOMPARE(spectrumgui->ffttype, 2);
    w->fftsizebox->setCurrentIndex(10);
    QCOMPARE(spectrumgui->fftsize, 65536);
    w->zebraslider->setValue(-40);
    QCOMPARE(w->zebraspin->value(), -40);
    QCOMPARE(spectrumgui->zebra, -40);
    w->gammaslider->setValue(35);
    QCOMPARE(w->gammaspin->value(), 3.5);
    w->scrollbox->setChecked(false);
    QCOMPARE(spectrumgui->scroll, 0);
    w->snapact->setChecked(true);
    QCOMPARE(spectrumgui->snap, 1);
}

void TestMainWindow::startValuesAndUnits()
{
    {
        WindowRig w;
        QCOMPARE(spectrumgui->ffttype, 4);
        QCOMPARE(w->fftsizebox->currentText(), QString("2048"));
        QCOMPARE(spectrumgui->fftsize, 2048);
        QCOMPARE(w->fftoverlapbox->currentData().toInt(), 4);
        QCOMPARE(w->multspin->value(), 18);
        QCOMPARE(w->gammaspin->value(), 2.0);
        QCOMPARE(w->dispangle->value(), 180.0);
        QVERIFY(w->pausebox->isChecked() && w->scrollbox->isChecked() && w->smartbox->isChecked());
        QVERIFY(w->clipbox->isHidden());
        QVERIFY(w->gridbox->isChecked() && w->bilinbox->isChecked());
        QVERIFY(!w->loopact->isEnabled() && !w->loopact->isVisible());
        QCOMPARE(w->unitgroups[0]->checkedAction()->text(), QString("mm:ss.ddd"));
        QCOMPARE(w->unitgroups[1]->checkedAction()->text(), QString("Hz"));
        QCOMPARE(w->unitgroups[2]->checkedAction()->text(), QString("dB"));
        QCOMPARE(w->unitgroups[3]->checkedAction()->text(), QString("rad/win"));
        // Choosing a unit stores all four codes.
        w->unitactions[3][2]->trigger();
        QCOMPARE(QSettings().value("unitphase").toFloat(), -10.0f);
        QCOMPARE(QSettings().value("unitfreq").toFloat(), -10.0f);
        w->unitactions[2][1]->trigger();
        QCOMPARE(unitpow, -21.0f);
        // Beat and frame ask for their rate; a cancelled question changes nothing.
        const auto answer = [](bool accept, double value) {
            QTimer::singleShot(0, [=] {
                auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                if (accept) {
                    dialog->setDoubleValue(value);
                    dialog->accept();
                } else {
                    dialog->reject();
                }
            });
        };
        w->unitactions[0][1]->trigger();
        answer(false, 0);
        w->unitactions[0][5]->trigger();
        QCOMPARE(unittime, -1.0f);
        QCOMPARE(w->unitgroups[0]->checkedAction(), w->unitactions[0][1]);
        QCOMPARE(QSettings().value("unittime").toFloat(), -1.0f);
        answer(true, 90);
        w->unitactions[0][5]->trigger();
        QCOMPARE(unittime, 90.0f);
        answer(false, 0);
        w->unitactions[0][6]->trigger();
        QCOMPARE(unittime, 90.0f);
        QCOMPARE(w->unitgroups[0]->checkedAction(), w->unitactions[0][5]);
        // A rate typed beyond the range is taken as its end.
        QTimer::singleShot(0, [] {
            auto* box = QApplication::activeModalWidget()->findChild<QDoubleSpinBox*>();
            box->selectAll();
            QTest::keyClicks(box, "350");
            QTest::keyClick(box, Qt::Key_Return);
        });
        w->unitactions[0][5]->trigger();
        QCOMPARE(unittime, 299.9f);
    }
    QSettings().setValue("unittime", 1500.0f);
    QSettings().setValue("unitpow", -99.0f);
    QSettings().setValue("pause", false);
    WindowRig again;
    QCOMPARE(again->unitgroups[0]->checkedAction()->text(), QString("frame"));
    QVERIFY(!again->unitgroups[2]->checkedAction());
    QCOMPARE(again->unitgroups[3]->checkedAction()->text(), QString("Hz"));
    QVERIFY(!again->pausebox->isChecked());
}

void TestMainWindow::layerStateDisablesWithAReason()
{
    WindowRig w;
    QVERIFY(!w->closeact->isEnabled());
    QCOMPARE(w->closeact->statusTip(), QString("DISABLED: Create or import a layer first."));
    QVERIFY(!w->fftsizebox->isEnabled());
    QVERIFY(!w->historydock->isEnabled());
    QVERIFY(w->importact->isEnabled()); // in no class

    w->layerstate(true, false, true);
    QVERIFY(w->closeact->isEnabled());
    QCOMPARE(w->closeact->statusTip(), QString("Close the current project"));
    QVERIFY(w->copyact->isEnabled());
    QVERIFY(!w->recordact->isEnabled());
    QCOMPARE(w->recordact->statusTip(), QString("DISABLED: Select a layer first."));
    QCOMPARE(w->volumespin->statusTip(), QString("playback volume"));

    w->layerstate(true, true, false);
    QVERIFY(w->recordact->isEnabled());
    QCOMPARE(w->recordact->statusTip(), QString("Record to selected layer"));
    // A tip changed while enabled is the one given back later.
    w->cutact->setStatusTip("changed");
    w->layerstate(false, false, false);
    w->layerstate(false, false, false);
    QCOMPARE(w->cutact->statusTip(), QString("DISABLED: Create or import a layer first."));
    w->layerstate(true, true, true);
    QCOMPARE(w->cutact->statusTip(), QString("changed"));
}

// A click just under a layer's name, on its volume slider beside the handle, selects the
// layer and leaves the volume, as the wheel does. Only the handle dragged changes it.
void TestMainWindow::rowClickLeavesTheVolume()
{
    WindowRig w;
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.window.get(), 30000));
    projectformat = {8000, 1, 0x4};
    layersgui->NewLayer();
    layersgui->NoItemClicked();
    QTreeWidgetItem* row = layersgui->tree->topLevelItem(0);
    auto* slider = qobject_cast<QSlider*>(row->data(3, LayersGui::SliderRole).value<QWidget*>());
    const float& volume = LayersGui::rowlayer(row)->volume;
    QStyleOptionSlider o;
    o.initFrom(slider);
    o.minimum = slider->minimum();
    o.maximum = slider->maximum();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &o, QStyle::SC_SliderHandle, slider);
    const auto at = [&](int x) { return slider->mapTo(w.window.get(), QPoint(x, handle.center().y())); };
    QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, at(handle.left() / 2));
    QCOMPARE(layersgui->currentitem, row);
    // A click on the row's volume box gives it the focus; a mode letter still reaches the editor.
    auto* box = row->data(3, LayersGui::SpinRole).value<QWidget*>();
    QTest::mouseClick(w->windowHandle(), Qt::LeftButton, {}, box->mapTo(w.window.get(), box->rect().center()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_T);
    QCOMPARE(spectrumgui->selectionmode, 1);
    QWheelEvent wheel({4, 4}, slider->mapToGlobal(QPointF(4, 4)), {}, {0, 120}, {}, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(slider, &wheel);
    QCOMPARE(volume, 1.0f);
    QTest::mousePress(w->windowHandle(), Qt::LeftButton, {}, at(handle.center().x()));
    QTest::mouseMove(w->windowHandle(), at(handle.center().x() - 20));
    QTest::mouseRelease(w->windowHandle(), Qt::LeftButton, {}, at(handle.center().x() - 20));
    QVERIFY(volume < 1.0f);
}

void TestMainWindow::fullScreenToggle()
{
    WindowRig w;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), 30000));
    w->channelsdock->close();
    w->fullscreenact->trigger();
    QVERIFY(w->fullscreen);
    QVERIFY(w->windowState() & Qt::WindowFullScreen);
    QVERIFY(w->historydock->isHidden() && w->layersdock->isHidden());
    QCOMPARE(w->filebar->maximumHeight(), 0);
    QVERIFY(w->statusBar()->isHidden());
    QVERIFY(w->toolsbar->isVisible());
    w->on_fullscreen();
    QVERIFY(!w->fullscreen);
    QVERIFY(!(w->windowState() & Qt::WindowFullScreen));
    QVERIFY(w->channelsdock->isVisible()); // all three come back
    QCOMPARE(w->spectralbar->maximumHeight(), QWIDGETSIZE_MAX);
    QCOMPARE(w->spectralbar->minimumHeight(), 0);
    QVERIFY(w->statusBar()->isVisible());
}

void TestMainWindow::geometryIsKept()
{
    WindowRig w;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get(), 30000));
    w->resize(900, 600);
    QTRY_COMPARE_WITH_TIMEOUT(QSettings().value("size").toSize(), QSize(900, 600), 30000);
    QCOMPARE(QSettings().value("maximized").toBool(), false);
    // Moving while maximised writes only the flag.
    w->setWindowState(Qt::WindowMaximized);
    QMoveEvent moved(QPoint(300, 300), QPoint(0, 0));
    QApplication::sendEvent(w.window.get(), &moved);
    QVERIFY(QSettings().value("maximized").toBool());
    QCOMPARE(QSettings().value("size").toSize(), QSize(900, 600));
    // Nothing is written in full screen.
    w->setWindowState(Qt::WindowNoState);
    w->on_fullscreen();
    QSettings().remove("maximized");
    QApplication::sendEvent(w.window.get(), &moved);
    QVERIFY(!QSettings().contains("maximized"));
    w->on_fullscreen();
}

void TestMainWindow::dragAndDrop()
{
    WindowRig w;
    QMimeData text;
    text.setText("plain");
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.window.get(), &refused);
    QVERIFY(!refused.isAccepted());
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/tmp/a.wav")});
    QDragEnterEvent taken(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.window.get(), &taken);
    QVERIFY(taken.isAccepted());
    QSignalSpy dropped(w.window.get(), &MainWindow::dropUrl);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.window.get(), &drop);
    QCOMPARE(dropped.count(), 1);
    QCOMPARE(dropped.at(0).at(0).value<QList<QUrl>>(), QList<QUrl>{QUrl::fromLocalFile("/tmp/a.wav")});
}

void TestMainWindow::sessionImportLogLine()
{
    WindowRig w;
    w->sessionimport("");
    w->sessionimport("x");
    w->sessionimport("/no/such/file.wav");
    const QStringList lines = plainloglines(logfilepath());
    QCOMPARE(lines.filter("session import").size(), 1);
    QVERIFY(lines.contains("session import /no/such/file.wav"));
}

void TestMainWindow::closeSequence()
{
    WindowRig w;
    w->callerpath = "/tmp/caller.wav";
    w.answer = QMessageBox::Cancel;
    QVERIFY(!w->close());
    QCOMPARE(w.asked.size(), 1);
    QCOMPARE(w.asked.at(0).title, QString("Exiting"));
    QCOMPARE(w.asked.at(0).text, QString("Export back to the caller program ?"));
    QCOMPARE(w.asked.at(0).buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(w.asked.at(0).defaultbutton, QMessageBox::NoButton);
    QVERIFY(spectrumgui && layersgui);
    QVERIFY(!plainloglines(logfilepath()).contains("exiting"));
    // Asked again on the next close.
    w.answer = QMessageBox::No;
    QVERIFY(w->close());
    QCOMPARE(w.asked.size(), 2);
    QVERIFY(!spectrumgui && !layersgui && !historygui && !channelsgui);
    QVERIFY(plainloglines(logfilepath()).contains("exiting"));
    // A later close touches nothing that is gone.
    QCloseEvent again;
    QApplication::sendEvent(w.window.get(), &again);
    QVERIFY(again.isAccepted());
    QCOMPARE(w.asked.size(), 2);
}

void TestMainWindow::styleAndStatus()
{
    WindowRig w;
    const QString sheet = qApp->styleSheet();
    QVERIFY(sheet.contains("QWidget#background"));
    qApp->setStyleSheet(QString()); // the style under the sheet
    QCOMPARE(QApplication::style()->name(), QString("fusion"));
    qApp->setStyleSheet(sheet);
    QCOMPARE(QApplication::palette().color(QPalette::Active, QPalette::Light), QColor("darkGray"));
    QCOMPARE(w->statusBar()->currentMessage(), QString("No project loaded"));
    QCOMPARE(w->windowFilePath(), QString("Untitled.kvp"));
    QVERIFY(plainloglines(logfilepath()).contains("initialization finished"));
    QVERIFY(QCoreApplication::libraryPaths().contains(rootpath + "/Plugins/Tools"));
    QVERIFY(QCoreApplication::libraryPaths().size() > 6); // Qt's own folders stay
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
