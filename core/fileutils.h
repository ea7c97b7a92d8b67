#pragma once
// Folder listings, recursive copy and the icons' shared transparency mask.
#include <QPixmap>
#include <QString>
#include <QStringList>

void listfiles(const QString& folder, QStringList& list);
void listfolders(const QString& folder, QStringList& list);
bool copyfolder(const QString& from, const QString& to);
QPixmap transparencyicon(QPixmap& pixmap);
QPixmap transparencyicon(const QString& path);
