#pragma once
// Which file plugin decodes a file: by the filter the user chose in the import
// dialog, or by the file's extension. Plugins are given as their lists of
// import filters, in load order; the result is an index into that list.
#include <QList>
#include <QString>
#include <QStringList>

inline const QString allfilesfilter = QStringLiteral("All (*.*)");

// The extension of a file name from its last "." on, as written ("" without one).
QString fileextension(const QString& fileName);

// The last plugin with a filter naming the file's extension (lower-cased), and
// that filter in *filter; -1 when none names it.
int pluginforextension(const QList<QStringList>& plugins, const QString& fileName, QString* filter);

// The last plugin that offers exactly this filter; -1 when none does.
int pluginforfilter(const QList<QStringList>& plugins, const QString& filter);
