// No password in plain text to a server off this machine, whatever the credentials look like.
//
// Runs through isolated.sh: in a network namespace of its own, where 192.0.2.25 is an address of
// the loopback interface, so the library sees a server that is not loopback while every byte
// stays inside the namespace. The server offers AUTH but no STARTTLS.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "credentials/credentials.h"
#include "mail/bsmtp.h"
#include "private_network.h"
#include "support/raw_smtp_peer.h"
#include "support/smtp_fixture.h"

namespace qubopost::test {
namespace {

class PlainTextLeak : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = WhyNoPrivateNetwork(); !why.empty()) GTEST_SKIP() << why;
    }
    SmtpClientEnvironment client{SmtpClientEnvironment::KeyRing::Kept};
};

TEST_F(PlainTextLeak, NoNetrcSpellingGetsAuthOntoAPlainConnection) {
    struct Case {
        const char* what;
        std::string netrc;
    };
    const Case cases[] = {
        {"a comment ending in a keyword before the entry",
         "# SMTP login\nmachine 192.0.2.25 login blogger password secret-pass\n"},
        {"capitalised keywords", "Machine 192.0.2.25 Login blogger Password secret-pass\n"},
        {"a macdef in a CR LF file",
         "macdef init\r\ncd /pub\r\n\r\nmachine 192.0.2.25 login blogger password secret-pass\r\n"},
        {"the default entry", "default login blogger password secret-pass\n"},
        {"quoted values", "machine \"192.0.2.25\" login \"blogger\" password \"secret-pass\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        client.writeNetrc(c.netrc);
        RawSmtpPeer peer(AuthWithoutStartTls(), kOffLoopback);
        char error[80] = "";
        const int result = BSendMailEx(peer.address().c_str(), "post@blog.example.jp",
                                       "writer@example.jp", "s", "b", "", error, nullptr);
        EXPECT_EQ(result, BSMTP_FAILED);
        EXPECT_TRUE(std::string(error).starts_with("TLS is required")) << error;
        EXPECT_EQ(CountAuth(peer.commands()), 0);
        EXPECT_EQ(peer.finalDots(), 0);
        EXPECT_EQ(peer.data().find("secret-pass"), std::string::npos);
    }
}

TEST_F(PlainTextLeak, KeyRingCredentialsDoNotGoOutInPlainTextEither) {
    if (!credentials::KeyRingAvailable()) GTEST_SKIP() << "no key ring: run through isolated.sh";
    ASSERT_EQ(credentials::KeyRingStore(kOffLoopback, "blogger", "secret-pass"),
              credentials::KeyRingStatus::Ok);
    RawSmtpPeer peer(AuthWithoutStartTls(), kOffLoopback);
    char error[80] = "";
    const int result = BSendMailEx(peer.address().c_str(), "post@blog.example.jp",
                                   "writer@example.jp", "s", "b", "", error, nullptr);
    credentials::KeyRingForget(kOffLoopback);
    EXPECT_EQ(result, BSMTP_FAILED);
    EXPECT_TRUE(std::string(error).starts_with("TLS is required")) << error;
    EXPECT_EQ(CountAuth(peer.commands()), 0);
    EXPECT_EQ(peer.finalDots(), 0);

    // BTestLogin keeps to the same rule.
    RawSmtpPeer tested(AuthWithoutStartTls(), kOffLoopback);
    EXPECT_EQ(BTestLogin(tested.address().c_str(), "blogger", "secret-pass", error), BSMTP_FAILED);
    EXPECT_TRUE(std::string(error).starts_with("TLS is required")) << error;
    EXPECT_EQ(CountAuth(tested.commands()), 0);
}

TEST_F(PlainTextLeak, WithoutCredentialsTheSameServerGetsTheMessage) {
    RawSmtpPeer peer(AuthWithoutStartTls(), kOffLoopback);
    char error[80] = "";
    ASSERT_EQ(BSendMailEx(peer.address().c_str(), "post@blog.example.jp", "writer@example.jp", "s",
                          "b", "", error, nullptr),
              BSMTP_SENT)
        << error;
    EXPECT_EQ(CountAuth(peer.commands()), 0);
    EXPECT_EQ(peer.finalDots(), 1);
}

TEST_F(PlainTextLeak, OnLoopbackTheLoginMayGoWithoutTls) {
    // The same server on 127.0.0.1: this machine talking to itself, so the login goes.
    client.writeNetrc("machine 127.0.0.1 login blogger password secret-pass\n");
    RawSmtpPeer peer(AuthWithoutStartTls());
    char error[80] = "";
    ASSERT_EQ(BSendMailEx(peer.address().c_str(), "post@blog.example.jp", "writer@example.jp", "s",
                          "b", "", error, nullptr),
              BSMTP_SENT)
        << error;
    EXPECT_GE(CountAuth(peer.commands()), 1);
}

}  // namespace
}  // namespace qubopost::test
