// The grid over the spectrogram (time and frequency lines in the display
// units, with their labels), the phase-velocity warning, and the bitmap text
// that every text of the view is drawn with. No system font and no QPainter:
// text is a row of textured quads, which every capability tier can draw.
#include <QOpenGLFunctions_2_1>

#include "bitmaptext.h"
#include "core/globals.h"
#include "glchannel.h"
#include "glconstants.h"
#include "gridmarks.h"

double GLChannel::xpixel() const
{
    return width() > 0 ? displayarea.width() / width() : 0;
}

double GLChannel::ypixel() const
{
    return height() > 0 ? -displayarea.height() / height() : 0;
}

void GLChannel::inrendertext(QPointF pos, qint32 size, QString text)
{
    if (!glready || !gl)
        return;
    gl->glActiveTexture(GL_TEXTURE0);
    gl->glEnable(GL_TEXTURE_2D);
    gl->glBindTexture(GL_TEXTURE_2D, fonttexture);
    const QVector<GlyphQuad> quads = glyphquads(pos, size, text, xpixel(), ypixel());
    if (!quads.isEmpty()) {
        gl->glBegin(GL_QUADS);
        for (const GlyphQuad& q : quads) {
            gl->glTexCoord2d(q.sleft, q.tbottom);
            gl->glVertex2d(q.left, q.bottom);
            gl->glTexCoord2d(q.sright, q.tbottom);
            gl->glVertex2d(q.right, q.bottom);
            gl->glTexCoord2d(q.sright, q.ttop);
            gl->glVertex2d(q.right, q.top);
            gl->glTexCoord2d(q.sleft, q.ttop);
            gl->glVertex2d(q.left, q.top);
        }
        gl->glEnd();
    }
    gl->glBindTexture(GL_TEXTURE_2D, 0);
}

void GLChannel::paintgrid()
{
    glReport("paintGL grid start");
    worldcoordinates();
    const bool full = fulltier();
    const double left = displayarea.x(), right = displayarea.x() + displayarea.width();
    const double top = displayarea.y(), bottom = displayarea.y() + displayarea.height();
    const double px = xpixel(), py = ypixel();

    // Lines lighten what lies below them, so they show on bright and dark alike.
    if (full) {
        gl->glEnable(GL_BLEND);
        gl->glBlendEquation(GL_FUNC_ADD);
        gl->glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE);
    }
    const QVector<GridMark> times = timegridmarks(displayarea, unittime, samplerate, fftsize, fftoverlap);
    const QVector<GridMark> freqs = freqgridmarks(displayarea, height(), unitfreq, samplerate, fftsize);
    gl->glBegin(GL_LINES);
    for (const GridMark& m : times) {
        gl->glColor3d(m.grey, m.grey, m.grey);
        gl->glVertex2d(m.position, bottom);
        gl->glVertex2d(m.position, top);
    }
    for (const GridMark& m : freqs) {
        gl->glColor3d(m.grey, m.grey, m.grey);
        gl->glVertex2d(left, m.position);
        gl->glVertex2d(right, m.position);
    }
    gl->glEnd();
    gl->glColor3d(1, 1, 1);

    // Labels lie on a dark backing made of their own black glyph cells.
    gl->glDisable(GL_BLEND);
    if (full) {
        gl->glEnable(GL_BLEND);
        gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl->glColor4d(0.8, 0.8, 0.8, 0.66);
    } else {
        gl->glColor3d(0.5, 0.5, 0.5);
    }
    for (const GridMark& m : times)
        inrendertext(QPointF(m.position - 4 * m.label.size() * px, bottom + 2 * py), 9, m.label);
    for (const GridMark& m : freqs)
        inrendertext(QPointF(right - 7 * m.label.size() * px, m.position - 4 * py), 9, m.label);

    if (phase && phasecolumnsperwindow(texarea, texres, samplerate, fftsize) < 2) {
        gl->glColor3d(hover ? 1.0 : 0.5, 0, 0);
        const QString warning = tr("Zoom time to display phase velocity");
        const QPointF centre = displayarea.center();
        inrendertext(QPointF(centre.x() - (warning.size() * 9 / 2) * px, centre.y() - 6 * py), 12, warning);
    }
    gl->glDisable(GL_BLEND);
    glReport("paintGL grid end");
}
