// Resuming from the journal alone in the window's logic: the offer of unfinished runs at start
// and the resume by a run's number (what 投稿履歴's 再開 calls). A run is stopped half way, then
// a new dialog on the same journal finishes it: only what was left goes out, each message once,
// and the fields (the article among them) are neither read nor changed.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <thread>
#include <tuple>

#include "article/article_generator.h"
#include "journal/journal.h"
#include "mail/bsmtp.h"
#include "memory_view.h"
#include "platform/encoding.h"
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
using qubopost::test::WaitFor;
namespace journal = qubopost::journal;

namespace {

// n articles whose titles carry `tag` (different tags: different contents, different runs).
Text Articles(const std::string& tag, int n) {
    std::string page;
    for (int i = 1; i <= n; ++i)
        page += "<a href='http://shop.test/" + std::to_string(i) + "/' target=_blank>" +
                Sjis(tag + "の記事" + std::to_string(i)).Bytes() + "</a>\n";
    return Text(ToUtf8(GenerateArticle(Text(page), RankingKind::Monthly)));
}

// One message as it went out: destination, subject, body (UTF-8, CR LF).
using Mail = std::tuple<std::string, std::string, std::string>;

std::vector<journal::RunSummary> Runs(const std::string& path) {
    auto opened = journal::Journal::Open(path);
    if (!opened) return {};
    auto runs = opened.value().History(0);
    return runs ? runs.value() : std::vector<journal::RunSummary>{};
}

class PostingResume : public ::testing::Test {
protected:
    std::unique_ptr<CQubopostDlg> NewDialog(MemoryView& view, MailSender sender,
                                            const std::string& journalPath) {
        DialogServices services;
        services.settingsPath = dir.File("CQubopostDlg.ini");
        services.journalPath = journalPath;
        services.sendMail = std::move(sender);
        services.postingPause = std::chrono::milliseconds(0);
        auto dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
        return dialog;
    }

    // Posts the article to two blogs at the real server and stops once `stopAfter` messages
    // went out; returns what the preview said the run sends, by number.
    std::vector<Mail> PostAndStop(const Text& article, std::size_t stopAfter,
                                  const std::string& journalPath) {
        MemoryView view;
        std::atomic<std::size_t> calls{0};
        std::unique_ptr<CQubopostDlg> dialog;
        dialog = NewDialog(
            view,
            [&](const char* server, const char* to, const char* from, const char* subject,
                const char* body, const char* reserved, char* error) {
                const int result = BSendMail(server, to, from, subject, body, reserved, error);
                if (++calls == stopAfter) dialog->StopPosting();
                return result;
            },
            journalPath);
        dialog->OnInitDialog();
        view.SetUtf8(IDC_FROM_ADDRESS, "me@example.jp");
        view.SetUtf8(IDC_SMTP_SERVER, "127.0.0.1");
        view.SetUtf8(IDC_SMTP_PORT, std::to_string(server.port()));
        view.SetUtf8(IDC_BLOG_ADDRESSES, "blog-a@example.jp\r\nblog-b@example.jp");
        view.SetWindowTextUtf8(IDC_ARTICLE, article.Bytes());
        view.SetUtf8(IDC_HEADER, "ヘッダー\r\n");
        dialog->OnCommand(IDC_CONFIRM_POST);
        dialog->OnCommand(IDC_START_POST);
        EXPECT_TRUE(view.WaitForMessages(1));
        EXPECT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the run to end"));
        std::vector<Mail> planned;
        const std::vector<PostingPreview> previews = view.Previews();
        for (const PreviewMessage& message : previews.at(0).messages)
            planned.emplace_back(message.destination, message.subject, message.body);
        return planned;
    }

    // A new dialog started as the window starts it, with its own article in the field.
    std::unique_ptr<CQubopostDlg> Start(MemoryView& view, const std::string& journalPath,
                                        MailSender sender = nullptr) {
        auto dialog = NewDialog(view, std::move(sender), journalPath);
        view.SetWindowTextUtf8(IDC_ARTICLE, kOwnArticle);
        dialog->OnInitDialog();
        return dialog;
    }

    std::vector<Mail> Received() {
        std::vector<Mail> mails;
        for (const auto& mail : server.messages())
            mails.emplace_back(mail.rcptTo.at(0), DecodedSubject(mail), DecodedBody(mail));
        return mails;
    }

    static constexpr const char* kOwnArticle =
        "-----into-----\r\n[title]いま書いている記事\r\n-----into-----";
    TempDir dir;
    const std::string journalPath = dir.File("history.sqlite3");
    SmtpClientEnvironment client;
    SmtpServer server;
};

}  // namespace

TEST_F(PostingResume, TheStartOfferListsTheStoppedRunAndItsResumeSendsOnlyTheRestOnce) {
    const std::vector<Mail> planned =
        PostAndStop(Articles("春", 7), 2, journalPath);  // 3 groups x 2 blogs
    ASSERT_EQ(planned.size(), 6u);
    ASSERT_EQ(Received().size(), 2u);
    const journal::RunId run = Runs(journalPath).at(0).id;

    // No mail call injected: the mail library's, as in the window.
    MemoryView view;
    view.AnswerChoices({0});  // 再開
    auto dialog = Start(view, journalPath);
    ASSERT_TRUE(view.WaitForMessages(1));
    EXPECT_EQ(view.Messages()[0], "ブログへの自動投稿が完了しました。");
    ASSERT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the run to end"));

    const auto choices = view.Choices();
    ASSERT_EQ(choices.size(), 1u);
    const std::string& question = choices[0].question;
    EXPECT_EQ(question.rfind("未完了の投稿があります。\n", 0), 0u) << question;
    for (const std::string& part :
         {"番号 " + std::to_string(run), std::string("送信済み 2 通 / 残り 4 通"),
          "127.0.0.1:" + std::to_string(server.port())})
        EXPECT_NE(question.find(part), std::string::npos) << part << "\n" << question;
    EXPECT_EQ(choices[0].buttons, (std::vector<std::string>{"再開(&R)", "あとで(&L)"}));
    EXPECT_EQ(choices[0].defaultIndex, 1);  // Enter and Esc: あとで
    EXPECT_EQ(choices[0].cancelIndex, 1);

    // Both runs together sent every planned message exactly once.
    std::map<Mail, int> count;
    for (const Mail& mail : Received()) ++count[mail];
    std::map<Mail, int> expected;
    for (const Mail& mail : planned) expected[mail] = 1;
    EXPECT_EQ(count, expected);
    EXPECT_EQ(Received().size(), 6u);

    EXPECT_EQ(view.GetWindowTextUtf8(IDC_ARTICLE), kOwnArticle);
    EXPECT_EQ(view.TextHistory(IDC_ARTICLE).size(), 1u);  // the test's own text, nothing after it
    const auto runs = Runs(journalPath);
    ASSERT_EQ(runs.size(), 1u);  // the same run went on, no new one
    EXPECT_TRUE(runs[0].finished);
    EXPECT_EQ(runs[0].sent, 6);
}

TEST_F(PostingResume, EnterOrEscAtTheOfferSendsNothing) {
    PostAndStop(Articles("夏", 7), 3, journalPath);
    const struct {
        const char* key;
        std::vector<int> answers;
    } cases[] = {{"Enter", {}}, {"Esc", {1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        MemoryView view;
        view.AnswerChoices(c.answers);
        auto dialog = Start(view, journalPath);
        EXPECT_EQ(view.Choices().size(), 1u);
        EXPECT_FALSE(dialog->Posting());
        dialog.reset();  // ends any job it might have started
        EXPECT_EQ(Received().size(), 3u);
        EXPECT_TRUE(view.Messages().empty());
        EXPECT_EQ(view.GetWindowTextUtf8(IDC_ARTICLE), kOwnArticle);
        EXPECT_EQ(Runs(journalPath).at(0).pending, 3);
    }
}

TEST_F(PostingResume, NothingIsOfferedWithoutARunToResume) {
    // A journal with a run posted to the end, one whose stopped run another process is
    // posting now (its lock is held), a damaged file, and none at all.
    const std::string finished = dir.File("finished.sqlite3"), held = dir.File("held.sqlite3"),
                      damaged = dir.File("damaged.sqlite3"),
                      none = dir.File("none/history.sqlite3");
    PostAndStop(Articles("秋", 2), 99, finished);
    PostAndStop(Articles("冬", 7), 1, held);
    auto lock = journal::RunLock::Acquire(held, Runs(held).at(0).identity);
    ASSERT_TRUE(lock);
    TempDir::Write(damaged, std::string(4096, 'x'));
    const std::size_t sent = Received().size();
    const struct {
        const std::string& path;
        const char* log;  // how the log field starts
    } cases[] = {{finished, ""},
                 {held, ""},
                 {damaged, "投稿履歴を開けないため、未完了の投稿を確かめられませんでした。"},
                 {none, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        MemoryView view;
        view.AnswerChoices({0});
        auto dialog = Start(view, c.path);
        EXPECT_TRUE(view.Choices().empty());
        EXPECT_TRUE(view.Messages().empty());  // no box, whatever the journal
        EXPECT_FALSE(dialog->Posting());
        EXPECT_EQ(view.Utf8(IDC_LOG).rfind(c.log, 0), 0u) << view.Utf8(IDC_LOG);
    }
    EXPECT_FALSE(std::filesystem::exists(none));  // starting creates no journal
    EXPECT_EQ(Received().size(), sent);
}

TEST_F(PostingResume, ResumeByNumberSendsThatRunsRestWithTheControlsOfARun) {
    const std::vector<Mail> older = PostAndStop(Articles("朝", 7), 2, journalPath);
    const std::vector<Mail> newer = PostAndStop(Articles("夜", 4), 1, journalPath);  // 2 groups x 2
    const auto runs = Runs(journalPath);                                             // newest first
    ASSERT_EQ(runs.size(), 2u);
    const std::size_t before = Received().size();

    MemoryView view;
    std::unique_ptr<CQubopostDlg> dialog;
    std::vector<std::string> startCaptions;
    std::vector<bool> confirmEnabled;
    dialog = Start(view, journalPath,
                   [&](const char* server, const char* to, const char* from, const char* subject,
                       const char* body, const char* reserved, char* error) {
                       startCaptions.push_back(view.Utf8(IDC_START_POST));
                       confirmEnabled.push_back(view.IsWindowEnabled(IDC_CONFIRM_POST));
                       // 再開 pressed in 投稿履歴 while this run goes: one run at a time.
                       if (startCaptions.size() == 1) dialog->OnResumeRun(runs[0].id);
                       return BSendMail(server, to, from, subject, body, reserved, error);
                   });
    // The offer lists both, newest first; Enter means あとで.
    ASSERT_EQ(view.Choices().size(), 1u);
    const std::string question = view.Choices().at(0).question;
    EXPECT_LT(question.find("番号 " + std::to_string(runs[0].id)),
              question.find("番号 " + std::to_string(runs[1].id)));
    EXPECT_FALSE(dialog->Posting());

    dialog->OnResumeRun(runs[1].id);  // the older run
    ASSERT_TRUE(view.WaitForMessages(2));
    ASSERT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the run to end"));
    EXPECT_EQ(view.Messages()[0].rfind("投稿中です。", 0), 0u) << view.Messages()[0];
    EXPECT_EQ(view.Messages()[1], "ブログへの自動投稿が完了しました。");
    EXPECT_EQ(startCaptions, std::vector<std::string>(4, "投稿停止"));
    EXPECT_EQ(confirmEnabled, std::vector<bool>(4, false));
    EXPECT_EQ(view.Utf8(IDC_START_POST), "ブログ投稿開始");
    std::vector<Mail> received = Received();
    EXPECT_EQ(std::vector<Mail>(received.begin() + static_cast<long>(before), received.end()),
              std::vector<Mail>(older.begin() + 2, older.end()));

    dialog->OnResumeRun(0);  // the newest that can be resumed: the newer run
    ASSERT_TRUE(view.WaitForMessages(3));
    ASSERT_TRUE(WaitFor([&] { return !dialog->Posting(); }, "the run to end"));
    EXPECT_EQ(view.Messages()[2], "ブログへの自動投稿が完了しました。");
    received = Received();
    EXPECT_EQ(std::vector<Mail>(received.begin() + static_cast<long>(before) + 4, received.end()),
              std::vector<Mail>(newer.begin() + 1, newer.end()));
    EXPECT_EQ(view.GetWindowTextUtf8(IDC_ARTICLE), kOwnArticle);
}
