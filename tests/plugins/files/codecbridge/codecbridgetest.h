#pragma once
// Helpers of the codecbridge tests: loading the plugin (the build's own or a
// copy beside a converter of the test's choosing) with the program's
// services, answering its dialogs through its dialog hook, watching its waits, and making sample files with sox and reference
// decodes with the real ffmpeg.
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QMessageBox>
#include <QPluginLoader>
#include <QProcess>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>
#include <QApplication>

#include <functional>

#include "app/hostservices.h"
#include "core/utility.h"
#include "dialogseam.h"
#include "hostservices.h"
#include "interfaces.h"
#include "testsupport.h"

namespace codecbridgetest {

inline const QString rootplugin = QStringLiteral(KV_TEST_ROOT "/Plugins/Files/codecbridge.so");
inline const QString wavefilter = QStringLiteral("WAVE/WavPack (*.wav *.w64 *.wv *.rf64)");

// What the plugin showed: every message box (title, text; it should show
// none, the host does), and what the host's wait showed for it.
struct Seen
{
    QStringList titles;
    QStringList texts;
    int waits = 0;      // waits the plugin began
    QString waittitle;  // the last one's title
    QString waittext;   // what its window said last
    int percent = -1;   // how far it had come, as last reported
    bool cancel = false; // the user cancels the wait under way
};
inline Seen seen;

// Answers for the plugin's input dialogs; by default every question is declined.
inline std::function<int(QDialog*)> answer = [](QDialog*) { return int(QDialog::Rejected); };
// Called after each change of the wait under way.
inline std::function<void()> onwait;

inline int modalhook(QDialog* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
        seen.titles.append(box->windowTitle());
        seen.texts.append(box->text());
        return QMessageBox::Ok;
    }
    return answer(dialog);
}

// The program's wait (core/utility.h), as the plugin reaches it through the
// host services, with a watch that notes what its window would show and
// cancels when the test says so.
inline void watchwaits()
{
    static int depth = 0;
    UtilityWatch watch;
    watch.begin = [](const QString& title, const QString& text) {
        if (depth++ == 0) {
            ++seen.waits;
            seen.waittitle = title;
            seen.waittext = text;
            seen.percent = -1;
        }
        if (onwait)
            onwait();
    };
    watch.shown = [] { return false; };
    watch.cancelled = [] { return seen.cancel; };
    watch.progress = [](int percent) {
        seen.percent = std::max(seen.percent, percent);
        if (onwait)
            onwait();
    };
    watch.settext = [](const QString& text) {
        seen.waittext = text;
        if (onwait)
            onwait();
    };
    watch.end = [] {
        if (--depth == 0)
            seen.cancel = false; // the next wait is another one
    };
    setutilitywatch(watch);
}

inline void forget()
{
    seen = Seen();
    answer = [](QDialog*) { return int(QDialog::Rejected); };
    onwait = nullptr;
}

// Loads the plugin file at path, routes its dialogs to the hooks above and
// hands it the program's services.
inline FileInterface* load(const QString& path)
{
    QPluginLoader loader(path);
    QObject* object = loader.instance();
    if (!object) {
        qWarning() << loader.errorString();
        return nullptr;
    }
    QLibrary library(path);
    auto sethooks = reinterpret_cast<decltype(&codecbridgesethooks)>(library.resolve("codecbridgesethooks"));
    auto* user = qobject_cast<HostUser*>(object);
    if (!sethooks || !user)
        return nullptr;
    sethooks(&modalhook);
    user->sethost(programservices());
    watchwaits();
    return qobject_cast<FileInterface*>(object);
}

// A Plugins/Files folder under parent with a copy of the built plugin; returns
// the copy's path. The converter beside it is the test's business.
inline QString plugincopy(const QString& parent)
{
    const QString folder = parent + "/Plugins/Files";
    QDir().mkpath(folder);
    const QString copy = folder + "/codecbridge.so";
    QFile::remove(copy);
    if (!QFile::copy(rootplugin, copy))
        return {};
    return copy;
}

// Writes an executable shell script as the converter beside a plugin copy.
inline bool fakeconverter(const QString& plugin, const QString& body)
{
    const QString path = QFileInfo(plugin).absolutePath() + "/ffmpeg";
    QFile::remove(path); // not through a link to the real one
    return kvscript(path, body);
}

inline bool run(const QString& program, const QStringList& arguments, QByteArray* out = nullptr)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning().noquote() << program << arguments.join(' ') << process.readAllStandardError();
        return false;
    }
    if (out)
        *out = process.readAllStandardOutput();
    return true;
}

// sox in its repeatable mode: its dither is the same on every run, and so
// is where a damage lands in what is made of its files.
inline bool sox(const QStringList& arguments)
{
    return run(QStringLiteral("sox"), QStringList{"-R"} + arguments);
}

// The real converter's own decode of file to raw 32-bit float, the reference.
inline QByteArray reference(const QStringList& input)
{
    QByteArray out;
    if (!run(QStringLiteral("ffmpeg"),
             QStringList{"-v", "error", "-nostdin"} + input + QStringList{"-f", "f32le", "-"}, &out))
        return {};
    return out;
}

// What the plugin told the host about its last call.
struct Report
{
    QString message;
    QString details;
    bool cancelled = false;
};

inline Report reportof(FileInterface* plugin)
{
    auto* object = dynamic_cast<QObject*>(plugin);
    if (!object)
        return {};
    return {object->property("message").toString(), object->property("details").toString(),
            object->property("cancelled").toBool()};
}

// Overwrites count bytes at a share of a copy of file (the middle by
// default); with `frame`, instead, one bit of the first MPEG audio frame
// header from there on flips: it claims a checksum the frame does not have,
// and the decoder gives up on that frame. Returns the copy's path.
inline QString damagedcopy(const QString& file, const QString& copy, int count = 40, double share = 0.5,
                           bool frame = false)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = in.readAll();
    qsizetype middle = qsizetype(bytes.size() * share);
    if (frame) { // walk the frames of a constant-rate MPEG-1 Layer III file from its ID3 tag on
        const auto at = [&](qsizetype i) { return quint8(bytes[i]); };
        qsizetype p = bytes.startsWith("ID3") ? 10 + (at(6) << 21 | at(7) << 14 | at(8) << 7 | at(9)) : 0;
        static const int kbits[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
        static const int rates[] = {44100, 48000, 32000};
        while (p + 4 < bytes.size() && p < middle && at(p) == 0xFF && (at(p + 1) & 0xE0) == 0xE0
               && (at(p + 2) >> 4) > 0 && (at(p + 2) >> 4) < 15 && ((at(p + 2) >> 2) & 3) < 3)
            p += 144000 * kbits[at(p + 2) >> 4] / rates[(at(p + 2) >> 2) & 3] + ((at(p + 2) >> 1) & 1);
        if (p < middle)
            return {};
        middle = p;
        bytes[p + 1] = char(at(p + 1) & 0xFE);
        count = 0;
    }
    for (int i = 0; i < count && middle + i < bytes.size(); ++i)
        bytes[middle + i] = char(i * 37 + 11);
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return {};
    return copy;
}

// A copy of file cut after the given share of its bytes.
inline QString cutcopy(const QString& file, const QString& copy, double share)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = in.readAll();
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly))
        return {};
    const QByteArray kept = bytes.left(qsizetype(bytes.size() * share));
    return out.write(kept) == kept.size() ? copy : QString();
}

// Ticks every 20 ms while a conversion waits, which shows that the event loop
// runs, and from the third tick on, once ready() holds, cancels the wait: in
// the test's watch, or in the host's window on screen.
struct CancelTicker
{
    int ticks = 0;
    QTimer timer;
    explicit CancelTicker(std::function<bool()> ready)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, ready] {
            if (++ticks < 3 || !ready())
                return;
            seen.cancel = true;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog && dialog->isVisible())
                    dialog->cancel();
        });
        timer.start(20);
    }
};

inline QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace codecbridgetest
