#include "checksum.h"

#include <array>

namespace {

std::array<quint32, 256> maketable()
{
    std::array<quint32, 256> table{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

} // namespace

quint32 checksum(const void* data, qint64 size, quint32 crc)
{
    static const std::array<quint32, 256> table = maketable();
    const auto* at = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (qint64 i = 0; i < size; ++i)
        crc = table[(crc ^ at[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
