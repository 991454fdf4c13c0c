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
#include <cctype>
#include <memory>
#include <thread>
#include <vector>

#include "credentials/credentials.h"
#include "journal/history_text.h"
#include "journal/journal.h"
#include "mail/bsmtp.h"
#include "platform/encoding.h"
#include "gui/gui_thread.h"
#include "gui/message_box.h"
#include "gui/qubopost_icon.h"
#include "settings/ranking_host.h"
#include "settings/settings_file.h"

namespace creds = qubopost::credentials;
namespace journal = qubopost::journal;

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

// The host part of the SMTP field: no "smtps://" prefix, no port.
std::string HostOf(const std::string& server) {
    std::string host = server.rfind("smtps://", 0) == 0 ? server.substr(8) : server;
    while (!host.empty() && (host.back() == ' ' || host.back() == '\t')) host.pop_back();
    while (!host.empty() && (host.front() == ' ' || host.front() == '\t')) host.erase(0, 1);
    return host;
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

// The Japanese message for BTestLogin's result and error text (the server's reply, where the
// error carries one, follows the explanation).
QString LoginTestMessage(int result, const std::string& error) {
    struct Reason {
        const char* prefix;
        const char* text;
    };
    static constexpr Reason kReasons[] = {
        {"login refused", "サーバがユーザー名かパスワードを受け付けませんでした。ユーザー名とパスワードを確かめて、"
                          "パスワードを入力し直してください。"},
        {"login deferred", "サーバが今はログインを受け付けていません（一時的な状態です）。しばらく待ってから、"
                           "もう一度お試しください。"},
        {"connection refused", "SMTPサーバに接続を断られました。サーバ名と、メイン画面の「ポートアドレス」が"
                               "正しいか確かめてください。"},
        {"unknown server host", "SMTPサーバが見つかりません。サーバ名のつづりを確かめてください。"},
        {"server unreachable", "SMTPサーバまでの経路がありません。ネットワークにつながっているか確かめてください。"},
        {"cannot connect to", "SMTPサーバに接続できませんでした。ネットワークの接続と、サーバ名・ポートを"
                              "確かめてください。"},
        {"time-out", "SMTPサーバから時間内に応答がありませんでした。ポート番号が正しいか、ファイアウォールで"
                     "止められていないか確かめてください。"},
        {"certificate not trusted", "SMTPサーバの証明書を信頼できませんでした。サーバ名が正しいか確かめてください。"
                                    "独自の認証局の証明書を使うサーバなら、設定ファイルの TrustFile に"
                                    "その認証局の証明書を指定してください。"},
        {"certificate is for another host", "SMTPサーバの証明書が別のホスト名のものでした。プロバイダーの案内にある"
                                            "とおりのサーバ名を入力してください。"},
        {"TLS is required", "このサーバは暗号化（STARTTLS）に対応していないため、パスワードを送りませんでした。"
                            "暗号化に対応したポート（587 や 465）を使ってください。"},
        {"TLS failure", "暗号化（TLS）の接続に失敗しました。ポート番号を確かめてください（465 は最初から暗号化、"
                        "587 は STARTTLS です）。"},
        {"no login offered", "このサーバはログイン（AUTH）を受け付けていません。ログインなしで送れるサーバなら"
                             "この設定は要りません。そうでなければサーバ名とポートを確かめてください。"},
        {"connection closed by the server", "SMTPサーバが途中で接続を切りました。しばらく待ってから、"
                                            "もう一度お試しください。"},
        {"unexpected reply", "SMTPサーバから思いがけない応答がありました。SMTPのポートを指定しているか"
                             "確かめてください。"},
        {"invalid server port", "ポート番号が正しくありません。メイン画面の「ポートアドレス」に 1〜65535 の"
                                "番号を入力してください。"},
        {"server needs a port", "ポート番号がありません。メイン画面の「ポートアドレス」に 1〜65535 の番号を"
                                "入力してください。"},
        {"invalid server", "サーバ名が正しくありません。ホスト名（smtp.example.jp など）だけを入力してください。"},
        {"no server host name", "サーバ名を入力してください。"},
        {"invalid IPv6", "サーバの IPv6 アドレスが正しくありません。"},
        {"write an IPv6", "IPv6 アドレスのサーバは [アドレス] の形で入力してください。"},
        {"no user name", "ユーザー名を入力してください。"},
        {"out of memory", "メモリが足りません。ほかのアプリを閉じてから、もう一度お試しください。"},
    };
    QString text;
    for (const Reason& reason : kReasons) {
        if (error.rfind(reason.prefix, 0) == 0) {
            text = QString::fromUtf8(reason.text);
            break;
        }
    }
    if (text.isEmpty())
        text = result == BSMTP_LOGIN_REFUSED ? QString::fromUtf8(kReasons[0].text)
                                             : QStringLiteral("ログインを確かめられませんでした。サーバ名・ポート・ユーザー名を"
                                                              "確かめて、もう一度お試しください。");
    // The server's own words: the part after "prefix: " when it is a reply ("535 5.7.8 ..."),
    // or the whole text when it is nothing but a reply.
    std::string reply;
    const size_t colon = error.find(": ");
    const std::string tail = colon == std::string::npos ? error : error.substr(colon + 2);
    if (tail.size() >= 3 && tail[0] >= '2' && tail[0] <= '5' && std::isdigit(static_cast<unsigned char>(tail[1])) &&
        std::isdigit(static_cast<unsigned char>(tail[2])))
        reply = tail;
    if (!reply.empty()) text += QStringLiteral("\nサーバの応答: %1").arg(Q(reply));
    return text;
}

constexpr const char* kWaitingForKeyRing = "キーリングを待っています…";
constexpr const char* kTestingLogin = "接続を確かめています…";
constexpr const char* kRetryButton = "もう一度「%1」を押してください。";

// The SMTP login window. Every key-ring call and the login test run on a thread of their own;
// while one runs the window shows what it waits for, with キャンセル (Esc does the same, and
// closing the window cancels too). What the user typed stays in the fields whatever happens.
class CredentialsWindow : public QDialog {
  public:
    CredentialsWindow(QWidget* parent, const std::string& server, const std::string& port,
                      const std::string& settingsPath)
        : QDialog(parent), port_(port), settingsPath_(settingsPath) {
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
        serverEdit_ = new QLineEdit(Q(HostOf(server)), this);
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
    using Work = std::function<Finish(const creds::KeyRingCancel&, const Say&)>;

    // Runs `work` on a thread of its own, showing `waiting` with キャンセル meanwhile.
    void Start(const char* waiting, Work work) {
        auto cancel = std::make_shared<creds::KeyRingCancel>();
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

    void Inform(const QString& text) { ::Inform(this, text); }

    std::string Host() const { return HostOf(serverEdit_->text().toStdString()); }

    // Whether there is a key ring, and the user stored for the server.
    void CheckKeyRing() {
        const std::string host = creds::NormaliseHost(Host());
        Start(kWaitingForKeyRing, [host](const creds::KeyRingCancel& cancel, const Say&) -> Finish {
            const bool available = creds::KeyRingAvailable(&cancel);
            std::string user;
            if (available && !host.empty()) {
                // The list needs no unlocking: opening the window never prompts.
                std::vector<creds::KeyRingEntry> entries;
                if (creds::KeyRingList(&entries, nullptr, &cancel) == creds::KeyRingStatus::Ok)
                    for (const auto& entry : entries)
                        if (entry.host == host) user = entry.user;
            }
            return [available, user](CredentialsWindow& window) {
                window.available_ = available;
                window.SetIdle(QString());
                if (!available)
                    window.intro_->setText(QStringLiteral(
                        "キーリング（Secret Service）が動いていないため保存できません。"
                        "パスワードは ~/.netrc に「machine サーバ名 login ユーザー名 password パスワード」の形で"
                        "書いてください（chmod 600 ~/.netrc）。"));
                if (!user.empty() && window.userEdit_->text().isEmpty()) window.userEdit_->setText(Q(user));
            };
        });
    }

    void Save() {
        const std::string host = Host();
        const std::string user = userEdit_->text().toStdString();
        const std::string password = passwordEdit_->text().toStdString();
        if (host.empty() || user.empty()) {
            Inform(QStringLiteral("サーバとユーザー名を入力してください。"));
            return;
        }
        if (password.empty()) {
            Inform(QStringLiteral("パスワードを入力してください。"));
            return;
        }
        Start(kWaitingForKeyRing, [host, user, password](const creds::KeyRingCancel& cancel, const Say&) -> Finish {
            std::string error;
            const auto status = creds::KeyRingStore(host, user, password, &error, &cancel);
            return [status, error, host](CredentialsWindow& window) {
                if (status == creds::KeyRingStatus::Ok) {
                    window.passwordEdit_->clear();
                    window.Inform(QStringLiteral("%1 のパスワードをキーリングに保存しました。").arg(Q(host)));
                    return;
                }
                window.Inform(QStringLiteral("パスワードを保存できませんでした。") +
                              Q(creds::KeyRingProblemText(status, error, RetryText(QStringLiteral("保存")))) +
                              QStringLiteral("入力した内容はそのまま残っています。"));
            };
        });
    }

    void Forget() {
        const std::string host = Host();
        if (host.empty()) {
            Inform(QStringLiteral("サーバを入力してください。"));
            return;
        }
        Start(kWaitingForKeyRing, [host](const creds::KeyRingCancel& cancel, const Say&) -> Finish {
            std::string error;
            const auto status = creds::KeyRingForget(host, &error, &cancel);
            return [status, error, host](CredentialsWindow& window) {
                if (status == creds::KeyRingStatus::Ok)
                    window.Inform(QStringLiteral("%1 のパスワードをキーリングから削除しました。").arg(Q(host)));
                else if (status == creds::KeyRingStatus::NotFound)
                    window.Inform(QStringLiteral("%1 のパスワードはキーリングにありません。").arg(Q(host)));
                else
                    window.Inform(QStringLiteral("パスワードを削除できませんでした。") +
                                  Q(creds::KeyRingProblemText(status, error, RetryText(QStringLiteral("削除")))));
            };
        });
    }

    // Tries the login with the typed password, or with the stored one when the field is empty.
    void TestLogin() {
        const std::string server = serverEdit_->text().trimmed().toStdString();
        const std::string host = Host();
        if (host.empty() || port_.empty()) {
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
        const std::string trustFile = ReadSetting(settingsPath_, kProgramSection, "TrustFile").value_or("");
        const std::string address = server + ":" + port_;
        const bool available = available_;
        auto run = [address, user, typed, trustFile, host, useStored, available](const creds::KeyRingCancel& cancel,
                                                                                  const Say& say) -> Finish {
            std::string loginUser = user;
            std::string password = typed;
            if (useStored) {
                creds::Credentials stored;
                std::string error;
                const auto status = available ? creds::KeyRingLookup(host, &stored, &error, &cancel)
                                              : creds::KeyRingStatus::Unavailable;
                if (status == creds::KeyRingStatus::Cancelled) return [](CredentialsWindow&) {};
                if (status != creds::KeyRingStatus::Ok || (!user.empty() && stored.user != user)) {
                    QString text;
                    if (status == creds::KeyRingStatus::Ok || status == creds::KeyRingStatus::NotFound)
                        text = QStringLiteral("パスワード欄が空で、キーリングにも %1 のユーザー %2 のパスワードがありません。"
                                              "パスワードを入力してから「接続テスト」を押してください。")
                                   .arg(Q(host), Q(user.empty() ? std::string("（未入力）") : user));
                    else
                        text = QStringLiteral("パスワード欄が空なので保存したパスワードを使おうとしましたが、") +
                               Q(creds::KeyRingProblemText(status, error, RetryText(QStringLiteral("接続テスト"))));
                    return [text](CredentialsWindow& window) { window.Inform(text); };
                }
                loginUser = stored.user;
                password = stored.password;
                say(kTestingLogin);
            }
            BSetOption("tls-trust-file", trustFile.c_str());
            char error[80] = {};
            const int result = BTestLogin(address.c_str(), loginUser.c_str(), password.c_str(), error);
            const std::string reason = ToUtf8(Text(error));
            return [result, reason, useStored, loginUser](CredentialsWindow& window) {
                if (useStored && window.userEdit_->text().isEmpty()) window.userEdit_->setText(Q(loginUser));
                const QString source = useStored ? QStringLiteral("（キーリングに保存したパスワードを使いました）")
                                                 : QString();
                if (result == 1)
                    window.Inform(QStringLiteral("ログインできました%1。何も送信していません。").arg(source));
                else
                    window.Inform(QStringLiteral("ログインできませんでした%1。\n").arg(source) +
                                  LoginTestMessage(result, reason));
            };
        };
        // Reading the stored password may wait for the key ring; the login itself for the server.
        Start(useStored ? kWaitingForKeyRing : kTestingLogin, std::move(run));
    }

    static std::string RetryText(const QString& button) {
        return QString::fromUtf8(kRetryButton).arg(button).toStdString();
    }

    std::string port_;
    std::string settingsPath_;
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
    std::shared_ptr<creds::KeyRingCancel> current_;
};

}  // namespace

void RunCredentialsWindow(QWidget* parent, const std::string& server, const std::string& port,
                          const std::string& settingsPath) {
    CredentialsWindow window(parent, server, port, settingsPath);
    window.exec();
}

void RunRankingWindow(QWidget* parent, const std::string& settingsPath, const std::string& builtInHost) {
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
    auto* hostEdit = new QLineEdit(Q(ReadSetting(settingsPath, kRankingSection, "Host").value_or("")), &window);
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
        const std::string host = hostEdit->text().trimmed().toStdString();
        if (!host.empty() && !IsValidRankingHost(host)) {
            Inform(&window, QStringLiteral("ホスト「%1」が正しくありません。ホスト名か、ホスト名:ポート番号で入力してください。")
                                .arg(Q(host)));
            return;
        }
        std::string reason;
        std::optional<std::string> value;
        if (!host.empty()) value = host;
        if (!UpdateSettingsFile(settingsPath, {{std::string(kRankingSection), "Host", value}}, &reason)) {
            Inform(&window, QStringLiteral("設定ファイルを保存できませんでした。\n%1\n（%2）").arg(Q(settingsPath), Q(reason)));
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
long long ShowHistory(QWidget* parent, journal::Journal& history, bool canResume) {
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
    auto list = history.History(200);
    if (list) {
        for (const journal::RunSummary& run : list.value()) {
            auto* item = new QTreeWidgetItem(
                runs, {QString::number(run.id), Q(journal::FormatTime(run.startedAt)),
                       run.endedAt ? Q(journal::FormatTime(*run.endedAt)) : QStringLiteral("（中断）"),
                       Q(journal::FormatCounts(run)) + (run.Resumable() ? QStringLiteral("（再開できます）") : QString())});
            item->setData(0, Qt::UserRole, static_cast<qlonglong>(run.id));
            item->setData(0, kResumableRole, run.Resumable());
        }
    }
    for (int column = 0; column < 4; ++column) runs->resizeColumnToContents(column);
    QObject::connect(runs, &QTreeWidget::currentItemChanged, messages, [&history, messages](QTreeWidgetItem* item) {
        messages->clear();
        if (!item) return;
        auto records = history.Messages(item->data(0, Qt::UserRole).toLongLong());
        if (!records) return;
        for (const journal::MessageRecord& message : records.value()) {
            const char* state = message.state == journal::MessageState::Sent     ? "送信済み"
                                : message.state == journal::MessageState::Failed ? "失敗"
                                : message.state == journal::MessageState::Uncertain ? "不明（要確認）"
                                                                                    : "未送信";
            auto* row = new QTreeWidgetItem(
                messages, {QString::number(message.number), Q(StoredTextToUtf8(message.destination)),
                           Q(StoredTextToUtf8(message.subject)),
                           message.at ? Q(journal::FormatTime(*message.at)) : QString(), QString::fromUtf8(state),
                           Q(message.link), Q(StoredTextToUtf8(message.detail))});
            if (!message.link.empty()) row->setToolTip(kLinkColumn, QStringLiteral("ダブルクリックか「記事を開く」でブラウザで開きます"));
        }
        for (int column = 0; column < 6; ++column) messages->resizeColumnToContents(column);
    });
    layout->addWidget(splitter, 1);
    if (!list || list.value().empty()) layout->addWidget(new QLabel(QStringLiteral("まだ投稿の記録はありません。"), &window));
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

void RunHistoryWindow(QWidget* parent, const std::string& journalPath,
                      const std::function<void(long long run)>& resume) {
    long long chosen = 0;
    {
        auto opened = journal::Journal::Open(journalPath);
        if (!opened) {
            Inform(parent, QStringLiteral("投稿履歴を開けませんでした。\n%1").arg(Q(opened.error().message)));
            return;
        }
        chosen = ShowHistory(parent, opened.value(), static_cast<bool>(resume));
    }
    // The window and its journal are closed before the run goes on.
    if (chosen > 0 && resume) resume(chosen);
}
