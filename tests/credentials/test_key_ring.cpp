// The key ring with a real gnome-keyring-daemon on a private session bus (run through
// isolated.sh): storing, looking up, forgetting, listing; the login it holds going out on the
// wire; qubopost-cli credentials through the real program; and the same without a session bus.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "credentials/credentials.h"
#include "mail/bsmtp.h"
#include "support/cli_process.h"
#include "support/smtp_fixture.h"

namespace qubopost::test {
namespace {

using credentials::Credentials;
using credentials::KeyRingStatus;
using credentials::Source;

class KeyRing : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            GTEST_SKIP() << "no session bus: run this test through isolated.sh (ctest does)";
        ASSERT_TRUE(credentials::KeyRingAvailable()) << "gnome-keyring-daemon is not answering";
    }
    void TearDown() override {
        std::vector<credentials::KeyRingEntry> entries;
        if (credentials::KeyRingList(&entries) == KeyRingStatus::Ok)
            for (const auto& entry : entries) credentials::KeyRingForget(entry.host);
    }
    SmtpClientEnvironment client{SmtpClientEnvironment::KeyRing::Kept};
};

TEST_F(KeyRing, StoreLookUpReplaceForget) {
    ASSERT_EQ(credentials::KeyRingStore("SMTP.Example.JP", "blogger", "パス word 1"),
              KeyRingStatus::Ok);
    ASSERT_EQ(credentials::KeyRingStore("other.example.jp", "someone", "other"), KeyRingStatus::Ok);

    Credentials found;
    ASSERT_EQ(credentials::KeyRingLookup("smtp.example.jp", &found), KeyRingStatus::Ok);
    EXPECT_EQ(found.user, "blogger");
    EXPECT_EQ(found.password, "パス word 1");
    EXPECT_EQ(found.source, Source::KeyRing);

    // Storing for the same host replaces the item, whatever the user.
    ASSERT_EQ(credentials::KeyRingStore("smtp.example.jp", "writer", "second"), KeyRingStatus::Ok);
    ASSERT_EQ(credentials::KeyRingLookup("smtp.example.jp", &found), KeyRingStatus::Ok);
    EXPECT_EQ(found.user, "writer");
    EXPECT_EQ(found.password, "second");

    std::vector<credentials::KeyRingEntry> entries;
    ASSERT_EQ(credentials::KeyRingList(&entries), KeyRingStatus::Ok);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].host, "other.example.jp");
    EXPECT_EQ(entries[0].user, "someone");
    EXPECT_EQ(entries[1].host, "smtp.example.jp");
    EXPECT_EQ(entries[1].user, "writer");

    EXPECT_EQ(credentials::KeyRingForget("smtp.example.jp"), KeyRingStatus::Ok);
    EXPECT_EQ(credentials::KeyRingLookup("smtp.example.jp", &found), KeyRingStatus::NotFound);
    EXPECT_EQ(credentials::KeyRingForget("smtp.example.jp"), KeyRingStatus::NotFound);
    ASSERT_EQ(credentials::KeyRingLookup("other.example.jp", &found), KeyRingStatus::Ok);
    EXPECT_EQ(found.user, "someone");
}

TEST_F(KeyRing, KeyRingComesBeforeNetrcAndNetrcFillsIn) {
    client.writeNetrc(
        "machine smtp.example.jp login from-netrc password n1\n"
        "machine mail.example.jp login netrc-only password n2\n");
    ASSERT_EQ(credentials::KeyRingStore("smtp.example.jp", "from-key-ring", "k1"),
              KeyRingStatus::Ok);

    Credentials found = credentials::LookupCredentials("smtp.example.jp");
    EXPECT_EQ(found.source, Source::KeyRing);
    EXPECT_EQ(found.user, "from-key-ring");
    EXPECT_EQ(found.password, "k1");

    found = credentials::LookupCredentials("mail.example.jp");
    EXPECT_EQ(found.source, Source::Netrc);
    EXPECT_EQ(found.user, "netrc-only");

    EXPECT_FALSE(credentials::LookupCredentials("nothing.example.jp").Found());
}

TEST_F(KeyRing, StoredLoginGoesOutOnTheWire) {
    SmtpServer server(
        {.starttls = true, .user = "blogger", .password = "鍵の pass", .requireAuth = true});
    client.trustCaFile(server.caFile());
    ASSERT_EQ(credentials::KeyRingStore("127.0.0.1", "blogger", "鍵の pass"), KeyRingStatus::Ok);
    char error[80] = "";
    ASSERT_EQ(BSendMailEx(server.address().c_str(), "post@blog.example.jp", "writer@example.jp",
                          "s", "b", "", error, nullptr),
              BSMTP_SENT)
        << error;
    ASSERT_EQ(server.messages().size(), 1u);
    EXPECT_EQ(server.messages()[0].authUser, "blogger");
    EXPECT_TRUE(server.messages()[0].tls);

    // A wrong password in the key ring is refused, and that is recognisable.
    ASSERT_EQ(credentials::KeyRingStore("127.0.0.1", "blogger", "wrong"), KeyRingStatus::Ok);
    EXPECT_EQ(BSendMailEx(server.address().c_str(), "post@blog.example.jp", "writer@example.jp",
                          "s", "b", "", error, nullptr),
              BSMTP_LOGIN_REFUSED);
    EXPECT_EQ(server.messages().size(), 1u);

    // Forgotten: no login at all, and this server wants one.
    ASSERT_EQ(credentials::KeyRingForget("127.0.0.1"), KeyRingStatus::Ok);
    EXPECT_EQ(BSendMailEx(server.address().c_str(), "post@blog.example.jp", "writer@example.jp",
                          "s", "b", "", error, nullptr),
              BSMTP_FAILED);
    EXPECT_TRUE(std::string(error).starts_with("530 ")) << error;
}

TEST_F(KeyRing, WithoutTheSessionBusNetrcServesAndNothingWaits) {
    ASSERT_EQ(credentials::KeyRingStore("127.0.0.1", "from-key-ring", "k"), KeyRingStatus::Ok);
    SmtpServer server(
        {.user = "from-netrc", .password = "n", .requireAuth = true, .authWithoutTls = true});
    client.writeNetrc("machine 127.0.0.1 login from-netrc password n\n");
    const std::string bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_FALSE(credentials::KeyRingAvailable());
    char error[80] = "";
    const int result = BSendMail(server.address().c_str(), "post@blog.example.jp",
                                 "writer@example.jp", "s", "b", "", error);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    ASSERT_EQ(result, 1) << error;
    EXPECT_EQ(server.messages().at(0).authUser, "from-netrc");
}

// --- qubopost-cli credentials, the real program ----------------------------------------------

// Runs qubopost-cli with the arguments (words parted by blanks) and `input` on standard input,
// at most 60 s.
CliRun Cli(const SmtpClientEnvironment& client, const std::string& arguments,
           const std::string& input = "", bool withBus = true) {
    std::vector<std::string> args;
    std::istringstream words(arguments);
    for (std::string word; words >> word;) args.push_back(word);
    if (withBus)
        return RunWithInput(QUBOPOST_CLI, args, client.home(), input, std::chrono::seconds(60));
    args.insert(args.begin(), {"-u", "DBUS_SESSION_BUS_ADDRESS", QUBOPOST_CLI});
    return RunWithInput("/usr/bin/env", args, client.home(), input, std::chrono::seconds(60));
}

TEST_F(KeyRing, CliSetListForget) {
    CliRun run =
        Cli(client, "credentials set --server smtp.example.jp --user blogger", "ぱすわーど pw\r\n");
    ASSERT_EQ(run.status, 0) << run.err;
    Credentials found;
    ASSERT_EQ(credentials::KeyRingLookup("smtp.example.jp", &found), KeyRingStatus::Ok);
    EXPECT_EQ(found.user, "blogger");
    EXPECT_EQ(found.password, "ぱすわーど pw");  // the line end is not part of it

    // "host:port" is taken as the host; the password may come without a line end.
    run = Cli(client, "credentials set --server Mail.Example.JP:587 --user other", "x");
    ASSERT_EQ(run.status, 0) << run.err;

    run = Cli(client, "credentials list");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "mail.example.jp\tother\nsmtp.example.jp\tblogger\n");
    EXPECT_EQ(run.out.find("ぱすわーど"), std::string::npos);

    run = Cli(client, "credentials forget --server smtp.example.jp");
    EXPECT_EQ(run.status, 0) << run.err;
    run = Cli(client, "credentials forget --server smtp.example.jp");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("保存されていません"), std::string::npos) << run.err;
    run = Cli(client, "credentials list");
    EXPECT_EQ(run.out, "mail.example.jp\tother\n");

    run = Cli(client, "credentials set --server smtp.example.jp");
    EXPECT_EQ(run.status, 2);
    run = Cli(client, "credentials set --server smtp.example.jp --user b", "");
    EXPECT_EQ(run.status, 1);  // no password given
    EXPECT_EQ(credentials::KeyRingLookup("smtp.example.jp", &found), KeyRingStatus::NotFound);
}

TEST_F(KeyRing, CliWithoutKeyRingSaysSoAndPointsToNetrc) {
    for (const char* arguments : {"credentials list", "credentials forget --server a.example.jp",
                                  "credentials set --server a.example.jp --user u"}) {
        SCOPED_TRACE(arguments);
        const CliRun run = Cli(client, arguments, "pw\n", false);
        EXPECT_EQ(run.status, 3);
        EXPECT_NE(run.err.find("キーリング"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("~/.netrc"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace qubopost::test
