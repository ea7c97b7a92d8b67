#include "fileutils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>
#include <QSet>

#include "log.h"

namespace {

// Folders are walked by their canonical path at most once, so that a symbolic
// link back up the tree (or a second link to the same folder) cannot make a
// walk endless or list the same files twice.
using Visited = QSet<QString>;

bool enterfolder(const QString& folder, Visited& visited)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false; // missing
    if (visited.contains(canonical))
        return false;
    visited.insert(canonical);
    return true;
}

void listfilesin(const QString& folder, QStringList& list, Visited& visited)
{
    if (!enterfolder(folder, visited))
        return;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot, QDir::DirsFirst);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir())
            listfilesin(entry.absoluteFilePath(), list, visited);
        else
            list << entry.absoluteFilePath();
    }
}

void listsubfolders(const QString& folder, QStringList& list, Visited& visited)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::DirsFirst);
    for (const QFileInfo& entry : entries) {
        const QString path = entry.absoluteFilePath();
        if (!enterfolder(path, visited))
            continue;
        list << path;
        listsubfolders(path, list, visited);
    }
}

bool copyfolderin(const QString& from, const QString& to, Visited& visited)
{
    if (!QFileInfo(from).isDir())
        return false;
    if (!QFileInfo::exists(to) && !QDir().mkdir(to))
        return false;
    // The target counts as visited too: copying a folder into one of its own
    // sub-folders must not copy the copy again.
    visited.insert(QFileInfo(from).canonicalFilePath());
    visited.insert(QFileInfo(to).canonicalFilePath());

    const QDir source(from);
    // Hidden files are files of the folder too; a copy must not drop them.
    const QStringList files = source.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QString& name : files) {
        if (!QFile::copy(from + "/" + name, to + "/" + name))
            return false;
    }
    // Real sub-folders first, so that a folder also reached through a link is
    // copied under its own name and the link is then passed over.
    const QStringList folders = source.entryList(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    for (bool links : {false, true}) {
        for (const QString& name : folders) {
            const QString sub = from + "/" + name;
            const QFileInfo info(sub);
            if (info.isSymLink() != links || visited.contains(info.canonicalFilePath()))
                continue;
            if (!copyfolderin(sub, to + "/" + name, visited))
                return false;
        }
    }
    return true;
}

const QImage& transparencymask()
{
    static const QImage mask(QStringLiteral(":/icons/Transparency.png"));
    return mask;
}

} // namespace

void listfiles(const QString& folder, QStringList& list)
{
    Visited visited;
    listfilesin(folder, list, visited);
}

void listfolders(const QString& folder, QStringList& list)
{
    list << folder;
    Visited visited;
    if (enterfolder(folder, visited))
        listsubfolders(folder, list, visited);
}

bool copyfolder(const QString& from, const QString& to)
{
    Visited visited;
    return copyfolderin(from, to, visited);
}

bool replacefile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// Icons are drawn without alpha; each pixel's alpha becomes the intensity of the
// mask pixel at the same place.
QPixmap transparencyicon(QPixmap& pixmap)
{
    if (pixmap.isNull())
        return pixmap;
    const QImage& mask = transparencymask();
    if (mask.isNull()) {
        logerror(QStringLiteral("Transparency mask :/icons/Transparency.png is missing"));
        return pixmap;
    }
    if (pixmap.size() != mask.size()) {
        logerror(QStringLiteral("Icon of %1x%2 pixels left opaque: the transparency mask is %3x%4")
                     .arg(pixmap.width())
                     .arg(pixmap.height())
                     .arg(mask.width())
                     .arg(mask.height()));
        return pixmap;
    }
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba(qRed(p), qGreen(p), qBlue(p), qGray(mask.pixel(x, y)));
        }
    }
    pixmap = QPixmap::fromImage(image);
    return pixmap;
}

QPixmap transparencyicon(const QString& path)
{
    QPixmap pixmap(path);
    return transparencyicon(pixmap);
}
