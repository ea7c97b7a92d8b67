#pragma once
// Layout of text in the views' bitmap font: one textured quad per character.
// The font is a 256 x 256 image of 16 x 16 cells of 16 x 16 pixels; the cell
// of character code c is column c mod 16, row c div 16 (row 0 at the top,
// texture coordinate t = 0). Each glyph is taken from 4 pixels right of its
// cell's left edge to the right edge and from 1 pixel below its top to 1
// pixel above its bottom, and drawn 0.75 x size wide and size high, so that
// neighbouring glyphs touch.
#include <QPointF>
#include <QString>
#include <QVector>

struct GlyphQuad
{
    // Edges in display coordinates (seconds, Hz); top lies above bottom.
    double left = 0, right = 0, bottom = 0, top = 0;
    // Texture coordinates of the left and right edge, the bottom and top.
    double sleft = 0, sright = 0, tbottom = 0, ttop = 0;
};

// The cell a character is drawn from: Latin-1 codes as they are, any other
// character as '?' (the font has no cells beyond 255).
int glyphcode(char32_t c);

// The quads of `text` with the first glyph's bottom-left corner at `pos`,
// `size` pixels high; one pixel is `xpixel` seconds wide and `ypixel` Hz high.
QVector<GlyphQuad> glyphquads(QPointF pos, int size, const QString& text, double xpixel, double ypixel);
