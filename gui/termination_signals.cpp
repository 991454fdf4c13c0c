#include "gui/termination_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>

namespace qubopost::gui {

namespace {

// The write end of the pipe of the object in charge, for the handler.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads it");

// Runs on whichever thread the signal lands on: async-signal-safe calls only.
void OnTerminationSignal(int signal) {
    const int savedErrno = errno;
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // A full pipe already holds a request.
        [[maybe_unused]] const ssize_t written = write(fd, &number, 1);
    }
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int signal)> onRequest)
    : m_onRequest(std::move(onRequest)) {
    int ends[2];
    // Without a pipe the signals simply keep their action.
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_readEnd = ends[0];
    m_writeEnd = ends[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_readEnd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { OnReadable(); });
    m_previousWriteEnd = g_writeEnd.exchange(m_writeEnd);

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls of the other threads (a transfer, a pause) carry on.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction previous {};
        if (sigaction(kSignals[i], nullptr, &previous) != 0) continue;
        if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) continue;
        m_previous[i] = previous;
        m_caught[i] = sigaction(kSignals[i], &action, nullptr) == 0;
    }
    m_catching = true;
}

TerminationSignals::~TerminationSignals() {
    Release();
    m_notifier.reset();
    if (m_readEnd < 0) return;
    g_writeEnd.store(m_previousWriteEnd);
    close(m_readEnd);
    close(m_writeEnd);
}

void TerminationSignals::Release() {
    if (!m_catching) return;
    m_catching = false;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (m_caught[i]) sigaction(kSignals[i], &m_previous[i], nullptr);
        m_caught[i] = false;
    }
}

void TerminationSignals::OnReadable() {
    unsigned char first = 0;
    ssize_t n;
    do {
        n = read(m_readEnd, &first, 1);
    } while (n < 0 && errno == EINTR);
    if (n != 1) return;
    const bool request = m_catching;
    // Signals from now on have their own action; those that came with this one are part of
    // the same request.
    Release();
    unsigned char rest[64];
    while ((n = read(m_readEnd, rest, sizeof rest)) > 0 || (n < 0 && errno == EINTR)) {
    }
    if (!request) {
        // Caught before the release, handled after it: as if it came now.
        raise(first);
        return;
    }
    m_onRequest(first);
}

}  // namespace qubopost::gui
