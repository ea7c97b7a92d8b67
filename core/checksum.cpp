#include "checksum.h"

#include <array>
#include <cstring>

namespace {

// Eight tables, so that eight bytes go through at once (the same sums as one
// byte at a time): the kept file sums every sample an edit puts aside, and a
// byte at a time cost as much as a transform pass of that audio.
using Tables = std::array<std::array<quint32, 256>, 8>;

Tables maketables()
{
    Tables t{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (quint32 n = 0; n < 256; ++n)
        for (size_t k = 1; k < t.size(); ++k)
            t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}

} // namespace

quint32 checksum(const void* data, qint64 size, quint32 crc)
{
    static const Tables t = maketables();
    const auto* at = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; size >= 8; size -= 8, at += 8) {
        quint32 lo, hi;
        std::memcpy(&lo, at, 4);
        std::memcpy(&hi, at + 4, 4);
        if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN) {
            lo = qbswap(lo);
            hi = qbswap(hi);
        }
        lo ^= crc;
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24]
              ^ t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; size > 0; --size, ++at)
        crc = t[0][(crc ^ *at) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
