#include "gui/side_windows.h"

#include <QKeyEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
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
#include <QDesktopServices>
#include <QUrl>
#include <QVBoxLayout>
#include <memory>
#include <thread>
#include <vector>

#include "gui/gui_thread.h"
#include "gui/message_box.h"
#include "gui/qubopost_icon.h"

using namespace qubopost::view;

namespace qubopost::gui {

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
void AddNamedRow(QFormLayout* form, const QString& label, QWidget* field, const QString& description = {}) {
    form->addRow(label, field);
    field->setAccessibleName(NameOfLabel(label));
    if (!description.isEmpty()) field->setAccessibleDescription(description);
}

constexpr const char* kWaitingForKeyRing = "キーリングを待っています…";
constexpr const char* kTestingLogin = "接続を確かめています…";

// The SMTP login window. Every key-ring call and the login test run on a thread of their own;
// while one runs the window shows what it waits for, with キャンセル (Esc does the same, and
// closing the window cancels too). What the user typed stays in the fields whatever happens.
class CredentialsWindow : public QDialog {
  public:
    CredentialsWindow(QWidget* parent, const std::string& server, const std::string& port,
                      std::shared_ptr<view::SmtpLoginService> login)
        : QDialog(parent), port_(port), login_(std::move(login)) {
        SetUpWindow(*this, QStringLiteral("SMTP認証の設定"));
        setObjectName(QStringLiteral("credentials"));
        auto* layout = new QVBoxLayout(this);
        intro_ = new QLabel(QStringLiteral("SMTPサーバのユーザー名とパスワードをデスクトップのキーリングに保存します。"
                                           "パスワードは設定ファイルにもログにも残りません。"),
                            this);
        intro_->setWordWrap(true);
        intro_->setObjectName(QStringLiteral("intro"));
        layout->addWidget(intro_);

        auto* form = new QFormLayout;
        serverEdit_ = new QLineEdit(Q(login_->HostOf(server)), this);
        serverEdit_->setObjectName(QStringLiteral("server"));
        userEdit_ = new QLineEdit(this);
        userEdit_->setObjectName(QStringLiteral("user"));
        passwordEdit_ = new QLineEdit(this);
        passwordEdit_->setObjectName(QStringLiteral("password"));
        passwordEdit_->setEchoMode(QLineEdit::Password);
        AddNamedRow(form, QStringLiteral("サーバ(&V):"), serverEdit_,
                    QStringLiteral("ホスト名だけを入力します（例: smtp.example.jp）。ポートはメイン画面の"
                                   "「ポートアドレス」（1–65535）を使います。"));
        AddNamedRow(form, QStringLiteral("ユーザー名(&U):"), userEdit_);
        AddNamedRow(form, QStringLiteral("パスワード(&P):"), passwordEdit_,
                    QStringLiteral("空欄のまま接続テストをすると、キーリングに保存したパスワードを使います。"));
        layout->addLayout(form);

        // What the window waits for, while it waits.
        auto* busyRow = new QHBoxLayout;
        status_ = new QLabel(this);
        status_->setObjectName(QStringLiteral("status"));
        status_->setWordWrap(true);
        progress_ = new QProgressBar(this);
        progress_->setObjectName(QStringLiteral("busy"));
        progress_->setRange(0, 0);
        progress_->setTextVisible(false);
        progress_->setMaximumWidth(120);
        progress_->setAccessibleName(QStringLiteral("待っている処理"));
        cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
        cancel_->setObjectName(QStringLiteral("cancel"));
        cancel_->setAutoDefault(false);
        busyRow->addWidget(status_, 1);
        busyRow->addWidget(progress_);
        busyRow->addWidget(cancel_);
        layout->addLayout(busyRow);

        auto* buttons = new QDialogButtonBox(this);
        save_ = buttons->addButton(QStringLiteral("保存(&S)"), QDialogButtonBox::AcceptRole);
        save_->setObjectName(QStringLiteral("save"));
        forget_ = buttons->addButton(QStringLiteral("削除(&D)"), QDialogButtonBox::DestructiveRole);
        forget_->setObjectName(QStringLiteral("forget"));
        test_ = buttons->addButton(QStringLiteral("接続テスト(&T)"), QDialogButtonBox::ActionRole);
        test_->setObjectName(QStringLiteral("test"));
        QPushButton* close = buttons->addButton(QStringLiteral("閉じる(&C)"), QDialogButtonBox::RejectRole);
        close->setObjectName(QStringLiteral("close"));
        layout->addWidget(buttons);
        // Enter in a field does not store anything by surprise.
        for (QPushButton* button : {save_, forget_, test_, close}) button->setAutoDefault(false);

        connect(save_, &QPushButton::clicked, this, [this] { Save(); });
        connect(forget_, &QPushButton::clicked, this, [this] { Forget(); });
        connect(test_, &QPushButton::clicked, this, [this] { TestLogin(); });
        connect(cancel_, &QPushButton::clicked, this, [this] { CancelWait(); });
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
        if (busy_ && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
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
        std::shared_ptr<view::WaitCancel> cancel = login_->NewCancel();
        const unsigned long long job = ++job_;
        current_ = cancel;
        SetBusy(QString::fromUtf8(waiting));
        std::thread([self = QPointer<CredentialsWindow>(this), work = std::move(work), cancel, job] {
            const Say say = [self, job](const char* now) {
                PostToThreadOf(QCoreApplication::instance(), [self, job, now] {
                    if (self && self->job_ == job) self->status_->setText(QString::fromUtf8(now));
                });
            };
            Finish finish = work(*cancel, say);
            PostToThreadOf(QCoreApplication::instance(), [self, finish = std::move(finish), job] {
                if (!self || self->job_ != job) return;  // closed, cancelled or superseded
                self->current_.reset();
                self->SetIdle(QString());
                finish(*self);
            });
        }).detach();
    }

    void CancelWait() {
        if (!busy_) return;
        if (current_) current_->Cancel();
        current_.reset();
        ++job_;  // whatever the job still says is not shown
        SetIdle(QStringLiteral("待つのをやめました。入力した内容はそのまま残っています。"));
    }

    void SetBusy(const QString& waiting) {
        busy_ = true;
        status_->setText(waiting);
        progress_->show();
        cancel_->show();
        for (QPushButton* button : {save_, forget_, test_}) button->setEnabled(false);
    }

    void SetIdle(const QString& text) {
        busy_ = false;
        status_->setText(text);
        progress_->hide();
        cancel_->hide();
        save_->setEnabled(available_);
        forget_->setEnabled(available_);
        test_->setEnabled(true);
    }

    void Inform(const QString& text) { gui::Inform(this, text); }

    std::string Server() const { return serverEdit_->text().toStdString(); }
    std::string Host() const { return login_->HostOf(Server()); }

    // Shows what a call did, unless it was cancelled (the window has said so already).
    static Finish Show(const view::SmtpLoginService::Outcome& outcome) {
        return [outcome](CredentialsWindow& window) {
            if (!outcome.cancelled) window.Inform(Q(outcome.message));
        };
    }

    // Whether there is a key ring, and the user stored for the server.
    void CheckKeyRing() {
        std::shared_ptr<view::SmtpLoginService> login = login_;
        const std::string server = Server();
        Start(kWaitingForKeyRing, [login, server](view::WaitCancel& cancel, const Say&) -> Finish {
            const view::SmtpLoginService::KeyRing state = login->Check(server, cancel);
            return [state](CredentialsWindow& window) {
                window.available_ = state.available;
                window.SetIdle(QString());
                if (!state.available)
                    window.intro_->setText(QStringLiteral(
                        "キーリング（Secret Service）が動いていないため保存できません。"
                        "パスワードは ~/.netrc に「machine サーバ名 login ユーザー名 password パスワード」の形で"
                        "書いてください（chmod 600 ~/.netrc）。"));
                if (!state.storedUser.empty() && window.userEdit_->text().isEmpty())
                    window.userEdit_->setText(Q(state.storedUser));
            };
        });
    }

    void Save() {
        const std::string server = Server();
        const std::string user = userEdit_->text().toStdString();
        const std::string password = passwordEdit_->text().toStdString();
        if (Host().empty() || user.empty()) {
            Inform(QStringLiteral("サーバとユーザー名を入力してください。"));
            return;
        }
        if (password.empty()) {
            Inform(QStringLiteral("パスワードを入力してください。"));
            return;
        }
        std::shared_ptr<view::SmtpLoginService> login = login_;
        Start(kWaitingForKeyRing, [login, server, user, password](view::WaitCancel& cancel, const Say&) -> Finish {
            const view::SmtpLoginService::Outcome outcome = login->Store(server, user, password, cancel);
            return [outcome](CredentialsWindow& window) {
                if (outcome.ok) window.passwordEdit_->clear();
                Show(outcome)(window);
            };
        });
    }

    void Forget() {
        if (Host().empty()) {
            Inform(QStringLiteral("サーバを入力してください。"));
            return;
        }
        std::shared_ptr<view::SmtpLoginService> login = login_;
        const std::string server = Server();
        Start(kWaitingForKeyRing, [login, server](view::WaitCancel& cancel, const Say&) -> Finish {
            return Show(login->Forget(server, cancel));
        });
    }

    // Tries the login with the typed password, or with the stored one when the field is empty.
    void TestLogin() {
        const std::string server = serverEdit_->text().trimmed().toStdString();
        if (Host().empty() || port_.empty()) {
            Inform(QStringLiteral("サーバと、メイン画面の「ポートアドレス」を入力してください。"));
            return;
        }
        const std::string user = userEdit_->text().toStdString();
        const std::string typed = passwordEdit_->text().toStdString();
        const bool useStored = typed.empty();
        if (!useStored && user.empty()) {
            Inform(QStringLiteral("ユーザー名を入力してください。"));
            return;
        }
        std::shared_ptr<view::SmtpLoginService> login = login_;
        auto run = [login, server, port = port_, user, typed, available = available_](view::WaitCancel& cancel,
                                                                                      const Say& say) -> Finish {
            const view::SmtpLoginService::Outcome outcome =
                login->TestLogin(server, port, user, typed, available, cancel, [&say] { say(kTestingLogin); });
            return [outcome, useStored = typed.empty()](CredentialsWindow& window) {
                if (useStored && !outcome.user.empty() && window.userEdit_->text().isEmpty())
                    window.userEdit_->setText(Q(outcome.user));
                Show(outcome)(window);
            };
        };
        // Reading the stored password may wait for the key ring; the login itself for the server.
        Start(useStored ? kWaitingForKeyRing : kTestingLogin, std::move(run));
    }

    std::string port_;
    std::shared_ptr<view::SmtpLoginService> login_;
    QLabel* intro_ = nullptr;
    QLineEdit* serverEdit_ = nullptr;
    QLineEdit* userEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* forget_ = nullptr;
    QPushButton* test_ = nullptr;
    bool available_ = false;
    bool busy_ = false;
    unsigned long long job_ = 0;
    std::shared_ptr<view::WaitCancel> current_;
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
    SetUpWindow(window, QStringLiteral("ランキングサービスの設定"));
    auto* layout = new QVBoxLayout(&window);
    auto* intro = new QLabel(QStringLiteral("記事自動生成でランキングページを取得するホストです（ポート番号は「:8080」のように付けます）。"
                                            "空欄にすると既定の %1 を使います。")
                                 .arg(Q(builtInHost)),
                             &window);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    auto* hostEdit = new QLineEdit(Q(services.RankingHost()), &window);
    hostEdit->setObjectName(QStringLiteral("host"));
    hostEdit->setPlaceholderText(Q(builtInHost));
    AddNamedRow(form, QStringLiteral("ホスト(&H):"), hostEdit,
                QStringLiteral("ホスト名、またはホスト名:ポート番号（ポート: 1–65535）。空欄なら既定のホスト"));
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, &window);
    buttons->button(QDialogButtonBox::Save)->setText(QStringLiteral("保存(&S)"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, [&] {
        const std::string problem = services.StoreRankingHost(hostEdit->text().trimmed().toStdString());
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
    SetUpWindow(window, QStringLiteral("投稿履歴"));
    window.setObjectName(QStringLiteral("history"));
    window.setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(&window);
    auto* splitter = new QSplitter(Qt::Vertical, &window);
    // Each list under a label of its own, which is also its name for a screen reader.
    auto* runsPane = new QWidget(splitter);
    auto* runsLayout = new QVBoxLayout(runsPane);
    runsLayout->setContentsMargins(0, 0, 0, 0);
    auto* runsLabel = new QLabel(QStringLiteral("投稿の記録(&L):"), runsPane);
    auto* runs = new QTreeWidget(runsPane);
    runsLabel->setBuddy(runs);
    runsLayout->addWidget(runsLabel);
    runsLayout->addWidget(runs, 1);
    runs->setAccessibleName(NameOfLabel(runsLabel->text()));
    runs->setAccessibleDescription(QStringLiteral("番号、開始、終了、結果の列。選ぶと下にその回のメールが並びます"));
    runs->setObjectName(QStringLiteral("runs"));
    runs->setRootIsDecorated(false);
    runs->setHeaderLabels({QStringLiteral("番号"), QStringLiteral("開始"), QStringLiteral("終了"), QStringLiteral("結果")});
    auto* messagesPane = new QWidget(splitter);
    auto* messagesLayout = new QVBoxLayout(messagesPane);
    messagesLayout->setContentsMargins(0, 0, 0, 0);
    auto* messagesLabel = new QLabel(QStringLiteral("選んだ回のメール(&M):"), messagesPane);
    auto* messages = new QTreeWidget(messagesPane);
    messagesLabel->setBuddy(messages);
    messagesLayout->addWidget(messagesLabel);
    messagesLayout->addWidget(messages, 1);
    messages->setAccessibleName(NameOfLabel(messagesLabel->text()));
    messages->setObjectName(QStringLiteral("messages"));
    messages->setRootIsDecorated(false);
    messages->setHeaderLabels({QStringLiteral("番号"), QStringLiteral("投稿先"), QStringLiteral("件名"),
                               QStringLiteral("時刻"), QStringLiteral("結果"), QStringLiteral("投稿のアドレス"),
                               QStringLiteral("サーバの応答・理由")});
    const std::vector<view::HistoryRun> list = history.Runs(200);
    for (const view::HistoryRun& run : list) {
        auto* item = new QTreeWidgetItem(runs, {QString::number(run.id), Q(run.started), Q(run.ended), Q(run.result)});
        item->setData(0, Qt::UserRole, static_cast<qlonglong>(run.id));
        item->setData(0, kResumableRole, run.resumable);
    }
    for (int column = 0; column < 4; ++column) runs->resizeColumnToContents(column);
    QObject::connect(runs, &QTreeWidget::currentItemChanged, messages, [&history, messages](QTreeWidgetItem* item) {
        messages->clear();
        if (!item) return;
        for (const view::HistoryMessage& message : history.Messages(item->data(0, Qt::UserRole).toLongLong())) {
            auto* row = new QTreeWidgetItem(messages, {QString::number(message.number), Q(message.destination),
                                                       Q(message.subject), Q(message.at), Q(message.state),
                                                       Q(message.link), Q(message.detail)});
            if (!message.link.empty()) row->setToolTip(kLinkColumn, QStringLiteral("ダブルクリックか「記事を開く」でブラウザで開きます"));
        }
        for (int column = 0; column < 6; ++column) messages->resizeColumnToContents(column);
    });
    layout->addWidget(splitter, 1);
    if (list.empty()) layout->addWidget(new QLabel(QStringLiteral("まだ投稿の記録はありません。"), &window));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &window);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる(&C)"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    long long chosen = 0;
    if (canResume) {
        // Sends the rest of the selected unfinished run, from the journal alone.
        QPushButton* resume = buttons->addButton(QStringLiteral("再開(&R)"), QDialogButtonBox::ActionRole);
        resume->setObjectName(QStringLiteral("resume"));
        resume->setToolTip(QStringLiteral("選んだ未完了の投稿の続きを送ります（送信済みのメールは送りません）"));
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
    QPushButton* open = buttons->addButton(QStringLiteral("記事を開く(&O)"), QDialogButtonBox::ActionRole);
    open->setObjectName(QStringLiteral("openPost"));
    open->setToolTip(QStringLiteral("選んだメッセージでブログが作った記事を、ブラウザで開きます"));
    auto linkOf = [messages]() -> QUrl {
        const QTreeWidgetItem* item = messages->currentItem();
        const QUrl url(item ? item->text(kLinkColumn) : QString(), QUrl::StrictMode);
        return url.isValid() && (url.scheme() == QStringLiteral("https") || url.scheme() == QStringLiteral("http"))
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
            Inform(&window, QStringLiteral("ブラウザを開けませんでした。記事のアドレスは ") + url.toString() +
                                   QStringLiteral(" です。コピーしてブラウザに貼り付けてください。"));
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

void RunHistoryWindow(QWidget* parent, view::SideServices& services, const std::function<void(long long run)>& resume) {
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
