// Projects and sessions in a whole main window: a saved project, in either
// form, opens with the same rows, attributes and samples; Save and Save As
// name the window after the file; files that are foreign, damaged or cut
// short, and saves into places that cannot take them, change nothing; dropped
// projects open; and the session of a run that died comes back.
#include <QCryptographicHash>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>

#include <unistd.h>

#include "app/sessionlock.h"
#include "core/log.h"
#include "fulldisk.h"
#include "panelrig.h"
#include "panels/projectlayers.h"

class TestProjectSave : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void savedProjectsOpenAsTheyWere_data();
    void savedProjectsOpenAsTheyWere();
    void saveAsNamesTheFileAndSaveReusesIt();
    void openingReplacesTheProjectAndDropsOpen();
    void damagedFilesChangeNothing();
    void failedSavesKeepTheOldFiles();
    void recoverBringsBackTheSessionOfADeadRun();
};

namespace {

QByteArray bytesof(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every row as one line: its attributes, bit for bit, and a digest of its samples.
QStringList rowstate(PanelRig& r)
{
    QStringList rows;
    for (int i = 0; i < r.rows(); ++i) {
        layer* l = r.at(i);
        const std::vector<float> samples = samplefile(l);
        const QByteArray digest = QCryptographicHash::hash(
            QByteArrayView(reinterpret_cast<const char*>(samples.data()), qsizetype(samples.size() * 4)),
            QCryptographicHash::Sha1);
        rows << QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|%10|%11")
                    .arg(l->name)
                    .arg(l->active)
                    .arg(l->mixsign)
                    .arg(QString::number(double(l->volume), 'g', 9))
                    .arg(l->samplerate)
                    .arg(l->channels)
                    .arg(l->speakermask)
                    .arg(QString::number(l->start, 'g', 17))
                    .arg(QString::number(l->length, 'g', 17))
                    .arg(samples.size())
                    .arg(QString::fromLatin1(digest.toHex()));
    }
    return rows;
}

int currentrow(PanelRig& r)
{
    return r.panel()->currentitem ? r.panel()->tree->indexOfTopLevelItem(r.panel()->currentitem) : -1;
}

QStringList pcmfiles()
{
    return kvsessionfiles().filter(".pcm");
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Rows of every kind: inactive, subtractive, quieter, louder than the slider
// reaches, moved, with an odd name and speaker mask, and one without samples;
// the third row is current.
void variedproject(PanelRig& r, int rate)
{
    project(r, 3, rate);
    click(r, 1, 0);
    click(r, 2, 2);
    r.part<QDoubleSpinBox>(0, LayersGui::SpinRole)->setValue(-6.0);
    r.part<QDoubleSpinBox>(2, LayersGui::SpinRole)->setValue(20.0);
    r.at(0)->name = QStringLiteral("Voice <1> & \"more\" \u00e9");
    r.at(1)->speakermask = 0x30;
    r.at(2)->start = 0.375;
    click(r, 0, 3);
    r.panel()->NewLayer(); // empty, above A
    click(r, 2, 3);
    QCOMPARE(r.names().at(0), QString("New Layer"));
    QCOMPARE(r.at(0)->length, 0.0);
}

// A folder that not even root can write into while it is locked.
bool lockfolder(const QString& path, bool lock)
{
    if (::geteuid() == 0)
        return QProcess::execute("chattr", {lock ? "+i" : "-i", path}) == 0;
    return QFile::setPermissions(path, lock ? QFile::ReadOwner | QFile::ExeOwner
                                            : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

const char* deadrunswitch = "--run-and-die";

} // namespace

void TestProjectSave::savedProjectsOpenAsTheyWere_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("rate");
    QTest::newRow("single file") << ".kvp" << 8000;
    QTest::newRow("text and samples folder") << ".kvx" << 8000;
    QTest::newRow("single file, an ultrasonic recording") << ".kvp" << 1000000;
}

void TestProjectSave::savedProjectsOpenAsTheyWere()
{
    QFETCH(QString, ending);
    QFETCH(int, rate);
    PanelRig r;
    QTemporaryDir work;
    variedproject(r, rate);
    const QStringList before = rowstate(r);
    const ProjectFormat format = projectformat;

    const QString file = work.filePath("song" + ending);
    answerfile(r, file);
    r.panel()->SaveAs();
    QCOMPARE(r.rig.filerequests.size(), 1);
    QCOMPARE(r.rig.filerequests.at(0).kind, FileRequest::Save);
    QCOMPARE(r.rig.filerequests.at(0).caption, QString("Save Project As"));
    QCOMPARE(r.rig.filerequests.at(0).path, rootpath + "/Resources/Samples/Untitled.kvp");
    QVERIFY(r.asked.isEmpty());
    QCOMPARE(r.window()->windowFilePath(), file);
    QVERIFY(!r.window()->isWindowModified());
    QCOMPARE(QSettings().value("recentFileList").toStringList(), QStringList{file});
    // The project's own files and nothing else beside them.
    const QStringList written = ending == ".kvp" ? QStringList{"song.kvp"} : QStringList{"song.kvx", "song.kvx.data"};
    QCOMPARE(entries(work.path()), written);
    if (ending == ".kvx")
        QCOMPARE(entries(work.filePath("song.kvx.data")), (QStringList{"layer2.pcm", "layer3.pcm", "layer4.pcm"}));
    const QByteArray saved = bytesof(file);

    QVERIFY(r.panel()->Close());
    QCOMPARE(r.rows(), 0);
    answerfile(r, file);
    r.window()->openprojectact->trigger();
    QVERIFY(r.asked.isEmpty());
    QCOMPARE(rowstate(r), before);
    QCOMPARE(currentrow(r), 2);
    QCOMPARE(projectformat.samplerate, format.samplerate);
    QCOMPARE(projectformat.channels, format.channels);
    QCOMPARE(projectformat.speakermask, format.speakermask);
    checkbindings(r);
    QCOMPARE(r.part<QLabel>(1, LayersGui::LabelRole)->text(), r.at(1)->name);
    QCOMPARE(r.part<QDoubleSpinBox>(1, LayersGui::SpinRole)->value(), -6.0);
    QCOMPARE(r.part<QDoubleSpinBox>(3, LayersGui::SpinRole)->value(), 20.0);
    QCOMPARE(r.part<QSlider>(3, LayersGui::SliderRole)->value(), 120);
    QCOMPARE(r.window()->windowFilePath(), file);
    QVERIFY(!r.window()->isWindowModified());
    QVERIFY(r.window()->propertiesact->isEnabled());
    // The layers hold copies: the saved project keeps its samples whatever they do.
    for (int i = 0; i < r.rows(); ++i)
        QCOMPARE(QFileInfo(r.at(i)->file->fileName()).path(), sessionpath);
    QCOMPARE(entries(work.path()), written);
    // Saved again unchanged, the single file is the same (the text names
    // fresh copies of the samples beside it).
    r.panel()->Save();
    if (ending == ".kvp")
        QCOMPARE(bytesof(file), saved);

    // Save writes to the same file without asking.
    r.part<QDoubleSpinBox>(3, LayersGui::SpinRole)->setValue(3.0);
    QVERIFY(r.window()->isWindowModified());
    const QStringList changed = rowstate(r);
    r.rig.filerequests.clear();
    r.panel()->Save();
    QVERIFY(r.rig.filerequests.isEmpty());
    QVERIFY(!r.window()->isWindowModified());
    QCOMPARE(entries(work.path()), written);
    QVERIFY(ending == ".kvp" ? r.panel()->OpenProject(file) : r.panel()->OpenXML(file));
    QCOMPARE(rowstate(r), changed);
    QCOMPARE(r.window()->windowFilePath(), file);
}

void TestProjectSave::saveAsNamesTheFileAndSaveReusesIt()
{
    PanelRig r;
    QTemporaryDir work;
    // Nothing open, nothing to save, nothing asked for (through the File menu).
    r.window()->saveact->trigger();
    QCOMPARE(r.titles(), QStringList{"Save Project As"});
    QCOMPARE(r.asked.at(0).text, QString("There is no project to save."));
    QVERIFY(r.rig.filerequests.isEmpty());
    QVERIFY(!r.panel()->SaveProject(work.filePath("empty.kvp")));
    QVERIFY(entries(work.path()).isEmpty());

    project(r, 2);
    r.asked.clear();
    // A name typed without an ending takes the one of the chosen form.
    answerfile(r, work.filePath("song"), "*.kvx");
    r.window()->saveasact->trigger();
    const QString kvx = work.filePath("song.kvx");
    QVERIFY(r.rig.filerequests.at(0).filter.contains("(*.kvp)"));
    QVERIFY(r.rig.filerequests.at(0).filter.contains("(*.kvx)"));
    QCOMPARE(r.window()->windowFilePath(), kvx);
    QCOMPARE(QSettings().value("lastprojectfolder").toString(), work.path());
    ProjectData data;
    QString error;
    QVERIFY2(readkvx(kvx, &data, &error), qPrintable(error));
    QCOMPARE(data.rows.size(), 2);

    answerfile(r, work.filePath("song"));
    r.panel()->SaveAs();
    const QString kvp = work.filePath("song.kvp");
    QCOMPARE(r.rig.filerequests.last().path, kvx); // proposed: the project's file
    QCOMPARE(r.window()->windowFilePath(), kvp);
    QCOMPARE(QSettings().value("recentFileList").toStringList(), (QStringList{kvp, kvx}));
    const QByteArray saved = bytesof(kvp);
    QVERIFY(saved.startsWith("KORVANE-PROJECT\n"));

    // The name with its ending added is asked about before it is replaced.
    r.at(0)->name = "Renamed";
    r.part<QDoubleSpinBox>(0, LayersGui::SpinRole)->setValue(-1.0);
    r.answers["Save Project As"] = QMessageBox::No;
    r.window()->setWindowFilePath("Untitled.kvp");
    r.panel()->Save();
    QCOMPARE(r.titles(), QStringList{"Save Project As"});
    QVERIFY(r.asked.at(0).text.contains("already exists"));
    QCOMPARE(bytesof(kvp), saved);
    QVERIFY(r.window()->isWindowModified());
    r.answers["Save Project As"] = QMessageBox::Yes;
    r.panel()->Save();
    QVERIFY(bytesof(kvp) != saved);
    QVERIFY(!r.window()->isWindowModified());

    // Save on a named project asks nothing and writes there.
    r.asked.clear();
    r.rig.filerequests.clear();
    r.at(1)->name = "Second";
    r.panel()->Save();
    QVERIFY(r.asked.isEmpty() && r.rig.filerequests.isEmpty());
    QVERIFY(r.panel()->OpenProject(kvp));
    QCOMPARE(r.names(), (QStringList{"Renamed", "Second"}));
}

void TestProjectSave::openingReplacesTheProjectAndDropsOpen()
{
    PanelRig r;
    QTemporaryDir work;
    project(r, 2);
    const QStringList two = rowstate(r);
    const QString kvp = work.filePath("two.kvp"), kvx = work.filePath("two.kvx");
    QVERIFY(r.panel()->SaveProject(kvp));
    QVERIFY(r.panel()->SaveXML(kvx));
    QVERIFY(r.panel()->Close());

    for (const QString& file : {kvp, kvx}) {
        project(r, 3);
        click(r, 2, 3);
        QList<layer*> old;
        QStringList oldfiles;
        for (int i = 0; i < 3; ++i) {
            old << r.at(i);
            oldfiles << r.at(i)->file->fileName();
        }
        QSignalSpy deleted(r.panel(), &LayersGui::outdellayers);
        // The new rows are unsaved work: the drop asks before it goes.
        r.asked.clear();
        r.answers["Close Project"] = QMessageBox::No;
        emit r.window()->dropUrl({QUrl::fromLocalFile(file)});
        QCOMPARE(r.titles(), QStringList{"Close Project"});
        QCOMPARE(rowstate(r), two);
        // The open project was closed: its layers went, bottom row first, and so did their files.
        QCOMPARE(deleted.size(), 3);
        QCOMPARE(deleted.at(0).at(0).value<layer*>(), old.at(2));
        for (const QString& gone : oldfiles)
            QVERIFY(!QFileInfo::exists(gone));
        QCOMPARE(currentrow(r), -1);
        checkbindings(r);
        QCOMPARE(r.window()->windowFilePath(), file);
        QCOMPARE(QSettings().value("recentFileList").toStringList().value(0), file);
        // The project just opened has no changes to ask about.
        QVERIFY(r.panel()->Close());
        QCOMPARE(r.titles(), QStringList{"Close Project"});
    }
}

void TestProjectSave::damagedFilesChangeNothing()
{
    PanelRig r;
    QTemporaryDir work;
    project(r, 2);
    click(r, 1, 3);
    const QString kvp = work.filePath("good.kvp"), kvx = work.filePath("good.kvx");
    QVERIFY(r.panel()->SaveProject(kvp));
    QVERIFY(r.panel()->SaveXML(kvx));
    const QByteArray good = bytesof(kvp);
    const QByteArray text = bytesof(kvx);

    const auto make = [&](const QString& name, const QByteArray& bytes) {
        const QString path = work.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
        return path;
    };
    QStringList damaged{make("wave.kvp", QByteArray("RIFF\x24\x08\0\0WAVEfmt ", 16) + QByteArray(2000, '\1')),
                        make("header.kvp", good.left(20)),
                        make("text.kvp", good.left(good.indexOf("<layer"))),
                        make("samples.kvp", good.left(good.size() - 4)),
                        make("other.kvp", QByteArray(good).replace("version=\"1\"", "version=\"9\"")),
                        make("text.kvx", "not a project at all"),
                        make("numbers.kvx", QByteArray(text).replace("samplerate=\"8000\"", "samplerate=\"-5\"")),
                        work.filePath("missing.kvp")};
    // A text whose samples folder is not beside it, and one whose samples are cut.
    QDir().mkpath(work.filePath("moved"));
    damaged << make("moved/good.kvx", text);
    QDir().mkpath(work.filePath("cut/good.kvx.data"));
    damaged << make("cut/good.kvx", text);
    make("cut/good.kvx.data/layer1.pcm", bytesof(work.filePath("good.kvx.data/layer1.pcm")));
    make("cut/good.kvx.data/layer2.pcm", bytesof(work.filePath("good.kvx.data/layer2.pcm")).left(1000));

    const QStringList rows = rowstate(r);
    const QStringList files = pcmfiles();
    r.window()->setWindowModified(true);
    for (const QString& file : damaged) {
        r.asked.clear();
        const bool opened = file.endsWith(".kvp") ? r.panel()->OpenProject(file) : r.panel()->OpenXML(file);
        QVERIFY2(!opened, qPrintable(file));
        // The changes were offered for saving before the file was read.
        QCOMPARE(r.titles(), (QStringList{"Close Project", "Open Project"}));
        QCOMPARE(r.asked.at(1).icon, QMessageBox::Critical);
        QVERIFY2(r.asked.at(1).text.startsWith(file.toHtmlEscaped() + " could not be opened.<br/>"),
                 qPrintable(r.asked.at(1).text));
        QCOMPARE(rowstate(r), rows);
        QCOMPARE(currentrow(r), 1);
        QCOMPARE(pcmfiles(), files);
        QCOMPARE(r.window()->windowFilePath(), QString("Untitled.kvp"));
        QVERIFY(r.window()->isWindowModified());
    }
    checkbindings(r);
    QVERIFY(r.asked.at(1).text.contains("layer2.pcm"));
    // The good ones still open.
    QVERIFY(r.panel()->OpenProject(kvp));
    QCOMPARE(rowstate(r), rows);
}

void TestProjectSave::failedSavesKeepTheOldFiles()
{
    PanelRig r;
    QTemporaryDir work;
    project(r, 2);
    const QString folder = work.filePath("locked");
    QDir().mkpath(folder);
    const QString kvp = folder + "/song.kvp", kvx = folder + "/song.kvx";
    QVERIFY(r.panel()->SaveProject(kvp));
    QVERIFY(r.panel()->SaveXML(kvx));
    const QByteArray oldkvp = bytesof(kvp), oldkvx = bytesof(kvx);
    const QByteArray oldsamples = bytesof(folder + "/song.kvx.data/layer1.pcm");
    const QStringList oldentries = entries(folder);
    const auto unchanged = [&] {
        QCOMPARE(bytesof(kvp), oldkvp);
        QCOMPARE(bytesof(kvx), oldkvx);
        QCOMPARE(bytesof(folder + "/song.kvx.data/layer1.pcm"), oldsamples);
        QCOMPARE(entries(folder), oldentries);
        QCOMPARE(entries(folder + "/song.kvx.data"), (QStringList{"layer1.pcm", "layer2.pcm"}));
    };
    fill(r.at(0), 0.0, 8000, [](int k, int) { return float(k % 7) * 0.125f; });
    r.part<QDoubleSpinBox>(0, LayersGui::SpinRole)->setValue(-3.0);

    // A full disk: the new file cannot be written in full.
    {
        FullDisk full(40000);
        r.asked.clear();
        QVERIFY(!r.panel()->SaveProject(kvp));
        QVERIFY(!r.panel()->SaveXML(kvx));
    }
    QCOMPARE(r.titles(), (QStringList{"Save Project", "Save Project"}));
    QCOMPARE(r.asked.at(0).icon, QMessageBox::Critical);
    QVERIFY(r.asked.at(0).text.contains(kvp.toHtmlEscaped()));
    QVERIFY(r.asked.at(0).text.contains("is unchanged"));
    unchanged();

    // A folder that takes no new file.
    const bool lockable = lockfolder(folder, true);
    const bool locked = lockable && !QFile(folder + "/probe").open(QIODevice::WriteOnly);
    r.asked.clear();
    const bool wrotekvp = r.panel()->SaveProject(kvp);
    const bool wrotekvx = r.panel()->SaveXML(kvx);
    answerfile(r, kvp);
    r.panel()->SaveAs();
    if (lockable)
        QVERIFY(lockfolder(folder, false));
    if (!locked)
        QSKIP("no folder can be made unwritable for this user here");
    QVERIFY(!wrotekvp && !wrotekvx);
    QCOMPARE(r.titles(), (QStringList{"Save Project", "Save Project", "Save Project"}));
    unchanged();
    // The window still tells that the project is not saved.
    QVERIFY(r.window()->isWindowModified());
    QCOMPARE(r.window()->windowFilePath(), QString("Untitled.kvp"));
    QVERIFY(QSettings().value("recentFileList").toStringList().isEmpty());

    // Once the folder takes files again, the changes are saved.
    QVERIFY(r.panel()->SaveProject(kvp));
    QVERIFY(bytesof(kvp) != oldkvp);
    QCOMPARE(entries(folder), oldentries);
}

void TestProjectSave::recoverBringsBackTheSessionOfADeadRun()
{
    // Another run of this program edits a project and dies without closing.
    const QString deadid = QStringLiteral("2001.02.03-04.05.06.789");
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(QCoreApplication::applicationFilePath(), {deadrunswitch, deadid});
    QVERIFY(run.waitForFinished(180000));
    QCOMPARE(run.exitCode(), 0);
    const QString dead = sessionpath + "/session(" + deadid + ").kvx";
    ProjectData left;
    QString error;
    QVERIFY2(readkvx(dead, &left, &error), qPrintable(error));
    QCOMPARE(left.rows.size(), 2);

    PanelRig r;
    // While that run is alive its session is not offered.
    {
        InstanceLock alive;
        QVERIFY(alive.acquire(sessionpath, deadid));
        r.window()->recoveract->trigger();
        QCOMPARE(r.titles(), QStringList{"Recover Session"});
        QCOMPARE(r.asked.at(0).text, QString("There is no session to recover."));
    }
    r.asked.clear();
    project(r, 1);
    const QStringList own = rowstate(r);
    r.answers["Recover Session"] = QMessageBox::No;
    r.panel()->Recover();
    QCOMPARE(r.titles(), QStringList{"Recover Session"});
    QVERIFY(r.asked.at(0).text.contains("2 layer(s)"));
    QVERIFY(r.asked.at(0).text.contains("The open project will be closed."));
    QCOMPARE(rowstate(r), own);
    QVERIFY(QFileInfo::exists(dead));

    r.answers["Recover Session"] = QMessageBox::Yes;
    r.panel()->Recover();
    QCOMPARE(r.names(), (QStringList{"A", "B"}));
    QCOMPARE(currentrow(r), 1);
    QCOMPARE(r.at(0)->volume, 0.5f);
    QCOMPARE(r.at(1)->mixsign, -1);
    QCOMPARE(r.at(0)->length, 1.0);
    const std::vector<float> a = samplefile(r.at(0)), b = samplefile(r.at(1));
    QCOMPARE(a.size(), size_t(16000));
    QCOMPARE(b.size(), size_t(16000));
    for (size_t i = 0; i < a.size(); i += 2) {
        QCOMPARE(a[i], 1.0f);
        QCOMPARE(a[i + 1], 1.25f);
        QCOMPARE(b[i], 2.0f);
        QCOMPARE(b[i + 1], 2.25f);
    }
    checkbindings(r);
    // The layers took the dead run's files over; its session file gave way to this run's.
    QCOMPARE(r.at(0)->file->fileName(), left.rows.at(0).samples);
    QCOMPARE(r.at(1)->file->fileName(), left.rows.at(1).samples);
    QVERIFY(!QFileInfo::exists(dead));
    const QString mine = sessionpath + "/session(" + sessionid + ").kvx";
    ProjectData session;
    QVERIFY2(readkvx(mine, &session, &error), qPrintable(error));
    QCOMPARE(session.rows.size(), 2);
    QCOMPARE(r.window()->windowFilePath(), QString("Untitled.kvp"));
    QVERIFY(r.window()->isWindowModified());

    // This run's own session is no dead run's: opened as one, the files its
    // rows still own are copied, not taken.
    const QStringList recovered = rowstate(r);
    const QString taken = r.at(0)->file->fileName();
    QVERIFY(r.panel()->OpenXML(mine, false));
    QCOMPARE(rowstate(r), recovered);
    QVERIFY(r.at(0)->file->fileName() != taken);
    QVERIFY(!QFileInfo::exists(taken));

    // The session file follows the project's changes and goes with it.
    r.panel()->NewLayer();
    QVERIFY(readkvx(mine, &session, &error));
    QCOMPARE(session.rows.size(), 3);
    // Inserting time gives every layer a new sample file.
    r.panel()->NoItemClicked();
    r.panel()->InsertTime(0.25, 0.5);
    QVERIFY2(readkvx(mine, &session, &error), qPrintable(error));
    QCOMPARE(session.rows.at(2).samples, r.at(2)->file->fileName());
    QCOMPARE(session.rows.at(2).bytes, 8000 * 1.5 * 2 * 4);
    QVERIFY(r.panel()->Close());
    QVERIFY(!QFileInfo::exists(mine));
    QVERIFY(!QFileInfo::exists(left.rows.at(1).samples));
    r.asked.clear();
    r.panel()->Recover();
    QCOMPARE(r.asked.at(0).text, QString("There is no session to recover."));
}

namespace {

// The run that dies: it holds its instance lock, edits a project of two rows
// (A at -6 dB, B subtractive and current), saves its session as after an edit
// and ends at once, leaving its files behind.
int deadrun(int argc, char** argv)
{
    QApplication app(argc, argv);
    kvtestfolders();
    sessionid = QString::fromLatin1(argv[2]);
    WindowRig::identify();
    loginit(2);
    if (!sessionlock().acquire(sessionpath, sessionid))
        return 2;
    PanelRig r;
    project(r, 2);
    click(r, 1, 2);
    click(r, 1, 3);
    r.part<QDoubleSpinBox>(0, LayersGui::SpinRole)->setValue(-6.0);
    r.panel()->SaveSession();
    ::_exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && qstrcmp(argv[1], deadrunswitch) == 0)
        return deadrun(argc, argv);
    QApplication app(argc, argv);
    TestProjectSave test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_projectsave.moc"
