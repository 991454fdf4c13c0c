// BSendMailEx's results, BTestLogin and BSetOption against real servers on 127.0.0.1: a refused
// login, a stop during the transfer, a connection lost after the final dot, the two kinds of
// certificate failure, TLS from the start on any port.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "support/raw_smtp_peer.h"
#include "support/smtp_fixture.h"
#include "support/wait_for.h"
#include "tests/mail/mail_calls.h"

namespace qubopost::test {
namespace {

Outcome TestLogin(const std::string& server, const std::string& user, const std::string& password) {
    return WithErrorBuffer([&](char* error) {
        return BTestLogin(server.c_str(), user.c_str(), password.c_str(), error);
    });
}

// Sets the flag from another thread, as the program's stop button would: once `ready` says so
// (looked at every 10 ms), then after `after`.
class StopLater {
public:
    explicit StopLater(std::chrono::milliseconds after, std::function<bool()> ready = {})
        : thread_([this, after, ready] {
              const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
              while (ready && !ready() && std::chrono::steady_clock::now() < deadline)
                  std::this_thread::sleep_for(std::chrono::milliseconds(10));
              std::this_thread::sleep_for(after);
              __atomic_store_n(&flag_, 1, __ATOMIC_RELEASE);
          }) {}
    ~StopLater() { thread_.join(); }
    const int* flag() const { return &flag_; }

private:
    int flag_ = 0;
    std::thread thread_;
};

bool Received(const RawSmtpPeer& peer, std::string_view command) {
    for (const std::string& line : peer.commands())
        if (line == command) return true;
    return false;
}

// Waits (up to a generous limit) until the peer has read the end of the client's stream.
void WaitUntilClosed(const RawSmtpPeer& peer) {
    static_cast<void>(
        WaitFor([&] { return peer.closedByClient() != 0; }, "the client's end of the stream"));
}

const char* const kEhloWithAuth = "250-peer.test\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME";

class MailResults : public ::testing::Test {
protected:
    SmtpClientEnvironment client;
};

// --- A refused login -----------------------------------------------------------------------

TEST_F(MailResults, RefusedLoginIsRecognisableAfterOneAttemptAndNothingIsSent) {
    struct Case {
        const char* reply;
        int result;
        const char* error;
    };
    const Case cases[] = {
        {"535 5.7.8 Authentication credentials invalid", BSMTP_LOGIN_REFUSED,
         "login refused: 535 5.7.8 Authentication credentials invalid"},
        {"534 5.7.9 Please log in with your web browser", BSMTP_LOGIN_REFUSED,
         "login refused: 534 5.7.9 Please log in with your web browser"},
        {"530 5.7.0 Must issue a STARTTLS command first", BSMTP_LOGIN_REFUSED,
         "login refused: 530 5.7.0 Must issue a STARTTLS command first"},
        // A temporary refusal is an ordinary failure for BSendMailEx: the next message may log
        // in. (BSendMailNotify says BSMTP_LOGIN_DEFERRED: test_mail_end_of_data.)
        {"454 4.7.0 Temporary authentication failure", BSMTP_FAILED,
         "454 4.7.0 Temporary authentication failure"},
    };
    client.writeNetrc("machine 127.0.0.1 login blogger password Wr0ng-Pass\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        RawSmtpPeer::Script script;
        script.replies["EHLO"] = kEhloWithAuth;
        script.replies["AUTH"] = c.reply;
        RawSmtpPeer peer(script);
        const Outcome sent = SendEx(peer.address());
        EXPECT_EQ(sent.result, c.result);
        EXPECT_EQ(sent.error, c.error);
        const std::vector<std::string> commands = peer.commands();
        EXPECT_EQ(CountStartingWith(commands, "AUTH "), 1);
        EXPECT_EQ(CountStartingWith(commands, "MAIL "), 0);
        EXPECT_EQ(peer.finalDots(), 0);
        // BSendMail reports every such failure as 0.
        char error[80];
        EXPECT_EQ(BSendMail(peer.address().c_str(), "post@blog.example.jp", "writer@example.jp",
                            "s", "b", "", error),
                  0);
    }
}

TEST_F(MailResults, RealServerRefusingThePasswordGivesLoginRefused) {
    SmtpServer server(
        {.user = "blogger", .password = "right", .requireAuth = true, .authWithoutTls = true});
    client.writeNetrc("machine 127.0.0.1 login blogger password Wr0ngPassw0rd\n");
    const Outcome sent = SendEx(server.address());
    EXPECT_EQ(sent.result, BSMTP_LOGIN_REFUSED);
    EXPECT_TRUE(sent.error.starts_with("login refused: 535 ")) << sent.error;
    EXPECT_EQ(sent.error.find("Wr0ngPassw0rd"), std::string::npos);
    EXPECT_TRUE(server.messages().empty());
}

// --- Stop ----------------------------------------------------------------------------------

TEST_F(MailResults, StopWhileTheServerStallsBeforeTheBodyEndsWithoutTheFinalDot) {
    struct Case {
        const char* what;
        RawSmtpScript script;
    };
    RawSmtpScript greeting;
    greeting.greeting = RawSmtpPeer::kStall;
    RawSmtpScript data;
    data.replies["DATA"] = RawSmtpPeer::kStall;
    const Case cases[] = {{"no greeting", greeting}, {"no answer to DATA", data}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawSmtpPeer peer(c.script);
        StopLater stop(std::chrono::milliseconds(300), [&] { return peer.connections() > 0; });
        const Outcome sent = SendEx(peer.address(), stop.flag());
        EXPECT_EQ(sent.result, BSMTP_STOPPED) << sent.error;
        EXPECT_FALSE(sent.error.empty());
        WaitUntilClosed(peer);
        EXPECT_EQ(peer.finalDots(), 0);
        EXPECT_EQ(peer.data(), "");
    }
}

TEST_F(MailResults, StopWhileASlowServerReadsTheBodyNeverLetsTheFinalDotThrough) {
    RawSmtpPeer::Script script;
    script.dataPauseMs = 1500;  // the client's sending stalls on full socket buffers
    RawSmtpPeer peer(script);
    // More than the socket buffers on both sides hold (several MB on loopback).
    const std::string body(12 * 1024 * 1024, 'x');
    StopLater stop(std::chrono::milliseconds(200), [&] { return Received(peer, "DATA"); });
    const Outcome sent = SendEx(peer.address(), stop.flag(), body);
    EXPECT_EQ(sent.result, BSMTP_STOPPED) << sent.error;
    WaitUntilClosed(peer);  // the peer reads on to the end of what came
    EXPECT_EQ(peer.finalDots(), 0);
    EXPECT_LT(peer.data().size(), body.size());
}

TEST_F(MailResults, StopAlreadySetConnectsNowhere) {
    RawSmtpPeer peer;
    const int stop = 1;
    const Outcome sent = SendEx(peer.address(), &stop);
    EXPECT_EQ(sent.result, BSMTP_STOPPED);
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(MailResults, StopAfterTheWholeBodyWaitsForTheAnswerThenIsUncertain) {
    RawSmtpPeer::Script script;
    script.afterData = RawSmtpPeer::kStall;
    RawSmtpPeer peer(script);
    StopLater stop(std::chrono::milliseconds(300));
    const Outcome sent = SendEx(peer.address(), stop.flag());
    EXPECT_EQ(sent.result, BSMTP_UNCERTAIN) << sent.error;
    EXPECT_TRUE(sent.error.starts_with("time-out")) << sent.error;
    EXPECT_EQ(peer.finalDots(), 1);
}

TEST_F(MailResults, StopAfterTheWholeBodyStillTakesAPromptAnswer) {
    RawSmtpPeer peer;
    const int stop = 0;
    EXPECT_EQ(SendEx(peer.address(), &stop).result, BSMTP_SENT);
    EXPECT_EQ(peer.finalDots(), 1);
}

// --- After the final dot -------------------------------------------------------------------

TEST_F(MailResults, ConnectionLostAfterTheFinalDotIsUncertain) {
    RawSmtpPeer::Script dropped;
    dropped.afterData = RawSmtpPeer::kDrop;
    RawSmtpPeer peer(dropped);
    const Outcome sent = SendEx(peer.address());
    EXPECT_EQ(sent.result, BSMTP_UNCERTAIN) << sent.error;
    EXPECT_EQ(peer.finalDots(), 1);
    char error[80];
    EXPECT_EQ(BSendMail(peer.address().c_str(), "post@blog.example.jp", "writer@example.jp", "s",
                        "b", "", error),
              0);

    client.setTimeouts(2000, 1000);
    RawSmtpPeer::Script stalled;
    stalled.afterData = RawSmtpPeer::kStall;
    RawSmtpPeer silent(stalled);
    const Outcome timedOut = SendEx(silent.address());
    EXPECT_EQ(timedOut.result, BSMTP_UNCERTAIN) << timedOut.error;
    EXPECT_TRUE(timedOut.error.starts_with("time-out")) << timedOut.error;

    // A refusal after the dot is an answer: the message is known not to have been taken.
    RawSmtpPeer::Script refused;
    refused.afterData = "554 5.7.1 Message refused";
    RawSmtpPeer refusing(refused);
    const Outcome rejected = SendEx(refusing.address());
    EXPECT_EQ(rejected.result, BSMTP_FAILED);
    EXPECT_EQ(rejected.error, "554 5.7.1 Message refused");
}

TEST_F(MailResults, DropBeforeTheBodyIsAnOrdinaryFailure) {
    RawSmtpPeer::Script script;
    script.replies["RCPT"] = RawSmtpPeer::kDrop;
    RawSmtpPeer peer(script);
    const Outcome sent = SendEx(peer.address());
    EXPECT_EQ(sent.result, BSMTP_FAILED);
    EXPECT_EQ(sent.error, "connection closed by the server");
}

// --- Certificates and TLS ------------------------------------------------------------------

TEST_F(MailResults, CertificateFailuresSayWhichKind) {
    SmtpServer otherName({.starttls = true, .certificateNames = "DNS:smtp.elsewhere.example"});
    client.trustCaFile(otherName.caFile());
    const Outcome wrongHost = SendEx(otherName.address());
    EXPECT_EQ(wrongHost.result, BSMTP_FAILED);
    EXPECT_TRUE(wrongHost.error.starts_with("certificate is for another host")) << wrongHost.error;

    SmtpServer untrusted({.starttls = true});  // a certificate signed by nobody trusted here
    const Outcome notTrusted = SendEx(untrusted.address());
    EXPECT_EQ(notTrusted.result, BSMTP_FAILED);
    EXPECT_TRUE(notTrusted.error.starts_with("certificate not trusted")) << notTrusted.error;

    EXPECT_TRUE(otherName.messages().empty());
    EXPECT_TRUE(untrusted.messages().empty());
}

TEST_F(MailResults, SmtpsPrefixMeansTlsFromTheStartOnAnyPort) {
    SmtpServer server({.implicitTls = true});
    client.trustCaFile(server.caFile());
    const Outcome sent = SendEx("smtps://" + server.address());
    ASSERT_EQ(sent.result, BSMTP_SENT) << sent.error;
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_TRUE(server.messages()[0].tls);
}

TEST_F(MailResults, TrustFileIsUsedInsteadOfTheSystemStore) {
    SmtpServer server({.starttls = true});
    client.trustCaFile(server.caFile());
    EXPECT_EQ(SendEx(server.address()).result, BSMTP_SENT);
    EXPECT_EQ(BSetOption("tls-trust-file", ""), 1);  // back to the system's store
    EXPECT_TRUE(SendEx(server.address()).error.starts_with("certificate not trusted"));
    EXPECT_EQ(server.messages().size(), 1u);
}

// --- BTestLogin ----------------------------------------------------------------------------

TEST_F(MailResults, TestLoginLogsInAndSendsNothing) {
    SmtpServer server({.starttls = true, .user = "blogger", .password = "pw ぱす"});
    client.trustCaFile(server.caFile());
    Outcome login = TestLogin(server.address(), "blogger", "pw ぱす");
    EXPECT_EQ(login.result, 1) << login.error;
    EXPECT_EQ(login.error, "");
    login = TestLogin(server.address(), "blogger", "wrong");
    EXPECT_EQ(login.result, BSMTP_LOGIN_REFUSED) << login.error;
    EXPECT_TRUE(login.error.starts_with("login refused: 535 ")) << login.error;
    EXPECT_TRUE(server.messages().empty());

    RawSmtpPeer::Script script;
    script.replies["EHLO"] = kEhloWithAuth;
    script.replies["AUTH"] = "235 2.7.0 Authentication successful";
    RawSmtpPeer peer(script);
    login = TestLogin(peer.address(), "blogger", "pw");
    EXPECT_EQ(login.result, 1) << login.error;
    const std::vector<std::string> commands = peer.commands();
    EXPECT_EQ(CountStartingWith(commands, "AUTH "), 1);
    EXPECT_EQ(CountStartingWith(commands, "MAIL "), 0);
    EXPECT_EQ(CountStartingWith(commands, "QUIT"), 1);

    RawSmtpPeer noAuth;  // offers no AUTH at all
    login = TestLogin(noAuth.address(), "blogger", "pw");
    EXPECT_EQ(login.result, BSMTP_FAILED);
    EXPECT_EQ(CountStartingWith(noAuth.commands(), "AUTH"), 0);

    EXPECT_EQ(TestLogin(peer.address(), "", "pw").result, BSMTP_FAILED);
}

// --- BSetOption ----------------------------------------------------------------------------

TEST_F(MailResults, OptionsTakeOnlyKnownNamesAndGoodValues) {
    struct Case {
        const char* name;
        const char* value;
        int result;
    };
    const Case cases[] = {
        {"connect-timeout-ms", "1500", 1},
        {"connect-timeout-ms", "", 1},
        {"connect-timeout-ms", "0", 0},
        {"connect-timeout-ms", "-5", 0},
        {"connect-timeout-ms", "1.5", 0},
        {"connect-timeout-ms", "86400001", 0},
        {"idle-timeout-ms", "86400000", 1},
        {"idle-timeout-ms", "abc", 0},
        {"idle-timeout-ms", "", 1},
        {"tls-trust-file", "/nonexistent/ca.pem", 0},
        {"tls-trust-file", "", 1},
        {"cafile", "x", 0},
        {"", "", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BSetOption(c.name, c.value), c.result) << c.name << " = " << c.value;
    EXPECT_EQ(BSetOption(nullptr, "1"), 0);
    EXPECT_EQ(BSetOption("idle-timeout-ms", nullptr), 0);
}

}  // namespace
}  // namespace qubopost::test
