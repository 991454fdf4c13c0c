// The posting journal: every posting run and the state of each of its messages, kept in an
// SQLite file, so that a run stopped, closed or killed half way can go on later without sending
// again what already went out, and so that the history can be shown.
//
// Every call that changes something is its own committed transaction before it returns (WAL,
// synchronous=FULL): a kill or a power cut at any moment loses nothing a call reported as done.
//
// Threads and processes: one Journal object is used by one thread at a time (the posting thread,
// or the thread showing the history); it is not safe to call one object from two threads at
// once. Any number of Journal objects, in one process or in several (the window and
// qubopost-cli), may have the same file open: a writer waits up to 10 seconds for another.
//
// Bytes: destinations, subjects, bodies, the sender, server replies and reasons are stored as
// given and come back unchanged. Error texts are UTF-8 Japanese for the user (what happened, the
// file, what to do), with SQLite's own English text after the cause.
//
// A run started with StartStoredRun keeps everything needed to finish it (the sender, the
// server, the trust file, each group's body once, each message's destination, subject and
// group): the journal alone is the truth of such a run. Runs recorded by StartRun, or by an
// older version of the program, keep only each message's destination and subject.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/run_identity.h"
#include "journal/run_lock.h"  // a run's lock beside the journal, for the journal's users
#include "journal/sqlite.h"

namespace qubopost::messages {
struct Message;
}  // namespace qubopost::messages

namespace qubopost::journal {

// Seconds since 1970-01-01 UTC, as stored.
using Time = std::chrono::sys_seconds;
using RunId = std::int64_t;

// $XDG_STATE_HOME/qubopost/history.sqlite3, where XDG_STATE_HOME defaults to ~/.local/state.
std::string DefaultJournalPath();

enum class MessageState {
    Pending,    // not tried yet
    Sent,       // the server accepted it
    Failed,     // the server refused it or it could not be handed over
    Uncertain,  // the connection broke after the final "." before the server answered
};

// One message of a run as planned at its start.
struct PlannedMessage {
    int number = 0;           // 1..N, the order of the run
    std::string destination;  // the blog address
    std::string subject;
};

struct MessageRecord {
    int number = 0;
    std::string destination;
    std::string subject;
    MessageState state = MessageState::Pending;
    std::optional<Time> at;  // when it was marked; none while pending
    std::string detail;      // Sent: the server's reply; Failed / Uncertain: the reason
    std::string link;        // Sent through a blog's API: the post's address; else empty
};

struct RunSummary {
    RunId id = 0;
    std::string identity;
    Time startedAt{};
    std::optional<Time> endedAt;    // none while the run goes, or when it was killed
    bool finished = false;          // every message was tried
    int attempts = 1;               // 1, plus one for each resume
    std::optional<Time> resumedAt;  // the last resume
    int total = 0;
    int sent = 0;
    int failed = 0;
    int uncertain = 0;
    int pending = 0;
    std::string server;       // "host:port" as stored; empty for a run without its texts
    bool stored = false;      // the run's texts are in the journal (StartStoredRun)
    bool superseded = false;  // a newer run of the same identity followed it

    // Not finished, not followed by a newer run of its identity, and its texts are stored: it
    // can go on from the journal alone.
    bool Resumable() const { return stored && !finished && !superseded; }
};

struct RunRecord {
    RunSummary summary;
    std::vector<MessageRecord> messages;  // by number
};

// Everything needed to finish a run without its inputs.
struct StoredRun {
    std::string sender;               // From address
    std::string server;               // "host:port" (may begin with smtps://)
    std::string trustFile;            // "" for the system's store
    std::vector<std::string> bodies;  // one per group, index = group
    struct Message {
        int number = 0;
        int group = 0;
        std::string destination;
        std::string subject;
    };
    std::vector<Message> messages;  // numbers 1..N each once; group < bodies.size()
    bool draft = false;             // its blog destinations get drafts
};

// A run that did not finish and that no newer run of its identity followed.
struct UnfinishedRun {
    RunSummary summary;
    bool stored = false;  // it can be resumed from the journal alone (LoadStoredRun)
    std::string server;   // as stored; empty when not stored
};

// Runs older than this are removed by Prune.
inline constexpr std::chrono::days kKeepRunsFor{90};

// How long a call waits for another process's write to end before it fails.
inline constexpr std::chrono::milliseconds kBusyTimeout{10000};

class Journal {
public:
    // Opens or creates the journal at `path`, creating its folder (mode 0700) when missing and
    // the file with mode 0600. Brings an older file up to date. Refuses, without touching it
    // and with words saying what to do: a file written by a newer version of the program, a
    // file that is damaged or no SQLite file at all (PRAGMA quick_check), a folder or another
    // thing that is no plain file, a symbolic link that loops, a file or folder it cannot
    // write, and a file that another process keeps locked past `busyTimeout`.
    static Result<Journal> Open(const std::string& path);
    static Result<Journal> Open(const std::string& path, std::chrono::milliseconds busyTimeout);

    Journal(Journal&&) noexcept = default;
    Journal& operator=(Journal&&) noexcept = default;

    const std::string& Path() const { return m_path; }

    // Takes the write lock and lets it go again: an error (read-only file or folder, another
    // process holding the file past the busy timeout) says why nothing could be recorded.
    Status CheckWritable();

    // Records a new run with all its messages pending. Numbers must be 1..messages.size(), each
    // once. The run keeps no texts: it cannot be resumed from the journal alone.
    Result<RunId> StartRun(std::string_view identity, const std::vector<PlannedMessage>& messages,
                           Time now);
    // Records a new run whole: its sender, server, trust file, each group's body once, and its
    // messages, all pending. Numbers must be 1..N each once and every group index below
    // bodies.size(); otherwise nothing is recorded.
    Result<RunId> StartStoredRun(std::string_view identity, const StoredRun& run, Time now);
    // The stored texts of a run, messages by number; nullopt for a run recorded without them
    // (StartRun, an older version) or unknown.
    Result<std::optional<StoredRun>> LoadStoredRun(RunId run);

    // The newest run with this identity, with its messages, if it did not finish. A run that a
    // newer run of the same identity followed is never returned: that newer run may already
    // have sent its messages again.
    Result<std::optional<RunRecord>> FindUnfinished(std::string_view identity);
    // The newest run with this identity if it finished (to offer sending only the failed ones).
    Result<std::optional<RunRecord>> LatestFinished(std::string_view identity);
    // The newest run with this identity, finished or not.
    Result<std::optional<RunRecord>> LatestRun(std::string_view identity);

    // The result of one message. A message once sent stays sent: marking it again is an error,
    // as is a run or number the journal does not know. A failed or uncertain message may be
    // marked again when it is tried again.
    // link: the address of the post a blog made (empty for mail).
    Status MarkSent(RunId run, int number, Time now, std::string_view reply,
                    std::string_view link = {});
    Status MarkFailed(RunId run, int number, Time now, std::string_view reason);
    Status MarkUncertain(RunId run, int number, Time now, std::string_view reason);

    // The end of a run: finished when every message was tried, not when the user stopped it.
    // A killed run never gets here and keeps no end.
    Status EndRun(RunId run, Time now, bool finished);

    // Continues a run under the same id (the same identity means the same messages): the run
    // counts one more attempt, records `now` as its last resume, and is going again (no end,
    // not finished) until EndRun. Works for a finished run too, to send its failed ones.
    Status ResumeRun(RunId run, Time now);

    // Runs newest first, at most `limit` of them (all when limit <= 0).
    Result<std::vector<RunSummary>> History(int limit);
    // Unfinished runs (not finished, and not followed by a newer run of the same identity),
    // newest first, at most `limit` (all when <= 0), with whether each can be resumed from the
    // journal alone. A run that another process is posting right now is listed too (RunLock
    // tells).
    Result<std::vector<UnfinishedRun>> UnfinishedRuns(int limit);
    // When a message last went to this server ("host:port", as stored): the newest `at` of any
    // message in state sent or uncertain of any run whose server is this one; nullopt when
    // none. (For keeping the pause between messages across processes.)
    Result<std::optional<Time>> LastSentTo(std::string_view server);
    Result<std::optional<RunSummary>> Summary(RunId run);
    // A run's messages by number; empty for an unknown run.
    Result<std::vector<MessageRecord>> Messages(RunId run);

    // Removes the runs started more than `keep` before `now`, with their messages. A run
    // started exactly `keep` before stays. Returns how many runs went.
    Result<int> Prune(Time now, std::chrono::seconds keep = kKeepRunsFor);

private:
    struct NewMessage;
    Journal(std::string path, sql::Database db, std::chrono::milliseconds busyTimeout)
        : m_path(std::move(path)), m_db(std::move(db)), m_busyTimeout(busyTimeout) {}
    Status Prepare();
    Status QuickCheck();
    Result<RunId> InsertRun(std::string_view identity, const std::vector<NewMessage>& messages,
                            const StoredRun* texts, Time now);
    Status Mark(RunId run, int number, MessageState state, Time now, std::string_view detail,
                std::string_view link = {});
    // The summaries of SummaryColumns + `tail`, whose parameters `bind` sets.
    Result<std::vector<RunSummary>> Summaries(const std::string& tail,
                                              const std::function<void(sql::Statement&)>& bind);
    Result<std::optional<RunRecord>> Newest(std::string_view identity,
                                            std::optional<bool> finished);
    // `what` failed; the SQLite error decides the advice (another process, read-only, damaged,
    // or the disk).
    Error Failure(const messages::Message& what, const Error& sqlite) const;

    std::string m_path;
    sql::Database m_db;
    std::chrono::milliseconds m_busyTimeout = kBusyTimeout;
};

}  // namespace qubopost::journal
