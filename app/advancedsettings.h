#pragma once
// What the advanced settings' "Clear Logs" removes.
#include <QString>

// Removes the session logs below `folder`, sub-folders included: the files
// named like a log ("yyyy.MM.dd-HH.mm.ss.zzz.htm"), except `running` (the log
// this session still writes). Other files in the folder are the user's and
// stay. Returns the number of files removed.
int clearlogs(const QString& folder, const QString& running);
