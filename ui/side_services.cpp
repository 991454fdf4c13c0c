#include "ui/side_services.h"

#include <cctype>
#include <utility>
#include <vector>

#include "article/ranking_request.h"
#include "credentials/credentials.h"
#include "journal/history_text.h"
#include "journal/journal.h"
#include "mail/bsmtp.h"
#include "platform/encoding.h"
#include "settings/ranking_host.h"
#include "settings/settings_file.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::article;
using namespace qubopost::view;

namespace qubopost::ui {

namespace creds = qubopost::credentials;
namespace journal = qubopost::journal;

namespace {

// The Japanese message for BTestLogin's result and error text (the server's reply, where the
// error carries one, follows the explanation).
std::string LoginTestMessage(int result, const std::string& error) {
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
    std::string text;
    for (const Reason& reason : kReasons) {
        if (error.rfind(reason.prefix, 0) == 0) {
            text = reason.text;
            break;
        }
    }
    if (text.empty())
        text = result == BSMTP_LOGIN_REFUSED ? kReasons[0].text
                                             : "ログインを確かめられませんでした。サーバ名・ポート・ユーザー名を"
                                               "確かめて、もう一度お試しください。";
    // The server's own words: the part after "prefix: " when it is a reply ("535 5.7.8 ..."),
    // or the whole text when it is nothing but a reply.
    const size_t colon = error.find(": ");
    const std::string tail = colon == std::string::npos ? error : error.substr(colon + 2);
    if (tail.size() >= 3 && tail[0] >= '2' && tail[0] <= '5' && std::isdigit(static_cast<unsigned char>(tail[1])) &&
        std::isdigit(static_cast<unsigned char>(tail[2])))
        text += "\nサーバの応答: " + tail;
    return text;
}

// "もう一度「保存」を押してください。"
std::string RetryText(const std::string& button) { return "もう一度「" + button + "」を押してください。"; }

class KeyRingWait : public view::WaitCancel {
public:
    void Cancel() override { m_cancel.Cancel(); }
    const creds::KeyRingCancel& Token() const { return m_cancel; }

private:
    creds::KeyRingCancel m_cancel;
};

const creds::KeyRingCancel& TokenOf(view::WaitCancel& cancel) { return dynamic_cast<KeyRingWait&>(cancel).Token(); }

class KeyRingLogin : public view::SmtpLoginService {
public:
    explicit KeyRingLogin(std::string settingsPath) : m_settingsPath(std::move(settingsPath)) {}

    std::shared_ptr<view::WaitCancel> NewCancel() override { return std::make_shared<KeyRingWait>(); }

    std::string HostOf(const std::string& server) override {
        std::string host = server.rfind("smtps://", 0) == 0 ? server.substr(8) : server;
        while (!host.empty() && (host.back() == ' ' || host.back() == '\t')) host.pop_back();
        while (!host.empty() && (host.front() == ' ' || host.front() == '\t')) host.erase(0, 1);
        return host;
    }

    KeyRing Check(const std::string& server, view::WaitCancel& cancel) override {
        const std::string host = creds::NormaliseHost(HostOf(server));
        KeyRing state;
        state.available = creds::KeyRingAvailable(&TokenOf(cancel));
        if (state.available && !host.empty()) {
            // The list needs no unlocking: opening the window never prompts.
            std::vector<creds::KeyRingEntry> entries;
            if (creds::KeyRingList(&entries, nullptr, &TokenOf(cancel)) == creds::KeyRingStatus::Ok)
                for (const auto& entry : entries)
                    if (entry.host == host) state.storedUser = entry.user;
        }
        return state;
    }

    Outcome Store(const std::string& server, const std::string& user, const std::string& password,
                  view::WaitCancel& cancel) override {
        const std::string host = HostOf(server);
        std::string error;
        const auto status = creds::KeyRingStore(host, user, password, &error, &TokenOf(cancel));
        Outcome outcome;
        outcome.ok = status == creds::KeyRingStatus::Ok;
        outcome.cancelled = status == creds::KeyRingStatus::Cancelled;
        outcome.message = outcome.ok ? host + " のパスワードをキーリングに保存しました。"
                                     : "パスワードを保存できませんでした。" +
                                           creds::KeyRingProblemText(status, error, RetryText("保存")) +
                                           "入力した内容はそのまま残っています。";
        return outcome;
    }

    Outcome Forget(const std::string& server, view::WaitCancel& cancel) override {
        const std::string host = HostOf(server);
        std::string error;
        const auto status = creds::KeyRingForget(host, &error, &TokenOf(cancel));
        Outcome outcome;
        outcome.ok = status == creds::KeyRingStatus::Ok;
        outcome.cancelled = status == creds::KeyRingStatus::Cancelled;
        if (outcome.ok)
            outcome.message = host + " のパスワードをキーリングから削除しました。";
        else if (status == creds::KeyRingStatus::NotFound)
            outcome.message = host + " のパスワードはキーリングにありません。";
        else
            outcome.message =
                "パスワードを削除できませんでした。" + creds::KeyRingProblemText(status, error, RetryText("削除"));
        return outcome;
    }

    Outcome TestLogin(const std::string& server, const std::string& port, const std::string& user,
                      const std::string& password, bool keyRingAvailable, view::WaitCancel& cancel,
                      const std::function<void()>& testing) override {
        const std::string host = HostOf(server);
        const bool useStored = password.empty();
        Outcome outcome;
        outcome.user = user;
        std::string loginPassword = password;
        if (useStored) {
            creds::Credentials stored;
            std::string error;
            const auto status = keyRingAvailable ? creds::KeyRingLookup(host, &stored, &error, &TokenOf(cancel))
                                                 : creds::KeyRingStatus::Unavailable;
            if (status == creds::KeyRingStatus::Cancelled) {
                outcome.cancelled = true;
                return outcome;
            }
            if (status != creds::KeyRingStatus::Ok || (!user.empty() && stored.user != user)) {
                if (status == creds::KeyRingStatus::Ok || status == creds::KeyRingStatus::NotFound)
                    outcome.message = "パスワード欄が空で、キーリングにも " + host + " のユーザー " +
                                      (user.empty() ? std::string("（未入力）") : user) +
                                      " のパスワードがありません。パスワードを入力してから「接続テスト」を押してください。";
                else
                    outcome.message = "パスワード欄が空なので保存したパスワードを使おうとしましたが、" +
                                      creds::KeyRingProblemText(status, error, RetryText("接続テスト"));
                return outcome;
            }
            outcome.user = stored.user;
            loginPassword = stored.password;
            if (testing) testing();
        }
        const std::string trustFile = ReadSetting(m_settingsPath, kProgramSection, "TrustFile").value_or("");
        BSetOption("tls-trust-file", trustFile.c_str());
        const std::string address = Trimmed(server) + ":" + port;
        char error[80] = {};
        const int result = BTestLogin(address.c_str(), outcome.user.c_str(), loginPassword.c_str(), error);
        const std::string source = useStored ? "（キーリングに保存したパスワードを使いました）" : "";
        outcome.ok = result == 1;
        outcome.message = outcome.ok ? "ログインできました" + source + "。何も送信していません。"
                                     : "ログインできませんでした" + source + "。\n" +
                                           LoginTestMessage(result, ToUtf8(Text(error)));
        return outcome;
    }

private:
    static std::string Trimmed(const std::string& text) {
        const size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos) return {};
        return text.substr(first, text.find_last_not_of(" \t") - first + 1);
    }

    std::string m_settingsPath;
};

class JournalHistory : public view::HistoryService {
public:
    explicit JournalHistory(journal::Journal journal) : m_journal(std::move(journal)) {}

    std::vector<view::HistoryRun> Runs(int limit) override {
        std::vector<view::HistoryRun> rows;
        auto list = m_journal.History(limit);
        if (!list) return rows;
        for (const journal::RunSummary& run : list.value()) {
            view::HistoryRun row;
            row.id = run.id;
            row.started = journal::FormatTime(run.startedAt);
            row.ended = run.endedAt ? journal::FormatTime(*run.endedAt) : "（中断）";
            row.resumable = run.Resumable();
            row.result = journal::FormatCounts(run) + (row.resumable ? "（再開できます）" : "");
            rows.push_back(std::move(row));
        }
        return rows;
    }

    std::vector<view::HistoryMessage> Messages(long long run) override {
        std::vector<view::HistoryMessage> rows;
        auto records = m_journal.Messages(run);
        if (!records) return rows;
        for (const journal::MessageRecord& message : records.value()) {
            view::HistoryMessage row;
            row.number = message.number;
            row.destination = StoredTextToUtf8(message.destination);
            row.subject = StoredTextToUtf8(message.subject);
            row.at = message.at ? journal::FormatTime(*message.at) : std::string();
            row.state = message.state == journal::MessageState::Sent        ? "送信済み"
                        : message.state == journal::MessageState::Failed    ? "失敗"
                        : message.state == journal::MessageState::Uncertain ? "不明（要確認）"
                                                                            : "未送信";
            row.link = message.link;
            row.detail = StoredTextToUtf8(message.detail);
            rows.push_back(std::move(row));
        }
        return rows;
    }

private:
    journal::Journal m_journal;
};

class Services : public view::SideServices {
public:
    Services(std::string settingsPath, std::string journalPath)
        : m_settingsPath(std::move(settingsPath)), m_journalPath(std::move(journalPath)), m_login(std::make_shared<KeyRingLogin>(m_settingsPath)) {}

    std::shared_ptr<view::SmtpLoginService> SmtpLogin() override { return m_login; }

    std::unique_ptr<view::HistoryService> OpenHistory(std::string* error) override {
        auto opened = journal::Journal::Open(m_journalPath.empty() ? journal::DefaultJournalPath() : m_journalPath);
        if (!opened) {
            if (error) *error = "投稿履歴を開けませんでした。\n" + opened.error().message;
            return nullptr;
        }
        return std::make_unique<JournalHistory>(std::move(opened.value()));
    }

    std::string RankingHost() override {
        return ReadSetting(m_settingsPath, kRankingSection, "Host").value_or("");
    }

    std::string BuiltInRankingHost() override { return std::string(::RankingHost()); }

    std::string StoreRankingHost(const std::string& host) override {
        if (!host.empty() && !IsValidRankingHost(host))
            return "ホスト「" + host + "」が正しくありません。ホスト名か、ホスト名:ポート番号で入力してください。";
        std::string reason;
        std::optional<std::string> value;
        if (!host.empty()) value = host;
        if (!UpdateSettingsFile(m_settingsPath, {{std::string(kRankingSection), "Host", value}}, &reason))
            return "設定ファイルを保存できませんでした。\n" + m_settingsPath + "\n（" + reason + "）";
        return {};
    }

private:
    std::string m_settingsPath;
    std::string m_journalPath;
    std::shared_ptr<KeyRingLogin> m_login;
};

}  // namespace

std::unique_ptr<view::SideServices> MakeSideServices(const std::string& settingsPath, const std::string& journalPath) {
    return std::make_unique<Services>(settingsPath, journalPath);
}

}  // namespace qubopost::ui
