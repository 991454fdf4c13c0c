// BSendMail against real SMTP servers on 127.0.0.1: aiosmtpd (smtp_server.py) for what a
// server does normally, the raw peer for exact command lines, odd replies and stalls.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <thread>

#include "support/raw_peer.h"
#include "support/raw_smtp_peer.h"
#include "support/smtp_fixture.h"
#include "tests/mail/cp932.h"
#include "tests/mail/mail_calls.h"

namespace qubopost::test {
namespace {

// One call with a filled-in error buffer, so that a missing terminator would show.
Outcome Send(const std::string& server, const std::string& to, const std::string& from,
             const std::string& subject = "subject", const std::string& body = "body",
             const std::string& reserved = "") {
    return WithErrorBuffer([&](char* error) {
        return BSendMail(server.c_str(), to.c_str(), from.c_str(), subject.c_str(), body.c_str(),
                         reserved.c_str(), error);
    });
}

bool HasIpv6Loopback() {
    const int fd = socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

class MailSend : public ::testing::Test {
protected:
    SmtpClientEnvironment client;  // private HOME, no .netrc, default time-outs
};

// --- Delivery ------------------------------------------------------------------------------

TEST_F(MailSend, JapaneseMessageArrivesAndDecodesToTheOriginalText) {
    SmtpServer server;
    const std::string subject = "【お勧め】①㈱髙～ ソ表の件名・・";
    const std::string body = "\r\n\r\n[本文]\r\nお勧め情報のご案内 ↓↓\r\nｶﾀｶﾅ\r\n";
    const Outcome sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp",
                              Cp932(subject), Cp932(body));
    ASSERT_EQ(sent.result, 1) << sent.error;
    EXPECT_EQ(sent.error, "");

    const std::vector<ReceivedMail> mails = server.messages();
    ASSERT_EQ(mails.size(), 1u);
    const ReceivedMail& mail = mails[0];
    EXPECT_EQ(mail.mailFrom, "writer@example.jp");
    EXPECT_EQ(mail.rcptTo, std::vector<std::string>{"post@blog.example.jp"});
    EXPECT_EQ(DecodedSubject(mail), subject);
    EXPECT_EQ(DecodedBody(mail), body);
    EXPECT_EQ(MailHeader(mail.data, "To"), "post@blog.example.jp");
    EXPECT_EQ(MailHeader(mail.data, "From"), "writer@example.jp");
    size_t start = 0;
    for (size_t end; (end = mail.data.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 998u);
    for (char c : mail.data) ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST_F(MailSend, CallsFromSeveralThreadsAllArriveWithDistinctMessageIds) {
    SmtpServer server;
    std::vector<std::thread> threads;
    std::vector<int> results(12, -1);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3; ++i) {
                char error[80];
                const std::string to = "post" + std::to_string(t * 3 + i) + "@blog.example.jp";
                results[t * 3 + i] = BSendMail(server.address().c_str(), to.c_str(),
                                               "writer@example.jp", "s", "b", "", error);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(results, std::vector<int>(12, 1));
    std::set<std::string> ids, recipients;
    for (const ReceivedMail& mail : server.messages()) {
        ids.insert(MailHeader(mail.data, "Message-Id"));
        recipients.insert(mail.rcptTo.at(0));
    }
    EXPECT_EQ(ids.size(), 12u);
    EXPECT_EQ(recipients.size(), 12u);
}

TEST_F(MailSend, Ipv6LoopbackServer) {
    if (!HasIpv6Loopback()) GTEST_SKIP() << "no IPv6 loopback here";
    SmtpServer server({.host = "::1"});
    const Outcome sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    ASSERT_EQ(sent.result, 1) << sent.error;
    EXPECT_EQ(server.messages().size(), 1u);
}

// --- TLS and credentials -------------------------------------------------------------------

TEST_F(MailSend, StartTlsAndLoginWithCredentialsFromNetrc) {
    SmtpServer server(
        {.starttls = true, .user = "blogger", .password = "s3cret pass", .requireAuth = true});
    client.trustCaFile(server.caFile());
    client.writeNetrc("machine 127.0.0.1\n  login blogger\n  password \"s3cret pass\"\n");
    const Outcome sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    ASSERT_EQ(sent.result, 1) << sent.error;
    const std::vector<ReceivedMail> mails = server.messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(mails[0].tls);
    EXPECT_EQ(mails[0].authUser, "blogger");
}

TEST_F(MailSend, NetrcFileNamedByNetrcVariable) {
    SmtpServer server({.starttls = true, .user = "blogger", .password = "pw", .requireAuth = true});
    client.trustCaFile(server.caFile());
    const std::string path = client.home() + "/other-netrc";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("machine 127.0.0.1 login blogger password pw\n", file);
    std::fclose(file);
    setenv("NETRC", path.c_str(), 1);  // restored by the environment fixture
    const Outcome sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    ASSERT_EQ(sent.result, 1) << sent.error;
    EXPECT_EQ(server.messages().at(0).authUser, "blogger");
}

TEST_F(MailSend, OnLoopbackCredentialsMayGoWithoutTls) {
    SmtpServer server(
        {.user = "blogger", .password = "pw", .requireAuth = true, .authWithoutTls = true});
    client.writeNetrc("machine 127.0.0.1 login blogger password pw\n");
    const Outcome sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    ASSERT_EQ(sent.result, 1) << sent.error;
    EXPECT_FALSE(server.messages().at(0).tls);
    EXPECT_EQ(server.messages().at(0).authUser, "blogger");
}

TEST_F(MailSend, LoginFailuresReportTheServerReplyAndNeverThePassword) {
    SmtpServer server(
        {.starttls = true, .user = "blogger", .password = "right", .requireAuth = true});
    client.trustCaFile(server.caFile());

    Outcome sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(sent.result, 0);
    EXPECT_TRUE(sent.error.starts_with("530 ")) << sent.error;  // no .netrc: not logged in

    client.writeNetrc("machine 127.0.0.1 login blogger password Wr0ngPassw0rd\n");
    sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(sent.result, 0);
    EXPECT_TRUE(sent.error.starts_with("login refused: 535 ")) << sent.error;
    EXPECT_FALSE(Contains(sent.error, "Wr0ngPassw0rd")) << sent.error;
    EXPECT_TRUE(server.messages().empty());
}

TEST_F(MailSend, BrokenNetrcGivesAClearReason) {
    SmtpServer server;
    client.writeNetrc("machine 127.0.0.1 login blogger password \"unterminated\n");
    const Outcome sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(sent.result, 0);
    EXPECT_EQ(sent.error, "syntax error in the .netrc file (a quote is not closed)");
}

TEST_F(MailSend, UntrustedCertificateStopsBeforeAnythingIsSent) {
    SmtpServer server({.starttls = true});  // its certificate is not trusted here
    const Outcome sent = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(sent.result, 0);
    EXPECT_TRUE(sent.error.starts_with("certificate not trusted")) << sent.error;
    EXPECT_TRUE(server.messages().empty());
}

// --- Replies and failures ------------------------------------------------------------------

TEST_F(MailSend, RejectedRecipientGivesTheServersReply) {
    SmtpServer server({.rejectRecipients = {"nobody@blog.example.jp"}});
    const Outcome sent = Send(server.address(), "nobody@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(sent.result, 0);
    EXPECT_EQ(sent.error, "550 5.1.1 <nobody@blog.example.jp>: Recipient address rejected");
    EXPECT_TRUE(server.messages().empty());
}

TEST_F(MailSend, RejectionAfterTheFinalDotGivesThatReply) {
    RawSmtpPeer::Script script;
    script.afterData = "554 5.7.1 Message refused as spam";
    RawSmtpPeer peer(script);
    const Outcome sent = Send(peer.address(), "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(sent.result, 0);
    EXPECT_EQ(sent.error, "554 5.7.1 Message refused as spam");
    EXPECT_FALSE(peer.data().empty());

    SmtpServer server({.dataReply = "552 5.3.4 Message too big"});
    const Outcome real = Send(server.address(), "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(real.result, 0);
    EXPECT_EQ(real.error, "552 5.3.4 Message too big");
}

TEST_F(MailSend, LongJapaneseReplyIsCutToWholeCharactersWithin79Bytes) {
    RawSmtpPeer::Script script;
    script.replies["RCPT"] =
        "550-5.1.1 Recipient rejected:\r\n"
        "550 5.1.1 宛先のアドレスは存在しません。もう一度ご確認の上で送信してください。";
    RawSmtpPeer peer(script);
    const Outcome sent = Send(peer.address(), "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(sent.result, 0);
    const std::string full = Cp932(
        "550 5.1.1 Recipient rejected: 5.1.1 "
        "宛先のアドレスは存在しません。もう一度ご確認の上で送信してください。");
    ASSERT_GT(full.size(), 79u);
    EXPECT_EQ(sent.error.size(), 78u);  // byte 79 would be the first half of a character
    EXPECT_EQ(sent.error, full.substr(0, sent.error.size()));
    EXPECT_NO_THROW(Utf8FromCp932(sent.error)) << "cut inside a character";
}

TEST_F(MailSend, ServerDownGivesAClearReason) {
    const int port = RawPeer::ClosedPort();
    const Outcome sent =
        Send("127.0.0.1:" + std::to_string(port), "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(sent.result, 0);
    EXPECT_EQ(sent.error, "connection refused: 127.0.0.1:" + std::to_string(port));

    const Outcome unknown =
        Send("no-such-host.invalid:25", "post@blog.example.jp", "writer@example.jp");
    EXPECT_EQ(unknown.result, 0);
    EXPECT_FALSE(unknown.error.empty());
}

TEST_F(MailSend, StalledServerTimesOut) {
    client.setTimeouts(1000, 1000);
    for (const char* stallAt : {"greeting", "RCPT", "final dot"}) {
        RawSmtpPeer::Script script;
        if (std::string_view(stallAt) == "greeting") script.greeting = RawSmtpPeer::kStall;
        if (std::string_view(stallAt) == "RCPT") script.replies["RCPT"] = RawSmtpPeer::kStall;
        if (std::string_view(stallAt) == "final dot") script.afterData = RawSmtpPeer::kStall;
        RawSmtpPeer peer(script);
        const Outcome sent = Send(peer.address(), "post@blog.example.jp", "writer@example.jp");
        EXPECT_EQ(sent.result, 0) << stallAt;
        EXPECT_TRUE(Contains(sent.error, "time-out")) << stallAt << ": " << sent.error;
    }
}

// --- Checks before anything is sent --------------------------------------------------------

TEST_F(MailSend, BadArgumentsFailBeforeAnyConnection) {
    RawSmtpPeer peer;
    const std::string server = peer.address();
    struct Case {
        std::string server, to, from, reserved, error;
    };
    const Case cases[] = {
        // Line breaks in an address would become SMTP commands of their own.
        {server, "post@blog.example.jp", "writer@example.jp>\r\nRCPT TO:<victim@example.jp", "",
         "invalid sender address"},
        {server, "post@blog.example.jp\nRCPT TO:<victim@example.jp>", "writer@example.jp", "",
         "invalid recipient address"},
        {server, "post@blog.example.jp\r", "writer@example.jp", "", "invalid recipient address"},
        // libcurl would send HELP for an empty recipient and call it a success.
        {server, "", "writer@example.jp", "", "no recipient address"},
        {server, "post@blog.example.jp", "", "", "no sender address"},
        {server, "post@blog.example.jp", "writer@example.jp", "x",
         "6th argument must be empty or \"charset=UTF-8\""},
        {"127.0.0.1", "post@blog.example.jp", "writer@example.jp", "", ""},
        {"127.0.0.1:smtp", "post@blog.example.jp", "writer@example.jp", "", ""},
    };
    for (const Case& c : cases) {
        const Outcome sent = Send(c.server, c.to, c.from, "s", "b", c.reserved);
        EXPECT_EQ(sent.result, 0) << c.to << " / " << c.from;
        if (c.error.empty())
            EXPECT_TRUE(Contains(sent.error, "port")) << c.server << ": " << sent.error;
        else
            EXPECT_EQ(sent.error, c.error);
    }
    char error[80];
    EXPECT_EQ(BSendMail(nullptr, "a@b", "c@d", "", "", "", error), 0);
    EXPECT_GT(std::strlen(error), 0u);
    EXPECT_EQ(BSendMail(server.c_str(), "a@b", "c@d", "", "", nullptr, nullptr), 0);
    EXPECT_EQ(peer.connections(), 0);
}

TEST_F(MailSend, LineBreaksInTheSubjectStayInsideTheSubject) {
    RawSmtpPeer peer;
    const std::string subject = Cp932("題名\r\nBcc: victim@example.jp\r\n\r\n.\r\nQUIT");
    const Outcome sent = Send(peer.address(), "post@blog.example.jp", "writer@example.jp", subject);
    ASSERT_EQ(sent.result, 1) << sent.error;
    const std::vector<std::string> commands = peer.commands();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_TRUE(commands[0].starts_with("EHLO "));
    EXPECT_EQ(commands[1], "MAIL FROM:<writer@example.jp>");
    EXPECT_EQ(commands[2], "RCPT TO:<post@blog.example.jp>");
    EXPECT_EQ(commands[3], "DATA");
    EXPECT_EQ(commands[4], "QUIT");
    EXPECT_EQ(MailHeader(peer.data(), "Bcc"), "");
    EXPECT_EQ(DecodedSubject(ReceivedMail{.data = peer.data()}),
              "題名 Bcc: victim@example.jp . QUIT");
}

}  // namespace
}  // namespace qubopost::test
