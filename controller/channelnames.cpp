#include "channelnames.h"

QString speakername(unsigned bit)
{
    switch (bit) {
    case 0x1: return QStringLiteral("Front Left");
    case 0x2: return QStringLiteral("Front Right");
    case 0x4: return QStringLiteral("Front Center");
    case 0x8: return QStringLiteral("Low Frequency");
    case 0x10: return QStringLiteral("Back Left");
    case 0x20: return QStringLiteral("Back Right");
    case 0x40: return QStringLiteral("Front Left Of Center");
    case 0x80: return QStringLiteral("Front Right Of Center");
    case 0x100: return QStringLiteral("Back Center");
    case 0x200: return QStringLiteral("Side Left");
    case 0x400: return QStringLiteral("Side Right");
    case 0x800: return QStringLiteral("Top Center");
    case 0x1000: return QStringLiteral("Top Front Left");
    case 0x2000: return QStringLiteral("Top Front Center");
    case 0x4000: return QStringLiteral("Top Front Right");
    // The three top-back bits carry the names of the plain back speakers.
    case 0x8000: return QStringLiteral("Back Left");
    case 0x10000: return QStringLiteral("Back Center");
    case 0x20000: return QStringLiteral("Back Right");
    default: return QStringLiteral("Undefined");
    }
}

QString channelname(int speakermask, int channel)
{
    const unsigned mask = static_cast<unsigned>(speakermask);
    int found = 0;
    for (int b = 0; b < 32 && channel >= 0; ++b) {
        const unsigned bit = 1u << b;
        if (!(mask & bit))
            continue;
        if (found == channel)
            return speakername(bit);
        ++found;
    }
    return QStringLiteral("Undefined");
}
