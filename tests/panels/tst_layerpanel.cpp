// The layer panel in the main window: the hand-over from the shell, rows and
// their controls, the current row with its bindings, keys, context menus,
// row styles and the layer state the window shows.
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QShortcut>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "panelrig.h"
#include "panels/importchoice.h"
#include "panels/rowstyle.h"
#include "view/glchannel.h"


class TestLayerPanel : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        colormix = QColor(0, 255, 0);
        colorselect = QColor(255, 0, 0);
    }

    void handOverFromTheShell()
    {
        PanelRig r;
        LayersGui* panel = r.panel();
        MainWindow* w = r.window();
        QCOMPARE(panel->itemmenu, w->layeritemmenu);
        QCOMPARE(panel->emptymenu, w->layerlistmenu);
        for (const QString& call : w->pendingcalls())
            QVERIFY2(!call.startsWith("LayersGui::"), qPrintable(call));
        // The tree and, below it, the button bar with "New..." left of "Delete [del]".
        QWidget* content = w->layersdock->widget();
        QVERIFY(content);
        QCOMPARE(panel->tree->parentWidget(), content);
        QCOMPARE(panel->panellayout->count(), 2);
        QWidget* bar = panel->panellayout->itemAt(1)->widget();
        QVERIFY(bar);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w, 30000));
        const QList<QToolButton*> buttons = bar->findChildren<QToolButton*>();
        QCOMPARE(buttons.size(), 2);
        QToolButton* left = buttons.at(0)->x() < buttons.at(1)->x() ? buttons.at(0) : buttons.at(1);
        QToolButton* right = left == buttons.at(0) ? buttons.at(1) : buttons.at(0);
        QCOMPARE(left->defaultAction(), w->newlayeract);
        QCOMPARE(right->defaultAction(), w->deletelayeract);
        QCOMPARE(right->size(), QSize(20, 20));
        QVERIFY(right->geometry().right() > bar->width() - 5);

        QTreeWidgetItem* header = panel->tree->headerItem();
        QCOMPARE(header->text(3), QString("Name / Volume"));
        QCOMPARE(header->toolTip(0), QString("Active"));
        QCOMPARE(header->toolTip(1), QString("Solo"));
        QCOMPARE(header->toolTip(2), QString("Additive or substractive mix"));
        QCOMPARE(header->toolTip(3), QString("Layer name and volume"));
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(panel->tree->columnWidth(c), 24);
            QVERIFY(!header->icon(c).isNull());
        }

        // Every link of the window to or from the panel names a method the
        // panel has, and is made whenever the other side has its method too.
        int panellinks = 0;
        for (const SignalLink& link : w->signallinks().links()) {
            const bool fromus = link.sender == panel;
            if (!fromus && link.receiver != panel)
                continue;
            ++panellinks;
            const bool ours = fromus ? panel->metaObject()->indexOfSignal(link.signal) >= 0
                                     : panel->metaObject()->indexOfMethod(link.method) >= 0;
            QVERIFY2(ours, qPrintable(SignalLinks::describe(link)));
            const bool theirs = fromus ? link.receiver && link.receiver->metaObject()->indexOfMethod(link.method) >= 0
                                       : link.sender && link.sender->metaObject()->indexOfSignal(link.signal) >= 0;
            QVERIFY2(link.connected || !theirs, qPrintable(SignalLinks::describe(link)));
        }
        QVERIFY(panellinks >= 20);
        // The "New..." button runs the panel's command: the dialog opens.
        bool opened = false;
        whendialog<QDialog>([&](QDialog* dialog) {
            opened = dialog->windowTitle() == "Create New Layer";
            dialog->reject();
        });
        left->click();
        QVERIFY(opened);
        QCOMPARE(r.rows(), 0);
    }

    void rowsAndTheirControls()
    {
        PanelRig r;
        project(r, 2);
        QTreeWidgetItem* item = r.item(0);
        QCOMPARE(item->flags(), Qt::ItemIsEnabled);
        QCOMPARE(item->sizeHint(0), QSize(16, 24));
        QCOMPARE(item->sizeHint(1), QSize(16, 24));
        QVERIFY(!item->icon(0).isNull()); // active
        QVERIFY(item->icon(1).isNull());  // not current
        QVERIFY(!item->icon(2).isNull()); // additive
        QWidget* widget = r.part<QWidget>(0, LayersGui::WidgetRole);
        QCOMPARE(widget, r.panel()->tree->itemWidget(item, 3));
        QCOMPARE(widget->objectName(), QString("layer"));
        QCOMPARE(widget->height(), 24);
        auto* label = r.part<QLabel>(1, LayersGui::LabelRole);
        QCOMPARE(label->text(), QString("B")); // named in the dialog
        QVERIFY(!label->isEnabled());
        auto* slider = r.part<QSlider>(0, LayersGui::SliderRole);
        auto* spin = r.part<QDoubleSpinBox>(0, LayersGui::SpinRole);
        QCOMPARE(slider->minimum(), -600);
        QCOMPARE(slider->maximum(), 120);
        QCOMPARE(slider->value(), 0);
        QCOMPARE(spin->value(), 0.0);
        QCOMPARE(spin->suffix(), QString("dB"));
        QCOMPARE(spin->decimals(), 1);
        QCOMPARE(spin->objectName(), QString("compact"));

        // A layer with a volume of its own shows it in both controls, and
        // building its row changes nothing.
        auto* loud = new layer();
        loud->resample(8000, 2, 0);
        loud->volume = float(std::exp2(-12.5 / 6));
        r.window()->setWindowModified(false);
        r.panel()->inaddlayer(loud, 2);
        QCOMPARE(r.part<QSlider>(2, LayersGui::SliderRole)->value(), -125);
        QCOMPARE(r.part<QDoubleSpinBox>(2, LayersGui::SpinRole)->value(), -12.5);
        QCOMPARE(loud->volume, float(std::exp2(-12.5 / 6)));
        QVERIFY(!r.window()->isWindowModified());
        // One stored louder than the slider reaches keeps its volume: the box
        // shows it, the slider stands at its end.
        auto* louder = new layer();
        louder->resample(8000, 2, 0);
        louder->volume = float(std::exp2(100.0 / 6));
        r.panel()->inaddlayer(louder, 3);
        QCOMPARE(r.part<QDoubleSpinBox>(3, LayersGui::SpinRole)->value(), 100.0);
        QCOMPARE(r.part<QSlider>(3, LayersGui::SliderRole)->value(), 120);
        QCOMPARE(louder->volume, float(std::exp2(100.0 / 6)));
    }

    void volumeControlsFollowEachOtherAndTheMix()
    {
        PanelRig r;
        project(r, 3);
        click(r, 2, 3); // C current; A and B in the mix
        r.window()->setWindowModified(false);
        auto* spin = r.part<QDoubleSpinBox>(0, LayersGui::SpinRole);
        auto* slider = r.part<QSlider>(0, LayersGui::SliderRole);
        spin->setValue(2.3);
        QCOMPARE(slider->value(), 23);
        QCOMPARE(r.at(0)->volume, float(std::exp2(2.3 / 6)));
        QVERIFY(r.window()->isWindowModified());
        checkbindings(r);

        slider->setValue(-600);
        QCOMPARE(spin->value(), -60.0);
        QCOMPARE(r.at(0)->volume, float(std::exp2(-10.0)));
        checkbindings(r);

        // Beyond the slider's reach the typed value holds, in the box and the
        // mix; beyond the box's it is taken as the box's end.
        for (auto [typed, held] : {std::pair{"20", 20.0}, {"-100", -100.0}, {"-250", -200.0}, {"250", 200.0}}) {
            spin->selectAll();
            QTest::keyClicks(spin, typed);
            QTest::keyClick(spin, Qt::Key_Return);
            QCOMPARE(spin->value(), held);
            QCOMPARE(slider->value(), held > 0 ? 120 : -600);
            QCOMPARE(r.at(0)->volume, float(std::exp2(held / 6)));
            checkbindings(r);
        }

        // The current layer's volume re-binds it instead of touching the mix.
        layer* mixbefore = r.panel()->mixlayer;
        r.part<QDoubleSpinBox>(2, LayersGui::SpinRole)->setValue(-6.0);
        QCOMPARE(r.at(2)->volume, 0.5f);
        QCOMPARE(r.part<QSlider>(2, LayersGui::SliderRole)->value(), -60);
        QCOMPARE(slottable.bound[1], r.at(2));
        QCOMPARE(r.panel()->mixlayer, mixbefore);
        checkbindings(r);

        // A call not from a row's control changes nothing.
        r.panel()->involumechanged(5.0);
        r.panel()->involumechanged(50);
        QCOMPARE(r.at(1)->volume, 1.0f);
    }

    void currentRowAndToggles()
    {
        PanelRig r;
        project(r, 3);
        QVERIFY(!r.panel()->currentitem);
        QVERIFY(!slottable.bound[1]);
        checkbindings(r);

        click(r, 1, 3);
        QCOMPARE(r.panel()->currentitem, r.item(1));
        QVERIFY(!r.item(1)->icon(1).isNull());
        checkbindings(r);
        // The current row's style carries the current-layer colour, shaded below.
        const QString style = r.part<QWidget>(1, LayersGui::WidgetRole)->styleSheet();
        QVERIFY2(style.contains("rgba(191.25,0,0,150)") && style.contains("rgba(255,0,0,150)"), qPrintable(style));
        QVERIFY(r.part<QWidget>(0, LayersGui::WidgetRole)->styleSheet().contains("rgba(0,191.25,0,90)"));

        click(r, 1, 3); // the name of the current row: nothing changes
        QCOMPARE(r.panel()->currentitem, r.item(1));
        click(r, 0, 3); // another row becomes current, the former one a mix row again
        QCOMPARE(r.panel()->currentitem, r.item(0));
        QVERIFY(r.item(1)->icon(1).isNull());
        QVERIFY(r.part<QWidget>(1, LayersGui::WidgetRole)->styleSheet().contains("rgba(0,255,0,90)"));
        checkbindings(r);

        // Toggles of the current row keep its style and re-bind it. Each is
        // a change of the project (saved with it), so it is marked.
        const auto marked = [&r] {
            const bool modified = r.window()->isWindowModified();
            r.window()->setWindowModified(false);
            return modified;
        };
        r.window()->setWindowModified(false);
        click(r, 0, 0);
        QVERIFY(marked());
        QVERIFY(!r.at(0)->active);
        QVERIFY(r.item(0)->icon(0).isNull());
        QVERIFY(r.part<QWidget>(0, LayersGui::WidgetRole)->styleSheet().contains("150)"));
        click(r, 0, 2);
        QCOMPARE(r.at(0)->mixsign, -1);
        QVERIFY(marked());
        checkbindings(r);
        // Toggles of another row restyle it and rebuild the mix.
        click(r, 2, 0);
        QVERIFY(marked());
        QVERIFY(!r.at(2)->active);
        QCOMPARE(r.part<QWidget>(2, LayersGui::WidgetRole)->styleSheet(), r.panel()->mutestyle);
        checkbindings(r);
        click(r, 1, 2);
        QCOMPARE(r.at(1)->mixsign, -1);
        checkbindings(r); // B is now taken away from the mix
        QVERIFY(marked());
        click(r, 2, 2);   // the sign of an inactive layer: still no part of the mix
        checkbindings(r);
        QVERIFY(marked());
        click(r, 0, 3);   // choosing the current row changes nothing of the project
        QVERIFY(!marked());

        // Column 1 of the current row clears it.
        click(r, 0, 1);
        QVERIFY(!r.panel()->currentitem);
        QVERIFY(r.item(0)->icon(1).isNull());
        checkbindings(r);
    }

    void keysWalkTheRows()
    {
        PanelRig r;
        project(r, 3);
        QShortcut* up = shortcut(r.window(), QKeySequence(Qt::Key_Up));
        QShortcut* down = shortcut(r.window(), QKeySequence(Qt::Key_Down));
        QShortcut* solo = shortcut(r.window(), QKeySequence(Qt::SHIFT | Qt::Key_S));
        QVERIFY(up && down && solo);
        emit up->activated();
        QCOMPARE(r.panel()->currentitem, r.item(2)); // none current: the last row
        emit up->activated();
        QCOMPARE(r.panel()->currentitem, r.item(1));
        emit up->activated();
        emit up->activated(); // on the first row: nothing
        QCOMPARE(r.panel()->currentitem, r.item(0));
        emit down->activated();
        QCOMPARE(r.panel()->currentitem, r.item(1));
        emit solo->activated();
        QVERIFY(!r.panel()->currentitem);
        checkbindings(r);
        emit solo->activated(); // nothing current: nothing
        QVERIFY(!r.panel()->currentitem);
        emit down->activated();
        QCOMPARE(r.panel()->currentitem, r.item(0)); // none current: the first row
        click(r, 2, 3);
        emit down->activated(); // on the last row: nothing
        QCOMPARE(r.panel()->currentitem, r.item(2));
        checkbindings(r);
    }

    void contextMenusByColumn()
    {
        PanelRig r;
        project(r, 2);
        r.window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(r.window(), 30000));
        QTreeWidgetExt* tree = r.panel()->tree;
        const QRect row = tree->visualItemRect(r.item(0));
        QMenu* seen = nullptr;
        whenpopup(&seen);
        // A menu is shown through exec(): had one opened, it would be seen by now.
        r.panel()->ContextMenu(QPoint(30, row.center().y())); // column 1
        QVERIFY(!seen);
        const int namecolumn = tree->columnWidth(0) + tree->columnWidth(1) + tree->columnWidth(2);
        whenpopup(&seen);
        r.panel()->ContextMenu(QPoint(namecolumn + 5, row.center().y()));
        QCOMPARE(seen, r.window()->layeritemmenu);
        const int below = tree->visualItemRect(r.item(1)).bottom() + 5;
        QVERIFY(below < tree->viewport()->height());
        whenpopup(&seen);
        r.panel()->ContextMenu(QPoint(namecolumn + 5, below));
        QCOMPARE(seen, r.window()->layerlistmenu);
    }

    void zoomRequests()
    {
        PanelRig r;
        project(r, 2);
        QSignalSpy zoom(r.panel(), &LayersGui::outzoomselected);
        r.panel()->ZoomExtents(); // nothing current
        r.panel()->ItemDoubleClicked(r.item(0), 1);
        QCOMPARE(zoom.count(), 0);
        r.panel()->ItemDoubleClicked(r.item(0), 3);
        click(r, 1, 3);
        r.panel()->ZoomExtents();
        QCOMPARE(zoom.count(), 2);
    }

    void layerStateFollowsTheRows()
    {
        PanelRig r;
        MainWindow* w = r.window();
        QVERIFY(!w->closeact->isEnabled());
        newproject(r, 8000, 1, "Only");
        QVERIFY(w->closeact->isEnabled());
        QVERIFY(w->deletelayeract->isEnabled()); // one row, current
        r.panel()->NoItemClicked();
        QVERIFY(w->closeact->isEnabled());
        QVERIFY(!w->deletelayeract->isEnabled());
        QCOMPARE(w->deletelayeract->statusTip(), QString("DISABLED: Select a layer first."));
        click(r, 0, 3);
        QCOMPARE(w->deletelayeract->statusTip(), QString("Delete selected layer"));
        r.panel()->Close();
        QVERIFY(!w->closeact->isEnabled());
        QCOMPARE(w->closeact->statusTip(), QString("DISABLED: Create or import a layer first."));
    }

    void rowColoursFollowTheSettings()
    {
        PanelRig r;
        project(r, 3);
        click(r, 0, 3);
        click(r, 2, 0); // C muted
        colorselect = QColor(40, 80, 120);
        colormix = QColor(200, 100, 0);
        r.panel()->RefreshColors();
        QVERIFY(r.part<QWidget>(0, LayersGui::WidgetRole)->styleSheet().contains("rgba(30,60,90,150)"));
        QVERIFY(r.part<QWidget>(1, LayersGui::WidgetRole)->styleSheet().contains("rgba(150,75,0,90)"));
        QVERIFY(r.part<QWidget>(1, LayersGui::WidgetRole)->styleSheet().contains("rgba(200,100,0,110)"));
        QCOMPARE(r.part<QWidget>(2, LayersGui::WidgetRole)->styleSheet(), r.panel()->mutestyle);
    }

    void statusLine()
    {
        PanelRig r;
        QCOMPARE(r.window()->statusBar()->currentMessage(), QString("No project loaded"));
        project(r, 1, 8000, 2);
        QVERIFY2(r.window()->statusBar()->currentMessage().startsWith("8000Hz / 2 channel(s) / start: 00:00.000 "
                                                                      "length:  00:01.000"),
                 qPrintable(r.window()->statusBar()->currentMessage()));
        r.panel()->Close();
        QCOMPARE(r.window()->statusBar()->currentMessage(), QString("No project loaded"));
    }

    void styleSheetsAndPluginChoice()
    {
        // The three compiled-in sheets; only the mute sheet has no colour to fill.
        for (const char* name : {"layermute", "layermix", "layerselect"})
            QVERIFY(readstylesheet(QString(":/stylesheets/%1.css").arg(name)).contains("QWidget#layer"));
        QVERIFY(readstylesheet(":/stylesheets/nothing.css").isEmpty());
        const QString filled = fillrowstyle("a(%1,%2,%3) b(%4,%5,%6) c(%1)", QColor(255, 0, 10), 0.75f, 1.0f);
        QCOMPARE(filled, QString("a(191.25,0,7.5) b(255,0,10) c(191.25)"));

        const QList<QStringList> plugins{
            {"WAVE/WavPack (*.wav *.w64)", "Free Lossless Audio Codec (*.flac)"},
            {"Other WAVE (*.wav)"},
        };
        QString filter;
        QCOMPARE(pluginforextension(plugins, "/music/Take.FLAC", &filter), 0);
        QCOMPARE(filter, plugins[0][1]);
        QCOMPARE(pluginforextension(plugins, "/music/take.WAV", &filter), 1); // the later plugin
        QCOMPARE(filter, QString("Other WAVE (*.wav)"));
        filter.clear();
        QCOMPARE(pluginforextension(plugins, "/music/noextension", &filter), -1);
        QCOMPARE(pluginforextension(plugins, "/music/take.w6", &filter), -1); // "*.w64" is no match
        QCOMPARE(pluginforextension(plugins, "/music/odd.(", &filter), -1);   // not a pattern: no match
        QVERIFY(filter.isEmpty());
        QCOMPARE(pluginforfilter(plugins, "Other WAVE (*.wav)"), 1);
        QCOMPARE(pluginforfilter(plugins, "other wave (*.wav)"), -1);
        QCOMPARE(fileextension("/a.b/c.tar.gz"), QString(".gz"));
    }
};

int main(int argc, char** argv)
{
    GLChannel::setdefaultformat();
    QApplication app(argc, argv);
    TestLayerPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_layerpanel.moc"
