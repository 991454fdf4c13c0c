// The mail library's parts that need no network: the message it builds, the address and
// server checks, the TLS decision, the error texts.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <regex>
#include <set>

#include "mail/error_text.h"
#include "mail/message.h"
#include "mail/server.h"
#include "support/smtp_fixture.h"
#include "tests/mail/cp932.h"

namespace qubopost::test {
namespace {

using mail::BuildMailMessage;
using mail::MailFields;

constexpr time_t kSomeTime = 1717200000;  // 2024-06-01 00:00:00 UTC

std::vector<std::string> SplitCrLf(const std::string& message) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < message.size()) {
        size_t end = message.find("\r\n", pos);
        if (end == std::string::npos) end = message.size();
        lines.push_back(message.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// What every message must be, whatever went into it: 7-bit, CR LF only, short lines, and a
// header block holding exactly the expected fields once each (nothing injected).
void ExpectWellFormed(const std::string& message) {
    for (size_t i = 0; i < message.size(); ++i) {
        const auto c = static_cast<unsigned char>(message[i]);
        ASSERT_LT(c, 0x80) << "8-bit byte at " << i;
        ASSERT_NE(c, 0) << "NUL at " << i;
        if (c == '\r') {
            ASSERT_TRUE(i + 1 < message.size() && message[i + 1] == '\n') << "lone CR at " << i;
        }
        if (c == '\n') {
            ASSERT_TRUE(i > 0 && message[i - 1] == '\r') << "lone LF at " << i;
        }
    }
    ASSERT_TRUE(message.ends_with("\r\n"));
    const std::vector<std::string> lines = SplitCrLf(message);
    for (const std::string& line : lines) ASSERT_LE(line.size(), 998u);

    std::multiset<std::string> names;
    for (const std::string& line : lines) {
        if (line.empty()) break;
        if (line[0] == ' ' || line[0] == '\t') continue;
        const size_t colon = line.find(':');
        ASSERT_NE(colon, std::string::npos) << "not a header line: " << line;
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        names.insert(name);
    }
    EXPECT_EQ(names, (std::multiset<std::string>{"date", "from", "subject", "to", "message-id",
                                                 "mime-version", "content-type",
                                                 "content-transfer-encoding"}));
}

std::string Build(const MailFields& fields, std::string_view seed = "seed.1") {
    std::optional<std::string> message = BuildMailMessage(fields, kSomeTime, seed);
    EXPECT_TRUE(message.has_value());
    return message.value_or("");
}

ReceivedMail AsReceived(const std::string& message) { return ReceivedMail{.data = message}; }

bool IsValidUtf8(std::string_view text) {
    try {
        IconvAll("UTF-16LE", "UTF-8", text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// --- The message ---------------------------------------------------------------------------

TEST(MailMessage, JapaneseSubjectAndBodyDecodeToTheUtf8OfTheCp932Input) {
    // NEC row 13 (①, ㈱, Ⅲ), NEC-selected IBM and IBM extensions (纊, 髙), the CP932 mappings
    // of ～ and －, half-width katakana, and characters whose second byte is 0x5C (ソ, 表).
    const std::string subject = "【新着】お勧め情報①㈱Ⅲ 纊髙～－ ｱｲｳ ソ表";
    const std::string body =
        "お勧め情報のご案内 ↓↓\r\n\r\n説明文です。\nLF だけの行\rCR だけの行\r\n末尾";
    const std::string message = Build({.from = "writer@example.jp",
                                       .to = "post@blog.example.jp",
                                       .subject = Cp932(subject),
                                       .body = Cp932(body)});
    ExpectWellFormed(message);

    EXPECT_EQ(DecodedSubject(AsReceived(message)), subject);
    EXPECT_EQ(DecodedBody(AsReceived(message)),
              "お勧め情報のご案内 ↓↓\r\n\r\n説明文です。\r\nLF だけの行\r\nCR だけの行\r\n末尾");
    EXPECT_EQ(MailHeader(message, "From"), "writer@example.jp");
    EXPECT_EQ(MailHeader(message, "To"), "post@blog.example.jp");
    EXPECT_EQ(MailHeader(message, "MIME-Version"), "1.0");
    EXPECT_EQ(MailHeader(message, "Content-Type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(MailHeader(message, "Content-Transfer-Encoding"), "base64");
    EXPECT_EQ(MailHeader(message, "Message-Id"), "<seed.1@example.jp>");
    EXPECT_TRUE(std::regex_match(
        MailHeader(message, "Date"),
        std::regex(
            R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4})")))
        << MailHeader(message, "Date");
}

TEST(MailMessage, LongSubjectIsFoldedIntoEncodedWordsOfAtMost75Characters) {
    std::string subject;
    for (int i = 0; i < 40; ++i) subject += "日本語の件名";  // 240 characters, no blanks
    const std::string message = Build(
        {.from = "a@example.jp", .to = "b@example.jp", .subject = Cp932(subject), .body = ""});
    ExpectWellFormed(message);

    const std::vector<std::string> lines = SplitCrLf(message);
    size_t words = 0;
    bool inSubject = false;
    for (const std::string& line : lines) {
        if (line.starts_with("Subject:")) {
            inSubject = true;
        } else if (inSubject && !line.starts_with(" ")) {
            break;
        }
        if (!inSubject) continue;
        const std::string text = line.starts_with("Subject:") ? line.substr(8) : line;
        ASSERT_TRUE(text.starts_with(" =?UTF-8?B?")) << line;
        ASSERT_TRUE(text.ends_with("?=")) << line;
        EXPECT_LE(text.size() - 1, 75u) << line;
        EXPECT_LE(line.size(), 76u) << line;
        // Each word on its own holds whole characters.
        const std::string word = text.substr(1);
        EXPECT_TRUE(IsValidUtf8(DecodeBase64(word.substr(10, word.size() - 12)))) << line;
        ++words;
    }
    EXPECT_GE(words, 16u);  // 720 bytes of UTF-8, at most 45 a word
    EXPECT_EQ(DecodedSubject(AsReceived(message)), subject);
}

// RFC 2047: a header line that holds encoded words is at most 76 characters, "Subject: " in
// front of the first word included. Every other header line keeps to it too, unless an address
// alone is longer.
TEST(MailMessage, EveryHeaderLineFitsInto76Characters) {
    const std::string longDomain = "mail.blog-service." + std::string(37, 'x') + ".example.jp";  // 73 with "writer@"
    struct Case {
        const char* what;
        std::string subject;  // UTF-8
        std::string from = "a@example.jp";
        std::string seed = "1717200000.4242.7.0123456789abcdef";
    };
    const Case cases[] = {
        {"40 kanji (was 81 characters on the first line)", [] {
             std::string s;
             for (int i = 0; i < 40; ++i) s += "漢";
             return s;
         }()},
        {"ASCII, 39 bytes: fills the first word exactly", std::string(39, 'a')},
        {"ASCII, 40 bytes: one more than the first word holds", std::string(40, 'a')},
        {"ASCII, 200 bytes", std::string(200, 'q')},
        {"2-byte characters", [] {
             std::string s;
             for (int i = 0; i < 50; ++i) s += "Ж";
             return s;
         }()},
        {"mixed widths", "a日α×本語aα日本§語aα日本語×aα日本語×aα日本語×aα日本語×aα日本語×ｶﾀｶﾅ"},
        {"one character", "件"},
        {"a long sender domain", "件名", "writer@" + longDomain},
        {"a long Message-Id seed", "件名", "a@example.jp", std::string(120, '7')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<std::string> message =
            BuildMailMessage({.from = c.from, .to = "b@example.jp", .subject = Cp932(c.subject),
                              .body = "x"},
                             kSomeTime, c.seed);
        ASSERT_TRUE(message);
        ExpectWellFormed(*message);
        for (const std::string& line : SplitCrLf(*message)) {
            if (line.empty()) break;  // the end of the header
            EXPECT_LE(line.size(), 76u) << line;
        }
        EXPECT_EQ(DecodedSubject(AsReceived(*message)), c.subject);
        EXPECT_EQ(MailHeader(*message, "From"), c.from);
        const std::string id = MailHeader(*message, "Message-Id");
        EXPECT_TRUE(id.starts_with("<") && id.ends_with(">")) << id;
    }
}

TEST(MailMessage, FirstEncodedWordLeavesRoomForTheHeaderName) {
    // 67 characters after "Subject: " hold 52 base64 characters, 39 bytes of text.
    const std::vector<std::string> words = mail::EncodeSubjectWords(std::string(100, 'a'), 67);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0].size(), 64u);  // 12 + 52
    EXPECT_EQ(DecodeBase64(words[0].substr(10, 52)), std::string(39, 'a'));
    EXPECT_EQ(words[1].size(), 72u);  // 12 + 60: 45 bytes
    EXPECT_EQ(DecodeBase64(words[2].substr(10, words[2].size() - 12)), std::string(16, 'a'));
}

TEST(MailMessage, EncodedWordsNeverSplitACharacter) {
    // Every alignment of 1-, 2-, 3- and 4-byte characters against the word boundary.
    for (size_t prefix = 0; prefix < 8; ++prefix) {
        const std::string subject = std::string(prefix, 'a') + "é日𝄞本é語𝄞日本語𝄞ééé日本語𝄞日本語" +
                                    "𝄞日本語é𝄞日本語𝄞日本語é𝄞日本語";
        const std::vector<std::string> words = mail::EncodeSubjectWords(subject);
        std::string joined;
        for (const std::string& word : words) {
            ASSERT_LE(word.size(), 75u);
            const std::string text = DecodeBase64(word.substr(10, word.size() - 12));
            ASSERT_TRUE(IsValidUtf8(text)) << "prefix " << prefix << ": " << word;
            joined += text;
        }
        EXPECT_EQ(joined, subject);
    }
    EXPECT_TRUE(mail::EncodeSubjectWords("").empty());
}

TEST(MailMessage, LineEndsAndControlsInTheSubjectCannotStartAHeader) {
    // As a posting run cuts it: the title runs on into the line ends and the next lines.
    const std::string subject = "タイトル\r\n\r\nBcc: victim@example.jp\nX-Evil:\t1\x01\x7F";
    const std::string message = Build(
        {.from = "a@example.jp", .to = "b@example.jp", .subject = Cp932(subject), .body = "x"});
    ExpectWellFormed(message);
    EXPECT_EQ(MailHeader(message, "Bcc"), "");
    EXPECT_EQ(DecodedSubject(AsReceived(message)), "タイトル Bcc: victim@example.jp X-Evil: 1 ");
}

TEST(MailMessage, BodyKeepsEveryCharacterInShortBase64Lines) {
    std::string body;
    for (int i = 0; i < 300; ++i) body += "一行が長い本文 ";  // one line of 2400 characters
    body += "\n.\n..\nFrom the start\r\n";
    const std::string message =
        Build({.from = "a@example.jp", .to = "b@example.jp", .subject = "", .body = Cp932(body)});
    ExpectWellFormed(message);
    const std::string decoded = DecodedBody(AsReceived(message));
    EXPECT_EQ(decoded, std::regex_replace(body, std::regex("\r?\n"), "\r\n"));
    const std::string encoded = message.substr(message.find("\r\n\r\n") + 4);
    for (const std::string& line : SplitCrLf(encoded)) EXPECT_LE(line.size(), 76u);
}

TEST(MailMessage, MalformedCp932IsSubstitutedNotPassedOn) {
    // A lone lead byte at the end (a byte count cut a character), an undefined pair, 8-bit junk.
    const std::string message = Build({.from = "a@example.jp",
                                       .to = "b@example.jp",
                                       .subject = Cp932("件名") + "\x82",
                                       .body = "abc\x85\x40\xFF\xFD" + Cp932("終")});
    ExpectWellFormed(message);
    const std::string subject = DecodedSubject(AsReceived(message));
    EXPECT_TRUE(subject.starts_with("件名")) << subject;
    EXPECT_TRUE(IsValidUtf8(subject));
    const std::string body = DecodedBody(AsReceived(message));
    EXPECT_TRUE(body.starts_with("abc") && body.ends_with("終")) << body;
    EXPECT_TRUE(IsValidUtf8(body));
}

TEST(MailMessage, AddressHeadersHoldTheEnvelopeAddressesExactly) {
    // GMime on its own re-encodes "xn--" domains through IDNA, and may change others.
    for (const auto& [from, to] :
         {std::pair{"writer@example.jp", "post@xn--exampl"},
          std::pair{"taro..@docomo.ne.jp", "a=?b?=@xn--eckwd4c7c.xn--zckzah"}}) {
        const std::string message = Build({.from = from, .to = to, .subject = "s", .body = "b"});
        ExpectWellFormed(message);
        EXPECT_EQ(MailHeader(message, "From"), from);
        EXPECT_EQ(MailHeader(message, "To"), to);
    }
}

TEST(MailMessage, MessageIdIsUniquePerSeedAndAtAUsableDomain) {
    const MailFields fields{.from = "a@mail.example.jp", .to = "b@example.jp"};
    EXPECT_EQ(MailHeader(Build(fields, "1717200000.42.7.00ff"), "Message-Id"),
              "<1717200000.42.7.00ff@mail.example.jp>");
    EXPECT_NE(MailHeader(Build(fields, "1.2.3"), "Message-Id"),
              MailHeader(Build(fields, "1.2.4"), "Message-Id"));
    // A domain that cannot stand in a Message-Id as it is, and a seed with odd characters.
    EXPECT_EQ(MailHeader(Build({.from = "a@host_name", .to = "b@x"}, ".x<>y..z."), "Message-Id"),
              "<xy.z@qubopost.invalid>");
}

TEST(MailMessage, DateIsEnglishRfc5322AtTheGivenOffset) {
    EXPECT_EQ(mail::FormatMailDate(kSomeTime, 9 * 3600), "Sat, 01 Jun 2024 09:00:00 +0900");
    EXPECT_EQ(mail::FormatMailDate(kSomeTime, -(3 * 3600 + 30 * 60)),
              "Fri, 31 May 2024 20:30:00 -0330");
    EXPECT_EQ(mail::FormatMailDate(0, 0), "Thu, 01 Jan 1970 00:00:00 +0000");
}

TEST(MailMessage, RandomTextAlwaysGivesAWellFormedMessage) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 300; ++round) {
        std::string subject, body;
        for (int i = random() % 120; i > 0; --i) subject += static_cast<char>(random());
        for (int i = random() % 3000; i > 0; --i) body += static_cast<char>(random());
        const std::string message =
            Build({.from = "a@example.jp", .to = "b@example.jp", .subject = subject, .body = body});
        ExpectWellFormed(message);
        if (HasFatalFailure() || HasNonfatalFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
    }
}

// --- Addresses -----------------------------------------------------------------------------

TEST(MailAddress, AcceptsPlainAddresses) {
    for (const char* address : {"user@example.jp", "a.b-c_d+tag@blog.example.co.jp",
                                "taro..@docomo.ne.jp", ".x@localhost", "o'neil!#$%&*/=?^`{|}~@x"}) {
        EXPECT_TRUE(mail::IsValidMailAddress(address)) << address;
    }
    EXPECT_TRUE(mail::IsValidMailAddress(std::string(64, 'a') + "@" + std::string(189, 'b')));
}

TEST(MailAddress, RefusesWhatCouldInjectOrIsNoAddress) {
    const std::string fullWidth = Cp932("ｕｓｅｒ＠ｅｘａｍｐｌｅ．ｊｐ");
    for (const std::string& address : {std::string(""),
                                       std::string("user"),
                                       std::string("@example.jp"),
                                       std::string("user@"),
                                       std::string("a@b@example.jp"),
                                       std::string("us er@example.jp"),
                                       std::string("user@example.jp\r\nRCPT TO:<x@y>"),
                                       std::string("user@example.jp\n"),
                                       std::string("user\t@example.jp"),
                                       std::string("user@exa\x7Fmple.jp"),
                                       std::string("<user@example.jp>"),
                                       std::string("Name <user@example.jp>"),
                                       std::string("a,b@example.jp"),
                                       std::string("a@b;c"),
                                       std::string("\"a\"@example.jp"),
                                       std::string("a@[127.0.0.1]"),
                                       std::string("a@exam!ple.jp"),
                                       std::string("a@example.jp."),
                                       std::string("a@.example.jp"),
                                       std::string("a@example..jp"),
                                       std::string("a@."),
                                       Cp932("ユーザ@example.jp"),
                                       fullWidth,
                                       std::string("a\0b@example.jp", 14),
                                       std::string(64, 'a') + "@" + std::string(190, 'b')}) {
        EXPECT_FALSE(mail::IsValidMailAddress(address)) << address;
    }
}

// --- Server argument and TLS ---------------------------------------------------------------

TEST(MailServer, ParsesHostAndPort) {
    std::string error;
    auto server = mail::ParseServerAddress("smtp.example.jp:587", &error);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->host, "smtp.example.jp");
    EXPECT_EQ(server->port, 587);
    EXPECT_FALSE(server->ipv6);

    server = mail::ParseServerAddress(" 127.0.0.1 : 25 ", &error);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->host, "127.0.0.1");
    EXPECT_EQ(server->port, 25);

    server = mail::ParseServerAddress("[::1]:2525", &error);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->host, "::1");
    EXPECT_TRUE(server->ipv6);
    EXPECT_EQ(mail::SmtpUrl(*server), "smtp://[::1]:2525");

    server = mail::ParseServerAddress("smtps://smtp.example.jp:2465", &error);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->host, "smtp.example.jp");
    EXPECT_TRUE(server->implicitTls);
    EXPECT_EQ(mail::SmtpUrl(*server), "smtps://smtp.example.jp:2465");
    EXPECT_EQ(mail::ChooseTlsMode(*server, false), mail::TlsMode::Implicit);

    server = mail::ParseServerAddress("SMTP://[::1]:25", &error);
    ASSERT_TRUE(server);
    EXPECT_FALSE(server->implicitTls);
    EXPECT_EQ(mail::SmtpUrl(*server), "smtp://[::1]:25");
}

TEST(MailServer, RefusesAServerWithoutAUsablePort) {
    for (const char* text : {"smtp.example.jp", "smtp.example.jp:", "smtp.example.jp:abc",
                             "smtp.example.jp:0", "smtp.example.jp:65536", "smtp.example.jp:-25",
                             ":25", "::1:25", "[::1]", "[::1]25", "[zz::1]:25", "[::1:25",
                             "smtp.example.jp/x:25", "user@smtp.example.jp:25", "a b:25", ""}) {
        std::string error;
        EXPECT_FALSE(mail::ParseServerAddress(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_LE(error.size(), 79u);
    }
    std::string error;
    mail::ParseServerAddress("smtp.example.jp", &error);
    EXPECT_NE(error.find("port"), std::string::npos) << error;
}

TEST(MailServer, CredentialsNeedTlsExceptOnLoopback) {
    using mail::TlsMode;
    const mail::ServerAddress remote{"smtp.example.jp", 587, false};
    EXPECT_EQ(mail::ChooseTlsMode(remote, true), TlsMode::Required);
    EXPECT_EQ(mail::ChooseTlsMode(remote, false), TlsMode::Opportunistic);
    EXPECT_EQ(mail::ChooseTlsMode({"192.0.2.1", 25, false}, true), TlsMode::Required);
    EXPECT_EQ(mail::ChooseTlsMode({"127.0.0.1", 25, false}, true), TlsMode::Opportunistic);
    EXPECT_EQ(mail::ChooseTlsMode({"::1", 25, true}, true), TlsMode::Opportunistic);
    EXPECT_EQ(mail::ChooseTlsMode({"smtp.example.jp", 465, false}, false), TlsMode::Implicit);
    EXPECT_EQ(mail::SmtpUrl({"smtp.example.jp", 465, false}), "smtps://smtp.example.jp:465");
    EXPECT_EQ(mail::SmtpUrl(remote), "smtp://smtp.example.jp:587");

    for (const char* host : {"127.0.0.1", "127.1.2.3", "localhost", "LocalHost", "::1",
                             "0:0:0:0:0:0:0:1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(mail::IsLoopbackHost(host)) << host;
    for (const char* host : {"128.0.0.1", "10.0.0.1", "::2", "::ffff:10.0.0.1",
                             "localhost.example.jp", "127.0.0.1.example.jp", "my-localhost"})
        EXPECT_FALSE(mail::IsLoopbackHost(host)) << host;
}

// --- Error texts ---------------------------------------------------------------------------

TEST(MailErrorText, FitsInto79BytesWithoutCuttingADoubleByteCharacter) {
    char buffer[80];
    std::memset(buffer, 'X', sizeof buffer);
    mail::CopyErrorText(buffer, std::string(200, 'e'));
    EXPECT_EQ(std::string(buffer), std::string(79, 'e'));

    // Two ASCII bytes, then double-byte characters: byte 79 would be the first half of one.
    const std::string japanese =
        "55" + Cp932(
                   "宛先のメールアドレスは存在しません。もう一度ご確認の上、送信してください。"
                   "よろしくお願いします。");
    ASSERT_GT(japanese.size(), 80u);
    mail::CopyErrorText(buffer, japanese);
    const std::string copied(buffer);
    EXPECT_EQ(copied.size(), 78u);
    EXPECT_EQ(copied, japanese.substr(0, 78));
    EXPECT_NO_THROW(Utf8FromCp932(copied));

    // Half-width katakana are single bytes; a lead byte with no second byte is dropped.
    mail::CopyErrorText(buffer, std::string(Cp932("ｴﾗｰ")) + "\x82");
    EXPECT_EQ(std::string(buffer), Cp932("ｴﾗｰ"));
    // A NUL ends the text.
    mail::CopyErrorText(buffer, std::string_view("550 a\0b", 7));
    EXPECT_EQ(std::string(buffer), "550 a");
    mail::CopyErrorText(nullptr, "ignored");
}

TEST(MailErrorText, ServerRepliesAreJoinedAndConverted) {
    mail::ServerReplies replies;
    // As libcurl hands them over: in pieces that do not follow the lines.
    for (std::string_view piece : {"220 smtp.test ES", "MTP\r\n250-smtp.test\r\n250 8BIT",
                                   "MIME\r\n550-5.1.1 The account\r\n", "550-5.1.1 does not\r",
                                   "\n550 5.1.1 exist. x\r\n"}) {
        replies.Feed(piece);
    }
    EXPECT_EQ(replies.Last(), "550 5.1.1 The account 5.1.1 does not 5.1.1 exist. x");
    EXPECT_TRUE(replies.LastIsFailure());
    replies.Feed("250 2.0.0 Ok\r\n");
    EXPECT_FALSE(replies.LastIsFailure());

    EXPECT_EQ(mail::ServerTextToCp932("550 宛先不明\ttab"), Cp932("550 宛先不明 tab"));
    EXPECT_EQ(mail::ServerTextToCp932("550 bad \xFF utf-8"), "550 bad ? utf-8");
}

}  // namespace
}  // namespace qubopost::test
