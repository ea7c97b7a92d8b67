#pragma once
// Files whose names hold bytes that are no valid text in the system's
// encoding: Qt reads such a name with U+FFFD in their place and can then
// never open the file by it. Such a file is reached through a symbolic link
// named with that readable form, in a folder of its own that goes with the
// alias.
#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// Whether `name`, as the system has it, reads back into the same bytes.
bool decodablename(const QByteArray& name);
// Whether `rawpath` names a regular file (or a link to one).
bool rawregularfile(const QByteArray& rawpath);

class FileAlias
{
public:
    // Links to `rawpath` (absolute, or relative to the working folder) from
    // a new folder under `folder`; path() is empty when that failed.
    FileAlias(const QByteArray& rawpath, const QString& folder);
    QString path() const { return link; }

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString link;
};
