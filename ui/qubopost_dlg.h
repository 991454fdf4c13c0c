// The main dialog's logic: its members, initialisation, Clear, Close, the About box,
// the settings, the two worker jobs (article generation and posting) and the posting
// confirmation. It reaches its window only through the ControlView.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>

#include "platform/control_view.h"
#include "platform/dialog_handlers.h"
#include "platform/http.h"
#include "platform/text.h"
#include "posting/posting_run.h"
#include "ui/worker_jobs.h"

// What the dialog needs from outside; tests replace the slow or remote parts.
struct DialogServices {
    std::string settingsPath;  // the settings file
    HttpOptions http;          // time-outs and size limit of the ranking request
    // The ranking page's encoding and the program's, as ICU names them.
    std::string pageEncoding = "EUC-JP";
    std::string programEncoding = "windows-31j";
    MailSender sendMail;              // empty: the mail library's BSendMail
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

    // Buttons.
    void OnGenerate();
    void OnClear();
    void OnConfirmPost();
    void OnStartPost();

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
    Text ArticleGenerator(Text page);

    // Posting (on the posting job's thread).
    void PostJob(PostingInputs inputs);
    unsigned char RunPosting(const PostingInputs& inputs);

    // Copies of the dialog's fields, taken by the posting confirmation.
    Text m_strFromAddress;
    Text m_strSmtpServer;
    Text m_strSmtpPort;
    Text m_strBlogAddresses;
    Text m_strArticle;
    Text m_strHeader;
    Text m_strFooter;
    int m_hIcon;

    // The run's subject and log, as the last run left them.
    Text Subject() const;
    Text Log() const;

private:
    ControlView& View() { return *m_view.load(); }
    void ShowMessage(std::string_view utf8);
    void WriteLogLine(const Text& line);

    DialogServices m_services;
    std::atomic<ControlView*> m_view{nullptr};
    mutable std::mutex m_runMutex;  // guards the two members below
    Text m_strSubject;
    Text m_strLog;
    std::atomic<bool> m_posting{false};
    WorkerJobs m_jobs;  // last: jobs end before the members they use go away
};
