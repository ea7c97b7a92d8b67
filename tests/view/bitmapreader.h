#pragma once
// Reads bitmap-font text back from a grabbed frame: for each character cell
// the pixels are compared with every glyph of the font as the view samples
// it (the same quad, the same linear filtering), and the glyph that matches
// best is taken. Text that was not drawn, or drawn garbled, reads otherwise.
#include <QImage>
#include <QPointF>
#include <QString>
#include <cmath>
#include <vector>

#include "view/labeltexts.h"

class BitmapReader
{
public:
    BitmapReader()
    {
        Q_INIT_RESOURCE(view);
        font = QImage(":/stylesheets/bitmapfont.png").convertToFormat(QImage::Format_RGB32);
        for (int c = 0x21; c < 0x7F; ++c)
            candidates.push_back(c);
        candidates.push_back(piglyph);
    }

    bool valid() const { return font.width() == 256 && font.height() == 256; }

    // `count` characters of size `size` whose first glyph has its bottom-left
    // corner at `corner` (pixels from the frame's left and top edges). Blank
    // cells read as ' ', π as the font's π character.
    QString read(const QImage& frame, QPointF corner, int size, int count) const
    {
        QString text;
        const double advance = 0.75 * size;
        for (int i = 0; i < count; ++i) {
            const double left = corner.x() + i * advance, top = corner.y() - size;
            std::vector<QPoint> pixels;
            std::vector<double> seen;
            for (int y = int(std::floor(top)); y <= int(std::ceil(corner.y())); ++y)
                for (int x = int(std::floor(left)); x <= int(std::ceil(left + advance)); ++x)
                    if (inside(x + 0.5, left, left + advance) && inside(y + 0.5, top, corner.y())
                        && frame.rect().contains(x, y)) {
                        pixels.push_back(QPoint(x, y));
                        const QRgb p = frame.pixel(x, y);
                        seen.push_back(std::max({qRed(p), qGreen(p), qBlue(p)}));
                    }
            text.append(best(pixels, seen, left, top, advance, size));
        }
        return text;
    }

    // Brightness the glyph of `code` has at pixel centre (x, y) of a cell
    // drawn with its top-left corner at (left, top), between 0 and 255.
    double glyph(int code, double x, double y, double left, double top, double advance, int size) const
    {
        const int col = code % 16, row = code / 16;
        const double s = (col + 0.25) / 16 + (x - left) / advance * (0.75 / 16);
        const double t = (row + 0.0625) / 16 + (y - top) / size * (0.875 / 16);
        return bilinear(s * 256 - 0.5, t * 256 - 0.5);
    }

private:
    QImage font;
    std::vector<int> candidates;

    static bool inside(double v, double low, double high) { return v > low + 0.05 && v < high - 0.05; }

    double texel(int x, int y) const
    {
        if (x < 0 || y < 0 || x > 255 || y > 255)
            return 0;
        return qGray(font.pixel(x, y));
    }

    double bilinear(double u, double v) const
    {
        const int x = int(std::floor(u)), y = int(std::floor(v));
        const double fx = u - x, fy = v - y;
        return (texel(x, y) * (1 - fx) + texel(x + 1, y) * fx) * (1 - fy)
               + (texel(x, y + 1) * (1 - fx) + texel(x + 1, y + 1) * fx) * fy;
    }

    QChar best(const std::vector<QPoint>& pixels, const std::vector<double>& seen, double left, double top,
               double advance, int size) const
    {
        const size_t n = seen.size();
        double low = 255, high = 0, mean = 0;
        for (double v : seen) {
            low = std::min(low, v);
            high = std::max(high, v);
            mean += v / double(n);
        }
        if (n == 0 || high - low < 12)
            return QChar(u' ');
        int bestcode = '?';
        double bestscore = -2;
        for (int code : candidates) {
            std::vector<double> expected(n);
            double emean = 0;
            for (size_t k = 0; k < n; ++k) {
                expected[k] = glyph(code, pixels[k].x() + 0.5, pixels[k].y() + 0.5, left, top, advance, size);
                emean += expected[k] / double(n);
            }
            double sxy = 0, sxx = 0, syy = 0;
            for (size_t k = 0; k < n; ++k) {
                sxy += (seen[k] - mean) * (expected[k] - emean);
                sxx += (seen[k] - mean) * (seen[k] - mean);
                syy += (expected[k] - emean) * (expected[k] - emean);
            }
            const double score = sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : -1;
            if (score > bestscore) {
                bestscore = score;
                bestcode = code;
            }
        }
        return QChar(char16_t(bestcode));
    }
};
