// 投稿確認 with blog URLs among the destinations: the sender, the SMTP server and its port are
// asked for only when some line is a mail address; a URL line is checked as a URL; a port typed
// with full-width digits is the same number. The dialog logic on a memory view, as the window
// drives it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_view.h"
#include "resources/control_table.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

namespace {

// Three articles: one group.
const std::string kArticle =
    "[title]最初の記事\r\nhttp://shop.test/1/\r\n-----into-----\r\n"
    "[title]二つ目\r\nhttp://shop.test/2/\r\n-----into-----\r\n"
    "[title]三つ目\r\nhttp://shop.test/3/\r\n-----into-----\r\n";

struct Case {
    const char* what;
    const char* from;
    const char* server;
    const char* port;
    const char* destinations;
    // The confirmation's message, whole; "" when it goes to the preview; "*" when it is one
    // message naming the destination line at fault.
    std::string message;
    int focus;  // the control focused after a refusal
};

class ConfirmationDestinations : public ::testing::TestWithParam<Case> {};

TEST_P(ConfirmationDestinations, AsksForWhatTheDestinationsNeed) {
    const Case& c = GetParam();
    TempDir dir;
    MemoryView view;
    DialogServices services;
    services.settingsPath = dir.File("CQubopostDlg.ini");
    services.journalPath = dir.File("history.sqlite3");
    services.sendMail = [](const char*, const char*, const char*, const char*, const char*,
                           const char*, char*) { return 1; };
    CQubopostDlg dialog(services);
    dialog.Attach(&view);
    dialog.OnInitDialog();
    view.SetUtf8(IDC_FROM_ADDRESS, c.from);
    view.SetUtf8(IDC_SMTP_SERVER, c.server);
    view.SetUtf8(IDC_SMTP_PORT, c.port);
    view.SetUtf8(IDC_BLOG_ADDRESSES, c.destinations);
    view.SetWindowTextUtf8(IDC_ARTICLE, kArticle);
    dialog.OnCommand(IDC_CONFIRM_POST);
    if (c.message.empty()) {
        EXPECT_TRUE(view.Messages().empty()) << view.Messages().front();
        ASSERT_EQ(view.Previews().size(), 1u);
        EXPECT_TRUE(view.IsWindowEnabled(IDC_START_POST));
        if (std::string(c.port) == "２５２５") {
            EXPECT_EQ(view.Utf8(IDC_SMTP_PORT), "2525");  // kept in half-width
        }
    } else if (c.message == "*") {
        ASSERT_EQ(view.Messages().size(), 1u);
        EXPECT_NE(view.Messages()[0].find(c.destinations), std::string::npos) << view.Messages()[0];
        EXPECT_TRUE(view.Previews().empty());
        EXPECT_EQ(view.Focus(), c.focus);
    } else {
        EXPECT_EQ(view.Messages(), std::vector<std::string>{c.message});
        EXPECT_TRUE(view.Previews().empty());
        EXPECT_EQ(view.Focus(), c.focus);
        EXPECT_FALSE(view.IsWindowEnabled(IDC_START_POST));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfirmationDestinations,
    ::testing::Values(
        Case{"only a blog, no SMTP settings", "", "", "", "https://taro@blog.example.jp/", "", 0},
        Case{"two blogs, a forced API", "", "", "",
             "https://taro@blog.example.jp/\r\natompub+https://hanako@blog.example.com/feed", "",
             0},
        Case{
            "a mail address among blogs needs every SMTP setting", "", "", "",
            "https://taro@blog.example.jp/\r\nblog@example.jp",
            "投稿元メールアドレスが未入力です。\nSMTPサーバアドレスが未入力です。\nSMTPポートが未入力です。",
            IDC_FROM_ADDRESS},
        Case{"full-width port digits are the same number", "me@example.jp", "smtp.test", "２５２５",
             "blog@example.jp", "", 0},
        Case{"a URL without its user name", "", "", "", "https://blog.example.jp/", "*",
             IDC_BLOG_ADDRESSES},
        // (A host name is judged by its addresses when the post connects, off the window's thread.)
        Case{"plain http to another machine's address", "", "", "", "http://taro@192.0.2.7/", "*",
             IDC_BLOG_ADDRESSES},
        Case{"a mail line with two at signs", "me@example.jp", "smtp.test", "25", "a@b@example.jp",
             "*", IDC_BLOG_ADDRESSES}),
    [](const ::testing::TestParamInfo<Case>& info) { return "case" + std::to_string(info.index); });

}  // namespace
