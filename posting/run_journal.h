// A posting run and its record in the journal: whether the same inputs were posted before
// and did not finish (resume: what went out is skipped), which messages an earlier run left
// uncertain, and every message's result committed before the run moves on.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "journal/journal.h"
#include "posting/posting_run.h"

namespace qubopost::posting {

class RunJournal {
public:
    // What the journal knows of earlier runs of the same inputs.
    struct Earlier {
        std::optional<qubopost::journal::RunRecord> unfinished;   // to resume
        std::optional<qubopost::journal::RunRecord> finished;     // the latest finished one
        int sent = 0;                                             // in the unfinished run
        std::vector<qubopost::journal::MessageRecord> uncertain;  // in the unfinished run
        int failedInFinished = 0;
    };
    enum class Mode {
        Fresh,        // a new run of every message
        Resume,       // go on with the unfinished run: its sent messages are skipped
        RetryFailed,  // the latest finished run again, its failed messages only
    };

    // nullptr with the reason when the journal can't be opened.
    static std::unique_ptr<RunJournal> Open(const std::string& path, std::string* error);

    static std::string Identity(const PostingInputs& inputs);

    Earlier Look(const std::string& identity, std::string* error);

    // Starts recording. A new run is stored whole (sender, server, trust file, every group's
    // body once, every message), so that it can be finished from the journal alone. With
    // Resume, uncertain messages are sent again only when resendUncertain; otherwise they
    // stay uncertain. Prunes old runs.
    bool Begin(const std::string& identity, const PostingInputs& inputs, const RunPlan& plan,
               const std::string& trustFile, Mode mode, bool resendUncertain, std::string* error,
               bool draft = false);
    bool Skip(int number) const { return m_skip.count(number) > 0; }
    // Skipped because its fate is unknown (not sent again).
    bool LeftUncertain(int number) const { return m_leftUncertain.count(number) > 0; }
    qubopost::journal::RunId Run() const { return m_run; }
    int Skipped() const { return static_cast<int>(m_skip.size()); }
    // link: the address of the post a blog made (Sent only).
    bool Record(const PlannedMessage& message, SendResult result, const std::string& detail,
                std::string* error, const std::string& link = {});
    // Written when the message's end (its final ".") is about to go out, so that a process
    // killed from then on leaves it "uncertain" (never resent without asking); before that
    // moment it stays unsent and a resume sends it.
    bool RecordSending(const PlannedMessage& message, std::string* error);
    void End(const RunOutcome& outcome);
    qubopost::journal::Journal& Journal() { return m_journal; }

private:
    explicit RunJournal(qubopost::journal::Journal journal) : m_journal(std::move(journal)) {}
    qubopost::journal::Journal m_journal;
    qubopost::journal::RunId m_run = 0;
    std::set<int> m_skip;
    std::set<int> m_leftUncertain;
    int m_inFlight = 0;  // the message marked before its transfer, until its result is known
};

// Events that keep the journal up to date and skip what it says went out, around the
// events of the window or the console.
class JournalEvents : public PostingEvents {
public:
    JournalEvents(PostingEvents& inner, RunJournal* journal) : m_inner(inner), m_journal(journal) {}
    void OnRange(int maximum) override { m_inner.OnRange(maximum); }
    void OnProgressStep() override { m_inner.OnProgressStep(); }
    void OnLogLine(const platform::Text& line) override { m_inner.OnLogLine(line); }
    void OnSubject(const platform::Text& subject) override { m_inner.OnSubject(subject); }
    bool Pause() override { return m_inner.Pause(); }
    bool PauseFor(std::chrono::milliseconds atLeast) override { return m_inner.PauseFor(atLeast); }
    void OnPostLink(const PlannedMessage& message, const platform::Text& link) override;
    bool StopRequested() override { return m_failed || m_inner.StopRequested(); }
    const int* StopFlag() override { return m_inner.StopFlag(); }
    bool AlreadySent(const PlannedMessage& message) override;
    bool LeftUncertain(const PlannedMessage& message) override;
    bool OnSending(const PlannedMessage& message) override {
        return !m_failed && m_inner.OnSending(message);
    }
    bool OnSendingEnd(const PlannedMessage& message) override;
    void OnMessageResult(const PlannedMessage& message, SendResult result,
                         const platform::Text& detail) override;
    bool JournalFailed() const { return m_failed; }

private:
    PostingEvents& m_inner;
    RunJournal* m_journal;
    bool m_failed = false;
    int m_linkOf = 0;  // the message m_link belongs to
    std::string m_link;
};

}  // namespace qubopost::posting
