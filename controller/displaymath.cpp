#include "displaymath.h"

#include "sdk/rounding.h"

#include <algorithm>
#include <climits>
#include <cmath>

int truncint(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

int roundint(double value)
{
    if (std::isnan(value))
        return 0;
    return roundhalfup(std::clamp(value, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

bool isfinitearea(const QRectF& area)
{
    return std::isfinite(area.x()) && std::isfinite(area.y()) && std::isfinite(area.width())
           && std::isfinite(area.height());
}

std::optional<QRectF> clampdisplayarea(QRectF area, const DisplayExtent& extent)
{
    if (!isfinitearea(area))
        return std::nullopt;
    double x = area.x(), y = area.y(), w = area.width(), h = area.height();
    // A collapsed or inverted request becomes the smallest area there is.
    if (w < mindisplaylength)
        w = mindisplaylength;
    if (-h < mindisplayspan)
        h = -mindisplayspan;

    if (extent.samplerate > 0 && extent.haslayers) {
        const double n = extent.samplerate * 0.5;
        if (-h > n)
            h = -n;
        if (y + h < 0)
            y = -h;
        if (y > n)
            y = n;
        const double s = extent.start, l = extent.length;
        if (s < unsettime && l > 0) {
            if (w > l)
                w = l;
            if (x < s)
                x = s;
            if (x + w > s + l)
                x = s + l - w;
            // A project shorter than the smallest area keeps its start.
            if (w < mindisplaylength)
                w = mindisplaylength;
        }
    }
    return QRectF(x, y, w, h);
}

QRectF zoomtime(QRectF area, int direction)
{
    const double w = area.width();
    if (direction > 0)
        return QRectF(area.x() + w / 15, area.y(), w - 2 * w / 15, area.height());
    if (direction < 0)
        return QRectF(area.x() - w / 15, area.y(), w + 2 * w / 15, area.height());
    return area;
}

QRectF zoomfreq(QRectF area, int direction)
{
    const double h = area.height();
    if (direction > 0)
        return QRectF(area.x(), area.y() + h / 15, area.width(), h - 2 * h / 15);
    if (direction < 0)
        return QRectF(area.x(), area.y() - h / 15, area.width(), h + 2 * h / 15);
    return area;
}

QRectF pantime(QRectF area, int direction)
{
    if (direction == 0)
        return area;
    const double step = area.width() / 40;
    area.moveLeft(direction > 0 ? area.x() + step : area.x() - step);
    return area;
}

QRectF panfreq(QRectF area, int direction)
{
    if (direction == 0)
        return area;
    const double step = area.height() / 40; // negative: minus span / 40
    area.moveTop(direction > 0 ? area.y() - step : area.y() + step);
    return area;
}

ScrollSetting timescrollsetting(const QRectF& area, double spanstart, double spanlength)
{
    // The bar's scale is the start time in tenths of a second; for a project
    // that starts after 0 s its range starts there too, so that the value
    // and the range describe the same scale.
    const double s = spanstart < unsettime ? spanstart : 0.0;
    ScrollSetting setting;
    setting.minimum = truncint(10 * s);
    setting.maximum = std::max(setting.minimum, truncint(10 * (s + spanlength) - 10 * area.width()));
    setting.pagestep = truncint(10 * area.width());
    setting.value = truncint(10 * area.x());
    return setting;
}

ScrollSetting freqscrollsetting(const QRectF& area, int layersrate)
{
    const double h = area.height();
    ScrollSetting setting;
    setting.minimum = std::min(0, truncint((layersrate / 2 + h) / -10));
    setting.maximum = 0;
    setting.pagestep = truncint(h / -10);
    setting.value = truncint((area.y() + h) / -10);
    return setting;
}

std::optional<QRectF> areafortimescroll(const QRectF& area, int value)
{
    if (value == truncint(area.x() * 10))
        return std::nullopt;
    QRectF moved = area;
    moved.moveLeft(value * 0.1);
    return moved;
}

std::optional<QRectF> areaforfreqscroll(const QRectF& area, int value)
{
    const double h = area.height();
    if (value == -truncint((area.y() + h) / 10))
        return std::nullopt;
    QRectF moved = area;
    moved.moveTop(-10.0 * value - h);
    return moved;
}

std::optional<QRectF> editdisplayedge(const QRectF& area, DisplayEdge edge, double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    double x = area.x(), y = area.y(), w = area.width(), h = area.height();
    const double low = y + h;
    switch (edge) {
    case DisplayEdge::start:
        if (truncint(value * 1000) == roundint(static_cast<float>(x * 1000)))
            return std::nullopt;
        w -= value - x;
        x = value;
        if (w <= 0)
            w = mindisplaylength;
        break;
    case DisplayEdge::end:
        if (truncint(value * 1000) == roundint((x + w) * 1000))
            return std::nullopt;
        w = value - x;
        if (w <= 0) {
            x = value - mindisplaylength;
            w = mindisplaylength;
        }
        break;
    case DisplayEdge::length:
        if (truncint(value * 1000) == truncint(w * 1000))
            return std::nullopt;
        w = std::max(value, mindisplaylength);
        break;
    case DisplayEdge::high:
        if (truncint(value) == roundint(y))
            return std::nullopt;
        y = value;
        h = low - value;
        if (-h <= 0)
            h = -mindisplayspan;
        break;
    case DisplayEdge::low:
        if (truncint(value) == roundint(low))
            return std::nullopt;
        h = value - y;
        if (-h <= 0) {
            y = value + mindisplayspan;
            h = -mindisplayspan;
        }
        break;
    case DisplayEdge::range: {
        if (truncint(value) == roundint(-h))
            return std::nullopt;
        const double span = std::max(value, mindisplayspan);
        y = low + span;
        h = -span;
        break;
    }
    }
    return QRectF(x, y, w, h);
}
