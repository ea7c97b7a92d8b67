#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QProgressDialog>
#include <QTimer>
#include <csignal>
#include <QVBoxLayout>
#include <QtEndian>

#include "fulldisk.h"
#include "plugins/filters/filterhost.h"

using namespace filtertest;

// The external wave editor round trip loaded from the installation root and
// run as the host runs it on a two-channel layer of one second at 8000 Hz
// (a sum of sines in channel 0, noise in channel 1). A shell script stands
// in for the editor and changes the file with sox as KV_FAKE_EDIT says.
class TestEditorhandoff : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void identityAndDialog();
    void notAnEditor_data();
    void notAnEditor();
    void chooseTheEditor();
    void roundTrip_data();
    void roundTrip();
    void exchangeFile();
    void selection();
    void everyRoundTripHasItsOwnFile();
    void shorterFile();
    void longerFile();
    void truncatedFile();
    void otherChunks();
    void refused_data();
    void refused();
    void failingEditor_data();
    void failingEditor();
    void editorCannotStart();
    void neverEndingEditorCancelled();
    void exchangeFileCannotBeWritten();
    void exchangeFileCannotBeMade();

private:
    static QPushButton* pathbutton(QDialog* dialog);
    // Runs the filter with the editor in the given mode, pressing "Edit".
    bool edit(const QString& mode, int channelmask = 0b11);
    void useeditor(const QString& path);
    // The layer still holds what it was made with.
    void unchanged();
    // The file that the last message says was kept.
    static QString keptfile();
    // The exchange files in the temporary folder.
    static QStringList exchanges();

    LoadedFilter loaded;
    FilterInterface* filter = nullptr;
    SlotRig rig;
    std::vector<float> a, b;
    QString editor;
};

constexpr int rate = 8000;
constexpr int length = rate;

// A RIFF WAVE file of the given chunks, in order.
static QByteArray riff(const QList<QByteArray>& chunks)
{
    QByteArray body("WAVE");
    for (const QByteArray& c : chunks)
        body += c;
    QByteArray size(4, 0);
    qToLittleEndian(quint32(body.size()), size.data());
    return "RIFF" + size + body;
}

static QByteArray chunk(const char* id, const QByteArray& content)
{
    QByteArray size(4, 0);
    qToLittleEndian(quint32(content.size()), size.data());
    QByteArray c = QByteArray(id, 4) + size + content;
    if (content.size() % 2)
        c += '\0';
    return c;
}

// The format chunk of 16-bit PCM.
static QByteArray pcm16format(int channels, int samplerate)
{
    QByteArray f(16, 0);
    qToLittleEndian(quint16(1), f.data());
    qToLittleEndian(quint16(channels), f.data() + 2);
    qToLittleEndian(quint32(samplerate), f.data() + 4);
    qToLittleEndian(quint32(samplerate * 2 * channels), f.data() + 8);
    qToLittleEndian(quint16(2 * channels), f.data() + 12);
    qToLittleEndian(quint16(16), f.data() + 14);
    return chunk("fmt ", f);
}

// Interleaved 16-bit frames of the value v(frame, channel) in units of 1/32768.
static QByteArray pcm16frames(int frames, int channels, int (*v)(int, int))
{
    QByteArray d(frames * channels * 2, 0);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            qToLittleEndian(qint16(v(i, c)), d.data() + (i * channels + c) * 2);
    return chunk("data", d);
}

static int steps(int frame, int channel)
{
    return (frame * 37 + channel * 1000) % 20000 - 10000;
}

QPushButton* TestEditorhandoff::pathbutton(QDialog* dialog)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() != QLatin1String("Edit"))
            return button;
    return nullptr;
}

bool TestEditorhandoff::edit(const QString& mode, int channelmask)
{
    qputenv("KV_FAKE_EDIT", mode.toUtf8());
    answer = [](QDialog* dialog) {
        dialog->setResult(QDialog::Rejected);
        click(dialog, "Edit");
        return dialog->result();
    };
    return rig.run(filter, channelmask);
}

void TestEditorhandoff::useeditor(const QString& path)
{
    answer = [](QDialog* dialog) {
        pathbutton(dialog)->click();
        return int(QDialog::Rejected);
    };
    fileanswer = [path](bool) { return path; };
    rig.fill(*filter, 0b11);
    filter->process();
    forget();
}

QString TestEditorhandoff::keptfile()
{
    const QString text = seen.texts.value(0);
    const QString marker = QStringLiteral("the edited file stays at ");
    const int at = text.indexOf(marker);
    if (at < 0 || !text.endsWith('.'))
        return QString();
    return QDir::fromNativeSeparators(text.mid(at + marker.size()).chopped(1));
}

QStringList TestEditorhandoff::exchanges()
{
    return QDir(QDir::tempPath()).entryList({"Korvane*.wav"}, QDir::Files);
}

void TestEditorhandoff::unchanged()
{
    QCOMPARE(rig.current(0, 0, length), a);
    QCOMPARE(rig.current(1, 0, length), b);
}

void TestEditorhandoff::initTestCase()
{
    QCoreApplication::setOrganizationName("Murrowgate");
    QCoreApplication::setApplicationName("Korvane");
    hostfolders("editorhandoff");
    filter = loaded.load(QStringLiteral("editorhandoff"));
    QVERIFY(filter);
    QVERIFY(!filter->previewhook);
    a = sines(length, rate);
    b = noise(length, 11, 0.5f);
    editor = QStringLiteral(KV_SOURCE_DIR "/tests/plugins/filters/editorhandoff/fakeeditor.sh");
    QVERIFY(QFileInfo(editor).isExecutable());
    qputenv("KV_FAKE_COPY", QFile::encodeName(QDir::tempPath() + "/copy.wav"));
    qputenv("KV_FAKE_SOURCE", QFile::encodeName(QDir::tempPath() + "/source.wav"));
}

void TestEditorhandoff::init()
{
    forget();
    for (const QString& name : exchanges())
        QFile::remove(QDir::tempPath() + "/" + name);
    rig.setup(interleave(a, b), rate, 2, 256, 4);
}

void TestEditorhandoff::identityAndDialog()
{
    QCOMPARE(filter->name, QString("IO External Wave Editor"));
    QCOMPARE(filter->category, QString("IO"));
    QCOMPARE(filter->label, QString("External Wave Editor"));
    answer = [](QDialog* dialog) {
        [&] {
            QCOMPARE(dialog->windowTitle(), QString("External Wave Editor"));
            auto* layout = qobject_cast<QVBoxLayout*>(dialog->layout());
            QVERIFY(layout);
            QCOMPARE(layout->count(), 2);
            auto* path = qobject_cast<QPushButton*>(layout->itemAt(0)->widget());
            auto* go = qobject_cast<QPushButton*>(layout->itemAt(1)->widget());
            QVERIFY(path && go);
            // Nothing stored yet: the placeholder.
            QCOMPARE(path->text(), QString("Path to external wave editor"));
            QCOMPARE(path->toolTip(), QString("Path to external audio editor"));
            QCOMPARE(go->text(), QString("Edit"));
        }();
        return int(QDialog::Rejected);
    };
    rig.fill(*filter, 0b11);
    QVERIFY(!filter->process());
    QCOMPARE(seen.dialogs, 1);
    QVERIFY(exchanges().isEmpty());
}

void TestEditorhandoff::notAnEditor_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("placeholder") << QString();
    QTest::newRow("folder") << QDir::tempPath();
    QTest::newRow("not executable") << QStringLiteral(KV_SOURCE_DIR "/tests/plugins/filters/editorhandoff/CMakeLists.txt");
}

void TestEditorhandoff::notAnEditor()
{
    QFETCH(QString, path);
    if (!path.isEmpty())
        useeditor(path);
    // "Edit" warns and brings the dialog back until it is closed.
    int runs = 0;
    answer = [&](QDialog* dialog) {
        if (++runs == 1) {
            click(dialog, "Edit");
            return dialog->result();
        }
        return int(QDialog::Rejected);
    };
    rig.fill(*filter, 0b11);
    QVERIFY(!filter->process());
    QCOMPARE(runs, 2);
    QCOMPARE(seen.titles, QStringList{"External Wave Editor"});
    QCOMPARE(seen.texts, QStringList{"Not an external editor."});
    QVERIFY(exchanges().isEmpty());
    unchanged();
}

void TestEditorhandoff::chooseTheEditor()
{
    useeditor(editor);
    QCOMPARE(QSettings().value("externalwaveeditor").toString(), editor);
    QString shown;
    answer = [&](QDialog* dialog) {
        shown = pathbutton(dialog)->text();
        // Answers too short or naming nothing change nothing.
        fileanswer = [](bool) { return QString("/"); };
        pathbutton(dialog)->click();
        fileanswer = [](bool) { return QDir::tempPath() + "/nothing-here"; };
        pathbutton(dialog)->click();
        fileanswer = [](bool) { return QString(); };
        pathbutton(dialog)->click();
        shown += "|" + pathbutton(dialog)->text();
        return int(QDialog::Rejected);
    };
    rig.fill(*filter, 0b11);
    QVERIFY(!filter->process());
    QCOMPARE(shown, editor + "|" + editor);
    QCOMPARE(seen.filecaptions, QStringList(3, "Select an external wave editor"));
    QCOMPARE(QSettings().value("externalwaveeditor").toString(), editor);
}

void TestEditorhandoff::roundTrip_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<float>("factor");
    QTest::addColumn<float>("tolerance");
    QTest::newRow("untouched") << "none" << 1.0f << 0.0f;
    QTest::newRow("halved, 32-bit float") << "gain" << 0.5f << 1e-6f;
    QTest::newRow("8-bit PCM") << "pcm8" << 1.0f << 0.02f;
    QTest::newRow("16-bit PCM") << "pcm16" << 1.0f << 2e-4f;
    QTest::newRow("24-bit PCM") << "pcm24" << 1.0f << 1e-6f;
    QTest::newRow("32-bit PCM") << "pcm32" << 1.0f << 1e-6f;
}

void TestEditorhandoff::roundTrip()
{
    QFETCH(QString, mode);
    QFETCH(float, factor);
    QFETCH(float, tolerance);
    useeditor(editor);
    QVERIFY(edit(mode));
    QVERIFY(seen.texts.isEmpty());
    QCOMPARE(seen.notices, QStringList({"Launching external wave editor...", "Importing back..."}));
    std::vector<float> want0(a), want1(b);
    for (float& v : want0)
        v *= factor;
    for (float& v : want1)
        v *= factor;
    QVERIFY(maxdiff(rig.current(0, 0, length), want0) <= tolerance);
    QVERIFY(maxdiff(rig.current(1, 0, length), want1) <= tolerance);
    QVERIFY(exchanges().isEmpty());
}

void TestEditorhandoff::exchangeFile()
{
    useeditor(editor);
    // Channel 1 is switched off: it travels as silence and is not read back.
    QVERIFY(edit("keep", 0b01));
    QFile copy(QDir::tempPath() + "/copy.wav");
    QVERIFY(copy.open(QIODevice::ReadOnly));
    const QByteArray bytes = copy.readAll();
    const char* p = bytes.constData();
    // The whole layer: samples 0 to 8000, both included.
    const quint32 frames = length + 1;
    QCOMPARE(bytes.size(), qsizetype(44 + frames * 8));
    QCOMPARE(bytes.left(4), QByteArray("RIFF"));
    QCOMPARE(qFromLittleEndian<quint32>(p + 4), frames * 8 + 36);
    QCOMPARE(bytes.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(qFromLittleEndian<quint32>(p + 16), 16u);
    QCOMPARE(qFromLittleEndian<quint16>(p + 20), quint16(3));
    QCOMPARE(qFromLittleEndian<quint16>(p + 22), quint16(2));
    QCOMPARE(qFromLittleEndian<quint32>(p + 24), quint32(rate));
    QCOMPARE(qFromLittleEndian<quint32>(p + 28), quint32(rate * 8));
    QCOMPARE(qFromLittleEndian<quint16>(p + 32), quint16(8));
    QCOMPARE(qFromLittleEndian<quint16>(p + 34), quint16(32));
    QCOMPARE(bytes.mid(36, 4), QByteArray("data"));
    QCOMPARE(qFromLittleEndian<quint32>(p + 40), frames * 8);
    for (int i : {0, 1, 1234, length - 1}) {
        QCOMPARE(qFromLittleEndian<float>(p + 44 + i * 8), a[i]);
        QCOMPARE(qFromLittleEndian<float>(p + 48 + i * 8), 0.0f);
    }
    // Past the layer's end the sample reads as silence.
    QCOMPARE(qFromLittleEndian<float>(p + 44 + length * 8), 0.0f);

    // Halving with channel 1 off leaves channel 1 as it was.
    QVERIFY(edit("gain", 0b01));
    std::vector<float> half(a);
    for (float& v : half)
        v *= 0.5f;
    QVERIFY(maxdiff(rig.current(0, 0, length), half) < 1e-6f);
    QCOMPARE(rig.current(1, 0, length), b);
}

void TestEditorhandoff::selection()
{
    useeditor(editor);
    // 0.25 s to 0.5 s over the whole band: samples 2000 to 4000.
    rig.select(QRectF(0.25, rate / 2, 0.25, -rate / 2));
    QVERIFY(edit("keep"));
    QCOMPARE(QFileInfo(QDir::tempPath() + "/copy.wav").size(), qint64(44 + 2001 * 8));
    QVERIFY(edit("gain"));
    rig.select(QRectF());
    const std::vector<float> now = rig.current(0, 0, length);
    for (int i : {0, 1999, 4001, 7999})
        QCOMPARE(now[i], a[i]);
    for (int i : {2000, 3000, 4000})
        QVERIFY(std::fabs(now[i] - 0.5f * a[i]) < 1e-6f);
}

void TestEditorhandoff::everyRoundTripHasItsOwnFile()
{
    // Another running program's exchange files are not touched.
    const QString other = QDir::tempPath() + "/Korvane.wav";
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("another program's audio");
    file.close();
    const QString names = QDir::tempPath() + "/names.txt";
    qputenv("KV_FAKE_NAMES", QFile::encodeName(names));
    useeditor(editor);
    QVERIFY(edit("names"));
    QVERIFY(edit("names"));
    QFile list(names);
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QStringList used = QString::fromUtf8(list.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(used.size(), 2);
    QVERIFY(used[0] != used[1]);
    for (const QString& path : used) {
        QCOMPARE(QFileInfo(path).absolutePath(), QDir(QDir::tempPath()).absolutePath());
        QVERIFY(path.endsWith(".wav"));
        QVERIFY(!QFile::exists(path));
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("another program's audio"));
    file.close();
    QVERIFY(file.remove());
    unchanged();
}

void TestEditorhandoff::shorterFile()
{
    // The editor keeps the first half second: the rest of the layer stays,
    // and the message says so.
    useeditor(editor);
    QVERIFY(edit("shorter"));
    QCOMPARE(seen.texts, QStringList{"The external wave editor returned 4001 samples fewer than the area holds: "
                                     "the first 4000 samples of the area were replaced, the rest of the area "
                                     "keeps its former samples."});
    const std::vector<float> now = rig.current(0, 0, length);
    for (int i : {0, 100, 3999})
        QVERIFY(std::fabs(now[i] - 0.5f * a[i]) < 1e-6f);
    for (int i : {4000, 6000, 7999})
        QCOMPARE(now[i], a[i]);
    QVERIFY(exchanges().isEmpty());
}

void TestEditorhandoff::longerFile()
{
    useeditor(editor);
    QVERIFY(edit("longer"));
    QCOMPARE(seen.texts, QStringList{"The external wave editor returned 2000 samples more than the area holds: "
                                     "the samples past the end of the area were not imported."});
    std::vector<float> half(a);
    for (float& v : half)
        v *= 0.5f;
    QVERIFY(maxdiff(rig.current(0, 0, length), half) < 1e-6f);
}

void TestEditorhandoff::truncatedFile()
{
    // The data chunk promises more frames than the file holds: those there
    // are imported, and the message says how many were missing.
    useeditor(editor);
    QByteArray cut = riff({pcm16format(2, rate), pcm16frames(length + 1, 2, steps)});
    cut.chop(2 * 2 * 1001);
    QFile source(QDir::tempPath() + "/source.wav");
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(cut);
    source.close();
    QVERIFY(edit("replace"));
    QCOMPARE(seen.texts.size(), 1);
    QVERIFY2(seen.texts[0].startsWith("The external wave editor returned 1001 samples fewer"), qPrintable(seen.texts[0]));
    const std::vector<float> now = rig.current(1, 0, length);
    QCOMPARE(now[6999], steps(6999, 1) / 32768.0f);
    QCOMPARE(now[7000], b[7000]);
}

void TestEditorhandoff::otherChunks()
{
    // Chunks of odd and even size between the format and the data, and one
    // after the data, whose bytes are no samples.
    useeditor(editor);
    QFile source(QDir::tempPath() + "/source.wav");
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(riff({pcm16format(2, rate), chunk("LIST", "INFOodd"), chunk("junk", "even"),
                       pcm16frames(length + 1, 2, steps), chunk("LIST", QByteArray(64, 'x'))}));
    source.close();
    QVERIFY(edit("replace"));
    QVERIFY(seen.texts.isEmpty());
    const std::vector<float> now0 = rig.current(0, 0, length);
    const std::vector<float> now1 = rig.current(1, 0, length);
    for (int i = 0; i < length; ++i) {
        QCOMPARE(now0[i], steps(i, 0) / 32768.0f);
        QCOMPARE(now1[i], steps(i, 1) / 32768.0f);
    }
}

void TestEditorhandoff::refused_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("file"); // for "replace"
    QTest::addColumn<QString>("reason");
    QTest::newRow("64-bit float") << "float64" << QByteArray() << "has a sample format that cannot be read back";
    QTest::newRow("other rate") << "rate" << QByteArray() << "changed the sample rate or the number of channels";
    QTest::newRow("one channel") << "mono" << QByteArray() << "changed the sample rate or the number of channels";
    QTest::newRow("not a wave") << "garbage" << QByteArray() << "did not save a WAVE file";
    QTest::newRow("format behind another chunk")
        << "replace" << riff({chunk("JUNK", "12"), pcm16format(2, rate), pcm16frames(10, 2, steps)})
        << "did not save a WAVE file";
    QTest::newRow("no data") << "replace" << riff({pcm16format(2, rate), chunk("LIST", "abc")})
                             << "holds no audio data";
    QByteArray zerorate = riff({pcm16format(2, rate), pcm16frames(10, 2, steps)});
    qToLittleEndian(quint32(0), zerorate.data() + 28); // byte rate
    QTest::newRow("no bytes per sample") << "replace" << zerorate << "has a sample format that cannot be read back";
}

void TestEditorhandoff::refused()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, file);
    QFETCH(QString, reason);
    useeditor(editor);
    if (!file.isEmpty()) {
        QFile source(QDir::tempPath() + "/source.wav");
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(file);
    }
    QVERIFY(!edit(mode));
    QCOMPARE(seen.titles, QStringList{"External Wave Editor"});
    QVERIFY2(seen.texts.value(0).contains(reason), qPrintable(seen.texts.value(0)));
    unchanged();
    // Nothing imported; the edited file stays where the message says, out of
    // the way of the next round trip.
    const QString kept = keptfile();
    QVERIFY(QFile::exists(kept));
    QCOMPARE(exchanges(), QStringList{QFileInfo(kept).fileName()});
    if (!file.isEmpty()) {
        QFile left(kept);
        QVERIFY(left.open(QIODevice::ReadOnly));
        QCOMPARE(left.readAll(), file);
    }
    forget();
    QVERIFY(edit("gain"));
    QVERIFY(QFile::exists(kept));
    QVERIFY(QFile::remove(kept));
}

void TestEditorhandoff::failingEditor_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("reason");
    QTest::newRow("exit code") << "fail" << "ended with an error";
    QTest::newRow("killed") << "crash" << "ended with an error";
    QTest::newRow("file gone") << "delete" << "left no file that can be read";
}

void TestEditorhandoff::failingEditor()
{
    QFETCH(QString, mode);
    QFETCH(QString, reason);
    useeditor(editor);
    QVERIFY(!edit(mode));
    QCOMPARE(seen.texts.size(), 1);
    QVERIFY2(seen.texts[0].contains(reason), qPrintable(seen.texts[0]));
    QVERIFY(seen.texts[0].contains("Nothing was imported"));
    unchanged();
    if (mode != "delete") {
        // What the editor left, here the file as it was handed over.
        QFile left(keptfile());
        QVERIFY(left.open(QIODevice::ReadOnly));
        QCOMPARE(left.size(), qint64(44 + (length + 1) * 8));
        QVERIFY(left.remove());
    }
}

void TestEditorhandoff::editorCannotStart()
{
    // An executable file that the system cannot run.
    const QString broken = QDir::tempPath() + "/broken-editor";
    QFile script(broken);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/nonexistent/interpreter\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    useeditor(broken);
    QVERIFY(!edit("none"));
    QCOMPARE(seen.texts, QStringList{"The external wave editor could not be started. The layer was not changed."});
    QVERIFY(exchanges().isEmpty());
    unchanged();
}

void TestEditorhandoff::neverEndingEditorCancelled()
{
    // The window's timers fire while the editor runs; Escape in the window
    // that the program's wait shows after a moment ends it, and nothing is
    // changed.
    const QString pidfile = QDir::tempPath() + "/editor.pid";
    QFile::remove(pidfile);
    qputenv("KV_FAKE_NAMES", QFile::encodeName(pidfile));
    useeditor(editor);
    bool cancelled = false; // by the timer, once the editor runs
    QString title;
    QTimer timer;
    // The wait of the exchange file's writing may still be on the screen
    // when the editor starts: Escape goes to the wait that names the editor.
    const QString waiting("Waiting for the external wave editor to end...\n"
                          "Cancel ends it; the layer is not changed.");
    connect(&timer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* wait = qobject_cast<QProgressDialog*>(w); wait && wait->isVisible() && !cancelled
                                                                && wait->labelText() == waiting) {
                title = wait->windowTitle();
                QTest::keyClick(wait, Qt::Key_Escape);
                cancelled = true;
            }
    });
    // A wait never shown must not hang the test: the editor is ended for it.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, [&] {
        QFile ids(pidfile);
        if (!cancelled && ids.open(QIODevice::ReadOnly))
            ::kill(pid_t(ids.readAll().trimmed().toLongLong()), SIGKILL);
    });
    guard.start(120000);
    timer.start(20);
    QVERIFY(!edit("hang"));
    timer.stop();
    QVERIFY(cancelled);
    QCOMPARE(title, QString("External Wave Editor"));
    QVERIFY(seen.texts.isEmpty());
    QVERIFY(exchanges().isEmpty());
    unchanged();
    QFile ids(pidfile);
    QVERIFY(ids.open(QIODevice::ReadOnly));
    const pid_t pid = pid_t(ids.readAll().trimmed().toLongLong());
    QVERIFY(pid > 0 && ::kill(pid, 0) == -1); // ended and reaped
    // The next round trip is an ordinary one.
    forget();
    QVERIFY(edit("gain"));
    QCOMPARE(seen.notices, QStringList({"Launching external wave editor...", "Importing back..."}));
}

void TestEditorhandoff::exchangeFileCannotBeWritten()
{
    useeditor(editor);
    {
        // Room for the header, not for the samples.
        FullDisk full(1000);
        QVERIFY(!edit("gain"));
    }
    QCOMPARE(seen.texts.size(), 1);
    QVERIFY(seen.texts[0].contains("could not be written"));
    QVERIFY(seen.notices.size() <= 1); // the editor never ran
    QVERIFY(exchanges().isEmpty());
    unchanged();
}

void TestEditorhandoff::exchangeFileCannotBeMade()
{
    useeditor(editor);
    // The temporary folder's name leads to a file, which no one can make files in.
    const QString notafolder = QDir::tempPath() + "/notafolder";
    QFile blocker(notafolder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QByteArray home = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(notafolder));
    const bool ran = edit("gain");
    qputenv("TMPDIR", home);
    QVERIFY(blocker.remove());
    QVERIFY(!ran);
    QCOMPARE(seen.texts.size(), 1);
    QVERIFY2(seen.texts[0].startsWith("The file for the external wave editor could not be made in"),
             qPrintable(seen.texts[0]));
    QVERIFY(seen.notices.isEmpty());
    unchanged();
}

QTEST_MAIN(TestEditorhandoff)
#include "tst_editorhandoff.moc"
