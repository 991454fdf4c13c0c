#include "posting/stop_signal.h"

#include <algorithm>

namespace qubopost::posting {

void StopSignal::Stop() {
    Raise();
    {
        // Taken so that a waiter between its test and its wait does not miss the wake-up.
        std::lock_guard lock(m_mutex);
    }
    m_wake.notify_all();
}

bool StopSignal::Wait(std::chrono::milliseconds duration,
                      const std::function<void(long long)>& countdown,
                      const std::function<bool()>& alsoStop, std::chrono::milliseconds tick) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + duration;
    long long shown = -1;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (Stopped() || (alsoStop && alsoStop())) return false;
        const auto now = Clock::now();
        if (now >= end) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        const long long seconds = (left.count() + 999) / 1000;
        if (countdown && seconds != shown) {
            shown = seconds;
            lock.unlock();
            countdown(seconds);
            lock.lock();
            continue;
        }
        m_wake.wait_for(lock, std::min(left, tick), [this] { return Stopped(); });
    }
}

}  // namespace qubopost::posting
