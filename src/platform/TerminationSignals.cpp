#include "TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace veltrin {

namespace {

int signalSocket[2] = { -1, -1 };
std::atomic<bool> quitRequested = false;
static_assert(std::atomic<bool>::is_always_lock_free);

void handleSignal(int signal)
{
    // Only async-signal-safe calls here.
    if (quitRequested.exchange(true) && signal != SIGHUP) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSocket[0], &byte, 1);
}

} // namespace

bool TerminationSignals::install(QCoreApplication& application)
{
    // Close-on-exec, so that no child keeps the channel open; non-blocking, so that a full
    // buffer never blocks the handler.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalSocket) != 0)
        return false;
    auto* notifier = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [notifier] {
        notifier->setEnabled(false);
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalSocket[1], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action { };
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
    return true;
}

} // namespace veltrin
