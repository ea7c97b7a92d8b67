#pragma once
// The folders that the programs of a machine share their add-ons through
// ("Common Files" beside the native and the 32-bit program folders). This
// platform has none, so folders of ours under the user's data folder stand in,
// laid out alike; a workstation's plug-in folder lies below either one.
#include <QStringList>

// The native one first, then the one of 32-bit programs.
QStringList commonfilesfolders();
