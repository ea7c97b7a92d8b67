#pragma once
// The log viewer's reading of the session logs.
#include <QByteArray>
#include <QString>
#include <QStringList>

// A log's bytes without the zero bytes of its unwritten slot space; empty when
// the file cannot be read.
QByteArray readlog(const QString& path);

// The logs below `folder`, sub-folders first at each level, each group by
// name: every file whose name ends in ".htm".
QStringList listlogs(const QString& folder);
