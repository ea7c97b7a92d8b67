#include "commonfiles.h"

#include <QStandardPaths>

QStringList commonfilesfolders()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return {data + QStringLiteral("/Program Files/Common Files"),
            data + QStringLiteral("/Program Files (x86)/Common Files")};
}
