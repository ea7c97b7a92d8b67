#include "selfexecutable.h"

#include <QCoreApplication>

namespace {
QString& replacement()
{
    static QString path;
    return path;
}
} // namespace

QString selfexecutable()
{
    return replacement().isEmpty() ? QCoreApplication::applicationFilePath() : replacement();
}

void setselfexecutable(const QString& path)
{
    replacement() = path;
}
