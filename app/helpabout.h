#pragma once
// The installed help pages and the About box's texts.
#include <QString>
#include <QUrl>

// The address of an installed page below rootpath + "/Resources/Doc" (a
// file address whatever characters the installation path holds).
QUrl docurl(const QString& page);

// The About box's two rich texts.
QString aboutheader(const QString& version, const QString& company, const QString& domain);
QString aboutcredits(const QString& qtversion);
