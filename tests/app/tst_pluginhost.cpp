#include <QApplication>
#include <QTest>
#include <QToolBar>

#include "app/pluginhost.h"
#include "apptestsupport.h"
#include "core/log.h"
#include "sdk/interfaces.h"

// Records what the host hands over.
class Recorder : public PluginPlacement
{
public:
    QStringList splashes;
    QList<QStringList> rows;
    QStringList filenames, devicenames, toollabels, adopted, filterlabels, iolabels;

    void splash(const QString& text) override { splashes << text; }
    void listed(const QString& file, const QString& type, const QString& description) override
    {
        rows << QStringList{file, type, description};
    }
    void files(const QList<FileInterface*>& p) override
    {
        for (auto* f : p)
            filenames << f->name;
    }
    void devices(const QList<DeviceInterface*>& p) override
    {
        for (auto* d : p)
            devicenames << d->name;
    }
    void tools(const QList<ToolInterface*>& p) override
    {
        for (auto* t : p)
            toollabels << t->label;
    }
    void adopttoolbars(const QList<ToolInterface*>& p) override
    {
        for (auto* t : p) {
            adopted << t->name;
            delete t->toolbar;
            t->toolbar = nullptr;
        }
    }
    void filters(const QList<FilterInterface*>& p) override
    {
        for (auto* f : p)
            filterlabels << f->label;
    }
    void iofilters(const QList<FilterInterface*>& p) override
    {
        for (auto* f : p)
            iolabels << f->label;
    }
};

class TestPluginHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadsKindByKindInFolderOrder();
    void emptyRootLoadsNothing();
};

void TestPluginHost::initTestCase()
{
    kvtestfolders();
    sessionid = "pluginhost";
    QVERIFY(loginit(2));
}

void TestPluginHost::loadsKindByKindInFolderOrder()
{
    FixtureRoot root;
    const QString gamma = root.add("file", "Files", "sub/1_gamma.so");
    root.add("file", "Files", "2_alpha.so");
    const QString beta = root.add("file", "Files", "3_beta_fail.so");
    root.addjunk("Files", "readme.txt");
    QVERIFY(!root.addbuilt("Files", "stubcodec", "Files").isEmpty());
    root.add("device", "Devices", "1_OpenAL_2_1.so");
    const QString otherdevice = root.add("device", "Devices", "2_Other_0_2_fail.so");
    root.add("device", "Devices", "3_none_1_1.so");
    const QString wrongfolder = root.add("tool", "Devices", "4_Info_Wrong.so");
    QVERIFY(!root.addbuilt("Devices", "stubsink", "Devices").isEmpty());
    root.add("tool", "Tools", "1_Info_Meter.so");
    root.add("tool", "Tools", "2_Draw_Pen_noicon.so");
    const QString gain = root.add("tool", "Tools", "3_Modify_Gain_fail.so");
    QVERIFY(!root.addbuilt("Tools", "stubbrush", "Tools").isEmpty());
    root.add("filter", "Filters", "1_Mix_Blend.so");
    root.add("filter", "Filters", "2_IO_Dump.so");
    root.add("filter", "Filters", "3_none_Plain.so");
    root.add("filter", "Filters", "4_Mix_none.so");
    const QString sine = root.add("filter", "Filters", "5_Generate_Sine_fail.so");
    root.add("filter", "Filters", "6_IO_none.so");
    root.add("filter", "Filters", "7_IO_Export.so");

    Recorder r;
    QWidget window;
    QCOMPARE(loadplugins(root.path(), "1.0", &window, r), 16);

    QCOMPARE(r.splashes, (QStringList{"1.0 : Loading Plugins/Files...", "1.0 : Loading Plugins/Devices...",
                                      "1.0 : Loading Plugins/Tools...", "1.0 : Loading Plugins/Filters..."}));
    const QList<QStringList> rows = {
        {"1_gamma.so", "File", "file gamma"},
        {"2_alpha.so", "File", "file alpha"},
        {"3_beta_fail.so", "File", "file beta (converter missing)"},
        {"stubcodec.so", "File", "empty file plugin"},
        {"1_OpenAL_2_1.so", "Device", "device OpenAL"},
        {"2_Other_0_2_fail.so", "Device", "device Other"},
        {"3_none_1_1.so", "Device", "device "},
        {"stubsink.so", "Device", "empty device plugin"},
        {"1_Info_Meter.so", "Tool", "tool Meter"},
        {"2_Draw_Pen_noicon.so", "Tool", "tool Pen"},
        {"3_Modify_Gain_fail.so", "Tool", "tool Gain"},
        {"stubbrush.so", "Tool", "empty tool plugin"},
        {"1_Mix_Blend.so", "Filter", "filter Blend"},
        {"3_none_Plain.so", "Filter", "filter Plain"},
        {"4_Mix_none.so", "Filter", "filter "},
        {"5_Generate_Sine_fail.so", "Filter", "filter Sine"},
    };
    QCOMPARE(r.rows, rows);
    QCOMPARE(r.filenames, (QStringList{"file gamma", "file alpha", "empty file plugin"}));
    QCOMPARE(r.devicenames, (QStringList{"device OpenAL", "device ", "empty device plugin"}));
    QCOMPARE(r.toollabels, QStringList{"Meter"});
    QCOMPARE(r.adopted, (QStringList{"tool Meter", "tool Pen", "tool Gain", "empty tool plugin"}));
    QCOMPARE(r.filterlabels, (QStringList{"Blend", "Plain"}));
    // The file exchange filters come apart, in load order, those without a label left out.
    QCOMPARE(r.iolabels, (QStringList{"Dump", "Export"}));

    QString missing;
    QVERIFY2(inorder(errorloglines(logfilepath()),
                     {"file not initialized: " + beta, "device not initialized: " + otherdevice,
                      "not a device plugin: " + wrongfolder, "tool not initialized: " + gain,
                      "filter not initialized: " + sine},
                     &missing),
             qPrintable(missing));
    QVERIFY(plainloglines(logfilepath()).contains("16 plugins loaded"));
    QVERIFY(!errorloglines(logfilepath()).join('\n').contains(gamma));
    QVERIFY(!errorloglines(logfilepath()).join('\n').contains("readme.txt"));
}

void TestPluginHost::emptyRootLoadsNothing()
{
    QTemporaryDir empty; // no plugin folders at all
    Recorder r;
    QCOMPARE(loadplugins(empty.path(), "2.5", nullptr, r), 0);
    QCOMPARE(r.splashes.size(), 4);
    QVERIFY(r.splashes.at(3).startsWith("2.5 : "));
    QVERIFY(r.rows.isEmpty() && r.filenames.isEmpty() && r.devicenames.isEmpty() && r.toollabels.isEmpty());
    QCOMPARE(plainloglines(logfilepath()).last(), QString("0 plugins loaded"));
}

QTEST_MAIN(TestPluginHost)
#include "tst_pluginhost.moc"
