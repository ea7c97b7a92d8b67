// Encoding a raw exchange file into one of the export formats.
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QTemporaryFile>

#include "fileplugin.h"
#include "filtertables.h"

bool FilePlugin::exportFile(const QString& filter, const QString& source, const QString& destination,
                            int samplerate_, int channels_)
{
    if (busy) {
        qWarning() << "codecbridge: another conversion is still running";
        return false;
    }
    const QString input = QFileInfo(source).absoluteFilePath();
    const qint64 size = QFileInfo(input).size();
    if (samplerate_ < 1 || channels_ < 1 || channels_ > maxchannels || size <= 0 || size % (channels_ * 4) != 0) {
        qWarning() << "codecbridge: nothing to export from" << input;
        return false;
    }
    const QScopedValueRollback<bool> guard(busy, true);

    // The converter writes beside the destination under a name of its own, so
    // that a failed run leaves an existing file as it was. The name keeps the
    // destination's extension, from which the converter picks the container.
    const QFileInfo target(destination);
    const QString suffix = target.suffix();
    QTemporaryFile partial(target.absoluteDir().filePath(QStringLiteral(".") + target.completeBaseName()
                                                         + QStringLiteral("-XXXXXX")
                                                         + (suffix.isEmpty() ? QString() : "." + suffix)));
    partial.setAutoRemove(false);
    bool ok = partial.open();
    const QString written = partial.fileName();
    partial.close();

    if (ok) {
        // The raw format, the rate and the channel count stand before the
        // input and so describe it.
        QStringList arguments{QStringLiteral("-f"),  QStringLiteral("f32le"),         QStringLiteral("-ar"),
                              QString::number(samplerate_), QStringLiteral("-ac"), QString::number(channels_),
                              QStringLiteral("-i"), input,                      QStringLiteral("-y"),
                              QStringLiteral("-vn")};
        for (const ExportFormat& format : exporttable) {
            if (filter == QLatin1String(format.label)) {
                for (const char* option : format.options) {
                    if (option)
                        arguments.append(QString::fromUtf8(option));
                }
            }
        }
        arguments.append(written);

        const Run run = convert(arguments, tr("Writing %1...").arg(target.fileName()), written);
        ok = run.ending == Ending::Finished && run.exitcode == 0 && QFileInfo(written).size() > 0;
        if (!ok)
            qWarning().noquote() << "codecbridge: export to" << target.absoluteFilePath() << "failed:"
                                 << console.messages.join(QLatin1Char('\n'));
    }
    if (ok && target.exists() && !QFile::remove(target.absoluteFilePath()))
        ok = false;
    if (ok)
        ok = QFile::rename(written, target.absoluteFilePath());
    if (!ok)
        QFile::remove(written);
    return ok;
}
