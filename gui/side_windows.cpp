#include "gui/side_windows.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <memory>
#include <thread>
#include <vector>

#include "gui/gui_thread.h"
#include "gui/message_box.h"
#include "gui/qt_text.h"
#include "gui/qubopost_icon.h"

using namespace qubopost::view;

namespace qubopost::gui {

namespace msg = qubopost::messages;

namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

void Inform(QWidget* parent, const QString& text) {
    QMessageBox* box = NewMessageBox(text, parent);
    box->exec();
    delete box;
}

void SetUpWindow(QDialog& window, const QString& title) {
    if (window.parentWidget()) window.setFont(window.parentWidget()->font());
    window.setMinimumWidth(480);
    window.setWindowTitle(title + QStringLiteral(" - Qubopost"));
    window.setWindowIcon(QubopostIcon());
}

}  // namespace

namespace {

// The accessible name of a control from its label's text: without the mnemonic ("(&S)") and
// the colon, as a screen reader should say it.
QString NameOfLabel(QString text) {
    static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)"));
    text.remove(mnemonic);
    text.remove(QLatin1Char('&'));
    while (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xFF1A))) text.chop(1);
    return text.trimmed();
}

// A row of the form with the label as buddy and as the control's accessible name.
void AddNamedRow(QFormLayout* form, const QString& label, QWidget* field,
                 const QString& description = {}) {
    form->addRow(label, field);
    field->setAccessibleName(NameOfLabel(label));
    if (!description.isEmpty()) field->setAccessibleDescription(description);
}

const char* const kWaitingForKeyRing = msg::Say(msg::kGuiWaitingForKeyRing).data();
const char* const kTestingLogin = msg::Say(msg::kGuiTestingLogin).data();

// The SMTP login window. Every key-ring call and the login test run on a thread of their own;
// while one runs the window shows what it waits for, with キャンセル (Esc does the same, and
// closing the window cancels too). What the user typed stays in the fields whatever happens.
class CredentialsWindow : public QDialog {
public:
    CredentialsWindow(QWidget* parent, const std::string& server, const std::string& port,
                      std::shared_ptr<view::SmtpLoginService> login)
        : QDialog(parent), m_port(port), m_login(std::move(login)) {
        SetUpWindow(*this, Qs(msg::kGuiSmtpLoginTitle));
        setObjectName(QStringLiteral("credentials"));
        auto* layout = new QVBoxLayout(this);
        m_intro = new QLabel(Qs(msg::kGuiSmtpLoginIntro), this);
        m_intro->setWordWrap(true);
        m_intro->setObjectName(QStringLiteral("intro"));
        layout->addWidget(m_intro);

        auto* form = new QFormLayout;
        m_serverEdit = new QLineEdit(Q(m_login->HostOf(server)), this);
        m_serverEdit->setObjectName(QStringLiteral("server"));
        m_userEdit = new QLineEdit(this);
        m_userEdit->setObjectName(QStringLiteral("user"));
        m_passwordEdit = new QLineEdit(this);
        m_passwordEdit->setObjectName(QStringLiteral("password"));
        m_passwordEdit->setEchoMode(QLineEdit::Password);
        AddNamedRow(form, Qs(msg::kGuiServerLabel), m_serverEdit, Qs(msg::kGuiServerTip));
        AddNamedRow(form, Qs(msg::kGuiUserLabel), m_userEdit);
        AddNamedRow(form, Qs(msg::kGuiPasswordLabel), m_passwordEdit, Qs(msg::kGuiPasswordTip));
        layout->addLayout(form);

        // What the window waits for, while it waits.
        auto* busyRow = new QHBoxLayout;
        m_status = new QLabel(this);
        m_status->setObjectName(QStringLiteral("status"));
        m_status->setWordWrap(true);
        m_progress = new QProgressBar(this);
        m_progress->setObjectName(QStringLiteral("busy"));
        m_progress->setRange(0, 0);
        m_progress->setTextVisible(false);
        m_progress->setMaximumWidth(120);
        m_progress->setAccessibleName(Qs(msg::kGuiWaitingName));
        m_cancel = new QPushButton(Qs(msg::kUiButtonCancel), this);
        m_cancel->setObjectName(QStringLiteral("cancel"));
        m_cancel->setAutoDefault(false);
        busyRow->addWidget(m_status, 1);
        busyRow->addWidget(m_progress);
        busyRow->addWidget(m_cancel);
        layout->addLayout(busyRow);

        auto* buttons = new QDialogButtonBox(this);
        m_save = buttons->addButton(Qs(msg::kGuiButtonSave), QDialogButtonBox::AcceptRole);
        m_save->setObjectName(QStringLiteral("save"));
        m_forget = buttons->addButton(Qs(msg::kGuiButtonForget), QDialogButtonBox::DestructiveRole);
        m_forget->setObjectName(QStringLiteral("forget"));
        m_test = buttons->addButton(Qs(msg::kGuiButtonTest), QDialogButtonBox::ActionRole);
        m_test->setObjectName(QStringLiteral("test"));
        QPushButton* close =
            buttons->addButton(Qs(msg::kGuiButtonClose), QDialogButtonBox::RejectRole);
        close->setObjectName(QStringLiteral("close"));
        layout->addWidget(buttons);
        // Enter in a field does not store anything by surprise.
        for (QPushButton* button : {m_save, m_forget, m_test, close}) button->setAutoDefault(false);

        connect(m_save, &QPushButton::clicked, this, [this] { Save(); });
        connect(m_forget, &QPushButton::clicked, this, [this] { Forget(); });
        connect(m_test, &QPushButton::clicked, this, [this] { TestLogin(); });
        connect(m_cancel, &QPushButton::clicked, this, [this] { CancelWait(); });
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        SetIdle(QString());
        CheckKeyRing();
    }

    // Closing the window while it waits ends the wait first.
    void reject() override {
        CancelWait();
        QDialog::reject();
    }

protected:
    // Esc while waiting ends the wait and keeps the window (and what was typed in it).
    void keyPressEvent(QKeyEvent* event) override {
        if (m_busy && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            CancelWait();
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }

private:
    // The result of a job, applied on the window's thread when the job is still current.
    using Finish = std::function<void(CredentialsWindow&)>;

    // Tells the window what a job now waits for (from the job's thread).
    using Say = std::function<void(const char* waiting)>;
    using Work = std::function<Finish(view::WaitCancel&, const Say&)>;

    // Runs `work` on a thread of its own, showing `waiting` with キャンセル meanwhile.
    void Start(const char* waiting, Work work) {
        std::shared_ptr<view::WaitCancel> cancel = m_login->NewCancel();
        const unsigned long long job = ++m_job;
        m_current = cancel;
        SetBusy(QString::fromUtf8(waiting));
        std::thread([self = QPointer<CredentialsWindow>(this), work = std::move(work), cancel,
                     job] {
            const Say say = [self, job](const char* now) {
                PostToThreadOf(QCoreApplication::instance(), [self, job, now] {
                    if (self && self->m_job == job) self->m_status->setText(QString::fromUtf8(now));
                });
            };
            Finish finish = work(*cancel, say);
            PostToThreadOf(QCoreApplication::instance(), [self, finish = std::move(finish), job] {
                if (!self || self->m_job != job) return;  // closed, cancelled or superseded
                self->m_current.reset();
                self->SetIdle(QString());
                finish(*self);
            });
        }).detach();
    }

    void CancelWait() {
        if (!m_busy) return;
        if (m_current) m_current->Cancel();
        m_current.reset();
        ++m_job;  // whatever the job still says is not shown
        SetIdle(Qs(msg::kGuiWaitCancelled));
    }

    void SetBusy(const QString& waiting) {
        m_busy = true;
        m_status->setText(waiting);
        m_progress->show();
        m_cancel->show();
        for (QPushButton* button : {m_save, m_forget, m_test}) button->setEnabled(false);
    }

    void SetIdle(const QString& text) {
        m_busy = false;
        m_status->setText(text);
        m_progress->hide();
        m_cancel->hide();
        m_save->setEnabled(m_available);
        m_forget->setEnabled(m_available);
        m_test->setEnabled(true);
    }

    void Inform(const QString& text) { gui::Inform(this, text); }

    std::string Server() const { return m_serverEdit->text().toStdString(); }
    std::string Host() const { return m_login->HostOf(Server()); }

    // Shows what a call did, unless it was cancelled (the window has said so already).
    static Finish Show(const view::SmtpLoginService::Outcome& outcome) {
        return [outcome](CredentialsWindow& window) {
            if (!outcome.cancelled) window.Inform(Q(outcome.message));
        };
    }

    // Whether there is a key ring, and the user stored for the server.
    void CheckKeyRing() {
        std::shared_ptr<view::SmtpLoginService> login = m_login;
        const std::string server = Server();
        Start(kWaitingForKeyRing, [login, server](view::WaitCancel& cancel, const Say&) -> Finish {
            const view::SmtpLoginService::KeyRing state = login->Check(server, cancel);
            return [state](CredentialsWindow& window) {
                window.m_available = state.available;
                window.SetIdle(QString());
                if (!state.available) window.m_intro->setText(Qs(msg::kGuiNoKeyRing));
                if (!state.storedUser.empty() && window.m_userEdit->text().isEmpty())
                    window.m_userEdit->setText(Q(state.storedUser));
            };
        });
    }

    void Save() {
        const std::string server = Server();
        const std::string user = m_userEdit->text().toStdString();
        const std::string password = m_passwordEdit->text().toStdString();
        if (Host().empty() || user.empty()) {
            Inform(Qs(msg::kGuiNeedServerAndUser));
            return;
        }
        if (password.empty()) {
            Inform(Qs(msg::kGuiNeedPassword));
            return;
        }
        std::shared_ptr<view::SmtpLoginService> login = m_login;
        Start(kWaitingForKeyRing,
              [login, server, user, password](view::WaitCancel& cancel, const Say&) -> Finish {
                  const view::SmtpLoginService::Outcome outcome =
                      login->Store(server, user, password, cancel);
                  return [outcome](CredentialsWindow& window) {
                      if (outcome.ok) window.m_passwordEdit->clear();
                      Show(outcome)(window);
                  };
              });
    }

    void Forget() {
        if (Host().empty()) {
            Inform(Qs(msg::kGuiNeedServer));
            return;
        }
        std::shared_ptr<view::SmtpLoginService> login = m_login;
        const std::string server = Server();
        Start(kWaitingForKeyRing, [login, server](view::WaitCancel& cancel, const Say&) -> Finish {
            return Show(login->Forget(server, cancel));
        });
    }

    // Tries the login with the typed password, or with the stored one when the field is empty.
    void TestLogin() {
        const std::string server = m_serverEdit->text().trimmed().toStdString();
        if (Host().empty() || m_port.empty()) {
            Inform(Qs(msg::kGuiNeedServerAndPort));
            return;
        }
        const std::string user = m_userEdit->text().toStdString();
        const std::string typed = m_passwordEdit->text().toStdString();
        const bool useStored = typed.empty();
        if (!useStored && user.empty()) {
            Inform(Qs(msg::kGuiNeedUser));
            return;
        }
        std::shared_ptr<view::SmtpLoginService> login = m_login;
        auto run = [login, server, port = m_port, user, typed, available = m_available](
                       view::WaitCancel& cancel, const Say& say) -> Finish {
            const view::SmtpLoginService::Outcome outcome = login->TestLogin(
                server, port, user, typed, available, cancel, [&say] { say(kTestingLogin); });
            return [outcome, useStored = typed.empty()](CredentialsWindow& window) {
                if (useStored && !outcome.user.empty() && window.m_userEdit->text().isEmpty())
                    window.m_userEdit->setText(Q(outcome.user));
                Show(outcome)(window);
            };
        };
        // Reading the stored password may wait for the key ring; the login itself for the server.
        Start(useStored ? kWaitingForKeyRing : kTestingLogin, std::move(run));
    }

    std::string m_port;
    std::shared_ptr<view::SmtpLoginService> m_login;
    QLabel* m_intro = nullptr;
    QLineEdit* m_serverEdit = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_forget = nullptr;
    QPushButton* m_test = nullptr;
    bool m_available = false;
    bool m_busy = false;
    unsigned long long m_job = 0;
    std::shared_ptr<view::WaitCancel> m_current;
};

}  // namespace

void RunCredentialsWindow(QWidget* parent, const std::string& server, const std::string& port,
                          std::shared_ptr<view::SmtpLoginService> login) {
    CredentialsWindow window(parent, server, port, std::move(login));
    window.exec();
}

void RunRankingWindow(QWidget* parent, view::SideServices& services) {
    const std::string builtInHost = services.BuiltInRankingHost();
    QDialog window(parent);
    SetUpWindow(window, Qs(msg::kGuiRankingHostTitle));
    auto* layout = new QVBoxLayout(&window);
    auto* intro = new QLabel(Qs(msg::kGuiRankingHostIntro, {builtInHost}), &window);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    auto* hostEdit = new QLineEdit(Q(services.RankingHost()), &window);
    hostEdit->setObjectName(QStringLiteral("host"));
    hostEdit->setPlaceholderText(Q(builtInHost));
    AddNamedRow(form, Qs(msg::kGuiHostLabel), hostEdit, Qs(msg::kGuiHostTip));
    layout->addLayout(form);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &window);
    buttons->button(QDialogButtonBox::Save)->setText(Qs(msg::kGuiButtonSave));
    buttons->button(QDialogButtonBox::Cancel)->setText(Qs(msg::kUiButtonCancel));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, [&] {
        const std::string problem =
            services.StoreRankingHost(hostEdit->text().trimmed().toStdString());
        if (!problem.empty()) {
            Inform(&window, Q(problem));
            return;
        }
        window.accept();
    });
    window.exec();
}

namespace {

// A run of the history list that can go on from the journal alone.
constexpr int kResumableRole = Qt::UserRole + 1;
constexpr int kLinkColumn = 5;  // the messages' "投稿のアドレス"

// Shows the history; returns the run whose "再開" was pressed, or 0.
long long ShowHistory(QWidget* parent, view::HistoryService& history, bool canResume) {
    QDialog window(parent);
    SetUpWindow(window, Qs(msg::kGuiHistoryTitle));
    window.setObjectName(QStringLiteral("history"));
    window.setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(&window);
    auto* splitter = new QSplitter(Qt::Vertical, &window);
    // Each list under a label of its own, which is also its name for a screen reader.
    auto* runsPane = new QWidget(splitter);
    auto* runsLayout = new QVBoxLayout(runsPane);
    runsLayout->setContentsMargins(0, 0, 0, 0);
    auto* runsLabel = new QLabel(Qs(msg::kGuiRunsLabel), runsPane);
    auto* runs = new QTreeWidget(runsPane);
    runsLabel->setBuddy(runs);
    runsLayout->addWidget(runsLabel);
    runsLayout->addWidget(runs, 1);
    runs->setAccessibleName(NameOfLabel(runsLabel->text()));
    runs->setAccessibleDescription(Qs(msg::kGuiRunsDescription));
    runs->setObjectName(QStringLiteral("runs"));
    runs->setRootIsDecorated(false);
    runs->setHeaderLabels({Qs(msg::kGuiColumnNumber), Qs(msg::kGuiColumnStarted),
                           Qs(msg::kGuiColumnEnded), Qs(msg::kGuiColumnResult)});
    auto* messagesPane = new QWidget(splitter);
    auto* messagesLayout = new QVBoxLayout(messagesPane);
    messagesLayout->setContentsMargins(0, 0, 0, 0);
    auto* messagesLabel = new QLabel(Qs(msg::kGuiMessagesLabel), messagesPane);
    auto* messages = new QTreeWidget(messagesPane);
    messagesLabel->setBuddy(messages);
    messagesLayout->addWidget(messagesLabel);
    messagesLayout->addWidget(messages, 1);
    messages->setAccessibleName(NameOfLabel(messagesLabel->text()));
    messages->setObjectName(QStringLiteral("messages"));
    messages->setRootIsDecorated(false);
    messages->setHeaderLabels({Qs(msg::kGuiColumnNumber), Qs(msg::kGuiColumnDestination),
                               Qs(msg::kGuiColumnSubject), Qs(msg::kGuiColumnTime),
                               Qs(msg::kGuiColumnResult), Qs(msg::kGuiColumnLink),
                               Qs(msg::kGuiColumnDetail)});
    const std::vector<view::HistoryRun> list = history.Runs(200);
    for (const view::HistoryRun& run : list) {
        auto* item = new QTreeWidgetItem(
            runs, {QString::number(run.id), Q(run.started), Q(run.ended), Q(run.result)});
        item->setData(0, Qt::UserRole, static_cast<qlonglong>(run.id));
        item->setData(0, kResumableRole, run.resumable);
    }
    for (int column = 0; column < 4; ++column) runs->resizeColumnToContents(column);
    QObject::connect(runs, &QTreeWidget::currentItemChanged, messages,
                     [&history, messages](QTreeWidgetItem* item) {
                         messages->clear();
                         if (!item) return;
                         for (const view::HistoryMessage& message :
                              history.Messages(item->data(0, Qt::UserRole).toLongLong())) {
                             auto* row = new QTreeWidgetItem(
                                 messages, {QString::number(message.number), Q(message.destination),
                                            Q(message.subject), Q(message.at), Q(message.state),
                                            Q(message.link), Q(message.detail)});
                             if (!message.link.empty())
                                 row->setToolTip(kLinkColumn, Qs(msg::kGuiLinkTip));
                         }
                         for (int column = 0; column < 6; ++column)
                             messages->resizeColumnToContents(column);
                     });
    layout->addWidget(splitter, 1);
    if (list.empty()) layout->addWidget(new QLabel(Qs(msg::kGuiNoRuns), &window));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &window);
    buttons->button(QDialogButtonBox::Close)->setText(Qs(msg::kGuiButtonClose));
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    long long chosen = 0;
    if (canResume) {
        // Sends the rest of the selected unfinished run, from the journal alone.
        QPushButton* resume =
            buttons->addButton(Qs(msg::kUiButtonResume), QDialogButtonBox::ActionRole);
        resume->setObjectName(QStringLiteral("resume"));
        resume->setToolTip(Qs(msg::kGuiResumeTip));
        auto update = [runs, resume] {
            const QTreeWidgetItem* item = runs->currentItem();
            resume->setEnabled(item && item->data(0, kResumableRole).toBool());
        };
        QObject::connect(runs, &QTreeWidget::currentItemChanged, resume, update);
        update();
        QObject::connect(resume, &QPushButton::clicked, &window, [&window, runs, &chosen] {
            const QTreeWidgetItem* item = runs->currentItem();
            if (!item || !item->data(0, kResumableRole).toBool()) return;
            chosen = item->data(0, Qt::UserRole).toLongLong();
            window.accept();
        });
    }
    // The post a blog made, in the desktop's browser (only web addresses are opened).
    QPushButton* open =
        buttons->addButton(Qs(msg::kGuiButtonOpenPost), QDialogButtonBox::ActionRole);
    open->setObjectName(QStringLiteral("openPost"));
    open->setToolTip(Qs(msg::kGuiOpenPostTip));
    auto linkOf = [messages]() -> QUrl {
        const QTreeWidgetItem* item = messages->currentItem();
        const QUrl url(item ? item->text(kLinkColumn) : QString(), QUrl::StrictMode);
        return url.isValid() && (url.scheme() == QStringLiteral("https") ||
                                 url.scheme() == QStringLiteral("http"))
                   ? url
                   : QUrl();
    };
    auto updateOpen = [open, linkOf] { open->setEnabled(!linkOf().isEmpty()); };
    QObject::connect(messages, &QTreeWidget::currentItemChanged, open, updateOpen);
    updateOpen();
    auto openPost = [&window, linkOf] {
        const QUrl url = linkOf();
        if (url.isEmpty()) return;
        if (!QDesktopServices::openUrl(url))
            Inform(&window, Qs(msg::kGuiBrowserFailed, {url.toString().toStdString()}));
    };
    QObject::connect(open, &QPushButton::clicked, &window, openPost);
    QObject::connect(messages, &QTreeWidget::itemActivated, &window, openPost);
    layout->addWidget(buttons);
    if (runs->topLevelItemCount() > 0) runs->setCurrentItem(runs->topLevelItem(0));
    const QSize available = window.screen()->availableGeometry().size() - QSize(16, 48);
    window.resize(QSize(820, 540).boundedTo(available));
    window.exec();
    return chosen;
}

}  // namespace

void RunHistoryWindow(QWidget* parent, view::SideServices& services,
                      const std::function<void(long long run)>& resume) {
    long long chosen = 0;
    {
        std::string error;
        std::unique_ptr<view::HistoryService> history = services.OpenHistory(&error);
        if (!history) {
            Inform(parent, Q(error));
            return;
        }
        chosen = ShowHistory(parent, *history, static_cast<bool>(resume));
    }
    // The window and its journal are closed before the run goes on.
    if (chosen > 0 && resume) resume(chosen);
}

}  // namespace qubopost::gui
