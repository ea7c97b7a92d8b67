#pragma once
// The machine-wide key store in which other programs look for the tools they
// may start (a workstation's Tools menu entries). This platform has none of
// its own, so an INI file of ours under the user's configuration folder stands
// in: a key keeps its backslash-separated path as nested groups, and a key
// that cannot be written shows as the settings object's access error after
// sync(), as a protected key would.
#include <QSettings>
#include <QString>
#include <memory>

// The file that holds the store.
QString registryfile();

// The store opened at `key`: values set or removed on it belong to that key.
std::unique_ptr<QSettings> openregistrykey(const QString& key);
