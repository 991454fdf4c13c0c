#include "ui/posting_controller.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "journal/journal.h"
#include "mail/bsmtp.h"
#include "mail/mail_library.h"
#include "platform/encoding.h"
#include "platform/field_text.h"
#include "posting/destinations.h"
#include "posting/disclosure.h"
#include "posting/posting_engine.h"
#include "posting/posting_run.h"
#include "posting/run_journal.h"
#include "resources/control_table.h"
#include "resources/messages/messages.h"
#include "resources/strings.h"
#include "settings/ranking_host.h"
#include "settings/settings_file.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::posting;
using namespace qubopost::view;

namespace qubopost::ui {

namespace {

constexpr std::string_view kStartCaption = "ブログ投稿開始";
constexpr std::string_view kStopCaption = "投稿停止";
// How long the start-up look at the journal waits for another process's write.
constexpr std::chrono::milliseconds kStartJournalWait{500};

// The fields a confirmation copies, with their labels in the dialog.
struct SourceField {
    int id;
    std::string_view label;
};
constexpr SourceField kSourceFields[] = {
    {IDC_FROM_ADDRESS, "投稿元メールアドレス"},
    {IDC_SMTP_SERVER, "SMTPサーバアドレス"},
    {IDC_SMTP_PORT, "ポートアドレス"},
    {IDC_BLOG_ADDRESSES, "投稿先ブログアドレス"},
    {IDC_ARTICLE, "記事"},
    {IDC_HEADER, "ヘッダー"},
    {IDC_FOOTER, "フッター"},
};

bool IsSourceField(int id) {
    return std::any_of(std::begin(kSourceFields), std::end(kSourceFields),
                       [id](const SourceField& field) { return field.id == id; });
}

std::string Button(const messages::Message& caption) { return std::string(messages::Say(caption)); }

bool ValidPort(const Text& port) { return IsPortNumber(TrimBlanks(port.Bytes())); }

std::string Minutes(long long seconds) {
    if (seconds < 60) return messages::Say(messages::kDurationSeconds, {std::to_string(seconds)});
    if (seconds < 3600)
        return messages::Say(messages::kUiAboutMinutes, {std::to_string((seconds + 30) / 60)});
    const long long minutes = (seconds + 30) / 60;
    return messages::Say(messages::kUiAboutHours,
                         {std::to_string(minutes / 60), std::to_string(minutes % 60)});
}

}  // namespace

std::string PostingController::JournalPath() const {
    return m_services.journalPath.empty() ? qubopost::journal::DefaultJournalPath()
                                          : m_services.journalPath;
}

void PostingController::OnFieldEdited(int id) {
    if (!IsSourceField(id) || !m_confirmed.exchange(false)) return;
    // What would be posted is no longer what was confirmed.
    if (!m_posting.load()) m_side.View().EnableWindow(IDC_START_POST, false);
}

Text PostingController::Subject() const {
    std::lock_guard lock(m_runMutex);
    return m_subject;
}

Text PostingController::Log() const {
    std::lock_guard lock(m_runMutex);
    return m_log;
}

void PostingController::Log(const Text& line) {
    const Text log = m_side.WriteLogLine(line);
    std::lock_guard lock(m_runMutex);
    m_log = log;
}

std::vector<std::string> PostingController::CheckFields(int* firstFault) {
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
    // The sender, the SMTP server and its port matter only when some destination is a mail
    // address (a blog's URL is posted through the blog's own API).
    const bool mail = m_inputs.blogAddresses.IsEmpty() || NeedsMailServer(m_inputs.blogAddresses);
    const Required required[] = {
        {mail ? &m_inputs.fromAddress : nullptr, IDC_FROM_ADDRESS, texts::kNoFromAddress},
        {mail ? &m_inputs.smtpServer : nullptr, IDC_SMTP_SERVER, texts::kNoSmtpServer},
        {mail ? &m_inputs.smtpPort : nullptr, IDC_SMTP_PORT, texts::kNoSmtpPort},
        {&m_inputs.blogAddresses, IDC_BLOG_ADDRESSES, texts::kNoBlogAddresses},
        {&m_inputs.article, IDC_ARTICLE, texts::kNoArticle},
    };
    for (const Required& check : required)
        if (check.member && check.member->IsEmpty()) fault(check.id, std::string(check.message));
    if (mail && !m_inputs.smtpPort.IsEmpty() && !ValidPort(m_inputs.smtpPort))
        fault(IDC_SMTP_PORT, messages::Say(messages::kUiPortInvalid, {m_inputs.smtpPort.Bytes()}));
    auto atSigns = [](const Text& address) {
        const std::string& bytes = address.Bytes();
        return std::count(bytes.begin(), bytes.end(), '@');
    };
    const Text from(TrimBlanks(m_inputs.fromAddress.Bytes()));
    if (mail && !from.IsEmpty() && atSigns(from) != 1)
        fault(IDC_FROM_ADDRESS, messages::Say(messages::kUiFromNeedsOneAt, {from.Bytes()}));
    // Each line: a mail address with one "@", or a blog's URL with its user name.
    for (const std::string& problem : DestinationProblems(m_inputs.blogAddresses))
        fault(IDC_BLOG_ADDRESSES, problem);
    if (!m_inputs.article.IsEmpty() && PlanPosting(m_inputs.article).empty())
        fault(IDC_ARTICLE, std::string(messages::Say(messages::kUiNoArticles)));
    // Every character goes as typed (the mail is UTF-8), but control characters have no
    // place in a message: named, never dropped.
    for (const SourceField& field : kSourceFields) {
        for (const UnmappableChar& c :
             FindControlCharacters(m_side.View().GetWindowTextUtf8(field.id), 10))
            fault(field.id, messages::Say(messages::kUiControlCharacter,
                                          {field.label, DescribeControlCharacter(c)}));
    }
    return problems;
}

void PostingController::Confirm() {
    view::ControlView& view = m_side.View();
    m_confirmed.store(false);
    view.EnableWindow(IDC_START_POST, false);
    // The posting takes the fields as UTF-8: every character arrives as the user typed it.
    m_inputs.fromAddress = Text(TrimBlanks(view.GetWindowTextUtf8(IDC_FROM_ADDRESS)));
    m_inputs.smtpServer = Text(view.GetWindowTextUtf8(IDC_SMTP_SERVER));
    // A port typed with full-width digits (as an input method gives them) is the same number,
    // shown and kept in half-width.
    const std::string typedPort = view.GetWindowTextUtf8(IDC_SMTP_PORT);
    const std::string port = HalfWidthDigits(typedPort);
    if (port != typedPort) view.SetWindowTextUtf8(IDC_SMTP_PORT, port);
    m_inputs.smtpPort = Text(port);
    m_inputs.blogAddresses = Text(view.GetWindowTextUtf8(IDC_BLOG_ADDRESSES));
    m_inputs.article = Text(view.GetWindowTextUtf8(IDC_ARTICLE));
    m_inputs.header = Text(view.GetWindowTextUtf8(IDC_HEADER));
    m_inputs.footer = Text(view.GetWindowTextUtf8(IDC_FOOTER));

    int firstFault = 0;
    const std::vector<std::string> problems = CheckFields(&firstFault);
    if (!problems.empty()) {
        std::string message;
        for (const std::string& problem : problems)
            message += (message.empty() ? "" : "\n") + problem;
        m_side.ShowMessage(message);
        view.SetFocus(firstFault);
        return;
    }

    const std::string library =
        m_services.mailLibrary.empty() ? kMailLibraryName : m_services.mailLibrary;
    if (NeedsMailServer(m_inputs.blogAddresses) && !LoadMailLibrary(library)) {
        m_side.ShowMessage(texts::kMailLibraryMissing);
        return;
    }

    // What the run will send, for the user to look at before anything goes out.
    const PostingInputs& inputs = m_inputs;
    const RunPlan plan = PlanRun(inputs);
    view::PostingPreview preview;
    preview.groups = static_cast<int>(plan.groups.size());
    preview.addresses = static_cast<int>(plan.addresses.size());
    for (const PlannedMessage& message : plan.messages)
        preview.messages.push_back({message.number, message.address.Bytes(),
                                    message.subject.Bytes(),
                                    plan.Body(inputs, message.group).Bytes()});
    const long long pauseSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(m_services.postingPause).count();
    const auto posts = std::count_if(
        plan.messages.begin(), plan.messages.end(),
        [](const PlannedMessage& message) { return message.kind == DestinationKind::Blog; });
    const auto mails = static_cast<long long>(plan.messages.size()) - posts;
    const std::string split = posts > 0
                                  ? messages::Say(messages::kUiPreviewSplit,
                                                  {std::to_string(mails), std::to_string(posts)})
                                  : std::string();
    preview.summary =
        messages::Say(messages::kUiPreviewSummary,
                      {std::to_string(plan.messages.size()), std::to_string(preview.groups),
                       std::to_string(preview.addresses), split, std::to_string(pauseSeconds),
                       Minutes(pauseSeconds * static_cast<long long>(plan.messages.size()))});
    // Affiliate links without a word saying so: a warning with a one-click mend, never a refusal.
    if (!HasAdvertisingDisclosure(inputs.header.Bytes(), inputs.footer.Bytes(),
                                  inputs.article.Bytes())) {
        preview.warning = DisclosureWarning();
        preview.fixCaption = messages::Say(messages::kUiAddToHeader);
    }
    if (!view.ShowPostingPreview(preview)) {
        if (!preview.fixChosen) return;
        // The line goes on top of the header the user sees; then the confirmation again, on
        // the fields as they now are.
        const std::string header = view.GetWindowTextUtf8(IDC_HEADER);
        view.SetWindowTextUtf8(IDC_HEADER, std::string(kDisclosureLine) + "\r\n" + header);
        Confirm();
        return;
    }
    m_confirmed.store(true);
    view.EnableWindow(IDC_START_POST, true);
}

namespace {

// The engine's questions as the window asks them: every one that may send has a Cancel that
// Esc and closing the box also mean.
class DialogQuestions : public PostingQuestions {
public:
    explicit DialogQuestions(view::ControlView& view) : m_view(view) {}
    Resume AskResume(const qubopost::journal::RunSummary& run, int sent) override {
        const int answer = m_view.AskChoice(
            messages::Say(
                messages::kUiAskResume,
                {ShortLocalTime(run.startedAt), std::to_string(run.total), std::to_string(sent)}),
            {Button(messages::kUiButtonResume), Button(messages::kUiButtonFromStart),
             Button(messages::kUiButtonCancel)},
            0, 2);
        return answer == 0 ? Resume::Resume : answer == 1 ? Resume::Restart : Resume::Cancel;
    }
    bool AskResendUncertain(
        const std::vector<qubopost::journal::MessageRecord>& uncertain) override {
        std::string list;
        for (const auto& message : uncertain)
            list += messages::Say(
                messages::kUiUncertainItem,
                {StoredTextToUtf8(message.destination), StoredTextToUtf8(message.subject)});
        // Esc and closing mean "いいえ": nothing is sent twice without a yes.
        return m_view.AskChoice(messages::Say(messages::kUiAskResendUncertain,
                                              {std::to_string(uncertain.size()), list}),
                                {Button(messages::kUiButtonYes), Button(messages::kUiButtonNo)}, 1,
                                1) == 0;
    }
    Finished AskFinished(const qubopost::journal::RunSummary& run, int failed,
                         int uncertain) override {
        const std::string when = ShortLocalTime(run.endedAt.value_or(run.startedAt));
        if (failed == 0 && uncertain == 0) {
            return m_view.AskChoice(messages::Say(messages::kUiAskPostAgain, {when}),
                                    {Button(messages::kUiButtonYes), Button(messages::kUiButtonNo)},
                                    1, 1) == 0
                       ? Finished::All
                       : Finished::Cancel;
        }
        std::string what;
        if (failed > 0) what += messages::Say(messages::kUiFailedCount, {std::to_string(failed)});
        if (uncertain > 0)
            what += std::string(what.empty() ? "" : messages::Say(messages::kUiListComma)) +
                    messages::Say(messages::kUiUncertainCount, {std::to_string(uncertain)});
        const int answer =
            m_view.AskChoice(messages::Say(messages::kUiAskRetryFailed, {when, what}),
                             {Button(messages::kUiButtonFailedOnly), Button(messages::kUiButtonAll),
                              Button(messages::kUiButtonCancel)},
                             0, 2);
        return answer == 0 ? Finished::RetryFailed : answer == 1 ? Finished::All : Finished::Cancel;
    }

private:
    view::ControlView& m_view;
};

}  // namespace

EngineSetup PostingController::MakeEngineSetup() {
    EngineSetup setup;
    setup.journalPath = JournalPath();
    setup.pause = m_services.postingPause;
    // A private certificate authority the user trusts for the SMTP server, if any.
    setup.trustFile =
        ReadSetting(m_services.settingsPath, kProgramSection, "TrustFile").value_or("");
    // 下書きとして投稿: blog destinations get drafts (mail goes as always).
    setup.draft = ReadDraftSetting(m_services.settingsPath);
    if (m_services.sendMailStoppable) {
        setup.send = Notifying(m_services.sendMailStoppable);
    } else if (m_services.sendMail) {
        setup.send = Notifying(Stoppable(m_services.sendMail));
    } else {
        // The production wiring: the mail library, which says when a message's end goes out.
        setup.send = BSendMailNotify;
        setup.setOption = BSetOption;
    }
    return setup;
}

void PostingController::StartEngineRun(
    const std::function<PostingEngine::Ready(PostingEngine&, PostingQuestions&, std::string*)>&
        prepare,
    std::string_view cancelled, bool fromJournal) {
    view::ControlView& view = m_side.View();
    m_stop.Reset();
    auto engine = std::make_shared<PostingEngine>(MakeEngineSetup(), m_stop);
    DialogQuestions questions(view);
    std::string message;
    switch (prepare(*engine, questions, &message)) {
        case PostingEngine::Ready::Go:
            break;
        case PostingEngine::Ready::Cancelled:
            Log(Text(std::string(cancelled)));
            return;
        case PostingEngine::Ready::NothingToDo:
        case PostingEngine::Ready::Refused:
            m_side.ShowMessage(message);
            return;
    }

    m_posting.store(true);
    view.SetWindowText(IDC_START_POST, Sjis(kStopCaption));
    view.EnableWindow(IDC_CONFIRM_POST, false);
    if (!m_side.StartWorkerJob([this, engine, fromJournal] { Job(engine, fromJournal); }))
        EndRunControls();
}

void PostingController::StartOrStop() {
    if (m_posting.load()) {
        // The button reads "投稿停止" while a run goes.
        Stop();
        m_side.View().SetStatusText(Sjis(messages::Say(messages::kUiStopping)));
        return;
    }
    if (!m_confirmed.load()) return;
    const PostingInputs inputs = m_inputs;
    StartEngineRun(
        [&inputs](PostingEngine& engine, PostingQuestions& questions, std::string* message) {
            return engine.Prepare(inputs, questions, message);
        },
        messages::Say(messages::kUiPostingCancelled), false);
}

void PostingController::ResumeStored(std::optional<qubopost::journal::RunId> run) {
    if (m_posting.load()) {
        // One run at a time: the one going now keeps the stop button.
        m_side.ShowMessage(messages::Say(messages::kUiResumeWhilePosting));
        return;
    }
    StartEngineRun(
        [run](PostingEngine& engine, PostingQuestions& questions, std::string* message) {
            return engine.PrepareStored(run, questions, message);
        },
        messages::Say(messages::kUiResumeCancelled), true);
}

namespace {

// The unfinished runs of the journal at `path` that can be resumed now, newest first; an error
// when the journal cannot be opened or read.
qubopost::journal::Result<std::vector<qubopost::journal::RunSummary>> ResumableRuns(
    const std::string& path) {
    namespace journal = qubopost::journal;
    // A short wait for another process's write: the window comes up without delay.
    auto opened = journal::Journal::Open(path, kStartJournalWait);
    if (!opened) return opened.error();
    auto unfinished = opened.value().UnfinishedRuns(0);
    if (!unfinished) return unfinished.error();
    std::vector<journal::RunSummary> runs;
    for (const journal::UnfinishedRun& candidate : unfinished.value()) {
        if (!candidate.summary.Resumable()) continue;
        // A run another process (qubopost-cli, another window) is posting right now is not
        // left over: it is not offered.
        int owner = 0;
        if (!journal::RunLock::Acquire(path, candidate.summary.identity, &owner) && owner != 0)
            continue;
        runs.push_back(candidate.summary);
    }
    return runs;
}

}  // namespace

void PostingController::OfferUnfinishedRuns() {
    const std::string path = JournalPath();
    std::error_code error;
    // No journal yet: nothing to resume, and starting creates none.
    if (std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found)
        return;
    auto found = ResumableRuns(path);
    if (!found) {
        Log(Text(messages::Say(messages::kUiUnfinishedUnchecked, {found.error().message})));
        return;
    }
    const std::vector<qubopost::journal::RunSummary>& runs = found.value();
    if (runs.empty()) return;

    std::string question(messages::Say(messages::kUiUnfinishedRuns));
    constexpr std::size_t kListed = 5;
    for (std::size_t i = 0; i < runs.size() && i < kListed; ++i) {
        const qubopost::journal::RunSummary& run = runs[i];
        question +=
            messages::Say(messages::kUiUnfinishedRun,
                          {std::to_string(run.id), ShortLocalTime(run.startedAt),
                           std::to_string(run.sent), std::to_string(run.pending + run.failed)});
        if (run.uncertain > 0)
            question +=
                messages::Say(messages::kUiUnfinishedUncertain, {std::to_string(run.uncertain)});
        // The server under its run: the line would not fit the box's width.
        question += messages::Say(messages::kUiUnfinishedServer, {run.server});
    }
    if (runs.size() > kListed)
        question +=
            messages::Say(messages::kUiUnfinishedMore, {std::to_string(runs.size() - kListed)});
    question += messages::Say(messages::kUiUnfinishedAsk, {std::to_string(runs.front().id)});
    if (m_side.View().AskChoice(
            question, {Button(messages::kUiButtonResume), Button(messages::kUiButtonLater)}, 1,
            1) != 0)
        return;
    ResumeStored(runs.front().id);
}

void PostingController::EndRunControls() {
    view::ControlView& view = m_side.View();
    m_posting.store(false);
    view.SetWindowText(IDC_START_POST, Sjis(kStartCaption));
    view.SetStatusText(Text());
    // The start button comes back only while the confirmation still stands.
    view.EnableWindow(IDC_START_POST, m_confirmed.load());
    view.EnableWindow(IDC_CONFIRM_POST, true);
}

namespace {

// Reports a run to the dialog's log field, progress bar and status line.
class DialogPostingEvents : public EngineEvents {
public:
    DialogPostingEvents(view::ControlView& view, std::function<bool()> stop,
                        std::function<void(const Text&)> log,
                        std::function<void(const Text&)> subject)
        : m_view(view),
          m_stop(std::move(stop)),
          m_log(std::move(log)),
          m_subject(std::move(subject)) {}

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
    bool StopRequested() override { return m_stop(); }
    void OnWaiting(long long seconds, bool last) override {
        m_view.SetStatusText(Sjis(messages::Say(
            last ? messages::kUiWaitingLast : messages::kUiWaiting, {std::to_string(seconds)})));
    }
    void OnMessageResult(const PlannedMessage& message, SendResult result, const Text&) override {
        if (result == SendResult::Stopped) return;
        m_view.SetStatusText(Sjis(messages::Say(
            messages::kUiSending,
            {std::to_string(message.number), std::to_string(m_total), message.address.Bytes()})));
    }

private:
    view::ControlView& m_view;
    std::function<bool()> m_stop;
    std::function<void(const Text&)> m_log;
    std::function<void(const Text&)> m_subject;
    int m_total = 0;
    int m_done = 0;
};

}  // namespace

void PostingController::Job(const std::shared_ptr<PostingEngine>& engine, bool fromJournal) {
    DialogPostingEvents dialogEvents(
        m_side.View(), [this] { return m_side.Closing(); }, [this](const Text& line) { Log(line); },
        [this](const Text& subject) {
            std::lock_guard lock(m_runMutex);
            m_subject = subject;
        });
    const RunOutcome outcome = engine->Run(dialogEvents);
    const PostingInputs& inputs = engine->Inputs();
    {
        std::lock_guard lock(m_runMutex);
        m_log.Empty();
    }
    if (m_side.Closing()) {
        // The window is going: its controls are not touched any more.
        m_posting.store(false);
        return;
    }
    // The buttons come back before the verdict is shown.
    EndRunControls();
    if (outcome.Succeeded()) {
        m_side.ShowMessage(texts::kPostingDone);
        return;
    }
    if (outcome.stopped) {
        m_side.ShowMessage(messages::Say(
            messages::kUiStopped,
            {std::to_string(outcome.sent + outcome.skipped), std::to_string(outcome.notSent),
             messages::Say(fromJournal ? messages::kUiStoppedResumeFromHistory
                                       : messages::kUiStoppedResumeByStart)}));
    } else if (outcome.loginRefused) {
        m_side.ShowMessage(
            std::string(texts::kPostingFailed) +
            messages::Say(messages::kUiSmtpLoginRefused,
                          {inputs.smtpServer.Bytes(), std::to_string(outcome.notSent)}));
    } else if (!outcome.refusedBlogs.empty()) {
        // Only those blogs stopped; every other destination got its messages.
        std::string message(texts::kPostingFailed);
        for (const Text& blog : outcome.refusedBlogs) {
            std::string advice;
            if (const auto parsed = qubopost::blogapi::ParseDestination(blog.Bytes(), nullptr))
                advice = BlogPasswordAdvice(*parsed);
            message += messages::Say(messages::kUiBlogLoginRefused, {blog.Bytes(), advice});
        }
        message += messages::Say(messages::kUiOtherBlogsPosted);
        m_side.ShowMessage(message);
    } else {
        m_side.ShowMessage(texts::kPostingFailed);
    }
}

}  // namespace qubopost::ui
