// Running a piece of code on the thread that owns a window.
#pragma once

#include <type_traits>
#include <utility>

#include <QMetaObject>
#include <QObject>
#include <QThread>

// Runs f on context's thread and returns its result: directly when called on that
// thread, otherwise as a queued call that the caller waits for. If the context is
// destroyed before the call is delivered, the call is dropped, the caller is released
// and gets a default value.
template <typename F>
auto CallOnThreadOf(QObject* context, F&& f) -> std::invoke_result_t<F&> {
    using Result = std::invoke_result_t<F&>;
    if (QThread::currentThread() == context->thread()) return f();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(context, [&f] { f(); }, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(
            context, [&f, &result] { result = f(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}
