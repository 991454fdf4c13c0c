// The posting engine that the window and qubopost-cli both drive: it plans a run, opens and
// checks the journal, takes the run's lock, asks what to do about an earlier run of the same
// content, keeps the pause between messages (also across processes, from the journal), makes
// the mail calls and the blog API posts (blog URLs among the destinations, through blogapi with
// the password from the key ring or ~/.netrc) and records every message's fate, a post's
// address with it. The window answers its questions with
// dialogs, qubopost-cli with its options.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "journal/journal.h"
#include "posting/posting_run.h"
#include "posting/run_journal.h"
#include "posting/stop_signal.h"

namespace qubopost::posting {

// What the engine needs answered before anything is sent. Every question may be cancelled:
// nothing is sent then.
class PostingQuestions {
public:
    virtual ~PostingQuestions() = default;

    enum class Resume { Resume, Restart, Cancel };
    // An unfinished run of the same content (sent: how many of its messages went out).
    virtual Resume AskResume(const qubopost::journal::RunSummary& run, int sent) = 0;
    // Messages of the run being resumed whose fate is unknown: send them again?
    virtual bool AskResendUncertain(
        const std::vector<qubopost::journal::MessageRecord>& uncertain) = 0;

    enum class Finished { RetryFailed, All, Cancel };
    // The same content was posted to the end before (failed: how many of its messages failed,
    // uncertain: how many were left uncertain).
    virtual Finished AskFinished(const qubopost::journal::RunSummary& run, int failed,
                                 int uncertain) = 0;
};

// How the engine reaches the outside world.
struct EngineSetup {
    std::string journalPath;  // the journal file
    bool noJournal = false;   // run without a journal on purpose (no resume, no spacing record)
    std::chrono::milliseconds pause{60000};
    std::string trustFile;     // the CA file for the SMTP server ("" = the system's store)
    NotifyingMailSender send;  // the mail call
    // The mail library's BSetOption (for the trust file); may be empty when send is no library's.
    std::function<int(const char* name, const char* value)> setOption;
    // Post to blog destinations (blog URLs among the addresses) as drafts ("下書きとして投稿",
    // [Qubopost] Draft=1, --draft). Mail destinations are not affected.
    bool draft = false;
};

// What the caller shows while a run goes, besides the PostingEvents it already has.
class EngineEvents : public PostingEvents {
public:
    // The pause: seconds left; last: no message is left to send after it.
    virtual void OnWaiting(long long /*seconds*/, bool /*last*/) {}
    // Default answers for what the engine handles itself.
    bool Pause() override { return true; }
    bool StopRequested() override { return false; }
};

class PostingEngine {
public:
    PostingEngine(EngineSetup setup, StopSignal& stop);
    ~PostingEngine();
    PostingEngine(const PostingEngine&) = delete;
    PostingEngine& operator=(const PostingEngine&) = delete;

    enum class Ready {
        Go,           // Run() sends
        Cancelled,    // a question was cancelled: nothing sent
        NothingToDo,  // nothing left to send (message says why)
        Refused,      // the run cannot go (message says why and what to do)
    };
    // A run of the inputs.
    Ready Prepare(const PostingInputs& inputs, PostingQuestions& questions, std::string* message);
    // An unfinished run taken back from the journal alone: `run`, or the newest unfinished one.
    Ready PrepareStored(std::optional<qubopost::journal::RunId> run, PostingQuestions& questions,
                        std::string* message);

    // Sends what Prepare planned; the run's lock is released at its end.
    RunOutcome Run(EngineEvents& events);

    const RunPlan& Plan() const { return m_plan; }
    const PostingInputs& Inputs() const { return m_inputs; }
    // The journal's id of the run (0 without a journal).
    qubopost::journal::RunId RunId() const;
    bool Resuming() const { return m_mode != RunJournal::Mode::Fresh; }

private:
    Ready Choose(PostingQuestions& questions, std::string* message);
    Ready OpenJournal(std::string* message);
    bool WaitForSpacing(EngineEvents& events);

    EngineSetup m_setup;
    StopSignal& m_stop;
    PostingInputs m_inputs;
    RunPlan m_plan;
    std::string m_identity;
    std::unique_ptr<RunJournal> m_journal;
    std::optional<qubopost::journal::RunLock> m_lock;
    RunJournal::Mode m_mode = RunJournal::Mode::Fresh;
    bool m_resendUncertain = false;
};

// "12月7日 15:20" in the local time zone.
std::string ShortLocalTime(qubopost::journal::Time time);

}  // namespace qubopost::posting
