#include "BootClockTimer.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace veltrin {

namespace {

timespec toTimespec(std::chrono::milliseconds time)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time);
    timespec value {};
    value.tv_sec = time_t(seconds.count());
    value.tv_nsec = long(std::chrono::nanoseconds(time - seconds).count());
    return value;
}

} // namespace

BootClockTimer::BootClockTimer(QObject* parent)
    : ContinuousTimer(parent)
    , m_fd(::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC))
{
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &BootClockTimer::expired);
}

BootClockTimer::~BootClockTimer()
{
    delete m_notifier; // before the descriptor it watches
    if (m_fd >= 0)
        ::close(m_fd);
}

std::chrono::milliseconds BootClockTimer::now() const
{
    timespec time {};
    ::clock_gettime(CLOCK_BOOTTIME, &time);
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec));
}

void BootClockTimer::arm(std::chrono::milliseconds deadline)
{
    if (m_fd < 0)
        return;
    itimerspec value {};
    value.it_value = toTimespec(std::max(deadline, std::chrono::milliseconds(0)));
    // An all-zero time would disarm: a deadline at the clock's start has passed anyway.
    if (value.it_value.tv_sec == 0 && value.it_value.tv_nsec == 0)
        value.it_value.tv_nsec = 1;
    ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &value, nullptr);
}

void BootClockTimer::disarm()
{
    if (m_fd < 0)
        return;
    // Setting the time also clears an expiry not yet read, so nothing fires after this.
    const itimerspec value {};
    ::timerfd_settime(m_fd, 0, &value, nullptr);
}

void BootClockTimer::expired()
{
    std::uint64_t expirations = 0;
    ssize_t read = -1;
    do
        read = ::read(m_fd, &expirations, sizeof expirations);
    while (read < 0 && errno == EINTR);
    // Nothing to read: re-armed or disarmed after the descriptor became readable.
    if (read == sizeof expirations)
        Q_EMIT timeout();
}

} // namespace veltrin
