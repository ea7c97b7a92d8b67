#include "protoolslink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "commonfiles.h"
#include "core/fileutils.h"

namespace protoolslink {

namespace {
const QString plugin = QString::fromLatin1(pluginname);

bool writepath(const QString& file, const QString& path)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // The plug-in reads the path in the file system's own encoding, without a line end.
    const QByteArray bytes = QFile::encodeName(path);
    return out.write(bytes) == bytes.size() && out.flush();
}
} // namespace

QStringList pluginfolders()
{
    QStringList folders;
    for (const QString& common : commonfilesfolders())
        folders << common + QStringLiteral("/Digidesign/DAE/Plug-Ins");
    return folders;
}

QString installedfolder()
{
    for (const QString& folder : pluginfolders())
        if (QFileInfo::exists(folder + QLatin1Char('/') + plugin))
            return folder;
    return QString();
}

QStringList linkfiles(const QString& folder)
{
    const QString base = folder + QLatin1Char('/') + plugin;
    return {base, base + QStringLiteral(".rsr"), base + QStringLiteral(".apppath"), base + QStringLiteral(".wavpath")};
}

bool remove(const QString& folder)
{
    for (const QString& file : linkfiles(folder)) {
        // A link left half-copied lacks some files: they are gone already.
        if (!QFileInfo::exists(file) && !QFileInfo(file).isSymLink())
            continue;
        if (!QFile::remove(file))
            return false;
    }
    return true;
}

bool install(const QString& source, const QString& folder, const QString& executable)
{
    if (!copyfolder(source, folder))
        return false;
    const QStringList files = linkfiles(folder);
    return writepath(files.at(2), executable) && writepath(files.at(3), wavfile());
}

bool pointsto(const QString& folder, const QString& executable)
{
    QFile in(linkfiles(folder).at(2));
    const QByteArray stored = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    return stored == QFile::encodeName(executable);
}

QString wavfile()
{
    return QDir::tempPath() + QStringLiteral("/protools.wav");
}

} // namespace protoolslink
