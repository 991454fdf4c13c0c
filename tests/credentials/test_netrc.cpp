// The ~/.netrc reader: the spellings people write, read the way they mean them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "credentials/credentials.h"
#include "support/smtp_fixture.h"

namespace qubopost::test {
namespace {

using credentials::Credentials;
using credentials::NetrcLookup;
using credentials::NetrcStatus;
using credentials::Source;

struct Expected {
    std::string user;
    std::string password;
};

struct Case {
    const char* what;
    std::string text;
    std::string host;
    std::optional<Expected> expected;  // nothing: no credentials for the host
};

TEST(Netrc, ReadsTheCommonSpellings) {
    const Case cases[] = {
        {"one line", "machine smtp.example.jp login blogger password secret\n", "smtp.example.jp",
         Expected{"blogger", "secret"}},
        {"one word a line, indented",
         "machine smtp.example.jp\n  login blogger\n  password secret\n", "smtp.example.jp",
         Expected{"blogger", "secret"}},
        {"a comment line ending in a keyword before the entry",
         "# SMTP login\nmachine smtp.example.jp login blogger password secret\n", "smtp.example.jp",
         Expected{"blogger", "secret"}},
        {"comment lines ending in every keyword",
         "# my machine\n#password\n# default\n# macdef\nmachine smtp.example.jp login b password s\n",
         "smtp.example.jp", Expected{"b", "s"}},
        {"a comment after the entry",
         "machine smtp.example.jp login blogger password secret # the blog's mail\n",
         "smtp.example.jp", Expected{"blogger", "secret"}},
        {"capitalised keywords", "Machine smtp.example.jp Login blogger Password secret\n",
         "smtp.example.jp", Expected{"blogger", "secret"}},
        {"upper-case keywords", "MACHINE smtp.example.jp LOGIN blogger PASSWORD secret\n",
         "smtp.example.jp", Expected{"blogger", "secret"}},
        {"the host in another case", "machine SMTP.Example.JP login blogger password secret\n",
         "smtp.example.jp", Expected{"blogger", "secret"}},
        {"CR LF line ends", "machine smtp.example.jp\r\nlogin blogger\r\npassword secret\r\n",
         "smtp.example.jp", Expected{"blogger", "secret"}},
        {"a macdef in a CR LF file before the entry",
         "macdef init\r\ncd /pub\r\nmachine evil.example.jp login x password y\r\n\r\n"
         "machine smtp.example.jp login blogger password secret\r\n",
         "smtp.example.jp", Expected{"blogger", "secret"}},
        {"a macro body is not read as entries",
         "macdef init\nmachine smtp.example.jp login x password y\n\n", "smtp.example.jp",
         std::nullopt},
        {"a macro body ends at a line of blanks",
         "macdef init\ncd /pub\n   \t\nmachine smtp.example.jp login blogger password secret\n",
         "smtp.example.jp", Expected{"blogger", "secret"}},
        {"quoted values with blanks and escapes",
         "machine \"smtp.example.jp\" login \"a b\" password \"p\\\"w #1\"\n", "smtp.example.jp",
         Expected{"a b", "p\"w #1"}},
        {"a value that starts like a comment", "machine smtp.example.jp login b password #secret\n",
         "smtp.example.jp", Expected{"b", "#secret"}},
        {"a value that is a keyword", "machine smtp.example.jp login default password machine\n",
         "smtp.example.jp", Expected{"default", "machine"}},
        {"UTF-8 password", "machine smtp.example.jp login b password パスワード\n",
         "smtp.example.jp", Expected{"b", "パスワード"}},
        {"account is passed over", "machine smtp.example.jp account acc login b password s\n",
         "smtp.example.jp", Expected{"b", "s"}},
        {"the default entry", "default login blogger password secret\n", "any.example.jp",
         Expected{"blogger", "secret"}},
        {"a machine entry wins over the default",
         "default login d password dd\nmachine smtp.example.jp login m password mm\n",
         "smtp.example.jp", Expected{"m", "mm"}},
        {"the default stands in for other hosts",
         "machine other.example.jp login m password mm\ndefault login d password dd\n",
         "smtp.example.jp", Expected{"d", "dd"}},
        {"the first entry for the host wins",
         "machine smtp.example.jp login first password 1\nmachine smtp.example.jp login second password 2\n",
         "smtp.example.jp", Expected{"first", "1"}},
        {"another machine's values stay with it",
         "machine other.example.jp login u password p\nmachine smtp.example.jp login b password s\n",
         "smtp.example.jp", Expected{"b", "s"}},
        {"a password without a login is no login", "machine smtp.example.jp password secret\n",
         "smtp.example.jp", std::nullopt},
        {"a login without a password", "machine smtp.example.jp login blogger\n", "smtp.example.jp",
         Expected{"blogger", ""}},
        {"a machine name as a password is not an entry",
         "machine other.example.jp login u password smtp.example.jp\n", "smtp.example.jp",
         std::nullopt},
        {"a longer host name does not match", "machine mail.smtp.example.jp login u password p\n",
         "smtp.example.jp", std::nullopt},
        {"an empty file", "", "smtp.example.jp", std::nullopt},
        {"only comments", "# nothing here\n#machine smtp.example.jp login b password s\n",
         "smtp.example.jp", std::nullopt},
        {"an IPv6 host", "machine ::1 login b password s\n", "::1", Expected{"b", "s"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Credentials found{"untouched", "untouched", Source::None};
        const NetrcStatus status = NetrcLookup(c.text, c.host, &found);
        if (!c.expected) {
            EXPECT_EQ(status, NetrcStatus::NotFound);
            EXPECT_EQ(found.user, "untouched");
            continue;
        }
        ASSERT_EQ(status, NetrcStatus::Found);
        EXPECT_EQ(found.user, c.expected->user);
        EXPECT_EQ(found.password, c.expected->password);
        EXPECT_EQ(found.source, Source::Netrc);
    }
}

TEST(Netrc, AnUnclosedQuoteIsReportedNotGuessed) {
    Credentials found;
    EXPECT_EQ(NetrcLookup("machine smtp.example.jp login b password \"secret\n", "smtp.example.jp",
                          &found),
              NetrcStatus::Malformed);
    EXPECT_FALSE(found.Found());
}

class NetrcFile : public ::testing::Test {
protected:
    SmtpClientEnvironment client;  // HOME of its own, NETRC and the session bus unset
};

TEST_F(NetrcFile, PathIsNetrcElseHome) {
    EXPECT_EQ(credentials::NetrcPath(), client.home() + "/.netrc");
    setenv("NETRC", "/somewhere/netrc", 1);  // put back by the fixture
    EXPECT_EQ(credentials::NetrcPath(), "/somewhere/netrc");
}

TEST_F(NetrcFile, LookupCredentialsReadsTheFileWhenThereIsNoKeyRing) {
    EXPECT_FALSE(credentials::KeyRingAvailable());
    EXPECT_FALSE(credentials::LookupCredentials("smtp.example.jp").Found());  // no file

    client.writeNetrc("Machine smtp.example.jp Login blogger Password secret\r\n");
    std::string problem;
    const Credentials found = credentials::LookupCredentials("smtp.example.jp", &problem);
    EXPECT_EQ(problem, "");
    EXPECT_EQ(found.source, Source::Netrc);
    EXPECT_EQ(found.user, "blogger");
    EXPECT_EQ(found.password, "secret");

    client.writeNetrc("machine smtp.example.jp login blogger password \"secret\n");
    EXPECT_FALSE(credentials::LookupCredentials("smtp.example.jp", &problem).Found());
    EXPECT_NE(problem.find(".netrc"), std::string::npos) << problem;
}

TEST_F(NetrcFile, WithoutASessionBusTheKeyRingIsUnavailableAtOnce) {
    Credentials found;
    EXPECT_EQ(credentials::KeyRingLookup("smtp.example.jp", &found),
              credentials::KeyRingStatus::Unavailable);
    EXPECT_EQ(credentials::KeyRingStore("smtp.example.jp", "u", "p"),
              credentials::KeyRingStatus::Unavailable);
    EXPECT_EQ(credentials::KeyRingForget("smtp.example.jp"),
              credentials::KeyRingStatus::Unavailable);
    std::vector<credentials::KeyRingEntry> entries;
    EXPECT_EQ(credentials::KeyRingList(&entries), credentials::KeyRingStatus::Unavailable);
    // A bus address where nothing listens is no key ring either.
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + client.home() + "/no-bus").c_str(), 1);
    EXPECT_EQ(credentials::KeyRingLookup("smtp.example.jp", &found),
              credentials::KeyRingStatus::Unavailable);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

TEST(NormaliseHost, LowerCaseWithoutBrackets) {
    EXPECT_EQ(credentials::NormaliseHost(" SMTP.Example.JP "), "smtp.example.jp");
    EXPECT_EQ(credentials::NormaliseHost("[::1]"), "::1");
    EXPECT_EQ(credentials::NormaliseHost("127.0.0.1"), "127.0.0.1");
}

}  // namespace
}  // namespace qubopost::test
