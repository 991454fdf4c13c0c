// The window's questions before a run, with the dialog's default mail wiring against a real
// SMTP server: Esc (the cancelling answer) sends nothing, a finished run is not posted again
// without a yes, and a stop followed at once by a resume keeps the pause between messages.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "cli_process.h"
#include "memory_view.h"
#include "resources/control_table.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"
#include "wait_for.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

using qubopost::test::SmtpClientEnvironment;
using qubopost::test::SmtpServer;
using qubopost::test::WaitFor;

namespace {

std::string Articles(int n) { return NumberedArticles(n, "\r\n"); }

class Questions : public ::testing::Test {
protected:
    // No mail call injected: the dialog posts through the mail library, as the window does.
    std::unique_ptr<CQubopostDlg> Open(std::chrono::milliseconds pause = {}) {
        DialogServices services;
        services.settingsPath = dir.File("CQubopostDlg.ini");
        services.postingPause = pause;
        services.journalPath = dir.File("history.sqlite3");
        auto dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
        dialog->OnInitDialog();
        view.SetUtf8(IDC_FROM_ADDRESS, "me@example.jp");
        view.SetUtf8(IDC_SMTP_SERVER, "127.0.0.1");
        view.SetUtf8(IDC_SMTP_PORT, std::to_string(server.port()));
        view.SetUtf8(IDC_BLOG_ADDRESSES, "blog-a@example.jp\r\nblog-b@example.jp");
        view.SetWindowTextUtf8(IDC_ARTICLE, Articles(4));  // 2 groups x 2 addresses
        return dialog;
    }
    // Confirms and starts; waits for the verdict when one is due.
    void Start(CQubopostDlg& dialog, bool verdict = true) {
        const std::size_t shown = view.Messages().size();
        dialog.OnCommand(IDC_CONFIRM_POST);
        ASSERT_TRUE(view.IsWindowEnabled(IDC_START_POST));
        dialog.OnCommand(IDC_START_POST);
        if (verdict) {
            ASSERT_TRUE(view.WaitForMessages(shown + 1));
        }
        ASSERT_TRUE(WaitFor([&] { return !dialog.Posting(); }, "the run to end"));
    }
    // Stops the run once `count` messages arrived.
    void StopAfter(CQubopostDlg& dialog, std::size_t count) {
        ASSERT_TRUE(WaitFor([&] { return server.messages().size() >= count; },
                            "the messages to stop after"));
        ASSERT_EQ(server.messages().size(), count);
        dialog.OnCommand(IDC_START_POST);  // "投稿停止"
    }

    SmtpClientEnvironment client;
    SmtpServer server;
    TempDir dir;
    MemoryView view;
};

}  // namespace

TEST_F(Questions, EscOnTheResumeQuestionSendsNothing) {
    auto dialog = Open(std::chrono::seconds(30));
    dialog->OnCommand(IDC_CONFIRM_POST);
    dialog->OnCommand(IDC_START_POST);
    StopAfter(*dialog, 1);
    ASSERT_TRUE(view.WaitForMessages(1));  // "投稿を停止しました…"
    ASSERT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the run to end"));

    view.AnswerChoices({2});  // Esc: キャンセル
    dialog->OnCommand(IDC_START_POST);
    ASSERT_FALSE(view.Questions().empty());
    EXPECT_EQ(
        view.Questions().back().rfind("前回中断した投稿があります。続きから再開しますか？", 0), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(dialog->Posting());
    EXPECT_EQ(server.messages().size(), 1u);
}

TEST_F(Questions, AFinishedRunIsPostedAgainOnlyAfterAYes) {
    auto dialog = Open();
    Start(*dialog);
    ASSERT_EQ(server.messages().size(), 4u);
    EXPECT_EQ(view.Messages().back(), "ブログへの自動投稿が完了しました。");

    // Enter (the default) and Esc both mean いいえ.
    for (int answer : {-1, 1}) {
        if (answer >= 0) view.AnswerChoices({answer});
        const std::size_t asked = view.Questions().size();
        dialog->OnCommand(IDC_START_POST);
        ASSERT_EQ(view.Questions().size(), asked + 1);
        const std::string question = view.Questions().back();
        EXPECT_NE(question.find("にすべて投稿済みです。もう一度すべて投稿しますか？"),
                  std::string::npos)
            << question;
        EXPECT_EQ(question.rfind("この内容は ", 0), 0u) << question;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(dialog->Posting());
        EXPECT_EQ(server.messages().size(), 4u);
    }
    view.AnswerChoices({0});  // はい
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(2));
    EXPECT_EQ(server.messages().size(), 8u);
}

TEST_F(Questions, EscAfterARunWithFailuresSendsNothing) {
    SmtpServer refusing({.rejectRecipients = {"blog-b@example.jp"}});
    auto dialog = Open();
    view.SetUtf8(IDC_SMTP_PORT, std::to_string(refusing.port()));
    Start(*dialog);
    ASSERT_EQ(refusing.messages().size(), 2u);  // blog-a only

    view.AnswerChoices({2});  // Esc: キャンセル
    dialog->OnCommand(IDC_START_POST);
    EXPECT_NE(view.Questions().back().find("失敗したメールだけを送りますか"), std::string::npos)
        << view.Questions().back();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(dialog->Posting());
    EXPECT_EQ(refusing.messages().size(), 2u);
}

TEST_F(Questions, AStopAndAnImmediateResumeKeepThePauseBetweenMessages) {
    const auto pause = std::chrono::seconds(3);
    auto dialog = Open(pause);
    dialog->OnCommand(IDC_CONFIRM_POST);
    dialog->OnCommand(IDC_START_POST);
    StopAfter(*dialog, 1);
    const auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(view.WaitForMessages(1));
    ASSERT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the run to end"));

    view.AnswerChoices({0});  // 再開, at once
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(WaitFor([&] { return server.messages().size() >= 2; }, qubopost::test::kWaitLimit,
                        "the message after the pause", std::chrono::milliseconds(5)));
    const auto second = std::chrono::steady_clock::now();
    ASSERT_EQ(server.messages().size(), 2u);
    // The first message was seen at most a poll after it arrived; the second no sooner than
    // it arrived: what the server saw is at least the pause apart.
    EXPECT_GE(second - first, pause - std::chrono::milliseconds(20));
    // The wait is shown as the pause is.
    bool shown = false;
    for (const std::string& status : view.StatusTexts())
        shown |= status.rfind("待機中: 次の送信まで", 0) == 0;
    EXPECT_TRUE(shown);
    dialog->StopPosting();
    ASSERT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the run to end"));
}
