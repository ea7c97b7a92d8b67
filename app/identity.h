#pragma once
// The program's identity as compiled into ":/softwareid.xml": the names under
// which the settings are stored, and the version the splash and log show.
#include <QString>

struct SoftwareIdentity
{
    QString name;
    QString company;
    QString website;
    QString version;
};

// Reads the identity from an XML file whose root is <software>; any other root
// gives an empty identity. Unknown elements are skipped.
SoftwareIdentity readidentity(const QString& path = QStringLiteral(":/softwareid.xml"));

// Hands the identity to the application object (application and organisation
// names, organisation domain, version), where QSettings and the rest find it.
void applyidentity(const SoftwareIdentity& identity);
