// Posting into a real blog: qubopost-cli mails article groups to WordPress's "Post via email"
// address on the test bed (tests/testbed/wordpress.sh: MariaDB, Debian's WordPress under php -S,
// Dovecot POP3 filled by a local SMTP receiver, all on 127.0.0.1), wp-mail.php fetches them, and
// every post must carry its group's subject as title and header + articles + footer as content.
//
// What wp-mail.php does to a message on the way, and the texts and subjects the posts must hold,
// are in wordpress_expectations.h (shared with the window's test, tests/qt/test_qt_wordpress.cpp).
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.h"
#include "temp_dir.h"
#include "wordpress_expectations.h"

namespace {

using testbed::AsWordPressStoresIt;
using testbed::kGroups;
using testbed::kTitles;
using testbed::Link;
using testbed::RunBed;
using testbed::WaitBounded;

// ---- The JSON that `wordpress.sh check` prints: objects, arrays, strings, numbers, literals.

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    std::string text;  // a string's value, a number's or literal's spelling
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](const std::string& name) const {
        static const Json none;
        for (const auto& [key, value] : members) {
            if (key == name) return value;
        }
        return none;
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string text) : m_text(std::move(text)) {}

    bool Read(Json& out) {
        if (!Value(out)) return false;
        Blanks();
        return m_at == m_text.size();
    }

private:
    void Blanks() {
        while (m_at < m_text.size() && std::string_view(" \t\r\n").find(m_text[m_at]) != std::string_view::npos) ++m_at;
    }

    bool Value(Json& out) {
        Blanks();
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at];
        if (c == '{') {
            out.kind = Json::Kind::Object;
            ++m_at;
            Blanks();
            if (m_at < m_text.size() && m_text[m_at] == '}') return ++m_at, true;
            for (;;) {
                std::string key;
                Json value;
                Blanks();
                if (!String(key)) return false;
                Blanks();
                if (m_at >= m_text.size() || m_text[m_at++] != ':') return false;
                if (!Value(value)) return false;
                out.members.emplace_back(std::move(key), std::move(value));
                Blanks();
                if (m_at >= m_text.size()) return false;
                if (m_text[m_at] == '}') return ++m_at, true;
                if (m_text[m_at++] != ',') return false;
            }
        }
        if (c == '[') {
            out.kind = Json::Kind::Array;
            ++m_at;
            Blanks();
            if (m_at < m_text.size() && m_text[m_at] == ']') return ++m_at, true;
            for (;;) {
                Json value;
                if (!Value(value)) return false;
                out.items.push_back(std::move(value));
                Blanks();
                if (m_at >= m_text.size()) return false;
                if (m_text[m_at] == ']') return ++m_at, true;
                if (m_text[m_at++] != ',') return false;
            }
        }
        if (c == '"') {
            out.kind = Json::Kind::String;
            return String(out.text);
        }
        const std::size_t start = m_at;
        while (m_at < m_text.size() && std::string_view(",]} \t\r\n").find(m_text[m_at]) == std::string_view::npos) ++m_at;
        out.text = m_text.substr(start, m_at - start);
        if (out.text == "null") return out.kind = Json::Kind::Null, true;
        if (out.text == "true" || out.text == "false") return out.kind = Json::Kind::Bool, true;
        out.kind = Json::Kind::Number;
        return !out.text.empty() && out.text.find_first_not_of("-+.eE0123456789") == std::string::npos;
    }

    static void Utf8(char32_t c, std::string& out) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    bool Hex4(char32_t& c) {
        if (m_at + 4 > m_text.size()) return false;
        c = static_cast<char32_t>(std::stoul(m_text.substr(m_at, 4), nullptr, 16));
        m_at += 4;
        return true;
    }

    bool String(std::string& out) {
        if (m_at >= m_text.size() || m_text[m_at++] != '"') return false;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size()) return false;
            const char e = m_text[m_at++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                char32_t c1 = 0, c2 = 0;
                if (!Hex4(c1)) return false;
                if (c1 >= 0xD800 && c1 < 0xDC00) {
                    if (m_text.compare(m_at, 2, "\\u") != 0) return false;
                    m_at += 2;
                    if (!Hex4(c2)) return false;
                    c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
                }
                Utf8(c1, out);
                break;
            }
            default: out += e; break;  // \" \\ \/
            }
        }
        return false;
    }

    std::string m_text;
    std::size_t m_at = 0;
};

// ---- Child processes, every wait bounded.

std::string ReadFile(const std::string& path) { return TempDir::Read(path); }

// The fixture: a test bed of its own in a temporary folder, stopped by PID afterwards.
class WordPressMail : public ::testing::Test {
protected:
    void SetUp() override {
        // The bed's servers outlive the script that starts them: as their subreaper this test
        // collects them when they end, instead of leaving zombies behind.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        const int status = RunBed({"start", Bed(), "--owner", std::to_string(getpid())}, m_dir.File("start.out"),
                                  m_dir.File("start.err"), 240);
        if (status == 77) GTEST_SKIP() << ReadFile(m_dir.File("start.err"));
        m_started = true;
        ASSERT_EQ(status, 0) << "wordpress.sh start failed:\n" << ReadFile(m_dir.File("start.err"));
        std::istringstream lines(ReadFile(Bed() + "/testbed.env"));
        for (std::string line; std::getline(lines, line);) {
            const auto equals = line.find('=');
            if (equals != std::string::npos) m_env[line.substr(0, equals)] = line.substr(equals + 1);
        }
        for (const char* key : {"SITE_URL", "SMTP_PORT", "MAIL_TO", "ADMIN_EMAIL", "ADMIN_USER"}) {
            ASSERT_FALSE(m_env[key].empty()) << "testbed.env has no " << key;
        }
    }

    void TearDown() override {
        if (m_started) {
            EXPECT_EQ(RunBed({"stop", Bed()}, "/dev/null", m_dir.File("stop.err"), 120), 0)
                << ReadFile(m_dir.File("stop.err"));
        }
        int status = 0;
        while (waitpid(-1, &status, WNOHANG) > 0) {
        }
        prctl(PR_SET_CHILD_SUBREAPER, 0);
    }

    std::string Bed() const { return m_dir.Path() + "/bed"; }

    // wp-mail.php fetched once, and every post.
    Json Check() {
        Json result;
        const int status = RunBed({"check", Bed()}, m_dir.File("check.json"), m_dir.File("check.err"), 180);
        EXPECT_EQ(status, 0) << "wordpress.sh check failed:\n" << ReadFile(m_dir.File("check.err"));
        const std::string text = ReadFile(m_dir.File("check.json"));
        EXPECT_TRUE(JsonReader(text).Read(result)) << "not JSON:\n" << text;
        // PHP's warnings during the check are the bed's fault or wp-mail.php's: show them.
        const std::string err = ReadFile(m_dir.File("check.err"));
        EXPECT_EQ(err.find("PHP"), std::string::npos) << err;
        return result;
    }

    TempDir m_dir;
    TempDir m_home;
    std::map<std::string, std::string> m_env;
    bool m_started = false;
};

// Compares texts and, when they differ, shows both as text (not as escaped bytes) with the
// first byte where they part.
::testing::AssertionResult SameText(const std::string& actual, const std::string& expected) {
    const std::string difference = testbed::TextDifference(actual, expected);
    if (difference.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << difference;
}

// ---- The test bed on its own: a message made by hand, as the requirement wants mail to look.

TEST_F(WordPressMail, TheTestBedPostsAHandMadeMessage) {
    // A one-line Subject of three encoded words (B, Q, B) and a quoted-printable UTF-8 body
    // with soft line breaks, "=20" at a line end, "=3D" and a line starting with "." (which
    // SMTP and POP3 both dot-stuff).
    const std::string message =
        "From: Blog Owner <admin@blog.test>\n"
        "To: post@blog.test\n"
        "Subject: =?UTF-8?B?5omL5L2c44KK4pGg772e44Cc4pmh?= "
        "=?UTF-8?Q?=F0=9F=98=80=E3=80=80=E3=83=86=E3=82=B9=E3=83=88?= =?UTF-8?B?IGFuZCBBU0NJSSDvvIYgbW9yZQ==?=\n"
        "Date: Mon, 07 Dec 2026 12:00:00 +0900\n"
        "MIME-Version: 1.0\n"
        "Content-Type: text/plain; charset=UTF-8\n"
        "Content-Transfer-Encoding: quoted-printable\n"
        "\n"
        "=E6=89=8B=E4=BD=9C=E3=82=8A=E3=81=AE=E6=9C=AC=E6=96=87=E2=99=A1=F0=9F=98=80\n"
        "=E3=80=80=E5=85=A8=E8=A7=92=E7=A9=BA=E7=99=BD=E3=81=A7=E5=A7=8B=E3=81=BE=E3=\n"
        "=82=8B=E8=A1=8C =E3=80=9C =EF=BD=9E =E2=91=A0\n"
        "http://shop.test/item?id=3D1&ref=3Dmail\n"
        ".=E3=83=89=E3=83=83=E3=83=88=E3=81=A7=E5=A7=8B=E3=81=BE=E3=82=8B=E8=A1=8C\n"
        "=E8=A1=8C=E6=9C=AB=E3=81=AB=E7=A9=BA=E7=99=BD=20\n"
        "=E9=95=B7=E3=81=84=E8=A1=8C=EF=BC=9A=E3=81=82=E3=81=84=E3=81=86=E3=81=88=E3=\n"
        "=81=8A=E3=81=8B=E3=81=8D=E3=81=8F=E3=81=91=E3=81=93=E3=81=82=E3=81=84=E3=81=\n"
        "=86=E3=81=88=E3=81=8A=E3=81=8B=E3=81=8D=E3=81=8F=E3=81=91=E3=81=93=E3=81=82=\n"
        "=E3=81=84=E3=81=86=E3=81=88=E3=81=8A=E3=81=8B=E3=81=8D=E3=81=8F=E3=81=91=E3=\n"
        "=81=93\n"
        "=E3=81=8A=E3=82=8F=E3=82=8A\n";
    const std::string title = "手作り①～〜♡😀　テスト and ASCII ＆ more";
    const std::string content =
        "手作りの本文♡😀\r\n　全角空白で始まる行 〜 ～ ①\r\nhttp://shop.test/item?id=1&amp;ref=mail\r\n"
        ".ドットで始まる行\r\n行末に空白 \r\n長い行：あいうえおかきくけこあいうえおかきくけこあいうえおかきくけこ\r\n"
        "おわり";
    TempDir::Write(m_dir.File("owner.eml"), message);
    // The same from an address no user has: pending.
    std::string stranger = message;
    stranger.replace(0, stranger.find('\n'), "From: someone@else.test");
    TempDir::Write(m_dir.File("stranger.eml"), stranger);
    for (const char* name : {"owner.eml", "stranger.eml"}) {
        ASSERT_EQ(RunBed({"send", Bed(), m_dir.File(name)}, "/dev/null", m_dir.File("send.err"), 60), 0)
            << ReadFile(m_dir.File("send.err"));
    }

    const Json result = Check();
    EXPECT_EQ(result["wp_mail"]["status"].text, "200") << result["wp_mail"]["text"].text;
    const Json& posts = result["posts"];
    ASSERT_EQ(posts.items.size(), 2u) << result["wp_mail"]["text"].text;
    const char* const statuses[] = {"publish", "pending"};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(SameText(posts.items[i]["title"].text, title));
        EXPECT_TRUE(SameText(posts.items[i]["content"].text, content));
        EXPECT_EQ(posts.items[i]["status"].text, statuses[i]);
        EXPECT_EQ(posts.items[i]["author"].text, m_env["ADMIN_USER"]);
        EXPECT_EQ(posts.items[i]["link"].text.rfind(m_env["SITE_URL"] + "/", 0), 0u) << posts.items[i]["link"].text;
    }
    // A second check finds the mailbox empty: every message was taken once.
    const Json again = Check();
    EXPECT_EQ(again["posts"].items.size(), 2u);
}

// ---- qubopost-cli into the blog.

TEST_F(WordPressMail, PostedArticlesBecomePostsWithTheirSubjectsAndBodies) {
    const std::string article = testbed::WholeArticle();
    const std::string header = "ヘッダー：ようこそ♡　今日のおすすめ 〜 ～ ①😀\r\n\r\n";
    const std::string footer = "\r\nフッター：http://blog.test/?from=mail&page=1 ♡　😀\r\n";
    TempDir::Write(m_dir.File("article.txt"), article);
    TempDir::Write(m_dir.File("header.txt"), header);
    TempDir::Write(m_dir.File("footer.txt"), footer);

    const pid_t cli = StartCli(m_home,
                               {"post", "--article", m_dir.File("article.txt"), "--to", m_env["MAIL_TO"], "--server",
                                m_env["SMTP_HOST"], "--port", m_env["SMTP_PORT"], "--from", m_env["ADMIN_EMAIL"],
                                "--header", m_dir.File("header.txt"), "--footer", m_dir.File("footer.txt"),
                                "--pause", "0"},
                               m_dir.File("cli.out"), m_dir.File("cli.err"));
    ASSERT_EQ(WaitBounded(cli, 120), 0) << ReadFile(m_dir.File("cli.err"));

    const Json result = Check();
    EXPECT_EQ(result["wp_mail"]["status"].text, "200") << result["wp_mail"]["text"].text;
    const Json& posts = result["posts"];
    ASSERT_EQ(posts.items.size(), static_cast<std::size_t>(kGroups)) << result["wp_mail"]["text"].text;
    for (int g = 0; g < kGroups; ++g) {
        SCOPED_TRACE("group " + std::to_string(g + 1) + ": " + kTitles[g].title);
        const Json& post = posts.items[static_cast<std::size_t>(g)];
        const std::string body = testbed::GroupBody(g, header, footer);
        EXPECT_TRUE(SameText(post["title"].text, AsWordPressStoresIt(kTitles[g].subject)));
        EXPECT_TRUE(SameText(post["content"].text, AsWordPressStoresIt(body)));
        for (int n = 3 * g + 1; n <= 3 * g + 3; ++n) {
            EXPECT_NE(post["content"].text.find(AsWordPressStoresIt(Link(n)) + "\r\n"), std::string::npos)
                << "link " << Link(n) << " is not intact";
        }
        // The sender is the administrator's address: the administrator's published post.
        EXPECT_EQ(post["status"].text, "publish");
        EXPECT_EQ(post["author"].text, m_env["ADMIN_USER"]);
    }
}

}  // namespace
