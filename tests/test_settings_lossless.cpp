// The settings file as the user's words need it: values the HostData section can't hold are
// kept losslessly beside it, a value another writer of the HostData section or a hand edit changes
// still wins, two windows don't wipe each other's changes, and links, read-only files and FIFOs are
// treated as the user arranged them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "memory_view.h"
#include "platform/encoding.h"
#include "platform/profile.h"
#include "resources/control_table.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

namespace {

class Settings : public ::testing::Test {
protected:
    std::unique_ptr<CQubopostDlg> Open(MemoryView& view) {
        DialogServices services;
        services.settingsPath = path;
        auto dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
        dialog->OnInitDialog();
        return dialog;
    }
    std::string Section(const std::string& section, const std::string& key) {
        return IniDocument::Parse(TempDir::Read(path)).Get(section, key).value_or("<none>");
    }
    TempDir dir;
    std::string path = dir.File("CQubopostDlg.ini");
};

}  // namespace

TEST_F(Settings, ValuesTheHostDataSectionCannotHoldComeBackAsTyped) {
    const struct {
        int control;
        std::string typed;
    } table[] = {
        {IDC_HEADER, "続きは...こちら\r\n二行目"},
        {IDC_FOOTER, "Read more... here"},
        {IDC_FOOTER, "ハート\u2661つき"},
        {IDC_BLOG_ADDRESSES, "a@example.jp\r\nb・・c@example.jp"},
        {IDC_AFFILIATE_ID, "id\u301Cwave"},
        {IDC_HEADER, "back\\slash\\n stays"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.typed);
        unlink(path.c_str());
        {
            MemoryView view;
            auto dialog = Open(view);
            view.SetWindowTextUtf8(row.control, row.typed);
            ASSERT_TRUE(dialog->SaveSettings());
        }
        MemoryView again;
        auto dialog = Open(again);
        EXPECT_EQ(again.GetWindowTextUtf8(row.control), row.typed);
    }
}

TEST_F(Settings, TheHostDataKeysStayInTheirShiftJisForm) {
    MemoryView view;
    auto dialog = Open(view);
    view.SetUtf8(IDC_HEADER, "一\r\n二...三");
    view.SetUtf8(IDC_BLOG_ADDRESSES, "a@x.jp\r\nb@x.jp");
    ASSERT_TRUE(dialog->SaveSettings());
    EXPECT_EQ(Section("HostData", "HEADER"), Sjis("一..二...三").Bytes());
    EXPECT_EQ(Section("HostData", "BLOGMAIL"), Sjis("a@x.jp・・b@x.jp").Bytes());
    // A value that survives the HostData section gets no copy of ours.
    EXPECT_EQ(Section("HostData.Unicode", "BLOGMAIL"), "<none>");
    EXPECT_NE(Section("HostData.Unicode", "HEADER"), "<none>");
}

TEST_F(Settings, AFileWithOnlyTheHostDataSectionLoadsAsBefore) {
    TempDir::Write(path,
                   Sjis("[HostData]\r\nID=abc\r\nMAIL=me@x.jp\r\nSMTP=smtp.x.jp\r\nPORT=587\r\n"
                        "BLOGMAIL=a@x.jp・・b@x.jp\r\nHEADER=上..下\r\nFOOTER=\r\n")
                       .Bytes());
    MemoryView view;
    auto dialog = Open(view);
    EXPECT_EQ(view.Utf8(IDC_AFFILIATE_ID), "abc");
    EXPECT_EQ(view.Utf8(IDC_BLOG_ADDRESSES), "a@x.jp\r\nb@x.jp");
    EXPECT_EQ(view.Utf8(IDC_HEADER), "上\r\n下");
    EXPECT_EQ(view.Utf8(IDC_FOOTER), "");
}

TEST_F(Settings, AValueEditedByHandSinceWinsOverOurCopy) {
    {
        MemoryView view;
        auto dialog = Open(view);
        view.SetUtf8(IDC_HEADER, "続きは...こちら");
        ASSERT_TRUE(dialog->SaveSettings());
    }
    // Another writer (or the user) changes HEADER; our copy no longer matches it.
    IniDocument doc = IniDocument::Parse(TempDir::Read(path));
    doc.Set("HostData", "HEADER", Sjis("手で..直した").Bytes());
    TempDir::Write(path, doc.Serialize());
    MemoryView view;
    auto dialog = Open(view);
    EXPECT_EQ(view.Utf8(IDC_HEADER), "手で\r\n直した");
}

TEST_F(Settings, TwoWindowsKeepEachOthersChanges) {
    MemoryView first, second;
    auto a = Open(first);
    auto b = Open(second);
    first.SetUtf8(IDC_FROM_ADDRESS, "first@x.jp");
    second.SetUtf8(IDC_SMTP_SERVER, "smtp.second.jp");
    ASSERT_TRUE(a->SaveSettings());
    ASSERT_TRUE(b->SaveSettings());  // closed last: writes only what it changed
    EXPECT_EQ(Section("HostData", "MAIL"), "first@x.jp");
    EXPECT_EQ(Section("HostData", "SMTP"), "smtp.second.jp");
}

TEST_F(Settings, ALinkIsFollowedAndStaysALink) {
    const std::string target = dir.File("real.ini");
    TempDir::Write(target, "[HostData]\r\nMAIL=old@x.jp\r\n");
    ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
    MemoryView view;
    auto dialog = Open(view);
    EXPECT_EQ(view.Utf8(IDC_FROM_ADDRESS), "old@x.jp");
    view.SetUtf8(IDC_FROM_ADDRESS, "new@x.jp");
    ASSERT_TRUE(dialog->SaveSettings());
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(TempDir::Read(target).find("MAIL=new@x.jp"), std::string::npos);
}

TEST_F(Settings, AReadOnlyFileIsNotOverwritten) {
    TempDir::Write(path, "[HostData]\r\nMAIL=keep@x.jp\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    MemoryView view;
    auto dialog = Open(view);
    view.SetUtf8(IDC_FROM_ADDRESS, "changed@x.jp");
    EXPECT_FALSE(dialog->SaveSettings());
    EXPECT_EQ(TempDir::Read(path), "[HostData]\r\nMAIL=keep@x.jp\r\n");
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_NE(view.Messages()[0].find("読み取り専用"), std::string::npos);
}

TEST_F(Settings, AFifoIsNeitherReadNorWritten) {
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    MemoryView view;
    auto dialog = Open(view);  // must not hang waiting for a writer
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_NE(view.Messages()[0].find("通常のファイルではありません"), std::string::npos);
    view.SetUtf8(IDC_FROM_ADDRESS, "x@x.jp");
    EXPECT_FALSE(dialog->SaveSettings());
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(Settings, TwoProcessesOnOneFileKeepEachOthersChanges) {
    TempDir::Write(path, "[HostData]\r\nMAIL=old@x.jp\r\nSMTP=old.smtp\r\n");
    int loaded[2], go[2];
    ASSERT_EQ(pipe(loaded), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other window: loads, waits until this one has loaded too, changes MAIL, closes.
        MemoryView view;
        auto dialog = Open(view);
        char byte = 1;
        if (write(loaded[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) _exit(2);
        view.SetUtf8(IDC_FROM_ADDRESS, "child@x.jp");
        _exit(dialog->SaveSettings() ? 0 : 1);
    }
    MemoryView view;
    auto dialog = Open(view);
    char byte = 0;
    ASSERT_EQ(read(loaded[0], &byte, 1), 1);
    ASSERT_EQ(write(go[1], &byte, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // This window closes last, having changed only the server.
    view.SetUtf8(IDC_SMTP_SERVER, "new.smtp");
    ASSERT_TRUE(dialog->SaveSettings());
    EXPECT_EQ(Section("HostData", "MAIL"), "child@x.jp");
    EXPECT_EQ(Section("HostData", "SMTP"), "new.smtp");
}
