#include "glformat.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSettings>
#include <QSurfaceFormat>

#include "core/log.h"

bool gldirectrendering = true;

void setupglformat()
{
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setSwapInterval(1);

    bool valid = false;
    {
        QOffscreenSurface surface;
        surface.setFormat(format);
        surface.create();
        QOpenGLContext probe;
        probe.setFormat(format);
        if (probe.create() && surface.isValid() && probe.makeCurrent(&surface)) {
            valid = true;
            probe.doneCurrent();
        }
    }

    const bool forcesoft = QSettings().value(QStringLiteral("forcesoft"), false).toBool();
    if (forcesoft)
        logmessage(QStringLiteral("Software rendering forced by user"));

    // Without a usable context, or when the user asks for it, the views run
    // without the accelerated tier; there is no overlay plane to ask for.
    gldirectrendering = valid && !forcesoft;
    QSurfaceFormat::setDefaultFormat(format);
}
