// The small windows' services over real files: the ranking host in the settings file, the
// history from a real journal, the SMTP login's checks that need no server.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <chrono>

#include <fstream>
#include <sstream>
#include <string>

#include "journal/journal.h"
#include "temp_dir.h"
#include "ui/side_services.h"

using namespace qubopost::view;
using namespace qubopost::ui;

namespace journal = qubopost::journal;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SideServices, RankingHostIsCheckedStoredAndCleared) {
    TempDir dir;
    const std::string settings = dir.File("settings.ini");
    {
        std::ofstream out(settings, std::ios::binary);
        out << "[Qubopost]\r\nFrom=taro@example.jp\r\n";
    }
    auto services = MakeSideServices(settings, "");
    struct Case {
        const char* typed;
        bool stored;
        const char* fileHas;    // a line the settings file must hold afterwards ("" = none)
        const char* fileLacks;  // and one it must not
    };
    const Case cases[] = {
        {"ranking.example.jp:8080", true, "Host=ranking.example.jp:8080", ""},
        {"bad host!", false, "Host=ranking.example.jp:8080", "bad host"},
        {"ranking.example.jp:70000", false, "Host=ranking.example.jp:8080", "70000"},
        {"", true, "From=taro@example.jp", "Host="},
    };
    for (const Case& c : cases) {
        const std::string problem = services->StoreRankingHost(c.typed);
        EXPECT_EQ(problem.empty(), c.stored) << c.typed << ": " << problem;
        if (!c.stored) {
            EXPECT_NE(problem.find("正しくありません"), std::string::npos) << problem;
        }
        const std::string file = ReadAll(settings);
        EXPECT_NE(file.find(c.fileHas), std::string::npos) << c.typed << "\n" << file;
        if (*c.fileLacks) {
            EXPECT_EQ(file.find(c.fileLacks), std::string::npos) << c.typed << "\n" << file;
        }
        // The other keys of the file stay.
        EXPECT_NE(file.find("From=taro@example.jp"), std::string::npos) << c.typed;
    }
    EXPECT_EQ(services->RankingHost(), "");
    EXPECT_FALSE(services->BuiltInRankingHost().empty());
}

TEST(SideServices, TheSettingsFileThatCannotBeWrittenIsNamedInTheMessage) {
    TempDir dir;
    // A folder where the file should be: nothing can be written there.
    const std::string settings = dir.File("settings.ini");
    ASSERT_EQ(::mkdir(settings.c_str(), 0700), 0);
    const std::string problem =
        MakeSideServices(settings, "")->StoreRankingHost("ranking.example.jp");
    EXPECT_NE(problem.find("設定ファイルを保存できませんでした。"), std::string::npos) << problem;
    EXPECT_NE(problem.find(settings), std::string::npos) << problem;
}

TEST(SideServices, HistoryListsRunsAndEveryMessageState) {
    TempDir dir;
    const std::string path = dir.File("history.sqlite3");
    {
        auto opened = journal::Journal::Open(path);
        ASSERT_TRUE(opened.ok());
        journal::Journal& history = opened.value();
        const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        auto run = history.StartRun("identity",
                                    {{1, "blog@example.jp", "送れた件名"},
                                     {2, "https://taro@blog.example.jp/", "記事の件名"},
                                     {3, "other@example.jp", "断られた件名"},
                                     {4, "third@example.jp", "途中の件名"},
                                     {5, "fourth@example.jp", "まだの件名"}},
                                    now);
        ASSERT_TRUE(run.ok());
        ASSERT_TRUE(history.MarkSent(run.value(), 1, now, "250 2.0.0 Ok").ok());
        ASSERT_TRUE(
            history.MarkSent(run.value(), 2, now, "201 Created", "https://blog.example.jp/?p=12")
                .ok());
        ASSERT_TRUE(history.MarkFailed(run.value(), 3, now, "550 no such user").ok());
        ASSERT_TRUE(
            history.MarkUncertain(run.value(), 4, now, "connection lost after the data").ok());
    }
    std::string error;
    auto history = MakeSideServices("", path)->OpenHistory(&error);
    ASSERT_TRUE(history) << error;
    const auto runs = history->Runs(200);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].ended, "（中断）");  // never ended
    const auto messages = history->Messages(runs[0].id);
    struct Row {
        int number;
        const char* subject;
        const char* state;
        const char* link;
    };
    const Row expected[] = {
        {1, "送れた件名", "送信済み", ""},
        {2, "記事の件名", "送信済み", "https://blog.example.jp/?p=12"},
        {3, "断られた件名", "失敗", ""},
        {4, "途中の件名", "不明（要確認）", ""},
        {5, "まだの件名", "未送信", ""},
    };
    ASSERT_EQ(messages.size(), std::size(expected));
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].number, expected[i].number);
        EXPECT_EQ(messages[i].subject, expected[i].subject);
        EXPECT_EQ(messages[i].state, expected[i].state) << expected[i].subject;
        EXPECT_EQ(messages[i].link, expected[i].link) << expected[i].subject;
    }
    EXPECT_EQ(messages[2].detail, "550 no such user");
}

TEST(SideServices, AJournalThatCannotBeOpenedSaysSo) {
    TempDir dir;
    std::string error;
    // A folder is no journal.
    EXPECT_FALSE(MakeSideServices("", dir.Path())->OpenHistory(&error));
    EXPECT_EQ(error.rfind("投稿履歴を開けませんでした。\n", 0), 0u) << error;
}

TEST(SideServices, TheLoginsHostIsTheServerFieldWithoutPrefixOrBlanks) {
    auto login = MakeSideServices("", "")->SmtpLogin();
    const std::pair<const char*, const char*> cases[] = {
        {"smtp.example.jp", "smtp.example.jp"},
        {"  smtp.example.jp\t", "smtp.example.jp"},
        {"smtps://mail.example.jp ", "mail.example.jp"},
        {"", ""},
    };
    for (const auto& [field, host] : cases) EXPECT_EQ(login->HostOf(field), host) << field;
}

TEST(SideServices, ALoginTestWithoutPasswordOrKeyRingAsksForThePassword) {
    auto login = MakeSideServices("", "")->SmtpLogin();
    auto cancel = login->NewCancel();
    bool testing = false;
    // No key ring: nothing to read the stored password from, and no connection is tried.
    const auto outcome = login->TestLogin("smtp.example.jp", "587", "taro", "", false, *cancel,
                                          [&] { testing = true; });
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_FALSE(testing);
    EXPECT_NE(
        outcome.message.find("パスワード欄が空なので保存したパスワードを使おうとしましたが、"),
        std::string::npos)
        << outcome.message;
}

}  // namespace
