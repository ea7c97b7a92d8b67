#pragma once
// The CRC-32 of the IEEE polynomial (the one of zip and PNG files), for the
// records of the files that must tell a damaged byte from a whole one.
#include <QtGlobal>

// Continues `crc` (0 to begin) over `size` bytes.
quint32 checksum(const void* data, qint64 size, quint32 crc = 0);
