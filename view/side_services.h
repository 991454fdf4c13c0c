// What the small windows of the context menu (SMTP認証の設定, ランキングサービスの設定,
// 投稿履歴) ask of the program: the key ring, the login test, the ranking host in the settings
// file and the posting journal. The window only shows and asks; every text here is UTF-8 and
// ready to show (Japanese, saying what to do).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qubopost::view {

// Ends a call that waits for the key ring or a server, from another thread.
class WaitCancel {
public:
    virtual ~WaitCancel() = default;
    virtual void Cancel() = 0;
};

// The SMTP login: every call but NewCancel may wait (for the key ring, its unlock prompt or the
// server) and is made off the window's thread; each ends at once when its WaitCancel is
// cancelled. `server` is the server field as typed ("smtps://" and blanks allowed).
class SmtpLoginService {
public:
    struct KeyRing {
        bool available = false;  // a Secret Service answers
        std::string storedUser;  // the user stored for the server, "" = none
    };
    struct Outcome {
        bool ok = false;         // it did what was asked
        bool cancelled = false;  // ended by its WaitCancel: nothing to show
        std::string message;     // what happened and what to do
        std::string user;        // the login test's user (the stored one when the field was empty)
    };

    virtual ~SmtpLoginService() = default;
    virtual std::shared_ptr<WaitCancel> NewCancel() = 0;
    // The host part of the server field, as the key ring keeps it.
    virtual std::string HostOf(const std::string& server) = 0;
    virtual KeyRing Check(const std::string& server, WaitCancel& cancel) = 0;
    virtual Outcome Store(const std::string& server, const std::string& user,
                          const std::string& password, WaitCancel& cancel) = 0;
    virtual Outcome Forget(const std::string& server, WaitCancel& cancel) = 0;
    // Connects, logs in and quits, sending nothing. An empty `password` uses the stored one (when
    // `keyRingAvailable`); `testing` is called when the stored password has been read and the
    // server is next.
    virtual Outcome TestLogin(const std::string& server, const std::string& port,
                              const std::string& user, const std::string& password,
                              bool keyRingAvailable, WaitCancel& cancel,
                              const std::function<void()>& testing) = 0;
};

// One run of the posting journal as the history lists it.
struct HistoryRun {
    long long id = 0;
    std::string started;
    std::string ended;   // "（中断）" when the run did not end
    std::string result;  // the counts, and whether it can be resumed
    bool resumable = false;
};

// One message of a run as the history lists it.
struct HistoryMessage {
    int number = 0;
    std::string destination;
    std::string subject;
    std::string at;
    std::string state;
    std::string link;  // the post's address a blog gave, "" for mail
    std::string detail;
};

// The posting journal, open for reading while the history window shows it.
class HistoryService {
public:
    virtual ~HistoryService() = default;
    // The newest runs first.
    virtual std::vector<HistoryRun> Runs(int limit) = 0;
    virtual std::vector<HistoryMessage> Messages(long long run) = 0;
};

class SideServices {
public:
    virtual ~SideServices() = default;
    // Shared: a call may still be going on a worker thread when its window has closed.
    virtual std::shared_ptr<SmtpLoginService> SmtpLogin() = 0;
    // The journal the window posts with; null with `error` (what to do) when it can't be opened.
    virtual std::unique_ptr<HistoryService> OpenHistory(std::string* error) = 0;
    // [Ranking] Host= of the settings file ("" = the built-in host), and the built-in host.
    virtual std::string RankingHost() = 0;
    virtual std::string BuiltInRankingHost() = 0;
    // Checks and stores the ranking host ("" = back to the built-in one); "" when stored, else
    // what went wrong and what to do.
    virtual std::string StoreRankingHost(const std::string& host) = 0;
};

}  // namespace qubopost::view
