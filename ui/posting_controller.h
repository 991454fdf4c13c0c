// The posting side of the main window: the confirmation (投稿確認) that checks the fields and
// shows what will be sent, the run (ブログ投稿開始 / 投稿停止) through the posting engine on a job
// of its own, the engine's questions asked as dialogs, resuming a run stored in the journal,
// and the offer of unfinished runs at start.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal.h"
#include "platform/text.h"
#include "posting/posting_engine.h"
#include "posting/posting_run.h"
#include "posting/stop_signal.h"
#include "ui/dialog_services.h"
#include "ui/dialog_side.h"

namespace qubopost::ui {

class PostingController {
public:
    PostingController(DialogSide& side, const DialogServices& services)
        : m_side(side), m_services(services) {}

    // 投稿確認: copies and checks the fields, shows the preview; ブログ投稿開始 comes on when the
    // user accepts it.
    void Confirm();
    // ブログ投稿開始 starts a run of the confirmed copies; while one goes the button reads
    // 投稿停止 and stops it.
    void StartOrStop();
    // Finishes an unfinished run from the journal alone (`run`, or the newest that can be
    // resumed), with the same questions and controls as a run of the fields. The fields, the
    // article among them, are neither read nor changed.
    void ResumeStored(std::optional<qubopost::journal::RunId> run);
    // At start: offers the unfinished runs of the journal that can be resumed (no network).
    void OfferUnfinishedRuns();
    // A field changed: when the confirmation copied it, the confirmation no longer stands.
    void OnFieldEdited(int id);
    // The fields were emptied (クリア): the confirmation no longer stands.
    void Forget() { m_confirmed.store(false); }
    // Stops the run going: no further message, a transfer before its final "." aborted.
    void Stop() { m_stop.Stop(); }

    bool Running() const { return m_posting.load(); }
    // Whether the last confirmation still stands (no field it copied changed since).
    bool Confirmed() const { return m_confirmed.load(); }
    // The journal the window posts with: DialogServices::journalPath, else the user's.
    std::string JournalPath() const;
    // What the last confirmation copied (UTF-8, as typed).
    const posting::PostingInputs& ConfirmedInputs() const { return m_inputs; }
    // The run's subject and log (UTF-8), as the last run left them.
    platform::Text Subject() const;
    platform::Text Log() const;

private:
    // The checks of the confirmation: every problem, the required-field texts first, and the first
    // control at fault (0 when none).
    std::vector<std::string> CheckFields(int* firstFault);
    posting::EngineSetup MakeEngineSetup();
    // Makes the engine, lets `prepare` ask its questions and, when the run may go, starts the
    // posting job with the controls of a run. cancelled: the log line when a question was
    // cancelled.
    void StartEngineRun(
        const std::function<posting::PostingEngine::Ready(
            posting::PostingEngine&, posting::PostingQuestions&, std::string*)>& prepare,
        std::string_view cancelled, bool fromJournal);
    void Job(const std::shared_ptr<posting::PostingEngine>& engine, bool fromJournal);
    void EndRunControls();
    void Log(const platform::Text& line);

    DialogSide& m_side;
    const DialogServices& m_services;
    posting::PostingInputs m_inputs;  // the confirmed copies (the window's thread only)
    std::atomic<bool> m_posting{false};
    std::atomic<bool> m_confirmed{false};
    posting::StopSignal m_stop;  // the run's stop: the stop button, closing, the end of the program
    mutable std::mutex m_runMutex;  // guards the two below
    platform::Text m_subject;
    platform::Text m_log;
};

}  // namespace qubopost::ui
