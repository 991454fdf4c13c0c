// Posting from the dialog: the confirmation that checks the fields, and the job that
// mails every group of articles to every destination address.
#include <mutex>

#include "platform/encoding.h"
#include "platform/mail_library.h"
#include "posting/posting_run.h"
#include "resources/control_table.h"
#include "resources/strings.h"
#include "ui/qubopost_dlg.h"

void CQubopostDlg::OnConfirmPost() {
    ControlView& view = View();
    m_strFromAddress = view.GetWindowText(IDC_FROM_ADDRESS);
    m_strSmtpServer = view.GetWindowText(IDC_SMTP_SERVER);
    m_strSmtpPort = view.GetWindowText(IDC_SMTP_PORT);
    m_strBlogAddresses = view.GetWindowText(IDC_BLOG_ADDRESSES);
    m_strArticle = view.GetWindowText(IDC_ARTICLE);
    m_strHeader = view.GetWindowText(IDC_HEADER);
    m_strFooter = view.GetWindowText(IDC_FOOTER);

    const std::pair<const Text*, std::string_view> required[] = {
        {&m_strFromAddress, texts::kNoFromAddress},     {&m_strSmtpServer, texts::kNoSmtpServer},
        {&m_strSmtpPort, texts::kNoSmtpPort},           {&m_strBlogAddresses, texts::kNoBlogAddresses},
        {&m_strArticle, texts::kNoArticle},
    };
    bool complete = true;
    for (const auto& [member, message] : required) {
        if (member->IsEmpty()) {
            ShowMessage(message);
            complete = false;
        }
    }
    if (!complete) return;

    const std::string library = m_services.mailLibrary.empty() ? kMailLibraryName : m_services.mailLibrary;
    if (!LoadMailLibrary(library)) {
        ShowMessage(texts::kMailLibraryMissing);
        return;
    }
    view.EnableWindow(IDC_START_POST, true);
}

void CQubopostDlg::OnStartPost() {
    if (m_posting.exchange(true)) return;  // one run at a time
    ControlView& view = View();
    // The run works on its own copies: the fields as the last confirmation read them,
    // the destinations as they stand now.
    PostingInputs inputs{m_strSmtpServer, m_strSmtpPort, m_strFromAddress,
                         view.GetWindowText(IDC_BLOG_ADDRESSES), m_strArticle, m_strHeader, m_strFooter};
    view.EnableWindow(IDC_START_POST, false);
    view.EnableWindow(IDC_CONFIRM_POST, false);
    if (!StartWorkerJob([this, inputs = std::move(inputs)] { PostJob(inputs); })) {
        view.EnableWindow(IDC_START_POST, true);
        view.EnableWindow(IDC_CONFIRM_POST, true);
        m_posting.store(false);
    }
}

void CQubopostDlg::PostJob(PostingInputs inputs) {
    const unsigned char result = RunPosting(inputs);
    m_posting.store(false);
    if (m_jobs.StopRequested()) return;
    View().EnableWindow(IDC_START_POST, true);
    View().EnableWindow(IDC_CONFIRM_POST, true);
    ShowMessage(result == 1 ? texts::kPostingDone : texts::kPostingFailed);
}

namespace {

// Reports a run to the dialog's log field and progress bar.
class DialogPostingEvents : public PostingEvents {
public:
    DialogPostingEvents(ControlView& view, WorkerJobs& jobs, std::chrono::milliseconds pause,
                        std::function<void(const Text&)> log, std::function<void(const Text&)> subject)
        : m_view(view), m_jobs(jobs), m_pause(pause), m_log(std::move(log)), m_subject(std::move(subject)) {}

    void OnRange(int maximum) override {
        m_view.SetProgressRange(IDC_PROGRESS, 0, maximum);
        m_view.SetProgressPos(IDC_PROGRESS, 0);
    }
    void OnProgressStep() override {
        m_view.SetProgressPos(IDC_PROGRESS, m_view.GetProgressPos(IDC_PROGRESS) + 1);
    }
    void OnLogLine(const Text& line) override { m_log(line); }
    void OnSubject(const Text& subject) override { m_subject(subject); }
    bool Pause() override { return m_jobs.Pause(m_pause); }
    bool StopRequested() override { return m_jobs.StopRequested(); }

private:
    ControlView& m_view;
    WorkerJobs& m_jobs;
    std::chrono::milliseconds m_pause;
    std::function<void(const Text&)> m_log;
    std::function<void(const Text&)> m_subject;
};

}  // namespace

void CQubopostDlg::WriteLogLine(const Text& line) {
    // Every line goes on top of what the field shows now, whatever the user typed there.
    ControlView& view = View();
    const Text log = line + "\r\n\r\n" + view.GetWindowText(IDC_LOG);
    {
        std::lock_guard lock(m_runMutex);
        m_strLog = log;
    }
    view.SetWindowText(IDC_LOG, "");
    view.SetWindowText(IDC_LOG, log);
}

unsigned char CQubopostDlg::RunPosting(const PostingInputs& inputs) {
    DialogPostingEvents events(
        View(), m_jobs, m_services.postingPause, [this](const Text& line) { WriteLogLine(line); },
        [this](const Text& subject) {
            std::lock_guard lock(m_runMutex);
            m_strSubject = subject;
        });
    const bool sent = ExecutePosting(inputs, m_services.sendMail, events);
    {
        std::lock_guard lock(m_runMutex);
        m_strLog.Empty();
    }
    return sent ? 1 : 0;
}
