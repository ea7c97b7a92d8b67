#include "endsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalpipe[2] = {-1, -1};
volatile std::sig_atomic_t signalled = 0;
std::function<void()> endaction;

void onsignal(int)
{
    signalled = 1;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::send(signalpipe[0], &byte, 1, MSG_DONTWAIT);
}

} // namespace

void catchendsignals()
{
    // Without the pipe the signal is still remembered; only the wake-up of a
    // running event loop is lost.
    if (signalpipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalpipe) != 0)
        signalpipe[0] = signalpipe[1] = -1;
    struct sigaction action = {};
    action.sa_handler = onsignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

bool endsignalled()
{
    return signalled != 0;
}

void setendaction(std::function<void()> act)
{
    static QSocketNotifier* notifier = nullptr;
    endaction = std::move(act);
    // A signal that an earlier action already took is not lost on this one.
    if (signalled && QCoreApplication::instance())
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [] {
                if (endaction)
                    endaction();
            },
            Qt::QueuedConnection);
    if (notifier || signalpipe[1] < 0 || !QCoreApplication::instance())
        return;
    notifier = new QSocketNotifier(signalpipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        // Signals that came in a burst are one request.
        char bytes[64];
        while (::recv(signalpipe[1], bytes, sizeof bytes, MSG_DONTWAIT) > 0) {
        }
        if (endaction)
            endaction();
    });
}
