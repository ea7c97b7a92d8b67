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

// Large enough to make the converter's cost per packet small, small enough to
// stay in the processor's cache.
constexpr int wavepacketbytes = 65536;

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
    clearreport();
    console.reset();
    if (busy) {
        report(tr("Another file is being converted; try again when it is done."));
        return false;
    }
    const QScopedValueRollback<bool> guard(busy, true);

    // Absolute paths: the converter reads a relative name with ":" as a protocol.
    const QFileInfo input(QFileInfo(source).absoluteFilePath());
    const QString target = QFileInfo(destination).absoluteFilePath();
    // Read once: it decides the converter's options and says what a short import lacks.
    const WaveHeader header = readwaveheader(input.filePath());
    const QString refused = unreadable(input, header);
    if (!refused.isEmpty()) {
        report(refused);
        return false;
    }

    QStringList arguments;
    if (filter == QLatin1String(rawfilter)) {
        if (!askrawformat(&arguments)) {
            report({}, true);
            return false;
        }
    } else if (header.pcm()) {
        // The converter's WAVE reader hands plain samples on in packets of
        // 4 KiB, and their handling, not the conversion, is most of its time.
        arguments << QStringLiteral("-f") << QStringLiteral("wav") << QStringLiteral("-max_size")
                  << QString::number(wavepacketbytes);
    }
    // No stop at the first damaged packet: what decodes of a damaged file is
    // what the user came to repair. The destination is written as it is, not
    // truncated: a file truncated and written anew is written out to the disk
    // as it is closed, and the next synchronised write of the session waits
    // for all of it.
    arguments << QStringLiteral("-i") << input.filePath() << QStringLiteral("-y") << QStringLiteral("-vn")
              << QStringLiteral("-f") << QStringLiteral("f32le") << QStringLiteral("-truncate") << QStringLiteral("0")
              << target;

    const bool existed = QFileInfo::exists(target);
    if (existed && QFileInfo(target).size() > 0)
        QFile::resize(target, 0);
    const Run run = convert(arguments, tr("Opening %1...").arg(input.fileName()), target);
    const QString problem = refusal(run, input.filePath(), target);
    if (!problem.isEmpty() || !holdsaudio(target)) { // the latter: cancelled before any audio
        discard(target, existed);
        if (problem.isEmpty())
            report({}, true);
        else
            report(problem);
        return false;
    }

    // A converter stopped in the middle of a write leaves part of a frame.
    const qint64 frames = QFileInfo(target).size() / (qint64(channels) * 4);
    QFile::resize(target, frames * channels * 4);
    report(shortfall(run, input.filePath(), header, frames), run.ending == Ending::Cancelled);

    *samplerate_ = samplerate;
    *channels_ = channels;
    *speakermask = console.speakermask ? console.speakermask : defaultspeakermask(channels);
    return true;
}

QString FilePlugin::unreadable(const QFileInfo& input, const WaveHeader& header) const
{
    const QString file = input.fileName();
    if (!input.exists())
        return tr("%1 is not there (any more).").arg(file);
    if (input.isFile() && input.size() == 0)
        return tr("%1 is empty: it holds no audio.").arg(file);
    const QString missing = missingconverter();
    if (!missing.isEmpty())
        return missing;
    // The converter refuses some absurd rates without a word about them.
    if (header.valid && (header.samplerate < 1 || header.samplerate > maxsamplerate))
        return tr("%1 claims a sample rate of %2 Hz; Korvane edits sample rates from 1 Hz to 768 kHz.")
            .arg(file)
            .arg(header.samplerate);
    return {};
}

bool FilePlugin::holdsaudio(const QString& destination) const
{
    return samplerate >= 1 && channels >= 1 && channels <= maxchannels
           && QFileInfo(destination).size() >= qint64(channels) * 4;
}

QString FilePlugin::refusal(const Run& run, const QString& source, const QString& destination) const
{
    const QString file = QFileInfo(source).fileName();
    const QString toomany = tr("%1 has %2 channels; Korvane edits up to %3.").arg(file).arg(channels).arg(maxchannels);
    switch (run.ending) {
    case Ending::NotStarted:
        return tr("The converter could not be started (%1). It was looked for at %2.")
            .arg(run.error, converterpath());
    case Ending::TooManyChannels:
        return toomany;
    default:
        break;
    }
    if (run.ending == Ending::Cancelled && !holdsaudio(destination))
        return {};
    if (QFileInfo(destination).size() < qMax(channels, 1) * 4) {
        switch (run.ending) {
        case Ending::Cancelled:
            return {};
        case Ending::Stalled:
            return tr("The converter stopped answering before any audio of %1 was decoded, and was ended. Details "
                      "are in the log.")
                .arg(file);
        case Ending::Crashed:
            return tr("The converter crashed before any audio of %1 was decoded. Details are in the log.").arg(file);
        default:
            return tr("No audio could be decoded from %1: it is damaged or not an audio file that the converter "
                      "knows. Details are in the log.")
                .arg(file);
        }
    }
    if (samplerate < 1 || channels < 1) {
        if (samplerate >= 1 && !console.layout.isEmpty())
            return tr("%1 has a channel layout that Korvane does not know (\"%2\").").arg(file, console.layout);
        return tr("The converter did not tell the sample rate and the channels of %1, so its audio cannot be "
                  "placed. Details are in the log.")
            .arg(file);
    }
    if (channels > maxchannels)
        return toomany;
    return {};
}

QString FilePlugin::shortfall(const Run& run, const QString& source, const WaveHeader& header, qint64 frames) const
{
    const double decoded = double(frames) / samplerate;
    const auto seconds = [](double value) { return tr("%1 s").arg(value, 0, 'f', 2); };

    // The length the file announces: a WAVE header knows it better than the
    // converter, which measures a cut file by its size. A guessed length or a
    // video's says nothing.
    double announced = 0;
    if (header.seconds > 0 && header.samplerate == quint32(samplerate))
        announced = header.seconds;
    else if (console.durationknown && !console.durationestimated && !console.video)
        announced = console.duration;
    const QString of = announced > 0 ? tr("%1 of %2").arg(seconds(decoded), seconds(announced)) : seconds(decoded);

    switch (run.ending) {
    case Ending::Cancelled:
        return tr("The import was cancelled: the first %1 were imported.").arg(of);
    case Ending::Stalled:
        return tr("The converter stopped answering and was ended: the first %1 were imported. Details are in the "
                  "log.")
            .arg(of);
    case Ending::Crashed:
        return tr("The converter crashed while decoding: the first %1 were imported. Details are in the log.")
            .arg(of);
    default:
        break;
    }
    // Formats end in padding that the converter counts in the length it
    // prints (an MP3's last frame), and it prints that length rounded.
    const bool shorter = announced > 0 && decoded < announced - (0.06 + announced * 0.001);
    if (header.cut(QFileInfo(source).size()) && shorter)
        return tr("The file ends early: %1 were imported.").arg(of);
    // Elsewhere a cut and a damage look alike.
    if (shorter || console.decodeproblems > 0 || run.exitcode != 0)
        return tr("The file is damaged or incomplete: %1 could be decoded and were imported. Details are in the "
                  "log.")
            .arg(of);
    return {};
}
