#pragma once
// OpenAL reports device names as one run of NUL-terminated UTF-8 strings that
// ends with an empty string.
#include <QStringList>
#include <cstring>

inline QStringList devicelist(const char* run)
{
    QStringList names;
    if (!run)
        return names;
    while (*run) {
        const std::size_t length = std::strlen(run);
        names.append(QString::fromUtf8(run, static_cast<qsizetype>(length)));
        run += length + 1;
    }
    return names;
}
