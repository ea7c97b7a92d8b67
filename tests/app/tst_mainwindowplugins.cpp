#include <QActionGroup>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "app/qtoolbarext.h"
#include "controller/spectrumgui.h"
#include "sdk/interfaces.h"
#include "windowrig.h"

// The plugin host inside the main window, on a temporary installation root.
class TestMainWindowPlugins : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QSettings().clear(); }
    void pluginsDialogRows();
    void deviceMenus();
    void deviceRestore();
    void filterMenu();
    void toolPlacement();
    void emptyRoot();

private:
    FixtureRoot root;
};

void TestMainWindowPlugins::initTestCase()
{
    root.add("file", "Files", "1_alpha.so");
    root.add("file", "Files", "2_beta_fail.so");
    root.addjunk("Files", "notes.txt");
    root.addbuilt("Files", "stubcodec", "Files");
    root.add("device", "Devices", "1_OpenAL_2_0.so");
    root.add("device", "Devices", "2_Other_0_2_fail.so"); // records, but its initialize failed
    root.add("device", "Devices", "3_Disk_0_1.so");
    root.add("device", "Devices", "4_none_1_1.so");
    root.addbuilt("Devices", "stubsink", "Devices");
    root.add("tool", "Devices", "5_Info_Misplaced.so");
    root.add("tool", "Tools", "1_Odd_Late.so");
    root.add("tool", "Tools", "2_Modify_Gain.so");
    root.add("tool", "Tools", "3_Info_Meter.so");
    root.add("tool", "Tools", "4_Extract_Pick.so");
    root.add("tool", "Tools", "5_Extract_Area.so");
    root.add("tool", "Tools", "6_Extract_Noise.so");
    root.add("tool", "Tools", "7_Draw_Pen_noicon.so");
    root.add("tool", "Tools", "8_Draw_Brush_fail.so");
    root.addbuilt("Tools", "stubbrush", "Tools");
    root.add("filter", "Filters", "1_Mix_Blend.so");
    root.add("filter", "Filters", "2_none_Plain.so");
    root.add("filter", "Filters", "3_Mix_Swap.so");
    root.add("filter", "Filters", "4_IO_Dump.so");
    root.add("filter", "Filters", "5_Generate_Sine_fail.so");
}

void TestMainWindowPlugins::pluginsDialogRows()
{
    WindowRig w(root.path());
    QCOMPARE(w->pluginsdialog->windowTitle(), QString("Plugins"));
    QCOMPARE(w->pluginsdialog->size(), QSize(500, 400));
    QVERIFY(w->pluginsdialog->isModal());
    QTreeWidget* list = w->pluginslist;
    QCOMPARE(list->headerItem()->text(0), QString("Plugin File"));
    QCOMPARE(list->headerItem()->text(2), QString("Description"));
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows << list->topLevelItem(i)->text(0) + " | " + list->topLevelItem(i)->text(1);
    QCOMPARE(rows, (QStringList{"1_alpha.so | File", "2_beta_fail.so | File", "stubcodec.so | File",
                                "1_OpenAL_2_0.so | Device", "2_Other_0_2_fail.so | Device", "3_Disk_0_1.so | Device",
                                "4_none_1_1.so | Device", "stubsink.so | Device", "1_Odd_Late.so | Tool",
                                "2_Modify_Gain.so | Tool", "3_Info_Meter.so | Tool", "4_Extract_Pick.so | Tool",
                                "5_Extract_Area.so | Tool", "6_Extract_Noise.so | Tool", "7_Draw_Pen_noicon.so | Tool",
                                "8_Draw_Brush_fail.so | Tool", "stubbrush.so | Tool", "1_Mix_Blend.so | Filter",
                                "2_none_Plain.so | Filter", "3_Mix_Swap.so | Filter",
                                "5_Generate_Sine_fail.so | Filter"}));
    QCOMPARE(list->topLevelItem(1)->text(2), QString("file beta (converter missing)"));
    QVERIFY(plainloglines(logfilepath()).contains("21 plugins loaded"));
    QVERIFY(!w->pluginsdialog->isVisible());
    w->pluginsact->trigger();
    QVERIFY(w->pluginsdialog->isVisible());
    w->pluginsdialog->hide();
}

void TestMainWindowPlugins::deviceMenus()
{
    WindowRig w(root.path());
    QCOMPARE(menutexts(w->devicesmenu), (QStringList{"Playback", "Record"}));
    QCOMPARE(menutexts(w->playbackmenu), (QStringList{"OpenAL", "—", "Settings...", "Restart Device"}));
    QMenu* openal = w->playbackmenu->actions().first()->menu();
    QCOMPARE(menutexts(openal), (QStringList{"OpenAL play 1", "OpenAL play 2"}));
    // A device plugin whose initialize failed is never offered, not even for recording.
    QCOMPARE(menutexts(w->recordmenu), (QStringList{"Disk", "—", "Settings...", "Restart Device"}));
    QAction* device = openal->actions().first();
    QVERIFY(device->isCheckable());
    QCOMPARE(device->data().value<DeviceInterface*>()->category, QString("OpenAL"));
    QVERIFY(w->playbackdevices->isExclusive());
    QCOMPARE(w->playbackdevices->actions().size(), 2);
    QCOMPARE(w->recorddevices->actions().size(), 1);
}

void TestMainWindowPlugins::deviceRestore()
{
    {
        // No stored device: every OpenAL device is chosen in turn, the last stays.
        WindowRig w(root.path());
        const QStringList lines = plainloglines(logfilepath());
        QString missing;
        QVERIFY2(inorder(lines, {"Current playback device: OpenAL/OpenAL play 1",
                                 "Current playback device: OpenAL/OpenAL play 2", "initialization finished"},
                         &missing),
                 qPrintable(missing));
        QCOMPARE(w->playbackdevices->checkedAction()->text(), QString("OpenAL play 2"));
        QVERIFY(!w->recorddevices->checkedAction());
    }
    QSettings().setValue("playbackcategory", "OpenAL");
    QSettings().setValue("playbackdescription", "OpenAL play 1");
    QSettings().setValue("recordcategory", "Disk");
    QSettings().setValue("recorddescription", "Disk record 1");
    WindowRig w(root.path());
    QCOMPARE(w->playbackdevices->checkedAction()->text(), QString("OpenAL play 1"));
    QCOMPARE(w->recorddevices->checkedAction()->text(), QString("Disk record 1"));
}

void TestMainWindowPlugins::filterMenu()
{
    WindowRig w(root.path());
    QCOMPARE(menutexts(w->filtersmenu), (QStringList{"Mix", "Plain", "IO"}));
    QMenu* mix = w->filtersmenu->actions().first()->menu();
    QCOMPARE(menutexts(mix), (QStringList{"Blend", "Swap"}));
    auto* blend = mix->actions().first()->data().value<FilterInterface*>();
    QVERIFY(blend);
    QVERIFY(blend->previewhook == &MainWindow::previewclipboard);

    // The file exchange filter stands in its own submenu, reaches the controller
    // like every filter, and is never previewed.
    QMenu* io = w->filtersmenu->actions().last()->menu();
    QVERIFY(io);
    QCOMPARE(menutexts(io), QStringList{"Dump"});
    QAction* dump = io->actions().first();
    auto* dumpfilter = dump->data().value<FilterInterface*>();
    QVERIFY(dumpfilter);
    QCOMPARE(dumpfilter->category, QString("IO"));
    QVERIFY(dumpfilter->previewhook == nullptr);
    bool reaches = false;
    for (const SignalLink& link : w->signallinks().links())
        if (link.sender == dump && link.signal == "triggered()")
            reaches = link.connected && link.receiver == spectrumgui && link.method == "infilter()";
    QVERIFY(reaches);

    // Filters are enabled only with a selected layer, the file exchange ones too.
    QVERIFY(!w->filtersmenu->actions().first()->isEnabled());
    QVERIFY(!w->filtersmenu->actions().last()->isEnabled());
    w->layerstate(true, true, false);
    QVERIFY(w->filtersmenu->actions().first()->isEnabled());
    QVERIFY(w->filtersmenu->actions().last()->isEnabled());
}

void TestMainWindowPlugins::toolPlacement()
{
    WindowRig w(root.path());
    QCOMPARE(w->toolgroups1.size(), 5);
    QCOMPARE(w->toolgroups2.size(), 5);
    QStringList headers;
    for (QWidget* g : w->toolgroups1)
        headers << g->findChild<QLabel*>()->text();
    QCOMPARE(headers, (QStringList{"Info:", "Extract:", "Modify:", "Draw:", ""}));
    w->layerstate(true, true, true); // every tool enabled, with its own tip
    QStringList tools;
    for (QAction* a : w->toolactions)
        tools << a->statusTip();
    // Numbered in placement order, group by group; the odd category comes last.
    QCOMPARE(tools, (QStringList{"Info: Meter [1]", "Extract: Pick [2]", "Extract: Area [3]", "Extract: Noise [4]",
                                 "Modify: Gain [5]", "Odd: Late [6]"}));
    QCOMPARE(w->toolactions.at(0)->shortcut(), QKeySequence(Qt::Key_1));
    QVERIFY(w->toolmodes->actions().contains(w->toolactions.at(0)));
    // Three tools in one group: two columns in the wide layout.
    auto* wide = static_cast<QGridLayout*>(w->toolgroups2.at(1)->layout());
    QCOMPARE(qobject_cast<QToolButton*>(wide->itemAtPosition(2, 0)->widget())->defaultAction(), w->toolactions.at(3));
    auto* narrow = static_cast<QGridLayout*>(w->toolgroups1.at(1)->layout());
    QCOMPARE(qobject_cast<QToolButton*>(narrow->itemAtPosition(3, 0)->widget())->defaultAction(), w->toolactions.at(3));
    QCOMPARE(w->toolgroups2.at(0)->maximumSize(), QSize(0, 0));
    w->expandbutton->toggle();
    QCOMPARE(w->toolgroups2.at(0)->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    QCOMPARE(w->toolgroups1.at(0)->maximumSize(), QSize(0, 0));
    // Each placed tool's settings bar is a page; choosing the tool shows it.
    QCOMPARE(w->toolsettings->count(), 7);
    w->toolactions.at(1)->trigger();
    QCOMPARE(w->toolsettings->currentIndex(), 2);
    // Extraction needs a second layer.
    w->layerstate(true, true, false);
    QVERIFY(!w->toolactions.at(1)->isEnabled());
    QCOMPARE(w->toolactions.at(1)->statusTip(), QString("DISABLED: Create and select another layer for extraction."));
    QVERIFY(w->toolactions.at(4)->isEnabled());
    QVERIFY(w->toolactions.at(5)->isEnabled()); // the fifth group keeps its state
}

void TestMainWindowPlugins::emptyRoot()
{
    QTemporaryDir empty;
    WindowRig w(empty.path());
    QCOMPARE(w->pluginslist->topLevelItemCount(), 0);
    QCOMPARE(menutexts(w->playbackmenu), (QStringList{"—", "Settings...", "Restart Device"}));
    QCOMPARE(menutexts(w->recordmenu), (QStringList{"—", "Settings...", "Restart Device"}));
    QVERIFY(w->filtersmenu->actions().isEmpty());
    QCOMPARE(w->toolsbar->actions().size(), 11); // the expand button and ten group widgets
    QVERIFY(plainloglines(logfilepath()).contains("0 plugins loaded"));
}

QTEST_MAIN(TestMainWindowPlugins)
#include "tst_mainwindowplugins.moc"
