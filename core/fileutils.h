#pragma once
// Folder listings, recursive copy, whole-file writes and the icons' shared
// transparency mask.
#include <QByteArray>
#include <QPixmap>
#include <QString>
#include <QStringList>

void listfiles(const QString& folder, QStringList& list);
void listfolders(const QString& folder, QStringList& list);
bool copyfolder(const QString& from, const QString& to);
// Replaces the file's content with `bytes` in one step: on any failure the
// file keeps what it held before.
bool replacefile(const QString& path, const QByteArray& bytes);
QPixmap transparencyicon(QPixmap& pixmap);
QPixmap transparencyicon(const QString& path);
