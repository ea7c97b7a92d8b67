#pragma once
// The OpenGL view of one channel of the project. It overlays the same channel
// of the three layer slots (0 mix, 1 current layer, 2 clipboard), each one
// computed by its own TexBuffer, in the slot colours. What it can draw depends
// on a capability tier chosen once for the whole process:
//   full     levels and bin shifts in float textures; map, displace and
//            colour passes through float frame buffers, zebra, device-cursor
//            area, level curves, cursor;
//   limited  levels in 16-bit alpha textures, one map pass;
//   none     nothing is drawn (no fragment shaders).
//
// Threads: a widget of the window's thread, where every call to it is made;
// its TexBuffers work on threads of their own and reach it by queued signal.
#include <QColor>
#include <QCursor>
#include <QList>
#include <QOpenGLWidget>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QUrl>
#include <atomic>

#include "core/layer.h"
#include "gridlines.h"
#include "wheelnotches.h"

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QFocusEvent;
class QKeyEvent;
class QMouseEvent;
class QResizeEvent;
class QOpenGLFunctions;
class QOpenGLFunctions_2_1;
class QOpenGLShader;
class QOpenGLShaderProgram;
class QTabletEvent;
class QWheelEvent;
class TexBuffer;

class GLChannel : public QOpenGLWidget
{
    Q_OBJECT
public:
    // Every view shares one context group (Qt::AA_ShareOpenGLContexts); the
    // share widget is accepted for the callers' sake.
    GLChannel(int channel, QOpenGLWidget* share, QWidget* parent);
    ~GLChannel() override;

    // Process set-up, before the application object exists: context sharing
    // and the default surface format (compatibility profile, swap interval 1).
    static void setdefaultformat();
    // Forces the limited tier and software rendering; call before the first
    // OpenGL context is made (before the probe).
    static void setforcesoft(bool on);
    static bool forcesoft();
    // Probes the OpenGL capabilities once with an offscreen context, decides
    // the tier and logs the GPU and format lines. The first view calls it; the
    // program entry may call it earlier. Returns false when no context could
    // be made.
    static bool probe();

    // Process-wide tier state, decided by probe() and read-only afterwards.
    static bool glsl;
    static bool fullext;
    static unsigned texformat;
    static unsigned texinternalformat;
    static unsigned fonttexture;
    // OpenGL errors that glReport has logged so far (read by the tests).
    static std::atomic<int> glerrorcount;

    bool glready = false;
    int channel = 0;
    QRectF displayarea;
    QRectF selection;
    double devicecursor = -2147418112.0;
    int devicelayer = -1;
    bool deviceselect = false;
    int samplerate = 0;
    int ffttype = 4;
    int fftsize = 0;
    int fftoverlap = 2;
    bool fftsubwin = false;
    int displace = 0;
    int mult = 24;
    int gamma = 50;
    int zebra = 0;
    QPointF disp;
    int grid = 1;
    int filt = 1;
    int phase = 0;
    QString message;
    QColor color;
    layer* boundlayers[3] = {nullptr, nullptr, nullptr};
    QRectF texarea[3];
    QSize texres[3] = {QSize(-1, -1), QSize(-1, -1), QSize(-1, -1)};
    TexBuffer* texbuffers[3] = {nullptr, nullptr, nullptr};
    unsigned drawtex[3] = {0, 0, 0};
    float* peaks[3] = {nullptr, nullptr, nullptr};
    unsigned maptex = 0;
    unsigned displacetex = 0;
    unsigned mapfbo = 0;
    unsigned displacefbo = 0;
    int snap = 0;
    bool hover = false;
    bool proximity = false;
    int buttons = 0;
    float mousepressure = 0;
    QPointF mousepos = QPointF(2147418112.0, 2147418112.0);
    float rowvalues[4096 * 3] = {};
    float columnvalues[4096 * 3] = {};
    float pixelvalues[3] = {};
    QCursor mousecursor;

public slots:
    void showWarning();
    void glReport(QString description, qint32 glerrorcode);
    void glReport(QString description);

    void inbindlayer(layer* bindlayer, qint32 layertype);
    void infftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap, bool fftsubwin);
    void indisplayarea(QRectF area, QRectF updatearea, qint32 layertype);
    void indisplayarea(QRectF area, QRectF updatearea);
    void indisplayarea(QRectF area);
    void intexrequest(qint32 layertype, QRectF area, QSize texres, QRectF updatearea);
    void intexrequest(qint32 layertype, QRectF area, QSize texres);
    void inresetdrawtex(qint32 type);
    void inupdatetex();
    void intexdata();

    // Display values kept for painting.
    void insnap(int snap);
    void indisplace(int displace);
    void inmultiplier(int mult);
    void ingamma(int gamma);
    void inzebra(int zebra);
    void indisplacement(QPointF disp);
    void ingrid(int grid);
    void infiltering(int filt);
    void inphase(int phase);
    void inselection(QRectF selection);
    void indevicecursor(double devicecursor, qint32 devicelayer, bool deviceselect);
    void inmessage(QString message, QColor color);
    void inmousecursor(QCursor mousecursor);
    void inmouseevent(QPointF mousepos, float mousepressure);
    void insnapnumeric(QPointF coord);

    // Draws text in the bitmap font with its first glyph's bottom-left corner
    // at pos (seconds, Hz), size pixels high, in the current colour and
    // blending; leaves texturing on and no texture bound.
    void inrendertext(QPointF pos, qint32 size, QString text);

    // Repaint request of the controller.
    void updateGL();
    // Also a slot: pen proximity events reach the application, which forwards
    // them to every view (a direct connection: only the event's type and
    // pressure are read, the event is not kept).
    void tabletEvent(QTabletEvent* event) override;

signals:
    void outmultiplier(int mult);
    void outgamma(int gamma);
    void outdisplacement(QPointF disp);
    void outdisplayarea(QRectF area);
    void outfftparam(qint32 ffttype, qint32 fftsize, qint32 fftoverlap);
    void outbindlayer(layer* bindlayer, qint32 layertype);
    void outmouseevent(QPointF mousepos, float mousepressure, int key, qint32 mousechannel, bool timecursorarea);
    void outglenabled(bool enabled);
    void dropUrl(QList<QUrl> urlList);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void resizeEvent(QResizeEvent* event) override;

    // Input: every gesture over the view becomes outmouseevent in seconds and
    // Hz; panning, the displacement drag and the wheel change the display here.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool event(QEvent* event) override;

private:
    QOpenGLFunctions_2_1* gl = nullptr;
    QOpenGLFunctions* glf = nullptr;
    bool sharedclaimed = false;
    QMetaObject::Connection contextwatch;
    WheelNotches wheelnotches;
    QSize framebuffersize; // device pixels of the frame buffer the toolkit made last
    // Slots whose texture holds a result not yet painted.
    bool drawnfresh[3] = {false, false, false};

    QSize pixelsize() const;
    unsigned screenfbo() const;
    void setupshared();
    void releaseshared();
    void releasegl();
    void makepassbuffer(unsigned& texture, unsigned& fbo, int w, int h);
    void upload(int slot, TexBuffer* worker, bool reuse);
    QString teximagedescription(int slot, int columns, int rows) const;
    void texfilters(unsigned filter);
    void slotcoordinates(double u[3][2], double v[3][2]) const;
    void clearpass();
    void drawslots(QOpenGLShaderProgram* program, unsigned magnification);
    void drawslotquad();
    void worldcoordinates();
    bool haspointer() const;
    // Time and frequency differences in widget pixels (frequency upwards),
    // rounded half up; 0 while the display area is empty.
    AxisScale xscale() const;
    AxisScale yscale() const;
    int xtopixels(double v) const;
    int ytopixels(double v) const;

    bool fulltier() const;
    // One pixel in seconds and in Hz (widget pixels, as the texts are sized).
    double xpixel() const;
    double ypixel() const;
    QPointF pixeltovalue(QPointF pixel) const;
    QPointF snapmouse(QPointF position) const;
    bool intimecursorarea(QPointF position) const;
    void dragdisplacement(QPointF position, int newbuttons);
    void opencontextmenu(QPoint global);
    QColor slotcolor(int slot) const;

    // The slot levels through `program`: pmap into the map frame buffer
    // (with the values under the pointer), or pmapcolor mixed in the slot
    // colours straight onto the screen.
    void paintfullmap(QOpenGLShaderProgram* program);
    bool pointerinside() const;
    void setslotcolours(QOpenGLShaderProgram* program) const;
    void paintfulldisplace();
    // Mixes the slot levels of `levels` (the map or its relief) in their colours.
    void paintfullcolor(unsigned levels);
    double reliefcopies() const;
    void paintzebra();
    void paintdevicecursorarea();
    void paintlimitedmap();
    void paintmouse();
    // Grid lines with their value labels and the phase-velocity warning; the
    // read-out box at the pointer with the on-screen message.
    void paintgrid();
    void paintmouselabel();
};
