// Posting: groups of three articles, subjects, destinations, the run's log, progress and
// verdict, the confirmation's checks, and whole runs against a real SMTP server.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>

#include "article/article_generator.h"
#include "mail/bsmtp.h"
#include "memory_view.h"
#include "platform/encoding.h"
#include "posting/posting_plan.h"
#include "posting/posting_run.h"
#include "resources/control_table.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"
#include "wait_for.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;
using namespace qubopost::posting;

using qubopost::test::DecodedBody;
using qubopost::test::DecodedSubject;
using qubopost::test::SmtpClientEnvironment;
using qubopost::test::SmtpServer;
using qubopost::test::SmtpServerOptions;
using qubopost::test::WaitFor;

namespace {

std::string Title(int i) { return "記事" + std::to_string(i) + "のタイトル"; }

// Generated article text with n articles, as the dialog's generator makes it.
Text Articles(int n) {
    std::string page;
    for (int i = 1; i <= n; ++i) {
        page += "<a href='http://shop.test/" + std::to_string(i) + "/' target=_blank>" +
                Sjis(Title(i)).Bytes() + "</a>\n<td valign=top align=left><span class=style2>" +
                Sjis("説明" + std::to_string(i)).Bytes() + "</span></td>\n";
    }
    // The generator writes CP932; the posting takes the window's text, UTF-8.
    return Text(ToUtf8(GenerateArticle(Text(page), RankingKind::Monthly)));
}

// For a number of articles, the articles of each group: three to a group, in order.
const std::map<int, std::vector<std::vector<int>>> kGroupsOfThree = {
    {1, {{1}}},
    {2, {{1, 2}}},
    {3, {{1, 2, 3}}},
    {4, {{1, 2, 3}, {4}}},
    {7, {{1, 2, 3}, {4, 5, 6}, {7}}},
    {10, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10}}},
    {11, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11}}},
};

// The article text as the messages carry it: without its separator lines and title markers.
std::string WithoutMarkers(const Text& article) {
    Text whole = article;
    whole.Replace("-----into-----", "");
    whole.Replace("[title]", "");
    return whole.Bytes();
}

// Titles of the articles a group text holds, in order.
std::vector<int> ArticlesIn(const Text& groupText) {
    std::vector<int> found;
    const std::string& utf8 = groupText.Bytes();
    for (int i = 1; i <= 20; ++i) {
        if (utf8.find("http://shop.test/" + std::to_string(i) + "/") != std::string::npos)
            found.push_back(i);
    }
    return found;
}

struct Call {
    std::string server, to, from, subject, body, reserved;
};

// A mail call that records each message and answers from a list (1 when it runs out).
class RecordingSender {
public:
    explicit RecordingSender(std::vector<int> results = {}) : m_results(std::move(results)) {}
    MailSender Sender() {
        return [this](const char* server, const char* to, const char* from, const char* subject,
                      const char* body, const char* reserved, char* error) {
            std::lock_guard lock(m_mutex);
            calls.push_back({server, to, from, subject, body, reserved});
            const int result = m_next < m_results.size() ? m_results[m_next++] : 1;
            if (result == 0) std::snprintf(error, 80, "550 rejected %s", to);
            return result;
        };
    }
    std::vector<Call> calls;

private:
    std::mutex m_mutex;
    std::vector<int> m_results;
    std::size_t m_next = 0;
};

class CountingEvents : public PostingEvents {
public:
    void OnRange(int maximum) override { range = maximum; }
    void OnProgressStep() override { ++progress; }
    void OnLogLine(const Text& line) override { log.insert(log.begin(), line.Bytes()); }
    bool Pause() override { return ++pauses, true; }
    bool StopRequested() override { return false; }
    int range = -1, progress = 0, pauses = 0;
    std::vector<std::string> log;  // newest first
};

PostingInputs Inputs(const Text& article, const std::string& addresses) {
    return {"smtp.test",         "25",    "me@example.jp",
            Text(addresses),     article, Text("ヘッダー\r\n"),
            Text("\r\nフッター")};
}

}  // namespace

TEST(PostingPlan, EveryArticleIsSentInGroupsOfThree) {
    for (const auto& [n, groups] : kGroupsOfThree) {
        SCOPED_TRACE(n);
        const Text article = Articles(n);
        EXPECT_EQ(CountArticles(article), n);
        const auto plan = PlanPosting(article);
        ASSERT_EQ(plan.size(), groups.size());
        Text joined;
        for (std::size_t g = 0; g < plan.size(); ++g) {
            EXPECT_EQ(ArticlesIn(plan[g].text), groups[g]);
            EXPECT_EQ(plan[g].text.Find("-----into-----"), -1);
            EXPECT_EQ(plan[g].text.Find("[title]"), -1);
            EXPECT_EQ(plan[g].subject.Bytes(), Title(groups[g][0]));
            joined += plan[g].text;
        }
        // Nothing lost, nothing twice.
        EXPECT_EQ(joined.Bytes(), WithoutMarkers(article));
    }
}

TEST(PostingPlan, TextWithoutTwoSeparatorsHoldsNoArticle) {
    EXPECT_TRUE(PlanPosting("").empty());
    EXPECT_TRUE(PlanPosting("just text").empty());
    EXPECT_TRUE(PlanPosting("\r\n\r\n-----into-----").empty());
    EXPECT_EQ(CountArticles(""), -1);
    EXPECT_EQ(CountArticles("-----into-----"), 1);
}

TEST(PostingPlan, SubjectsStopAtTheLineEndAndAreCutOnWholeCharacters) {
    const auto subject = [](const std::string& title) {
        return CutSubject(Text("\r\n[title]") + Text(title) + Text("\r\n\r\nbody")).Bytes();
    };
    const auto repeat = [](const std::string& what, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) out += what;
        return out;
    };
    // The length rule counts Shift-JIS bytes: 1 for ASCII and half-width katakana, 2 for
    // any other character (one Shift-JIS lacks included). Under 50 the title stays whole;
    // from 50 on, the longest start of at most 46 such bytes ending on a whole
    // user-perceived character, then "・・".
    struct Case {
        std::string title;
        std::string expected;
    };
    const Case cases[] = {
        {repeat("漢", 24) + "a", repeat("漢", 24) + "a"},  // 49
        {repeat("漢", 25), repeat("漢", 23) + "・・"},     // 50
        {"a" + repeat("漢", 25),
         "a" + repeat("漢", 22) + "・・"},   // 46 would end inside a character
        {repeat("ｱ", 49), repeat("ｱ", 49)},  // half-width katakana: 1 each
        {repeat("ｱ", 50), repeat("ｱ", 46) + "・・"},
        {repeat("♡", 24) + "a", repeat("♡", 24) + "a"},  // no Shift-JIS form: 2 each
        {repeat("♡", 25), repeat("♡", 23) + "・・"},
        {repeat("〜", 25), repeat("〜", 23) + "・・"},  // WAVE DASH stays itself
        // An emoji with a skin-tone modifier is one character of 4 counted bytes: never cut.
        {"a" + repeat("漢", 22) + "👍🏽" + "漢", "a" + repeat("漢", 22) + "・・"},
        {repeat("漢", 21) + "👍🏽" + "漢漢", repeat("漢", 21) + "👍🏽" + "・・"},
        // A flag is two regional indicators, one character.
        {"x" + repeat("漢", 22) + "🇯🇵" + "漢", "x" + repeat("漢", 22) + "・・"},
        // A letter with a combining mark stays with its mark.
        {repeat("漢", 22) + "a" + "e\u0301" + "漢漢", repeat("漢", 22) + "a" + "・・"},
        {repeat("🍣", 12) + "a", repeat("🍣", 12) + "a"},
    };
    for (const Case& c : cases) EXPECT_EQ(subject(c.title), c.expected) << c.title;
    // A tag at the very end gives an empty subject; no tag takes the first non-empty line.
    EXPECT_EQ(CutSubject("text\r\n[title]"), Text(""));
    EXPECT_EQ(CutSubject("\r\n\r\n  first line\r\nsecond"), Text("  first line"));
}

TEST(PostingPlan, DestinationsAreLinesTrimmedWithEmptyOnesSkipped) {
    const auto list = SplitAddresses("a@x.jp\r\n\r\n  b@x.jp \rc@x.jp\nd@x.jp\r\n");
    EXPECT_EQ(list, (std::vector<Text>{"a@x.jp", "b@x.jp", "c@x.jp", "d@x.jp"}));
    EXPECT_EQ(CountAddresses("\r\n \r\n"), 0);
}

TEST(PostingRun, SendsEveryGroupToEveryAddressWithHeaderAndFooter) {
    RecordingSender mail;
    CountingEvents events;
    EXPECT_TRUE(ExecutePosting(Inputs(Articles(4), "a@x.jp\r\nb@x.jp\r\n"), mail.Sender(), events));
    ASSERT_EQ(mail.calls.size(), 4u);
    EXPECT_EQ(mail.calls[0].to, "a@x.jp");
    EXPECT_EQ(mail.calls[1].to, "b@x.jp");
    EXPECT_EQ(mail.calls[2].to, "a@x.jp");
    EXPECT_EQ(mail.calls[0].server, "smtp.test:25");
    // The texts go to the mail call as UTF-8, and the call is told so.
    EXPECT_EQ(mail.calls[0].reserved, "charset=UTF-8");
    const std::string body = mail.calls[2].body;
    EXPECT_EQ(body.rfind("ヘッダー\r\n", 0), 0u);
    EXPECT_EQ(body.substr(body.size() - 14), "\r\nフッター");
    EXPECT_EQ(mail.calls[2].subject, Title(4));
    EXPECT_EQ(events.range, 4);
    EXPECT_EQ(events.progress, 4);
    EXPECT_EQ(events.pauses, 4);
    EXPECT_EQ(events.log, (std::vector<std::string>{"b@x.jp:送信完了", "a@x.jp:送信完了",
                                                    "b@x.jp:送信完了", "a@x.jp:送信完了"}));
}

TEST(PostingRun, AFailureSkipsNoOtherAddressAndMakesTheVerdictFailure) {
    RecordingSender mail({0, 1, 1, 1, 1, 1});
    CountingEvents events;
    EXPECT_FALSE(
        ExecutePosting(Inputs(Articles(6), "a@x.jp\r\nb@x.jp\r\nc@x.jp"), mail.Sender(), events));
    ASSERT_EQ(mail.calls.size(), 6u);  // both groups to all three addresses
    EXPECT_EQ(events.progress, 5);
    EXPECT_EQ(events.pauses, 5);
    EXPECT_EQ(events.log.back(),
              "送信エラー (550 rejected a@x.jp) smtp.test:25 a@x.jp me@example.jp " + Title(1));

    // Results above 9 count as sent but write no line.
    RecordingSender quiet({10, 10});
    CountingEvents quietEvents;
    EXPECT_TRUE(
        ExecutePosting(Inputs(Articles(2), "a@x.jp\r\nb@x.jp"), quiet.Sender(), quietEvents));
    EXPECT_TRUE(quietEvents.log.empty());
    EXPECT_EQ(quietEvents.progress, 2);
}

TEST(PostingRun, NothingToSendIsAFailure) {
    RecordingSender mail;
    CountingEvents events;
    EXPECT_FALSE(ExecutePosting(Inputs("no separators here", "a@x.jp"), mail.Sender(), events));
    EXPECT_FALSE(ExecutePosting(Inputs(Articles(3), "\r\n  \r\n"), mail.Sender(), events));
    EXPECT_TRUE(mail.calls.empty());
    EXPECT_EQ(events.range, 0);
}

namespace {

class PostingDialog : public ::testing::Test {
protected:
    std::unique_ptr<CQubopostDlg> MakeDialog(MailSender sender,
                                             std::chrono::milliseconds pause = {}) {
        DialogServices services;
        services.settingsPath = dir.File("CQubopostDlg.ini");
        services.sendMail = std::move(sender);
        services.postingPause = pause;
        services.journalPath = dir.File("history.sqlite3");
        auto dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
        dialog->OnInitDialog();
        return dialog;
    }
    void FillFields(const std::string& server, const std::string& port, const Text& article) {
        view.SetUtf8(IDC_FROM_ADDRESS, "me@example.jp");
        view.SetUtf8(IDC_SMTP_SERVER, server);
        view.SetUtf8(IDC_SMTP_PORT, port);
        view.SetUtf8(IDC_BLOG_ADDRESSES, "blog-a@example.jp\r\nblog-b@example.jp");
        view.SetWindowTextUtf8(IDC_ARTICLE, article.Bytes());
        view.SetUtf8(IDC_HEADER, "こんにちは\r\n");
        view.SetUtf8(IDC_FOOTER, "\r\nまたね");
    }
    TempDir dir;
    MemoryView view;
};

}  // namespace

TEST_F(PostingDialog, ConfirmationChecksEveryRequiredFieldInOrder) {
    RecordingSender mail;
    auto dialog = MakeDialog(mail.Sender());
    view.SetUtf8(IDC_SMTP_SERVER, " ");  // blanks count as content
    dialog->OnCommand(IDC_CONFIRM_POST);
    // One message that lists every problem, the required-field texts first and in their order.
    EXPECT_EQ(
        view.Messages(),
        (std::vector<std::string>{"投稿元メールアドレスが未入力です。\nSMTPポートが未入力です。\n"
                                  "投稿先メールアドレスが未入力です。\n投稿データが未入力です。"}));
    EXPECT_EQ(view.Focus(), IDC_FROM_ADDRESS);
    EXPECT_FALSE(view.IsWindowEnabled(IDC_START_POST));

    FillFields("smtp.test", "25", Articles(1));
    dialog->OnCommand(IDC_CONFIRM_POST);
    EXPECT_EQ(view.Messages().size(), 1u);
    EXPECT_TRUE(view.IsWindowEnabled(IDC_START_POST));
    EXPECT_EQ(dialog->Poster().ConfirmedInputs().header.Bytes(), "こんにちは\r\n");
}

TEST_F(PostingDialog, AMissingMailLibraryIsReported) {
    DialogServices services;
    services.settingsPath = dir.File("CQubopostDlg.ini");
    services.mailLibrary = "libno-such-mail-library.so";
    CQubopostDlg dialog(services);
    dialog.Attach(&view);
    dialog.OnInitDialog();
    FillFields("smtp.test", "25", Articles(1));
    dialog.OnCommand(IDC_CONFIRM_POST);
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"インポートライブラリが読み込めません。"});
    EXPECT_FALSE(view.IsWindowEnabled(IDC_START_POST));
}

TEST_F(PostingDialog, ARunUsesTheConfirmedCopiesAndPutsEveryLineOnTop) {
    RecordingSender mail({1, 0, 1, 1});
    auto dialog = MakeDialog(mail.Sender());
    FillFields("smtp.test", "587", Articles(4));
    dialog->OnCommand(IDC_CONFIRM_POST);
    view.SetUtf8(IDC_LOG, "earlier");
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(1));
    EXPECT_EQ(
        view.Messages()[0],
        "ブログへの投稿に失敗しました。\nSMTPサーバ名：SMTPポート番号：投稿先メールアドレス 等を再度ご確認下さい。");
    ASSERT_EQ(mail.calls.size(), 4u);
    EXPECT_EQ(mail.calls[0].to, "blog-a@example.jp");
    EXPECT_EQ(mail.calls[0].server, "smtp.test:587");
    EXPECT_EQ(
        view.Utf8(IDC_LOG),
        "blog-b@example.jp:送信完了\r\n\r\nblog-a@example.jp:送信完了\r\n\r\n"
        "送信エラー (550 rejected blog-b@example.jp) smtp.test:587 blog-b@example.jp me@example.jp " +
            Title(1) + "\r\n\r\nblog-a@example.jp:送信完了\r\n\r\nearlier");
    EXPECT_EQ(view.GetProgressPos(IDC_PROGRESS), 3);
    EXPECT_EQ(view.ProgressUpper(), 4);
    EXPECT_EQ(dialog->Subject().Bytes(), Title(4));
    EXPECT_EQ(dialog->Log(), Text(""));
    EXPECT_TRUE(view.IsWindowEnabled(IDC_START_POST));  // usable again after the run
    EXPECT_TRUE(view.IsWindowEnabled(IDC_CONFIRM_POST));
}

TEST_F(PostingDialog, ButtonsAreDisabledDuringARunAndClosingStopsIt) {
    std::atomic<int> sent{0};
    auto dialog = MakeDialog([&](const char*, const char*, const char*, const char*, const char*,
                                 const char*, char*) { return ++sent, 1; },
                             std::chrono::hours(1));
    FillFields("smtp.test", "25", Articles(9));
    dialog->OnCommand(IDC_CONFIRM_POST);
    dialog->OnCommand(IDC_START_POST);
    // During the run the start button is the stop button; the confirmation waits.
    EXPECT_TRUE(view.IsWindowEnabled(IDC_START_POST));
    EXPECT_EQ(view.Utf8(IDC_START_POST), "投稿停止");
    EXPECT_FALSE(view.IsWindowEnabled(IDC_CONFIRM_POST));
    ASSERT_TRUE(WaitFor([&] { return sent.load() > 0; }, "the first message"));
    dialog->StopJobs();
    ASSERT_TRUE(WaitFor([&] { return !dialog->JobsRunning(); }, "the run to end after StopJobs"));
    dialog.reset();
    EXPECT_EQ(sent.load(), 1);  // the pause woke and no further message went out
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(PostingDialog, WholeRunsArriveAtARealServerAsTheGroupsTheRunBuilt) {
    SmtpClientEnvironment client;
    SmtpServer server;
    for (const auto& [n, groups] : kGroupsOfThree) {
        SCOPED_TRACE(n);
        MemoryView fresh;
        auto dialog = MakeDialog(BSendMail);
        const std::size_t before = server.messages().size();
        const std::size_t shown = view.Messages().size();
        FillFields("127.0.0.1", std::to_string(server.port()), Articles(n));
        dialog->OnCommand(IDC_CONFIRM_POST);
        dialog->OnCommand(IDC_START_POST);
        ASSERT_TRUE(view.WaitForMessages(shown + 1));
        EXPECT_EQ(view.Messages().back(), "ブログへの自動投稿が完了しました。");

        // Each group to each address in turn, titled by its first article, between the
        // header and the footer; the groups' texts together are the article's, each once.
        const auto received = server.messages();
        ASSERT_EQ(received.size() - before, groups.size() * 2);
        const std::string header = "こんにちは\r\n", footer = "\r\nまたね";
        std::string joined;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            for (std::size_t a = 0; a < 2; ++a) {
                const auto& mail = received[before + g * 2 + a];
                EXPECT_EQ(mail.rcptTo, std::vector<std::string>{a == 0 ? "blog-a@example.jp"
                                                                       : "blog-b@example.jp"});
                EXPECT_EQ(mail.mailFrom, "me@example.jp");
                EXPECT_EQ(DecodedSubject(mail), Title(groups[g][0]));
                const std::string body = DecodedBody(mail);
                ASSERT_GE(body.size(), header.size() + footer.size());
                EXPECT_EQ(body.substr(0, header.size()), header);
                EXPECT_EQ(body.substr(body.size() - footer.size()), footer);
                const std::string text =
                    body.substr(header.size(), body.size() - header.size() - footer.size());
                EXPECT_EQ(ArticlesIn(Text(text)), groups[g]);
                if (a == 0) joined += text;
            }
        }
        EXPECT_EQ(joined, WithoutMarkers(Articles(n)));
    }
}

TEST_F(PostingDialog, ARejectedRecipientIsLoggedWithTheServersReplyAndOthersStillGetEveryGroup) {
    SmtpClientEnvironment client;
    SmtpServerOptions options;
    options.rejectRecipients = {"blog-a@example.jp"};
    SmtpServer server(options);
    auto dialog = MakeDialog(BSendMail);
    FillFields("127.0.0.1", std::to_string(server.port()), Articles(6));
    dialog->OnCommand(IDC_CONFIRM_POST);
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(1));
    EXPECT_NE(view.Messages()[0].find("失敗"), std::string::npos);
    const auto received = server.messages();
    ASSERT_EQ(received.size(), 2u);
    for (const auto& mail : received)
        EXPECT_EQ(mail.rcptTo, std::vector<std::string>{"blog-b@example.jp"});
    const std::string log = view.Utf8(IDC_LOG);
    // What happened and what to do first, then the server's own reply.
    EXPECT_NE(log.find("送信エラー (投稿先のアドレスがSMTPサーバに断られました。"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("綴りを確かめてください。"), std::string::npos) << log;
    EXPECT_NE(log.find(" 550 5.1.1"), std::string::npos) << log;
    EXPECT_NE(log.find("blog-a@example.jp me@example.jp"), std::string::npos);
}

TEST_F(PostingDialog, AServerThatIsDownFailsEveryMessage) {
    SmtpClientEnvironment client;
    auto dialog = MakeDialog(BSendMail);
    FillFields("127.0.0.1", "1", Articles(2));
    dialog->OnCommand(IDC_CONFIRM_POST);
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(1));
    EXPECT_NE(view.Messages()[0].find("失敗"), std::string::npos);
    const std::string log = view.Utf8(IDC_LOG);
    EXPECT_EQ(log.rfind("送信エラー (", 0), 0u);
    EXPECT_EQ(view.GetProgressPos(IDC_PROGRESS), 0);
}

TEST_F(PostingDialog, WhatTheUserTypedArrivesAsTypedThroughTheDefaultMailCall) {
    // No mail call injected: the dialog posts through the mail library's BSendMailEx, as the
    // window does.
    SmtpClientEnvironment client;
    SmtpServer server;
    auto dialog = MakeDialog(nullptr);
    const std::string typed = "〜♡🍣①～　👍🏽";
    FillFields("127.0.0.1", std::to_string(server.port()),
               Text("-----into-----\r\n[title]件名" + typed + "\r\n本文" + typed +
                    "\r\nhttp://shop.test/1/\r\n-----into-----"));
    view.SetUtf8(IDC_BLOG_ADDRESSES, "blog-a@example.jp");
    view.SetWindowTextUtf8(IDC_HEADER, "ヘッダー" + typed + "\r\n");
    view.SetWindowTextUtf8(IDC_FOOTER, "\r\nフッター" + typed);
    dialog->OnCommand(IDC_CONFIRM_POST);
    ASSERT_TRUE(view.Messages().empty()) << view.Messages()[0];
    ASSERT_EQ(view.Previews().size(), 1u);
    const std::string subject = "件名" + typed;
    const std::string body = "ヘッダー" + typed + "\r\n\r\n件名" + typed + "\r\n本文" + typed +
                             "\r\nhttp://shop.test/1/\r\n\r\nフッター" + typed;
    const PostingPreview preview = view.Previews().back();
    ASSERT_EQ(preview.messages.size(), 1u);
    EXPECT_EQ(preview.messages[0].subject, subject);
    EXPECT_EQ(preview.messages[0].body, body);
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(1));
    EXPECT_EQ(view.Messages().back(), "ブログへの自動投稿が完了しました。");
    const auto received = server.messages();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(DecodedSubject(received[0]), subject);
    EXPECT_EQ(DecodedBody(received[0]), body);
}

TEST_F(PostingDialog, TheConfirmationListsEveryProblemAndFocusesTheFirst) {
    RecordingSender mail;
    auto dialog = MakeDialog(mail.Sender());
    FillFields("smtp.test", "70000", Articles(2));
    view.SetUtf8(IDC_FROM_ADDRESS, "");
    view.SetUtf8(IDC_BLOG_ADDRESSES, "ok@example.jp\r\nno-at-sign\r\ntwo@@example.jp");
    // A heart goes as typed; a control character (BEL) has no place in a message.
    view.SetWindowTextUtf8(IDC_FOOTER, "またね\u2661\a");
    dialog->OnCommand(IDC_CONFIRM_POST);
    ASSERT_EQ(view.Messages().size(), 1u);
    const std::string message = view.Messages()[0];
    EXPECT_EQ(message.rfind("投稿元メールアドレスが未入力です。\n", 0),
              0u);  // the required-field text first
    for (const char* part : {"1～65535", "「no-at-sign」", "「two@@example.jp」",
                             "フッターの 制御文字（U+0007）1 行目 5 文字目"})
        EXPECT_NE(message.find(part), std::string::npos) << part << "\n" << message;
    EXPECT_EQ(message.find("U+2661"), std::string::npos);
    EXPECT_EQ(view.Focus(), IDC_FROM_ADDRESS);
    EXPECT_FALSE(view.IsWindowEnabled(IDC_START_POST));
    EXPECT_TRUE(view.Previews().empty());
}

TEST_F(PostingDialog, ThePreviewListsWhatTheRunSends) {
    RecordingSender mail;
    auto dialog = MakeDialog(mail.Sender());
    FillFields("smtp.test", "25", Articles(4));
    view.confirmPreview = false;  // "戻る"
    dialog->OnCommand(IDC_CONFIRM_POST);
    EXPECT_FALSE(view.IsWindowEnabled(IDC_START_POST));
    view.confirmPreview = true;
    dialog->OnCommand(IDC_CONFIRM_POST);
    ASSERT_TRUE(view.IsWindowEnabled(IDC_START_POST));
    const PostingPreview preview = view.Previews().back();
    EXPECT_EQ(preview.groups, 2);
    EXPECT_EQ(preview.addresses, 2);
    EXPECT_NE(preview.summary.find("4 通"), std::string::npos);
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(1));
    ASSERT_EQ(mail.calls.size(), preview.messages.size());
    for (std::size_t i = 0; i < mail.calls.size(); ++i) {
        EXPECT_EQ(preview.messages[i].number, static_cast<int>(i) + 1);
        EXPECT_EQ(preview.messages[i].destination, mail.calls[i].to);
        EXPECT_EQ(preview.messages[i].subject, mail.calls[i].subject);
        EXPECT_EQ(preview.messages[i].body, mail.calls[i].body);
    }
}

TEST_F(PostingDialog, AnEditAfterTheConfirmationTurnsTheStartButtonOff) {
    RecordingSender mail;
    auto dialog = MakeDialog(mail.Sender());
    view.notify = dialog.get();
    for (int field : {IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT, IDC_BLOG_ADDRESSES,
                      IDC_ARTICLE, IDC_HEADER, IDC_FOOTER}) {
        SCOPED_TRACE(field);
        FillFields("smtp.test", "25", Articles(2));
        dialog->OnCommand(IDC_CONFIRM_POST);
        ASSERT_TRUE(view.IsWindowEnabled(IDC_START_POST));
        view.SetUtf8(field, "x");
        EXPECT_FALSE(view.IsWindowEnabled(IDC_START_POST));
        dialog->OnCommand(IDC_START_POST);  // pressed anyway (a queued click): nothing starts
    }
    view.notify = nullptr;
    EXPECT_TRUE(mail.calls.empty());
}

TEST_F(PostingDialog, ClearDuringARunKeepsTheStartButtonOffAfterIt) {
    std::atomic<int> sent{0};
    auto dialog = MakeDialog([&](const char*, const char*, const char*, const char*, const char*,
                                 const char*, char*) { return ++sent, 1; },
                             std::chrono::milliseconds(300));
    view.notify = dialog.get();
    FillFields("smtp.test", "25", Articles(1));
    dialog->OnCommand(IDC_CONFIRM_POST);
    dialog->OnCommand(IDC_START_POST);
    view.Answer({true});  // "はい" to the question before clearing
    dialog->OnCommand(IDC_CLEAR);
    ASSERT_TRUE(view.WaitForMessages(1));
    ASSERT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the run to end after its verdict"));
    view.notify = nullptr;
    EXPECT_FALSE(view.IsWindowEnabled(IDC_START_POST));
    EXPECT_TRUE(view.IsWindowEnabled(IDC_CONFIRM_POST));
    EXPECT_EQ(view.Utf8(IDC_START_POST), "ブログ投稿開始");
}

TEST_F(PostingDialog, ClearAsksFirstAndNoKeepsEverything) {
    RecordingSender mail;
    auto dialog = MakeDialog(mail.Sender());
    FillFields("smtp.test", "25", Articles(2));
    view.Answer({false});
    dialog->OnCommand(IDC_CLEAR);
    EXPECT_EQ(view.Questions().size(), 1u);
    EXPECT_EQ(view.Utf8(IDC_SMTP_SERVER), "smtp.test");
}

TEST_F(PostingDialog, StopLeavesTheRestForAResumeThatSendsNothingTwice) {
    RecordingSender mail;
    std::unique_ptr<CQubopostDlg> dialog;
    std::atomic<bool> stopped{false};
    dialog = MakeDialog(
        [&](const char* server, const char* to, const char* from, const char* subject,
            const char* body, const char* reserved, char* error) {
            const int result = mail.Sender()(server, to, from, subject, body, reserved, error);
            if (mail.calls.size() == 3 && !stopped.exchange(true)) dialog->StopPosting();
            return result;
        },
        std::chrono::milliseconds(1));
    FillFields("smtp.test", "25", Articles(7));  // 3 groups x 2 addresses
    dialog->OnCommand(IDC_CONFIRM_POST);
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(1));
    EXPECT_NE(view.Messages()[0].find("投稿を停止しました。送信済み 3 通、未送信 3 通"),
              std::string::npos);
    ASSERT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the stopped run to end"));
    ASSERT_EQ(mail.calls.size(), 3u);
    ASSERT_TRUE(view.IsWindowEnabled(IDC_START_POST));  // the confirmation still stands

    view.Answer({true});  // "続きから再開しますか？" はい
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(2));
    ASSERT_EQ(view.Questions().size(), 1u);
    EXPECT_EQ(view.Questions()[0].rfind("前回中断した投稿があります。続きから再開しますか？", 0),
              0u);
    EXPECT_EQ(view.Messages()[1], "ブログへの自動投稿が完了しました。");
    ASSERT_EQ(mail.calls.size(), 6u);
    std::set<std::pair<std::string, std::string>> distinct;
    for (const Call& call : mail.calls) distinct.insert({call.to, call.subject});
    EXPECT_EQ(distinct.size(), 6u);  // every message exactly once
}

TEST_F(PostingDialog, ARefusedLoginCostsOneAttemptAndStopsTheRun) {
    std::atomic<int> attempts{0};
    auto dialog = MakeDialog([&](const char*, const char*, const char*, const char*, const char*,
                                 const char*, char* error) {
        ++attempts;
        std::snprintf(error, 80, "login refused: 535 5.7.8 Error: authentication failed");
        return 0;
    });
    FillFields("smtp.test", "587", Articles(7));
    dialog->OnCommand(IDC_CONFIRM_POST);
    dialog->OnCommand(IDC_START_POST);
    ASSERT_TRUE(view.WaitForMessages(1));
    EXPECT_EQ(attempts.load(), 1);
    EXPECT_NE(view.Messages()[0].find("ユーザー名またはパスワードを受け付けませんでした"),
              std::string::npos);
    EXPECT_NE(view.Messages()[0].find("未送信のメールは 6 通"), std::string::npos);
    EXPECT_NE(view.Utf8(IDC_LOG).find("535 5.7.8"), std::string::npos);
}
