// Posting from the dialog: the confirmation that checks the fields and shows what will be
// sent, and the job that mails every group of articles to every destination address,
// recorded in the journal so that a stopped or killed run resumes without duplicates.
#include <algorithm>
#include <mutex>

#include "journal/journal.h"
#include "mail/bsmtp.h"
#include "platform/encoding.h"
#include "platform/field_text.h"
#include "platform/mail_library.h"
#include "posting/posting_run.h"
#include "posting/run_journal.h"
#include "resources/control_table.h"
#include "resources/strings.h"
#include "settings/ranking_host.h"
#include "settings/settings_file.h"
#include "ui/qubopost_dlg.h"

namespace {

constexpr std::string_view kStartCaption = "ブログ投稿開始";
constexpr std::string_view kStopCaption = "投稿停止";

// The fields a confirmation copies, with their labels in the dialog.
struct SourceField {
    int id;
    std::string_view label;
};
constexpr SourceField kSourceFields[] = {
    {IDC_FROM_ADDRESS, "投稿元メールアドレス"}, {IDC_SMTP_SERVER, "SMTPサーバアドレス"},
    {IDC_SMTP_PORT, "ポートアドレス"},         {IDC_BLOG_ADDRESSES, "投稿先ブログアドレス"},
    {IDC_ARTICLE, "記事"},                     {IDC_HEADER, "ヘッダー"},
    {IDC_FOOTER, "フッター"},
};

bool IsSourceField(int id) {
    return std::any_of(std::begin(kSourceFields), std::end(kSourceFields),
                       [id](const SourceField& field) { return field.id == id; });
}

bool ValidPort(const Text& port) { return IsPortNumber(TrimBlanks(port.Bytes())); }

std::string Minutes(long long seconds) {
    if (seconds < 60) return std::to_string(seconds) + " 秒";
    if (seconds < 3600) return "約 " + std::to_string((seconds + 30) / 60) + " 分";
    const long long minutes = (seconds + 30) / 60;
    return "約 " + std::to_string(minutes / 60) + " 時間 " + std::to_string(minutes % 60) + " 分";
}

}  // namespace

// The journal and the way the next run starts, chosen on the window's thread.
struct CQubopostDlg::RunChoice {
    std::unique_ptr<RunJournal> journal;
    std::string identity;
    RunJournal::Mode mode = RunJournal::Mode::Fresh;
    bool resendUncertain = false;
};

std::string CQubopostDlg::JournalPath() const {
    return m_services.journalPath.empty() ? qubopost::journal::DefaultJournalPath() : m_services.journalPath;
}

void CQubopostDlg::OnFieldEdited(int id) {
    if (!IsSourceField(id) || !m_confirmed.exchange(false)) return;
    // What would be posted is no longer what was confirmed.
    if (!m_posting.load()) View().EnableWindow(IDC_START_POST, false);
}

std::vector<std::string> CQubopostDlg::CheckPostingFields(int* firstFault) {
    std::vector<std::string> problems;
    *firstFault = 0;
    auto fault = [&](int id, std::string text) {
        if (*firstFault == 0) *firstFault = id;
        problems.push_back(std::move(text));
    };
    struct Required {
        const Text* member;
        int id;
        std::string_view message;
    };
    const Required required[] = {
        {&m_strFromAddress, IDC_FROM_ADDRESS, texts::kNoFromAddress},
        {&m_strSmtpServer, IDC_SMTP_SERVER, texts::kNoSmtpServer},
        {&m_strSmtpPort, IDC_SMTP_PORT, texts::kNoSmtpPort},
        {&m_strBlogAddresses, IDC_BLOG_ADDRESSES, texts::kNoBlogAddresses},
        {&m_strArticle, IDC_ARTICLE, texts::kNoArticle},
    };
    for (const Required& check : required)
        if (check.member->IsEmpty()) fault(check.id, std::string(check.message));
    if (!m_strSmtpPort.IsEmpty() && !ValidPort(m_strSmtpPort))
        fault(IDC_SMTP_PORT, "ポートアドレスは 1～65535 の数字で入力してください（「" + m_strSmtpPort.Bytes() + "」）。");
    auto atSigns = [](const Text& address) {
        const std::string& bytes = address.Bytes();
        return std::count(bytes.begin(), bytes.end(), '@');
    };
    const Text from(TrimBlanks(m_strFromAddress.Bytes()));
    if (!from.IsEmpty() && atSigns(from) != 1)
        fault(IDC_FROM_ADDRESS, "投稿元メールアドレス「" + from.Bytes() + "」には「@」がちょうど 1 つ必要です。");
    for (const Text& address : SplitAddresses(m_strBlogAddresses))
        if (atSigns(address) != 1)
            fault(IDC_BLOG_ADDRESSES,
                  "投稿先ブログアドレス「" + address.Bytes() + "」には「@」がちょうど 1 つ必要です。");
    if (!m_strArticle.IsEmpty() && PlanPosting(m_strArticle).empty())
        fault(IDC_ARTICLE, "記事に投稿できる記事がありません。記事は「-----into-----」で区切ります"
                           "（区切りが 2 つ以上必要です。「[title]」の後の行が件名になります）。");
    // Every character goes as typed (the mail is UTF-8), but control characters have no
    // place in a message: named, never dropped.
    for (const SourceField& field : kSourceFields) {
        for (const UnmappableChar& c : FindControlCharacters(View().GetWindowTextUtf8(field.id), 10))
            fault(field.id, std::string(field.label) + "の " + DescribeControlCharacter(c) +
                                " は送れない文字です。削除してください。");
    }
    return problems;
}

void CQubopostDlg::OnConfirmPost() {
    ControlView& view = View();
    m_confirmed.store(false);
    view.EnableWindow(IDC_START_POST, false);
    // The posting takes the fields as UTF-8: every character arrives as the user typed it.
    m_strFromAddress = Text(TrimBlanks(view.GetWindowTextUtf8(IDC_FROM_ADDRESS)));
    m_strSmtpServer = Text(view.GetWindowTextUtf8(IDC_SMTP_SERVER));
    m_strSmtpPort = Text(view.GetWindowTextUtf8(IDC_SMTP_PORT));
    m_strBlogAddresses = Text(view.GetWindowTextUtf8(IDC_BLOG_ADDRESSES));
    m_strArticle = Text(view.GetWindowTextUtf8(IDC_ARTICLE));
    m_strHeader = Text(view.GetWindowTextUtf8(IDC_HEADER));
    m_strFooter = Text(view.GetWindowTextUtf8(IDC_FOOTER));

    int firstFault = 0;
    const std::vector<std::string> problems = CheckPostingFields(&firstFault);
    if (!problems.empty()) {
        std::string message;
        for (const std::string& problem : problems) message += (message.empty() ? "" : "\n") + problem;
        ShowMessage(message);
        view.SetFocus(firstFault);
        return;
    }

    const std::string library = m_services.mailLibrary.empty() ? kMailLibraryName : m_services.mailLibrary;
    if (!LoadMailLibrary(library)) {
        ShowMessage(texts::kMailLibraryMissing);
        return;
    }

    // What the run will send, for the user to look at before anything goes out.
    const PostingInputs inputs{m_strSmtpServer, m_strSmtpPort, m_strFromAddress, m_strBlogAddresses,
                               m_strArticle,    m_strHeader,   m_strFooter};
    const RunPlan plan = PlanRun(inputs);
    PostingPreview preview;
    preview.groups = static_cast<int>(plan.groups.size());
    preview.addresses = static_cast<int>(plan.addresses.size());
    for (const PlannedMessage& message : plan.messages)
        preview.messages.push_back(
            {message.number, message.address.Bytes(), message.subject.Bytes(), plan.Body(inputs, message.group).Bytes()});
    const long long pauseSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(m_services.postingPause).count();
    preview.summary = std::to_string(plan.messages.size()) + " 通（" + std::to_string(preview.groups) +
                      " グループ × " + std::to_string(preview.addresses) + " アドレス）。1 通ごとに " +
                      std::to_string(pauseSeconds) + " 秒の間隔を空けるので、" +
                      Minutes(pauseSeconds * static_cast<long long>(plan.messages.size())) + "かかります。";
    if (!view.ShowPostingPreview(preview)) return;
    m_confirmed.store(true);
    view.EnableWindow(IDC_START_POST, true);
}

void CQubopostDlg::StopPosting() {
    __atomic_store_n(&m_runStop, 1, __ATOMIC_RELEASE);
    {
        std::lock_guard lock(m_pauseMutex);
    }
    m_pauseWake.notify_all();
}

void CQubopostDlg::OnStartPost() {
    if (m_posting.load()) {
        // The button reads "投稿停止" while a run goes.
        StopPosting();
        View().SetStatusText(Sjis("停止しています…"));
        return;
    }
    if (!m_confirmed.load()) return;
    ControlView& view = View();
    PostingInputs inputs{m_strSmtpServer, m_strSmtpPort, m_strFromAddress, m_strBlogAddresses,
                         m_strArticle,    m_strHeader,   m_strFooter};

    // An earlier run of the same inputs that did not finish is resumed, if the user says so.
    auto choice = std::make_shared<RunChoice>();
    std::string error;
    choice->journal = RunJournal::Open(JournalPath(), &error);
    if (choice->journal) {
        choice->identity = RunJournal::Identity(inputs);
        const RunJournal::Earlier earlier = choice->journal->Look(choice->identity, &error);
        if (earlier.unfinished) {
            const int total = earlier.unfinished->summary.total;
            if (view.AskYesNo(Sjis("前回中断した投稿があります。続きから再開しますか？\n（全 " + std::to_string(total) +
                                   " 通のうち送信済みの " + std::to_string(earlier.sent) +
                                   " 通は送りません。「いいえ」を選ぶと最初からすべて送ります）"),
                              true)) {
                choice->mode = RunJournal::Mode::Resume;
                if (!earlier.uncertain.empty()) {
                    std::string list;
                    for (const auto& message : earlier.uncertain)
                        list += "\n・" + StoredTextToUtf8(message.destination) + "　" + StoredTextToUtf8(message.subject);
                    choice->resendUncertain = view.AskYesNo(
                        Sjis("前回、送信結果が不明になったメールが " + std::to_string(earlier.uncertain.size()) +
                             " 通あります（サーバの応答の前に接続が切れました）。" + list +
                             "\nブログに届いていないことを確かめた場合だけ、もう一度送ってください。もう一度送りますか？"),
                        false);
                }
            }
        } else if (earlier.finished && earlier.failedInFinished > 0) {
            if (view.AskYesNo(Sjis("前回の同じ投稿で、送信に失敗したメールが " +
                                   std::to_string(earlier.failedInFinished) +
                                   " 通あります。失敗したメールだけを送りますか？\n（「いいえ」を選ぶとすべてを送ります）"),
                              true))
                choice->mode = RunJournal::Mode::RetryFailed;
        }
    } else {
        WriteLogLine(Text("投稿履歴を開けないため、この投稿は記録されません（中断後の再開ができません）。" + error));
    }
    m_runChoice = choice;

    // A private certificate authority the user trusts for the SMTP server, if any.
    const std::string trustFile = ReadSetting(m_services.settingsPath, kProgramSection, "TrustFile").value_or("");
    if (!m_services.sendMail && !m_services.sendMailStoppable) BSetOption("tls-trust-file", trustFile.c_str());

    m_posting.store(true);
    __atomic_store_n(&m_runStop, 0, __ATOMIC_RELEASE);
    view.SetWindowText(IDC_START_POST, Sjis(kStopCaption));
    view.EnableWindow(IDC_CONFIRM_POST, false);
    if (!StartWorkerJob([this, inputs = std::move(inputs)] { PostJob(inputs); })) EndRunControls();
}

void CQubopostDlg::EndRunControls() {
    ControlView& view = View();
    m_posting.store(false);
    view.SetWindowText(IDC_START_POST, Sjis(kStartCaption));
    view.SetStatusText(Text());
    // The start button comes back only while the confirmation still stands.
    view.EnableWindow(IDC_START_POST, m_confirmed.load());
    view.EnableWindow(IDC_CONFIRM_POST, true);
}

namespace {

// Reports a run to the dialog's log field, progress bar and status line.
class DialogPostingEvents : public PostingEvents {
public:
    DialogPostingEvents(ControlView& view, std::function<bool(bool last)> pause, std::function<bool()> stop,
                        const int* stopFlag, std::function<void(const Text&)> log,
                        std::function<void(const Text&)> subject)
        : m_view(view), m_pause(std::move(pause)), m_stop(std::move(stop)), m_stopFlag(stopFlag),
          m_log(std::move(log)), m_subject(std::move(subject)) {}

    void OnRange(int maximum) override {
        m_total = maximum;
        m_view.SetProgressRange(IDC_PROGRESS, 0, maximum);
        m_view.SetProgressPos(IDC_PROGRESS, 0);
    }
    void OnProgressStep() override {
        ++m_done;
        m_view.SetProgressPos(IDC_PROGRESS, m_view.GetProgressPos(IDC_PROGRESS) + 1);
    }
    void OnLogLine(const Text& line) override { m_log(line); }
    void OnSubject(const Text& subject) override { m_subject(subject); }
    bool Pause() override { return m_pause(m_done >= m_total); }
    bool StopRequested() override { return m_stop(); }
    const int* StopFlag() override { return m_stopFlag; }
    void OnMessageResult(const PlannedMessage& message, SendResult result, const Text&) override {
        if (result == SendResult::Stopped) return;
        m_view.SetStatusText(Sjis("送信 " + std::to_string(message.number) + " / " + std::to_string(m_total) +
                                  " 通目: " + message.address.Bytes()));
    }

private:
    ControlView& m_view;
    std::function<bool(bool)> m_pause;
    std::function<bool()> m_stop;
    const int* m_stopFlag;
    std::function<void(const Text&)> m_log;
    std::function<void(const Text&)> m_subject;
    int m_total = 0;
    int m_done = 0;
};

}  // namespace

bool CQubopostDlg::PausePosting(std::chrono::milliseconds duration, bool last) {
    const auto end = std::chrono::steady_clock::now() + duration;
    std::unique_lock lock(m_pauseMutex);
    for (;;) {
        if (__atomic_load_n(&m_runStop, __ATOMIC_ACQUIRE) || m_jobs.StopRequested()) return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        const long long seconds = (left.count() + 999) / 1000;
        lock.unlock();
        View().SetStatusText(Sjis(last ? "待機中: 次の投稿との間隔を空けています（あと " + std::to_string(seconds) +
                                             " 秒。「投稿停止」ですぐに終わります）"
                                       : "待機中: 次の送信まで " + std::to_string(seconds) + " 秒"));
        lock.lock();
        // Wake once a second to count down, or at once on a stop.
        const auto tick = std::min(left, std::chrono::milliseconds(1000));
        m_pauseWake.wait_for(lock, tick, [this] {
            return __atomic_load_n(&m_runStop, __ATOMIC_ACQUIRE) != 0 || m_jobs.StopRequested();
        });
    }
}

void CQubopostDlg::PostJob(const PostingInputs& inputs) {
    RunPosting(inputs);
    // Closing: the window is going, its controls are not touched any more.
    if (m_jobs.StopRequested()) m_posting.store(false);
}

void CQubopostDlg::WriteLogLine(const Text& line) {
    // Every line (UTF-8) goes on top of what the field shows now, whatever the user typed
    // there, every character kept.
    ControlView& view = View();
    const Text log = line + "\r\n\r\n" + Text(view.GetWindowTextUtf8(IDC_LOG));
    {
        std::lock_guard lock(m_runMutex);
        m_strLog = log;
    }
    view.SetWindowTextUtf8(IDC_LOG, "");
    view.SetWindowTextUtf8(IDC_LOG, log.Bytes());
}

unsigned char CQubopostDlg::RunPosting(const PostingInputs& inputs) {
    std::shared_ptr<RunChoice> choice = m_runChoice;
    DialogPostingEvents dialogEvents(
        View(), [this](bool last) { return PausePosting(m_services.postingPause, last); },
        [this] { return __atomic_load_n(&m_runStop, __ATOMIC_ACQUIRE) != 0 || m_jobs.StopRequested(); },
        &m_runStop, [this](const Text& line) { WriteLogLine(line); },
        [this](const Text& subject) {
            std::lock_guard lock(m_runMutex);
            m_strSubject = subject;
        });
    const RunPlan plan = PlanRun(inputs);
    RunJournal* journal = choice ? choice->journal.get() : nullptr;
    if (journal) {
        std::string error;
        if (!journal->Begin(choice->identity, plan, choice->mode, choice->resendUncertain, &error)) {
            WriteLogLine(Text("投稿履歴に記録できないため、この投稿は記録されません。" + error));
            journal = nullptr;
        }
    }
    JournalEvents events(dialogEvents, journal);
    StoppableMailSender send = m_services.sendMailStoppable;
    if (!send && m_services.sendMail) send = Stoppable(m_services.sendMail);
    if (!send) send = BSendMailEx;
    const RunOutcome outcome = RunPostingPlan(inputs, plan, send, events);
    if (journal) journal->End(outcome);
    {
        std::lock_guard lock(m_runMutex);
        m_strLog.Empty();
    }
    if (m_jobs.StopRequested()) return 0;
    // The buttons come back before the verdict is shown.
    EndRunControls();
    if (outcome.Succeeded()) {
        ShowMessage(texts::kPostingDone);
        return 1;
    }
    if (outcome.stopped) {
        ShowMessage("投稿を停止しました。送信済み " + std::to_string(outcome.sent + outcome.skipped) +
                    " 通、未送信 " + std::to_string(outcome.notSent) +
                    " 通です。\nもう一度「ブログ投稿開始」を押すと、続きから再開できます。");
    } else if (outcome.loginRefused) {
        ShowMessage(std::string(texts::kPostingFailed) + "\nSMTPサーバ（" + inputs.smtpServer.Bytes() +
                    "）がユーザー名またはパスワードを受け付けませんでした。右クリックメニューの「SMTP認証の設定…」で確認してください。\n未送信のメールは " +
                    std::to_string(outcome.notSent) + " 通です。");
    } else {
        ShowMessage(texts::kPostingFailed);
    }
    return 0;
}
