// The dialog's own logic over an in-memory control table: initial state, Clear, the
// About dispatch and the start of worker jobs.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "memory_view.h"
#include "platform/encoding.h"
#include "resources/control_table.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

namespace {

class Dialog : public ::testing::Test {
protected:
    void SetUp() override {
        DialogServices services;
        services.settingsPath = dir.File("CQubopostDlg.ini");
        services.startThread = [this](std::function<void()> body) {
            if (!threadsAvailable) return false;
            std::thread(std::move(body)).detach();
            return true;
        };
        dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
    }
    void ExpectInitialSelections() {
        EXPECT_EQ(view.Utf8(IDC_CATEGORY), "すべて");
        EXPECT_TRUE(view.IsChecked(IDC_KIND_DOWNLOAD));
        EXPECT_FALSE(view.IsChecked(IDC_KIND_MAILMAG));
        EXPECT_FALSE(view.IsChecked(IDC_KIND_GOODS));
        EXPECT_TRUE(view.IsChecked(IDC_RANK_MONTHLY));
        EXPECT_FALSE(view.IsChecked(IDC_RANK_DAILY));
        EXPECT_FALSE(view.IsChecked(IDC_RANK_PICKUP));
        EXPECT_FALSE(view.IsWindowEnabled(IDC_START_POST));
    }

    TempDir dir;
    MemoryView view;
    std::atomic<bool> threadsAvailable{true};
    std::unique_ptr<CQubopostDlg> dialog;
};

}  // namespace

TEST_F(Dialog, InitialisationSetsSelectionsIconAndAboutItem) {
    TempDir::Write(dir.File("CQubopostDlg.ini"), "[HostData]\nMAIL=saved@example.jp\n");
    EXPECT_TRUE(dialog->OnInitDialog());
    ExpectInitialSelections();
    EXPECT_EQ(view.Utf8(IDC_FROM_ADDRESS), "saved@example.jp");
    EXPECT_EQ(view.IconId(), IDR_MAINFRAME);
    EXPECT_EQ(view.AboutMenuItem(), "Qubopost のﾊﾞｰｼﾞｮﾝ情報(&A)...");
}

TEST_F(Dialog, ClearEmptiesEveryFieldButKeepsMembersAndFile) {
    dialog->OnInitDialog();
    for (int id : {IDC_AFFILIATE_ID, IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT,
                   IDC_BLOG_ADDRESSES, IDC_HEADER, IDC_FOOTER, IDC_ARTICLE, IDC_LOG}) {
        view.SetUtf8(id, "文字");
    }
    view.SetUtf8(IDC_CATEGORY, "芸能・音楽");
    view.SetCheck(IDC_KIND_DOWNLOAD, false);
    view.SetCheck(IDC_KIND_GOODS, true);
    view.SetCheck(IDC_RANK_MONTHLY, false);
    view.SetCheck(IDC_RANK_PICKUP, true);
    view.EnableWindow(IDC_START_POST, true);

    view.Answer({true});  // "はい" to the question before clearing
    dialog->OnCommand(IDC_CLEAR);
    ASSERT_EQ(view.Questions().size(), 1u);
    for (int id : {IDC_AFFILIATE_ID, IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT,
                   IDC_BLOG_ADDRESSES, IDC_HEADER, IDC_FOOTER, IDC_ARTICLE, IDC_LOG}) {
        EXPECT_EQ(view.Utf8(id), "") << id;
    }
    ExpectInitialSelections();
    EXPECT_FALSE(std::ifstream(dir.File("CQubopostDlg.ini")).good());  // only Close saves
}

TEST_F(Dialog, AboutBoxOpensForTheAboutCommandWhateverItsLowBits) {
    EXPECT_TRUE(dialog->OnSysCommand(IDM_ABOUTBOX));
    EXPECT_TRUE(dialog->OnSysCommand(IDM_ABOUTBOX | 0x000F));
    EXPECT_FALSE(dialog->OnSysCommand(0xF060));  // close: default processing
    EXPECT_FALSE(dialog->OnSysCommand(0x0020));
    EXPECT_EQ(view.AboutBoxRuns(), 2);
}

TEST_F(Dialog, CancelCommandSavesAndEndsTheDialog) {
    dialog->OnCommand(IDCANCEL);
    EXPECT_EQ(view.EndResult(), IDCANCEL);
    EXPECT_TRUE(std::ifstream(dir.File("CQubopostDlg.ini")).good());
}

TEST_F(Dialog, JobsThatCannotStartReportTheThreadError) {
    threadsAvailable = false;
    dialog->OnInitDialog();
    view.SetUtf8(IDC_ARTICLE, "kept");
    dialog->OnCommand(IDC_GENERATE);
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"RECV THREAD CREATE ERROR!!"});
    EXPECT_EQ(view.Utf8(IDC_ARTICLE), "kept");
    EXPECT_FALSE(dialog->JobsRunning());

    // A posting run that cannot start leaves both posting buttons usable.
    view.SetUtf8(IDC_FROM_ADDRESS, "me@example.jp");
    view.SetUtf8(IDC_SMTP_SERVER, "smtp.example.jp");
    view.SetUtf8(IDC_SMTP_PORT, "25");
    view.SetUtf8(IDC_BLOG_ADDRESSES, "blog@example.jp");
    view.SetUtf8(IDC_ARTICLE, "-----into-----a-----into-----");
    dialog->OnCommand(IDC_CONFIRM_POST);
    ASSERT_TRUE(view.IsWindowEnabled(IDC_START_POST));
    dialog->OnCommand(IDC_START_POST);
    EXPECT_EQ(view.Messages().size(), 2u);
    EXPECT_TRUE(view.IsWindowEnabled(IDC_START_POST));
    EXPECT_TRUE(view.IsWindowEnabled(IDC_CONFIRM_POST));
}

TEST(WorkerJobs, StopWakesAPauseAndJoinWaitsForEveryJob) {
    WorkerJobs jobs;
    std::atomic<int> finished{0};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(jobs.Start([&] {
            if (!jobs.Pause(std::chrono::hours(1))) ++finished;
        }));
    }
    jobs.RequestStop();
    jobs.JoinAll();
    EXPECT_EQ(finished.load(), 3);
    EXPECT_EQ(jobs.Running(), 0);
    EXPECT_FALSE(jobs.Pause(std::chrono::milliseconds(1)));
}
