// qubopost-cli posting to mail addresses and to a WordPress site's REST API in one run: two mail
// addresses to a local SMTP server (smtp_server.py, on ::1) and the test bed's WordPress
// (tests/testbed/wordpress.sh, on 127.0.0.1) by URL, with an application password in ~/.netrc of
// a throw-away HOME. What the blog made is read back with `wordpress.sh check`; the titles and the
// links expected are written from the article text here (the subjects are the titles of
// wordpress_expectations.h, counted by hand there).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "wordpress_expectations.h"

namespace {

using Json = nlohmann::json;
using qubopost::test::DecodedSubject;
using qubopost::test::SmtpServer;
using testbed::RunBed;
using testbed::WaitBounded;

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

class WordPressApiCli : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        unsetenv("NETRC");
        s_dir = new TempDir;
        const int status = RunBed({"start", Bed(), "--owner", std::to_string(getpid())}, s_dir->File("start.out"),
                                  s_dir->File("start.err"), 240);
        if (status == 77) {
            s_skip = TempDir::Read(s_dir->File("start.err"));
            return;
        }
        s_started = true;
        if (status != 0) {
            s_failure = "wordpress.sh start failed:\n" + TempDir::Read(s_dir->File("start.err"));
            return;
        }
        std::istringstream lines(TempDir::Read(Bed() + "/testbed.env"));
        for (std::string line; std::getline(lines, line);) {
            const auto equals = line.find('=');
            if (equals != std::string::npos) s_env[line.substr(0, equals)] = line.substr(equals + 1);
        }
        if (RunBed({"app-password", Bed()}, s_dir->File("app.out"), s_dir->File("app.err"), 60) != 0) {
            s_failure = "wordpress.sh app-password failed:\n" + TempDir::Read(s_dir->File("app.err"));
            return;
        }
        s_appPassword = TempDir::Read(s_dir->File("app.out"));
        while (!s_appPassword.empty() && (s_appPassword.back() == '\n' || s_appPassword.back() == '\r'))
            s_appPassword.pop_back();
    }

    static void TearDownTestSuite() {
        if (s_started) {
            const int stopped = RunBed({"stop", Bed()}, "/dev/null", s_dir->File("stop.err"), 120);
            EXPECT_EQ(stopped, 0) << TempDir::Read(s_dir->File("stop.err"));
        }
        int status = 0;
        while (waitpid(-1, &status, WNOHANG) > 0) {
        }
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        delete s_dir;
        s_dir = nullptr;
    }

    void SetUp() override {
        if (!s_skip.empty()) GTEST_SKIP() << s_skip;
        ASSERT_TRUE(s_failure.empty()) << s_failure;
        ASSERT_FALSE(s_env["SITE_URL"].empty());
        ASSERT_FALSE(s_appPassword.empty());
        m_before = Posts();
    }

    static std::string Bed() { return s_dir->Path() + "/bed"; }

    // The blog's URL with the administrator in it: SITE_URL is http://127.0.0.1:PORT.
    static std::string BlogUrl() {
        return "http://" + s_env["ADMIN_USER"] + "@" + s_env["SITE_URL"].substr(std::string("http://").size()) + "/";
    }

    void WriteNetrc(const std::string& password) const {
        TempDir::Write(m_home.File(".netrc"),
                       "machine 127.0.0.1 login " + s_env["ADMIN_USER"] + " password \"" + password + "\"\n");
    }

    // Every post but trashed ones, by id.
    static std::map<long, Json> Posts() {
        std::map<long, Json> posts;
        const int status = RunBed({"check", Bed()}, s_dir->File("check.json"), s_dir->File("check.err"), 180);
        EXPECT_EQ(status, 0) << TempDir::Read(s_dir->File("check.err"));
        const Json result = Json::parse(TempDir::Read(s_dir->File("check.json")), nullptr, false);
        if (result.is_object() && result["posts"].is_array())
            for (const Json& post : result["posts"]) posts[post["id"].get<long>()] = post;
        return posts;
    }

    // The posts made since the test began, oldest first.
    std::vector<Json> NewPosts() const {
        std::vector<Json> made;
        for (const auto& [id, post] : Posts())
            if (!m_before.count(id)) made.push_back(post);
        return made;
    }

    static int RefusedLogins() {
        const std::string path = Bed() + "/www/wp-content/testbed-logins.log";
        if (access(path.c_str(), F_OK) != 0) return 0;
        std::istringstream log(TempDir::Read(path));
        int count = 0;
        for (std::string line; std::getline(log, line);) ++count;
        return count;
    }

    // qubopost-cli to its end (at most 60 s): exit status, output in out/err.
    int Cli(std::vector<std::string> args) {
        const pid_t pid = StartCli(m_home, std::move(args), m_home.File("out"), m_home.File("err"));
        return WaitBounded(pid, 60);
    }
    std::string Out() const { return TempDir::Read(m_home.File("out")); }
    std::string Err() const { return TempDir::Read(m_home.File("err")); }

    // The mails the server got: how many of each (recipient, subject).
    static std::map<std::pair<std::string, std::string>, int> Mails(const SmtpServer& server) {
        std::map<std::pair<std::string, std::string>, int> counts;
        for (const auto& mail : server.messages()) ++counts[{mail.rcptTo.at(0), DecodedSubject(mail)}];
        return counts;
    }

    std::vector<std::string> PostArgs(const std::string& article, const SmtpServer& server, const std::string& pause,
                                      const std::vector<std::string>& to) const {
        TempDir::Write(m_home.File("article.txt"), article);
        std::vector<std::string> args{"post", "--article", m_home.File("article.txt"), "--server", "[::1]",
                                      "--port", std::to_string(server.port()), "--from", "me@example.jp",
                                      "--pause", pause};
        for (const std::string& destination : to) {
            args.push_back("--to");
            args.push_back(destination);
        }
        return args;
    }

    TempDir m_home;
    std::map<long, Json> m_before;
    static inline TempDir* s_dir = nullptr;
    static inline bool s_started = false;
    static inline std::string s_skip;
    static inline std::string s_failure;
    static inline std::map<std::string, std::string> s_env;
    static inline std::string s_appPassword;
};

TEST_F(WordPressApiCli, MixedRunPostsAndMailsWithTheAddressesInTheHistory) {
    SmtpServer server({.host = "::1"});
    ASSERT_NE(server.port(), 0);
    WriteNetrc(s_appPassword);
    ASSERT_EQ(Cli(PostArgs(Articles(1, 6), server, "0", {kMail1, BlogUrl(), kMail2})), 0) << Out() << Err();

    const char* subjects[] = {testbed::kTitles[0].subject, testbed::kTitles[1].subject};
    const auto mails = Mails(server);
    EXPECT_EQ(mails.size(), 4u);
    for (const char* subject : subjects)
        for (const char* to : {kMail1, kMail2}) EXPECT_EQ((mails.count({to, subject}) ? mails.at({to, subject}) : 0), 1) << to << " " << subject;

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
    WriteNetrc(s_appPassword);
    // The blog first: the stop comes in the pause after its post.
    const pid_t pid = StartCli(m_home, PostArgs(Articles(7, 12), server, "4", {BlogUrl(), kMail1, kMail2}),
                               m_home.File("out"), m_home.File("err"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (Out().find("投稿完了") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(Out().find("投稿完了"), std::string::npos) << Out() << Err();
    kill(pid, SIGTERM);
    EXPECT_EQ(WaitBounded(pid, 30), 1) << Out() << Err();
    EXPECT_EQ(NewPosts().size(), 1u);
    EXPECT_TRUE(server.messages().empty());

    ASSERT_EQ(Cli({"resume", "--pause", "0"}), 0) << Out() << Err();
    const std::vector<Json> posts = NewPosts();
    ASSERT_EQ(posts.size(), 2u) << "each group posted once";
    const char* subjects[] = {testbed::kTitles[2].subject, testbed::kTitles[3].subject};
    for (int g = 0; g < 2; ++g) EXPECT_EQ(posts[static_cast<std::size_t>(g)]["title"].get<std::string>(), subjects[g]);
    const auto mails = Mails(server);
    EXPECT_EQ(mails.size(), 4u);
    for (const auto& [key, count] : mails) EXPECT_EQ(count, 1) << key.first << " " << key.second;

    ASSERT_EQ(Cli({"history", "--run", "1"}), 0) << Err();
    for (const Json& post : posts)
        EXPECT_NE(Out().find("投稿のアドレス " + post["link"].get<std::string>()), std::string::npos) << Out();
}

TEST_F(WordPressApiCli, WrongPasswordStopsThatBlogAfterOneAttemptOnly) {
    SmtpServer server({.host = "::1"});
    ASSERT_NE(server.port(), 0);
    WriteNetrc("wrong password");
    const int refusedBefore = RefusedLogins();
    EXPECT_EQ(Cli(PostArgs(Articles(13, 18), server, "0", {BlogUrl(), kMail1, kMail2})), 1) << Out() << Err();

    EXPECT_EQ(RefusedLogins() - refusedBefore, 1) << "one attempt, not one per group";
    EXPECT_TRUE(NewPosts().empty());
    EXPECT_EQ(server.messages().size(), 4u) << "the mail destinations got everything";
    // Where to set the password, in words.
    // (The site's port is no scheme's default: it is part of the server's name.)
    const std::string advice = "qubopost-cli credentials set --server " +
                               s_env["SITE_URL"].substr(std::string("http://").size()) + " --user " + s_env["ADMIN_USER"];
    EXPECT_NE(Out().find(advice), std::string::npos) << Out();
    EXPECT_NE(Out().find("「SMTP認証の設定…」"), std::string::npos) << Out();
    // The run did not finish: it can go on once the password is right.
    ASSERT_EQ(Cli({"history"}), 0) << Err();
    EXPECT_NE(Out().find("（再開できます）"), std::string::npos) << Out();

    WriteNetrc(s_appPassword);
    ASSERT_EQ(Cli({"resume", "--pause", "0"}), 0) << Out() << Err();
    EXPECT_EQ(NewPosts().size(), 2u);
    EXPECT_EQ(server.messages().size(), 4u) << "no mail twice";
}

TEST_F(WordPressApiCli, DraftsWithoutAnyMailServer) {
    WriteNetrc(s_appPassword);
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
    ASSERT_EQ(Cli({"post", "--article", m_home.File("article.txt"), "--to", BlogUrl(), "--draft", "--dry-run"}), 0)
        << Out() << Err();
    EXPECT_NE(Out().find("--- post 1 to " + BlogUrl() + " (draft)\nTitle: " + testbed::kTitles[8].subject + "\n"),
              std::string::npos)
        << Out();
    EXPECT_NE(Out().find(LinkHtml(25)), std::string::npos) << Out();
    EXPECT_NE(Out().find("0 通のメールと 1 件のブログへの投稿を表示しました"), std::string::npos) << Out();
    EXPECT_TRUE(NewPosts().empty());

    std::size_t made = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir::Write(m_home.File("article.txt"), Articles(c.firstArticle, c.firstArticle + 2));
        std::vector<std::string> args{"post", "--article", m_home.File("article.txt"), "--to", BlogUrl(), "--pause", "0"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ASSERT_EQ(Cli(args), 0) << Out() << Err();
        const std::vector<Json> posts = NewPosts();
        ASSERT_EQ(posts.size(), ++made);
        EXPECT_EQ(posts.back()["status"].get<std::string>(), "draft");
        EXPECT_EQ(posts.back()["title"].get<std::string>(), testbed::kTitles[(c.firstArticle - 1) / 3].subject);
    }
}

}  // namespace
