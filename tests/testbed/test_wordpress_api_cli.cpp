// qubopost-cli posting to mail addresses and to a WordPress site's REST API in one run: two mail
// addresses to a local SMTP server (smtp_server.py, on ::1) and the test bed's WordPress
// (tests/testbed/wordpress.sh, on 127.0.0.1) by URL, with an application password in ~/.netrc of
// a throw-away HOME. What the blog made is read back with `wordpress.sh check`; the titles and the
// links expected are written from the article text here (the subjects are the titles of
// wordpress_expectations.h, counted by hand there).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_process.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "wait_for.h"
#include "wordpress_bed.h"
#include "wordpress_expectations.h"

namespace {

using Json = nlohmann::json;
using qubopost::test::MailsBySubject;
using qubopost::test::SmtpServer;
using qubopost::test::WaitFor;

const char* const kMail1 = "mail1@blog.example.jp";
const char* const kMail2 = "mail2@blog.example.jp";

// Articles first..last (from 1) of the bed's article, and the closing separator.
std::string Articles(int first, int last) {
    std::string text;
    for (int n = first; n <= last; ++n) text += testbed::ArticleText(n);
    return text + "-----into-----";
}

// A link line as the post must hold it: a link to itself, "&" written "&amp;".
std::string LinkHtml(int n) {
    std::string escaped;
    for (char c : testbed::Link(n)) escaped += c == '&' ? std::string("&amp;") : std::string(1, c);
    return "<a href=\"" + escaped + "\">" + escaped + "</a>";
}

class WordPressApiCli : public testbed::WordPressBedSuite {
protected:
    static void SetUpTestSuite() {
        unsetenv("NETRC");
        WordPressBedSuite::SetUpTestSuite();
    }

    void SetUp() override {
        WordPressBedSuite::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) m_before = Bed().Posts();
    }

    void WriteNetrc(const std::string& password) const {
        TempDir::Write(m_home.File(".netrc"), "machine 127.0.0.1 login " + Bed().Env("ADMIN_USER") +
                                                  " password \"" + password + "\"\n");
    }

    // The posts made since the test began, oldest first.
    std::vector<Json> NewPosts() const {
        std::vector<Json> made;
        for (const auto& [id, post] : Bed().Posts())
            if (!m_before.count(id)) made.push_back(post);
        return made;
    }

    // qubopost-cli to its end (at most 60 s): exit status, output in out/err.
    int Cli(std::vector<std::string> args) {
        const pid_t pid = StartCli(m_home, std::move(args), m_home.File("out"), m_home.File("err"));
        return WaitCli(pid, std::chrono::seconds(60));
    }
    std::string Out() const { return TempDir::Read(m_home.File("out")); }
    std::string Err() const { return TempDir::Read(m_home.File("err")); }

    std::vector<std::string> PostArgs(const std::string& article, const SmtpServer& server,
                                      const std::string& pause,
                                      const std::vector<std::string>& to) const {
        TempDir::Write(m_home.File("article.txt"), article);
        std::vector<std::string> args{"post",
                                      "--article",
                                      m_home.File("article.txt"),
                                      "--server",
                                      "[::1]",
                                      "--port",
                                      std::to_string(server.port()),
                                      "--from",
                                      "me@example.jp",
                                      "--pause",
                                      pause};
        for (const std::string& destination : to) {
            args.push_back("--to");
            args.push_back(destination);
        }
        return args;
    }

    TempDir m_home;
    std::map<long, Json> m_before;
};

TEST_F(WordPressApiCli, MixedRunPostsAndMailsWithTheAddressesInTheHistory) {
    SmtpServer server({.host = "::1"});
    ASSERT_NE(server.port(), 0);
    WriteNetrc(Bed().AppPassword());
    ASSERT_EQ(Cli(PostArgs(Articles(1, 6), server, "0", {kMail1, BlogUrl(), kMail2})), 0)
        << Out() << Err();

    const char* subjects[] = {testbed::kTitles[0].subject, testbed::kTitles[1].subject};
    const auto mails = MailsBySubject(server);
    EXPECT_EQ(mails.size(), 4u);
    for (const char* subject : subjects)
        for (const char* to : {kMail1, kMail2})
            EXPECT_EQ((mails.count({to, subject}) ? mails.at({to, subject}) : 0), 1)
                << to << " " << subject;

    const std::vector<Json> posts = NewPosts();
    ASSERT_EQ(posts.size(), 2u);
    for (int g = 0; g < 2; ++g) {
        SCOPED_TRACE(subjects[g]);
        const Json& post = posts[static_cast<std::size_t>(g)];
        EXPECT_EQ(post["title"].get<std::string>(), subjects[g]);
        EXPECT_EQ(post["status"].get<std::string>(), "publish");
        for (int n = 3 * g + 1; n <= 3 * g + 3; ++n)
            EXPECT_NE(post["content"].get<std::string>().find(LinkHtml(n)), std::string::npos) << n;
        EXPECT_EQ(post["content"].get<std::string>().find("[title]"), std::string::npos);
        // The log names the post's address.
        EXPECT_NE(Out().find(post["link"].get<std::string>()), std::string::npos) << Out();
    }

    // The history shows each post's address, in the list and in the run.
    ASSERT_EQ(Cli({"history"}), 0) << Err();
    const std::string list = Out();
    ASSERT_EQ(Cli({"history", "--run", "1"}), 0) << Err();
    const std::string run = Out();
    for (const Json& post : posts) {
        const std::string link = post["link"].get<std::string>();
        EXPECT_NE(list.find(link), std::string::npos) << list;
        EXPECT_NE(run.find("投稿のアドレス " + link), std::string::npos) << run;
    }
    EXPECT_NE(list.find("完了"), std::string::npos) << list;
}

TEST_F(WordPressApiCli, StopInThePauseThenResumeSendsNothingTwice) {
    SmtpServer server({.host = "::1"});
    ASSERT_NE(server.port(), 0);
    WriteNetrc(Bed().AppPassword());
    // The blog first: the stop comes in the pause after its post.
    const pid_t pid =
        StartCli(m_home, PostArgs(Articles(7, 12), server, "4", {BlogUrl(), kMail1, kMail2}),
                 m_home.File("out"), m_home.File("err"));
    CliGuard guard(pid);
    ASSERT_TRUE(
        WaitFor([&] { return Out().find("投稿完了") != std::string::npos; }, "the blog's post"))
        << Out() << Err();
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitCli(pid, std::chrono::seconds(30)), 1) << Out() << Err();
    guard.Reset(-1);
    EXPECT_EQ(NewPosts().size(), 1u);
    EXPECT_TRUE(server.messages().empty());

    ASSERT_EQ(Cli({"resume", "--pause", "0"}), 0) << Out() << Err();
    const std::vector<Json> posts = NewPosts();
    ASSERT_EQ(posts.size(), 2u) << "each group posted once";
    const char* subjects[] = {testbed::kTitles[2].subject, testbed::kTitles[3].subject};
    for (int g = 0; g < 2; ++g)
        EXPECT_EQ(posts[static_cast<std::size_t>(g)]["title"].get<std::string>(), subjects[g]);
    const auto mails = MailsBySubject(server);
    EXPECT_EQ(mails.size(), 4u);
    for (const auto& [key, count] : mails) EXPECT_EQ(count, 1) << key.first << " " << key.second;

    ASSERT_EQ(Cli({"history", "--run", "1"}), 0) << Err();
    for (const Json& post : posts)
        EXPECT_NE(Out().find("投稿のアドレス " + post["link"].get<std::string>()),
                  std::string::npos)
            << Out();
}

TEST_F(WordPressApiCli, WrongPasswordStopsThatBlogAfterOneAttemptOnly) {
    SmtpServer server({.host = "::1"});
    ASSERT_NE(server.port(), 0);
    WriteNetrc("wrong password");
    const int refusedBefore = Bed().RefusedLogins();
    EXPECT_EQ(Cli(PostArgs(Articles(13, 18), server, "0", {BlogUrl(), kMail1, kMail2})), 1)
        << Out() << Err();

    EXPECT_EQ(Bed().RefusedLogins() - refusedBefore, 1) << "one attempt, not one per group";
    EXPECT_TRUE(NewPosts().empty());
    EXPECT_EQ(server.messages().size(), 4u) << "the mail destinations got everything";
    // Where to set the password, in words.
    // (The site's port is no scheme's default: it is part of the server's name.)
    const std::string advice = "qubopost-cli credentials set --server " + Bed().HostPort() +
                               " --user " + Bed().Env("ADMIN_USER");
    EXPECT_NE(Out().find(advice), std::string::npos) << Out();
    EXPECT_NE(Out().find("「SMTP認証の設定…」"), std::string::npos) << Out();
    // The run did not finish: it can go on once the password is right.
    ASSERT_EQ(Cli({"history"}), 0) << Err();
    EXPECT_NE(Out().find("（再開できます）"), std::string::npos) << Out();

    WriteNetrc(Bed().AppPassword());
    ASSERT_EQ(Cli({"resume", "--pause", "0"}), 0) << Out() << Err();
    EXPECT_EQ(NewPosts().size(), 2u);
    EXPECT_EQ(server.messages().size(), 4u) << "no mail twice";
}

TEST_F(WordPressApiCli, DraftsWithoutAnyMailServer) {
    WriteNetrc(Bed().AppPassword());
    TempDir::Write(m_home.File("settings.ini"), "[Qubopost]\r\nDraft=1\r\n");
    struct Case {
        const char* what;
        int firstArticle;
        std::vector<std::string> extra;
    };
    const Case cases[] = {
        {"--draft", 19, {"--draft"}},
        {"[Qubopost] Draft=1", 22, {"--settings", m_home.File("settings.ini")}},
    };
    // A dry run shows the post and posts nothing.
    TempDir::Write(m_home.File("article.txt"), Articles(25, 27));
    ASSERT_EQ(Cli({"post", "--article", m_home.File("article.txt"), "--to", BlogUrl(), "--draft",
                   "--dry-run"}),
              0)
        << Out() << Err();
    EXPECT_NE(Out().find("--- post 1 to " + BlogUrl() +
                         " (draft)\nTitle: " + testbed::kTitles[8].subject + "\n"),
              std::string::npos)
        << Out();
    EXPECT_NE(Out().find(LinkHtml(25)), std::string::npos) << Out();
    EXPECT_NE(Out().find("0 通のメールと 1 件のブログへの投稿を表示しました"), std::string::npos)
        << Out();
    EXPECT_TRUE(NewPosts().empty());

    std::size_t made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir::Write(m_home.File("article.txt"), Articles(c.firstArticle, c.firstArticle + 2));
        std::vector<std::string> args{
            "post", "--article", m_home.File("article.txt"), "--to", BlogUrl(), "--pause", "0"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ASSERT_EQ(Cli(args), 0) << Out() << Err();
        const std::vector<Json> posts = NewPosts();
        ASSERT_EQ(posts.size(), ++made);
        EXPECT_EQ(posts.back()["status"].get<std::string>(), "draft");
        EXPECT_EQ(posts.back()["title"].get<std::string>(),
                  testbed::kTitles[(c.firstArticle - 1) / 3].subject);
    }
}

}  // namespace
