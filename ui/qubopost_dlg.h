// The main dialog's logic: its members, initialisation, Clear, Close, the About box,
// the settings, the two worker jobs (article generation and posting) and the posting
// confirmation. It reaches its window only through the ControlView.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <vector>
#include <mutex>
#include <optional>
#include <string>

#include "platform/control_view.h"
#include "platform/dialog_handlers.h"
#include "platform/http.h"
#include "platform/text.h"
#include "posting/posting_engine.h"
#include "posting/posting_run.h"
#include "posting/stop_signal.h"
#include "ui/article_draft.h"
#include "ui/worker_jobs.h"

// What the dialog needs from outside; tests replace the slow or remote parts.
struct DialogServices {
    std::string settingsPath;  // the settings file
    HttpOptions http;          // time-outs and size limit of the ranking request
    // The ranking page's encoding and the program's, as ICU names them.
    std::string pageEncoding = "EUC-JP";
    std::string programEncoding = "windows-31j";
    // A test's mail call instead of the mail library's (the window passes none: it posts
    // through the library's BSendMailNotify, with the settings file's trust file).
    MailSender sendMail;                    // the classic call
    StoppableMailSender sendMailStoppable;  // a call with a stop flag
    std::string journalPath;          // empty: the user's history.sqlite3
    std::string draftPath;            // the article's draft file (the program: DefaultDraftPath()); empty: none
    std::string mailLibrary;          // empty: the mail library's own name
    std::chrono::milliseconds postingPause{60000};
    WorkerJobs::ThreadStarter startThread;  // empty: a thread of its own per job
};

class CQubopostDlg : public DialogHandlers {
public:
    explicit CQubopostDlg(DialogServices services = {});
    ~CQubopostDlg() override;
    CQubopostDlg(const CQubopostDlg&) = delete;
    CQubopostDlg& operator=(const CQubopostDlg&) = delete;

    // The window's side.
    void Attach(ControlView* view) override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    bool OnSysCommand(unsigned id) override;
    void OnCancel() override;
    void StopJobs() override;
    bool JobsRunning() override;
    void OnFieldEdited(int id) override;
    std::string LoadWindowState() override;
    std::string SettingsPath() override;
    // The journal the dialog posts with: DialogServices::journalPath, else the user's.
    std::string JournalPath() override;
    void OnResumeRun(long long run) override;
    // The ranking service's host: the settings file's, else the one built in.
    std::string RankingHostInUse() const;
    void SaveWindowState(const std::string& state) override;

    // Buttons.
    void OnGenerate();
    void OnClear();
    void OnConfirmPost();
    void OnStartPost();
    // Finishes an unfinished run from the journal alone (`run`, or the newest that can be
    // resumed), as OnStartPost runs one: the same questions, job and controls. The fields,
    // the article among them, are neither read nor changed.
    void ResumeStoredRun(std::optional<qubopost::journal::RunId> run);

    // Settings file.
    void LoadSettings();
    bool SaveSettings();

    // Starts a worker job; shows the thread error and returns false when none can start.
    bool StartWorkerJob(std::function<void()> job);

    // Article generation (on the fetch job's thread).
    void FetchJob();
    Text BuildRankingUrl();
    Text GetProductKind();
    Text GetAffiliateId();
    Text GetCategoryCode();
    Text GetRankingKind();
    int RankingRequest(const Text& url);
    Text ArticleGenerator(const Text& page);

    // Posting (on the posting job's thread).
    // fromJournal: the run was taken back from the journal alone (ResumeStoredRun).
    void PostJob(const std::shared_ptr<PostingEngine>& engine, bool fromJournal = false);
    unsigned char RunPosting(const std::shared_ptr<PostingEngine>& engine, bool fromJournal = false);
    // Stops the run going: no further message, a transfer before its final "." aborted.
    void StopPosting();
    // Writes the article's draft now and stops its writer (the window is going).
    void EndDraft();
    bool Posting() const { return m_posting.load(); }
    // Whether the last confirmation still stands (no field it copied changed since).
    bool Confirmed() const { return m_confirmed.load(); }

    // Copies of the dialog's fields (UTF-8, as typed), taken by the posting confirmation.
    Text m_strFromAddress;
    Text m_strSmtpServer;
    Text m_strSmtpPort;
    Text m_strBlogAddresses;
    Text m_strArticle;
    Text m_strHeader;
    Text m_strFooter;
    int m_hIcon;

    // The run's subject and log (UTF-8), as the last run left them.
    Text Subject() const;
    Text Log() const;

private:
    ControlView& View() { return *m_view.load(); }
    void ShowMessage(std::string_view utf8);
    void WriteLogLine(const Text& line);
    // The checks of the posting confirmation: every problem, the classic texts first,
    // and the first control at fault (0 when none).
    std::vector<std::string> CheckPostingFields(int* firstFault);
    void EndRunControls();
    // What the engine is given, the same for a run of the fields and a resumed one.
    EngineSetup MakeEngineSetup();
    // Makes the engine, lets `prepare` ask its questions and, when the run may go, starts the
    // posting job with the controls of a run. cancelled: the log line when a question was
    // cancelled.
    void StartEngineRun(
        const std::function<PostingEngine::Ready(PostingEngine&, PostingQuestions&, std::string*)>& prepare,
        std::string_view cancelled, bool fromJournal);
    // At start: offers the unfinished runs of the journal that can be resumed (no network).
    void OfferUnfinishedRuns();

    DialogServices m_services;
    std::atomic<ControlView*> m_view{nullptr};
    mutable std::mutex m_runMutex;  // guards the two members below
    Text m_strSubject;
    Text m_strLog;
    std::string m_fetchError;  // why the last fetch failed (English, the transfer's own text)
    std::atomic<bool> m_posting{false};
    std::atomic<bool> m_confirmed{false};
    StopSignal m_stop;  // the run's stop: the stop button, closing, the end of the program
    std::unique_ptr<ArticleDraft> m_draft;  // the article field's draft file

    // Settings: the fields' texts as loaded (UTF-8), so that only changed keys are written.
    std::mutex m_settingsMutex;
    std::map<std::string, std::string> m_loadedSettings;
    bool m_settingsReadable = true;
    std::string m_windowState;
    WorkerJobs m_jobs;  // last: jobs end before the members they use go away
};
