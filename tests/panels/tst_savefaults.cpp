// Saving and recovering under the faults of real desktops, in a whole main
// window: a layer file removed from the session folder, project files whose
// parts do not agree, and a program killed at each step of a save or of the
// session write that follows an edit. The kills are placed by a preloaded
// library (tests/killat.c) at the Nth call that changes a file, so every
// step is hit on every run.
#include <QCryptographicHash>
#include <QProcess>
#include <QRegularExpression>
#include <QProgressDialog>
#include <QTemporaryDir>

#include <complex>
#include <sys/stat.h>
#include <unistd.h>

#include "app/sessionfolder.h"
#include "app/sessionlock.h"
#include "core/globals.h"
#include "core/log.h"
#include "panelrig.h"
#include "panels/historygui.h"
#include "panels/projectlayers.h"
#include "fulldisk.h"

class TestSaveFaults : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void saveReadsTheFilesTheLayersHoldOpen();
    void projectsWhosePartsDisagreeAreRefused();
    void killedSavesLeaveTheOldOrTheNewProject_data();
    void killedSavesLeaveTheOldOrTheNewProject();
    void killedEditsRecoverEveryLayer();
    void killedEditsComeBackBeforeOrAfter_data();
    void killedEditsComeBackBeforeOrAfter();
    void aFullDiskNeverCostsAPaste_data();
    void aFullDiskNeverCostsAPaste();
    void twoInstancesRecoverOneSession();
    void aRecoveryTakenMeanwhileIsSaid();
    void aRecoverKilledHalfWayIsNotOfferedTwice();
    void aHangingUtilityCanBeCancelled();
};

namespace {

const char* childswitch = "--killed-child";

QByteArray bytesof(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writebytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Every row: name, extent and a digest of the samples its layer holds.
QStringList rowstate(PanelRig& r)
{
    QStringList rows;
    for (int i = 0; i < r.rows(); ++i) {
        layer* l = r.at(i);
        const std::vector<float> samples = samplefile(l);
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(l->name)
                    .arg(l->start)
                    .arg(l->length)
                    .arg(samples.size())
                    .arg(QString::fromLatin1(
                        QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(samples.data()),
                                                                qsizetype(samples.size() * 4)),
                                                 QCryptographicHash::Sha1)
                            .toHex()));
    }
    return rows;
}

// The sanitizer's run-time wants to be the first library of the process: a
// library preloaded into a sanitized program comes after it.
QString preload()
{
    QString asan;
    QFile maps("/proc/self/maps");
    if (maps.open(QIODevice::ReadOnly))
        for (const QByteArray& line : maps.readAll().split('\n'))
            if (line.contains("/libasan.so")) {
                asan = QString::fromLocal8Bit(line.mid(line.indexOf('/')));
                break;
            }
    return asan.isEmpty() ? QStringLiteral(KV_KILLAT) : asan + ":" + QStringLiteral(KV_KILLAT);
}

struct ChildRun
{
    bool killed = false;
    int exitcode = -1;
    QStringList steps; // the counted calls, as the library noted them

    // The steps worth a kill: a file made without a name ("(deleted)") is
    // seen by nobody until it is linked, so a kill while it is written
    // leaves what a kill at its link leaves.
    QList<int> killpoints() const
    {
        QList<int> points;
        for (int i = 0; i < steps.size(); ++i)
            if (!steps.at(i).endsWith("(deleted)"))
                points << i + 1;
        return points;
    }
};

// Runs this test program as children, each doing whats[i] and killed just
// before its ats[i]th counted call (0: never); a few at a time. With
// `error`, its writes fail with it from its fulls[i]th call on.
QList<ChildRun> runchildren(const QList<QStringList>& whats, const QList<int>& ats, int error = 0,
                            const QList<int>& fulls = {})
{
    constexpr int together = 4;
    QList<ChildRun> runs(whats.size());
    for (int first = 0; first < whats.size(); first += together) {
        std::vector<std::unique_ptr<QProcess>> children;
        const int last = std::min<int>(int(whats.size()), first + together);
        for (int i = first; i < last; ++i) {
            const QString log = QDir::tempPath() + QString("/killat%1.log").arg(i);
            QFile::remove(log);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("LD_PRELOAD", preload());
            env.insert("KVKILL_AT", QString::number(ats.at(i)));
            if (error) {
                env.insert("KVKILL_ERRNO", QString::number(error));
                env.insert("KVKILL_FULL", QString::number(fulls.value(i)));
            }
            env.insert("KVKILL_LOG", log);
            env.remove("KVKILL_MATCH");
            auto& child = children.emplace_back(std::make_unique<QProcess>());
            child->setProcessEnvironment(env);
            child->setProcessChannelMode(QProcess::ForwardedChannels);
            child->start(QCoreApplication::applicationFilePath(), QStringList{childswitch} + whats.at(i));
        }
        for (int i = first; i < last; ++i) {
            QProcess* child = children[size_t(i - first)].get();
            ChildRun& run = runs[i];
            if (!child->waitForFinished(120000)) {
                child->kill();
                child->waitForFinished();
                continue;
            }
            run.killed = child->exitStatus() == QProcess::CrashExit;
            run.exitcode = child->exitCode();
            for (const QByteArray& line : bytesof(QDir::tempPath() + QString("/killat%1.log").arg(i)).split('\n'))
                if (!line.isEmpty())
                    run.steps << QString::fromLocal8Bit(line);
        }
    }
    return runs;
}

ChildRun runchild(const QStringList& what, int at, int error = 0, int full = 0)
{
    return runchildren({what}, {at}, error, {full}).constFirst();
}

// gain x sin(w k) for fill(), by rotation: a sine for each sample cost the
// many runs of a script more than their edits.
std::function<float(int, int)> tone(double w, float gain)
{
    return [at = std::complex<double>(1, 0), step = std::polar(1.0, w), gain](int, int) mutable {
        at *= step;
        return gain * float(at.imag());
    };
}

// The child: a run of the program in its own session that opens a project
// (or makes one) and changes and saves it, counted from the first change of
// a file under `watched`, then ends without cleaning up.
int child(int argc, char** argv)
{
    QApplication app(argc, argv);
    kvtestfolders();
    const QString mode = QString::fromLocal8Bit(argv[2]);
    sessionid = QString::fromLocal8Bit(argv[3]);
    WindowRig::identify();
    loginit(2);
    if (!sessionlock().acquire(sessionpath, sessionid))
        return 2;
    // A root without plugins: none is needed to edit and save, and the many
    // runs start faster without them.
    QTemporaryDir bare;
    QDir().mkpath(bare.filePath("Plugins"));
    PanelRig r(bare.path());
    bool ok = false;
    if (mode == "edit") {
        project(r, 2);
        r.panel()->SaveSession(); // as after the edit that filled the layers
        qputenv("KVKILL_MATCH", QFile::encodeName(sessionpath));
        ok = r.panel()->InsertTime(0.25, 0.5);
    } else if (mode == "script") {
        // Two layers of a tone, A of 22 s and B of 20 s from 1 s on (an
        // edit's cache holds 3 s of them: it is written piece by piece), B
        // current; then the steps of argv[4]. The rows at each "state", the
        // boxes and the numbers of the layers' files (which the kill library
        // sees, made without a name) go to argv[5].
        QFile out(QString::fromLocal8Bit(argv[5]));
        if (!out.open(QIODevice::WriteOnly))
            return 5;
        constexpr int rate = 44100;
        project(r, 2, rate, 1);
        fill(r.at(0), 0.0, 22 * rate, tone(0.35, 0.3f));
        r.at(1)->clear();
        fill(r.at(1), 1.0, 20 * rate, tone(0.21, 0.2f));
        for (int i = 0; i < 2; ++i)
            r.at(i)->resetdirty();
        click(r, 1, 3);
        const QStringList steps = QString::fromLocal8Bit(argv[4]).split(' ');
        QStringList said;
        QString files;
        for (int i = 0; i < steps.size(); ++i) {
            const QString& step = steps.at(i);
            if (step == "copy" || step == "delete") {
                const double from = steps.value(++i).toDouble(), to = steps.value(++i).toDouble();
                if (step == "copy")
                    click(r, 0, 3);
                selection = QRectF(from, 4000, to - from, -4000);
                emit spectrumgui->outselection(selection);
                (step == "copy" ? r.window()->copyact : r.window()->deleteact)->trigger();
                click(r, 1, 3);
            } else if (step == "paste") {
                r.window()->pasteact->trigger();
            } else if (step == "undo") {
                historygui->Undo();
            } else if (step == "end") {
                historygui->ItemClicked(historygui->tree->topLevelItem(historygui->tree->topLevelItemCount() - 1), 1);
            } else if (step == "watch") {
                r.panel()->SaveSession();
                qputenv("KVKILL_MATCH", QFile::encodeName(sessionpath));
            } else if (step == "room") {
                qputenv("KVKILL_MATCH", QByteArray());
            } else if (step == "state") {
                said << rowstate(r).join('\n');
                for (int k = 0; k < 2; ++k) {
                    struct stat file {};
                    ::fstat(r.at(k)->file->handle(), &file);
                    files += QString(" #%1 ").arg(file.st_ino);
                }
            }
        }
        for (const PromptRequest& asked : std::as_const(r.asked))
            said << "box " + asked.title + ": " + asked.text;
        out.write((said.join("\n--\n") + "\n--\n" + files).toUtf8());
        ok = out.flush();
    } else if (mode == "recover") {
        // Another instance: what it was told, and how many rows it took;
        // with "watch", its file changes in the session folder are counted.
        r.answers["Recover Session"] = QMessageBox::Yes;
        if (argc > 5 && QByteArray(argv[5]) == "watch")
            qputenv("KVKILL_MATCH", QFile::encodeName(sessionpath));
        r.panel()->Recover();
        QFile told(QString::fromLocal8Bit(argv[4]));
        if (!told.open(QIODevice::WriteOnly))
            return 5;
        for (const PromptRequest& asked : r.asked)
            told.write(asked.text.toUtf8() + "\n");
        told.close();
        ::_exit(r.rows());
    } else {
        const QString file = QString::fromLocal8Bit(argv[4]);
        const bool xml = file.endsWith(".kvx");
        if (!(xml ? r.panel()->OpenXML(file) : r.panel()->OpenProject(file)))
            return 3;
        fill(r.at(0), 0.0, 4000, [](int k, int c) { return 0.001f * float(k % 100) - 0.5f * float(c); });
        r.at(1)->name = "B changed";
        qputenv("KVKILL_MATCH", QFile::encodeName(QFileInfo(file).absolutePath()));
        ok = xml ? r.panel()->SaveXML(file) : r.panel()->SaveProject(file);
    }
    ::_exit(ok ? 0 : 4);
}

} // namespace

void TestSaveFaults::saveReadsTheFilesTheLayersHoldOpen()
{
    PanelRig r;
    QTemporaryDir work;
    project(r, 2);
    const QStringList before = rowstate(r);
    // A cleaner empties the session folder under the running program.
    QVERIFY(QFile::remove(r.at(0)->file->fileName()));
    QVERIFY(QFile::remove(r.at(1)->file->fileName()));
    const QString kvp = work.filePath("song.kvp"), kvx = work.filePath("song.kvx");
    QVERIFY(r.panel()->SaveProject(kvp));
    QVERIFY(r.panel()->SaveXML(kvx));
    QVERIFY(r.asked.isEmpty());
    // Named on the command line (or by the desktop), a project opens.
    for (const QString& file : {kvp, kvx}) {
        QVERIFY(r.panel()->Close());
        r.window()->sessionimport(file);
        QCOMPARE(rowstate(r), before);
        QCOMPARE(r.window()->windowFilePath(), file);
    }

    // A layer file cut short: the layer cannot be read in full, so nothing is saved.
    r.asked.clear();
    const QByteArray oldkvp = bytesof(kvp), oldkvx = bytesof(kvx);
    const QStringList olddata = entries(kvx + ".data");
    QVERIFY(QFile::resize(r.at(1)->file->fileName(), 1000));
    r.window()->setWindowFilePath(kvp);
    r.window()->setWindowModified(true);
    r.panel()->Save();
    QVERIFY(!r.panel()->SaveXML(kvx));
    QCOMPARE(r.titles(), (QStringList{"Save Project", "Save Project"}));
    for (const PromptRequest& asked : r.asked) {
        QCOMPARE(asked.icon, QMessageBox::Critical);
        QVERIFY2(asked.text.contains("layer &quot;B&quot; could not be read in full (1000 of 64000 bytes): its "
                                     "sample file was cut short outside the program."),
                 qPrintable(asked.text));
        QVERIFY(asked.text.contains("is unchanged"));
    }
    QVERIFY(r.window()->isWindowModified());
    QCOMPARE(bytesof(kvp), oldkvp);
    QCOMPARE(bytesof(kvx), oldkvx);
    QCOMPARE(entries(kvx + ".data"), olddata);
    QCOMPARE(entries(work.path()), (QStringList{"song.kvp", "song.kvx", "song.kvx.data"}));

    // The session file follows the other layer and the user hears, once, that this one is lost to recovery.
    const QString cut = "The sample file of layer \"B\" was cut short outside the program: it holds 0.02 s of the "
                        "layer's 1.00 s.";
    r.asked.clear();
    r.panel()->SaveSession();
    r.panel()->SaveSession();
    QCOMPARE(r.titles(), QStringList{"Session"});
    QCOMPARE(r.asked.at(0).text, cut + "<br/>If the program ends unexpectedly, this layer cannot be recovered; the "
                                       "others can.");
    ProjectData session;
    QString error;
    QVERIFY2(readkvx(sessionpath + "/session(" + sessionid + ").kvx", &session, &error), qPrintable(error));
    QVERIFY(session.rows.size() == 1 && session.rows.at(0).name == "A");
    // An export of it says what it lacks.
    r.asked.clear();
    click(r, 1, 3);
    answerfile(r, work.filePath("B.wav"), "WAV");
    r.panel()->Export();
    QCOMPARE(r.titles(), QStringList{"Export Layer"});
    QCOMPARE(r.asked.at(0).text, work.filePath("B.wav") + " was written without what is missing:<br/>" + cut);
    QVERIFY(QFileInfo(work.filePath("B.wav")).size() > 1000);
    // So does one after an edit at its end has filled the file up again with silence.
    fill(r.at(1), 0.9, 800, [](int, int) { return 0.5f; });
    r.asked.clear();
    r.panel()->Export();
    QCOMPARE(r.titles(), QStringList{"Export Layer"});
    QCOMPARE(r.asked.at(0).text, work.filePath("B.wav") + " was written without what is missing:<br/>The sample "
                                 "file of layer \"B\" was cut short outside the program: 0.98 s of the layer's "
                                 "audio were lost, and silence stands where nothing was written since.");

    // A full disk while the samples are set aside for an export, or while
    // the converter writes them, is named, and leaves no file.
    click(r, 0, 3);
    const QList<std::pair<qint64, QString>> full{{30000, "File too large (in "},
                                                 {64010, "A.wav could not be written in full (Error "}};
    for (const auto& [limit, why] : full) {
        r.asked.clear();
        answerfile(r, work.filePath("A.wav"), "WAV 32bit");
        {
            FullDisk disk(limit);
            r.panel()->Export();
        }
        QCOMPARE(r.titles(), QStringList{"Export Layer"});
        QVERIFY2(r.asked.at(0).text.contains(why) && r.asked.at(0).text.contains("File too large"),
                 qPrintable(r.asked.at(0).text));
        QVERIFY(!QFileInfo::exists(work.filePath("A.wav")));
    }
    // A disk that fills under the converter (the kill library in it makes
    // its writes fail with ENOSPC) is named as full.
    r.asked.clear();
    answerfile(r, work.filePath("A.wav"), "WAV 32bit");
    const QByteArray folder = QFile::encodeName(work.path());
    for (const auto& [name, value] : QList<std::pair<const char*, QByteArray>>{
             {"LD_PRELOAD", KV_KILLAT}, {"KVKILL_ERRNO", "28"}, {"KVKILL_FULL", "1"}, {"KVKILL_MATCH", folder}})
        qputenv(name, value);
    r.panel()->Export();
    for (const char* name : {"LD_PRELOAD", "KVKILL_ERRNO", "KVKILL_FULL", "KVKILL_MATCH"})
        qunsetenv(name);
    QCOMPARE(r.titles(), QStringList{"Export Layer"});
    QVERIFY2(r.asked.at(0).text.contains("The disk holding " + work.path() + " is full: A.wav could not be written"),
             qPrintable(r.asked.at(0).text));
    QVERIFY(!QFileInfo::exists(work.filePath("A.wav")));
}

void TestSaveFaults::projectsWhosePartsDisagreeAreRefused()
{
    PanelRig r;
    QTemporaryDir work;
    project(r, 2);
    const QString kvp = work.filePath("good.kvp"), kvx = work.filePath("good.kvx");
    QVERIFY(r.panel()->SaveProject(kvp));
    QVERIFY(r.panel()->SaveXML(kvx));
    const QByteArray good = bytesof(kvp), text = bytesof(kvx);
    // 8000 frames of 2 channels: 64000 bytes a row, the second row from 64000 on.
    QVERIFY(good.contains("bytes=\"64000\" offset=\"64000\""));
    const auto kvpwith = [&](const QString& name, const char* from, const char* to) {
        const QString path = work.filePath(name);
        QByteArray bytes = good;
        bytes.replace(from, to); // as many characters: the header's text size still holds
        writebytes(path, bytes);
        return path;
    };
    struct Case
    {
        QString file;
        QString why;
    };
    const QList<Case> cases{
        {kvpwith("longer.kvp", "bytes=\"64000\" offset=\"0\"", "bytes=\"64008\" offset=\"0\""), "do not follow"},
        {kvpwith("shorter.kvp", "bytes=\"64000\" offset=\"64000\"", "bytes=\"63992\" offset=\"64000\""),
         "belong to none"},
        {kvpwith("overlap.kvp", "offset=\"64000\"", "offset=\"63992\""), "do not follow"},
    };
    QList<Case> all = cases;
    // The text of one save beside the samples of another: same names, another size.
    QDir().mkpath(work.filePath("mixed/good.kvx.data"));
    writebytes(work.filePath("mixed/good.kvx"), text);
    writebytes(work.filePath("mixed/good.kvx.data/layer1.pcm"), bytesof(work.filePath("good.kvx.data/layer1.pcm")));
    writebytes(work.filePath("mixed/good.kvx.data/layer2.pcm"),
               bytesof(work.filePath("good.kvx.data/layer2.pcm")) + QByteArray(8, '\0'));
    all.append({work.filePath("mixed/good.kvx"), "do not match the project"});
    // A rate no device plays.
    writebytes(work.filePath("fast.kvx"), QByteArray(text).replace("samplerate=\"8000\"", "samplerate=\"2147483647\""));
    all.append({work.filePath("fast.kvx"), "sample rate of 2147483647 Hz is outside"});
    writebytes(work.filePath("above.kvx"), QByteArray(text).replace("samplerate=\"8000\"", "samplerate=\"32000001\""));
    all.append({work.filePath("above.kvx"), "sample rate of 32000001 Hz is outside"});

    const QStringList rows = rowstate(r);
    r.window()->setWindowModified(false);
    for (const Case& c : all) {
        r.asked.clear();
        const bool opened = c.file.endsWith(".kvp") ? r.panel()->OpenProject(c.file) : r.panel()->OpenXML(c.file);
        QVERIFY2(!opened, qPrintable(c.file));
        QCOMPARE(r.titles(), QStringList{"Open Project"});
        QVERIFY2(r.asked.at(0).text.contains(c.why), qPrintable(r.asked.at(0).text));
        QCOMPARE(rowstate(r), rows);
    }
    QVERIFY(r.panel()->OpenProject(kvp));
    QVERIFY(r.panel()->OpenXML(kvx));
    QCOMPARE(rowstate(r), rows);
}

void TestSaveFaults::killedSavesLeaveTheOldOrTheNewProject_data()
{
    QTest::addColumn<QString>("ending");
    QTest::newRow("single file") << ".kvp";
    QTest::newRow("text and samples folder") << ".kvx";
}

void TestSaveFaults::killedSavesLeaveTheOldOrTheNewProject()
{
    QFETCH(QString, ending);
    PanelRig r;
    QTemporaryDir work;
    const QString file = work.filePath("song" + ending);
    const auto open = [&](const QString& path) {
        return ending == ".kvp" ? r.panel()->OpenProject(path) : r.panel()->OpenXML(path);
    };
    const auto saveold = [&] { return ending == ".kvp" ? r.panel()->SaveProject(file) : r.panel()->SaveXML(file); };
    project(r, 2);
    QVERIFY(saveold());
    QVERIFY(open(file));
    const QStringList old = rowstate(r);
    // The old project as saved, copied for each run.
    const QByteArray oldfile = bytesof(file);
    QMap<QString, QByteArray> olddata;
    for (const QString& name : entries(kvxdatafolder(file)))
        olddata[name] = bytesof(kvxdatafolder(file) + "/" + name);
    const auto copyold = [&](const QString& to) {
        QDir().mkpath(QFileInfo(to).path());
        writebytes(to, oldfile);
        if (!olddata.isEmpty())
            QDir().mkpath(kvxdatafolder(to));
        for (auto it = olddata.cbegin(); it != olddata.cend(); ++it)
            writebytes(kvxdatafolder(to) + "/" + it.key(), it.value());
    };

    // A whole run gives the new project and the steps of its save.
    int id = 0;
    const auto args = [&](const QString& target) {
        return QStringList{"save", QString("2001.01.01-00.00.00.%1").arg(++id, 3, 10, QChar('0')), target};
    };
    const ChildRun whole = runchild(args(file), 0);
    QCOMPARE(whole.exitcode, 0);
    QVERIFY(!whole.killed);
    QVERIFY2(whole.steps.size() >= 3, qPrintable(whole.steps.join('\n')));
    QVERIFY(open(file));
    const QStringList changed = rowstate(r);
    QVERIFY(changed != old);

    // Killed before each step: the old project or the new one, whole.
    const QList<int> points = whole.killpoints();
    QList<QStringList> whats;
    for (int at : points) {
        const QString copy = work.filePath(QString("k%1/song%2").arg(at).arg(ending));
        copyold(copy);
        whats << args(copy);
    }
    const QList<ChildRun> runs = runchildren(whats, points);
    int olds = 0, news = 0;
    for (int i = 0; i < points.size(); ++i) {
        const QString copy = whats.at(i).at(2);
        const ChildRun& run = runs.at(i);
        QVERIFY2(run.killed, qPrintable(QString("step %1: %2").arg(points.at(i)).arg(run.steps.join('\n'))));
        QVERIFY2(open(copy), qPrintable(r.asked.isEmpty() ? QString() : r.asked.last().text));
        const QStringList now = rowstate(r);
        QVERIFY2(now == old || now == changed, qPrintable(run.steps.join('\n')));
        (now == old ? olds : news) += 1;
    }
    // Killed before the step that puts the new file in place: still the old one.
    QVERIFY(olds > 0);
    QVERIFY(news > 0 || ending == ".kvp");
}

void TestSaveFaults::killedEditsRecoverEveryLayer()
{
    PanelRig r;
    r.answers["Recover Session"] = QMessageBox::Yes;
    r.answers["Close Project"] = QMessageBox::No;
    int id = 0;
    const auto args = [&] { return QStringList{"edit", QString("2001.01.02-00.00.00.%1").arg(++id, 3, 10, QChar('0'))}; };
    const ChildRun whole = runchild(args(), 0);
    QCOMPARE(whole.exitcode, 0);
    QVERIFY(whole.steps.size() >= 3);
    // Every step of the edit: the copies, the swap, the session write, the old
    // files' removal; step 0 is the run that ended after the edit.
    const QList<int> points = whole.killpoints();
    QList<QStringList> whats;
    for (int i = 0; i < points.size(); ++i)
        whats << args();
    const QList<ChildRun> runs = QList<ChildRun>{whole} + runchildren(whats, points);
    const QList<int> ats = QList<int>{0} + points;
    // One Recover for each run, the newest session first.
    for (int k = 0; k < runs.size(); ++k) {
        const ChildRun& run = runs.at(k);
        const int at = ats.at(k);
        QVERIFY(at == 0 || run.killed);
        r.asked.clear();
        r.panel()->Recover();
        QVERIFY2(r.titles() == QStringList{"Recover Session"} && r.rows() == 2,
                 qPrintable(QString("step %1: %2 %3").arg(at).arg(r.asked.value(r.asked.size() - 1).text,
                                                                 run.steps.join('\n'))));
        // Each layer as it was (1 s) or with the half second inserted (1.5 s), whole.
        for (int i = 0; i < 2; ++i) {
            layer* l = r.at(i);
            const std::vector<float> samples = samplefile(l);
            QVERIFY2(l->length == 1.0 || l->length == 1.5,
                     qPrintable(QString("step %1, row %2: %3 s\n%4").arg(at).arg(i).arg(l->length).arg(run.steps.join('\n'))));
            QCOMPARE(qint64(samples.size()), qint64(l->length * 8000) * 2);
            const float value = float(i + 1);
            for (size_t k = 0; k < samples.size(); k += 2) {
                const bool gap = l->length == 1.5 && k >= 2 * 2000 && k < 2 * 6000;
                QCOMPARE(samples[k], gap ? 0.0f : value);
                QCOMPARE(samples[k + 1], gap ? 0.0f : value + 0.25f);
            }
        }
        QVERIFY(r.panel()->Close());
    }
}

namespace {

// A script (see the child) run whole, then once for each of its file
// changes after "watch": killed just before it, or with `error` (a full disk)
// from it on. With `error` and `keptwrite`, the disk fills at that write into
// a kept file (counted from 1), and the runs are killed just before each
// change after it. A kill is placed only on a named file or on a layer's file.
struct ScriptRuns
{
    QStringList whole; // the sections the whole run wrote
    QStringList starved; // those of the whole run on the disk that fills
    QList<QStringList> runs; // and each of the others
    QStringList stepnames;
    bool killed = true; // every run but the whole ones was killed
};

// The pieces of one long write repeat the same changes, and a kill or a
// full disk at any of them but the first two and the last leaves what it
// leaves at the second.
bool repeats(const QStringList& steps, int i)
{
    const auto kind = [&](int k) { return steps.at(k).section(' ', 1); };
    for (int p = 1; p <= 3; ++p)
        if (i >= 2 * p && i + p < steps.size() && kind(i) == kind(i - p) && kind(i) == kind(i - 2 * p)
            && kind(i) == kind(i + p))
            return true;
    return false;
}

ScriptRuns runscript(const QString& script, int error, int keptwrite = 0)
{
    static int series = 0;
    ++series;
    const auto args = [&](int at) {
        return QStringList{"script", QString("2001.01.05-00.%1.00.%2").arg(series, 2, 10, QChar('0')).arg(at, 3, 10, QChar('0')),
                           script, QDir::tempPath() + QString("/script%1.txt").arg(at)};
    };
    const auto sections = [&](int at) { return QString::fromUtf8(bytesof(args(at).at(3))).split("\n--\n"); };
    ScriptRuns s;
    ChildRun full = runchild(args(0), 0);
    s.whole = sections(0);
    QString files = s.whole.last();
    int from = 0; // the step at which the disk fills (0: none); kills follow it
    for (int i = 0, n = 0; keptwrite > 0 && i < full.steps.size() && from == 0; ++i)
        if (full.steps.at(i).contains(" write ") && full.steps.at(i).endsWith(".kept") && ++n == keptwrite)
            from = i + 1;
    if (keptwrite > 0) {
        if (from == 0)
            return s;
        full = runchild(args(999), 0, error, from); // a number no kill takes
        s.starved = sections(999);
        files = s.starved.last();
    }
    const bool kill = error == 0 || from > 0;
    QList<int> steps;
    QList<QStringList> whats;
    for (int i = from + 1; i <= full.steps.size(); ++i) {
        const QString step = full.steps.at(i - 1);
        if (!repeats(full.steps, i - 1)
            && (!kill || !step.endsWith("(deleted)") || files.contains(" " + step.section('/', -1).section(' ', 0, 0) + " "))) {
            steps << i;
            whats << args(i);
            s.stepnames << QString("step %1 (%2)").arg(i).arg(step);
        }
    }
    const QList<ChildRun> ran = kill ? runchildren(whats, steps, error, QList<int>(steps.size(), from))
                                     : runchildren(whats, QList<int>(steps.size(), 0), error, steps);
    for (int i = 0; i < steps.size(); ++i) {
        s.runs << sections(steps.at(i));
        s.killed = s.killed && ran.at(i).killed;
    }
    return s;
}

} // namespace

void TestSaveFaults::killedEditsComeBackBeforeOrAfter_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("keptwrite");
    QTest::newRow("delete") << "state watch delete 3.3 12.7 state" << 0;
    QTest::newRow("paste") << "copy 5 9 state watch paste state" << 0;
    QTest::newRow("paste before the start") << "copy 0.3 1.6 state watch paste state" << 0;
    QTest::newRow("undo") << "delete 3.3 12.7 state watch undo state" << 0;
    QTest::newRow("undo that shifts frames") << "copy 0.3 1.6 paste state watch undo state" << 0;
    // A paste that makes B 0.9 s longer: the restore cuts or grows the file before the session file follows.
    QTest::newRow("undo of a paste that grows") << "copy 20.1 21.9 paste state watch undo state" << 0;
    QTest::newRow("redo of a paste that grows") << "copy 20.1 21.9 paste undo state watch end state" << 0;
    // The old frames of its first piece were put aside and overwritten; the
    // second piece's find no room.
    QTest::newRow("paste on a disk that fills") << "copy 5 9 state watch paste state" << 2;
}

// An edit of a 20 s layer killed at each of its writes: Recover gives every
// layer as it was before the edit or as it is after it, never a mix.
void TestSaveFaults::killedEditsComeBackBeforeOrAfter()
{
    QFETCH(QString, script);
    QFETCH(int, keptwrite);
    for (const QString& name : QDir(sessionpath).entryList({"session(*).kvx"}, QDir::Files))
        QFile::remove(sessionpath + "/" + name);
    const ScriptRuns s = runscript(script, keptwrite ? ENOSPC : 0, keptwrite);
    const QString before = s.whole.value(0), after = s.whole.value(1);
    QVERIFY2(s.whole.size() == 3 && before != after && s.runs.size() >= 3 && s.killed, qPrintable(s.whole.join('\n')));
    PanelRig r;
    r.answers["Recover Session"] = QMessageBox::Yes;
    r.answers["Close Project"] = QMessageBox::No;
    int befores = 0, saidbefore = 0;
    // Each run left a session, the whole ones as well.
    for (int k = 0; k < s.runs.size() + 1 + (keptwrite > 0); ++k) {
        r.asked.clear();
        r.panel()->Recover();
        const QString now = rowstate(r).join('\n');
        QVERIFY2(now == before || now == after, qPrintable(now + "\n" + s.stepnames.join('\n')));
        befores += now == before;
        // A layer taken back from what was put aside for an edit says so.
        const bool back =
            r.asked.value(0).text.contains("Layer &quot;B&quot; comes back as it was before its last edit");
        QVERIFY(!back || now == before);
        saidbefore += back;
        QVERIFY(r.panel()->Close());
    }
    QCOMPARE(QDir(sessionpath).entryList({"session(2001.01.05-*).kvx"}, QDir::Files), QStringList());
    // Once frames were put aside, some kill finds the edit under way.
    QVERIFY(befores > 0 && (saidbefore > 0 || s.stepnames.filter(".kept)").isEmpty()));
    // The edit the starved run kept without an entry was said to be lost to a run that ends.
    QVERIFY2(keptwrite == 0
                 || s.starved.filter("Recover Session brings the layer back as it was before this edit").size() == 1,
             qPrintable(s.starved.join('\n')));
}

void TestSaveFaults::aFullDiskNeverCostsAPaste_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("0.216 s") << "21.616";
    // Written in one small block, which a buffer could hold back to write later.
    QTest::newRow("10 ms") << "21.41";
}

// A disk that fills at each step of a paste that lengthens a layer (and
// stays full for an Undo): the boxes name the full disk, the layer holds what
// they say, and no Undo removes the paste for good: once there is room, the
// history's end gives it back.
void TestSaveFaults::aFullDiskNeverCostsAPaste()
{
    QFETCH(QString, end);
    const ScriptRuns s = runscript("state copy 20.6 21.4 paste copy 21.4 " + end +
                                       " state watch paste state undo state room state undo state end state",
                                   ENOSPC);
    QCOMPARE(s.whole.size(), 8); // no box
    const QString earlier = s.whole.at(0), lengthened = s.whole.at(1);
    QVERIFY(lengthened != earlier && s.whole.at(2) != lengthened && s.runs.size() >= 3);
    for (int i = 0; i < s.runs.size(); ++i) {
        const QStringList& run = s.runs.at(i);
        QVERIFY2(run.size() >= 8, qPrintable(s.stepnames.at(i)));
        const QString held = run.at(2), fullundo = run.at(3), room = run.at(4), undo = run.at(5);
        const QStringList boxes = run.mid(7, run.size() - 8);
        const QString step = s.stepnames.at(i) + "\n" + boxes.join('\n');
        QVERIFY2(boxes.filter("is full.").size() == boxes.size(), qPrintable(step));
        // A paste refused before it changed anything (nothing could be put
        // aside for it) says that nothing was written.
        QVERIFY2((held == lengthened) == step.contains("was not made: nothing of it was written"), qPrintable(step));
        // Each box of an edit left without an entry says what a run that ends then brings back.
        QVERIFY2(boxes.filter(QRegularExpression("written in full: the layer|was kept, but no history entry"))
                     == boxes.filter("Recover Session brings the layer back as it was before this edit"),
                 qPrintable(step));
        // With room again the layer is as the boxes left it, and the history's end gives the paste back.
        QVERIFY2(room == fullundo && run.at(6) == held, qPrintable(step));
        for (const QString& state : {fullundo, undo})
            QVERIFY2(state == held || state == lengthened || state == earlier, qPrintable(step));
        // What the boxes said the layer kept of the paste without an entry,
        // no Undo takes away: on the full disk it waits for the entry (and
        // says so), with room it goes back to the paste's start.
        if (held != lengthened && step.contains("no history entry"))
            QVERIFY2(fullundo == held && undo != earlier
                         && step.contains("has no history entry yet, and undoing or redoing now would remove it"),
                     qPrintable(step));
    }
}

void TestSaveFaults::twoInstancesRecoverOneSession()
{
    // Nothing left by the tests before.
    for (const QString& name : QDir(sessionpath).entryList({"session(*).kvx"}, QDir::Files))
        QFile::remove(sessionpath + "/" + name);
    // A run edits two layers and dies.
    const ChildRun dead = runchild({"edit", "2001.01.03-00.00.00.000"}, 0);
    QCOMPARE(dead.exitcode, 0);
    const QString deadsession = sessionpath + "/session(2001.01.03-00.00.00.000).kvx";
    ProjectData left;
    QString error;
    QVERIFY2(readkvx(deadsession, &left, &error), qPrintable(error));
    QCOMPARE(left.rows.size(), 2);

    // Two instances recover it: this one asks first; while its question is
    // open another instance tries, and after it has recovered, a third.
    PanelRig r;
    // Running, as the program is: its own session is nobody's to recover.
    QVERIFY(sessionlock().acquire(sessionpath, sessionid));
    const QString toldfile = QDir::tempPath() + "/told.txt";
    int otherrows = -1;
    QString othertold;
    const auto other = [&](const QString& id) {
        const ChildRun run = runchild({"recover", id, toldfile}, 0);
        otherrows = run.exitcode;
        othertold = QString::fromUtf8(bytesof(toldfile)).trimmed();
    };
    setpromptanswerer([&](const PromptRequest& request) {
        r.asked << request;
        if (request.title == "Recover Session" && request.text.endsWith("Recover it ?")) {
            other("2001.01.03-00.00.01.000");
            return QMessageBox::Yes;
        }
        return QMessageBox::Ok;
    });
    r.panel()->Recover();
    QCOMPARE(otherrows, 0);
    QCOMPARE(othertold, QString("There is no session to recover."));
    QCOMPARE(r.rows(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(r.at(i)->file->fileName(), left.rows.at(i).samples);
        QCOMPARE(qint64(samplefile(r.at(i)).size()) * 4, left.rows.at(i).bytes);
    }
    QVERIFY(!QFileInfo::exists(deadsession));
    other("2001.01.03-00.00.02.000");
    QCOMPARE(otherrows, 0);
    QCOMPARE(othertold, QString("There is no session to recover."));
    // The other instances took nothing, and removed nothing on their way out.
    for (int i = 0; i < 2; ++i)
        QCOMPARE(qint64(samplefile(r.at(i)).size()) * 4, left.rows.at(i).bytes);
    sessionlock().release();
}

// The narrow case: another instance has found the session ended and is
// about to take it over when this one does; held just before its lock (by
// the preloaded library), it is let go while this one asks its question.
void TestSaveFaults::aRecoveryTakenMeanwhileIsSaid()
{
    for (const QString& name : QDir(sessionpath).entryList({"session(*).kvx"}, QDir::Files))
        QFile::remove(sessionpath + "/" + name);
    const QString deadid = "2001.01.04-00.00.00.000";
    QCOMPARE(runchild({"edit", deadid}, 0).exitcode, 0);
    ProjectData left;
    QString error;
    QVERIFY2(readkvx(sessionpath + "/session(" + deadid + ").kvx", &left, &error), qPrintable(error));
    // The dead run's lock file goes, so that the only lock on that name is the other instance's claim.
    QFile::remove(sessionpath + "/" + InstanceLock::filename(deadid));
    const QString toldfile = QDir::tempPath() + "/told.txt", go = QDir::tempPath() + "/go",
                  log = QDir::tempPath() + "/paused.log";
    for (const QString& file : {toldfile, go, log})
        QFile::remove(file);
    QProcess other;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LD_PRELOAD", preload());
    env.insert("KVKILL_MATCH", InstanceLock::filename(deadid));
    env.insert("KVKILL_AT", "1");
    env.insert("KVKILL_PAUSE", go);
    env.insert("KVKILL_LOG", log);
    other.setProcessEnvironment(env);
    other.setProcessChannelMode(QProcess::ForwardedChannels);
    other.start(QCoreApplication::applicationFilePath(),
                {childswitch, "recover", "2001.01.04-00.00.01.000", toldfile});
    QTRY_VERIFY_WITH_TIMEOUT(bytesof(log).startsWith("1 PAUSE "), 60000);

    PanelRig r;
    QVERIFY(sessionlock().acquire(sessionpath, sessionid));
    QString othertold;
    setpromptanswerer([&](const PromptRequest& request) {
        r.asked << request;
        if (request.text.endsWith("Recover it ?")) {
            writebytes(go, "go");
            if (other.waitForFinished(60000) && other.exitStatus() == QProcess::NormalExit && other.exitCode() == 0)
                othertold = QString::fromUtf8(bytesof(toldfile)).trimmed();
            return QMessageBox::Yes;
        }
        return QMessageBox::Ok;
    });
    r.panel()->Recover();
    sessionlock().release();
    QCOMPARE(othertold, QString("Another instance of the program has recovered this session."));
    QCOMPARE(r.rows(), 2);
    QVERIFY(!QFileInfo::exists(sessionpath + "/session(" + deadid + ").kvx"));
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(r.at(i)->file->fileName(), left.rows.at(i).samples);
        QCOMPARE(qint64(samplefile(r.at(i)).size()) * 4, left.rows.at(i).bytes);
    }
}

// A run killed inside its Recover once its own session file names what it
// took over leaves that session to recover, never the one it took over.
void TestSaveFaults::aRecoverKilledHalfWayIsNotOfferedTwice()
{
    const auto sessions = [] { return QDir(sessionpath).entryList({"session(*).kvx"}, QDir::Files); };
    const QStringList recover{"recover", "2001.01.06-00.00.01.000", QDir::tempPath() + "/told.txt", "watch"};
    int at = 0; // the step that removes the session taken over, found by a whole run
    for (int pass = 0; pass < 2; ++pass) {
        for (const QString& name : sessions())
            QFile::remove(sessionpath + "/" + name);
        QCOMPARE(runchild({"edit", "2001.01.06-00.00.00.000"}, 0).exitcode, 0);
        const ChildRun run = runchild(recover, at);
        if (pass == 1)
            QVERIFY(run.killed);
        else
            at = int(run.steps.indexOf(QRegularExpression(".* unlink .*/session\\(2001.01.06-00.00.00.000\\).kvx")))+1;
        QVERIFY(at > 0 && (run.exitcode == 2 || run.killed));
    }
    QCOMPARE(sessions().size(), 2);
    // The clean-up at the next start removes the one taken over, whatever its age.
    cleansessionfolder(sessionpath, 30);
    QCOMPARE(sessions(), QStringList{"session(2001.01.06-00.00.01.000).kvx"});
    PanelRig r;
    r.answers["Recover Session"] = QMessageBox::Yes;
    r.panel()->Recover();
    QCOMPARE(r.titles(), QStringList{"Recover Session"});
    QCOMPARE(r.rows(), 2);
    QVERIFY(r.panel()->Close());
    r.asked.clear();
    r.panel()->Recover();
    QCOMPARE(r.asked.value(0).text, QString("There is no session to recover."));
    QCOMPARE(sessions(), QStringList());
}

void TestSaveFaults::aHangingUtilityCanBeCancelled()
{
    PanelRig r;
    project(r, 1);
    QTemporaryDir util;
    QDir().mkpath(util.filePath("sox"));
    QVERIFY(kvscript(util.filePath("sox/sox"), "exec sleep 120"));
    const QString oldutil = utilpath;
    utilpath = util.path();
    const std::vector<float> before = samplefile(r.at(0));
    // The window's own timers go on while sox hangs; its progress window's
    // Cancel ends the run.
    int ticks = 0;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] { ++ticks; });
    clock.start(20);
    QString shown;
    poll(3000, [&] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!progress || ticks < 10)
            return false;
        shown = progress->labelText();
        progress->cancel();
        return true;
    });
    const bool resampled = r.at(0)->resample(16000, 2, 0);
    utilpath = oldutil;
    QVERIFY(!resampled);
    QCOMPARE(shown, QString("Converting the samples to 16000 Hz/2 channel(s)..."));
    QVERIFY(ticks >= 10);
    // Cancelled, it is no failure to report.
    QVERIFY2(r.at(0)->lasterror().isEmpty(), qPrintable(r.at(0)->lasterror()));
    QCOMPARE(r.at(0)->samplerate, 8000);
    QCOMPARE(samplefile(r.at(0)), before);
}

int main(int argc, char** argv)
{
    if (argc > 3 && qstrcmp(argv[1], childswitch) == 0)
        return child(argc, argv);
    QApplication app(argc, argv);
    TestSaveFaults test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_savefaults.moc"
