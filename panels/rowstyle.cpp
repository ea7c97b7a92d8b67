#include "rowstyle.h"

#include <QFile>

QString readstylesheet(const QString& resource)
{
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll());
}

QString fillrowstyle(const QString& sheet, const QColor& colour, float shade, float light)
{
    if (sheet.isEmpty())
        return sheet;
    // Each arg() replaces every occurrence of the lowest placeholder left, so
    // the hover rule's copies of %1..%6 are filled as well.
    return sheet.arg(double(colour.red() * shade))
        .arg(double(colour.green() * shade))
        .arg(double(colour.blue() * shade))
        .arg(double(colour.red() * light))
        .arg(double(colour.green() * light))
        .arg(double(colour.blue() * light));
}
