#include "identity.h"

#include <QCoreApplication>
#include <QFile>
#include <QXmlStreamReader>

SoftwareIdentity readidentity(const QString& path)
{
    SoftwareIdentity id;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return id;
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("software"))
        return id;
    while (xml.readNextStartElement()) {
        const auto element = xml.name().toString();
        if (element == QLatin1String("name"))
            id.name = xml.readElementText();
        else if (element == QLatin1String("company"))
            id.company = xml.readElementText();
        else if (element == QLatin1String("website"))
            id.website = xml.readElementText();
        else if (element == QLatin1String("version"))
            id.version = xml.readElementText();
        else
            xml.skipCurrentElement();
    }
    return id;
}

void applyidentity(const SoftwareIdentity& id)
{
    QCoreApplication::setApplicationName(id.name);
    QCoreApplication::setOrganizationName(id.company);
    QCoreApplication::setOrganizationDomain(id.website);
    QCoreApplication::setApplicationVersion(id.version);
}
