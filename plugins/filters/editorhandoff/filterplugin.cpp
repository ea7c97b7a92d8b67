#include "filterplugin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryFile>
#include <QtEndian>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "dialogseam.h"
#include "wavefile.h"

using namespace filterframe;

namespace {

const char* const settingkey = "externalwaveeditor";
// Frames moved per block between the buffer and the file.
constexpr qint64 blockframes = 65536;

} // namespace

bool FilterPlugin::initialize(const QString& pluginfile, QWidget* mainwindow)
{
    name = tr("IO External Wave Editor");
    label = tr("External Wave Editor");
    category = QStringLiteral("IO");
    parent = mainwindow;
    if (dialog.get())
        return true;
    QDialog* box = dialog.make(mainwindow, tr("External Wave Editor"));
    pathbutton = new QPushButton(
        QSettings().value(settingkey, QStringLiteral("Path to external wave editor")).toString());
    pathbutton->setToolTip(tr("Path to external audio editor"));
    connect(pathbutton, &QPushButton::clicked, this, &FilterPlugin::external);
    auto* editbutton = new QPushButton(tr("Edit"));
    connect(editbutton, &QPushButton::clicked, box, &QDialog::accept);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(pathbutton);
    layout->addWidget(editbutton);
    return true;
}

void FilterPlugin::external()
{
    if (!pathbutton)
        return;
    const QString current = pathbutton->text();
    const QString start = QFile::exists(current) ? current : QString();
    const QString chosen = askopenfile(parent, tr("Select an external wave editor"), start);
    if (chosen.size() > 1 && QFile::exists(chosen)) {
        pathbutton->setText(chosen);
        QSettings().setValue(settingkey, chosen);
    }
}

bool FilterPlugin::chooseeditor()
{
    for (;;) {
        if (!dialog.get() || runmodal(dialog.get()) != QDialog::Accepted || !pathbutton)
            return false;
        const QFileInfo editor(pathbutton->text());
        if (editor.isFile() && editor.isExecutable())
            return true;
        warn(parent, tr("External Wave Editor"), tr("Not an external editor."));
    }
}

void FilterPlugin::fail(const QString& text)
{
    warn(parent, tr("External Wave Editor"), text);
}

void FilterPlugin::failkept(const QString& reason, const QString& path)
{
    // The exchange file's name is this round trip's own: nothing overwrites it.
    fail(reason + "\n" + tr("Nothing was imported; the edited file stays at %1.").arg(QDir::toNativeSeparators(path)));
}

QString FilterPlugin::newexchange()
{
    // A name of its own for every round trip, so that two running programs
    // never exchange through the same file.
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/Korvane-XXXXXX.wav"));
    file.setAutoRemove(false);
    if (!file.open()) {
        fail(tr("The file for the external wave editor could not be made in %1.")
                 .arg(QDir::toNativeSeparators(QDir::tempPath())));
        return QString();
    }
    return file.fileName();
}

bool FilterPlugin::writeexchange(const QString& path)
{
    const Span samples = samplesof(*this, layerarea);
    const qint64 frames = qint64(samples.last) - samples.first + 1;
    if (frames < 1) {
        fail(tr("The area holds no samples."));
        return false;
    }
    if (quint64(frames) * quint64(channels) * 4 > wavefile::maxdatabytes) {
        fail(tr("The area is too long for a WAVE file. Select a shorter one."));
        return false;
    }
    QFile file(path);
    const QString cannotwrite = tr("The file %1 for the external wave editor could not be written.")
                                    .arg(QDir::toNativeSeparators(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fail(cannotwrite);
        return false;
    }
    bool written = file.write(wavefile::header(channels, samplerate, quint32(frames))) == wavefile::headerbytes;
    // Channels that are switched off travel as silence.
    const unsigned mask = unsigned(channelmask);
    const WorkEnd end = hostrunwork(host(), label, tr("Writing the file for the external wave editor..."),
                                    [&](const std::function<bool(int)>& going) {
        std::vector<float> block;
        for (qint64 first = 0; written && first < frames; first += blockframes) {
            if (!going(int(first * 100 / frames)))
                return false;
            const qint64 count = std::min(blockframes, frames - first);
            block.assign(size_t(count) * channels, 0.0f);
            for (qint64 i = 0; i < count; ++i) {
                const int k = int(samples.first + first + i);
                for (int c = 0; c < channels; ++c)
                    if (c < 32 && ((mask >> c) & 1u))
                        block[size_t(i) * channels + c] = getsample(layerbuffer, c, k);
            }
            QByteArray bytes(qsizetype(block.size()) * 4, Qt::Uninitialized);
            for (size_t j = 0; j < block.size(); ++j)
                qToLittleEndian(block[j], bytes.data() + j * 4);
            written = file.write(bytes) == bytes.size();
        }
        return written;
    });
    written = file.flush() && written;
    file.close();
    if (end == WorkEnd::Cancelled) { // the user knows why
        file.remove();
        return false;
    }
    if (!written) {
        file.remove();
        fail(cannotwrite);
        return false;
    }
    return true;
}

bool FilterPlugin::readexchange(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(tr("The external wave editor left no file that can be read. Nothing was imported."));
        return false;
    }
    wavefile::Layout layout;
    const wavefile::Problem problem = wavefile::readlayout(file, channels, samplerate, layout);
    if (problem != wavefile::Problem::none) {
        file.close();
        QString reason;
        switch (problem) {
        case wavefile::Problem::notwave:
            reason = tr("The external wave editor did not save a WAVE file that begins with its format.");
            break;
        case wavefile::Problem::changed:
            reason = tr("The external wave editor changed the sample rate or the number of channels.");
            break;
        case wavefile::Problem::nodata:
            reason = tr("The file that the external wave editor saved holds no audio data.");
            break;
        default:
            reason = tr("The file that the external wave editor saved has a sample format that cannot be read "
                        "back; save it as 8-, 16-, 24- or 32-bit PCM or as 32-bit float.");
        }
        failkept(reason, path);
        return false;
    }

    // The file's frames go back to the start of the area. Where the editor
    // made the audio shorter the rest of the area keeps its samples; where
    // it made it longer the surplus is not taken; either way the user is told.
    const Span samples = samplesof(*this, layerarea);
    const qint64 areaframes = qint64(samples.last) - samples.first + 1;
    const qint64 framebytes = qint64(layout.bytespersample) * channels;
    const qint64 fileframes = layout.databytes / framebytes;
    const qint64 frames = std::min(areaframes, fileframes);
    const unsigned mask = unsigned(channelmask);
    const auto put = [&](qint64 first, const QByteArray& bytes) {
        const qint64 count = bytes.size() / framebytes;
        for (qint64 i = 0; i < count; ++i) {
            const int k = int(samples.first + first + i);
            for (int c = 0; c < channels && c < 32; ++c)
                if ((mask >> c) & 1u) {
                    const float v =
                        wavefile::decode(bytes.constData() + i * framebytes + c * layout.bytespersample, layout);
                    // A sample that comes back as it went is no edit, also
                    // past the layer's end, where the area's last one lies.
                    if (v != getsample(layerbuffer, c, k))
                        setsample(layerbuffer, c, k, v);
                }
        }
    };
    // Read through once before anything is written: a file that cannot be
    // read in full changes nothing. A Cancel during the second pass leaves
    // the rest unwritten; the host then gives the layer back what it held.
    const qint64 data = file.pos();
    bool whole = false, readback = false;
    const WorkEnd end = hostrunwork(host(), label, tr("Importing back..."), [&](const std::function<bool(int)>& going) {
        const auto checked = [&](qint64 first, const QByteArray&) { going(int(first * 50 / frames)); };
        whole = wavefile::readframes(file, layout, frames, blockframes, checked) && file.seek(data);
        if (!whole || !going(50))
            return false;
        bool stopped = false;
        readback = wavefile::readframes(file, layout, frames, blockframes, [&](qint64 first, const QByteArray& bytes) {
            stopped = stopped || !going(50 + int(first * 50 / frames));
            if (!stopped)
                put(first, bytes);
        });
        return readback && !stopped;
    });
    if (end == WorkEnd::Cancelled) { // the round trip is given up, as a Cancel of the editor gives it up
        file.close();
        QFile::remove(path);
        return false;
    }
    if (!whole) {
        file.close();
        failkept(tr("The file that the external wave editor saved could not be read in full."), path);
        return false;
    }
    if (!readback) {
        file.close();
        fail(tr("The file that the external wave editor saved could not be read in full; part of the area was "
                "already changed (Undo gives it back). The edited file stays at %1.")
                 .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    file.close();
    QFile::remove(path);
    if (fileframes < areaframes)
        fail(tr("The external wave editor returned %1 samples fewer than the area holds: the first %2 samples of "
                "the area were replaced, the rest of the area keeps its former samples.")
                 .arg(areaframes - fileframes)
                 .arg(fileframes));
    else if (fileframes > areaframes)
        fail(tr("The external wave editor returned %1 samples more than the area holds: the samples past the end "
                "of the area were not imported.")
                 .arg(fileframes - areaframes));
    return true;
}

bool FilterPlugin::process()
{
    if (!readyfor(*this, parent) || !chooseeditor())
        return false;
    const QString editor = pathbutton->text();
    const QString path = newexchange();
    if (path.isEmpty())
        return false;
    Notice notice(parent, tr("Launching external wave editor..."));
    if (!writeexchange(path)) {
        QFile::remove(path);
        return false;
    }
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    run.start(editor, {path});
    if (!run.waitForStarted(30000)) {
        QFile::remove(path);
        fail(tr("The external wave editor could not be started. The layer was not changed."));
        return false;
    }
    if (!notice.waitfor(run, tr("External Wave Editor"),
                        tr("Waiting for the external wave editor to end...\n"
                           "Cancel ends it; the layer is not changed."))) {
        QFile::remove(path);
        return false;
    }
    if (run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0) {
        // What a failed editor left behind may be half written.
        failkept(tr("The external wave editor ended with an error."), path);
        return false;
    }
    notice.settext(tr("Importing back..."));
    return readexchange(path);
}
