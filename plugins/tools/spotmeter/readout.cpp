#include "readout.h"

#include <algorithm>
#include <cmath>

namespace spotmeter {

Scale scaleof(Quantity quantity)
{
    switch (quantity) {
    case Quantity::powerdb:
        return {-90, -10, QStringLiteral("dB")};
    case Quantity::powervalue:
        return {0, 0.08f, QString()};
    case Quantity::phaseradian:
        return {-3.14f, 3.14f, QStringLiteral("rad")};
    case Quantity::phasedegree:
        return {-180, 180, QStringLiteral("deg")};
    case Quantity::phasevelocity:
        break;
    }
    return {-6.28f, 6.28f, QStringLiteral("rad/win")};
}

float phasevelocity(QVector2D v, QVector2D next, int bin, int overlap)
{
    constexpr float pi = 3.1415927f;
    const float advance = bin * 2 * pi / overlap; // of a tone at the bin's centre, over one hop
    const float expected = std::fmod(std::atan2(v.y(), v.x()) + advance + pi, 2 * pi);
    float e = std::atan2(next.y(), next.x()) - (expected - pi);
    if (e < -pi)
        e += 2 * pi;
    if (e > pi)
        e -= 2 * pi;
    return e * overlap;
}

float valueof(Quantity quantity, QVector2D v, QVector2D next, int bin, int overlap)
{
    switch (quantity) {
    case Quantity::powerdb:
        // Silence (log of 0) shows at the floor.
        return std::max(20 * std::log10(v.length()), -120.0f);
    case Quantity::powervalue:
        return v.length();
    case Quantity::phaseradian:
        return std::atan2(v.y(), v.x());
    case Quantity::phasedegree:
        return std::atan2(v.y(), v.x()) * 180 / 3.14159265f;
    case Quantity::phasevelocity:
        break;
    }
    return phasevelocity(v, next, bin, overlap);
}

} // namespace spotmeter
