#pragma once
// What a file plugin said about its last import or export beyond true or
// false (the dynamic properties that the file interface describes); a plugin
// that says nothing gives an empty report.
#include <QString>

class FileInterface;

struct PluginReport
{
    QString message;  // for the one box the host shows
    QString details;  // for the session log
    bool cancelled = false;
};

PluginReport pluginreport(FileInterface* plugin);

// Writes what the plugin said about `file` to the session log: the message
// and every line of the details.
void logreport(const QString& what, const QString& file, const PluginReport& report);
