// The main dialog's logic: initialisation, Clear, Close, the About box, the settings file
// and the article's draft. The article generation and the posting are controllers of their
// own (FetchController, PostingController). It reaches its window only through the
// ControlView.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/text.h"
#include "ui/article_draft.h"
#include "ui/dialog_services.h"
#include "ui/dialog_side.h"
#include "ui/fetch_controller.h"
#include "ui/posting_controller.h"
#include "ui/worker_jobs.h"
#include "view/control_view.h"
#include "view/dialog_handlers.h"

namespace qubopost::ui {

class CQubopostDlg : public view::DialogHandlers, private DialogSide {
public:
    explicit CQubopostDlg(DialogServices services = {});
    ~CQubopostDlg() override;
    CQubopostDlg(const CQubopostDlg&) = delete;
    CQubopostDlg& operator=(const CQubopostDlg&) = delete;

    // The window's side.
    void Attach(view::ControlView* view) override;
    bool OnInitDialog() override;
    void OnCommand(int id) override;
    bool OnSysCommand(unsigned id) override;
    void OnCancel() override;
    bool OnEscape() override;
    void StopJobs() override;
    bool JobsRunning() override;
    void OnFieldEdited(int id) override;
    std::string LoadWindowState() override;
    std::string SettingsPath();
    // The journal the dialog posts with: DialogServices::journalPath, else the user's.
    std::string JournalPath() { return m_poster.JournalPath(); }
    std::unique_ptr<view::SideServices> MakeSideServices() override;
    void OnResumeRun(long long run) override;
    bool DraftPosting() override;
    bool SetDraftPosting(bool on) override;
    void SaveWindowState(const std::string& state) override;

    // Buttons.
    void OnClear();

    // Settings file.
    void LoadSettings();
    bool SaveSettings();

    // Writes the article's draft now and stops its writer (the window is going).
    void EndDraft();

    FetchController& Fetcher() { return m_fetcher; }
    PostingController& Poster() { return m_poster; }
    bool Posting() const { return m_poster.Running(); }
    void StopPosting() { m_poster.Stop(); }
    // The run's subject and log (UTF-8), as the last run left them.
    platform::Text Subject() const { return m_poster.Subject(); }
    platform::Text Log() const { return m_poster.Log(); }

private:
    // What the controllers may use of the dialog.
    view::ControlView& View() override { return *m_view.load(); }
    void ShowMessage(std::string_view utf8) override;
    platform::Text WriteLogLine(const platform::Text& line) override;
    bool StartWorkerJob(std::function<void()> job) override;
    bool Closing() const override { return m_jobs.StopRequested(); }
    bool PostingRunning() const override { return m_poster.Running(); }

    DialogServices m_services;
    std::atomic<view::ControlView*> m_view{nullptr};
    int m_iconId;
    std::unique_ptr<ArticleDraft> m_draft;  // the article field's draft file

    // Settings: the fields' texts as loaded (UTF-8), so that only changed keys are written.
    std::mutex m_settingsMutex;
    std::map<std::string, std::string> m_loadedSettings;
    bool m_settingsReadable = true;
    std::string m_windowState;
    FetchController m_fetcher{*this, m_services};
    PostingController m_poster{*this, m_services};
    WorkerJobs m_jobs;  // last: jobs end before the members they use go away
};

}  // namespace qubopost::ui
