// The article's draft: what the user had in the article field comes back at the next start,
// after Close or a kill, and クリア empties it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "memory_view.h"
#include "resources/control_table.h"
#include "temp_dir.h"
#include "ui/article_draft.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

namespace {

template <typename Condition>
bool WaitFor(Condition condition, int seconds = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class Draft : public ::testing::Test {
protected:
    std::unique_ptr<CQubopostDlg> Open(MemoryView& view) {
        DialogServices services;
        services.settingsPath = dir.File("CQubopostDlg.ini");
        services.journalPath = dir.File("history.sqlite3");
        services.draftPath = dir.File("state/qubopost/article-draft.txt");
        auto dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
        view.notify = dialog.get();
        dialog->OnInitDialog();
        return dialog;
    }
    TempDir dir;
};

}  // namespace

TEST_F(Draft, TheArticleComesBackAfterCloseWithALogLine) {
    const std::string article = "-----into-----\r\n[title]下書き♡🍣\r\n本文〜\r\n-----into-----";
    {
        MemoryView view;
        auto dialog = Open(view);
        view.SetWindowTextUtf8(IDC_ARTICLE, article);
        dialog->OnCommand(IDCANCEL);  // Close: settings and draft written
    }
    MemoryView view;
    auto dialog = Open(view);
    EXPECT_EQ(view.GetWindowTextUtf8(IDC_ARTICLE), article);
    EXPECT_NE(view.GetWindowTextUtf8(IDC_LOG).find("下書き"), std::string::npos)
        << view.GetWindowTextUtf8(IDC_LOG);
    dialog->OnCommand(IDCANCEL);
}

TEST_F(Draft, AnEditReachesTheFileWithoutClosingSoAKillLosesNothing) {
    const std::string path = dir.File("state/qubopost/article-draft.txt");
    // The window's process, killed after an edit without closing.
    const pid_t child = fork();
    if (child == 0) {
        MemoryView view;
        auto dialog = Open(view);
        view.SetWindowTextUtf8(IDC_ARTICLE, "killed before closing");
        for (;;) pause();
    }
    ASSERT_TRUE(WaitFor([&] { return TempDir::Read(path) == "killed before closing"; }));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    MemoryView view;
    auto dialog = Open(view);
    EXPECT_EQ(view.GetWindowTextUtf8(IDC_ARTICLE), "killed before closing");
    dialog->OnCommand(IDCANCEL);
}

TEST_F(Draft, ClearEmptiesTheDraft) {
    {
        MemoryView view;
        auto dialog = Open(view);
        view.SetWindowTextUtf8(IDC_ARTICLE, "to be cleared");
        view.Answer({true});  // "よろしいですか？" → はい
        dialog->OnCommand(IDC_CLEAR);
        dialog->OnCommand(IDCANCEL);
    }
    MemoryView view;
    auto dialog = Open(view);
    EXPECT_EQ(view.GetWindowTextUtf8(IDC_ARTICLE), "");
    EXPECT_EQ(view.GetWindowTextUtf8(IDC_LOG).find("下書き"), std::string::npos);
    dialog->OnCommand(IDCANCEL);
}

TEST(ArticleDraftFile, ManyChangesAreWrittenAsTheLastTextAndAnUnwritableFolderIsReported) {
    TempDir dir;
    std::string text;
    std::mutex mutex;
    ArticleDraft draft(dir.File("a/b/draft.txt"), [&] {
        std::lock_guard lock(mutex);
        return text;
    });
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard lock(mutex);
            text = "version " + std::to_string(i);
        }
        draft.Changed();
    }
    ASSERT_TRUE(WaitFor([&] { return TempDir::Read(dir.File("a/b/draft.txt")) == "version 199"; }));
    EXPECT_EQ(draft.Load(), std::optional<std::string>("version 199"));

    // A draft whose folder cannot be made: the write fails with a reason, nothing is thrown.
    TempDir::Write(dir.File("file"), "not a folder");
    ArticleDraft blocked(dir.File("file/draft.txt"), [] { return std::string("x"); });
    blocked.Changed();
    std::string error;
    // The writer thread may try first; either way the file never appears and Flush says why
    // whenever it still has the change.
    if (!blocked.Flush(&error)) {
        EXPECT_FALSE(error.empty());
    }
    EXPECT_FALSE(blocked.Load());
}
