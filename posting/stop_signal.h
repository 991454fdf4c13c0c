// The stop of a posting run and the one interruptible wait of the program (the pause between
// messages): the window's stop button, closing the window and SIGINT/SIGTERM of qubopost-cli
// all end up in Stop(), and every wait ends within a tick of it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace qubopost::posting {

class StopSignal {
public:
    // Asks the run to stop and wakes every wait. Not for signal handlers: they call Raise().
    void Stop();
    // From a signal handler: only sets the flag (waits notice it within a tick).
    void Raise() { __atomic_store_n(&m_flag, 1, __ATOMIC_RELEASE); }
    // A new run: not stopped.
    void Reset() { __atomic_store_n(&m_flag, 0, __ATOMIC_RELEASE); }
    bool Stopped() const { return __atomic_load_n(&m_flag, __ATOMIC_ACQUIRE) != 0; }
    // The flag as the mail library reads it (atomically, through a plain pointer).
    const int* Flag() const { return &m_flag; }

    // Waits `duration`, calling countdown(seconds left, rounded up) once at the start and
    // whenever that number changes. true when the whole duration passed; false on a stop
    // (at once, or within `tick` of a Raise() from a signal handler). An extra stop test
    // (another reason to end, such as the window closing) is consulted every tick too.
    bool Wait(std::chrono::milliseconds duration,
              const std::function<void(long long seconds)>& countdown = {},
              const std::function<bool()>& alsoStop = {},
              std::chrono::milliseconds tick = std::chrono::milliseconds(100));

private:
    int m_flag = 0;  // __atomic_* only
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

}  // namespace qubopost::posting
