// BSendMailNotify against scripted SMTP peers on 127.0.0.1: beforeEnd is called once the whole
// message is out and before the final "." can follow; a connection that breaks before that is
// an ordinary failure (the message cannot have arrived), never an uncertain one; a stop before it
// ends the call without the "."; a login refused for now (454, 421) is BSMTP_LOGIN_DEFERRED.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "support/raw_smtp_peer.h"
#include "support/smtp_fixture.h"
#include "support/wait_for.h"
#include "tests/mail/mail_calls.h"

namespace qubopost::test {
namespace {

using namespace std::chrono_literals;

const char* const kEhloWithAuth = "250-peer.test\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME";
const char* const kLoginAccepted = "235 2.7.0 Authentication successful";

// What beforeEnd saw: how often it was called, and what it is to do when called.
struct EndWatch {
    int calls = 0;
    std::function<void()> action{};
};

void WatchEnd(void* context) {
    auto* watch = static_cast<EndWatch*>(context);
    ++watch->calls;
    if (watch->action) watch->action();
}

struct Notified {
    int result;
    std::string error;
    int callbacks;  // times beforeEnd was called
};

Notified SendNotify(const std::string& server, const std::string& body, const int* stop = nullptr,
                    std::function<void()> atEnd = {}) {
    EndWatch watch{0, std::move(atEnd)};
    const Outcome sent = WithErrorBuffer([&](char* error) {
        return BSendMailNotify(server.c_str(), kTo, kFrom, "subject", body.c_str(), "", error, stop,
                               WatchEnd, &watch);
    });
    return {sent.result, sent.error, watch.calls};
}

// A peer that takes the login; the rows change one thing each.
RawSmtpScript LoginScript() {
    RawSmtpScript script;
    script.replies["EHLO"] = kEhloWithAuth;
    script.replies["AUTH"] = kLoginAccepted;
    return script;
}

class MailEndOfData : public ::testing::Test {
protected:
    void SetUp() override {
        client.writeNetrc("machine 127.0.0.1 login blogger password Secret-Pass\n");
    }
    SmtpClientEnvironment client;
};

// --- A connection that breaks at each stage ----------------------------------------------

TEST_F(MailEndOfData, DropBeforeTheEndOfDataIsAFailureAndAfterItUncertain) {
    // More than the peer's small receive buffer and the client's largest send buffer (4 MiB)
    // together: a client cannot have written all of it when the peer drops after 256 KiB.
    const std::string large(12 * 1024 * 1024, 'x');
    const std::string small = "a short body\r\nof two lines\r\n";

    struct Case {
        const char* stage;
        std::function<void(RawSmtpScript&)> change;
        const std::string* body;
        int callbacks;  // beforeEnd called: the end of data was committed
        int result;
        int finalDots;  // the peer received the line "."
    };
    const Case cases[] = {
        {"greeting", [](RawSmtpScript& s) { s.greeting = RawSmtpPeer::kDrop; }, &small, 0,
         BSMTP_FAILED, 0},
        {"EHLO", [](RawSmtpScript& s) { s.replies["EHLO"] = RawSmtpPeer::kDrop; }, &small, 0,
         BSMTP_FAILED, 0},
        {"AUTH", [](RawSmtpScript& s) { s.replies["AUTH"] = RawSmtpPeer::kDrop; }, &small, 0,
         BSMTP_FAILED, 0},
        {"MAIL", [](RawSmtpScript& s) { s.replies["MAIL"] = RawSmtpPeer::kDrop; }, &small, 0,
         BSMTP_FAILED, 0},
        {"RCPT", [](RawSmtpScript& s) { s.replies["RCPT"] = RawSmtpPeer::kDrop; }, &small, 0,
         BSMTP_FAILED, 0},
        {"DATA", [](RawSmtpScript& s) { s.replies["DATA"] = RawSmtpPeer::kDrop; }, &small, 0,
         BSMTP_FAILED, 0},
        {"middle of the body",
         [](RawSmtpScript& s) {
             s.receiveBufferBytes = 64 * 1024;
             s.dropAfterDataBytes = 256 * 1024;
         },
         &large, 0, BSMTP_FAILED, 0},
        {"after the body, before the final dot",
         [](RawSmtpScript& s) { s.dropBeforeFinalDot = true; }, &small, 1, BSMTP_UNCERTAIN, 0},
        {"after the final dot, before the answer",
         [](RawSmtpScript& s) { s.afterData = RawSmtpPeer::kDrop; }, &small, 1, BSMTP_UNCERTAIN, 1},
        // The two answers to the final dot, for contrast: only here did the server decide.
        {"no drop: accepted", [](RawSmtpScript&) {}, &small, 1, BSMTP_SENT, 1},
        {"no drop: refused", [](RawSmtpScript& s) { s.afterData = "554 5.7.1 Message refused"; },
         &small, 1, BSMTP_FAILED, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stage);
        RawSmtpScript script = LoginScript();
        c.change(script);
        {
            RawSmtpPeer peer(script);
            const Notified sent = SendNotify(peer.address(), *c.body);
            EXPECT_EQ(sent.callbacks, c.callbacks);
            EXPECT_EQ(sent.result, c.result) << sent.error;
            EXPECT_EQ(peer.finalDots(), c.finalDots);
            if (c.result != BSMTP_SENT) {
                EXPECT_FALSE(sent.error.empty());
            }
        }
        // BSendMailEx draws the same line (it has no callback to show it).
        RawSmtpPeer peer(script);
        const Outcome sent = SendEx(peer.address(), nullptr, *c.body);
        EXPECT_EQ(sent.result, c.result) << "BSendMailEx: " << sent.error;
        EXPECT_EQ(peer.finalDots(), c.finalDots);
    }
}

TEST_F(MailEndOfData, BeforeEndComesWhenTheWholeBodyIsOutAndBeforeTheFinalDot) {
    // Longer than one piece libcurl asks for (64 KiB), so that "all but the end" is visible.
    std::string body;
    for (int line = 0; line < 10000; ++line)
        body += "line " + std::to_string(line) + " of the body\r\n";
    const std::string lastLine = "the very last line of the body";
    body += lastLine + "\r\n";

    RawSmtpPeer peer(LoginScript());
    bool wholeBodyArrived = false;
    int dotsAtEnd = -1;
    const Notified sent = SendNotify(peer.address(), body, nullptr, [&] {
        // The client waits here: whatever it wrote before calling is all the peer will get.
        wholeBodyArrived = static_cast<bool>(
            WaitFor([&] { return peer.idle() && peer.data().find(lastLine) != std::string::npos; },
                    "the body's last line"));
        dotsAtEnd = peer.finalDots();
    });
    EXPECT_EQ(sent.result, BSMTP_SENT) << sent.error;
    EXPECT_EQ(sent.callbacks, 1);
    EXPECT_TRUE(wholeBodyArrived) << "beforeEnd came before the body's last line went out";
    EXPECT_EQ(dotsAtEnd, 0) << "the final dot went out before beforeEnd";
    EXPECT_EQ(peer.finalDots(), 1);
}

TEST_F(MailEndOfData, NullCallbackIsAllowed) {
    RawSmtpPeer peer(LoginScript());
    char error[80];
    EXPECT_EQ(BSendMailNotify(peer.address().c_str(), kTo, kFrom, "s", "b", BSMTP_TEXTS_UTF8, error,
                              nullptr, nullptr, nullptr),
              BSMTP_SENT)
        << error;
    EXPECT_EQ(peer.finalDots(), 1);
}

// --- Stop ----------------------------------------------------------------------------------

TEST_F(MailEndOfData, StopBeforeTheEndOfDataLeavesNoDotAndAfterItWaitsForTheAnswer) {
    const std::string large(12 * 1024 * 1024, 'x');
    enum class When { WhileTheBodyGoesOut, InBeforeEnd };
    struct Case {
        const char* what;
        When when;
        std::function<void(RawSmtpScript&)> change;
        const std::string body;
        int callbacks;
        int result;
        int finalDots;
    };
    const Case cases[] = {
        // A slow server: the body cannot all go out before the stop.
        {"stop during DATA", When::WhileTheBodyGoesOut,
         [](RawSmtpScript& s) { s.dataPauseMs = 1500; }, large, 0, BSMTP_STOPPED, 0},
        {"stop in beforeEnd, prompt answer", When::InBeforeEnd, [](RawSmtpScript&) {}, "body", 1,
         BSMTP_SENT, 1},
        {"stop in beforeEnd, no answer", When::InBeforeEnd,
         [](RawSmtpScript& s) { s.afterData = RawSmtpPeer::kStall; }, "body", 1, BSMTP_UNCERTAIN,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawSmtpScript script = LoginScript();
        c.change(script);
        RawSmtpPeer peer(script);
        int stop = 0;  // read by the library with an atomic load, so set with an atomic store
        std::thread stopper;
        if (c.when == When::WhileTheBodyGoesOut) {
            stopper = std::thread([&] {
                // At once: the peer reads nothing for 1.5 s after DATA.
                static_cast<void>(WaitFor(
                    [&] { return CountStartingWith(peer.commands(), "DATA") > 0; }, "DATA"));
                __atomic_store_n(&stop, 1, __ATOMIC_RELEASE);
            });
        }
        const Notified sent = SendNotify(peer.address(), c.body, &stop, [&] {
            if (c.when == When::InBeforeEnd) __atomic_store_n(&stop, 1, __ATOMIC_RELEASE);
        });
        if (stopper.joinable()) stopper.join();
        EXPECT_EQ(sent.callbacks, c.callbacks);
        EXPECT_EQ(sent.result, c.result) << sent.error;
        if (c.result == BSMTP_UNCERTAIN) {
            EXPECT_TRUE(sent.error.starts_with("time-out")) << sent.error;
        }
        EXPECT_TRUE(
            WaitFor([&] { return peer.closedByClient() > 0 || peer.idle(); }, "the client's end"));
        EXPECT_EQ(peer.finalDots(), c.finalDots);
        if (c.result == BSMTP_STOPPED) {
            EXPECT_LT(peer.data().size(), c.body.size());
        }
    }
}

// --- A login refused for now ---------------------------------------------------------------

TEST_F(MailEndOfData, TemporaryLoginRefusalIsDeferredOnlyForBSendMailNotify) {
    struct Case {
        const char* command;  // the one that gets `reply`
        const char* reply;
        int notifyResult;
        const char* notifyError;
        int exResult;
        const char* exError;
    };
    const Case cases[] = {
        {"AUTH", "454 4.7.0 Temporary authentication failure", BSMTP_LOGIN_DEFERRED,
         "login deferred: 454 4.7.0 Temporary authentication failure", BSMTP_FAILED,
         "454 4.7.0 Temporary authentication failure"},
        {"AUTH", "421 4.7.0 Try again later, closing connection", BSMTP_LOGIN_DEFERRED,
         "login deferred: 421 4.7.0 Try again later, closing connection", BSMTP_FAILED,
         "421 4.7.0 Try again later, closing connection"},
        {"AUTH", "535 5.7.8 Authentication credentials invalid", BSMTP_LOGIN_REFUSED,
         "login refused: 535 5.7.8 Authentication credentials invalid", BSMTP_LOGIN_REFUSED,
         "login refused: 535 5.7.8 Authentication credentials invalid"},
        // Other temporary answers to AUTH, and 421 outside the login, stay ordinary failures.
        {"AUTH", "451 4.3.0 Local error in processing", BSMTP_FAILED,
         "451 4.3.0 Local error in processing", BSMTP_FAILED,
         "451 4.3.0 Local error in processing"},
        {"MAIL", "421 4.3.2 Service shutting down", BSMTP_FAILED, "421 4.3.2 Service shutting down",
         BSMTP_FAILED, "421 4.3.2 Service shutting down"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.reply);
        RawSmtpScript script = LoginScript();
        script.replies[c.command] = c.reply;
        {
            RawSmtpPeer peer(script);
            const Notified sent = SendNotify(peer.address(), "body");
            EXPECT_EQ(sent.result, c.notifyResult);
            EXPECT_EQ(sent.error, c.notifyError);
            EXPECT_EQ(sent.callbacks, 0);
            const std::vector<std::string> commands = peer.commands();
            EXPECT_EQ(CountStartingWith(commands, "AUTH "), 1);
            EXPECT_EQ(CountStartingWith(commands, "DATA"), 0);
            EXPECT_EQ(peer.finalDots(), 0);
        }
        RawSmtpPeer peer(script);
        const Outcome sent = SendEx(peer.address());
        EXPECT_EQ(sent.result, c.exResult);
        EXPECT_EQ(sent.error, c.exError);
        EXPECT_EQ(peer.finalDots(), 0);
    }
}

}  // namespace
}  // namespace qubopost::test
