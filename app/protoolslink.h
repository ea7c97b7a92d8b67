#pragma once
// The files through which a Pro Tools/Media Composer DAE plug-in finds this
// program in a workstation's plug-ins folder: the plug-in and its resources,
// copied from the installation, and two one-line files that name the
// executable and the wave file the two programs exchange.
#include <QString>
#include <QStringList>

namespace protoolslink {

// The plug-in as it is named in a plug-ins folder; an installed link is
// recognised by this file alone.
inline constexpr char pluginname[] = "Korvane.dpm";

// The plug-ins folders of the workstations, in the order they are tried.
QStringList pluginfolders();

// The first plug-ins folder that holds an installed link, or empty.
QString installedfolder();

// The four files of a link in `folder`, in the order they are removed.
QStringList linkfiles(const QString& folder);

// Removes the link's files from `folder` in order and stops at the first that
// stays; a file that is not there counts as removed. True when none is left.
bool remove(const QString& folder);

// Copies the content of `source` into `folder` (an existing file there makes
// it fail) and writes the executable's and the wave file's paths beside it.
bool install(const QString& source, const QString& folder, const QString& executable);

// True when the link in `folder` names `executable`, byte for byte.
bool pointsto(const QString& folder, const QString& executable);

// The wave file the plug-in and the program exchange.
QString wavfile();

} // namespace protoolslink
