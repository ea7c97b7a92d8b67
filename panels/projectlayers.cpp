#include "projectlayers.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "core/layer.h"

namespace {

constexpr qint64 copyblockbytes = 1 << 20;

// An XML project is a few hundred bytes a row; anything much larger is not one.
constexpr qint64 maxxmlbytes = 16 * 1024 * 1024;

// The rows as they are now; each row's samples are its layer's own file, in
// `files`. Called under the layers' lock, which stays held while they are copied.
ProjectData describe(const ProjectLayers& project, QStringList* files)
{
    ProjectData data;
    data.samplerate = project.samplerate;
    data.channels = project.channels;
    data.speakermask = project.speakermask;
    data.current = project.current;
    data.project = project.project;
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
        l->file->flush();
        const QString name = l->file->fileName();
        row.bytes = name.isEmpty() ? 0 : QFileInfo(name).size();
        files->append(name);
        data.rows.append(row);
    }
    return data;
}

// Appends `bytes` bytes of the file `from`, from `offset` on, to `to`.
bool copysamples(const QString& from, qint64 offset, qint64 bytes, QFileDevice* to, QString* error)
{
    if (bytes <= 0)
        return true;
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(offset)) {
        *error = QStringLiteral("%1: %2").arg(from, in.errorString());
        return false;
    }
    std::vector<char> block(size_t(std::min<qint64>(bytes, copyblockbytes)));
    for (qint64 left = bytes; left > 0;) {
        const qint64 got = in.read(block.data(), std::min<qint64>(qint64(block.size()), left));
        if (got <= 0) {
            *error = got < 0 ? QStringLiteral("%1: %2").arg(from, in.errorString())
                             : QStringLiteral("%1 ends too early").arg(from);
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

bool savekvp(const QString& fileName, const ProjectLayers& project, QString* error)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    QMutexLocker lock(&layermutex);
    QStringList sources;
    ProjectData data = describe(project, &sources);
    qint64 offset = 0;
    for (ProjectRow& row : data.rows) {
        row.offset = offset;
        offset += row.bytes;
    }
    const QByteArray xml = projectxml(data);
    const QByteArray header = kvpheader(xml.size());
    bool ok = file.write(header) == header.size() && file.write(xml) == xml.size();
    if (!ok)
        *error = file.errorString();
    for (int i = 0; ok && i < data.rows.size(); ++i)
        ok = copysamples(sources.at(i), 0, data.rows.at(i).bytes, &file, error);
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

bool savekvx(const QString& fileName, const ProjectLayers& project, bool localcopy, QString* error)
{
    QStringList sources;
    if (!localcopy) {
        QMutexLocker lock(&layermutex);
        ProjectData data = describe(project, &sources);
        for (int i = 0; i < data.rows.size(); ++i) {
            data.rows[i].samples = data.rows.at(i).bytes > 0 ? sources.at(i) : QString();
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

    // The copies go into a new folder beside the project; it takes the old
    // folder's place only when the text that refers to it is ready.
    const QFileInfo target(fileName);
    const QString folder = kvxdatafolder(fileName);
    // The rows name their copies by the folder's name, which must read back as written.
    if (!xmlcarries(QFileInfo(folder).fileName())) {
        *error = QStringLiteral("The name %1 holds a control character, which a project file cannot record; "
                                "choose a name without one.")
                     .arg(target.fileName());
        return false;
    }
    QTemporaryDir fresh(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral("-XXXXXX"));
    if (!fresh.isValid()) {
        *error = fresh.errorString();
        return false;
    }
    QMutexLocker lock(&layermutex);
    ProjectData data = describe(project, &sources);
    for (int i = 0; i < data.rows.size(); ++i) {
        ProjectRow& row = data.rows[i];
        if (row.bytes == 0)
            continue;
        const QString name = QStringLiteral("layer%1.pcm").arg(i + 1);
        QFile copy(fresh.filePath(name));
        if (!copy.open(QIODevice::WriteOnly)) {
            *error = copy.errorString();
            return false;
        }
        if (!copysamples(sources.at(i), 0, row.bytes, &copy, error))
            return false;
        row.samples = QFileInfo(folder).fileName() + QLatin1Char('/') + name;
    }
    lock.unlock();

    QSaveFile file(fileName);
    if (!writexml(file, data, error))
        return false;
    QString aside;
    const QFileInfo old(folder);
    if (old.exists() || old.isSymLink()) {
        aside = fresh.path() + QStringLiteral("-old");
        if (!old.isDir() || old.isSymLink() || !QDir().rename(folder, aside)) {
            *error = QStringLiteral("%1 is in the way and cannot be replaced").arg(folder);
            file.cancelWriting();
            return false;
        }
    }
    const auto putback = [&] {
        if (!aside.isEmpty())
            QDir().rename(aside, folder);
    };
    if (!QDir().rename(fresh.path(), folder)) {
        *error = QStringLiteral("%1 could not be made").arg(folder);
        putback();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        QDir(folder).removeRecursively();
        putback();
        return false;
    }
    if (!aside.isEmpty())
        QDir(aside).removeRecursively();
    return true;
}

bool readkvx(const QString& fileName, ProjectData* data, QString* error, QStringList* skipped)
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
        if (row.bytes == 0) {
            row.samples.clear();
        } else {
            const QString path =
                row.samples.isEmpty() ? QString() : QDir::cleanPath(base.absoluteFilePath(row.samples));
            const QFileInfo info(path);
            if (path.isEmpty() || !info.isFile() || info.size() - row.offset < row.bytes) {
                const QString why = QStringLiteral("The samples of layer \"%1\" are missing or incomplete: %2")
                                        .arg(row.name, path.isEmpty() ? QStringLiteral("no file named") : path);
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
        if (adopt && whole && !adopted.contains(canonical)) {
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
            if (!copysamples(row.samples, row.offset, row.bytes, l->file, &why))
                return fail(QStringLiteral("The samples of layer \"%1\" could not be copied: %2").arg(row.name, why));
        }
        l->speakermask = row.speakermask;
    }
    *layers = made;
    return true;
}
