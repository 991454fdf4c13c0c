// Termination signals as requests to close: what the program does with kill, Ctrl+C and a
// hang-up while it catches them, and what it leaves behind when it stops catching them.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstring>
#include <vector>

#include "gui/termination_signals.h"

using namespace qubopost::gui;

namespace {

// The action of a signal as the process has it now.
struct sigaction ActionOf(int signal) {
    struct sigaction action {};
    sigaction(signal, nullptr, &action);
    return action;
}

void SetAction(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

// Runs the event loop until `done` holds; the bound only stops a hung test.
template <class Done>
void ProcessEventsUntil(Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void ProcessPendingEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

volatile sig_atomic_t g_ownHandlerRuns = 0;
void OwnHandler(int) { g_ownHandlerRuns = g_ownHandlerRuns + 1; }

class TerminationSignalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int signal : TerminationSignals::kSignals) SetAction(signal, SIG_DFL);
    }
    void TearDown() override {
        for (int signal : TerminationSignals::kSignals) SetAction(signal, SIG_DFL);
    }
};

}  // namespace

TEST_F(TerminationSignalsTest, EachSignalBecomesOneRequestOnTheEventLoop) {
    for (int signal : TerminationSignals::kSignals) {
        std::vector<int> requests;
        TerminationSignals watch([&](int number) { requests.push_back(number); });
        raise(signal);
        // The handler only notes it: the request comes from the event loop.
        EXPECT_TRUE(requests.empty());
        ProcessEventsUntil([&] { return !requests.empty(); });
        ProcessPendingEvents();
        EXPECT_EQ(requests, std::vector<int>{signal}) << strsignal(signal);
        // From the request on, a further signal ends the program.
        EXPECT_EQ(ActionOf(signal).sa_handler, SIG_DFL) << strsignal(signal);
    }
}

TEST_F(TerminationSignalsTest, SignalsArrivingTogetherAreOneRequest) {
    // A logout sends SIGTERM and SIGHUP at once: the close must not be cut short by the second.
    std::vector<int> requests;
    TerminationSignals watch([&](int number) { requests.push_back(number); });
    raise(SIGTERM);
    raise(SIGHUP);
    raise(SIGTERM);
    ProcessEventsUntil([&] { return !requests.empty(); });
    ProcessPendingEvents();
    EXPECT_EQ(requests, std::vector<int>{SIGTERM});
}

TEST_F(TerminationSignalsTest, IgnoredSignalStaysIgnored) {
    SetAction(SIGHUP, SIG_IGN);
    std::vector<int> requests;
    TerminationSignals watch([&](int number) { requests.push_back(number); });
    EXPECT_EQ(ActionOf(SIGHUP).sa_handler, SIG_IGN);
    EXPECT_NE(ActionOf(SIGTERM).sa_handler, SIG_DFL);
    raise(SIGHUP);
    ProcessPendingEvents();
    EXPECT_TRUE(requests.empty());
}

TEST_F(TerminationSignalsTest, PreviousActionsComeBack) {
    SetAction(SIGINT, OwnHandler);
    {
        TerminationSignals watch([](int) {});
        EXPECT_NE(ActionOf(SIGINT).sa_handler, OwnHandler);
        EXPECT_NE(ActionOf(SIGTERM).sa_handler, SIG_DFL);
    }
    EXPECT_EQ(ActionOf(SIGINT).sa_handler, OwnHandler);
    EXPECT_EQ(ActionOf(SIGTERM).sa_handler, SIG_DFL);
    EXPECT_EQ(ActionOf(SIGHUP).sa_handler, SIG_DFL);
    g_ownHandlerRuns = 0;
    raise(SIGINT);
    EXPECT_EQ(g_ownHandlerRuns, 1);
}

using TerminationSignalsDeathTest = TerminationSignalsTest;

TEST_F(TerminationSignalsDeathTest, SignalDuringTheRequestedCloseEndsTheProgram) {
    // The close waits (here: inside the request) and the user insists.
    EXPECT_EXIT(
        {
            TerminationSignals watch([](int) { raise(SIGTERM); });
            raise(SIGTERM);
            ProcessEventsUntil([] { return false; });
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

TEST_F(TerminationSignalsDeathTest, SignalCaughtBeforeReleaseEndsTheProgramAfterIt) {
    // Caught just before the dialog closed by itself, handled while its jobs are waited for.
    EXPECT_EXIT(
        {
            bool requested = false;
            TerminationSignals watch([&](int) { requested = true; });
            raise(SIGINT);
            watch.Release();
            ProcessEventsUntil([] { return false; });
            std::exit(requested ? 3 : 0);
        },
        ::testing::KilledBySignal(SIGINT), "");
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
