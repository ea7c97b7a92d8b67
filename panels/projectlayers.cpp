#include "projectlayers.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "core/layer.h"
#include "sdk/rounding.h"

#include <unistd.h>

namespace {

constexpr qint64 copyblockbytes = 1 << 20;

// An XML project is a few hundred bytes a row; anything much larger is not one.
constexpr qint64 maxxmlbytes = 16 * 1024 * 1024;

// The rows as they are now; each row's samples are its layer's own file, in
// `files`, read through the file the layer holds open: a file removed from the
// session folder (a cleaner, another program) is still whole there. Called
// under the layers' lock, which stays held while they are copied. False, with
// the layer named, when a layer's file holds less than its length.
bool describe(const ProjectLayers& project, ProjectData* data, QList<QFile*>* files, QString* error)
{
    data->samplerate = project.samplerate;
    data->channels = project.channels;
    data->speakermask = project.speakermask;
    data->current = project.current;
    data->project = project.project;
    data->recovered = project.recovered;
    for (layer* l : project.rows) {
        ProjectRow row;
        row.name = l->name;
        row.active = l->active != 0;
        row.mixsign = l->mixsign;
        row.volume = l->volume;
        row.samplerate = l->samplerate;
        row.channels = l->channels;
        row.speakermask = l->speakermask;
        row.start = l->start;
        row.length = l->length;
        const qint64 expected = samplebytes(l);
        row.bytes = l->file && l->file->isOpen() && l->file->flush() ? l->file->size() : 0;
        if (row.bytes < expected) {
            // A file that reads without an error was cut short: its own text would be "Unknown error".
            const bool open = l->file && l->file->isOpen();
            *error = QStringLiteral("The samples of layer \"%1\" could not be read in full (%2 of %3 bytes): %4")
                         .arg(l->name)
                         .arg(row.bytes)
                         .arg(expected)
                         .arg(!l->file ? QStringLiteral("it has no sample file")
                              : open && l->file->error() == QFileDevice::NoError
                                  ? QStringLiteral("its sample file was cut short outside the program.")
                                  : l->file->errorString());
            return false;
        }
        files->append(l->file);
        data->rows.append(row);
    }
    return true;
}

// Appends `bytes` bytes of `in`, from `offset` on, to `to`; `what` names the
// source in a failure.
bool copysamples(QIODevice* in, const QString& what, qint64 offset, qint64 bytes, QFileDevice* to, QString* error)
{
    if (bytes <= 0)
        return true;
    if (!in->seek(offset)) {
        *error = QStringLiteral("%1: %2").arg(what, in->errorString());
        return false;
    }
    std::vector<char> block(size_t(std::min<qint64>(bytes, copyblockbytes)));
    for (qint64 left = bytes; left > 0;) {
        const qint64 got = in->read(block.data(), std::min<qint64>(qint64(block.size()), left));
        if (got <= 0) {
            *error = got < 0 ? QStringLiteral("%1: %2").arg(what, in->errorString())
                             : QStringLiteral("%1 ends too early").arg(what);
            return false;
        }
        // A write cut short is tried again, so that the reason (a full disk) is known.
        for (qint64 done = 0; done < got;) {
            const qint64 put = to->write(block.data() + done, got - done);
            if (put <= 0) {
                *error = to->errorString();
                return false;
            }
            done += put;
        }
        left -= got;
    }
    if (to->flush())
        return true;
    *error = to->errorString();
    return false;
}

bool copysamples(const QString& from, qint64 offset, qint64 bytes, QFileDevice* to, QString* error)
{
    if (bytes <= 0)
        return true;
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(from, in.errorString());
        return false;
    }
    return copysamples(&in, from, offset, bytes, to, error);
}

// A row's samples from its layer's open file; the layer's file position is
// left as it was.
bool copylayer(QFile* from, const ProjectRow& row, QFileDevice* to, QString* error)
{
    const qint64 at = from->pos();
    QString why;
    const bool ok = copysamples(from, from->fileName(), 0, row.bytes, to, &why);
    from->seek(at);
    if (!ok)
        *error = QStringLiteral("The samples of layer \"%1\" could not be copied: %2").arg(row.name, why);
    return ok;
}

bool writexml(QSaveFile& file, const ProjectData& data, QString* error)
{
    const QByteArray xml = projectxml(data);
    if (file.open(QIODevice::WriteOnly) && file.write(xml) == xml.size())
        return true;
    *error = file.errorString();
    file.cancelWriting();
    return false;
}

} // namespace

qint64 samplebytes(const layer* l)
{
    return l->channels > 0 ? std::max<qint64>(0, roundhalfup64(l->length * l->samplerate)) * l->channels * 4 : 0;
}

QString cutshortnote(layer* l, bool evenrefilled)
{
    QMutexLocker lock(&layermutex);
    const qint64 expected = samplebytes(l);
    const qint64 held = l->file && l->file->isOpen() && l->file->flush() ? l->file->size() : 0;
    const double persecond = std::max(1, l->samplerate) * double(std::max(1, l->channels) * 4);
    if (held >= expected && evenrefilled && l->lostframes() > 0)
        return QStringLiteral("The sample file of layer \"%1\" was cut short outside the program: %2 s of the "
                              "layer's audio were lost, and silence stands where nothing was written since.")
            .arg(l->name.toHtmlEscaped())
            .arg(double(l->lostframes()) / std::max(1, l->samplerate), 0, 'f', 2);
    if (held >= expected)
        return QString();
    return QStringLiteral("The sample file of layer \"%1\" was cut short outside the program: it holds %2 s of "
                          "the layer's %3 s.")
        .arg(l->name.toHtmlEscaped())
        .arg(double(held) / persecond, 0, 'f', 2)
        .arg(double(expected) / persecond, 0, 'f', 2);
}

bool savekvp(const QString& fileName, const ProjectLayers& project, QString* error)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    QMutexLocker lock(&layermutex);
    QList<QFile*> sources;
    ProjectData data;
    bool ok = describe(project, &data, &sources, error);
    qint64 offset = 0;
    for (ProjectRow& row : data.rows) {
        row.offset = offset;
        offset += row.bytes;
    }
    const QByteArray xml = projectxml(data);
    const QByteArray header = kvpheader(xml.size());
    if (ok && !(file.write(header) == header.size() && file.write(xml) == xml.size())) {
        *error = file.errorString();
        ok = false;
    }
    for (int i = 0; ok && i < data.rows.size(); ++i)
        ok = copylayer(sources.at(i), data.rows.at(i), &file, error);
    lock.unlock();
    if (ok && !file.commit()) {
        *error = file.errorString();
        ok = false;
    }
    if (!ok)
        file.cancelWriting();
    return ok;
}

QString kvxdatafolder(const QString& fileName)
{
    return QFileInfo(fileName).absoluteFilePath() + QStringLiteral(".data");
}

namespace {

// The sample files this program writes into a data folder: "layer<row>.pcm",
// or "layer<row>-<n>.pcm" when the former names are still those of the
// project as it stands on disk.
bool isdatafilename(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^layer[0-9]+(-[0-9]+)?\\.pcm$"));
    return pattern.match(name).hasMatch();
}

QString datafilename(int row, int generation)
{
    return generation == 0 ? QStringLiteral("layer%1.pcm").arg(row)
                           : QStringLiteral("layer%1-%2.pcm").arg(row).arg(generation);
}

} // namespace

bool savekvx(const QString& fileName, const ProjectLayers& project, bool localcopy, QString* error)
{
    QList<QFile*> sources;
    ProjectData data;
    if (!localcopy) {
        QMutexLocker lock(&layermutex);
        if (!describe(project, &data, &sources, error))
            return false;
        for (int i = 0; i < data.rows.size(); ++i) {
            data.rows[i].samples = data.rows.at(i).bytes > 0 ? sources.at(i)->fileName() : QString();
            // On the disk before the text names it, so that one missing later
            // was lost (named all the same when it cannot be written).
            data.rows[i].kept = project.rows.at(i)->keptfile();
            data.rows[i].keptmarked = project.rows.at(i)->markkept();
            if (!xmlcarries(data.rows.at(i).samples)) {
                *error = QStringLiteral("The path of the samples of layer \"%1\" holds a control character, "
                                        "which a project file cannot record.")
                             .arg(data.rows.at(i).name);
                return false;
            }
        }
        QSaveFile file(fileName);
        if (!writexml(file, data, error))
            return false;
        if (file.commit())
            return true;
        *error = file.errorString();
        return false;
    }

    // The text and its samples change together: the new samples go into the
    // data folder under names that the text on disk does not use, and the
    // text that names them takes the old text's place in one rename. Until
    // then the old text and its samples are untouched; after it, the old
    // samples go. Whenever the program ends, the text on disk names samples
    // that are complete.
    const QFileInfo target(fileName);
    const QString folder = kvxdatafolder(fileName);
    // The rows name their copies by the folder's name, which must read back as written.
    if (!xmlcarries(QFileInfo(folder).fileName())) {
        *error = QStringLiteral("The name %1 holds a control character, which a project file cannot record; "
                                "choose a name without one.")
                     .arg(target.fileName());
        return false;
    }
    const QFileInfo old(folder);
    const bool made = !old.exists() && !old.isSymLink();
    if (!made && (!old.isDir() || old.isSymLink())) {
        *error = QStringLiteral("%1 is in the way and cannot be replaced").arg(folder);
        return false;
    }
    if (made && !QDir().mkdir(folder)) {
        *error = QStringLiteral("%1 could not be made").arg(folder);
        return false;
    }
    QDir dir(folder);
    QStringList written;
    const auto undo = [&] {
        for (const QString& name : written)
            dir.remove(name);
        if (made)
            QDir().rmdir(folder);
        return false;
    };

    QMutexLocker lock(&layermutex);
    if (!describe(project, &data, &sources, error))
        return undo();
    const auto taken = [&](int generation) {
        for (int i = 0; i < data.rows.size(); ++i)
            if (dir.exists(datafilename(i + 1, generation)))
                return true;
        return false;
    };
    int generation = 0;
    while (taken(generation))
        ++generation;
    for (int i = 0; i < data.rows.size(); ++i) {
        ProjectRow& row = data.rows[i];
        if (row.bytes == 0)
            continue;
        const QString name = datafilename(i + 1, generation);
        QFile copy(dir.filePath(name));
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            *error = copy.errorString();
            return undo();
        }
        written << name;
        if (!copylayer(sources.at(i), row, &copy, error))
            return undo();
        // On disk before the text that names it.
        if (::fsync(copy.handle()) != 0) {
            *error = QStringLiteral("%1: %2").arg(copy.fileName(), QString::fromLocal8Bit(std::strerror(errno)));
            return undo();
        }
        row.samples = QFileInfo(folder).fileName() + QLatin1Char('/') + name;
    }
    lock.unlock();

    QSaveFile file(fileName);
    if (!writexml(file, data, error))
        return undo();
    if (!file.commit()) {
        *error = file.errorString();
        return undo();
    }
    // The samples of the former text, and of saves that never reached theirs.
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (isdatafilename(name) && !written.contains(name))
            dir.remove(name);
    return true;
}

bool readkvx(const QString& fileName, ProjectData* data, QString* error, QStringList* skipped, QStringList* notes)
{
    *data = ProjectData();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    if (file.size() > maxxmlbytes) {
        *error = QStringLiteral("It is not a Korvane project.");
        return false;
    }
    if (!readprojectxml(file.readAll(), data, error))
        return false;
    const QDir base = QFileInfo(fileName).absoluteDir();
    QList<ProjectRow> rows;
    int current = -1;
    for (int i = 0; i < data->rows.size(); ++i) {
        ProjectRow row = data->rows.at(i);
        const QString kept = row.kept;
        row.kept.clear(); // set below only for a layer that it takes back
        if (row.bytes == 0) {
            row.samples.clear();
        } else {
            const QString path =
                row.samples.isEmpty() ? QString() : QDir::cleanPath(base.absoluteFilePath(row.samples));
            const QFileInfo info(path);
            // A layer left in the middle of an edit comes back as it was before
            // the edit, from its samples and what its kept file holds.
            const QString keptpath = kept.isEmpty() ? QString() : QDir::cleanPath(base.absoluteFilePath(kept));
            const layer::keptreading before =
                skipped && info.isFile()
                    ? layer::readkeptfile(path, keptpath, row.channels, row.samplerate, row.keptmarked)
                    : layer::keptreading();
            const auto keep = [&](const QString& text) {
                if (notes)
                    *notes << text;
                if (i == data->current)
                    current = int(rows.size());
                rows << row;
            };
            if (before.state == layer::keptreading::journal) {
                row.samples = path;
                row.kept = keptpath;
                row.start = before.extent.start;
                row.length = before.extent.length;
                row.bytes = before.extent.frames * row.channels * 4;
                keep(QStringLiteral("Layer \"%1\" comes back as it was before its last edit, which the program had "
                                    "not finished or had kept without a history entry.")
                         .arg(row.name));
                continue;
            }
            if (before.state == layer::keptreading::damaged) {
                // What its samples hold, as much of it as there is; nothing of either file is changed or removed.
                const qint64 fb = qint64(row.channels) * 4;
                const qint64 held = std::max<qint64>(0, info.size() - row.offset) / fb * fb;
                QString shorter;
                if (held < row.bytes) {
                    shorter = QStringLiteral(" It holds %1 s of the %2 s the session names.")
                                  .arg(double(held / fb) / row.samplerate, 0, 'f', 2)
                                  .arg(row.length, 0, 'f', 2);
                    row.bytes = held;
                    row.length = double(held / fb) / row.samplerate;
                }
                row.samples = path;
                row.copy = true;
                const QString why = QStringLiteral("the copy of its audio from before the edit that was under way "
                                                   "cannot be read whole (%1)")
                                        .arg(before.why);
                const QString files = QStringLiteral("Both files stay as they are: %1 and %2.").arg(path, keptpath);
                if (row.bytes == 0)
                    *skipped << QStringLiteral("Layer \"%1\" cannot be recovered: its sample file is empty, and %2. %3")
                                    .arg(row.name, why, files);
                else
                    keep(QStringLiteral("Layer \"%1\" may hold a half-written edit: %2, so the layer comes back as "
                                        "its sample file holds it.%3 %4")
                             .arg(row.name, why, shorter, files));
                continue;
            }
            const bool there = !path.isEmpty() && info.isFile() && info.size() - row.offset >= row.bytes;
            // A saved text and its samples change together: other sizes mean
            // that they are not of one save.
            const bool agree = skipped || info.size() - row.offset == row.bytes;
            if (!there || !agree) {
                const QString why =
                    !there ? QStringLiteral("The samples of layer \"%1\" are missing or incomplete: %2")
                                 .arg(row.name, path.isEmpty() ? QStringLiteral("no file named") : path)
                           : QStringLiteral("The samples of layer \"%1\" do not match the project: %2 holds %3 "
                                            "bytes where %4 were saved.")
                                 .arg(row.name, path)
                                 .arg(info.size() - row.offset)
                                 .arg(row.bytes);
                if (!skipped) {
                    *error = why;
                    *data = ProjectData();
                    return false;
                }
                *skipped << why;
                continue;
            }
            row.samples = path;
        }
        if (i == data->current)
            current = int(rows.size());
        rows << row;
    }
    data->rows = rows;
    data->current = current;
    return true;
}

void discardlayers(const ProjectData& data, const QList<layer*>& layers)
{
    for (int i = 0; i < layers.size(); ++i) {
        layer* l = layers.at(i);
        // A file taken over still belongs to the session it came from.
        const bool taken = l->file && i < data.rows.size() && !data.rows.at(i).samples.isEmpty()
                           && l->file->fileName() == data.rows.at(i).samples;
        if (taken) {
            l->file->close();
            delete l->file;
            l->file = nullptr;
        }
        delete l;
    }
}

bool makelayers(const ProjectData& data, bool adopt, const QStringList& inuse, QList<layer*>* layers,
                QString* error)
{
    QList<layer*> made;
    // Compared as the files they are, whatever way their names are spelt.
    QStringList adopted;
    for (const QString& file : inuse)
        adopted << QFileInfo(file).canonicalFilePath();
    const auto fail = [&](const QString& why) {
        *error = why;
        discardlayers(data, made);
        return false;
    };
    for (const ProjectRow& row : data.rows) {
        layer* l = nullptr;
        const bool whole = row.offset == 0 && row.bytes > 0 && QFileInfo(row.samples).size() == row.bytes;
        const QString canonical = QFileInfo(row.samples).canonicalFilePath();
        if (adopt && whole && row.kept.isEmpty() && !row.copy && !adopted.contains(canonical)) {
            // Only a layer file of the session folder is taken over; any other file is copied.
            l = new layer(row.samples, row.name, row.active, row.mixsign, row.volume, row.samplerate, row.channels,
                          row.start, row.length, false);
            made.append(l);
            if (l->failed())
                return fail(l->lasterror());
            if (l->file->fileName() == row.samples) {
                adopted.append(canonical);
                // Taken over, it is this run's: the clean-up of old files must spare it.
                l->file->setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
            }
        } else {
            l = new layer();
            made.append(l);
            l->name = row.name;
            l->active = row.active ? 1 : 0;
            l->mixsign = row.mixsign;
            l->volume = row.volume;
            l->samplerate = row.samplerate;
            l->channels = row.channels;
            l->start = row.start;
            l->length = row.length;
            QString why;
            if (l->failed())
                return fail(l->lasterror());
            if (adopt && !row.kept.isEmpty()) {
                if (!l->takekept(row.samples, row.kept))
                    return fail(l->failed() ? l->lasterror()
                                            : QStringLiteral("The samples of layer \"%1\" changed while they were "
                                                             "read.")
                                                  .arg(row.name));
            } else if (!copysamples(row.samples, row.offset, row.bytes, l->file, &why))
                return fail(QStringLiteral("The samples of layer \"%1\" could not be copied: %2").arg(row.name, why));
        }
        l->speakermask = row.speakermask;
    }
    *layers = made;
    return true;
}
