#include "ui/qubopost_dlg.h"

#include "ui/side_services.h"

#include "platform/encoding.h"
#include "platform/field_text.h"
#include "resources/control_table.h"
#include "resources/messages/messages.h"
#include "resources/strings.h"
#include "settings/settings_file.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::posting;
using namespace qubopost::view;

namespace qubopost::ui {

CQubopostDlg::CQubopostDlg(DialogServices services)
    : m_services(std::move(services)), m_iconId(IDR_MAINFRAME), m_jobs(m_services.startThread) {}

CQubopostDlg::~CQubopostDlg() {
    m_draft.reset();
    StopPosting();
    m_jobs.RequestStop();
    m_fetcher.Cancel();
    m_jobs.JoinAll();
}

void CQubopostDlg::Attach(view::ControlView* view) { m_view.store(view); }

void CQubopostDlg::ShowMessage(std::string_view utf8) { View().MessageBoxUtf8(std::string(utf8)); }

Text CQubopostDlg::WriteLogLine(const Text& line) {
    // Every line (UTF-8) goes on top of what the field shows now, whatever the user typed
    // there, every character kept.
    view::ControlView& view = View();
    Text log = line + "\r\n\r\n" + Text(view.GetWindowTextUtf8(IDC_LOG));
    view.SetWindowTextUtf8(IDC_LOG, "");
    view.SetWindowTextUtf8(IDC_LOG, log.Bytes());
    return log;
}

std::string CQubopostDlg::SettingsPath() { return m_services.settingsPath; }

std::unique_ptr<view::SideServices> CQubopostDlg::MakeSideServices() {
    return ui::MakeSideServices(SettingsPath(), JournalPath());
}

void CQubopostDlg::OnResumeRun(long long run) {
    m_poster.ResumeStored(run > 0 ? std::optional<qubopost::journal::RunId>(run) : std::nullopt);
}

bool CQubopostDlg::DraftPosting() { return ReadDraftSetting(m_services.settingsPath); }

bool CQubopostDlg::SetDraftPosting(bool on) {
    std::string reason;
    if (UpdateSettingsFile(m_services.settingsPath,
                           {{std::string(kProgramSection), std::string(kDraftKey), on ? "1" : "0"}},
                           &reason))
        return true;
    ShowMessage(messages::Say(messages::kUiDraftSettingNotSaved, {reason}));
    return false;
}

void CQubopostDlg::OnFieldEdited(int id) {
    if (id == IDC_ARTICLE && m_draft) m_draft->Changed();
    m_poster.OnFieldEdited(id);
}

bool CQubopostDlg::OnInitDialog() {
    view::ControlView& view = View();
    const Text about = LoadString(IDS_ABOUTBOX);
    if (!about.IsEmpty()) view.AppendAboutMenuItem(about);
    view.SetIcon(m_iconId);
    LoadSettings();
    view.SetWindowText(IDC_CATEGORY, Sjis(texts::kCategoryAll));
    view.SetCheck(IDC_KIND_DOWNLOAD, true);
    view.SetCheck(IDC_KIND_MAILMAG, false);
    view.SetCheck(IDC_KIND_GOODS, false);
    view.SetCheck(IDC_RANK_MONTHLY, true);
    view.SetCheck(IDC_RANK_DAILY, false);
    view.SetCheck(IDC_RANK_PICKUP, false);
    view.EnableWindow(IDC_START_POST, false);
    // Focus starts where the user has something to fill in: the first empty field of
    // 基本設定, else the article.
    int focus = IDC_ARTICLE;
    for (int id : {IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT}) {
        if (view.GetWindowText(id).IsEmpty()) {
            focus = id;
            break;
        }
    }
    view.SetFocus(focus);

    // The article of the last session, kept as a draft: never lost to Close or a crash.
    if (!m_services.draftPath.empty())
        m_draft = std::make_unique<ArticleDraft>(
            m_services.draftPath, [this] { return View().GetWindowTextUtf8(IDC_ARTICLE); });
    if (const std::optional<std::string> draft = m_draft ? m_draft->Load() : std::nullopt) {
        if (view.GetWindowTextUtf8(IDC_ARTICLE).empty()) {
            view.SetWindowTextUtf8(IDC_ARTICLE, *draft);
            WriteLogLine(Text(messages::Say(messages::kUiDraftRestored, {m_draft->Path()})));
        }
    }
    // A run stopped, closed or killed half way: offered once, "あとで" by default.
    m_poster.OfferUnfinishedRuns();
    return true;
}

void CQubopostDlg::EndDraft() {
    if (!m_draft) return;
    std::string error;
    if (!m_draft->Flush(&error))
        ShowMessage(messages::Say(messages::kUiDraftNotSaved, {m_draft->Path(), error}));
    m_draft.reset();
}

void CQubopostDlg::OnCommand(int id) {
    switch (id) {
        case IDC_GENERATE:
            m_fetcher.Start();
            break;
        case IDC_CLEAR:
            OnClear();
            break;
        case IDC_START_POST:
            m_poster.StartOrStop();
            break;
        case IDC_CONFIRM_POST:
            m_poster.Confirm();
            break;
        case IDCANCEL:
            OnCancel();
            break;
        default:
            break;
    }
}

bool CQubopostDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0) != IDM_ABOUTBOX) return false;
    View().RunAboutBox();
    return true;
}

void CQubopostDlg::OnClear() {
    view::ControlView& view = View();
    if (!view.AskYesNo(Sjis(messages::Say(messages::kUiClearQuestion)), false)) return;
    m_poster.Forget();
    for (int id : {IDC_AFFILIATE_ID, IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT})
        view.SetWindowText(id, "");
    view.SetWindowText(IDC_CATEGORY, Sjis(texts::kCategoryAll));
    for (int id : {IDC_BLOG_ADDRESSES, IDC_HEADER, IDC_FOOTER, IDC_ARTICLE, IDC_LOG})
        view.SetWindowText(id, "");
    if (m_draft) m_draft->Clear();
    view.SetCheck(IDC_KIND_DOWNLOAD, true);
    view.SetCheck(IDC_KIND_MAILMAG, false);
    view.SetCheck(IDC_KIND_GOODS, false);
    view.SetCheck(IDC_RANK_MONTHLY, true);
    view.SetCheck(IDC_RANK_DAILY, false);
    view.SetCheck(IDC_RANK_PICKUP, false);
    view.EnableWindow(IDC_START_POST, false);
}

bool CQubopostDlg::OnEscape() {
    // Esc during a fetch ends the fetch, not the window (the article field stays as it was).
    if (m_poster.Running() || !m_fetcher.Cancel()) return false;
    View().SetStatusText(Sjis(messages::Say(messages::kUiFetchCancelling)));
    return true;
}

void CQubopostDlg::OnCancel() {
    if (m_poster.Running()) {
        if (!View().AskYesNo(Sjis(messages::Say(messages::kUiCloseWhilePosting)), false)) return;
        StopPosting();
    }
    SaveSettings();
    EndDraft();
    View().EndDialog(IDCANCEL);
}

void CQubopostDlg::StopJobs() {
    EndDraft();
    StopPosting();
    m_jobs.RequestStop();
    m_fetcher.Cancel();
}

bool CQubopostDlg::JobsRunning() { return m_jobs.Running() > 0; }

bool CQubopostDlg::StartWorkerJob(std::function<void()> job) {
    if (m_jobs.Start(std::move(job))) return true;
    ShowMessage(texts::kThreadCreateError);
    return false;
}

}  // namespace qubopost::ui
