#include "posting/posting_engine.h"

#include <algorithm>
#include <ctime>

#include "posting/blog_poster.h"
#include "resources/messages/messages.h"

using namespace qubopost::platform;

namespace qubopost::posting {

namespace journal = qubopost::journal;
namespace msg = qubopost::messages;

namespace {

// Wraps the caller's events: the pause and the stop are the engine's, the journal's record
// sits between the run and the caller.
class RunEvents : public PostingEvents {
public:
    RunEvents(PostingEvents& journalEvents, EngineEvents& shown, StopSignal& stop,
              std::chrono::milliseconds pause, std::function<bool()> beforeFirst)
        : m_inner(journalEvents),
          m_shown(shown),
          m_stop(stop),
          m_pause(pause),
          m_beforeFirst(std::move(beforeFirst)) {}

    void OnRange(int maximum) override {
        m_total = maximum;
        m_inner.OnRange(maximum);
    }
    void OnProgressStep() override {
        ++m_done;
        m_inner.OnProgressStep();
    }
    void OnLogLine(const Text& line) override { m_inner.OnLogLine(line); }
    void OnSubject(const Text& subject) override { m_inner.OnSubject(subject); }
    bool Pause() override { return PauseFor(std::chrono::milliseconds(0)); }
    bool PauseFor(std::chrono::milliseconds atLeast) override {
        const bool last = m_done >= m_total;
        return m_stop.Wait(
            std::max(m_pause, atLeast),
            [&](long long seconds) { m_shown.OnWaiting(seconds, last); },
            [this] { return m_shown.StopRequested(); });
    }
    bool StopRequested() override { return m_stop.Stopped() || m_inner.StopRequested(); }
    const int* StopFlag() override { return m_stop.Flag(); }
    bool AlreadySent(const PlannedMessage& message) override {
        return m_inner.AlreadySent(message);
    }
    bool LeftUncertain(const PlannedMessage& message) override {
        return m_inner.LeftUncertain(message);
    }
    bool OnSending(const PlannedMessage& message) override {
        if (m_first) {
            m_first = false;
            if (m_beforeFirst && !m_beforeFirst()) return false;
        }
        return m_inner.OnSending(message);
    }
    bool OnSendingEnd(const PlannedMessage& message) override {
        return m_inner.OnSendingEnd(message);
    }
    void OnPostLink(const PlannedMessage& message, const Text& link) override {
        m_inner.OnPostLink(message, link);
    }
    void OnMessageResult(const PlannedMessage& message, SendResult result,
                         const Text& detail) override {
        m_inner.OnMessageResult(message, result, detail);
    }

private:
    PostingEvents& m_inner;
    EngineEvents& m_shown;
    StopSignal& m_stop;
    std::chrono::milliseconds m_pause;
    std::function<bool()> m_beforeFirst;
    bool m_first = true;
    int m_total = 0;
    int m_done = 0;
};

}  // namespace

std::string ShortLocalTime(journal::Time time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    char minute[8];
    std::snprintf(minute, sizeof minute, "%02d", local.tm_min);
    return msg::Say(msg::kShortLocalTime,
                    {std::to_string(local.tm_mon + 1), std::to_string(local.tm_mday),
                     std::to_string(local.tm_hour), minute});
}

PostingEngine::PostingEngine(EngineSetup setup, StopSignal& stop)
    : m_setup(std::move(setup)), m_stop(stop) {}

PostingEngine::~PostingEngine() = default;

journal::RunId PostingEngine::RunId() const { return m_journal ? m_journal->Run() : 0; }

PostingEngine::Ready PostingEngine::OpenJournal(std::string* message) {
    if (m_setup.noJournal) return Ready::Go;
    std::string error;
    m_journal = RunJournal::Open(m_setup.journalPath, &error);
    if (!m_journal) {
        // Without the journal a stopped run would send again what went out: nothing goes.
        *message = msg::Say(msg::kEngineJournalUnusable, {error});
        return Ready::Refused;
    }
    return Ready::Go;
}

PostingEngine::Ready PostingEngine::Prepare(const PostingInputs& inputs,
                                            PostingQuestions& questions, std::string* message) {
    std::string ignored;
    if (!message) message = &ignored;
    m_inputs = inputs;
    m_plan = PlanRun(m_inputs);
    m_mode = RunJournal::Mode::Fresh;
    m_resendUncertain = false;
    if (const Ready ready = OpenJournal(message); ready != Ready::Go || !m_journal) return ready;
    m_identity = RunJournal::Identity(m_inputs);
    int owner = 0;
    auto lock = journal::RunLock::Acquire(m_setup.journalPath, m_identity, &owner);
    if (!lock) {
        *message = lock.error().message;
        return Ready::Refused;
    }
    m_lock.emplace(std::move(lock.value()));
    return Choose(questions, message);
}

PostingEngine::Ready PostingEngine::Choose(PostingQuestions& questions, std::string* message) {
    std::string error;
    const RunJournal::Earlier earlier = m_journal->Look(m_identity, &error);
    if (!error.empty()) {
        *message = msg::Say(msg::kEngineJournalUnreadable, {error});
        return Ready::Refused;
    }
    if (earlier.unfinished) {
        switch (questions.AskResume(earlier.unfinished->summary, earlier.sent)) {
            case PostingQuestions::Resume::Cancel:
                return Ready::Cancelled;
            case PostingQuestions::Resume::Restart:
                return Ready::Go;
            case PostingQuestions::Resume::Resume:
                m_mode = RunJournal::Mode::Resume;
                if (!earlier.uncertain.empty())
                    m_resendUncertain = questions.AskResendUncertain(earlier.uncertain);
                return Ready::Go;
        }
    }
    if (earlier.finished) {
        int uncertain = 0;
        std::vector<journal::MessageRecord> uncertainList;
        for (const auto& record : earlier.finished->messages) {
            if (record.state == journal::MessageState::Uncertain) {
                ++uncertain;
                uncertainList.push_back(record);
            }
        }
        switch (
            questions.AskFinished(earlier.finished->summary, earlier.failedInFinished, uncertain)) {
            case PostingQuestions::Finished::Cancel:
                return Ready::Cancelled;
            case PostingQuestions::Finished::All:
                return Ready::Go;
            case PostingQuestions::Finished::RetryFailed:
                m_mode = RunJournal::Mode::RetryFailed;
                if (!uncertainList.empty())
                    m_resendUncertain = questions.AskResendUncertain(uncertainList);
                if (earlier.failedInFinished == 0 && !m_resendUncertain) {
                    *message = msg::Say(msg::kEngineNothingToRetry);
                    return Ready::NothingToDo;
                }
                return Ready::Go;
        }
    }
    return Ready::Go;
}

PostingEngine::Ready PostingEngine::PrepareStored(std::optional<journal::RunId> run,
                                                  PostingQuestions& questions,
                                                  std::string* message) {
    std::string ignored;
    if (!message) message = &ignored;
    m_mode = RunJournal::Mode::Resume;
    m_resendUncertain = false;
    if (m_setup.noJournal) {
        *message = msg::Say(msg::kEngineResumeNeedsJournal);
        return Ready::Refused;
    }
    if (const Ready ready = OpenJournal(message); ready != Ready::Go) return ready;
    journal::Journal& history = m_journal->Journal();
    if (!run) {
        auto unfinished = history.UnfinishedRuns(0);
        if (!unfinished) {
            *message = unfinished.error().message;
            return Ready::Refused;
        }
        for (const journal::UnfinishedRun& candidate : unfinished.value()) {
            if (candidate.stored) {
                run = candidate.summary.id;
                break;
            }
        }
        if (!run) {
            *message = msg::Say(msg::kEngineNothingToResume);
            return Ready::NothingToDo;
        }
    }
    auto summary = history.Summary(*run);
    if (!summary || !summary.value()) {
        *message = msg::Say(msg::kEngineNoSuchRun, {std::to_string(*run)});
        return Ready::Refused;
    }
    auto stored = history.LoadStoredRun(*run);
    if (!stored) {
        *message = stored.error().message;
        return Ready::Refused;
    }
    if (!stored.value()) {
        *message = msg::Say(msg::kEngineRunNotStored, {std::to_string(*run)});
        return Ready::Refused;
    }
    const journal::StoredRun& content = *stored.value();
    m_inputs = PostingInputs{};
    m_inputs.fromAddress = Text(content.sender);
    m_inputs.smtpServer = Text(content.server);
    m_plan = RunPlan{};
    m_plan.server = Text(content.server);
    for (const std::string& body : content.bodies) m_plan.storedBodies.emplace_back(body);
    for (const auto& message : content.messages)
        m_plan.messages.push_back({message.number, message.group, Text(message.destination),
                                   Text(message.subject), KindOfLine(message.destination)});
    if (m_setup.trustFile.empty()) m_setup.trustFile = content.trustFile;
    m_setup.draft = m_setup.draft || content.draft;
    m_identity = summary.value()->identity;
    int owner = 0;
    auto lock = journal::RunLock::Acquire(m_setup.journalPath, m_identity, &owner);
    if (!lock) {
        *message = lock.error().message;
        return Ready::Refused;
    }
    m_lock.emplace(std::move(lock.value()));

    std::string error;
    const RunJournal::Earlier earlier = m_journal->Look(m_identity, &error);
    if (!earlier.unfinished || earlier.unfinished->summary.id != *run) {
        *message = msg::Say(msg::kEngineRunAlreadyDone, {std::to_string(*run)});
        return Ready::NothingToDo;
    }
    if (!earlier.uncertain.empty())
        m_resendUncertain = questions.AskResendUncertain(earlier.uncertain);
    return Ready::Go;
}

bool PostingEngine::WaitForSpacing(EngineEvents& events) {
    if (!m_journal) return true;
    auto last = m_journal->Journal().LastSentTo(m_plan.server.Bytes());
    if (!last || !last.value()) return true;
    // Times are stored in whole seconds, cut down, at or after the server got the message:
    // one second more keeps at least the pause between the two messages as the server sees
    // them. (A pause under a second, for tests and scripts, adds no more than itself.)
    const auto margin = std::min<std::chrono::milliseconds>(m_setup.pause, std::chrono::seconds(1));
    const auto next = *last.value() + m_setup.pause + margin;
    const auto now = std::chrono::system_clock::now();
    if (now >= next) return true;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now);
    return m_stop.Wait(
        wait, [&](long long seconds) { events.OnWaiting(seconds, false); },
        [&] { return events.StopRequested(); });
}

RunOutcome PostingEngine::Run(EngineEvents& events) {
    if (m_setup.setOption) m_setup.setOption("tls-trust-file", m_setup.trustFile.c_str());
    if (m_journal) {
        std::string error;
        if (!m_journal->Begin(m_identity, m_inputs, m_plan, m_setup.trustFile, m_mode,
                              m_resendUncertain, &error, m_setup.draft)) {
            events.OnLogLine(Text(msg::Say(msg::kEngineCannotRecord, {error})));
            RunOutcome refused;
            refused.total = static_cast<int>(m_plan.messages.size());
            refused.notSent = refused.total;
            refused.stopped = true;
            m_lock.reset();
            return refused;
        }
    }
    const bool anyBlog =
        std::any_of(m_plan.messages.begin(), m_plan.messages.end(),
                    [](const PlannedMessage& m) { return m.kind == DestinationKind::Blog; });
    const bool anyMail =
        std::any_of(m_plan.messages.begin(), m_plan.messages.end(),
                    [](const PlannedMessage& m) { return m.kind == DestinationKind::Mail; });
    if (m_setup.draft) {
        events.OnLogLine(Text(std::string(msg::Say(!anyBlog  ? msg::kEngineDraftMailOnly
                                                   : anyMail ? msg::kEngineDraftBlogAndMail
                                                             : msg::kEngineDraftBlog))));
    }
    JournalEvents journalEvents(events, m_journal.get());
    RunEvents runEvents(journalEvents, events, m_stop, m_setup.pause,
                        [&] { return WaitForSpacing(events); });
    RunOutcome outcome =
        RunPostingPlan(m_inputs, m_plan, m_setup.send, MakeBlogPoster(m_setup.draft), runEvents);
    if (m_journal) m_journal->End(outcome);
    m_lock.reset();
    return outcome;
}

}  // namespace qubopost::posting
