// Encoding a raw exchange file into one of the export formats.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopedValueRollback>

#include <filesystem>
#include <system_error>

#include "fileplugin.h"
#include "filtertables.h"

namespace {

std::filesystem::path fspath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Creates an empty file beside target, under a name of its own that keeps
// target's extension (from which the converter picks the container). It is
// created as any new file is, with the umask applied, not owner-only as a
// temporary file would be; the converter keeps the mode it finds.
QString createpartial(const QFileInfo& target)
{
    const QString suffix = target.suffix().isEmpty() ? QString() : QStringLiteral(".") + target.suffix();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString tag = QString::number(QRandomGenerator::global()->generate(), 36);
        const QString name =
            target.absoluteDir().filePath(QStringLiteral(".") + target.completeBaseName() + "-" + tag + suffix);
        QFile file(name);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return name;
        if (!QFileInfo::exists(name))
            return {};
    }
    return {};
}

// Puts written in target's place in one step, so that target is at every
// moment either the old file or the new one. A replaced file's permissions
// pass to the new one.
bool replace(const QString& written, const QString& target, QString* why)
{
    std::error_code error;
    const std::filesystem::file_status old = std::filesystem::status(fspath(target), error);
    if (!error && std::filesystem::is_regular_file(old))
        std::filesystem::permissions(fspath(written), old.permissions(), error);
    std::filesystem::rename(fspath(written), fspath(target), error);
    if (error)
        *why = QString::fromStdString(error.message());
    return !error;
}

} // namespace

namespace {

// What the converter said of a file it could not write in full (empty when nothing).
QString writefailure(const QStringList& messages, const QFileInfo& target)
{
    // A full disk first, whichever line names it.
    for (const QString& line : messages)
        if (line.contains(QLatin1String("No space left on device")) || line.contains(QLatin1String("Disk quota exceeded")))
            return QObject::tr("The disk holding %1 is full: %2 could not be written in full.")
                .arg(QDir::toNativeSeparators(target.absolutePath()), target.fileName());
    for (const QString& line : messages)
        if (line.startsWith(QLatin1String("Error closing file")) || line.startsWith(QLatin1String("Error writing trailer"))
            || line.startsWith(QLatin1String("av_interleaved_write_frame")))
            return QObject::tr("%1 could not be written in full (%2).").arg(target.fileName(), line);
    return QString();
}

} // namespace

bool FilePlugin::exportFile(const QString& filter, const QString& source, const QString& destination,
                            int samplerate_, int channels_)
{
    clearreport();
    console.reset();
    if (busy) {
        report(tr("Another file is being converted; try again when it is done."));
        return false;
    }
    const QString input = QFileInfo(source).absoluteFilePath();
    const qint64 size = QFileInfo(input).size();
    if (samplerate_ < 1 || channels_ < 1 || channels_ > maxchannels || size <= 0 || size % (channels_ * 4) != 0) {
        report(tr("There are no samples to export."));
        return false;
    }
    const QString missing = missingconverter();
    if (!missing.isEmpty()) {
        report(missing);
        return false;
    }
    const QScopedValueRollback<bool> guard(busy, true);

    // The converter writes beside the destination under a name of its own, so
    // that a failed run leaves an existing file as it was.
    const QFileInfo target(destination);
    const QString untouched = target.exists() ? tr(" %1 was left as it was.").arg(target.fileName()) : QString();
    const QString written = createpartial(target);
    if (written.isEmpty()) {
        report(tr("No file can be created in the folder %1.").arg(QDir::toNativeSeparators(target.absolutePath())));
        return false;
    }

    // The raw format, the rate and the channel count stand before the
    // input and so describe it.
    QStringList arguments{QStringLiteral("-f"),  QStringLiteral("f32le"),         QStringLiteral("-ar"),
                          QString::number(samplerate_), QStringLiteral("-ac"), QString::number(channels_),
                          QStringLiteral("-i"), input,                      QStringLiteral("-y"),
                          QStringLiteral("-vn")};
    const QStringList kept = property(fileexportwriteback).toBool()
                                 ? keptformat(target.absoluteFilePath())
                                 : QStringList();
    for (const ExportFormat& format : exporttable) {
        if (kept.isEmpty() && filter == QLatin1String(format.label)) {
            for (const char* option : format.options) {
                if (option)
                    arguments.append(QString::fromUtf8(option));
            }
        }
    }
    arguments << kept << written;

    const Run run = convert(arguments, tr("Writing %1...").arg(target.fileName()), written);
    QString problem;
    switch (run.ending) {
    case Ending::Cancelled:
        break;
    case Ending::NotStarted:
        problem = tr("The converter could not be started (%1). It was looked for at %2.")
                      .arg(run.error, converterpath());
        break;
    case Ending::Stalled:
        problem = tr("The converter stopped answering and was ended; nothing was written.");
        break;
    default: {
        // A converter that could not write all of its file may fail or
        // still end well; its console says so, a full disk by name.
        const QString cut = writefailure(console.messages, target);
        if (run.ending != Ending::Finished || run.exitcode != 0 || QFileInfo(written).size() <= 0)
            problem = cut.isEmpty()
                          ? tr("The converter could not write the audio as %1. Details are in the log.").arg(filter)
                          : cut;
        else if (!cut.isEmpty())
            problem = cut;
        // An encoder that cannot take the channels or the rate converts them
        // without a word and succeeds; what it wrote says so.
        else if (console.outputstream && console.channels > 0 && console.samplerate > 0
                 && (console.channels != channels_ || console.samplerate != samplerate_)) {
            QStringList changes;
            if (console.channels != channels_)
                changes << tr("%1 channels instead of %2").arg(console.channels).arg(channels_);
            if (console.samplerate != samplerate_)
                changes << tr("%1 Hz instead of %2 Hz").arg(console.samplerate).arg(samplerate_);
            problem = tr("%1 cannot hold this audio: it would be written with %2. Choose a format that keeps every "
                         "channel at this sample rate.")
                          .arg(filter, changes.join(tr(" and ")));
        }
    }
    }
    bool ok = run.ending != Ending::Cancelled && problem.isEmpty();
    QString error;
    if (ok && !replace(written, target.absoluteFilePath(), &error)) {
        problem = tr("The new file could not take the place of %1 (%2).").arg(target.fileName(), error);
        ok = false;
    }
    if (!ok) {
        QFile::remove(written);
        report(problem.isEmpty() ? QString() : problem + untouched, run.ending == Ending::Cancelled);
    }
    return ok;
}

void FilePlugin::remember(const QString& source)
{
    imported.insert(source, {console.codec, console.sampleformat, samplerate});
}

QStringList FilePlugin::keptformat(const QString& destination) const
{
    const auto found = imported.constFind(destination);
    if (found == imported.constEnd())
        return {};
    // Plain samples name their format in their coding; FLAC keeps 16 or 24
    // bits. A lossy coding is written as the filter says: copying it would
    // not give the caller back what it had anyway.
    if (found->codec.startsWith(QLatin1String("pcm_")))
        return {QStringLiteral("-acodec"), found->codec};
    if (found->codec == QLatin1String("flac") && !found->sampleformat.isEmpty())
        return {QStringLiteral("-acodec"), QStringLiteral("flac"), QStringLiteral("-sample_fmt"),
                found->sampleformat.startsWith(QLatin1String("s16")) ? QStringLiteral("s16") : QStringLiteral("s32")};
    return {};
}
