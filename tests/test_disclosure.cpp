// The advertising disclosure: without "PR", "広告", "プロモーション" or "アフィリエイト" anywhere
// in the header, the footer or the article, 投稿確認's preview warns (never refuses) and offers
// "ヘッダーに追加", whose line then arrives at the server as the first line of every message;
// qubopost-cli post says the same on standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_process.h"
#include "memory_view.h"
#include "resources/control_table.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

using qubopost::test::DecodedBody;
using qubopost::test::SmtpClientEnvironment;
using qubopost::test::SmtpServer;

namespace {

const std::string kArticle =
    "-----into-----\r\n[title]今月のおすすめ\r\nhttp://shop.test/1/\r\n-----into-----\r\n";
const std::string kLine = "本記事はプロモーションを含みます。";

struct Place {
    const char* what;
    const char* header;
    const char* footer;
    const char* articleNote;  // put into the article's text
    bool warned;
};

class Disclosure : public ::testing::Test {
protected:
    std::unique_ptr<CQubopostDlg> MakeDialog(MemoryView& view) {
        DialogServices services;
        services.settingsPath = dir.File("CQubopostDlg.ini");
        services.journalPath = dir.File("history.sqlite3");
        services.postingPause = {};
        auto dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
        dialog->OnInitDialog();
        view.SetUtf8(IDC_FROM_ADDRESS, "me@example.jp");
        view.SetUtf8(IDC_SMTP_SERVER, "127.0.0.1");
        view.SetUtf8(IDC_BLOG_ADDRESSES, "blog@example.jp");
        return dialog;
    }
    TempDir dir;
};

}  // namespace

TEST_F(Disclosure, TheWarningComesOnlyWithoutAnyOfTheFourWords) {
    const Place places[] = {
        {"nothing says so", "こんにちは\r\n", "\r\nまたね", "", true},
        {"PR in the header", "【PR】こんにちは\r\n", "", "", false},
        {"広告 in the footer", "", "\r\nこの記事は広告です", "", false},
        {"プロモーション in the article", "", "", "プロモーションのお知らせ\r\n", false},
        {"アフィリエイト in the footer", "", "\r\nアフィリエイトリンクを含みます", "", false},
        {"lower-case pr is no disclosure", "pr\r\n", "", "", true},
    };
    for (const Place& place : places) {
        SCOPED_TRACE(place.what);
        MemoryView view;
        auto dialog = MakeDialog(view);
        view.SetUtf8(IDC_SMTP_PORT, "25");
        view.SetWindowTextUtf8(IDC_HEADER, place.header);
        view.SetWindowTextUtf8(IDC_FOOTER, place.footer);
        view.SetWindowTextUtf8(IDC_ARTICLE, std::string(place.articleNote) + kArticle);
        dialog->OnCommand(IDC_CONFIRM_POST);
        ASSERT_TRUE(view.Messages().empty()) << view.Messages().front();
        ASSERT_EQ(view.Previews().size(), 1u);
        const PostingPreview preview = view.Previews().front();
        EXPECT_EQ(!preview.warning.empty(), place.warned) << preview.warning;
        EXPECT_EQ(!preview.fixCaption.empty(), place.warned);
        // Never a refusal: 確認 turns ブログ投稿開始 on either way.
        EXPECT_TRUE(view.IsWindowEnabled(IDC_START_POST));
    }
}

TEST_F(Disclosure, AddedToTheHeaderItArrivesAsTheFirstLineOfTheMessage) {
    SmtpClientEnvironment client;
    SmtpServer server;
    MemoryView view;
    auto dialog = MakeDialog(view);  // no mail call put in: the mail library's, as the window posts
    view.SetUtf8(IDC_SMTP_PORT, std::to_string(server.port()));
    view.SetWindowTextUtf8(IDC_HEADER, "こんにちは\r\n");
    view.SetWindowTextUtf8(IDC_ARTICLE, kArticle);
    view.choosePreviewFix = true;
    dialog->OnCommand(IDC_CONFIRM_POST);
    // The first preview warned and was closed with ヘッダーに追加; the second shows the mended
    // header, without the warning.
    ASSERT_EQ(view.Previews().size(), 2u);
    EXPECT_FALSE(view.Previews()[0].warning.empty());
    EXPECT_TRUE(view.Previews()[1].warning.empty());
    EXPECT_EQ(view.Utf8(IDC_HEADER), kLine + "\r\nこんにちは\r\n");
    ASSERT_EQ(view.Previews()[1].messages.size(), 1u);
    EXPECT_EQ(view.Previews()[1].messages[0].body.rfind(kLine + "\r\nこんにちは\r\n", 0), 0u);

    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(1));
    EXPECT_EQ(view.Messages().back(), "ブログへの自動投稿が完了しました。");
    const auto received = server.messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(DecodedBody(received[0]).rfind(kLine + "\r\nこんにちは\r\n", 0), 0u)
        << DecodedBody(received[0]);
}

TEST(DisclosureCli, PostWarnsOnStandardErrorOnlyWithoutADisclosure) {
    TempDir home;
    TempDir::Write(home.File("article.txt"), kArticle);
    TempDir::Write(home.File("plain.txt"), "こんにちは\n");
    TempDir::Write(home.File("pr.txt"), "【PR】こんにちは\n");
    for (const auto& [header, warned] :
         {std::pair{"plain.txt", true}, std::pair{"pr.txt", false}}) {
        SCOPED_TRACE(header);
        const CliRun run =
            RunCli(home, {"post", "--dry-run", "--article", home.File("article.txt"), "--header",
                          home.File(header), "--to", "blog@example.jp", "--server", "127.0.0.1",
                          "--port", "25", "--from", "me@example.jp"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("広告であることの表示") != std::string::npos, warned) << run.err;
    }
}
