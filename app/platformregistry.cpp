#include "platformregistry.h"

#include <QCoreApplication>
#include <QStandardPaths>

QString registryfile()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString organisation = QCoreApplication::organizationName();
    if (!organisation.isEmpty())
        folder += QLatin1Char('/') + organisation;
    return folder + QStringLiteral("/registry.ini");
}

std::unique_ptr<QSettings> openregistrykey(const QString& key)
{
    auto settings = std::make_unique<QSettings>(registryfile(), QSettings::IniFormat);
    // An INI file would read a backslash as an escape: the key's levels become groups.
    QString group = key;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    settings->beginGroup(group);
    return settings;
}
