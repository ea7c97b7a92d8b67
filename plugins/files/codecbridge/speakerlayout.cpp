#include "speakerlayout.h"

#include <QRegularExpression>

#include "speakermix.h"

namespace {

using namespace speakermix; // the WAVE channel mask bits

struct NamedLayout
{
    const char* name;
    int mask;
};

// The converter's layout names (its own table), up to 8 channels.
constexpr NamedLayout namedlayouts[] = {
    {"mono", FC},
    {"stereo", FL | FR},
    {"downmix", FL | FR},
    {"2.1", FL | FR | LFE},
    {"3.0", FL | FR | FC},
    {"3.0(back)", FL | FR | BC},
    {"4.0", FL | FR | FC | BC},
    {"quad", FL | FR | BL | BR},
    {"quad(side)", FL | FR | SL | SR},
    {"3.1", FL | FR | FC | LFE},
    {"5.0", FL | FR | FC | BL | BR},
    {"5.0(side)", FL | FR | FC | SL | SR},
    {"4.1", FL | FR | FC | LFE | BC},
    {"5.1", FL | FR | FC | LFE | BL | BR},
    {"5.1(side)", FL | FR | FC | LFE | SL | SR},
    {"6.0", FL | FR | FC | BC | SL | SR},
    {"6.0(front)", FL | FR | FLC | FRC | SL | SR},
    {"hexagonal", FL | FR | FC | BL | BR | BC},
    {"6.1", FL | FR | FC | LFE | BC | SL | SR},
    {"6.1(back)", FL | FR | FC | LFE | BL | BR | BC},
    {"6.1(front)", FL | FR | LFE | FLC | FRC | SL | SR},
    {"7.0", FL | FR | FC | BL | BR | SL | SR},
    {"7.0(front)", FL | FR | FC | FLC | FRC | SL | SR},
    {"7.1", FL | FR | FC | LFE | BL | BR | SL | SR},
    {"7.1(wide)", FL | FR | FC | LFE | BL | BR | FLC | FRC},
    {"7.1(wide-side)", FL | FR | FC | LFE | FLC | FRC | SL | SR},
    {"7.1(top)", FL | FR | FC | LFE | BL | BR | TFL | TFR},
    {"octagonal", FL | FR | FC | BL | BR | BC | SL | SR},
    {"cube", FL | FR | BL | BR | TFL | TFR | TBL | TBR},
};

// Named layouts of more channels than the editor takes: only their count
// matters, to say so.
constexpr NamedLayout countedlayouts[] = {
    {"hexadecagonal", 16},
    {"22.2", 24},
};

} // namespace

int defaultspeakermask(int channels)
{
    return speakermix::defaultmask(channels);
}

SpeakerLayout speakerlayout(const QString& name)
{
    const QString layout = name.trimmed();
    for (const NamedLayout& named : namedlayouts) {
        if (layout == QLatin1String(named.name))
            return {int(qPopulationCount(quint32(named.mask))), named.mask};
    }
    for (const NamedLayout& counted : countedlayouts) {
        if (layout == QLatin1String(counted.name))
            return {counted.mask, 0};
    }
    // Layouts without a name: "N channels", sometimes followed by the speakers
    // in parentheses. Their order is not the WAVE order, so only the count holds.
    static const QRegularExpression counted(QStringLiteral("^(\\d+) channels\\b"));
    const QRegularExpressionMatch match = counted.match(layout);
    if (match.hasMatch()) {
        const int channels = match.captured(1).toInt();
        return {channels, defaultspeakermask(channels)};
    }
    return {};
}
