#include "bitmaptext.h"

int glyphcode(char32_t c)
{
    return c <= 0xFF ? int(c) : int('?');
}

QVector<GlyphQuad> glyphquads(QPointF pos, int size, const QString& text, double xpixel, double ypixel)
{
    QVector<GlyphQuad> quads;
    const QList<uint> codes = text.toUcs4();
    quads.reserve(codes.size());
    const double advance = 0.75 * size * xpixel;
    for (int i = 0; i < codes.size(); ++i) {
        const int c = glyphcode(codes[i]);
        const int col = c % 16, row = c / 16;
        GlyphQuad q;
        q.left = pos.x() + i * advance;
        q.right = q.left + advance;
        q.bottom = pos.y();
        q.top = pos.y() + size * ypixel;
        q.sleft = (col + 0.25) / 16;
        q.sright = (col + 1) / 16.0;
        q.tbottom = (row + 0.9375) / 16;
        q.ttop = (row + 0.0625) / 16;
        quads.append(q);
    }
    return quads;
}
