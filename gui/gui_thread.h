// Running a piece of code on the thread that owns a window.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace qubopost::gui {

namespace gui_thread_detail {

// Qt's event queue hands a queued call over safely, but inside Qt, out of sight of the
// thread checkers (Qt is not built with them). Both sides of each hand-over also pass
// through this mutex, so that the checkers see it too; it is held only for an instant.
inline std::mutex& HandOffMutex() {
    static std::mutex mutex;
    return mutex;
}

// The caller's side of a queued call.
struct CallState {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

// Owned by the queued functor alone: when the functor is gone, whether it ran or its
// event was dropped with a destroyed context, the waiting caller is woken.
class Release {
public:
    explicit Release(std::shared_ptr<CallState> state) : m_state(std::move(state)) {}
    Release(const Release&) = delete;
    Release& operator=(const Release&) = delete;
    ~Release() {
        {
            std::lock_guard lock(m_state->mutex);
            m_state->done = true;
        }
        m_state->finished.notify_all();
    }

private:
    std::shared_ptr<CallState> m_state;
};

}  // namespace gui_thread_detail

// Queues f to run on context's thread; returns at once. f is dropped unrun if the
// context is destroyed first.
template <typename F>
void PostToThreadOf(QObject* context, F&& f) {
    using gui_thread_detail::HandOffMutex;
    std::lock_guard handOff(HandOffMutex());
    QMetaObject::invokeMethod(
        context,
        [f = std::forward<F>(f)]() mutable {
            { std::lock_guard handOff(HandOffMutex()); }
            f();
        },
        Qt::QueuedConnection);
}

// Runs f on context's thread and returns its result: directly when called on that
// thread, otherwise as a queued call that the caller waits for. If the context is
// destroyed before the call is delivered, f does not run and the caller gets a default
// value instead of waiting forever.
template <typename F>
auto CallOnThreadOf(QObject* context, F&& f) -> std::invoke_result_t<F&> {
    using Result = std::invoke_result_t<F&>;
    if (QThread::currentThread() == context->thread()) return f();

    using namespace gui_thread_detail;
    auto state = std::make_shared<CallState>();
    std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> result{};
    PostToThreadOf(context, [&f, &result, release = std::make_shared<Release>(state)] {
        if constexpr (std::is_void_v<Result>) {
            f();
            result = true;
        } else {
            result.emplace(f());
        }
    });
    std::unique_lock lock(state->mutex);
    state->finished.wait(lock, [&] { return state->done; });
    if constexpr (!std::is_void_v<Result>) return result ? std::move(*result) : Result{};
}

}  // namespace qubopost::gui
