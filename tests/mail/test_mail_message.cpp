// The mail library's parts that need no network: the message it builds, the address and
// server checks, the TLS decision, the error texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
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

// Strict base64 (RFC 4648): groups of four, "=" padding only at the very end; nullopt for
// anything else.
std::optional<std::string> StrictBase64(std::string_view text) {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    for (size_t i = 0; i < text.size(); i += 4) {
        uint32_t bits = 0;
        int padding = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            const size_t value = kAlphabet.find(c);
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                ++padding;
            } else if (value == std::string_view::npos || padding > 0) {
                return std::nullopt;
            }
            bits = bits << 6 | (c == '=' ? 0 : static_cast<uint32_t>(value));
        }
        out += static_cast<char>(bits >> 16);
        if (padding < 2) out += static_cast<char>(bits >> 8 & 0xFF);
        if (padding < 1) out += static_cast<char>(bits & 0xFF);
    }
    return out;
}

// RFC 2045 quoted-printable, strictly: "=" followed by two upper-case hex digits is that byte,
// "=" at the end of a line is a soft line break, CR LF is a line end, printable ASCII and the
// blank stand for themselves. nullopt for anything else (a lone CR or LF, an 8-bit byte, "=" with
// anything else after it, a blank or tab before a line end, a line over 76 characters).
std::optional<std::string> StrictQuotedPrintable(std::string_view encoded) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string out;
    size_t lineStart = 0;
    for (size_t i = 0; i < encoded.size();) {
        const char c = encoded[i];
        if (c == '\r' || c == '\n') {
            if (encoded.substr(i, 2) != "\r\n" || i - lineStart > 76) return std::nullopt;
            if (i > lineStart && (encoded[i - 1] == ' ' || encoded[i - 1] == '\t'))
                return std::nullopt;
            out += "\r\n";
            i += 2;
            lineStart = i;
        } else if (c == '=') {
            if (encoded.substr(i + 1, 2) == "\r\n") {
                if (i + 1 - lineStart > 76) return std::nullopt;
                i += 3;
                lineStart = i;
                continue;
            }
            if (i + 2 >= encoded.size()) return std::nullopt;
            const size_t high = kHex.find(encoded[i + 1]), low = kHex.find(encoded[i + 2]);
            if (high == std::string_view::npos || low == std::string_view::npos)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 3;
        } else if (c >= ' ' && c <= '~') {
            out += c;
            ++i;
        } else {
            return std::nullopt;
        }
    }
    if (encoded.size() - lineStart > 76) return std::nullopt;
    return out;
}

std::string BodyOf(const std::string& message) {
    const size_t split = message.find("\r\n\r\n");
    return split == std::string::npos ? std::string() : message.substr(split + 4);
}

// The body read back by RFC 2045 quoted-printable; "<not quoted-printable>" when it is not.
std::string QuotedPrintableBody(const std::string& message) {
    return StrictQuotedPrintable(BodyOf(message)).value_or("<not quoted-printable>");
}

std::string CrLf(const std::string& text) {
    return std::regex_replace(text, std::regex("\r\n|\r|\n"), "\r\n");
}

// The header lines of a message, up to the empty line.
std::vector<std::string> HeaderLines(const std::string& message) {
    std::vector<std::string> lines = SplitCrLf(message);
    lines.erase(std::find(lines.begin(), lines.end(), std::string()), lines.end());
    return lines;
}

// What every message must be, whatever went into it: 7-bit, CR LF only, short lines, a header
// block holding exactly the expected fields once each (nothing injected) with the Subject on
// one line, and a quoted-printable body of lines up to 76 characters, none of them starting
// with "." or "From ".
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
    const std::vector<std::string> header = HeaderLines(message);
    for (size_t i = 0; i < header.size(); ++i) {
        if (!header[i].starts_with("Subject:")) continue;
        ASSERT_TRUE(i + 1 == header.size() || (header[i + 1][0] != ' ' && header[i + 1][0] != '\t'))
            << "the Subject goes on to a second line: " << header[i + 1];
    }
    EXPECT_EQ(MailHeader(message, "Content-Transfer-Encoding"), "quoted-printable");
    const std::string body = BodyOf(message);
    for (const std::string& line : SplitCrLf(body)) {
        ASSERT_LE(line.size(), 76u) << line;
        ASSERT_FALSE(line.starts_with(".") || line.starts_with("From ")) << line;
    }
    ASSERT_TRUE(StrictQuotedPrintable(body).has_value()) << body;
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
    EXPECT_EQ(QuotedPrintableBody(message),
              "お勧め情報のご案内 ↓↓\r\n\r\n説明文です。\r\nLF だけの行\r\nCR だけの行\r\n末尾");
    EXPECT_EQ(MailHeader(message, "From"), "writer@example.jp");
    EXPECT_EQ(MailHeader(message, "To"), "post@blog.example.jp");
    EXPECT_EQ(MailHeader(message, "MIME-Version"), "1.0");
    EXPECT_EQ(MailHeader(message, "Content-Type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(MailHeader(message, "Content-Transfer-Encoding"), "quoted-printable");
    EXPECT_EQ(MailHeader(message, "Message-Id"), "<seed.1@example.jp>");
    EXPECT_TRUE(std::regex_match(
        MailHeader(message, "Date"),
        std::regex(
            R"((Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d [+-]\d{4})")))
        << MailHeader(message, "Date");
}

// A subject longer than the one line holds keeps its first characters: the line stays within
// RFC 5322's 998 characters. 13 full words of 15 kanji (45 bytes in 60 base64 characters, 72
// with "=?UTF-8?B?" and "?="), each after a blank, take 949 of the 989 characters after
// "Subject: ", so at least 195 characters are kept, and the line is full: no room for one more
// blank and word of one character (1 + 12 + 8).
TEST(MailMessage, LongSubjectStaysOnOneLineInEncodedWordsOfAtMost75Characters) {
    std::string subject;
    for (int i = 0; i < 40; ++i) subject += "日本語の件名";  // 240 characters, no blanks
    const std::string message = Build(
        {.from = "a@example.jp", .to = "b@example.jp", .subject = Cp932(subject), .body = ""});
    ExpectWellFormed(message);

    const std::vector<std::string> header = HeaderLines(message);
    const auto line = std::find_if(header.begin(), header.end(),
                                   [](const std::string& l) { return l.starts_with("Subject: "); });
    ASSERT_NE(line, header.end());
    EXPECT_LE(line->size(), 998u);
    EXPECT_GT(line->size(), 998u - 21u) << *line;
    std::string decoded;
    size_t words = 0;
    for (size_t pos = 9; pos < line->size();) {
        size_t end = line->find(' ', pos);
        if (end == std::string::npos) end = line->size();
        const std::string word = line->substr(pos, end - pos);
        ASSERT_TRUE(word.starts_with("=?UTF-8?B?") && word.ends_with("?=")) << word;
        EXPECT_LE(word.size(), 75u) << word;
        // Each word on its own holds whole characters.
        const std::optional<std::string> text = StrictBase64(word.substr(10, word.size() - 12));
        ASSERT_TRUE(text) << word;
        EXPECT_TRUE(IsValidUtf8(*text)) << word;
        decoded += *text;
        ++words;
        pos = end + 1;
    }
    EXPECT_GE(words, 13u);
    EXPECT_GE(decoded.size(), 195u * 3);
    EXPECT_EQ(decoded, subject.substr(0, decoded.size()));
    EXPECT_EQ(DecodedSubject(AsReceived(message)), decoded);
}

// Every header line but the Subject keeps to RFC 2047's 76 characters, unless an address alone
// is longer; the Subject is one line of at most 998.
TEST(MailMessage, EveryHeaderLineButTheSubjectFitsInto76Characters) {
    const std::string longDomain =
        "mail.blog-service." + std::string(37, 'x') + ".example.jp";  // 73 with "writer@"
    struct Case {
        const char* what;
        std::string subject;  // UTF-8
        std::string from = "a@example.jp";
        std::string seed = "1717200000.4242.7.0123456789abcdef";
    };
    const Case cases[] = {
        {"40 kanji (was 81 characters on the first line)",
         [] {
             std::string s;
             for (int i = 0; i < 40; ++i) s += "漢";
             return s;
         }()},
        {"ASCII, 39 bytes: fills the first word exactly", std::string(39, 'a')},
        {"ASCII, 40 bytes: one more than the first word holds", std::string(40, 'a')},
        {"ASCII, 200 bytes", std::string(200, 'q')},
        {"2-byte characters",
         [] {
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
        const std::optional<std::string> message = BuildMailMessage(
            {.from = c.from, .to = "b@example.jp", .subject = Cp932(c.subject), .body = "x"},
            kSomeTime, c.seed);
        ASSERT_TRUE(message);
        ExpectWellFormed(*message);
        for (const std::string& line : HeaderLines(*message)) {
            EXPECT_LE(line.size(), line.starts_with("Subject:") ? 998u : 76u) << line;
        }
        EXPECT_EQ(DecodedSubject(AsReceived(*message)), c.subject);
        EXPECT_EQ(MailHeader(*message, "From"), c.from);
        const std::string id = MailHeader(*message, "Message-Id");
        EXPECT_TRUE(id.starts_with("<") && id.ends_with(">")) << id;
    }
}

TEST(MailMessage, EncodedWordsFillTheRoomGivenAndLeaveTheRestOut) {
    // 67 characters hold one word of 52 base64 characters, 39 bytes of text; the 3 left over
    // cannot hold a blank and another word.
    std::vector<std::string> words = mail::EncodeSubjectWords(std::string(100, 'a'), 67);
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ(words[0].size(), 64u);  // 12 + 52
    EXPECT_EQ(StrictBase64(words[0].substr(10, 52)), std::string(39, 'a'));
    // 165 characters: a full word (12 + 60: 45 bytes), a blank, a full word: 145; a blank and
    // a third word of at least 20 characters do not fit into the 20 left.
    words = mail::EncodeSubjectWords(std::string(100, 'a'), 165);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].size(), 72u);
    EXPECT_EQ(words[1].size(), 72u);
    // 166: the third word has 20 characters, 8 of base64 for 6 bytes; 4 of the 100 are left out.
    words = mail::EncodeSubjectWords(std::string(100, 'a'), 166);
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[2].size(), 20u);
    EXPECT_EQ(StrictBase64(words[2].substr(10, 8)), std::string(6, 'a'));
    // A word needs 20 characters to hold a character of four bytes: none fits into 19.
    EXPECT_TRUE(mail::EncodeSubjectWords("🍣", 19).empty());
    ASSERT_EQ(mail::EncodeSubjectWords("🍣", 20).size(), 1u);
    EXPECT_EQ(StrictBase64(mail::EncodeSubjectWords("🍣", 20)[0].substr(10, 8)), "🍣");
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
            const std::string text =
                StrictBase64(word.substr(10, word.size() - 12)).value_or("<not base64>");
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

TEST(MailMessage, BodyKeepsEveryCharacterInShortQuotedPrintableLines) {
    std::string body;
    for (int i = 0; i < 300; ++i) body += "一行が長い本文 ";  // one line of 2400 characters
    body += "\n.\n..\nFrom the start\r\n";
    const std::string message =
        Build({.from = "a@example.jp", .to = "b@example.jp", .subject = "", .body = Cp932(body)});
    ExpectWellFormed(message);
    const std::string decoded = QuotedPrintableBody(message);
    EXPECT_EQ(decoded, std::regex_replace(body, std::regex("\r?\n"), "\r\n"));
    const std::string encoded = message.substr(message.find("\r\n\r\n") + 4);
    for (const std::string& line : SplitCrLf(encoded)) EXPECT_LE(line.size(), 76u);
}

// n Japanese characters, each of three bytes in UTF-8.
std::string JapaneseChars(size_t n) {
    const std::string sample = "日本語ブログの新着記事です春夏秋冬";
    std::string text;
    while (text.size() < 3 * n) text += sample;
    return text.substr(0, 3 * n);
}

std::string BuildUtf8(const std::string& subject, const std::string& body) {
    return Build({.from = "writer@example.jp",
                  .to = "post@blog.example.jp",
                  .subject = subject,
                  .body = body,
                  .utf8 = true});
}

// Blog gateways read only the line holding "Subject: ": the whole title is there, as RFC 2047
// "B" words of whole characters, each at most 75 characters, separated by single blanks.
TEST(MailMessage, SubjectIsOneLineOfEncodedWordsThatDecodeToTheTitle) {
    const std::string mixed = "①新着～〜　♡👍🏽🍣 記事　タイトル①";
    struct Case {
        const char* what;
        std::string title;  // UTF-8
    };
    const Case cases[] = {
        {"1 Japanese character", JapaneseChars(1)},
        {"13 Japanese characters", JapaneseChars(13)},
        {"14 Japanese characters", JapaneseChars(14)},
        {"15 Japanese characters (45 bytes, one full word)", JapaneseChars(15)},
        {"16 Japanese characters", JapaneseChars(16)},
        {"40 Japanese characters", JapaneseChars(40)},
        {"60 Japanese characters", JapaneseChars(60)},
        {"190 Japanese characters", JapaneseChars(190)},
        {"ASCII", "Hello, World"},
        {"ASCII, 200 bytes with blanks",
         [] {
             std::string s;
             while (s.size() < 200) s += "The quick brown fox ";
             return s;
         }()},
        {"ASCII that looks like an encoded word", "=?UTF-8?B?QUJD?= not a word ?="},
        {"blanks at both ends and two together", "  two  blanks  "},
        {"mixed", mixed},
        {"mixed, 4-byte characters at every word boundary",
         [&] {
             std::string s;
             for (int i = 0; i < 6; ++i) s += "a" + mixed;
             return s;
         }()},
        {"the skin-tone modifier after the hand",
         "👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽"},
        {"full-width blanks", "　　全角　空白　　"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = BuildUtf8(c.title, "本文");
        ExpectWellFormed(message);
        std::vector<std::string> subjectLines;
        for (const std::string& line : HeaderLines(message)) {
            if (line.starts_with("Subject:")) {
                subjectLines.push_back(line);
            } else {
                EXPECT_LE(line.size(), 78u) << line;
            }
        }
        ASSERT_EQ(subjectLines.size(), 1u);
        const std::string& line = subjectLines[0];
        ASSERT_TRUE(line.starts_with("Subject: ")) << line;
        EXPECT_LE(line.size(), 998u);
        std::string decoded;
        size_t pos = 9;  // after "Subject: "
        while (true) {
            const size_t end = std::min(line.find(' ', pos), line.size());
            const std::string word = line.substr(pos, end - pos);
            ASSERT_TRUE(word.size() > 12 && word.starts_with("=?UTF-8?B?") && word.ends_with("?="))
                << "not an encoded word: \"" << word << "\" in " << line;
            EXPECT_LE(word.size(), 75u) << word;
            const std::optional<std::string> text = StrictBase64(word.substr(10, word.size() - 12));
            ASSERT_TRUE(text) << word;
            EXPECT_TRUE(IsValidUtf8(*text)) << "a word splits a character: " << word;
            decoded += *text;
            if (end == line.size()) break;
            pos = end + 1;
        }
        EXPECT_EQ(decoded, c.title);
        EXPECT_EQ(DecodedSubject(AsReceived(message)), c.title);
    }
}

// The body as WordPress's mail gateway reads it: quoted-printable, decoded by RFC 2045 to the
// exact text with CR LF line ends. ExpectWellFormed checks the lines: at most 76 characters,
// 7-bit, "=" only before two upper-case hex digits or a line end, no blank or tab before a line
// end, none starting with "." or "From ".
TEST(MailMessage, BodyIsQuotedPrintableThatDecodesToTheExactText) {
    const std::string longUrl = "https://blog.example.jp/2024/06/01/" + std::string(90, 'p') +
                                "/index.html?q=%E6%97%A5&x=1&y=" + std::string(40, 'z');
    struct Case {
        const char* what;
        std::string body;      // UTF-8, any line ends
        std::string expected;  // what decoding gives back
    };
    const Case cases[] = {
        {"long Japanese lines", JapaneseChars(300) + "\n" + JapaneseChars(26) + "\n",
         JapaneseChars(300) + "\r\n" + JapaneseChars(26) + "\r\n"},
        {"lines beginning with a dot", ".\n..\n.hidden\n. \nend",
         ".\r\n..\r\n.hidden\r\n. \r\nend"},
        {"lines beginning with From", "From me to you\nFrom\nFrom:\n>From x\nfrom y\n",
         "From me to you\r\nFrom\r\nFrom:\r\n>From x\r\nfrom y\r\n"},
        {"trailing blanks and tabs", "trail   \ntab\t\n \n\t\r\nlast blank ",
         "trail   \r\ntab\t\r\n \r\n\t\r\nlast blank "},
        {"= characters", "a=b\n=41=\n==\n=\n" + std::string(80, '='),
         "a=b\r\n=41=\r\n==\r\n=\r\n" + std::string(80, '=')},
        {"a URL longer than 76", "見てね " + longUrl + "\n" + longUrl,
         "見てね " + longUrl + "\r\n" + longUrl},
        {"a dot where a soft line break falls", std::string(75, 'a') + ".b\r\n",
         std::string(75, 'a') + ".b\r\n"},
        {"From where a soft line break falls", std::string(75, 'a') + "From here",
         std::string(75, 'a') + "From here"},
        {"a character across the 76th column",
         std::string(74, 'a') + "日本\n" + std::string(73, 'b') + "日\n" + std::string(72, 'c') +
             "é",
         std::string(74, 'a') + "日本\r\n" + std::string(73, 'b') + "日\r\n" +
             std::string(72, 'c') + "é"},
        {"76 and 77 ASCII characters", std::string(76, 'x') + "\n" + std::string(77, 'y'),
         std::string(76, 'x') + "\r\n" + std::string(77, 'y')},
        {"no text", "", ""},
        {"only line ends, of every kind", "\n\r\n\r\r\n", "\r\n\r\n\r\n\r\n"},
        {"controls, tabs inside lines, emoji", "a\tb\x01\x7F ♡👍🏽🍣〜～①　end\n",
         "a\tb\x01\x7F ♡👍🏽🍣〜～①　end\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string message = BuildUtf8("件名", c.body);
        ExpectWellFormed(message);
        EXPECT_EQ(QuotedPrintableBody(message), c.expected) << BodyOf(message);
        EXPECT_TRUE(message.ends_with("\r\n"));
    }
}

// Exact encodings by RFC 2045's rules and the gateway-safe ones: "=XX" in upper case, soft
// line breaks at 76 characters that never cut an "=XX", a soft break at the end of a text
// without a final line end, "." and the "F" of "From " encoded at the start of a line.
TEST(MailMessage, QuotedPrintableEncodingOfShortTexts) {
    const std::string a74(74, 'a'), a75(75, 'a'), a76(76, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"abc", "abc=\r\n"},
        {"abc\r\n", "abc\r\n"},
        {"a=b \r\n", "a=3Db=20\r\n"},
        {"a\t", "a=09=\r\n"},
        {"in a line: a b\tc\r\n", "in a line: a b=09c\r\n"},
        {".x\r\n. \r\n", "=2Ex\r\n=2E=20\r\n"},
        {"From y\r\nFrom\r\nx From z\r\n", "=46rom y\r\nFrom\r\nx From z\r\n"},
        {"日", "=E6=97=A5=\r\n"},
        {"\n", "=0A=\r\n"},
        {a76 + "\r\n", a76 + "\r\n"},
        {a76, a75 + "=\r\na=\r\n"},
        {a75 + "b\r\n", a75 + "b\r\n"},
        {a75 + "bc\r\n", a75 + "=\r\nbc\r\n"},
        {a74 + "é\r\n", a74 + "=\r\n=C3=A9\r\n"},
        {std::string(72, 'a') + "é\r\n", std::string(72, 'a') + "=C3=\r\n=A9\r\n"},
        {a75 + ".b\r\n", a75 + "=\r\n=2Eb\r\n"},
        {a75 + "From x\r\n", a75 + "=\r\n=46rom x\r\n"},
        {a74 + " \r\n", a74 + "=\r\n=20\r\n"},
    };
    for (const auto& [text, encoded] : cases) {
        EXPECT_EQ(mail::EncodeQuotedPrintable(text), encoded) << text;
        EXPECT_EQ(StrictQuotedPrintable(encoded), text) << encoded;
    }
}

TEST(MailMessage, Utf8TextsGoAsTheyAreAndMustBeValid) {
    // Characters that CP932 lacks arrive as given, up to the last code point.
    const std::string subject = "♡👍🏽🍣〜 U+10FFFF: \xF4\x8F\xBF\xBF";
    const std::string body = "本文 ♡\n\xEF\xBF\xBF \xC2\x80 \xE0\xA0\x80 \xF0\x90\x80\x80";
    const std::string message = BuildUtf8(subject, body);
    ExpectWellFormed(message);
    EXPECT_EQ(DecodedSubject(AsReceived(message)), subject);
    EXPECT_EQ(QuotedPrintableBody(message), CrLf(body));

    // Without the flag the same bytes are CP932 (as glibc's iconv reads them).
    const std::string japanese = "日本";
    const std::string asCp932 = Build(
        {.from = "a@example.jp", .to = "b@example.jp", .subject = japanese, .body = japanese});
    EXPECT_EQ(DecodedSubject(AsReceived(asCp932)), Utf8FromCp932(japanese));
    EXPECT_EQ(QuotedPrintableBody(asCp932), Utf8FromCp932(japanese));

    const struct {
        const char* what;
        std::string bytes;
    } invalid[] = {
        {"a lone continuation byte", "a\x80"},
        {"an overlong 2-byte form", "\xC0\xAF"},
        {"an overlong 3-byte form", "\xE0\x80\xAF"},
        {"an overlong 4-byte form", "\xF0\x80\x80\xAF"},
        {"a surrogate", "\xED\xA0\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80"},
        {"a character cut short", "\xE3\x81"},
        {"a character cut short before ASCII", "\xE3\x81x"},
        {"a 5-byte form", "\xF8\x88\x80\x80\x80"},
        {"0xFF", "ok\xFF"},
        {"CP932", Cp932("日本語")},
    };
    for (const auto& c : invalid) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(IsValidUtf8(c.bytes));  // the test's own reading agrees
        EXPECT_FALSE(BuildMailMessage({.from = "a@example.jp",
                                       .to = "b@example.jp",
                                       .subject = c.bytes,
                                       .body = "ok",
                                       .utf8 = true},
                                      kSomeTime, "s"));
        EXPECT_FALSE(BuildMailMessage({.from = "a@example.jp",
                                       .to = "b@example.jp",
                                       .subject = "ok",
                                       .body = c.bytes,
                                       .utf8 = true},
                                      kSomeTime, "s"));
    }
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
    const std::string body = QuotedPrintableBody(message);
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
