#include "program.h"

#include <QSettings>
#include <QSocketNotifier>
#include <QSplashScreen>
#include <memory>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "controller/spectrumgui.h"
#include "core/log.h"
#include "mainwindow.h"
#include "sessionlock.h"
#include "splash.h"
#include "tabletapplication.h"

namespace {

int signalpipe[2] = {-1, -1};

void onendsignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalpipe[0], &byte, 1);
}

// A request from the system to end (logout, kill) closes the window the way its
// close button does, so the project is closed and the session log completed.
void closeonendsignals(MainWindow* window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalpipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalpipe[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        [[maybe_unused]] const auto got = ::read(signalpipe[1], &byte, 1);
        window->systemend();
    });
    struct sigaction action = {};
    action.sa_handler = onendsignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

} // namespace

int runprogram(TabletApplication& app, const StartResult& start)
{
    std::unique_ptr<QSplashScreen> splash(makesplash());
    showsplashmessage(splash.get(), QCoreApplication::applicationVersion() + QStringLiteral(" : Loading..."));
    splash->show();

    auto* window = new MainWindow(splash.get());
    QSettings settings;
    const QPoint pos = settings.value(QStringLiteral("pos"), QPoint(0, 0)).toPoint();
    const QSize size = settings.value(QStringLiteral("size"), QSize(1280, 720)).toSize();
    const bool maximized = settings.value(QStringLiteral("maximized"), false).toBool();
    window->setMinimumSize(800, 500);
    window->move(pos);
    window->resize(size);
    if (maximized)
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    window->show();
    window->activateWindow();

    if (spectrumgui)
        QObject::connect(&app, SIGNAL(tabletEvent(QTabletEvent*)), spectrumgui, SIGNAL(outtabletEvent(QTabletEvent*)),
                         Qt::DirectConnection);
    QObject::connect(&app, &TabletApplication::sessionimport, window, &MainWindow::sessionimport);
    splash->finish(window);
    closeonendsignals(window);

    if (!start.fileargument.isEmpty())
        window->sessionimport(start.fileargument);
    else if (settings.value(QStringLiteral("showstartupwindow"), true).toBool())
        window->showstartwindow();

    const int result = app.exec();
    logmessage(QStringLiteral("session ended"));
    splash.reset();
    delete window;
    sessionlock().release();
    return result;
}
