// Requests to end the program by signal (SIGTERM, SIGINT, SIGHUP: kill, Ctrl+C, a logout or
// a closing terminal) turned into a call on the event loop of the thread that made this object,
// so that the program can close the way its own Close does instead of dying on the spot.
#pragma once

#include <signal.h>

#include <functional>
#include <iterator>
#include <memory>

class QSocketNotifier;

namespace qubopost::gui {

class TerminationSignals {
public:
    // The signals caught.
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

    // Catches the signals from now on; a signal that the process ignores (nohup, a background
    // job of a shell) stays ignored. The handler only writes the signal's number into a pipe.
    // The event loop then hands the request to onRequest, once: signals that arrived together
    // (a logout sends SIGTERM and SIGHUP at once) make one request, and before onRequest runs
    // the signals get back the action they had before, so that a signal while the program
    // is closing ends it at once.
    explicit TerminationSignals(std::function<void(int signal)> onRequest);
    // Release(), then stops watching.
    ~TerminationSignals();

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Gives the signals back the action they had before (normally: end the program). A signal
    // caught earlier and not yet handed on gets that action when the event loop comes to it.
    void Release();
    // True while the signals are caught.
    bool Catching() const { return m_catching; }

private:
    void OnReadable();

    std::function<void(int)> m_onRequest;
    int m_readEnd = -1;
    int m_writeEnd = -1;
    int m_previousWriteEnd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previous[std::size(kSignals)] = {};
    bool m_caught[std::size(kSignals)] = {};
    bool m_catching = false;
};

}  // namespace qubopost::gui
