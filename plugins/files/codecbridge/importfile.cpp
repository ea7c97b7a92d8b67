// Decoding a user's file into the host's raw exchange file.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QScopedValueRollback>
#include <QTemporaryFile>

#include <cerrno>
#include <csignal>
#include <memory>

#include "ratelimit.h"
#include "dialogseam.h"
#include "fileplugin.h"
#include "filtertables.h"
#include "framegaps.h"
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
    if (!askint(tr("Sample rate:"), 44100, maxsamplerate, &rate))
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
    // Read once: it decides the converter's options and says what a short
    // import lacks. Only a plain file: opening a pipe or a device waits until
    // it gives something, and only the converter's wait can be cancelled.
    const WaveHeader header = input.isFile() ? readwaveheader(input.filePath()) : WaveHeader();
    const QString refused = unreadable(input, header);
    if (!refused.isEmpty()) {
        report(refused);
        return false;
    }

    QStringList described; // options that describe the input, which any converter knows
    QStringList tuned;     // options that only make the conversion faster
    if (filter == QLatin1String(rawfilter)) {
        if (!askrawformat(&described)) {
            report({}, true);
            return false;
        }
    } else if (header.pcm()) {
        // The converter's WAVE reader hands plain samples on in packets of
        // 4 KiB, and their handling, not the conversion, is most of its time.
        tuned << QStringLiteral("-f") << QStringLiteral("wav") << QStringLiteral("-max_size")
              << QString::number(wavepacketbytes);
    }

    bool existed = false;
    const QString unwritable = emptydestination(target, &existed);
    if (!unwritable.isEmpty()) {
        report(unwritable);
        return false;
    }
    const QString title = tr("Opening %1...").arg(input.fileName());
    // A FLAC file of some length is decoded in parts at once; anything in
    // doubt about them, and any other file, is decoded whole.
    const FlacHeader flac = described.isEmpty() && input.isFile() ? readflacheader(input.filePath()) : FlacHeader();
    Run run;
    const bool segmented = flac.cuttable() && decodeinsegments(input.filePath(), target, flac, title, &run);
    // Plain samples lose nothing to damage but their values; anything else
    // is decoded packet by packet, and a second output lists the packets
    // with their timestamps, so that a lost one can be put back as silence.
    // The list lies beside the destination, on the disk a failed write then
    // names, under a name of the host's session files, which the host
    // removes when a run killed meanwhile left it.
    std::unique_ptr<QTemporaryFile> packets;
    if (!segmented && described.isEmpty() && !header.pcm()) {
        packets = std::make_unique<QTemporaryFile>(QFileInfo(target).absolutePath()
                                                   + QStringLiteral("/layer(XXXXXX).pcm"));
        if (!packets->open())
            packets.reset();
        else
            packets->close();
    }
    // No stop at the first damaged packet: what decodes of a damaged file is
    // what the user came to repair. The destination is written as it is, not
    // truncated: a file truncated and written anew is written out to the disk
    // as it is closed, and the next synchronised write of the session waits
    // for all of it.
    QStringList arguments = described + tuned;
    arguments << QStringLiteral("-i") << input.filePath() << QStringLiteral("-y");
    if (packets) // before the destination, which stays the last argument
        arguments << QStringLiteral("-vn") << QStringLiteral("-sn") << QStringLiteral("-dn") << QStringLiteral("-c:a")
                  << QStringLiteral("pcm_f32le") << QStringLiteral("-f") << QStringLiteral("framecrc")
                  << packets->fileName();
    arguments << QStringLiteral("-vn") << QStringLiteral("-f") << QStringLiteral("f32le") << QStringLiteral("-truncate")
              << QStringLiteral("0") << target;

    if (!segmented)
        run = convert(arguments, title, target);
    QString fallback;
    if (refusedoptions(run, target)) {
        // An older or other converter: the plain command line, which every
        // one takes, only without the packet list and the larger packets.
        fallback = tr("The converter refused the options %1; the file was converted with the plain command "
                      "line.")
                       .arg(console.messages.join(QLatin1Char(' ')));
        packets.reset();
        arguments = described;
        arguments << QStringLiteral("-i") << input.filePath() << QStringLiteral("-y") << QStringLiteral("-vn")
                  << QStringLiteral("-f") << QStringLiteral("f32le") << target;
        run = convert(arguments, title, target);
    }
    QString problem = nospace(run, target);
    if (problem.isEmpty())
        problem = refusal(run, input.filePath(), target);
    if (!problem.isEmpty() || !holdsaudio(target)) { // the latter: cancelled before any audio
        discard(target, existed);
        if (problem.isEmpty())
            report({}, true);
        else
            report(problem);
        return false;
    }

    // A converter stopped in the middle of a write leaves part of a frame.
    const qint64 framebytes = qint64(channels) * 4;
    QFile::resize(target, QFileInfo(target).size() / framebytes * framebytes);
    QList<FrameGap> gaps;
    // Only where the decoder gave up on packets: timestamps of sound files
    // may wander without anything lost.
    if (packets && console.decodeerrors > 0 && run.ending == Ending::Finished)
        gaps = readframegaps(packets->fileName(), samplerate, framebytes, console.lostbeginning,
                             console.decodeerrors);
    QString why;
    bool cancelled = false;
    const auto place = [&](const std::function<bool(qint64, qint64)>& going) {
        return insertframegaps(target, framebytes, gaps, &why, going);
    };
    if (!gaps.isEmpty() && !inbackground(title, tr("Placing silence where audio was lost..."), place, &cancelled)) {
        // Moved from the end on: what lies before the first gap is whole.
        if (cancelled && QFile::resize(target, gaps.front().at * framebytes) && holdsaudio(target)) {
            gaps.clear();
            run.ending = Ending::Cancelled;
        } else {
            discard(target, existed);
            if (cancelled)
                report({}, true);
            else
                report(tr("There is no room for the audio of %1: the layer's sample file could not grow (%2). Make "
                          "room on the disk that holds %3, then import the file again.")
                           .arg(input.fileName(), why, QDir::toNativeSeparators(QFileInfo(target).absolutePath())));
            return false;
        }
    }
    const qint64 frames = QFileInfo(target).size() / framebytes;
    report(shortfall(run, input.filePath(), header, frames, gaps), run.ending == Ending::Cancelled);
    QStringList notes;
    if (!fallback.isEmpty())
        notes << fallback;
    qint64 before = 0;
    for (const FrameGap& gap : gaps) {
        notes << tr("%1 frames of silence for lost audio at frame %2 of the layer").arg(gap.frames).arg(gap.at + before);
        before += gap.frames;
    }
    if (!notes.isEmpty())
        setProperty(filereportdetails, (notes + console.messages).join(QLatin1Char('\n')));

    remember(input.filePath());
    *samplerate_ = samplerate;
    *channels_ = channels;
    *speakermask = console.speakermask ? console.speakermask : defaultspeakermask(channels);
    return true;
}

QString FilePlugin::emptydestination(const QString& target, bool* existed) const
{
    *existed = QFileInfo::exists(target);
    QFile file(target);
    // Checked: an old tail that stayed would be imported as audio.
    if (!file.open(QIODevice::ReadWrite) || (file.size() > 0 && !file.resize(0))) {
        const QString why = file.errorString();
        if (!*existed)
            QFile::remove(target);
        return tr("The layer's sample file %1 cannot be written (%2), so nothing can be imported into it.")
            .arg(QDir::toNativeSeparators(target), why);
    }
    return {};
}

bool FilePlugin::refusedoptions(const Run& run, const QString& destination) const
{
    if (run.ending != Ending::Finished || run.exitcode == 0 || QFileInfo(destination).size() > 0)
        return false;
    for (const QString& line : console.messages)
        if (line.startsWith(QLatin1String("Unrecognized option"))
            || (line.startsWith(QLatin1String("Option ")) && line.contains(QLatin1String("not found"))))
            return true;
    return false;
}

QString FilePlugin::nospace(const Run& run, const QString& destination) const
{
    // The converter says why a write failed in the system's own words.
    QString why;
#ifdef EDQUOT
    for (int code : {ENOSPC, EFBIG, EDQUOT})
#else
    for (int code : {ENOSPC, EFBIG})
#endif
        for (const QString& line : console.messages)
            if (why.isEmpty() && line.contains(qt_error_string(code)))
                why = qt_error_string(code);
    // Or the system ended it for a file beyond its limit.
#ifdef SIGXFSZ
    if (why.isEmpty() && run.ending == Ending::Crashed && run.exitcode == SIGXFSZ)
        why = qt_error_string(EFBIG);
#endif
    if (why.isEmpty())
        return {};
    return tr("There is no room for the audio: the layer's sample file could not be written in full (%1). Make "
              "room on the disk that holds %2, then import the file again.")
        .arg(why, QDir::toNativeSeparators(QFileInfo(destination).absolutePath()));
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
    if (header.valid && (header.samplerate < 1 || header.samplerate > quint32(maxsamplerate)))
        return tr("%1 claims a sample rate of %2 Hz; Korvane edits sample rates from %3.")
            .arg(file)
            .arg(header.samplerate)
            .arg(samplerateslimits());
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

QString FilePlugin::shortfall(const Run& run, const QString& source, const WaveHeader& header, qint64 frames,
                             const QList<FrameGap>& gaps) const
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
    if (!gaps.isEmpty()) {
        // Where the gaps lie in the layer: after the silence put in before them.
        constexpr int named = 3;
        QStringList places;
        qint64 before = 0;
        for (const FrameGap& gap : gaps) {
            if (places.size() < named)
                places << tr("%1 at %2").arg(seconds(double(gap.frames) / samplerate),
                                             seconds(double(gap.at + before) / samplerate));
            before += gap.frames;
        }
        QString text = (gaps.size() == 1 ? tr("The file is damaged: audio is missing in 1 place")
                                         : tr("The file is damaged: audio is missing in %1 places").arg(gaps.size()))
                       + tr(", now silence of the missing length, so that the rest keeps its time: %1")
                             .arg(places.join(tr(", ")));
        if (gaps.size() > named)
            text += tr(" and %1 more (listed in the log)").arg(gaps.size() - named);
        text += tr(".");
        if (shorter)
            text += tr(" It also ends early: %1 were imported.").arg(of);
        return text;
    }
    if (header.cut(QFileInfo(source).size()) && shorter)
        return tr("The file ends early: %1 were imported.").arg(of);
    // Elsewhere a cut and a damage look alike.
    if (shorter || run.exitcode != 0)
        return tr("The file is damaged or incomplete: %1 could be decoded and were imported. Details are in the "
                  "log.")
            .arg(of);
    // Whole, though the decoder gave up on some of it: its length holds, but
    // not every sample may be right. Warnings alone change nothing.
    if (console.decodeerrors > 0)
        return tr("The file is damaged: parts of it could not be decoded and may sound wrong in the layer; all %1 "
                  "were imported. Details are in the log.")
            .arg(of);
    return {};
}
