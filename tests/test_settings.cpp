// The settings file: byte-exact INI values, the line-break encodings of the multi-line
// fields, other contents kept, and saves that never leave a half-written file.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(IniDocument, ReadsAndWritesShiftJisValuesByteForByte) {
    const std::string value =
        Sjis(" 漢字・ソ表\\ =x ").Bytes();  // trail bytes '\\' and blanks kept
    IniDocument doc;
    doc.Set("HostData", "MAIL", value);
    const IniDocument back = IniDocument::Parse(doc.Serialize());
    EXPECT_EQ(back.Get("HostData", "MAIL"), value);
    EXPECT_EQ(back.Get("hostdata", "mail"), value);  // names are matched without case
    EXPECT_EQ(back.Get("HostData", "ID"), std::nullopt);
    EXPECT_EQ(back.Get("Other", "MAIL"), std::nullopt);
}

TEST(IniDocument, KeepsOtherSectionsCommentsAndLineEnds) {
    const std::string original =
        "; comment\n[Other]\nx=1\n\n[HostData]\nMAIL=a\nEXTRA=keep\n\n[Tail]\ny=2\n";
    IniDocument doc = IniDocument::Parse(original);
    doc.Set("HostData", "MAIL", "b");
    doc.Set("HostData", "ID", "new");
    EXPECT_EQ(doc.Serialize(),
              "; comment\n[Other]\nx=1\n\n[HostData]\nMAIL=b\nEXTRA=keep\nID=new\n\n[Tail]\ny=2\n");

    IniDocument crlf = IniDocument::Parse("[A]\r\nk=v\r\n");
    crlf.Set("B", "k", "w");
    EXPECT_EQ(crlf.Serialize(), "[A]\r\nk=v\r\n[B]\r\nk=w\r\n");
}

TEST(IniDocument, ShiftJisNamesCompareByCharacter) {
    // "ア" is 83 41 and "ャ" 83 61: only their second bytes differ, as 'A' and 'a' do.
    IniDocument doc;
    doc.Set("HostData", Sjis("ア").Bytes(), "one");
    doc.Set("HostData", Sjis("ャ").Bytes(), "two");
    EXPECT_EQ(doc.Get("HostData", Sjis("ア").Bytes()), std::optional<std::string>("one"));
    // A section name ending in "ゾ" (83 5D), whose second byte is ']': the header is read by
    // characters.
    const std::string section = Sjis("設定ゾ").Bytes();
    ASSERT_EQ(section.back(), ']');
    doc.Set(section, "K", "v");
    EXPECT_EQ(IniDocument::Parse(doc.Serialize()).Get(section, "K"),
              std::optional<std::string>("v"));
}

TEST(IniDocument, AValueEndingTheFileInCarriageReturnKeepsIt) {
    IniDocument doc = IniDocument::Parse("[HostData]\nHEADER=x\r");
    doc.Set("HostData", "MAIL", "a@b");
    EXPECT_EQ(IniDocument::Parse(doc.Serialize()).Get("HostData", "HEADER"),
              std::optional<std::string>("x\r"));
}

TEST(IniDocument, LineBreaksCannotSplitAValueIntoNewKeys) {
    IniDocument doc;
    doc.Set("HostData", "ID", "a\r\n[Evil]\nk=v");
    const IniDocument back = IniDocument::Parse(doc.Serialize());
    EXPECT_EQ(back.Sections(), std::vector<std::string>{"HostData"});
    EXPECT_EQ(back.Keys("HostData"), std::vector<std::string>{"ID"});
}

TEST(IniDocument, GarbageParsesAndSurvivesALoadSaveLoad) {
    const std::string garbage = std::string("[\0=]\n==\n[x\n]\r\r\n=v\nk", 20);
    const IniDocument doc = IniDocument::Parse(garbage);
    const std::string once = doc.Serialize();
    EXPECT_EQ(IniDocument::Parse(once).Serialize(), once);
}

TEST(AtomicWrite, ReplacesWholeFilesAndLeavesNoTemporaries) {
    TempDir dir;
    const std::string path = dir.File("settings.ini");
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "old", &error)) << error;
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(WriteFileAtomically(path, "new contents", &error)) << error;
    EXPECT_EQ(TempDir::Read(path), "new contents");
    struct stat st {};
    stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // the old file's permissions stay
    EXPECT_FALSE(WriteFileAtomically(dir.File("missing-folder/x.ini"), "x", &error));
    EXPECT_FALSE(error.empty());
}

namespace {

class DialogSettings : public ::testing::Test {
protected:
    std::unique_ptr<CQubopostDlg> MakeDialog() {
        DialogServices services;
        services.settingsPath = path;
        auto dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
        return dialog;
    }
    TempDir dir;
    std::string path = dir.File("CQubopostDlg.ini");
    MemoryView view;
};

}  // namespace

TEST_F(DialogSettings, LoadDecodesTheLineBreakMarksAndCloseWritesThemBackByteForByte) {
    const std::string file =
        Sjis(
            "[HostData]\r\nID=af-1\r\nMAIL=me@example.jp\r\nSMTP=smtp.example.jp\r\nPORT=587\r\n"
            "BLOGMAIL=a@blog.jp・・b@blog.jp\r\nHEADER=こんにちは..二行目\r\nFOOTER=...終わり\r\n")
            .Bytes();
    TempDir::Write(path, file);
    auto dialog = MakeDialog();
    dialog->OnInitDialog();
    EXPECT_EQ(view.Utf8(IDC_AFFILIATE_ID), "af-1");
    EXPECT_EQ(view.Utf8(IDC_SMTP_PORT), "587");
    EXPECT_EQ(view.Utf8(IDC_BLOG_ADDRESSES), "a@blog.jp\r\nb@blog.jp");
    EXPECT_EQ(view.Utf8(IDC_HEADER), "こんにちは\r\n二行目");
    EXPECT_EQ(view.Utf8(IDC_FOOTER), "\r\n.終わり");  // "..." reloads as a break and "."
    dialog->OnCancel();
    EXPECT_EQ(view.EndResult(), IDCANCEL);
    // "..." came back as "\r\n." and is written as "..." again.
    EXPECT_EQ(TempDir::Read(path), file);
}

TEST_F(DialogSettings, MarksTypedIntoFieldsComeBackAsTyped) {
    auto dialog = MakeDialog();
    view.SetUtf8(IDC_HEADER, "a..b");
    view.SetUtf8(IDC_BLOG_ADDRESSES, "x・・y");
    dialog->OnCancel();
    MemoryView reloaded;
    auto second = MakeDialog();
    second->Attach(&reloaded);
    second->LoadSettings();
    // The HostData keys hold line breaks there; our lossless copies keep what was typed.
    EXPECT_EQ(reloaded.Utf8(IDC_HEADER), "a..b");
    EXPECT_EQ(reloaded.Utf8(IDC_BLOG_ADDRESSES), "x・・y");
}

TEST_F(DialogSettings, ClearThenCloseWritesAllSevenKeysEmptyAndKeepsOtherSections) {
    TempDir::Write(path, "[Window]\r\nx=1\r\n[HostData]\r\nID=old\r\nMAIL=old\r\n");
    auto dialog = MakeDialog();
    dialog->OnInitDialog();
    view.Answer({true});  // "はい" to the question before clearing
    dialog->OnClear();
    dialog->OnCancel();
    EXPECT_EQ(
        TempDir::Read(path),
        "[Window]\r\nx=1\r\n[HostData]\r\nID=\r\nMAIL=\r\nSMTP=\r\nPORT=\r\nBLOGMAIL=\r\nHEADER=\r\nFOOTER=\r\n");
}

TEST_F(DialogSettings, MissingFileLoadsEmptyAndIsCreatedOnClose) {
    auto dialog = MakeDialog();
    dialog->OnInitDialog();
    EXPECT_EQ(view.Utf8(IDC_FROM_ADDRESS), "");
    view.SetUtf8(IDC_SMTP_SERVER, "smtp.example.jp");
    dialog->OnCancel();
    EXPECT_EQ(
        TempDir::Read(path),
        "[HostData]\r\nID=\r\nMAIL=\r\nSMTP=smtp.example.jp\r\nPORT=\r\nBLOGMAIL=\r\nHEADER=\r\nFOOTER=\r\n");
}

TEST_F(DialogSettings, AFailedSaveIsShownAndLeavesTheOldFileWhole) {
    TempDir::Write(path, "[HostData]\r\nID=keep\r\n");
    if (getuid() == 0) {
        // root writes through permissions: make the folder a file's path instead.
        path = dir.File("CQubopostDlg.ini/inner.ini");
    } else {
        chmod(dir.Path().c_str(), 0500);
    }
    auto dialog = MakeDialog();
    view.SetUtf8(IDC_AFFILIATE_ID, "new");
    dialog->OnCancel();
    chmod(dir.Path().c_str(), 0700);
    ASSERT_EQ(view.Messages().size(), 1u);
    EXPECT_NE(view.Messages()[0].find("設定ファイルを保存できませんでした。"), std::string::npos);
    EXPECT_NE(view.Messages()[0].find(path), std::string::npos);
    EXPECT_EQ(TempDir::Read(dir.File("CQubopostDlg.ini")), "[HostData]\r\nID=keep\r\n");
    EXPECT_EQ(view.EndResult(), IDCANCEL);  // the dialog still closes
}
