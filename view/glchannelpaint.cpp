// The paint pipeline of a channel view: map, displace and colour passes (or
// the one limited pass), then zebra, device-cursor area, selection, device
// cursor and pointer over the spectrogram.
#include <QOpenGLFunctions>
#include <QOpenGLFunctions_2_1>
#include <QOpenGLShaderProgram>
#include <QPixmap>
#include <QVector3D>
#include <QVector4D>
#include <algorithm>
#include <cmath>

#include "core/globals.h"
#include "core/log.h"
#include "sdk/rounding.h"
#include "glchannel.h"
#include "glconstants.h"
#include "glshared.h"

namespace {

QVector3D rgb(const QColor& c)
{
    return QVector3D(float(c.redF()), float(c.greenF()), float(c.blueF()));
}

bool linked(QOpenGLShaderProgram* program)
{
    return program && program->isLinked();
}

} // namespace

void GLChannel::setslotcolours(QOpenGLShaderProgram* program) const
{
    program->setUniformValue("colormix", rgb(colormix));
    program->setUniformValue("colorselect", rgb(colorselect));
    program->setUniformValue("colorclipboard", rgb(colorclipboard));
}

QColor GLChannel::slotcolor(int slot) const
{
    return slot == 0 ? colormix : slot == 1 ? colorselect : colorclipboard;
}

bool GLChannel::haspointer() const
{
    return mousepos.x() != 2147418112.0 && mousepos.y() != 2147418112.0;
}

int GLChannel::xtopixels(double v) const
{
    return xscale().offset(v);
}

int GLChannel::ytopixels(double v) const
{
    return yscale().offset(v);
}

void GLChannel::worldcoordinates()
{
    const double left = displayarea.x(), right = displayarea.x() + displayarea.width();
    const double top = displayarea.y(), bottom = displayarea.y() + displayarea.height();
    gl->glMatrixMode(GL_PROJECTION);
    gl->glLoadIdentity();
    gl->glOrtho(left, right, bottom, top, 1, 0);
}

// Texture coordinates of the display edges in each slot's texture, so that
// texel centres lie on the column times and row frequencies of the result.
void GLChannel::slotcoordinates(double u[3][2], double v[3][2]) const
{
    const double left = displayarea.x(), right = displayarea.x() + displayarea.width();
    const double top = displayarea.y(), bottom = displayarea.y() + displayarea.height();
    for (int k = 0; k < 3; ++k) {
        const QRectF& a = texarea[k];
        const int ncol = texres[k].width(), nrow = texres[k].height();
        if (ncol < 1 || nrow < 1 || a.width() == 0 || a.height() == 0) {
            u[k][0] = u[k][1] = v[k][0] = v[k][1] = 0;
            continue;
        }
        u[k][0] = (left - a.x()) / a.width() + 1.0 / (2 * ncol);
        u[k][1] = (right - a.x()) / a.width() + 1.0 / (2 * ncol);
        const double low = a.y() + a.height();
        v[k][0] = (bottom - low) / -a.height() + 1.0 / (2 * nrow);
        v[k][1] = (top - low) / -a.height() + 1.0 / (2 * nrow);
    }
}

// The map steps of both tiers: the three slot textures on units 0 to 2, their
// multipliers (0 where a slot has no texture) and one quad over the viewport.
void GLChannel::drawslots(QOpenGLShaderProgram* program, unsigned magnification)
{
    program->setUniformValue("tex0", 0);
    program->setUniformValue("tex1", 1);
    program->setUniformValue("tex2", 2);
    program->setUniformValue("tex0mult", drawtex[0] ? 1.0f : 0.0f);
    program->setUniformValue("tex1mult", drawtex[1] ? 1.0f : 0.0f);
    program->setUniformValue("tex2mult", drawtex[2] ? 1.0f : 0.0f);
    const QSize px = pixelsize();
    for (int k = 2; k >= 0; --k) {
        gl->glActiveTexture(GL_TEXTURE0 + k);
        gl->glBindTexture(GL_TEXTURE_2D, drawtex[k]);
        if (drawtex[k]) {
            gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(magnification));
            gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
            gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
            // Texels per pixel: a result of the shown area has about one,
            // where plain filtering skips no texel and anisotropic filtering
            // only costs time. It pays where a texture is shown a few times
            // smaller, until its result comes; far smaller (after a zoom out)
            // it would cost a tap for every texel a pixel covers, seconds per
            // frame with some drivers, for a picture about to be replaced.
            const double columns = displayarea.width() / texarea[k].width() * texres[k].width() / px.width();
            const double rows = displayarea.height() / texarea[k].height() * texres[k].height() / px.height();
            const double shrink = std::max(std::fabs(columns), std::fabs(rows));
            if (glshared.anisotropic)
                gl->glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, shrink > 2 && shrink <= 8 ? 4.0f : 1.0f);
        }
    }
    drawslotquad();
    for (int k = 2; k >= 0; --k) {
        gl->glActiveTexture(GL_TEXTURE0 + k);
        gl->glBindTexture(GL_TEXTURE_2D, 0);
    }
}

void GLChannel::drawslotquad()
{
    double u[3][2], v[3][2];
    slotcoordinates(u, v);
    gl->glMatrixMode(GL_PROJECTION);
    gl->glLoadIdentity();
    gl->glOrtho(0, 1, 0, 1, 1, 0);
    static const int corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    gl->glBegin(GL_QUADS);
    for (const auto& c : corners) {
        for (int k = 0; k < 3; ++k)
            gl->glMultiTexCoord2d(GL_TEXTURE0 + k, u[k][c[0]], v[k][c[1]]);
        gl->glVertex2d(c[0], c[1]);
    }
    gl->glEnd();
}

// Every pass covers the whole view and starts from black.
void GLChannel::clearpass()
{
    const QSize px = pixelsize();
    gl->glViewport(0, 0, px.width(), px.height());
    gl->glClearColor(0, 0, 0, 0);
    gl->glClear(GL_COLOR_BUFFER_BIT);
}

void GLChannel::paintGL()
{
    setCursor(Qt::BlankCursor);
    if (!glready)
        return;
    intexdata();
    glReport("paintGL start");
    const QSize px = pixelsize();
    // A degenerate area would make a singular projection; it shows nothing.
    const bool drawable = fftsize > 0 && px.width() >= 1 && px.height() >= 1 && glsl && displayarea.width() != 0
                          && displayarea.height() != 0;
    if (drawable) {
        if (fullext) {
            // A relief of one copy is the map clipped to 1, which the colour
            // pass does itself; without the values under the pointer the map
            // need not be kept either. Each pass saved is a full-view pass
            // and a wait of the renderer for the pass before.
            const bool relief = reliefcopies() > 1;
            if (!relief && !pointerinside() && linked(glshared.pmapcolor)) {
                glf->glBindFramebuffer(GL_FRAMEBUFFER, screenfbo());
                paintfullmap(glshared.pmapcolor);
            } else {
                glf->glBindFramebuffer(GL_FRAMEBUFFER, mapfbo);
                paintfullmap(glshared.pmap);
                if (relief) {
                    glf->glBindFramebuffer(GL_FRAMEBUFFER, displacefbo);
                    paintfulldisplace();
                }
                glf->glBindFramebuffer(GL_FRAMEBUFFER, screenfbo());
                paintfullcolor(relief ? displacetex : maptex);
            }
            paintzebra();
            paintdevicecursorarea();
        } else {
            paintlimitedmap();
        }
        if (grid)
            paintgrid();
        paintmouse();
        paintmouselabel();
        // When a new result first reaches the screen, and what it covers
        // (the launch-to-paint measurement reads these lines).
        for (int i = 0; i < 3; ++i)
            if (drawnfresh[i] && drawtex[i])
                logverbose(QString("Spectrogram drawn: channel %1, slot %2, %3 s to %4 s, %5 x %6 values")
                               .arg(channel)
                               .arg(i)
                               .arg(texarea[i].x(), 0, 'f', 3)
                               .arg(texarea[i].x() + texarea[i].width(), 0, 'f', 3)
                               .arg(texres[i].width())
                               .arg(texres[i].height()));
    } else {
        clearpass();
    }
    for (bool& fresh : drawnfresh)
        fresh = false;
    glReport("paintGL end");
}

// The pointer lies strictly inside the display area: the map pass reads the
// values under it.
bool GLChannel::pointerinside() const
{
    const double x = displayarea.x(), y = displayarea.y(), w = displayarea.width(), h = displayarea.height();
    const double t = mousepos.x(), f = mousepos.y();
    return haspointer() && x < t && t < x + w && y + h < f && f < y;
}

void GLChannel::paintfullmap(QOpenGLShaderProgram* p)
{
    glReport("paintGL full map start");
    const int W = pixelsize().width(), H = pixelsize().height();
    clearpass();
    gl->glDisable(GL_DEPTH_TEST);
    gl->glDisable(GL_BLEND);
    if (linked(p)) {
        p->bind();
        p->setUniformValue("texpower", QVector4D(1, 0, 0, 0));
        p->setUniformValue("texphase", texformat == GL_RG ? QVector4D(0, 1, 0, 0) : QVector4D(0, 0, 0, 1));
        p->setUniformValue("multiplier", float(std::pow(2.0, mult / 6.0)));
        p->setUniformValue("invgamma", float(10.0 / std::max(gamma, 1)));
        p->setUniformValue("phase", phase ? 1.0f : 0.0f);
        const bool colours = p == glshared.pmapcolor;
        if (colours)
            setslotcolours(p);
        drawslots(p, filt ? GL_LINEAR : GL_NEAREST);

        // The values under the pointer, for the level curves and the read-out.
        const double x = displayarea.x(), y = displayarea.y(), w = displayarea.width(), h = displayarea.height();
        const double t = mousepos.x(), f = mousepos.y();
        if (!colours && pointerinside()) {
            const int pxx = std::clamp(roundhalfup(t * W / w) - roundhalfup(W * x / w), 0, W - 1);
            const int pxy = std::clamp(roundhalfup(f * H / -h) - roundhalfup(H * (y + h) / -h), 0, H - 1);
            gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
            gl->glReadPixels(0, pxy, std::min(W, 4096), 1, GL_RGB, GL_FLOAT, rowvalues);
            gl->glReadPixels(pxx, 0, 1, std::min(H, 4096), GL_RGB, GL_FLOAT, columnvalues);
            gl->glReadPixels(pxx, pxy, 1, 1, GL_RGB, GL_FLOAT, pixelvalues);
        }
        for (float& value : pixelvalues)
            value = std::max(value, 0.0f);
        p->release();
    }
    glReport("paintGL full map end");
}

// The relief is drawn one copy per device pixel of its size, which is given
// in widget pixels like every mark over the spectrogram; the size is bounded
// so that a stray value cannot stall the view.
double GLChannel::reliefcopies() const
{
    return 1.0 + std::clamp(disp.x() * devicePixelRatioF(), 0.0, 8192.0);
}

void GLChannel::paintfulldisplace()
{
    glReport("paintGL full displace start");
    const int W = pixelsize().width(), H = pixelsize().height();
    clearpass();
    gl->glMatrixMode(GL_PROJECTION);
    gl->glLoadIdentity();
    gl->glOrtho(0, 1, 0, 1, 1, 0);
    gl->glEnable(GL_BLEND);
    gl->glBlendEquation(GL_MAX);
    gl->glBlendFunc(GL_ONE, GL_ONE);
    gl->glActiveTexture(GL_TEXTURE0);
    gl->glBindTexture(GL_TEXTURE_2D, maptex);
    QOpenGLShaderProgram* p = glshared.pdisplace;
    if (linked(p)) {
        p->bind();
        p->setUniformValue("maptex", 0);
        const double theta = disp.y() * 0.01745329252;
        const double n = reliefcopies();
        for (int b = 0; b < n; ++b) {
            const double dx = b * std::cos(theta) / W, dy = b * std::sin(theta) / H;
            const double lo = b / n, hi = (b + 1) / n;
            gl->glBegin(GL_QUADS);
            gl->glMultiTexCoord4d(GL_TEXTURE0, 0 - dx, 0 - dy, lo, hi);
            gl->glVertex2d(0, 0);
            gl->glMultiTexCoord4d(GL_TEXTURE0, 1 - dx, 0 - dy, lo, hi);
            gl->glVertex2d(1, 0);
            gl->glMultiTexCoord4d(GL_TEXTURE0, 1 - dx, 1 - dy, lo, hi);
            gl->glVertex2d(1, 1);
            gl->glMultiTexCoord4d(GL_TEXTURE0, 0 - dx, 1 - dy, lo, hi);
            gl->glVertex2d(0, 1);
            gl->glEnd();
        }
        p->release();
    }
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    gl->glBlendEquation(GL_FUNC_ADD);
    gl->glDisable(GL_BLEND);
    glReport("paintGL full displace end");
}

void GLChannel::paintfullcolor(unsigned levels)
{
    glReport("paintGL full color start");
    clearpass();
    gl->glMatrixMode(GL_PROJECTION);
    gl->glLoadIdentity();
    gl->glOrtho(0, 1, 0, 1, 1, 0);
    gl->glDisable(GL_BLEND);
    gl->glActiveTexture(GL_TEXTURE0);
    gl->glBindTexture(GL_TEXTURE_2D, levels);
    QOpenGLShaderProgram* p = glshared.pcolor;
    if (linked(p)) {
        p->bind();
        p->setUniformValue("tex", 0);
        setslotcolours(p);
        gl->glBegin(GL_QUADS);
        gl->glTexCoord2d(0, 0);
        gl->glVertex2d(0, 0);
        gl->glTexCoord2d(1, 0);
        gl->glVertex2d(1, 0);
        gl->glTexCoord2d(1, 1);
        gl->glVertex2d(1, 1);
        gl->glTexCoord2d(0, 1);
        gl->glVertex2d(0, 1);
        gl->glEnd();
        p->release();
    }
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    glReport("paintGL full color end");
}

void GLChannel::paintlimitedmap()
{
    glReport("paintGL limited map start");
    clearpass();
    gl->glDisable(GL_DEPTH_TEST);
    gl->glDisable(GL_BLEND);
    QOpenGLShaderProgram* p = glshared.pmaplimited;
    if (linked(p)) {
        p->bind();
        p->setUniformValue("multiplier16", float(std::pow(2.0, mult / 6.0) * 0.0625));
        p->setUniformValue("invgamma", float(10.0 / std::max(gamma, 1)));
        setslotcolours(p);
        drawslots(p, GL_NEAREST);
        p->release();
    }
    // This tier has no per-slot values at the pointer.
    for (float& value : pixelvalues)
        value = -1.0f;
    glReport("paintGL limited map end");
}

void GLChannel::paintzebra()
{
    glReport("paintGL zebra start");
    worldcoordinates();
    gl->glDisable(GL_DEPTH_TEST);
    gl->glEnable(GL_BLEND);
    gl->glBlendEquation(GL_FUNC_ADD);
    gl->glBlendFunc(GL_ONE, GL_ONE);
    // Diagonal stripes two pixels wide with a period of four.
    GLubyte pattern[128];
    static const GLubyte rows[4] = {0xCC, 0x66, 0x33, 0x99};
    for (int r = 0; r < 32; ++r)
        for (int b = 0; b < 4; ++b)
            pattern[r * 4 + b] = rows[r % 4];
    gl->glEnable(GL_POLYGON_STIPPLE);
    gl->glPolygonStipple(pattern);
    const double z = std::pow(2.0, zebra / 6.0);
    for (int k = 0; k < 3; ++k) {
        if (!drawtex[k] || !peaks[k])
            continue;
        const QRectF& a = texarea[k];
        const int ncol = texres[k].width();
        const QColor c = slotcolor(k);
        gl->glBegin(GL_QUADS);
        for (int j = 0; j < ncol; ++j) {
            double d = peaks[k][j] / z - 1;
            d = d > 1 ? 1.1 : d > 0 ? d + 0.1 : 0;
            if (d == 0)
                continue;
            const double t0 = a.x() + j * a.width() / ncol, t1 = a.x() + (j + 1) * a.width() / ncol;
            gl->glColor3d(c.redF() * d, c.greenF() * d, c.blueF() * d);
            gl->glVertex2d(t0, a.y() + a.height());
            gl->glVertex2d(t1, a.y() + a.height());
            gl->glVertex2d(t1, a.y());
            gl->glVertex2d(t0, a.y());
        }
        gl->glEnd();
    }
    gl->glBlendEquation(GL_FUNC_ADD);
    gl->glDisable(GL_POLYGON_STIPPLE);
    gl->glDisable(GL_BLEND);
    gl->glColor3d(1, 1, 1);
    glReport("paintGL zebra end");
}

void GLChannel::paintdevicecursorarea()
{
    if (!haspointer() || !hover)
        return;
    glReport("paintGL DeviceCursorArea grid start");
    const double left = displayarea.x(), right = displayarea.x() + displayarea.width();
    const double top = displayarea.y(), bottom = displayarea.y() + displayarea.height();
    const double hzpx = ypixel();
    worldcoordinates();
    gl->glEnable(GL_BLEND);
    gl->glBlendEquation(GL_FUNC_ADD);
    gl->glBlendFunc(GL_ONE, GL_ONE);
    GLubyte pattern[128];
    std::fill(pattern, pattern + 128, GLubyte(0xAA));
    gl->glEnable(GL_POLYGON_STIPPLE);
    gl->glPolygonStipple(pattern);
    // Distances, not offsets: a device cursor out of reach (or none at all)
    // must leave the bands dark rather than count as zero pixels away.
    const AxisScale x = xscale(), y = yscale();
    const double a = std::max(0.0, 2 - x.distance(std::fabs(mousepos.x() - devicecursor)) / 4.0);
    const double b = 2 - y.distance(mousepos.y() - bottom) / 7.0;
    const double c = 2 - y.distance(top - mousepos.y()) / 7.0;
    const double v = std::min(1.0, std::max({a, b, c}));
    gl->glBegin(GL_QUADS);
    gl->glColor3d(0.05 * v, 0.05 * v, 0.05 * v);
    gl->glVertex2d(left, top);
    gl->glVertex2d(right, top);
    gl->glColor3d(0.3 * v, 0.3 * v, 0.3 * v);
    gl->glVertex2d(right, top - 7 * hzpx);
    gl->glVertex2d(left, top - 7 * hzpx);
    gl->glColor3d(0.05 * v, 0.05 * v, 0.05 * v);
    gl->glVertex2d(left, bottom);
    gl->glVertex2d(right, bottom);
    gl->glColor3d(0.3 * v, 0.3 * v, 0.3 * v);
    gl->glVertex2d(right, bottom + 7 * hzpx);
    gl->glVertex2d(left, bottom + 7 * hzpx);
    gl->glEnd();
    gl->glDisable(GL_POLYGON_STIPPLE);
    gl->glDisable(GL_BLEND);
    gl->glColor3d(1, 1, 1);
    glReport("paintGL DeviceCursorArea grid end");
}

void GLChannel::paintmouse()
{
    glReport("paintGL mouse start");
    const bool full = fullext;
    const int W = pixelsize().width(), H = pixelsize().height();
    const double left = displayarea.x(), right = displayarea.x() + displayarea.width();
    const double top = displayarea.y(), bottom = displayarea.y() + displayarea.height();
    // Marks, offsets and the cursor are sized in widget pixels, as the input
    // measures the drag; the level curves step through the device pixels
    // that were read back.
    const double spx = xpixel(), hzpx = ypixel();
    const double devicespx = displayarea.width() / W, devicehzpx = -displayarea.height() / H;
    worldcoordinates();
    if (full) {
        gl->glEnable(GL_BLEND);
        gl->glBlendEquation(GL_FUNC_ADD);
        gl->glBlendFunc(GL_ONE, GL_ONE);
    }

    const bool hasselection = selection.width() != 0 || selection.height() != 0;
    if (hasselection) {
        const double sl = std::max(selection.x(), left), sr = std::min(selection.x() + selection.width(), right);
        const double st = std::min(selection.y(), top), sb = std::max(selection.y() + selection.height(), bottom);
        const double g = full ? 0.15 : 0.3;
        gl->glColor3d(g, g, g);
        gl->glEnable(GL_LINE_STIPPLE);
        gl->glLineStipple(1, 0x0F0F);
        gl->glBegin(GL_LINE_LOOP);
        gl->glVertex2d(sl, st);
        gl->glVertex2d(sr, st);
        gl->glVertex2d(sr, sb);
        gl->glVertex2d(sl, sb);
        gl->glEnd();
        gl->glLineStipple(1, 0xFFFF);
        gl->glDisable(GL_LINE_STIPPLE);
        if (full) {
            gl->glColor3d(0.07, 0.07, 0.07);
            gl->glRectd(sl, sb, sr, st);
        }
    }

    if (devicelayer >= 0) {
        if (devicelayer <= 2) {
            const QColor c = slotcolor(devicelayer);
            gl->glColor4d(c.redF() * 0.5, c.greenF() * 0.5, c.blueF() * 0.5, 0);
        } else {
            gl->glColor4d(0.5, 0.5, 0.5, 0);
        }
        double ct = top, cb = bottom;
        if (hasselection && deviceselect) {
            ct = selection.y();
            cb = selection.y() + selection.height();
        }
        const double x = devicecursor;
        gl->glBegin(GL_LINES);
        gl->glVertex2d(x, cb + 7 * hzpx);
        gl->glVertex2d(x, ct - 7 * hzpx);
        gl->glEnd();
        gl->glBegin(GL_TRIANGLES);
        gl->glVertex2d(x - 7 * spx, cb);
        gl->glVertex2d(x + 7 * spx, cb);
        gl->glVertex2d(x, cb + 7 * hzpx);
        gl->glVertex2d(x - 7 * spx, ct);
        gl->glVertex2d(x + 7 * spx, ct);
        gl->glVertex2d(x, ct - 7 * hzpx);
        gl->glEnd();
    }

    if (haspointer()) {
        const double t = mousepos.x(), f = mousepos.y();
        const double theta = disp.y() * 0.01745329252;
        // Offset of one unit of level, in seconds and Hz.
        const double ox = std::cos(theta) * disp.x() * spx, oy = std::sin(theta) * disp.x() * hzpx;
        if (full && disp.x() != 0) {
            const double g = hover ? 0.3 : 0.15;
            for (int k = 0; k < 3; ++k) {
                const QColor c = slotcolor(k);
                gl->glColor3d(c.redF() * g, c.greenF() * g, c.blueF() * g);
                gl->glBegin(GL_LINE_STRIP);
                for (int i = 0; i < std::min(W, 4096); ++i) {
                    const double l = rowvalues[i * 3 + k];
                    gl->glVertex2d(left + i * devicespx + l * ox, f + l * oy);
                }
                gl->glEnd();
                gl->glBegin(GL_LINE_STRIP);
                for (int j = 0; j < std::min(H, 4096); ++j) {
                    const double l = columnvalues[j * 3 + k];
                    gl->glVertex2d(t + l * ox, bottom + j * devicehzpx + l * oy);
                }
                gl->glEnd();
            }
        } else {
            const double g = hover ? 0.3 : 0.15;
            gl->glColor3d(g, g, g);
            gl->glBegin(GL_LINES);
            gl->glVertex2d(t, bottom);
            gl->glVertex2d(t, top);
            gl->glVertex2d(left, f);
            gl->glVertex2d(right, f);
            gl->glEnd();
        }
        gl->glColor3d(1, 1, 1);

        if (full) {
            const double g = hover ? 0.2 : 0.1;
            gl->glBegin(GL_LINES);
            for (int k = 0; k < 3; ++k) {
                const QColor c = slotcolor(k);
                const double l = std::min(pixelvalues[k], 1.0f);
                gl->glColor3d(c.redF() * g, c.greenF() * g, c.blueF() * g);
                gl->glVertex2d(t, f);
                gl->glVertex2d(t + l * ox, f + l * oy);
            }
            gl->glEnd();

            const QPixmap pixmap = mousecursor.pixmap();
            const double imagescale = pixmap.devicePixelRatio() > 0 ? 1.0 / pixmap.devicePixelRatio() : 1.0;
            const QImage image = pixmap.toImage().convertToFormat(QImage::Format_RGBA8888);
            if (!image.isNull()) {
                GLuint texture = 0;
                gl->glActiveTexture(GL_TEXTURE0);
                gl->glEnable(GL_TEXTURE_2D);
                gl->glGenTextures(1, &texture);
                gl->glBindTexture(GL_TEXTURE_2D, texture);
                gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
                gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, image.width(), image.height(), 0, GL_RGBA,
                                 GL_UNSIGNED_BYTE, image.constBits());
                texfilters(GL_LINEAR);
                const QPoint hot = mousecursor.hotSpot();
                for (int k = 0; k < 3; ++k) {
                    const QColor c = slotcolor(k);
                    const double s = hover ? 1.0 : 0.5;
                    const double l = std::min(pixelvalues[k], 1.0f);
                    const double x0 = t + l * ox - hot.x() * spx, y0 = f + l * oy + hot.y() * hzpx;
                    const double x1 = x0 + image.width() * imagescale * spx;
                    const double y1 = y0 - image.height() * imagescale * hzpx;
                    gl->glColor3d(c.redF() * s, c.greenF() * s, c.blueF() * s);
                    gl->glBegin(GL_QUADS);
                    gl->glTexCoord2d(0, 0);
                    gl->glVertex2d(x0, y0);
                    gl->glTexCoord2d(1, 0);
                    gl->glVertex2d(x1, y0);
                    gl->glTexCoord2d(1, 1);
                    gl->glVertex2d(x1, y1);
                    gl->glTexCoord2d(0, 1);
                    gl->glVertex2d(x0, y1);
                    gl->glEnd();
                }
                gl->glBindTexture(GL_TEXTURE_2D, 0);
                gl->glDeleteTextures(1, &texture);
                gl->glDisable(GL_TEXTURE_2D);
                gl->glColor3d(1, 1, 1);
            }
        }
    }
    gl->glDisable(GL_BLEND);
    glReport("paintGL mouse end");
}

