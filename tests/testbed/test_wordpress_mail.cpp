// Posting into a real blog: qubopost-cli mails article groups to WordPress's "Post via email"
// address on the test bed (tests/testbed/wordpress.sh: MariaDB, Debian's WordPress under php -S,
// Dovecot POP3 filled by a local SMTP receiver, all on 127.0.0.1), wp-mail.php fetches them, and
// every post must carry its group's subject as title and header + articles + footer as content.
//
// What wp-mail.php does to a message on the way, and the texts and subjects the posts must hold,
// are in wordpress_expectations.h (shared with the window's test, tests/qt/test_qt_wordpress.cpp).
#include <gtest/gtest.h>

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>

#include "cli_process.h"
#include "temp_dir.h"
#include "wordpress_bed.h"
#include "wordpress_expectations.h"

namespace {

using testbed::AsWordPressStoresIt;
using testbed::kGroups;
using testbed::kTitles;
using testbed::Link;
using Json = nlohmann::json;

// The fixture: a test bed of its own for each test.
class WordPressMail : public ::testing::Test {
protected:
    void SetUp() override {
        bool missing = false;
        const std::string failure = m_bed.Start(&missing);
        if (missing) GTEST_SKIP() << failure;
        ASSERT_TRUE(failure.empty()) << failure;
    }

    void TearDown() override {
        const std::string failure = m_bed.Stop();
        EXPECT_TRUE(failure.empty()) << failure;
    }

    // wp-mail.php fetched once, and every post.
    Json Check() {
        std::string failure;
        Json result = m_bed.Check(&failure);
        EXPECT_TRUE(failure.empty()) << failure;
        return result.is_object() ? result : Json::object();
    }

    // A field of the check's JSON, by its path of names, as text ("" when it is missing).
    static std::string Text(const Json& object, std::initializer_list<const char*> path) {
        const Json* value = &object;
        for (const char* name : path) {
            if (!value->is_object() || !value->contains(name)) return "";
            value = &(*value)[name];
        }
        return value->is_string() ? value->get<std::string>() : value->dump();
    }

    testbed::WordPressBed m_bed;
    TempDir m_home;
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
    TempDir::Write(m_bed.Dir().File("owner.eml"), message);
    // The same from an address no user has: pending.
    std::string stranger = message;
    stranger.replace(0, stranger.find('\n'), "From: someone@else.test");
    TempDir::Write(m_bed.Dir().File("stranger.eml"), stranger);
    for (const char* name : {"owner.eml", "stranger.eml"}) {
        ASSERT_EQ(m_bed.Run("send", {m_bed.Dir().File(name)}, 60), 0) << m_bed.Err("send");
    }

    const Json result = Check();
    EXPECT_EQ(Text(result, {"wp_mail", "status"}), "200") << Text(result, {"wp_mail", "text"});
    const Json posts = result.value("posts", Json::array());
    ASSERT_EQ(posts.size(), 2u) << Text(result, {"wp_mail", "text"});
    const char* const statuses[] = {"publish", "pending"};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(SameText(Text(posts[i], {"title"}), title));
        EXPECT_TRUE(SameText(Text(posts[i], {"content"}), content));
        EXPECT_EQ(Text(posts[i], {"status"}), statuses[i]);
        EXPECT_EQ(Text(posts[i], {"author"}), m_bed.Env("ADMIN_USER"));
        EXPECT_EQ(Text(posts[i], {"link"}).rfind(m_bed.Env("SITE_URL") + "/", 0), 0u)
            << Text(posts[i], {"link"});
    }
    // A second check finds the mailbox empty: every message was taken once.
    const Json again = Check();
    EXPECT_EQ(again.value("posts", Json::array()).size(), 2u);
}

// ---- qubopost-cli into the blog.

TEST_F(WordPressMail, PostedArticlesBecomePostsWithTheirSubjectsAndBodies) {
    const std::string article = testbed::WholeArticle();
    const std::string header = "ヘッダー：ようこそ♡　今日のおすすめ 〜 ～ ①😀\r\n\r\n";
    const std::string footer = "\r\nフッター：http://blog.test/?from=mail&page=1 ♡　😀\r\n";
    TempDir::Write(m_bed.Dir().File("article.txt"), article);
    TempDir::Write(m_bed.Dir().File("header.txt"), header);
    TempDir::Write(m_bed.Dir().File("footer.txt"), footer);

    const pid_t cli = StartCli(
        m_home,
        {"post", "--article", m_bed.Dir().File("article.txt"), "--to", m_bed.Env("MAIL_TO"),
         "--server", m_bed.Env("SMTP_HOST"), "--port", m_bed.Env("SMTP_PORT"), "--from",
         m_bed.Env("ADMIN_EMAIL"), "--header", m_bed.Dir().File("header.txt"), "--footer",
         m_bed.Dir().File("footer.txt"), "--pause", "0"},
        m_bed.Dir().File("cli.out"), m_bed.Dir().File("cli.err"));
    ASSERT_EQ(WaitCli(cli, std::chrono::seconds(120)), 0)
        << TempDir::Read(m_bed.Dir().File("cli.err"));

    const Json result = Check();
    EXPECT_EQ(Text(result, {"wp_mail", "status"}), "200") << Text(result, {"wp_mail", "text"});
    const Json posts = result.value("posts", Json::array());
    ASSERT_EQ(posts.size(), static_cast<std::size_t>(kGroups)) << Text(result, {"wp_mail", "text"});
    for (int g = 0; g < kGroups; ++g) {
        SCOPED_TRACE("group " + std::to_string(g + 1) + ": " + kTitles[g].title);
        const Json& post = posts[static_cast<std::size_t>(g)];
        const std::string body = testbed::GroupBody(g, header, footer);
        EXPECT_TRUE(SameText(Text(post, {"title"}), AsWordPressStoresIt(kTitles[g].subject)));
        EXPECT_TRUE(SameText(Text(post, {"content"}), AsWordPressStoresIt(body)));
        for (int n = 3 * g + 1; n <= 3 * g + 3; ++n) {
            EXPECT_NE(Text(post, {"content"}).find(AsWordPressStoresIt(Link(n)) + "\r\n"),
                      std::string::npos)
                << "link " << Link(n) << " is not intact";
        }
        // The sender is the administrator's address: the administrator's published post.
        EXPECT_EQ(Text(post, {"status"}), "publish");
        EXPECT_EQ(Text(post, {"author"}), m_bed.Env("ADMIN_USER"));
    }
}

}  // namespace
