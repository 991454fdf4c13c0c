// Bounded waits for tests: a condition looked at every few milliseconds until it holds or
// the time is up, reported as a gtest assertion that names what was awaited.
//
//   ASSERT_TRUE(WaitFor([&] { return server.messages().size() == 1; }, 30s, "the first message"));
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>
#include <utility>

namespace qubopost::test {

// Time enough for anything a test waits for on a loaded machine (sanitizers included); a
// condition that needs longer is a fault.
inline constexpr std::chrono::seconds kWaitLimit{30};

// Looks soon after the start, then less and less often, down to every `slowest`; a test that
// acts the moment the condition holds passes a short one.
template <typename Condition>
::testing::AssertionResult WaitFor(
    Condition&& condition, std::chrono::milliseconds limit, std::string_view what,
    std::chrono::microseconds slowest = std::chrono::milliseconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto step = std::min<std::chrono::microseconds>(std::chrono::microseconds(200), slowest);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            if (condition()) break;
            return ::testing::AssertionFailure()
                   << "waited " << limit.count() << " ms for " << what;
        }
        std::this_thread::sleep_for(step);
        step = std::min<std::chrono::microseconds>(step * 2, slowest);
    }
    return ::testing::AssertionSuccess();
}

template <typename Condition>
::testing::AssertionResult WaitFor(Condition&& condition, std::string_view what) {
    return WaitFor(std::forward<Condition>(condition), kWaitLimit, what);
}

}  // namespace qubopost::test
