// The read-out box in the top-left corner of a channel view while a pointer
// position is known: channel and display mode, time and frequency at the
// pointer in the display units, and each layer slot's level (or phase
// velocity) there in the slot's colour; with it the controller's on-screen
// message, centred at the top.
#include <QOpenGLFunctions_2_1>

#include "core/globals.h"
#include "glchannel.h"
#include "glconstants.h"
#include "labeltexts.h"

void GLChannel::paintmouselabel()
{
    glReport("paintGL mouse label start");
    worldcoordinates();
    const double t = mousepos.x(), f = mousepos.y();
    if (t != unsettime && !(f < 0.1)) {
        const bool full = fulltier();
        const double left = displayarea.x(), top = displayarea.y();
        const double px = xpixel(), py = ypixel();
        const double dim = hover ? 1.0 : 0.5;
        auto setcolour = [this, dim](const QColor& c) {
            gl->glColor3d(c.redF() * dim, c.greenF() * dim, c.blueF() * dim);
        };
        auto row = [&](int below, const QString& text) {
            if (!text.isNull())
                inrendertext(QPointF(left + 2 * px, top - below * py), 10, text);
        };

        if (full) {
            gl->glEnable(GL_BLEND);
            gl->glBlendEquation(GL_FUNC_ADD);
            gl->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        gl->glColor4d(0, 0, 0, 0.35);
        gl->glBegin(GL_QUADS);
        gl->glVertex2d(left, top);
        gl->glVertex2d(left + 200 * px, top);
        gl->glVertex2d(left + 200 * px, top - 60 * py);
        gl->glVertex2d(left, top - 60 * py);
        gl->glEnd();
        // Glyphs add their light; their black cells add nothing.
        if (full)
            gl->glBlendFunc(GL_ONE, GL_ONE);

        if (!message.isEmpty()) {
            setcolour(color);
            const double x = displayarea.center().x() - (message.size() * 9 / 2) * px;
            inrendertext(QPointF(x, top - 12 * py), 12, message);
        }

        setcolour(Qt::white);
        row(10, readoutchannel(channel, disp.x()));
        row(20, readouttime(t, unittime, samplerate, fftsize, fftoverlap));
        row(30, readoutfreq(f, unitfreq, samplerate, fftsize));
        for (int k = 0; k < 3; ++k) {
            setcolour(slotcolor(k));
            if (pixelvalues[k] > 0)
                row(40 + 10 * k, phase ? readoutphase(k, pixelvalues[k], unitphase, f, samplerate, fftsize)
                                       : readoutlevel(k, pixelvalues[k], unitpow, mult, gamma));
        }
    }
    gl->glDisable(GL_BLEND);
    glReport("paintGL mouse label end");
}
