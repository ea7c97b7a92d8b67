#include "program.h"

#include <QApplication>
#include <QProgressDialog>
#include <QScreen>
#include <QSettings>
#include <QSplashScreen>
#include <QTimer>
#include <memory>

#include "controller/spectrumgui.h"
#include "core/log.h"
#include "endsignals.h"
#include "mainwindow.h"
#include "sessionlock.h"
#include "splash.h"
#include "tabletapplication.h"

namespace {

// Questions asked while the window is being built have nobody to answer
// them once the system asks to end: they are dismissed as Cancel.
void dismissquestion()
{
    if (QWidget* popup = QApplication::activePopupWidget())
        popup->close();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && !qobject_cast<QProgressDialog*>(modal))
        modal->close();
}

} // namespace

int runprogram(TabletApplication& app, const StartResult& start)
{
    // Asked to end before there is a window: nothing is open that could be lost.
    if (endsignalled()) {
        logmessage(QStringLiteral("session ended"));
        sessionlock().release();
        return 0;
    }
    setendaction(dismissquestion);
    std::unique_ptr<QSplashScreen> splash(makesplash());
    showsplashmessage(splash.get(), QCoreApplication::applicationVersion() + QStringLiteral(" : Loading..."));
    splash->show();

    auto* window = new MainWindow(splash.get());
    QSettings settings;
    const QPoint pos = settings.value(QStringLiteral("pos"), QPoint(0, 0)).toPoint();
    const QSize size = settings.value(QStringLiteral("size"), QSize(1280, 720)).toSize();
    const bool maximized = settings.value(QStringLiteral("maximized"), false).toBool();
    window->setMinimumSize(800, 500);
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QPoint at = visibleposition(pos, size, screens);
    window->move(at);
    window->resize(visiblesize(at, size, screens));
    if (maximized)
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    window->show();
    window->activateWindow();

    if (spectrumgui)
        QObject::connect(&app, SIGNAL(tabletEvent(QTabletEvent*)), spectrumgui, SIGNAL(outtabletEvent(QTabletEvent*)),
                         Qt::DirectConnection);
    QObject::connect(&app, &TabletApplication::sessionimport, window, &MainWindow::sessionimport);
    splash->finish(window);
    // A request from the system to end (logout, kill) closes the window the
    // way its close button does, so the project is closed (or left for
    // recovery) and the session log completed; one that came while the window
    // was being built does so as soon as the event loop runs.
    setendaction([window] { window->systemend(); });

    // The file argument and the start window are opened from the event loop,
    // where an end signal that arrives meanwhile waits for them to return.
    const bool startwindow = settings.value(QStringLiteral("showstartupwindow"), true).toBool();
    QTimer::singleShot(0, window, [window, file = start.fileargument, raw = start.rawfileargument, startwindow] {
        if (endsignalled())
            return;
        if (!raw.isEmpty())
            window->sessionimportraw(raw);
        else if (!file.isEmpty())
            window->sessionimport(file);
        else if (startwindow)
            window->showstartwindow();
    });

    const int result = app.exec();
    logmessage(QStringLiteral("session ended"));
    splash.reset();
    delete window;
    sessionlock().release();
    return result;
}
