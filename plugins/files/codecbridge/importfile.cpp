// Decoding a user's file into the host's raw exchange file.
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QScopedValueRollback>

#include "dialogseam.h"
#include "fileplugin.h"
#include "filtertables.h"
#include "speakerlayout.h"

namespace {

// A failed import leaves the destination as the host created it: empty, or absent.
void discard(const QString& destination, bool existed)
{
    if (existed)
        QFile::resize(destination, 0);
    else
        QFile::remove(destination);
}

} // namespace

bool FilePlugin::askrawformat(QStringList* arguments)
{
    auto question = [this](const QString& label) {
        auto* dialog = new QInputDialog(parent);
        dialog->setWindowTitle(QStringLiteral("RAW/PCM"));
        dialog->setLabelText(label);
        return dialog;
    };
    auto askint = [&](const QString& label, int value, int maximum, int* answer) {
        QInputDialog* dialog = question(label);
        dialog->setInputMode(QInputDialog::IntInput);
        dialog->setIntRange(1, maximum);
        dialog->setIntValue(value);
        dialog->setIntStep(1);
        const bool accepted = runmodal(dialog) == QDialog::Accepted;
        *answer = dialog->intValue();
        delete dialog;
        return accepted;
    };

    int rate = 0;
    int count = 0;
    if (!askint(tr("Sample rate:"), 44100, 1000000, &rate))
        return false;
    if (!askint(tr("Number of channels:"), 1, maxchannels, &count))
        return false;

    QStringList labels;
    for (const RawFormat& format : rawformattable)
        labels.append(QString::fromUtf8(format.label));
    QInputDialog* dialog = question(tr("Format:"));
    dialog->setComboBoxItems(labels);
    dialog->setComboBoxEditable(false);
    dialog->setTextValue(labels.first());
    const bool accepted = runmodal(dialog) == QDialog::Accepted;
    const qsizetype chosen = labels.indexOf(dialog->textValue());
    delete dialog;
    if (!accepted || chosen < 0)
        return false;

    // These options stand before the input and so describe it.
    *arguments << QStringLiteral("-ar") << QString::number(rate) << QStringLiteral("-ac") << QString::number(count)
               << QStringLiteral("-f") << QString::fromUtf8(rawformattable[chosen].format);
    return true;
}

bool FilePlugin::importFile(const QString& filter, const QString& source, const QString& destination,
                            int* samplerate_, int* channels_, int* speakermask, double* start, double* length)
{
    Q_UNUSED(start)
    Q_UNUSED(length)
    if (busy) {
        complain(tr("Another conversion is still running."));
        return false;
    }
    const QScopedValueRollback<bool> guard(busy, true);

    // Stop at the first damaged packet: a truncated or corrupt file is refused
    // rather than imported in part.
    QStringList arguments{QStringLiteral("-xerror")};
    if (filter == QLatin1String(rawfilter) && !askrawformat(&arguments))
        return false;

    // Absolute paths: the converter reads a relative name with ":" as a protocol.
    const QString input = QFileInfo(source).absoluteFilePath();
    const QString target = QFileInfo(destination).absoluteFilePath();
    arguments << QStringLiteral("-i") << input << QStringLiteral("-y") << QStringLiteral("-vn") << QStringLiteral("-f")
              << QStringLiteral("f32le") << target;

    const bool existed = QFileInfo::exists(target);
    const Run run = convert(arguments, tr("Opening %1...").arg(QFileInfo(source).fileName()), target);
    const QString problem = importproblem(run, target);
    if (run.ending == Ending::Cancelled || !problem.isEmpty()) {
        discard(target, existed);
        if (!problem.isEmpty())
            complain(problem);
        return false;
    }

    *samplerate_ = samplerate;
    *channels_ = channels;
    *speakermask = console.speakermask ? console.speakermask : defaultspeakermask(channels);
    return true;
}

QString FilePlugin::importproblem(const Run& run, const QString& destination) const
{
    switch (run.ending) {
    case Ending::NotStarted:
        return tr("The converter could not be started (%1).\nIt is expected at: %2").arg(run.error, converterpath());
    case Ending::Cancelled:
        return {};
    case Ending::Stalled:
        return tr("The converter showed no progress for %1 seconds and was stopped.")
            .arg(converteridletime() / 1000.0);
    case Ending::TooManyChannels:
        return tr("The file has %1 channels; at most %2 channels can be imported.").arg(channels).arg(maxchannels);
    case Ending::Crashed:
        return tr("The converter crashed while reading the file.");
    case Ending::Finished:
        break;
    }
    if (run.exitcode != 0) {
        if (console.messages.isEmpty())
            return tr("The file could not be decoded (the converter ended with code %1).").arg(run.exitcode);
        return tr("The file could not be decoded:\n%1").arg(console.messages.join(QLatin1Char('\n')));
    }
    if (samplerate < 1 || channels < 1) {
        if (samplerate >= 1 && !console.layout.isEmpty())
            return tr("The file's channel layout \"%1\" is not known.").arg(console.layout);
        return tr("The converter reported no sample rate or channel count for this file.");
    }
    if (channels > maxchannels)
        return tr("The file has %1 channels; at most %2 channels can be imported.").arg(channels).arg(maxchannels);

    const qint64 size = QFileInfo(destination).size();
    const qint64 framesize = qint64(channels) * 4;
    if (size == 0)
        return tr("The file holds no audio.");
    if (size % framesize != 0)
        return tr("The converter's output ends inside a sample frame.");

    // A file cut short often still decodes without an error; its header still
    // announces the whole length. Where that length is only a guess, or belongs
    // to a video, the comparison says nothing.
    if (console.durationknown && !console.durationestimated && !console.video) {
        const double decoded = double(size / framesize) / samplerate;
        if (decoded < console.duration - qMax(0.5, console.duration * 0.02))
            return tr("The file is incomplete: it announces %1 s of audio, but only %2 s could be decoded.")
                .arg(console.duration, 0, 'f', 2)
                .arg(decoded, 0, 'f', 2);
    }
    return {};
}
