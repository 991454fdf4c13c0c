#include "platform/qt/side_windows.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "credentials/credentials.h"
#include "journal/history_text.h"
#include "journal/journal.h"
#include "mail/bsmtp.h"
#include "platform/encoding.h"
#include "platform/qt/message_box.h"
#include "platform/qt/qubopost_icon.h"
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

void RunCredentialsWindow(QWidget* parent, const std::string& server, const std::string& port,
                          const std::string& settingsPath) {
    QDialog window(parent);
    SetUpWindow(window, QStringLiteral("SMTP認証の設定"));
    auto* layout = new QVBoxLayout(&window);
    const bool available = creds::KeyRingAvailable();
    auto* intro = new QLabel(
        available ? QStringLiteral("SMTPサーバのユーザー名とパスワードをデスクトップのキーリングに保存します。"
                                   "パスワードは設定ファイルにもログにも残りません。")
                  : QStringLiteral("キーリング（Secret Service）が動いていないため保存できません。"
                                   "パスワードは ~/.netrc に「machine サーバ名 login ユーザー名 password パスワード」の形で"
                                   "書いてください（chmod 600 ~/.netrc）。"),
        &window);
    intro->setWordWrap(true);
    intro->setObjectName(QStringLiteral("intro"));
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    auto* serverEdit = new QLineEdit(Q(HostOf(server)), &window);
    serverEdit->setObjectName(QStringLiteral("server"));
    auto* userEdit = new QLineEdit(&window);
    userEdit->setObjectName(QStringLiteral("user"));
    auto* passwordEdit = new QLineEdit(&window);
    passwordEdit->setObjectName(QStringLiteral("password"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("サーバ(&V):"), serverEdit);
    form->addRow(QStringLiteral("ユーザー名(&U):"), userEdit);
    form->addRow(QStringLiteral("パスワード(&P):"), passwordEdit);
    layout->addLayout(form);
    if (available) {
        creds::Credentials found;
        if (creds::KeyRingLookup(HostOf(server), &found) == creds::KeyRingStatus::Ok) userEdit->setText(Q(found.user));
    }

    auto* buttons = new QDialogButtonBox(&window);
    QPushButton* save = buttons->addButton(QStringLiteral("保存(&S)"), QDialogButtonBox::AcceptRole);
    QPushButton* forget = buttons->addButton(QStringLiteral("削除(&D)"), QDialogButtonBox::DestructiveRole);
    QPushButton* test = buttons->addButton(QStringLiteral("接続テスト(&T)"), QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("閉じる(&C)"), QDialogButtonBox::RejectRole);
    save->setEnabled(available);
    forget->setEnabled(available);
    layout->addWidget(buttons);

    QObject::connect(save, &QPushButton::clicked, &window, [&] {
        const std::string host = HostOf(serverEdit->text().toStdString());
        if (host.empty() || userEdit->text().isEmpty()) {
            Inform(&window, QStringLiteral("サーバとユーザー名を入力してください。"));
            return;
        }
        std::string error;
        const auto status = creds::KeyRingStore(host, userEdit->text().toStdString(),
                                                passwordEdit->text().toStdString(), &error);
        Inform(&window, status == creds::KeyRingStatus::Ok
                            ? QStringLiteral("%1 のパスワードをキーリングに保存しました。").arg(Q(host))
                            : QStringLiteral("キーリングに保存できませんでした。（%1）").arg(Q(error)));
        if (status == creds::KeyRingStatus::Ok) passwordEdit->clear();
    });
    QObject::connect(forget, &QPushButton::clicked, &window, [&] {
        const std::string host = HostOf(serverEdit->text().toStdString());
        std::string error;
        const auto status = creds::KeyRingForget(host, &error);
        Inform(&window, status == creds::KeyRingStatus::Ok
                            ? QStringLiteral("%1 のパスワードをキーリングから削除しました。").arg(Q(host))
                        : status == creds::KeyRingStatus::NotFound
                            ? QStringLiteral("%1 のパスワードはキーリングにありません。").arg(Q(host))
                            : QStringLiteral("キーリングから削除できませんでした。（%1）").arg(Q(error)));
    });
    QObject::connect(test, &QPushButton::clicked, &window, [&] {
        const std::string host = serverEdit->text().toStdString();
        if (HostOf(host).empty() || port.empty()) {
            Inform(&window, QStringLiteral("サーバと、メイン画面の「ポートアドレス」を入力してください。"));
            return;
        }
        char error[80] = {};
        const std::string trustFile = ReadSetting(settingsPath, kProgramSection, "TrustFile").value_or("");
        BSetOption("tls-trust-file", trustFile.c_str());
        window.setCursor(Qt::WaitCursor);
        const int ok = BTestLogin((host + ":" + port).c_str(), userEdit->text().toStdString().c_str(),
                                  passwordEdit->text().toStdString().c_str(), error);
        window.unsetCursor();
        Inform(&window, ok ? QStringLiteral("ログインできました（何も送信していません）。")
                           : QStringLiteral("ログインできませんでした。\n%1").arg(Q(ToUtf8(Text(error)))));
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
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
    form->addRow(QStringLiteral("ホスト(&H):"), hostEdit);
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

// Shows the history; returns the run whose "再開" was pressed, or 0.
long long ShowHistory(QWidget* parent, journal::Journal& history, bool canResume) {
    QDialog window(parent);
    SetUpWindow(window, QStringLiteral("投稿履歴"));
    window.setObjectName(QStringLiteral("history"));
    window.setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(&window);
    auto* splitter = new QSplitter(Qt::Vertical, &window);
    auto* runs = new QTreeWidget(splitter);
    runs->setObjectName(QStringLiteral("runs"));
    runs->setRootIsDecorated(false);
    runs->setHeaderLabels({QStringLiteral("番号"), QStringLiteral("開始"), QStringLiteral("終了"), QStringLiteral("結果")});
    auto* messages = new QTreeWidget(splitter);
    messages->setObjectName(QStringLiteral("messages"));
    messages->setRootIsDecorated(false);
    messages->setHeaderLabels({QStringLiteral("番号"), QStringLiteral("投稿先"), QStringLiteral("件名"),
                               QStringLiteral("時刻"), QStringLiteral("結果"), QStringLiteral("サーバの応答・理由")});
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
            new QTreeWidgetItem(messages, {QString::number(message.number), Q(StoredTextToUtf8(message.destination)),
                                           Q(StoredTextToUtf8(message.subject)),
                                           message.at ? Q(journal::FormatTime(*message.at)) : QString(),
                                           QString::fromUtf8(state), Q(StoredTextToUtf8(message.detail))});
        }
        for (int column = 0; column < 5; ++column) messages->resizeColumnToContents(column);
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
