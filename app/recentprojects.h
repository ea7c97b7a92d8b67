#pragma once
// The list of recently used project and session files behind the File menu's
// numbered entries (settings key "recentFileList", newest first).
#include <QString>
#include <QStringList>

// The list after `file` was used: `file` first, no other copy of it (exact
// comparison), at most `max` entries.
QStringList pushrecent(QStringList list, const QString& file, int max);

// The layer panel's slot that reopens `path`, chosen by its ending: ".kvp"
// projects, ".kvx" sessions; null for any other path.
const char* recentopener(const QString& path);
