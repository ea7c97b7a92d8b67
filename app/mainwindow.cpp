#include "mainwindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDial>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QSplashScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyleFactory>
#include <QToolBar>
#include <QToolButton>

#include "controller/spectrumgui.h"
#include "core/globals.h"
#include "core/log.h"
#include "editorkeys.h"
#include "panels/channelsgui.h"
#include "panels/historygui.h"
#include "panels/layersgui.h"
#include "qtoolbarext.h"
#include "sdk/interfaces.h"
#include "sessionfolder.h"
#include "splash.h"
#include "utilitywatch.h"
#include "view/displaypool.h"

QWidget* backgroundwidget = nullptr;
QDockWidget* historydockptr = nullptr;
QDockWidget* channelsdockptr = nullptr;
QDockWidget* layersdockptr = nullptr;
QAction* rewindaction = nullptr;
QAction* playclipboardaction = nullptr;

MainWindow::MainWindow() : QMainWindow(nullptr)
{
    setObjectName(QStringLiteral("MainWindow"));
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("background"));
    setCentralWidget(central);
    backgroundwidget = central;
    mainwindowptr = this;
}

MainWindow::MainWindow(QSplashScreen* splash) : QMainWindow(nullptr)
{
    setObjectName(QStringLiteral("MainWindow"));
    registerinterfacetypes();
    // Qt's own plugin folders (platform integration, image readers) stay.
    for (const char* folder : {"", "/Plugins", "/Plugins/Files", "/Plugins/Devices", "/Plugins/Tools",
                               "/Plugins/Filters"})
        QCoreApplication::addLibraryPath(rootpath + QLatin1String(folder));
    setWindowIcon(QIcon(QStringLiteral(":/stylesheets/icon.png")));
    setAcceptDrops(true);
    installutilitywatch(this);
    installeditorkeys(this);
    toolmodes = new QActionGroup(this);
    toolmodes->setExclusive(true);
    showprogress(splash, QStringLiteral(" : Initializing UI..."));

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("background"));
    setCentralWidget(central);
    backgroundwidget = central;
    mainwindowptr = this;

    createdocks();
    createcontrollers();
    createadvancedsettings();
    createaboutbox();
    createlogviewer();
    createactions();
    createtoolbars();
    createmenus();
    // The layer panel shows the two layer menus and builds its button bar from
    // two of the window's actions.
    layersgui->itemmenu = layeritemmenu;
    layersgui->emptymenu = layerlistmenu;
    layersgui->makebuttonbar(newlayeract, deletelayeract);
    createnolayerbox();

    showprogress(splash, QStringLiteral(" : Loading Plugins..."));
    loadplugins(splash);
    connectcontrollers();
    setstartvalues();
    applystyle();
    setContextMenuPolicy(Qt::NoContextMenu);
    setWindowModified(false);
    setWindowFilePath(QStringLiteral("Untitled.kvp"));
    restoredevices();
    cleansessionfolder(sessionpath, sessionmax);
    statusBar()->showMessage(tr("No project loaded"), 0);
    logmessage(QStringLiteral("initialization finished"));
    linkprotoolscheck();
    startwindow = nullptr;
}

MainWindow::~MainWindow()
{
    // A window destroyed without the exit sequence still takes its controllers along.
    if (ownscontrollers)
        deletecontrollers();
    // The tools' settings bars are ours; the plugin objects outlive the window.
    for (ToolInterface* tool : tooltoolbars) {
        delete tool->toolbar;
        tool->toolbar = nullptr;
    }
    if (mainwindowptr == this)
        mainwindowptr = nullptr;
    if (backgroundwidget && backgroundwidget->window() == this)
        backgroundwidget = nullptr;
    for (QDockWidget** dock : {&historydockptr, &channelsdockptr, &layersdockptr})
        if (*dock && (*dock)->parent() == this)
            *dock = nullptr;
    if (rewindaction && rewindaction->parent() == this)
        rewindaction = nullptr;
    if (playclipboardaction && playclipboardaction->parent() == this)
        playclipboardaction = nullptr;
}

void MainWindow::showprogress(QSplashScreen* splash, const QString& text)
{
    showsplashmessage(splash, QCoreApplication::applicationVersion() + text);
}

void MainWindow::createcontrollers()
{
    ownscontrollers = true;
    spectrumgui = new SpectrumGui(this);
    historygui = new HistoryGui(this);
    channelsgui = new ChannelsGui(this);
    layersgui = new LayersGui(this);
}

void MainWindow::showdevicenote(const QString& text)
{
    if (!devicenote) {
        if (text.isEmpty())
            return;
        // Beside the layer panel's line, which every pointer event rewrites.
        devicenote = new QLabel(this);
        devicenote->setObjectName(QStringLiteral("devicenote"));
        statusBar()->addPermanentWidget(devicenote);
    }
    devicenote->setText(text);
    devicenote->setVisible(!text.isEmpty());
}

void MainWindow::createnolayerbox()
{
    nolayerbox = new QMessageBox(QMessageBox::Question, tr("No layer selected"),
                                 tr("Attempt to write with no layer selected.<br/>Would you like to create a new layer ?"),
                                 QMessageBox::NoButton, this);
    QPushButton* yes = nolayerbox->addButton(tr("Yes"), QMessageBox::YesRole);
    nolayerbox->addButton(tr("No"), QMessageBox::NoRole);
    // A message box is modal by default; this one must never block: the user
    // may answer it, or go on and choose a layer instead.
    nolayerbox->setWindowModality(Qt::NonModal);
    links.add(yes, "clicked()", layersgui, QStringLiteral("LayersGui"), "NewLayer()");
    spectrumgui->nolayerbox = nolayerbox;
}

void MainWindow::connectcontrollers()
{
    const QString spectrum = QStringLiteral("SpectrumGui"), channels = QStringLiteral("ChannelsGui"),
                  history = QStringLiteral("HistoryGui"), layers = QStringLiteral("LayersGui");
    links.add(spectrumgui, "outtoolreset()", this, QStringLiteral("MainWindow"), "intoolreset()");
    links.add(spectrumgui, "outplayreset()", this, QStringLiteral("MainWindow"), "inplayreset()");
    links.add(spectrumgui, "outchannels(qint32)", channelsgui, channels, "inchannels(qint32)");
    links.add(spectrumgui, "outchanneldescription(qint32,QString)", channelsgui, channels,
              "inchanneldescription(qint32,QString)");
    links.add(spectrumgui, "outcurrentchannel(qint32)", channelsgui, channels, "incurrentchannel(qint32)");
    links.add(channelsgui, "outchannelactive(qint32,bool)", spectrumgui, spectrum, "inchannelactive(qint32,bool)");
    links.add(spectrumgui, "outbackuplayer(QPixmap,QString,layer*,layer*,layer*,QRectF)", historygui, history,
              "inbackuplayer(QPixmap,QString,layer*,layer*,layer*,QRectF)");
    links.add(spectrumgui, "outbackuplayer(QPixmap,QString,layer*,layer*,layer*,QRectF)", layersgui, layers,
              "SaveSession()");
    links.add(historygui, "outrestorelayer(layer*,layer*,QRectF)", spectrumgui, spectrum,
              "inrestorelayer(layer*,layer*,QRectF)");
    // Undo and Redo resize or replace layer files: the session file follows (after the restore).
    links.add(historygui, "outrestorelayer(layer*,layer*,QRectF)", layersgui, layers, "SaveSession()");
    links.add(historygui, "outdevicepause()", spectrumgui, spectrum, "indevicepause()");
    links.add(historygui, "outdevicepause()", spectrumgui, spectrum, "inrecordpending()");
    links.add(layersgui, "outrefreshlayers()", historygui, history, "inrefreshlayers()");
    links.add(layersgui, "outdellayers(layer*)", historygui, history, "indellayers(layer*)");
    links.add(layersgui, "outzoomselected()", spectrumgui, spectrum, "inzoomselected()");
    // Direct: the value behind the pointer is read as soon as the emission returns.
    links.add(layersgui, "outcalibrate(bool,bool,float,bool,bool,bool,float*)", spectrumgui, spectrum,
              "incalibrate(bool,bool,float,bool,bool,bool,float*)", Qt::DirectConnection);
    links.add(this, "dropUrl(QList<QUrl>)", layersgui, layers, "inDropUrl(QList<QUrl>)");
    links.connectall();
}

void MainWindow::setstartvalues()
{
    QSettings settings;
    volumedial->setValue(0);
    pausebox->setChecked(settings.value(QStringLiteral("pause"), true).toBool());
    scrollbox->setChecked(true);
    clipbox->setChecked(true);
    smartbox->setChecked(true);
    ffttypebox->setCurrentIndex(4);
    subwinbox->setChecked(false);
    fftsizebox->setCurrentIndex(5);
    fftoverlapbox->setCurrentIndex(1);
    multslider->setValue(18);
    gammaslider->setValue(20);
    dispsize->setValue(0);
    dispangle->setValue(180);
    gridbox->setChecked(true);
    bilinbox->setChecked(true);
    dispstart->setValue(0);
    dispend->setValue(10);
    displow->setValue(0);
    disphigh->setValue(22050);

    unittime = settings.value(QStringLiteral("unittime"), 0.0f).toFloat();
    unitfreq = settings.value(QStringLiteral("unitfreq"), -10.0f).toFloat();
    unitpow = settings.value(QStringLiteral("unitpow"), -20.0f).toFloat();
    unitphase = settings.value(QStringLiteral("unitphase"), -11.0f).toFloat();
    const auto check = [this](int group, int index) {
        if (index >= 0 && index < unitactions[group].size())
            unitactions[group].at(index)->setChecked(true);
    };
    checkunittime();
    if (unitfreq <= -10 && unitfreq >= -14 && unitfreq == int(unitfreq))
        check(1, -10 - int(unitfreq));
    if (unitpow <= -20 && unitpow >= -22 && unitpow == int(unitpow))
        check(2, -20 - int(unitpow));
    if (unitphase == -11)
        check(3, 0);
    else if (unitphase == -12)
        check(3, 1);
    else if (unitphase == -10)
        check(3, 2);
    layerstate(false, false, false);
}

void MainWindow::applystyle()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFile sheet(QStringLiteral(":/stylesheets/static.css"));
    qApp->setStyleSheet(sheet.open(QIODevice::ReadOnly) ? QString::fromLatin1(sheet.readAll()) : QString());
    QPalette palette = QApplication::palette();
    palette.setBrush(QPalette::Light, QBrush(QColor(QStringLiteral("darkGray"))));
    QApplication::setPalette(palette);
}

void MainWindow::restoredevices()
{
    QSettings settings;
    const QString playcategory = settings.value(QStringLiteral("playbackcategory"), QString()).toString();
    const QString playdescription = settings.value(QStringLiteral("playbackdescription"), QString()).toString();
    for (QAction* action : playbackdevices->actions()) {
        auto* device = action->data().value<DeviceInterface*>();
        if (!device)
            continue;
        const bool stored = device->category == playcategory && action->text() == playdescription;
        const bool fallback = playcategory.isEmpty() && device->category == QLatin1String("OpenAL");
        if (stored || fallback) {
            action->trigger();
            logmessage(QStringLiteral("Current playback device: %1/%2").arg(device->category, action->text()));
        }
    }
    const QString reccategory = settings.value(QStringLiteral("recordcategory"), QString()).toString();
    const QString recdescription = settings.value(QStringLiteral("recorddescription"), QString()).toString();
    for (QAction* action : recorddevices->actions()) {
        auto* device = action->data().value<DeviceInterface*>();
        if (device && device->category == reccategory && action->text() == recdescription)
            action->trigger();
    }
}

void MainWindow::on_fullscreen()
{
    QToolBar* bars[] = {filebar, editbar, devicebar, spectralbar};
    if (!fullscreen) {
        for (QDockWidget* dock : {historydock, channelsdock, layersdock})
            if (dock)
                dock->hide();
        for (QToolBar* bar : bars)
            if (bar)
                bar->setFixedHeight(0);
        statusBar()->hide();
        setWindowState(windowState() | Qt::WindowFullScreen);
        fullscreen = true;
        return;
    }
    for (QDockWidget* dock : {historydock, channelsdock, layersdock})
        if (dock)
            dock->show();
    // Back to the bars' natural height (a fixed height of the largest size would
    // make them as tall as the screen).
    for (QToolBar* bar : bars)
        if (bar) {
            bar->setMinimumHeight(0);
            bar->setMaximumHeight(QWIDGETSIZE_MAX);
        }
    statusBar()->show();
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    fullscreen = false;
}

void MainWindow::savegeometry()
{
    if (fullscreen || !toolmodes)
        return;
    QSettings settings;
    settings.setValue(QStringLiteral("maximized"), isMaximized());
    if (!isMaximized()) {
        settings.setValue(QStringLiteral("pos"), pos());
        settings.setValue(QStringLiteral("size"), size());
    }
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    savegeometry();
}

bool MainWindow::event(QEvent* event)
{
    // A repaint of the window draws the views: the display work steps aside
    // for it rather than share the cores with the renderer.
    if (event->type() != QEvent::UpdateRequest)
        return QMainWindow::event(event);
    const displaypool::Foreground painting;
    return QMainWindow::event(event);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    savegeometry();
}

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::OtherFocusReason);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    emit dropUrl(event->mimeData()->urls());
    event->acceptProposedAction();
}

void MainWindow::intoolreset()
{
    if (QAction* checked = toolmodes->checkedAction()) {
        checked->setChecked(false);
        toolsettings->setCurrentIndex(0);
    }
}

void MainWindow::inplayreset()
{
    if (playbutton && playmenu && !playmenu->actions().isEmpty())
        playbutton->setDefaultAction(playmenu->actions().first());
}
