#include "glchannel.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QMutexLocker>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLFunctions_2_1>
#include <QOpenGLShader>
#include <QOpenGLShaderProgram>
#include <QOpenGLVersionFunctionsFactory>
#include <QResizeEvent>
#include <QSurfaceFormat>
#include <QTimer>
#include <QVector4D>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/alignedmemory.h"
#include "core/globals.h"
#include "core/log.h"
#include "sdk/rounding.h"
#include "analysiswindow.h"
#include "glconstants.h"
#include "glshared.h"
#include "texbuffer.h"


namespace {



// A shader from its resource file, with `define` defined after its #version
// line when given.
QOpenGLShader* compileshader(QOpenGLShader::ShaderType type, const QString& file, const QByteArray& define = {})
{
    auto* shader = new QOpenGLShader(type);
    QFile source(":/shaders/" + file);
    QByteArray code = source.open(QIODevice::ReadOnly) ? source.readAll() : QByteArray();
    if (!define.isEmpty())
        code.insert(code.indexOf('\n') + 1, "#define " + define + "\n");
    shader->compileSourceCode(code);
    return shader;
}

QOpenGLShaderProgram* linkprogram(QOpenGLShader* vertex, QOpenGLShader* fragment)
{
    auto* program = new QOpenGLShaderProgram;
    if (vertex->isCompiled())
        program->addShader(vertex);
    if (fragment->isCompiled())
        program->addShader(fragment);
    program->link();
    return program;
}

void logshader(const char* name, QOpenGLShader* shader)
{
    if (!shader->isCompiled())
        logerror(QString("%1 compilation:\n%2").arg(name, shader->log()));
}

void logprogram(const char* name, QOpenGLShaderProgram* program)
{
    if (!program->isLinked())
        logerror(QString("%1 compilation:\n%2").arg(name, program->log()));
}

bool usable(QOpenGLShaderProgram* program)
{
    return program && program->isLinked();
}

} // namespace

GLShared glshared;

bool GLChannel::glsl = true;
bool GLChannel::fullext = true;
unsigned GLChannel::texformat = GL_ALPHA;
unsigned GLChannel::texinternalformat = GL_ALPHA16;
unsigned GLChannel::fonttexture = 0;
std::atomic<int> GLChannel::glerrorcount{0};

// ---------------------------------------------------------------- process set-up

void GLChannel::setdefaultformat()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setSwapInterval(1);
    QSurfaceFormat::setDefaultFormat(format);
}

void GLChannel::setforcesoft(bool on)
{
    glshared.forcesoft = on;
    if (on)
        qputenv("LIBGL_ALWAYS_SOFTWARE", "1");
}

bool GLChannel::forcesoft()
{
    return glshared.forcesoft;
}

bool GLChannel::probe()
{
    if (glshared.probed)
        return glshared.probeok;
    glshared.probed = true;
    Q_INIT_RESOURCE(view);

    QOffscreenSurface surface;
    surface.setFormat(QSurfaceFormat::defaultFormat());
    surface.create();
    QOpenGLContext context;
    context.setFormat(QSurfaceFormat::defaultFormat());
    if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface)) {
        glsl = fullext = false;
        texformat = GL_ALPHA;
        texinternalformat = GL_ALPHA16;
        return false;
    }
    glshared.probeok = true;
    QOpenGLFunctions* f = context.functions();
    auto text = [f](GLenum name) {
        const GLubyte* s = f->glGetString(name);
        return s ? QString::fromLatin1(reinterpret_cast<const char*>(s)) : QString();
    };
    logmessage(QString("GPU: %1 / %2").arg(text(GL_VENDOR), text(GL_RENDERER)));

    const QString ext = text(GL_EXTENSIONS);
    const bool npot = ext.contains("GL_ARB_texture_non_power_of_two");
    const bool frag = ext.contains("GL_ARB_fragment_shader");
    const bool fbo = ext.contains("GL_EXT_framebuffer_object") && f->hasOpenGLFeature(QOpenGLFunctions::Framebuffers);
    const bool flt = ext.contains("GL_ARB_texture_float") || ext.contains("GL_ARB_texture_rg");
    // Direct (hardware) rendering is what "forcesoft" turns off.
    const bool hwa = !glshared.forcesoft;
    glshared.anisotropic = ext.contains("GL_EXT_texture_filter_anisotropic")
                         || ext.contains("GL_ARB_texture_filter_anisotropic");

    if (!frag) {
        glsl = false;
        fullext = false;
    } else if (!(glsl && npot && flt && fbo && hwa)) {
        fullext = false;
    }

    if (glsl && fullext) {
        // The first float format that can be rendered into. Two components
        // are all that a texture holds (complex value; level and bin shift),
        // so four would double the largest memory of the process.
        struct Candidate
        {
            GLenum internal, upload;
        };
        const Candidate candidates[] = {
            {GL_RG32F, GL_RG}, {GL_RGBA32F, GL_RG}, {GL_LUMINANCE_ALPHA32F_ARB, GL_LUMINANCE_ALPHA}};
        texformat = 0;
        f->glEnable(GL_TEXTURE_2D);
        for (const Candidate& c : candidates) {
            GLuint tex = 0, fb = 0;
            f->glGenTextures(1, &tex);
            f->glBindTexture(GL_TEXTURE_2D, tex);
            f->glTexImage2D(GL_TEXTURE_2D, 0, GLint(c.internal), 100, 50, 0, c.upload, GL_FLOAT, nullptr);
            f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
            f->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
            f->glGenFramebuffers(1, &fb);
            f->glBindFramebuffer(GL_FRAMEBUFFER, fb);
            f->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
            const bool ok = f->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
            f->glBindFramebuffer(GL_FRAMEBUFFER, 0);
            f->glBindTexture(GL_TEXTURE_2D, 0);
            f->glDeleteTextures(1, &tex);
            f->glDeleteFramebuffers(1, &fb);
            if (ok) {
                texinternalformat = c.internal;
                texformat = c.upload;
                break;
            }
        }
        if (texformat == 0) {
            logerror("fullext reported, but no usable float format could be found - switching to limited support");
            fullext = false;
        }
        f->glGetError();
    }
    if (!fullext) {
        texformat = GL_ALPHA;
        texinternalformat = GL_ALPHA16;
        logerror(QString("Limited OpenGL support: HWA %1 NPOT %2 FLOAT %3 FBO %4 FRAG %5")
                     .arg(int(hwa))
                     .arg(int(npot))
                     .arg(int(flt))
                     .arg(int(fbo))
                     .arg(int(frag)));
    }
    const char* formatname = texinternalformat == GL_RGBA32F  ? "RGBA32F"
                             : texinternalformat == GL_RG32F ? "RG32F"
                             : texinternalformat == GL_LUMINANCE_ALPHA32F_ARB ? "LA32F"
                                                                              : "A16";
    logmessage(QString("OGL: v%1 / %2 texture format").arg(text(GL_VERSION), formatname));
    context.doneCurrent();
    return true;
}

// ---------------------------------------------------------------- construction

GLChannel::GLChannel(int channel, QOpenGLWidget* share, QWidget* parent)
    : QOpenGLWidget(parent), channel(channel)
{
    Q_UNUSED(share);
    mousecursor = QCursor();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setAttribute(Qt::WA_TabletTracking); // pen moves without a button pressed carry pressure too
    grabGesture(Qt::PanGesture);
    grabGesture(Qt::PinchGesture);
    grabGesture(Qt::SwipeGesture);
    for (int i = 0; i < 3; ++i) {
        boundlayers[i] = nullptr;
        texbuffers[i] = new TexBuffer;
        connect(texbuffers[i], &TexBuffer::outtexdata, this, &GLChannel::inupdatetex);
        drawtex[i] = 0;
        peaks[i] = nullptr;
    }
    setAcceptDrops(true);
    setCursor(Qt::BlankCursor);

    const bool ok = probe();
    if (channel == 0) {
        if (!fullext && ok)
            QTimer::singleShot(0, this, [this] { emit outglenabled(false); });
        if ((!ok || !fullext) && !glshared.warned) {
            glshared.warned = true;
            QTimer::singleShot(500, this, &GLChannel::showWarning);
        }
    }
}

GLChannel::~GLChannel()
{
    for (int i = 0; i < 3; ++i) {
        disconnect(texbuffers[i], &TexBuffer::outtexdata, this, &GLChannel::inupdatetex);
        delete texbuffers[i]; // stops and waits for a computation in progress
        texbuffers[i] = nullptr;
    }
    disconnect(contextwatch);
    releasegl();
    for (float*& p : peaks) {
        alignedfree(p);
        p = nullptr;
    }
}

void GLChannel::setupshared()
{
    if (sharedclaimed)
        return;
    sharedclaimed = true;
    if (glshared.users++ > 0)
        return;
    glReport("initializeGL 0 start");

    // The bitmap font: 256 x 256 pixels, uploaded as RGBA rows as they are.
    const QImage font = QImage(":/stylesheets/bitmapfont.png").convertToFormat(QImage::Format_RGBA8888);
    if (font.width() != 256 || font.height() != 256) {
        logerror(QString("bitmap font: expected 256 x 256 pixels, found %1 x %2").arg(font.width()).arg(font.height()));
    } else {
        gl->glEnable(GL_TEXTURE_2D);
        gl->glGenTextures(1, &fonttexture);
        gl->glBindTexture(GL_TEXTURE_2D, fonttexture);
        gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, font.constBits());
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
        gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
        if (glshared.anisotropic)
            gl->glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 4.0f);
        gl->glBindTexture(GL_TEXTURE_2D, 0);
    }

    if (glsl) {
        glReport("intializeGL limited start");
        glshared.vertex = compileshader(QOpenGLShader::Vertex, "vertex.vert");
        glshared.fmaplimited = compileshader(QOpenGLShader::Fragment, "fmaplimited.frag");
        glshared.pmaplimited = linkprogram(glshared.vertex, glshared.fmaplimited);
        logshader("vertex", glshared.vertex);
        logshader("fmaplimited", glshared.fmaplimited);
        logprogram("pmaplimited", glshared.pmaplimited);
        glReport("initializeGL limited end");
    }
    if (glsl && fullext) {
        glReport("intializeGL full start");
        glshared.fmap = compileshader(QOpenGLShader::Fragment, "fmap.frag");
        glshared.pmap = linkprogram(glshared.vertex, glshared.fmap);
        glshared.fmapcolor = compileshader(QOpenGLShader::Fragment, "fmap.frag", "MIXCOLOURS");
        glshared.pmapcolor = linkprogram(glshared.vertex, glshared.fmapcolor);
        glshared.fdisplace = compileshader(QOpenGLShader::Fragment, "fdisplace.frag");
        glshared.pdisplace = linkprogram(glshared.vertex, glshared.fdisplace);
        glshared.fcolor = compileshader(QOpenGLShader::Fragment, "fcolor.frag");
        glshared.pcolor = linkprogram(glshared.vertex, glshared.fcolor);
        logshader("fmap", glshared.fmap);
        logprogram("pmap", glshared.pmap);
        logshader("fmapcolor", glshared.fmapcolor);
        logprogram("pmapcolor", glshared.pmapcolor);
        logshader("fdisplace", glshared.fdisplace);
        logprogram("pdisplace", glshared.pdisplace);
        logshader("fcolor", glshared.fcolor);
        logprogram("pcolor", glshared.pcolor);
        gl->glGetError();
        glReport("initializeGL full end");
    }
    glReport("initializeGL 0 end");
}

void GLChannel::releaseshared()
{
    if (!sharedclaimed)
        return;
    sharedclaimed = false;
    if (--glshared.users > 0)
        return;
    QOpenGLShaderProgram** programs[] = {&glshared.pmaplimited, &glshared.pmap, &glshared.pmapcolor,
                                         &glshared.pdisplace, &glshared.pcolor};
    for (QOpenGLShaderProgram** p : programs) {
        delete *p;
        *p = nullptr;
    }
    QOpenGLShader** shaders[] = {&glshared.vertex,    &glshared.fmaplimited, &glshared.fmap,
                                 &glshared.fmapcolor, &glshared.fdisplace,   &glshared.fcolor};
    for (QOpenGLShader** s : shaders) {
        delete *s;
        *s = nullptr;
    }
    if (fonttexture)
        gl->glDeleteTextures(1, &fonttexture);
    fonttexture = 0;
}

// Frees what this view made in its context; the context is about to go away
// (the widget moves to another window, or is destroyed).
void GLChannel::releasegl()
{
    if (!glready || !gl)
        return;
    makeCurrent();
    for (unsigned& t : drawtex) {
        if (t)
            gl->glDeleteTextures(1, &t);
        t = 0;
    }
    for (unsigned* t : {&maptex, &displacetex}) {
        if (*t)
            gl->glDeleteTextures(1, t);
        *t = 0;
    }
    for (unsigned* b : {&mapfbo, &displacefbo}) {
        if (*b && glf)
            glf->glDeleteFramebuffers(1, b);
        *b = 0;
    }
    releaseshared();
    doneCurrent();
    glready = false;
    gl = nullptr;
    glf = nullptr;
}

void GLChannel::initializeGL()
{
    gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_2_1>(context());
    if (gl && !gl->initializeOpenGLFunctions())
        gl = nullptr;
    glf = context()->functions();
    if (!gl) {
        logerror("initializeGL: no OpenGL 2.1 compatibility functions in this context");
        return;
    }
    glready = true;
    disconnect(contextwatch);
    contextwatch = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GLChannel::releasegl,
                           Qt::DirectConnection);
    glReport("initializeGL start");
    framebuffersize = pixelsize(); // the toolkit makes the frame buffer at this size next
    setupshared();
    gl->glMatrixMode(GL_MODELVIEW);
    gl->glLoadIdentity();
    gl->glMatrixMode(GL_PROJECTION);
    glReport("initializeGL end");
}

QSize GLChannel::pixelsize() const
{
    const qreal r = devicePixelRatioF();
    return QSize(roundhalfup(width() * r), roundhalfup(height() * r));
}

unsigned GLChannel::screenfbo() const
{
    return defaultFramebufferObject();
}

void GLChannel::makepassbuffer(unsigned& texture, unsigned& fbo, int w, int h)
{
    if (texture) {
        gl->glDeleteTextures(1, &texture);
        glf->glDeleteFramebuffers(1, &fbo);
        texture = fbo = 0;
    }
    glf->glGenFramebuffers(1, &fbo);
    gl->glGenTextures(1, &texture);
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, w, h, 0, GL_RGBA, GL_FLOAT, nullptr);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    glf->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glf->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    const GLenum status = glf->glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE)
        logerror(QString("resizeGL framebuffer error: %1").arg(status, 0, 16));
    glf->glBindFramebuffer(GL_FRAMEBUFFER, screenfbo());
}

// The toolkit composes the view on the screen from a texture that it wraps
// around the view's frame buffer again only when the size changes. A frame
// buffer made anew at the size it had (a view shown again, which the splitter
// first gives no height and then its former one) would be composed from the
// deleted one: black until the window is resized. So the frame buffer is made
// again only for a new size that is not empty.
void GLChannel::resizeEvent(QResizeEvent* event)
{
    const qreal r = devicePixelRatioF();
    const QSize pixels(roundhalfup(event->size().width() * r), roundhalfup(event->size().height() * r));
    if (glready && defaultFramebufferObject() != 0 && (pixels.isEmpty() || pixels == framebuffersize)) {
        update();
        return;
    }
    if (!pixels.isEmpty())
        framebuffersize = pixels;
    QOpenGLWidget::resizeEvent(event);
}

void GLChannel::resizeGL(int w, int h)
{
    if (!glready)
        return;
    glReport("resizeGL start");
    const QSize px = pixelsize();
    gl->glViewport(0, 0, px.width(), px.height());
    if (w == 0 || h == 0 || px.isEmpty())
        return;
    gl->glEnable(GL_TEXTURE_2D);
    if (glsl && fullext) {
        makepassbuffer(maptex, mapfbo, px.width(), px.height());
        makepassbuffer(displacetex, displacefbo, px.width(), px.height());
    }
    // The workers compute at the view's device pixels.
    for (TexBuffer* worker : texbuffers)
        worker->intexrequest(displayarea, px, QRectF(), true);
    glReport("resizeGL end");
}

// ---------------------------------------------------------------- error report and warning

void GLChannel::glReport(QString description, qint32 glerrorcode)
{
    if (!glready || !gl || QOpenGLContext::currentContext() != context())
        return;
    const unsigned code = glerrorcode ? unsigned(glerrorcode) : gl->glGetError();
    if (code == 0)
        return;
    QString name;
    switch (code) {
    case 0x500: name = "GL_INVALID_ENUM"; break;
    case 0x501: name = "GL_INVALID_VALUE"; break;
    case 0x502: name = "GL_INVALID_OPERATION"; break;
    case 0x503: name = "GL_STACK_OVERFLOW"; break;
    case 0x504: name = "GL_STACK_UNDERFLOW"; break;
    case 0x505: name = "GL_OUT_OF_MEMORY"; break;
    case 0x506: name = "GL_INVALID_FRAMEBUFFER_OPERATION"; break;
    default: break;
    }
    ++glerrorcount;
    logerror(QString("gl error: 0x%1 %2 (%3)").arg(code, 0, 16).arg(name, description));
}

void GLChannel::glReport(QString description)
{
    glReport(description, 0);
}

void GLChannel::showWarning()
{
    QWidget* parent = mainwindowptr;
    if (!glshared.probeok) {
        logerror("No OpenGL support");
        QMessageBox::critical(parent, tr("No OpenGL support"),
                              tr("No OpenGL support. Try updating the driver, or change the graphic card."),
                              QMessageBox::Ok);
    } else if (glsl && !fullext) {
        QMessageBox::warning(parent, tr("Limited OpenGL 2.0 support"),
                             tr("Very limited OpenGL 2.0 support (try updating the driver, or change the graphic "
                                "card)."),
                             QMessageBox::Ok);
    } else if (!glsl && !fullext) {
        QMessageBox::critical(parent, tr("No OpenGL 2.0 support"),
                              tr("No OpenGL 2.0 support (No GLSL). Try updating the driver, or change the graphic "
                                 "card."),
                              QMessageBox::Ok);
    }
}

// ---------------------------------------------------------------- requests and results

void GLChannel::inbindlayer(layer* bindlayer, qint32 layertype)
{
    glReport("GLChannel::inbindlayer start");
    if (layertype >= 0 && layertype < 3) {
        boundlayers[layertype] = bindlayer;
        // Another slot may already show what the new layer reads.
        std::vector<TexBuffer*> others;
        for (int i = 0; i < 3; ++i)
            if (i != layertype)
                others.push_back(texbuffers[i]);
        texbuffers[layertype]->bindlayer(bindlayer, channel, others);
        if (bindlayer)
            samplerate = bindlayer->samplerate;
    }
    glReport("GLChannel::inbindlayer end");
}

void GLChannel::infftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap, bool fftsubwin)
{
    glReport(QString("GLChannel::infftparam(%1) start").arg(fftsize));
    // Kept as the workers keep them, so that hop and bin width are never zero.
    this->ffttype = ffttype;
    this->fftsize = clampfftsize(fftsize);
    this->fftoverlap = clampfftoverlap(fftoverlap);
    this->fftsubwin = fftsubwin;
    for (TexBuffer* worker : texbuffers)
        worker->infftparam(ffttype, this->fftsize, this->fftoverlap, fftsubwin);
    glReport("GLChannel::infftparam end");
}

void GLChannel::indisplayarea(QRectF area, QRectF updatearea, qint32 layertype)
{
    glReport("GLChannel::indisplayarea start");
    displayarea = area;
    intexrequest(layertype, area, pixelsize(), updatearea);
    update();
    glReport("GLChannel::indisplayarea end");
}

void GLChannel::indisplayarea(QRectF area, QRectF updatearea)
{
    indisplayarea(area, updatearea, 3);
}

void GLChannel::indisplayarea(QRectF area)
{
    indisplayarea(area, QRectF(), 3);
}

void GLChannel::intexrequest(qint32 layertype, QRectF area, QSize texres, QRectF updatearea)
{
    glReport("GLChannel::intexrequest start");
    for (int i = 0; i < 3; ++i) {
        if (layertype == 3 || layertype == i)
            texbuffers[i]->intexrequest(area, texres, updatearea, true);
        else if (layertype >= 0 && layertype < 3 && boundlayers[i] && boundlayers[i] == boundlayers[layertype])
            // Its result also fills the requested slot: it must not keep
            // columns that the change made stale.
            texbuffers[i]->invalidate(updatearea);
    }
    glReport("GLChannel::intexrequest end");
}

void GLChannel::intexrequest(qint32 layertype, QRectF area, QSize texres)
{
    intexrequest(layertype, area, texres, QRectF());
}

void GLChannel::inresetdrawtex(qint32 type)
{
    if (type < 0 || type > 2)
        return;
    glReport("inresetdrawtex start");
    if (drawtex[type] && glready) {
        const bool own = QOpenGLContext::currentContext() != context();
        if (own)
            makeCurrent();
        gl->glDeleteTextures(1, &drawtex[type]);
        if (own)
            doneCurrent();
    }
    drawtex[type] = 0;
    glReport("inresetdrawtex end");
}

void GLChannel::inupdatetex()
{
    bool any = false;
    for (TexBuffer* worker : texbuffers) {
        QMutexLocker result(&worker->resultmutex);
        any = any || (worker->resultlayer && worker->resultdata);
    }
    if (any)
        update();
}

void GLChannel::intexdata()
{
    if (!glready)
        return; // results wait for the first paint
    const bool own = QOpenGLContext::currentContext() != context();
    if (own)
        makeCurrent();
    glReport("intexdata start");
    gl->glEnable(GL_TEXTURE_2D);
    for (TexBuffer* worker : texbuffers) {
        QMutexLocker result(&worker->resultmutex);
        if (!worker->resultlayer)
            continue;
        for (int i = 0; i < 3; ++i) {
            if (boundlayers[i] != worker->resultlayer)
                continue;
            alignedfree(peaks[i]);
            peaks[i] = nullptr;
            const QSize res = worker->resultres;
            const bool empty = res.width() < 1 || res.height() < 1 || !worker->resultdata;
            // A texture of the same size takes the new values in place: no
            // storage made and cleared anew for every result.
            const bool reuse = !empty && drawtex[i] && texres[i] == res;
            if (drawtex[i] && !reuse) {
                gl->glDeleteTextures(1, &drawtex[i]);
                drawtex[i] = 0;
            }
            if (empty)
                continue;
            peaks[i] = alignedalloc(res.width() * int(sizeof(float)), 16);
            if (peaks[i])
                std::memcpy(peaks[i], worker->resultpeaks, size_t(res.width()) * sizeof(float));
            if (glsl)
                upload(i, worker, reuse);
            texarea[i] = worker->resultarea;
            texres[i] = res;
            drawnfresh[i] = drawtex[i] != 0;
        }
        // Consumed; the worker keeps its blocks for the next result.
        worker->resultlayer = nullptr;
    }
    glReport("intexdata end");
    if (own)
        doneCurrent();
}

QString GLChannel::teximagedescription(int slot, int columns, int rows) const
{
    const int channels = boundlayers[slot] ? boundlayers[slot]->channels : 0;
    return QString("intexdata teximage (%1 Hz/%2 channels/%3 sec/texres :%4x%5)")
        .arg(samplerate)
        .arg(channels)
        .arg(displayarea.width(), 0, 'g')
        .arg(columns)
        .arg(rows);
}

void GLChannel::texfilters(unsigned filter)
{
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(filter));
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
}

// The full tier keeps levels and bin shifts as they come; the limited one
// keeps levels alone, at 16 bits, scaled as its map expects.
void GLChannel::upload(int slot, TexBuffer* worker, bool reuse)
{
    const int ncol = worker->resultres.width(), nrow = worker->resultres.height();
    const float* data = worker->resultdata;
    std::vector<float> levels;
    GLenum internal = texinternalformat, format = texformat;
    if (!fullext) {
        levels.resize(size_t(ncol) * size_t(nrow));
        for (size_t j = 0; j < levels.size(); ++j)
            levels[j] = 16.0f * data[2 * j];
        data = levels.data();
        internal = GL_ALPHA16;
        format = GL_ALPHA;
    }
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (reuse) {
        gl->glBindTexture(GL_TEXTURE_2D, drawtex[slot]);
        gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, nrow, ncol, format, GL_FLOAT, data);
    } else {
        gl->glGenTextures(1, &drawtex[slot]);
        gl->glBindTexture(GL_TEXTURE_2D, drawtex[slot]);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GLint(internal), nrow, ncol, 0, format, GL_FLOAT, data);
        texfilters(fullext ? GL_LINEAR : GL_NEAREST);
        if (glshared.anisotropic)
            gl->glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 4.0f);
    }
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    const GLenum e = gl->glGetError();
    if (e) {
        glReport(teximagedescription(slot, ncol, nrow), qint32(e));
        gl->glDeleteTextures(1, &drawtex[slot]);
        drawtex[slot] = 0;
    }
}

// ---------------------------------------------------------------- display values

void GLChannel::insnap(int snap) { this->snap = snap; }
void GLChannel::indisplace(int displace) { this->displace = displace; }
void GLChannel::inmultiplier(int mult) { this->mult = mult; update(); }
void GLChannel::ingamma(int gamma) { this->gamma = gamma; update(); }
void GLChannel::inzebra(int zebra) { this->zebra = zebra; update(); }
void GLChannel::indisplacement(QPointF disp) { this->disp = disp; update(); }
void GLChannel::ingrid(int grid) { this->grid = grid; update(); }
void GLChannel::infiltering(int filt) { this->filt = filt; update(); }
void GLChannel::inphase(int phase) { this->phase = phase; update(); }
void GLChannel::inselection(QRectF selection) { this->selection = selection; }

void GLChannel::indevicecursor(double devicecursor, qint32 devicelayer, bool deviceselect)
{
    this->devicecursor = devicecursor;
    this->devicelayer = devicelayer;
    this->deviceselect = deviceselect;
}

void GLChannel::inmessage(QString message, QColor color)
{
    this->message = message;
    this->color = color;
}

void GLChannel::inmousecursor(QCursor mousecursor) { this->mousecursor = mousecursor; }

void GLChannel::inmouseevent(QPointF mousepos, float mousepressure)
{
    this->mousepos = mousepos;
    this->mousepressure = mousepressure;
    setFocus(Qt::OtherFocusReason);
}

void GLChannel::insnapnumeric(QPointF coord)
{
    if (displayarea.width() == 0 || displayarea.height() == 0)
        return;
    // Far-off positions stay far off the screen without overflowing it.
    constexpr int far = 1 << 20;
    const int x = std::clamp(roundhalfupclamped((coord.x() - displayarea.x()) * width() / displayarea.width()), -far, far);
    const int y = std::clamp(roundhalfupclamped((displayarea.y() - coord.y()) * height() / -displayarea.height()), -far, far);
    QCursor::setPos(mapToGlobal(QPoint(x, y)));
}

void GLChannel::updateGL() { update(); }
