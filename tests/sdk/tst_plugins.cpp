#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QPluginLoader>
#include <QTest>
#include <QToolBar>
#include <QVariant>

#include <cmath>

#include "core/callbacks.h"
#include "core/layer.h"
#include "sdk/interfaces.h"

// Loads the empty plugins the way the host does: from the plugin folders of the
// build's installation root, recognised by interface identifier.
class TestPlugins : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void identifiersAndSingleInstance_data();
    void identifiersAndSingleInstance();
    void emptyTool();
    void emptyDevice();
    void emptyFile();
    void metaTypes();
    void callbacksFilled();

private:
    QObject* load(const QString& kind, const QString& name);
};

static QString pluginpath(const QString& kind, const QString& name)
{
    const QDir dir(QStringLiteral(KV_TEST_ROOT) + "/Plugins/" + kind);
    const QStringList files = dir.entryList({name + ".*"}, QDir::Files);
    return files.size() == 1 ? dir.absoluteFilePath(files.first()) : QString();
}

QObject* TestPlugins::load(const QString& kind, const QString& name)
{
    QPluginLoader loader(pluginpath(kind, name));
    if (!loader.load()) {
        qWarning() << loader.errorString();
        return nullptr;
    }
    return loader.instance();
}

void TestPlugins::initTestCase()
{
    for (const auto& [kind, name] : {std::pair{"Tools", "stubbrush"}, std::pair{"Devices", "stubsink"},
                                     std::pair{"Files", "stubcodec"}})
        QVERIFY2(!pluginpath(kind, name).isEmpty(), qPrintable(QString("%1/%2 missing").arg(kind, name)));
}

void TestPlugins::identifiersAndSingleInstance_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("iid");
    QTest::addColumn<QString>("classname");
    QTest::addColumn<QString>("interfacename");
    QTest::newRow("tool") << "Tools" << "stubbrush" << "com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0"
                          << "ToolPlugin" << "ToolInterface";
    QTest::newRow("device") << "Devices" << "stubsink"
                            << "com.MURROWGATE.Korvane.Plugin.DeviceInterface/1.0" << "DevicePlugin"
                            << "DeviceInterface";
    QTest::newRow("file") << "Files" << "stubcodec" << "com.MURROWGATE.Korvane.Plugin.FileInterface/1.0"
                          << "FilePlugin" << "FileInterface";
}

void TestPlugins::identifiersAndSingleInstance()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, iid);
    QFETCH(QString, classname);
    QFETCH(QString, interfacename);

    QPluginLoader loader(pluginpath(kind, name));
    QVERIFY2(loader.load(), qPrintable(loader.errorString()));
    QCOMPARE(loader.metaData().value("IID").toString(), iid);
    QCOMPARE(loader.metaData().value("className").toString(), classname);

    QObject* first = loader.instance();
    QVERIFY(first);
    QCOMPARE(loader.instance(), first);
    // A second loader of the same file reaches the same object.
    QPluginLoader again(loader.fileName());
    QCOMPARE(again.instance(), first);

    QCOMPARE(first->metaObject()->className(), classname.toLatin1());
    // The class name, the interface name and the identifier give the same
    // interface part; the other identifiers and unknown names give nothing.
    void* part = first->qt_metacast(iid.toLatin1().constData());
    QVERIFY(part);
    QCOMPARE(first->qt_metacast(interfacename.toLatin1().constData()), part);
    QVERIFY(first->qt_metacast(classname.toLatin1().constData()));
    QVERIFY(!first->qt_metacast("NoSuchInterface"));
    const QStringList all = {"com.MURROWGATE.Korvane.Plugin.FileInterface/1.0",
                             "com.MURROWGATE.Korvane.Plugin.DeviceInterface/1.0",
                             "com.MURROWGATE.Korvane.Plugin.ToolInterface/1.0",
                             "com.MURROWGATE.Korvane.Plugin.FilterInterface/1.0"};
    for (const QString& other : all)
        if (other != iid)
            QVERIFY2(!first->qt_metacast(other.toLatin1().constData()), qPrintable(other));

    // qobject_cast goes through the identifier declared in the shared header.
    if (interfacename == "ToolInterface")
        QCOMPARE(static_cast<void*>(qobject_cast<ToolInterface*>(first)), part);
    if (interfacename == "DeviceInterface")
        QCOMPARE(static_cast<void*>(qobject_cast<DeviceInterface*>(first)), part);
    if (interfacename == "FileInterface")
        QCOMPARE(static_cast<void*>(qobject_cast<FileInterface*>(first)), part);
    QVERIFY(!qobject_cast<FilterInterface*>(first));
}

void TestPlugins::emptyTool()
{
    ToolInterface* tool = qobject_cast<ToolInterface*>(load("Tools", "stubbrush"));
    QVERIFY(tool);
    QVERIFY(!qobject_cast<DeviceInterface*>(load("Tools", "stubbrush")));

    // Before initialize: the data block is default-constructed.
    QCOMPARE(tool->mixarea, QRectF());
    QVERIFY(!tool->colormix.isValid());
    QVERIFY(!tool->getsample);
    QVERIFY(!tool->fastcos);

    QWidget mainwindow;
    QVERIFY(tool->initialize("stubbrush", &mainwindow));
    QCOMPARE(tool->name, QString("empty tool plugin"));
    QVERIFY(tool->category.isEmpty());
    QVERIFY(tool->label.isEmpty());
    QVERIFY(tool->icon.isNull());
    QCOMPARE(tool->cursor.shape(), Qt::ArrowCursor);
    // The settings bar comes on the heap without a parent, holding one widget;
    // the host owns it from here on.
    QVERIFY(tool->toolbar);
    QVERIFY(!tool->toolbar->parent());
    QCOMPARE(tool->toolbar->actions().size(), 1);
    QVERIFY(tool->toolbar->widgetForAction(tool->toolbar->actions().first()));
    tool->toolbar->setParent(&mainwindow);
    QVERIFY(tool->process(1, 100, 0.5f, 0, 0, 0, 0, 0));
    QVERIFY(tool->process(1, 100, 0.5f, 0, 0, 0, Qt::Key_A, 1));
    delete tool->toolbar;
}

void TestPlugins::emptyDevice()
{
    DeviceInterface* device = qobject_cast<DeviceInterface*>(load("Devices", "stubsink"));
    QVERIFY(device);
    QWidget mainwindow;
    QVERIFY(device->initialize("stubsink", &mainwindow));
    QCOMPARE(device->name, QString("empty device plugin"));
    QVERIFY(device->category.isEmpty());
    QVERIFY(device->playdevices.isEmpty());
    QVERIFY(device->recorddevices.isEmpty());
    QVERIFY(!device->playSettings());
    QVERIFY(!device->recordSettings());

    // The runs return even though nobody sets the stop flag (one that waited
    // for it would never end), and leave the shared values alone.
    double time = 1.25;
    float volume = 0.5f;
    bool stop = false;
    QVERIFY(device->playOpen("none"));
    QVERIFY(device->playStart("none", 1, 1, QRectF(0, 0, 10, 0), &time, &volume, &stop));
    QVERIFY(device->playClose("none"));
    QVERIFY(device->recordOpen("none"));
    QVERIFY(device->recordStart("none", 1, 0, QRectF(0, 0, 10, 0), &time, &volume, &stop));
    QVERIFY(device->recordClose("none"));
    QCOMPARE(time, 1.25);
    QCOMPARE(volume, 0.5f);
    QVERIFY(!stop);
}

void TestPlugins::emptyFile()
{
    FileInterface* file = qobject_cast<FileInterface*>(load("Files", "stubcodec"));
    QVERIFY(file);
    QVERIFY(!qobject_cast<ToolInterface*>(load("Files", "stubcodec")));
    QVERIFY(file->initialize("stubcodec", nullptr));
    QCOMPARE(file->name, QString("empty file plugin"));
    QVERIFY(file->importfilters.isEmpty());
    QVERIFY(file->exportfilters.isEmpty());

    const QString source = QDir::tempPath() + "/source.raw";
    const QString destination = QDir::tempPath() + "/destination.raw";
    {
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(QByteArray(800, '\0')) == 800);
    }
    int samplerate = 0, channels = 0, speakermask = 0;
    double start = 0, length = 0;
    QVERIFY(file->importFile("", source, destination, &samplerate, &channels, &speakermask, &start,
                             &length));
    QVERIFY(!QFile::exists(destination));
    QCOMPARE(samplerate, 0);
    QCOMPARE(channels, 0);
    QCOMPARE(speakermask, 0);
    QCOMPARE(start, 0.0);
    QCOMPARE(length, 0.0);
    QVERIFY(file->exportFile("", source, destination, 44100, 2));
    QVERIFY(!QFile::exists(destination));
    QCOMPARE(QFileInfo(source).size(), 800);
}

void TestPlugins::metaTypes()
{
    registerinterfacetypes();
    for (const char* name : {"ToolInterface*", "DeviceInterface*", "FilterInterface*"})
        QVERIFY2(QMetaType::fromName(name).isValid(), name);

    // A plugin travels in action data and comes back as the same interface.
    ToolInterface* tool = qobject_cast<ToolInterface*>(load("Tools", "stubbrush"));
    QVERIFY(tool);
    const QVariant data = QVariant::fromValue(tool);
    QCOMPARE(data.metaType(), QMetaType::fromName("ToolInterface*"));
    QCOMPARE(data.value<ToolInterface*>(), tool);
}

void TestPlugins::callbacksFilled()
{
    // The host fills the block inside a loaded plugin, each pointer with its own
    // host function.
    ToolInterface* tool = qobject_cast<ToolInterface*>(load("Tools", "stubbrush"));
    QVERIFY(tool);
    fillcallbacks(tool);
    QVERIFY(tool->getsample == &getsamplecb);
    QVERIFY(tool->setsample == &setsamplecb);
    QVERIFY(tool->getbin == &getbincb);
    QVERIFY(tool->setbin == &setbincb);
    QVERIFY(tool->getwindow == &getwindowcb);
    QVERIFY(tool->getlobe == &getlobecb);
    QVERIFY(tool->estimatepeak == &estimatepeakcb);
    QVERIFY(tool->transferarea == &transferareacb);
    QVERIFY(tool->fastsqrt == &fastsqrtcb);
    QVERIFY(tool->fastatan2 == &fastatan2cb);
    QVERIFY(tool->fastsin == &fastsincb);
    QVERIFY(tool->fastcos == &fastcoscb);

    QVERIFY(std::fabs(tool->fastsqrt(9.0f) - 3.0f) < 0.01f);
    QVERIFY(std::fabs(tool->fastatan2(1, 0) - 1.5708f) < 0.01f);
    QVERIFY(std::fabs(tool->fastsin(1.5708f) - 1) < 0.01f);
    QVERIFY(std::fabs(tool->fastcos(0) - 1) < 0.01f);
    // No Buffers in the slot table: every Buffer callback is refused harmlessly.
    QVERIFY(!slottable.buffer[0] && !slottable.buffer[1] && !slottable.buffer[2]);
    QCOMPARE(tool->getsample(1, 0, 0), 0.0f);
    tool->setsample(2, 0, 0, 1.0f);
    QCOMPARE(tool->getbin(0, 0, 0, 0), QVector2D(0, 0));
    tool->setbin(1, 0, 0, 0, 1, 1);
    QCOMPARE(tool->getwindow(0), 0.0f);
    QCOMPARE(tool->getlobe(0), 0.0f);
    QCOMPARE(tool->estimatepeak(1, 2, 1), QVector2D(0, 0));
    tool->transferarea(2, 1, QRectF(0, 100, 1, -100), 0, 9, 0, 0);

    fillcallbacks(nullptr);
}

QTEST_MAIN(TestPlugins)
#include "tst_plugins.moc"
