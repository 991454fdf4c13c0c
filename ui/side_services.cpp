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
#include "resources/messages/messages.h"
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
        const messages::Message* text;
    };
    static constexpr Reason kReasons[] = {
        {"login refused", &messages::kUiLoginTestLoginRefused},
        {"login deferred", &messages::kUiLoginTestLoginDeferred},
        {"connection refused", &messages::kUiLoginTestConnectionRefused},
        {"unknown server host", &messages::kUiLoginTestUnknownServerHost},
        {"server unreachable", &messages::kUiLoginTestServerUnreachable},
        {"cannot connect to", &messages::kUiLoginTestCannotConnectTo},
        {"time-out", &messages::kUiLoginTestTimeOut},
        {"certificate not trusted", &messages::kUiLoginTestCertificateNotTrusted},
        {"certificate is for another host", &messages::kUiLoginTestCertificateIsForAnotherHost},
        {"TLS is required", &messages::kUiLoginTestTlsIsRequired},
        {"TLS failure", &messages::kUiLoginTestTlsFailure},
        {"no login offered", &messages::kUiLoginTestNoLoginOffered},
        {"connection closed by the server", &messages::kUiLoginTestConnectionClosedByTheServer},
        {"unexpected reply", &messages::kUiLoginTestUnexpectedReply},
        {"invalid server port", &messages::kUiLoginTestInvalidServerPort},
        {"server needs a port", &messages::kUiLoginTestServerNeedsAPort},
        {"invalid server", &messages::kUiLoginTestInvalidServer},
        {"no server host name", &messages::kUiLoginTestNoServerHostName},
        {"invalid IPv6", &messages::kUiLoginTestInvalidIpv6},
        {"write an IPv6", &messages::kUiLoginTestWriteAnIpv6},
        {"no user name", &messages::kUiLoginTestNoUserName},
        {"out of memory", &messages::kUiLoginTestOutOfMemory},
    };
    std::string text;
    for (const Reason& reason : kReasons) {
        if (error.rfind(reason.prefix, 0) == 0) {
            text = messages::Say(*reason.text);
            break;
        }
    }
    if (text.empty())
        text = messages::Say(result == BSMTP_LOGIN_REFUSED ? *kReasons[0].text
                                                           : messages::kUiLoginTestFailed);
    // The server's own words: the part after "prefix: " when it is a reply ("535 5.7.8 ..."),
    // or the whole text when it is nothing but a reply.
    const size_t colon = error.find(": ");
    const std::string tail = colon == std::string::npos ? error : error.substr(colon + 2);
    if (tail.size() >= 3 && tail[0] >= '2' && tail[0] <= '5' &&
        std::isdigit(static_cast<unsigned char>(tail[1])) &&
        std::isdigit(static_cast<unsigned char>(tail[2])))
        text += messages::Say(messages::kUiServerReply, {tail});
    return text;
}

// "もう一度「保存」を押してください。"
std::string RetryText(const messages::Message& button) {
    return messages::Say(messages::kUiPressAgain, {messages::Say(button)});
}

class KeyRingWait : public view::WaitCancel {
public:
    void Cancel() override { m_cancel.Cancel(); }
    const creds::KeyRingCancel& Token() const { return m_cancel; }

private:
    creds::KeyRingCancel m_cancel;
};

const creds::KeyRingCancel& TokenOf(view::WaitCancel& cancel) {
    return dynamic_cast<KeyRingWait&>(cancel).Token();
}

class KeyRingLogin : public view::SmtpLoginService {
public:
    explicit KeyRingLogin(std::string settingsPath) : m_settingsPath(std::move(settingsPath)) {}

    std::shared_ptr<view::WaitCancel> NewCancel() override {
        return std::make_shared<KeyRingWait>();
    }

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
        outcome.message =
            outcome.ok ? messages::Say(messages::kUiPasswordStored, {host})
                       : messages::Say(messages::kUiPasswordNotStored,
                                       {creds::KeyRingProblemText(
                                           status, error, RetryText(messages::kUiButtonSave))});
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
            outcome.message = messages::Say(messages::kUiPasswordForgotten, {host});
        else if (status == creds::KeyRingStatus::NotFound)
            outcome.message = messages::Say(messages::kUiPasswordNotInKeyRing, {host});
        else
            outcome.message = messages::Say(
                messages::kUiPasswordNotForgotten,
                {creds::KeyRingProblemText(status, error, RetryText(messages::kUiButtonForget))});
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
            const auto status = keyRingAvailable
                                    ? creds::KeyRingLookup(host, &stored, &error, &TokenOf(cancel))
                                    : creds::KeyRingStatus::Unavailable;
            if (status == creds::KeyRingStatus::Cancelled) {
                outcome.cancelled = true;
                return outcome;
            }
            if (status != creds::KeyRingStatus::Ok || (!user.empty() && stored.user != user)) {
                if (status == creds::KeyRingStatus::Ok || status == creds::KeyRingStatus::NotFound)
                    outcome.message = messages::Say(
                        messages::kUiNoPasswordToTest,
                        {host, user.empty() ? std::string(messages::Say(messages::kUiUserNotGiven))
                                            : user});
                else
                    outcome.message =
                        messages::Say(messages::kUiStoredPasswordUnusable,
                                      {creds::KeyRingProblemText(
                                          status, error, RetryText(messages::kUiButtonTest))});
                return outcome;
            }
            outcome.user = stored.user;
            loginPassword = stored.password;
            if (testing) testing();
        }
        const std::string trustFile =
            ReadSetting(m_settingsPath, kProgramSection, "TrustFile").value_or("");
        BSetOption("tls-trust-file", trustFile.c_str());
        const std::string address = Trimmed(server) + ":" + port;
        char error[80] = {};
        const int result =
            BTestLogin(address.c_str(), outcome.user.c_str(), loginPassword.c_str(), error);
        const std::string source(useStored ? messages::Say(messages::kUiUsedStoredPassword) : "");
        outcome.ok = result == 1;
        outcome.message =
            outcome.ok ? messages::Say(messages::kUiLoginTestOk, {source})
                       : messages::Say(messages::kUiLoginTestNotOk,
                                       {source, LoginTestMessage(result, ToUtf8(Text(error)))});
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
            row.ended = run.endedAt ? journal::FormatTime(*run.endedAt)
                                    : std::string(messages::Say(messages::kUiRunNotEnded));
            row.resumable = run.Resumable();
            row.result =
                journal::FormatCounts(run) +
                std::string(row.resumable ? messages::Say(messages::kHistoryResumable) : "");
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
            row.state = messages::Say(
                message.state == journal::MessageState::Sent     ? messages::kHistoryStateSent
                : message.state == journal::MessageState::Failed ? messages::kHistoryFailedLabel
                : message.state == journal::MessageState::Uncertain
                    ? messages::kHistoryStateUncertain
                    : messages::kHistoryPendingLabel);
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
        : m_settingsPath(std::move(settingsPath)),
          m_journalPath(std::move(journalPath)),
          m_login(std::make_shared<KeyRingLogin>(m_settingsPath)) {}

    std::shared_ptr<view::SmtpLoginService> SmtpLogin() override { return m_login; }

    std::unique_ptr<view::HistoryService> OpenHistory(std::string* error) override {
        auto opened = journal::Journal::Open(m_journalPath.empty() ? journal::DefaultJournalPath()
                                                                   : m_journalPath);
        if (!opened) {
            if (error)
                *error = messages::Say(messages::kUiHistoryUnopened, {opened.error().message});
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
            return messages::Say(messages::kUiRankingHostInvalid, {host});
        std::string reason;
        std::optional<std::string> value;
        if (!host.empty()) value = host;
        if (!UpdateSettingsFile(m_settingsPath, {{std::string(kRankingSection), "Host", value}},
                                &reason))
            return messages::Say(messages::kUiSettingsNotSaved, {m_settingsPath, reason});
        return {};
    }

private:
    std::string m_settingsPath;
    std::string m_journalPath;
    std::shared_ptr<KeyRingLogin> m_login;
};

}  // namespace

std::unique_ptr<view::SideServices> MakeSideServices(const std::string& settingsPath,
                                                     const std::string& journalPath) {
    return std::make_unique<Services>(settingsPath, journalPath);
}

}  // namespace qubopost::ui
