// Construction, the device thread and teardown of the controller, its view
// wiring and the small slots that belong to no other concern.
#include "spectrumgui.h"

#include <QGridLayout>
#include <QIcon>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QTabletEvent>

#include "app/mainwindow.h"
#include "app/qscrollbarext.h"
#include "core/buffer.h"
#include "core/log.h"
#include "devicethread.h"
#include "panels/layersgui.h"
#include "sdk/interfaces.h"
#include "view/glchannel.h"

QRectF selection(0, 0, 0, 0);
SpectrumGui* spectrumgui = nullptr;

namespace {

// The surface the controller lays its widgets on: the main window's central
// widget, made when the window has none yet.
QWidget* background(QWidget* mainwindow)
{
    auto* window = qobject_cast<QMainWindow*>(mainwindow);
    if (!window)
        return mainwindow;
    if (!window->centralWidget()) {
        auto* central = new QWidget(window);
        central->setObjectName(QStringLiteral("background"));
        window->setCentralWidget(central);
    }
    return window->centralWidget();
}

} // namespace

SpectrumGui::SpectrumGui(QWidget* mainwindow) : QThread(nullptr), mainwindow(mainwindow)
{
    spectrumgui = this;

    QWidget* surface = background(mainwindow);
    auto* layout = new QGridLayout(surface);
    splitter = new QSplitter(Qt::Vertical);
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);

    timescrollbar = new QScrollBarExt(Qt::Horizontal, surface);
    freqscrollbar = new QScrollBarExt(Qt::Vertical, surface);
    timescrollbar->setRange(0, 0);
    freqscrollbar->setRange(0, 0);
    connect(timescrollbar, &QScrollBar::valueChanged, this, &SpectrumGui::intimescroll);
    connect(freqscrollbar, &QScrollBar::valueChanged, this, &SpectrumGui::infreqscroll);
    connect(timescrollbar, &QScrollBarExt::wheel, this, &SpectrumGui::scrollbarzoom);
    connect(freqscrollbar, &QScrollBarExt::wheel, this, &SpectrumGui::scrollbarzoom);

    orientationbutton = new QPushButton(surface);
    orientationbutton->setFixedSize(16, 16);
    orientationbutton->setIcon(QIcon(QStringLiteral(":/icons/LayoutHorizontal.png")));
    orientationbutton->setShortcut(QKeySequence(Qt::Key_O));
    orientationbutton->setToolTip(tr("Orientation of Channels [o]"));
    connect(orientationbutton, &QPushButton::clicked, this, &SpectrumGui::changechannelsorientation);

    layout->addWidget(splitter, 0, 0);
    layout->addWidget(timescrollbar, 1, 0);
    layout->addWidget(freqscrollbar, 0, 1);
    layout->addWidget(orientationbutton, 1, 1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    const struct {
        QKeyCombination key;
        void (SpectrumGui::*slot)();
    } keys[] = {
        {QKeyCombination(Qt::Key_Escape), &SpectrumGui::escapeKey},
        {QKeyCombination(Qt::Key_PageDown), &SpectrumGui::fftsizekey},
        {QKeyCombination(Qt::Key_PageUp), &SpectrumGui::fftsizekey},
        {QKeyCombination(Qt::Key_Left), &SpectrumGui::timecursorkey},
        {QKeyCombination(Qt::Key_Right), &SpectrumGui::timecursorkey},
        {Qt::SHIFT | Qt::Key_Left, &SpectrumGui::panzoomkey},
        {Qt::SHIFT | Qt::Key_Up, &SpectrumGui::panzoomkey},
        {Qt::SHIFT | Qt::Key_Right, &SpectrumGui::panzoomkey},
        {Qt::SHIFT | Qt::Key_Down, &SpectrumGui::panzoomkey},
        {Qt::CTRL | Qt::Key_Left, &SpectrumGui::panzoomkey},
        {Qt::CTRL | Qt::Key_Up, &SpectrumGui::panzoomkey},
        {Qt::CTRL | Qt::Key_Right, &SpectrumGui::panzoomkey},
        {Qt::CTRL | Qt::Key_Down, &SpectrumGui::panzoomkey},
    };
    for (const auto& k : keys) {
        auto* shortcut = new QShortcut(QKeySequence(k.key), mainwindow);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, k.slot);
        shortcuts.append(shortcut);
    }

    devicetimer.setInterval(66);
    connect(&devicetimer, &QTimer::timeout, this, [this] { inupdatedevicetime(true); });
    verticalchannels = true;

    for (int i = 0; i < 3; ++i) {
        auto* buffer = new Buffer();
        slottable.buffer[i] = buffer;
        slottable.bound[i] = nullptr;
        connect(this, &SpectrumGui::outfftparam, buffer, &Buffer::infftparam);
        connect(this, &SpectrumGui::outselection, buffer, &Buffer::inselection);
    }

    // The views probe OpenGL when the first of them is made; the user may
    // have asked for software rendering, which also means the limited tier.
    if (QSettings().value(QStringLiteral("forcesoft"), false).toBool()) {
        logmessage(QStringLiteral("Software rendering forced by user"));
        GLChannel::setforcesoft(true);
    }

    firstview = makeview(0);
    splitter->addWidget(firstview);
    connectview(firstview);
    connect(firstview, &GLChannel::outglenabled, this, &SpectrumGui::inglenabled);
    firstview->hide();

    selection = QRectF(0, 0, 0, 0);

    start(QThread::InheritPriority);
    setPriority(QThread::HighPriority);
    // Device signals may be sent as soon as the constructor returns: the
    // object that receives them must exist by then.
    devicethreadready.acquire();
}

SpectrumGui::~SpectrumGui()
{
    // A device start returns once the stop flag is set. A device left open
    // (the project was never closed) is closed before the thread ends, so the
    // plugin releases what it holds; the waits are bounded so that a device
    // that never returns cannot hang the exit.
    devicetimer.stop();
    setstopflag(true);
    if (samplerate > 0) {
        closedevice(false);
        closedevice(true);
    }
    if (!waitdevice())
        logerror(QStringLiteral("Device thread still busy at exit"));
    quit();
    if (!wait(threadwaitms)) {
        logerror(QStringLiteral("Device thread did not end within %1 ms; terminating it")
                     .arg(threadwaitms));
        terminate();
        wait(threadwaitms);
    }
    (void)devicethread.load();

    // The first view outlives the controller (it belongs to the central
    // widget): no view may keep a layer that is deleted from here on.
    for (int i = 0; i < 3; ++i)
        emit outbindlayer(nullptr, i);
    deleteviews();

    // What the controller owns goes with it: the move and scale copy and the
    // clipboard layer, and with them their sample files.
    endmovescale();
    if (slottable.buffer[2])
        slottable.buffer[2]->bindlayer(nullptr);
    delete clipboardlayer;
    clipboardlayer = nullptr;

    for (int i = 0; i < 3; ++i) {
        Buffer* buffer = slottable.buffer[i];
        if (!buffer)
            continue;
        disconnect(this, nullptr, buffer, nullptr);
        delete buffer;
        slottable.buffer[i] = nullptr;
        slottable.bound[i] = nullptr;
    }

    qDeleteAll(shortcuts);
    shortcuts.clear();
    if (spectrumgui == this)
        spectrumgui = nullptr;
}

void SpectrumGui::run()
{
    {
        // Made here, so that it belongs to this thread: the queued device
        // operations then run here, one after the other.
        DeviceThread device;
        const QMetaObject::Connection links[] = {
            connect(this, &SpectrumGui::devicePlayOpen, &device, &DeviceThread::devicePlayOpen),
            connect(this, &SpectrumGui::devicePlayStart, &device, &DeviceThread::devicePlayStart),
            connect(this, &SpectrumGui::devicePlayClose, &device, &DeviceThread::devicePlayClose),
            connect(this, &SpectrumGui::deviceRecordOpen, &device, &DeviceThread::deviceRecordOpen),
            connect(this, &SpectrumGui::deviceRecordStart, &device, &DeviceThread::deviceRecordStart),
            connect(this, &SpectrumGui::deviceRecordClose, &device, &DeviceThread::deviceRecordClose),
            connect(&device, &DeviceThread::outdevicelog, this, &SpectrumGui::indevicelog),
            // A signal, not a call posted to this object from here: Qt delivers
            // it queued and drops it, under its own lock, once the controller
            // is gone, so a device that returns at exit answers nobody.
            connect(&device, &DeviceThread::outanswer, this,
                    [this](const QString& action, const QString& description, bool result) {
                        answerdevice({action, description, result});
                    }),
        };
        devicethread.store(&device);
        devicethreadready.release();
        exec();
        for (const auto& link : links)
            disconnect(link);
    }
    // Last, once the device object is gone: the destructor's load after
    // wait() takes everything above as done.
    devicethread.store(nullptr);
}

GLChannel* SpectrumGui::makeview(int channel)
{
    return new GLChannel(channel, channel == 0 ? nullptr : firstview, mainwindow);
}

GLChannel* SpectrumGui::view(int channel) const
{
    if (channel < 0 || channel >= splitter->count())
        return nullptr;
    return qobject_cast<GLChannel*>(splitter->widget(channel));
}

void SpectrumGui::connectview(GLChannel* v)
{
    connect(this, &SpectrumGui::outdisplayarea, v,
            qOverload<QRectF, QRectF, qint32>(&GLChannel::indisplayarea));
    connect(this, &SpectrumGui::outsnap, v, &GLChannel::insnap);
    connect(this, &SpectrumGui::outdisplace, v, &GLChannel::indisplace);
    connect(this, &SpectrumGui::outmultiplier, v, &GLChannel::inmultiplier);
    connect(this, qOverload<int>(&SpectrumGui::outgamma), v, &GLChannel::ingamma);
    connect(this, &SpectrumGui::outzebra, v, &GLChannel::inzebra);
    connect(this, &SpectrumGui::outdisplacement, v, &GLChannel::indisplacement);
    connect(this, &SpectrumGui::outgrid, v, &GLChannel::ingrid);
    connect(this, &SpectrumGui::outfiltering, v, &GLChannel::infiltering);
    connect(this, &SpectrumGui::outphase, v, &GLChannel::inphase);
    connect(this, &SpectrumGui::outselection, v, &GLChannel::inselection);
    connect(this, &SpectrumGui::outmouseevent, v, &GLChannel::inmouseevent);
    connect(this, &SpectrumGui::outmousecursor, v, &GLChannel::inmousecursor);
    connect(this, &SpectrumGui::outdevicecursor, v, &GLChannel::indevicecursor);
    connect(this, &SpectrumGui::outupdategl, v, &GLChannel::updateGL);
    connect(this, &SpectrumGui::outglmessage, v, &GLChannel::inmessage);
    connect(this, &SpectrumGui::outtabletEvent, v, &GLChannel::tabletEvent);
    connect(this, &SpectrumGui::outresetdrawtex, v, &GLChannel::inresetdrawtex);
    connect(this, &SpectrumGui::outfftparam, v, &GLChannel::infftparam);
    connect(this, &SpectrumGui::outbindlayer, v, &GLChannel::inbindlayer);
    connect(this, &SpectrumGui::outtexrequest, v,
            qOverload<qint32, QRectF, QSize, QRectF>(&GLChannel::intexrequest));

    connect(v, &GLChannel::outmultiplier, this, &SpectrumGui::inmultiplier);
    connect(v, &GLChannel::outgamma, this, qOverload<int>(&SpectrumGui::ingamma));
    connect(v, &GLChannel::outdisplacement, this, &SpectrumGui::indisplacement);
    connect(v, &GLChannel::outdisplayarea, this, &SpectrumGui::indisplayarea);
    connect(v, &GLChannel::dropUrl, this, &SpectrumGui::inDropUrl);
    connect(v, &GLChannel::outmouseevent, this, &SpectrumGui::inmouseevent);
}

void SpectrumGui::disconnectview(GLChannel* v)
{
    disconnect(this, nullptr, v, nullptr);
    disconnect(v, nullptr, this, nullptr);
}

void SpectrumGui::deleteviews()
{
    while (splitter && splitter->count() > 1) {
        QWidget* w = splitter->widget(1);
        if (auto* v = qobject_cast<GLChannel*>(w))
            disconnectview(v);
        delete w;
    }
}

layer* SpectrumGui::alllayers() const
{
    return layersgui ? layersgui->alllayers : nullptr;
}

void SpectrumGui::changechannelsorientation()
{
    if (verticalchannels) {
        orientationbutton->setIcon(QIcon(QStringLiteral(":/icons/LayoutVertical.png")));
        verticalchannels = false;
        splitter->setOrientation(Qt::Horizontal);
    } else {
        orientationbutton->setIcon(QIcon(QStringLiteral(":/icons/LayoutHorizontal.png")));
        splitter->setOrientation(Qt::Vertical);
        verticalchannels = true;
    }
}

void SpectrumGui::escapeKey()
{
    if (strokerunning) {
        keepforlater({QPointF(), 0, 0, -1, false, Qt::NoModifier, true});
        return;
    }
    if (transportmode >= 0) {
        indevicepause();
        timecursor = devicetime();
        emit outdevicecursor(timecursor, 3, false);
        transportaction = nullptr;
        transportmode = -1;
        emit outupdategl();
        if (layersgui)
            layersgui->inrefreshstatus();
        return;
    }
    if (tool || panzoommode >= 0 || selectionmode >= 0 || movescalemode >= 0 || displacemode != 0
        || timecursormode != 0) {
        finishstroke();
        notool();
        return;
    }
    auto* window = qobject_cast<MainWindow*>(mainwindow);
    if (window && window->isFullScreen()) {
        window->on_fullscreen();
        return;
    }
    if (layersgui)
        layersgui->NoItemClicked();
}

void SpectrumGui::inscroll(int value)
{
    scroll = value;
}

void SpectrumGui::inclipsolo(int value)
{
    clipsolo = value;
}

void SpectrumGui::insmartcursor(int value)
{
    smartcursor = value;
}

void SpectrumGui::inDropUrl(QList<QUrl> urlList)
{
    if (layersgui)
        layersgui->inDropUrl(urlList);
}

void SpectrumGui::notool()
{
    emit outtoolreset();
    cursor = QCursor(Qt::ArrowCursor);
    emit outmousecursor(cursor);
    cleanclipboard();
}
