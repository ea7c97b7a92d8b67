#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <xcb/xcb.h>

#include "apptestsupport.h"
#include "panels/layersgui.h"
#include "panels/projectlayers.h"

namespace {

// A top-level window that the X server shows (the program's, under Xvfb
// there is no window manager in between).
struct ShownWindow
{
    QRect geometry;
    bool operator==(const ShownWindow&) const = default;
};

QList<ShownWindow> shownwindows()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return {};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    QList<ShownWindow> shown;
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr),
                                                                  &free);
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr), &free);
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, children[i]), nullptr), &free);
        if (geometry)
            shown << ShownWindow{QRect(geometry->x, geometry->y, geometry->width, geometry->height)};
    }
    return shown;
}

// The main window at its first-start place and size is shown, and the splash
// screen (the size of its picture) no longer is.
bool mainwindowshown()
{
    const QSize splash = QPixmap(QStringLiteral(":/splash.png")).size();
    bool window = false;
    for (const ShownWindow& w : shownwindows()) {
        if (w.geometry.size() == splash)
            return false;
        window = window || w.geometry == QRect(0, 0, 1280, 720);
    }
    return window;
}

// The signals the process catches, from the kernel's own account of it.
quint64 caughtsignals(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16);
    return 0;
}

// The session logs written under a home folder.
QStringList logsunder(const QString& home)
{
    QStringList logs;
    QDirIterator it(home, {"*.htm"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        logs << it.next();
    return logs;
}

// A program started in `home` as its HOME, XDG_CONFIG_HOME (home/config) and TMPDIR (home/tmp).
void startin(QProcess& program, const QString& home, const QStringList& arguments,
             const QMap<QString, QString>& environment = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("TMPDIR", home + "/tmp");
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(KV_PROGRAM), arguments);
}

// A fresh home whose settings hold `settings` (lines of the [General] group).
QString freshhome(const QString& name, const QStringList& settings)
{
    const QString home = QDir::currentPath() + "/" + name;
    QDir(home).removeRecursively();
    QDir().mkpath(home + "/config/Murrowgate");
    QDir().mkpath(home + "/tmp");
    QFile conf(home + "/config/Murrowgate/Korvane.conf");
    if (conf.open(QIODevice::WriteOnly))
        conf.write(("[General]\n" + settings.join('\n') + "\n").toUtf8());
    return home;
}

void endprogram(QProcess& program)
{
    ::kill(program.processId(), SIGTERM);
    QVERIFY(program.waitForFinished(120000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

} // namespace

// The real program, started on the bundled sample in this test's own home.
class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    // The program unloads Mesa's driver before its leak check, which then finds
    // the driver's allocations in a module it cannot name: the started program
    // runs without it (this test's own process keeps it, see keepgldriver.cpp).
    void initTestCase() { qputenv("ASAN_OPTIONS", "detect_leaks=0"); }
    void startShowAndEnd();
    void endSignalDuringStartUp();
    void fileNamedByBytesThatAreNoText();
    void absurdStoredWindowSettings_data();
    void absurdStoredWindowSettings();
    void startsInOneMillisecondKeepTheirSessionsApart();

private:
    QString sample() const { return QStringLiteral(KV_TEST_ROOT) + "/Resources/Samples/Sample.wav"; }
    QString logsfolder() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/Korvane logs";
    }
    QString newestlog() const
    {
        const QFileInfoList logs = QDir(logsfolder()).entryInfoList({"*.htm"}, QDir::Files, QDir::Time);
        return logs.isEmpty() ? QString() : logs.first().absoluteFilePath();
    }
};

void TestProgram::startShowAndEnd()
{
    QVERIFY(QFile::exists(QStringLiteral(KV_PROGRAM)));
    QVERIFY(QFile::exists(sample()));
    QProcess program;
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(QStringLiteral(KV_PROGRAM), {sample()});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(!newestlog().isEmpty() && plainloglines(newestlog()).contains("initialization finished"),
                             120000);
    const QString log = newestlog();
    // The main window, not the splash screen, then the views computed and
    // drawn: the spectrogram of the sample inside them.
    QTRY_VERIFY_WITH_TIMEOUT(mainwindowshown(), 120000);
    QImage views;
    const auto drawn = [&views] {
        const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        // Inside the channel views of the 1280 x 720 window at (0, 0).
        views = screen.copy(QRect(250, 180, 700, 400));
        return mainwindowshown() && spectrogram(views);
    };
    // Once seen it counts: a check made again at the end of the wait could
    // meet a repaint in progress.
    bool seen = false;
    QTRY_VERIFY_WITH_TIMEOUT(seen = seen || drawn(), 120000);

    endprogram(program);

    const QStringList lines = plainloglines(log);
    QCOMPARE(lines.value(0), QString(KV_PROGRAM) + " " + sample() + " ");
    QString missing;
    QVERIFY2(inorder(lines, {"session ", "launching Korvane (1.0 - x", "OS: ", "CPU: ", "initialization finished",
                             "session import " + sample(), "exiting", "session ended"},
                     &missing),
             qPrintable(missing));
    // Qt found nothing to complain about in the program's style sheets.
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(!errors.contains("QCssParser") && !errors.contains("tylesheet") && !errors.contains("tyle sheet"),
             qPrintable(errors));
}

// SIGTERM at several moments of the start (before the log exists, while the
// window is being built, during the import, after it): every time the
// program ends in order with exit code 0 and its session log's end line.
// The starts run side by side, each in a home of its own.
void TestProgram::endSignalDuringStartUp()
{
    const QList<int> delays{200, 500, 1000, 2000, 5000};
    struct Run
    {
        int delay;
        QString home;
        std::unique_ptr<QProcess> process;
        bool signalled = false;
    };
    std::vector<Run> runs;
    for (int delay : delays)
        runs.push_back(Run{delay, freshhome(QStringLiteral("end%1").arg(delay), {}), std::make_unique<QProcess>()});
    for (Run& run : runs) {
        startin(*run.process, run.home, {sample()});
        QVERIFY(run.process->waitForStarted());
    }
    // The delays only place the signal within the start; a process that the
    // loader has not yet handed to the program's own code (its handler not
    // installed) gets it as soon as it has.
    int elapsed = 0;
    for (Run& run : runs) {
        QTest::qWait(run.delay - elapsed);
        elapsed = run.delay;
        const qint64 pid = run.process->processId();
        QTRY_VERIFY_WITH_TIMEOUT((caughtsignals(pid) >> (SIGTERM - 1)) & 1, 60000);
        QCOMPARE(::kill(pid, SIGTERM), 0);
        run.signalled = true;
    }
    for (Run& run : runs) {
        const QByteArray row = QByteArray::number(run.delay) + " ms";
        QVERIFY2(run.process->state() == QProcess::NotRunning || run.process->waitForFinished(120000),
                 row.constData());
        QVERIFY2(run.process->exitStatus() == QProcess::NormalExit, row.constData());
        QVERIFY2(run.process->exitCode() == 0, (row + ": exit code " + QByteArray::number(run.process->exitCode())).constData());
        const QStringList logs = logsunder(run.home);
        QVERIFY2(logs.size() == 1, row.constData());
        const QStringList lines = plainloglines(logs.first());
        QVERIFY2(lines.value(0).startsWith(QStringLiteral(KV_PROGRAM)), row.constData());
        QVERIFY2(lines.value(lines.size() - 1) == "session ended",
                 qPrintable(row + ": " + lines.join(" | ")));
        // Once the window existed, its project was closed (or left for recovery) first.
        if (lines.contains("initialization finished"))
            QVERIFY2(inorder(lines, {"initialization finished", "exiting", "session ended"}),
                     qPrintable(row + ": " + lines.join(" | ")));
    }
}

// `Korvane <file>` with bytes in the name that are no UTF-8 (Qt reads them
// as U+FFFD): the file is imported all the same, under that readable name.
void TestProgram::fileNamedByBytesThatAreNoText()
{
    QTemporaryDir work;
    const QString made = work.filePath("tone.wav");
    QCOMPARE(QProcess::execute(QStringLiteral(KV_TEST_ROOT) + "/Resources/Util/sox/sox",
                               {"-n", "-r", "8000", "-c", "1", "-b", "16", made, "synth", "1", "sine", "440"}),
             0);
    const QByteArray raw = QFile::encodeName(work.path()) + "/tone-\xff\xfe.wav";
    QCOMPARE(::rename(QFile::encodeName(made).constData(), raw.constData()), 0);
    QFile file(QString::fromLatin1(raw)); // read back through the bytes alone
    const QByteArray before = [&] {
        QFile in;
        return in.open(::fopen(raw.constData(), "rb"), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)
                   ? in.readAll()
                   : QByteArray();
    }();
    QVERIFY(before.size() > 16000);
    // The shell hands the bytes over as they are.
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start("/bin/sh", {"-c", "exec \"$0\" \"$1/$(printf 'tone-\\377\\376.wav')\"", KV_PROGRAM, work.path()});
    QVERIFY(program.waitForStarted());

    // Its session file lists the layer: a second of the tone, named as the file reads.
    const QString name = QString("tone-") + QChar(0xFFFD) + QChar(0xFFFD) + ".wav";
    const QString sessions = QDir::tempPath() + "/kvtmp";
    ProjectData data;
    const auto imported = [&] {
        for (const QString& session : QDir(sessions).entryList({"session(*).kvx"}, QDir::Files)) {
            QString error;
            if (readkvx(sessions + "/" + session, &data, &error) && data.rows.size() == 1
                && data.rows.first().name == name)
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(imported(), 120000);
    QCOMPARE(data.rows.first().bytes, qint64(8000 * 4));
    QCOMPARE(data.samplerate, 8000);

    endprogram(program);
    const QStringList lines = plainloglines(newestlog());
    const QStringList said = lines.filter("(its name is no valid text)");
    QVERIFY2(said.size() == 1 && said.first().startsWith("session import " + work.path() + "/tone-"),
             qPrintable(lines.join(" | ")));
    // The link that reached it is gone; the file is as it was.
    QCOMPARE(QDir(sessions).entryList({"alias-*"}, QDir::AllEntries), QStringList());
    QFile in;
    QVERIFY(in.open(::fopen(raw.constData(), "rb"), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    QCOMPARE(in.readAll(), before);
}

void TestProgram::absurdStoredWindowSettings_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QRect>("shown"); // on the 1600 x 1000 screen of the tests' X server
    QTest::newRow("position near the largest int") << "pos=@Point(2147483600 2147483600)" << QRect(0, 0, 1280, 720);
    QTest::newRow("size of 100000 x 100000") << "size=@Size(100000 100000)" << QRect(0, 0, 1600, 1000);
}

// What a settings store may hold after a crash or an edit by hand: the
// window still opens on the screen, whole.
void TestProgram::absurdStoredWindowSettings()
{
    QFETCH(QString, setting);
    QFETCH(QRect, shown);
    QProcess program;
    startin(program, freshhome("absurd", {"showstartupwindow=false", setting}), {});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(shownwindows().contains({shown}) || program.state() == QProcess::NotRunning, 120000);
    QVERIFY2(program.state() == QProcess::Running, "the program ended");
    endprogram(program);
}

// Two instances whose clocks read the same millisecond take two session
// ids: each keeps its own session file, and neither is told that the
// session folder takes no files.
void TestProgram::startsInOneMillisecondKeepTheirSessionsApart()
{
    const QString home = freshhome("sameclock", {});
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QMap<QString, QString> clock{{"LD_PRELOAD", KV_KILLAT},
                                       {"KVCLOCK_AT", QString::number(now)},
                                       {"ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS") + ":verify_asan_link_order=0"}};
    QProcess first, second;
    startin(first, home, {sample()}, clock);
    startin(second, home, {sample()}, clock);
    QVERIFY(first.waitForStarted() && second.waitForStarted());
    const QString id = QDateTime::fromSecsSinceEpoch(now).toString("yyyy.MM.dd-HH.mm.ss");
    const QStringList expected{"session(" + id + ".000).kvx", "session(" + id + ".001).kvx"};
    const QString sessions = home + "/tmp/kvtmp";
    const auto rows = [&](const QString& name) {
        ProjectData data;
        QString error;
        return readkvx(sessions + "/" + name, &data, &error) ? data.rows.size() : -1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rows(expected[0]) == 1 && rows(expected[1]) == 1, 120000);
    QCOMPARE(QDir(sessions).entryList({"session(*).kvx"}, QDir::Files), expected);
    endprogram(first);
    endprogram(second);
}

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
