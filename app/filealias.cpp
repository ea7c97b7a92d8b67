#include "filealias.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

bool decodablename(const QByteArray& name)
{
    return QFile::encodeName(QFile::decodeName(name)) == name;
}

bool rawregularfile(const QByteArray& rawpath)
{
    struct stat info {};
    return !rawpath.isEmpty() && ::stat(rawpath.constData(), &info) == 0 && S_ISREG(info.st_mode);
}

FileAlias::FileAlias(const QByteArray& rawpath, const QString& folder)
{
    const qsizetype slash = rawpath.lastIndexOf('/');
    const QByteArray name = rawpath.mid(slash + 1);
    if (name.isEmpty())
        return;
    const QByteArray target =
        rawpath.startsWith('/') ? rawpath : QFile::encodeName(QDir::currentPath()) + '/' + rawpath;
    dir = std::make_unique<QTemporaryDir>(QDir(folder).filePath(QStringLiteral("alias-XXXXXX")));
    if (!dir->isValid())
        return;
    // The readable form: each byte that is no text shows as U+FFFD.
    const QString path = dir->filePath(QFile::decodeName(name));
    if (::symlink(target.constData(), QFile::encodeName(path).constData()) == 0)
        link = path;
}
