#include "mail/smtp_session.h"

#include <curl/curl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "mail/error_text.h"
#include "mail/resolve.h"

namespace qubopost::mail {
namespace {

using Clock = std::chrono::steady_clock;

// How often the transfer loop looks at the stop flag and the idle time.
constexpr int kPollMs = 50;
// After the end of data has been committed, a stop waits this long for the server's answer
// once noticed. While libcurl waits for that answer it looks at the stop flag about once a second
// (through CheckProgress), so the whole wait stays within 3 seconds of the stop.
constexpr auto kStopGrace = std::chrono::seconds(2);

// X509_V_ERR_HOSTNAME_MISMATCH and X509_V_ERR_IP_ADDRESS_MISMATCH of OpenSSL.
constexpr long kVerifyHostMismatch = 62;
constexpr long kVerifyIpMismatch = 64;

struct Options {
    std::string trustFile;
    long connectTimeoutMs = kDefaultConnectTimeoutMs;
    long idleTimeoutMs = kDefaultIdleTimeoutMs;
};

std::mutex optionsMutex;
Options& SharedOptions() {
    static Options options;
    return options;
}

Options CurrentOptions() {
    std::lock_guard lock(optionsMutex);
    return SharedOptions();
}

void InitCurl() {
    // The program may also have initialised libcurl; the library counts the calls.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool ParseMilliseconds(std::string_view text, long fallback, long* value) {
    if (text.empty()) {
        *value = fallback;
        return true;
    }
    long result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        result = result * 10 + (c - '0');
        if (result > 24L * 3600 * 1000) return false;
    }
    if (result <= 0) return false;
    *value = result;
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

int ReplyCode(std::string_view reply) {
    if (reply.size() < 3) return 0;
    int code = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (reply[i] < '0' || reply[i] > '9') return 0;
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

// What the callbacks and the transfer loop share during one conversation. Everything runs on
// the caller's thread: libcurl calls back from inside curl_multi_perform.
struct Transfer {
    std::string_view message;
    size_t sentBytes = 0;
    const SendHooks* hooks = nullptr;
    // libcurl has written the whole message and asked for more: the read callback answers
    // "end of file" and libcurl writes the final dot next. Before this the dot cannot have gone
    // out; the hooks' beforeEnd has been called exactly when this is true.
    bool endCommitted = false;
    int answerToEnd = 0;  // the code of the last complete reply that came after that, or 0
    ServerReplies replies;
    Clock::time_point lastActivity = Clock::now();
    std::chrono::milliseconds idleLimit{kDefaultIdleTimeoutMs};
    bool idleExpired = false;

    const int* stop = nullptr;
    bool stopSeen = false;  // noticed after the end of data was committed
    Clock::time_point stopSeenAt{};
    bool stopped = false;     // the transfer was ended before the end of data was committed
    bool stopGaveUp = false;  // stopped waiting for the answer after the end of data

    bool inAuth = false;  // the commands of a login are under way
    int authReply = 0;    // the code of the server's last reply to them
    bool authAccepted = false;

    std::vector<curl_socket_t> sockets;
    // The only addresses a connection may go to (what ResolveHost found for the server).
    const std::vector<std::string>* route = nullptr;
    bool offRoute = false;  // libcurl went to connect elsewhere, and was refused a socket

    bool StopRequested() const { return stop && __atomic_load_n(stop, __ATOMIC_ACQUIRE) != 0; }

    // Ends the connection under libcurl's feet: whatever it does next fails, and nothing more
    // reaches the server (in particular not the final dot).
    void Cut() {
        for (curl_socket_t socket : sockets) shutdown(socket, SHUT_RDWR);
    }

    // The stop flag and the idle time; true when the transfer is to end now.
    bool CheckLimits() {
        const Clock::time_point now = Clock::now();
        if (StopRequested()) {
            if (!endCommitted) {
                stopped = true;
                return true;
            }
            if (!stopSeen) {
                stopSeen = true;
                stopSeenAt = now;
            }
            if (now - stopSeenAt >= kStopGrace) {
                stopGaveUp = true;
                return true;
            }
        }
        if (now - lastActivity >= idleLimit) {
            idleExpired = true;
            return true;
        }
        return false;
    }
};

// libcurl asks for the next piece of the message only once it has written the previous one to
// the connection, and after the last piece it asks once more: the answer 0 (end of file) makes
// it write the final dot ("\r\n.\r\n" or ".\r\n") right after this call returns. That call is
// the moment the end of data is committed. (libcurl asks that last time only while it does not
// know the message's size, which is why CURLOPT_INFILESIZE is not given: with it, libcurl ends
// the data by its own count and writes the dot without asking.)
size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    if (!transfer->endCommitted && transfer->StopRequested()) {
        transfer->stopped = true;
        return CURL_READFUNC_ABORT;
    }
    const size_t room = size * count;
    const size_t left = transfer->message.size() - transfer->sentBytes;
    if (left == 0) {
        if (!transfer->endCommitted) {
            transfer->endCommitted = true;
            if (transfer->hooks && transfer->hooks->beforeEnd)
                transfer->hooks->beforeEnd(transfer->hooks->context);
            // The caller's time is not the server's silence.
            transfer->lastActivity = Clock::now();
        }
        return 0;
    }
    const size_t chunk = left < room ? left : room;
    std::memcpy(buffer, transfer->message.data() + transfer->sentBytes, chunk);
    transfer->sentBytes += chunk;
    return chunk;
}

// Sees every line the server sends, and notes that something moved. Of the lines sent to the
// server only the command verbs are looked at; none is kept, as one of them may carry the
// password.
int WatchConversation(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::string_view text(data, size);
    switch (type) {
        case CURLINFO_HEADER_IN: {
            transfer->replies.Feed(text);
            transfer->lastActivity = Clock::now();
            const int code = ReplyCode(text);
            const bool lastLine = code != 0 && (text.size() < 4 || text[3] != '-');
            if (lastLine && transfer->endCommitted) transfer->answerToEnd = code;
            if (lastLine && transfer->inAuth) {
                transfer->authReply = code;
                if (code >= 200 && code < 300) transfer->authAccepted = true;
            }
            break;
        }
        case CURLINFO_HEADER_OUT:
            if (text == "QUIT\r\n") transfer->replies.Freeze();
            if (StartsWith(text, "AUTH ")) {
                transfer->inAuth = true;
            } else {
                for (std::string_view verb : {"EHLO ", "HELO ", "MAIL ", "RCPT ", "DATA", "QUIT",
                                              "STARTTLS", "RSET", "NOOP"})
                    if (StartsWith(text, verb)) transfer->inAuth = false;
            }
            transfer->lastActivity = Clock::now();
            break;
        case CURLINFO_DATA_IN:
        case CURLINFO_DATA_OUT:
        case CURLINFO_SSL_DATA_IN:
        case CURLINFO_SSL_DATA_OUT:
            transfer->lastActivity = Clock::now();
            break;
        default:
            break;
    }
    return 0;
}

// Called by libcurl about once a second at least, also while it waits for the answer to the
// final dot inside one call (where the transfer loop does not run).
int CheckProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->CheckLimits() ? 1 : 0;
}

curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->StopRequested()) {
        transfer->stopped = true;
        return CURL_SOCKET_BAD;
    }
    // The TLS decision was made for these addresses: a connection anywhere else (which
    // CURLOPT_RESOLVE and the absence of a proxy should already rule out) is not made.
    if (!transfer->route || !IsOneOfAddresses(&address->addr, address->addrlen, *transfer->route)) {
        transfer->offRoute = true;
        return CURL_SOCKET_BAD;
    }
    const curl_socket_t socket =
        ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    if (socket != CURL_SOCKET_BAD) transfer->sockets.push_back(socket);
    return socket;
}

int CloseSocket(void* user, curl_socket_t socket) {
    auto* transfer = static_cast<Transfer*>(user);
    std::erase(transfer->sockets, socket);
    return close(socket);
}

std::string HostAndPort(const ServerAddress& server) {
    return (server.ipv6 ? "[" + server.host + "]" : server.host) + ":" +
           std::to_string(server.port);
}

std::string DescribeConnectFailure(long osErrno, const ServerAddress& server) {
    switch (osErrno) {
        case ECONNREFUSED:
            return "connection refused: " + HostAndPort(server);
        case ETIMEDOUT:
            return "time-out: cannot connect to " + HostAndPort(server);
        case ENETUNREACH:
        case EHOSTUNREACH:
            return "server unreachable: " + HostAndPort(server);
        default:
            return "cannot connect to " + HostAndPort(server);
    }
}

struct FailureFacts {
    CURLcode code = CURLE_OK;
    long osErrno = 0;
    bool tcpConnected = false;
    long verifyResult = 0;
    std::string curlText;  // libcurl's error buffer (English, from libcurl itself)
};

std::string DescribeCertificateFailure(const FailureFacts& facts, const ServerAddress& server) {
    // libcurl checks the name itself after OpenSSL has accepted the chain, and says so in its
    // error text ("... does not match target host name ...", "no alternative certificate
    // subject name matches target host name ...").
    const bool hostMismatch = facts.verifyResult == kVerifyHostMismatch ||
                              facts.verifyResult == kVerifyIpMismatch ||
                              facts.curlText.find("host name") != std::string::npos ||
                              facts.curlText.find("hostname") != std::string::npos;
    if (hostMismatch) return "certificate is for another host, not " + server.host;
    return "certificate not trusted: the server's certificate is not signed by a trusted CA";
}

// The error text of a failed conversation: a stable prefix, then the server's own reply where it
// explains the failure. (libcurl's texts are not passed on as they are: some of them quote the
// system's error messages, which follow the user's locale and may not be CP932.)
std::string DescribeFailure(const FailureFacts& facts, const Transfer& transfer,
                            const ServerAddress& server, TlsMode mode) {
    const bool replyExplains = transfer.replies.LastIsFailure();
    std::string reply = ServerTextToCp932(transfer.replies.Last());
    if (transfer.idleExpired) return "time-out: the server stopped responding";
    if (transfer.offRoute) return "cannot connect to " + HostAndPort(server);
    switch (facts.code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "unknown server host: " + server.host;
        case CURLE_COULDNT_CONNECT:
            return DescribeConnectFailure(facts.osErrno, server);
        case CURLE_OPERATION_TIMEDOUT:
            if (!facts.tcpConnected) return "time-out: cannot connect to " + HostAndPort(server);
            if (transfer.replies.Last().empty())
                return "time-out: no greeting from " + HostAndPort(server);
            return "time-out waiting for the server's reply";
        case CURLE_PEER_FAILED_VERIFICATION:
            return DescribeCertificateFailure(facts, server);
        case CURLE_SSL_CONNECT_ERROR:
            return "TLS failure: handshake with the server failed";
        case CURLE_SSL_CACERT_BADFILE:
            return "TLS failure: cannot read the trusted certificate file";
        case CURLE_USE_SSL_FAILED:
            if (mode == TlsMode::Required)
                return replyExplains ? "TLS is required to log in: " + reply
                                     : "TLS is required to log in: the server offers no STARTTLS";
            return replyExplains ? "TLS failure: " + reply : "TLS failure: STARTTLS not available";
        case CURLE_OUT_OF_MEMORY:
            return "out of memory";
        default:
            break;
    }
    if (replyExplains) return reply;
    switch (facts.code) {
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return "connection closed by the server";
        case CURLE_WEIRD_SERVER_REPLY:
            return reply.empty() ? "unexpected reply from the server"
                                 : "unexpected reply: " + reply;
        default:
            return std::string("mail error: ") + curl_easy_strerror(facts.code);
    }
}

struct CurlCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Where the connection goes: the server's addresses, looked up here rather than by libcurl so
// that whether it is this machine is decided from them and not from the name, and the entries
// that pin the name to exactly them for libcurl.
struct Route {
    ResolveOutcome found;
    std::unique_ptr<curl_slist, SlistCleanup> pins;  // CURLOPT_RESOLVE entries
    Clock::time_point connectDeadline;
};

// Looks the server up within the connect time-out. Nothing when that worked, else the outcome
// of the failed conversation.
std::optional<SendOutcome> FindRoute(const ServerAddress& server, const Options& options,
                                     const int* stop, Route& route) {
    route.connectDeadline = Clock::now() + std::chrono::milliseconds(options.connectTimeoutMs);
    route.found = ResolveHost(server.host, server.port, route.connectDeadline, stop);
    switch (route.found.status) {
        case ResolveStatus::Resolved:
            break;
        case ResolveStatus::UnknownHost:
            return SendOutcome{SendResult::Failed, "unknown server host: " + server.host};
        case ResolveStatus::TimedOut:
            return SendOutcome{SendResult::Failed,
                               "time-out: cannot connect to " + HostAndPort(server)};
        case ResolveStatus::Stopped:
            return SendOutcome{SendResult::Stopped,
                               "sending stopped before the end of the message"};
        case ResolveStatus::OutOfMemory:
            return SendOutcome{SendResult::Failed, "out of memory"};
    }
    if (route.found.literal) return std::nullopt;  // libcurl takes the address as it is
    // The name as written, and without its final dot (libcurl may look it up either way).
    std::vector<std::string> names = {server.host};
    if (server.host.size() > 1 && server.host.back() == '.')
        names.push_back(server.host.substr(0, server.host.size() - 1));
    curl_slist* pins = nullptr;
    for (const std::string& name : names) {
        const std::string entry = CurlResolveEntry(name, server.port, route.found.addresses);
        curl_slist* longer = curl_slist_append(pins, entry.c_str());
        if (!longer) {
            curl_slist_free_all(pins);
            return SendOutcome{SendResult::Failed, "out of memory"};
        }
        pins = longer;
    }
    route.pins.reset(pins);
    return std::nullopt;
}

// Runs the transfer through a multi handle so that the stop flag and the idle time are looked
// at every kPollMs, whatever libcurl is waiting for.
CURLcode RunTransfer(CURL* handle, Transfer& transfer,
                     const std::function<void()>& whenConnected = {}) {
    CURLM* multi = curl_multi_init();
    if (!multi) return CURLE_OUT_OF_MEMORY;
    if (curl_multi_add_handle(multi, handle) != CURLM_OK) {
        curl_multi_cleanup(multi);
        return CURLE_OUT_OF_MEMORY;
    }
    CURLcode result = CURLE_OK;
    bool finished = false;
    bool cut = false;
    while (!finished) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
                result = message->data.result;
                finished = true;
            }
        }
        if (finished || running == 0) break;
        if (!cut && transfer.CheckLimits()) {
            // Ending the connection is what keeps the final dot from the server: libcurl
            // itself would still send it if the transfer were merely taken away from it.
            transfer.Cut();
            cut = true;
        }
        curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr);
    }
    if (result == CURLE_OK && whenConnected) whenConnected();
    // After a failure the connection is dropped as it is: a QUIT to a server that has stopped
    // answering would wait for its reply.
    if (result != CURLE_OK) transfer.Cut();
    curl_multi_remove_handle(multi, handle);
    curl_multi_cleanup(multi);
    return result;
}

// The settings both kinds of conversation share: where, how secured, who logs in.
void SetCommonOptions(CURL* handle, const std::string& url, const Route& route, TlsMode mode,
                      const Login& login, const Options& options, Transfer& transfer,
                      char* errorBuffer) {
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    // Straight to the addresses the TLS decision was made for. The proxy variables of the
    // environment (all_proxy, ALL_PROXY, smtp_proxy, SMTP_PROXY, smtps_proxy, SMTPS_PROXY) are
    // for the ranking page only: through a proxy, a login allowed in clear because the server is
    // this machine would reach the proxy's machine.
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
    if (route.pins) curl_easy_setopt(handle, CURLOPT_RESOLVE, route.pins.get());
    transfer.route = &route.found.addresses;
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);

    curl_easy_setopt(handle, CURLOPT_USE_SSL,
                     mode == TlsMode::Opportunistic ? static_cast<long>(CURLUSESSL_TRY)
                                                    : static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.trustFile.empty()) {
        // The trust file takes the place of the system's certificate store.
        curl_easy_setopt(handle, CURLOPT_CAINFO, options.trustFile.c_str());
        curl_easy_setopt(handle, CURLOPT_CAPATH, nullptr);
    }

    // The login goes to libcurl only from here; its own netrc reading stays off.
    curl_easy_setopt(handle, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
    if (login.present) {
        curl_easy_setopt(handle, CURLOPT_USERNAME, login.user.c_str());
        curl_easy_setopt(handle, CURLOPT_PASSWORD, login.password.c_str());
        // AUTH with its first response on the same line: one round trip less.
        curl_easy_setopt(handle, CURLOPT_SASL_IR, 1L);
    }

    transfer.idleLimit = std::chrono::milliseconds(options.idleTimeoutMs);
    // What the look-up left of the connect time-out.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(route.connectDeadline - Clock::now());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<std::chrono::milliseconds::rep>(left.count(), 1)));
    curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, (options.idleTimeoutMs + 999) / 1000);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, CheckProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
    curl_easy_setopt(handle, CURLOPT_CLOSESOCKETDATA, &transfer);

    // Verbose output goes only to the callback, which reads the server's replies from it.
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, WatchConversation);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &transfer);
}

FailureFacts CollectFacts(CURL* handle, CURLcode code, const char* errorBuffer) {
    FailureFacts facts;
    facts.code = code;
    curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &facts.osErrno);
    curl_off_t connectTime = 0;
    curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime);
    facts.tcpConnected = connectTime > 0;
    curl_easy_getinfo(handle, CURLINFO_SSL_VERIFYRESULT, &facts.verifyResult);
    facts.curlText = errorBuffer;
    return facts;
}

// A login refused for now: the server's final answer to AUTH was 454 (temporary authentication
// failure) or 421 (service not available, closing).
bool LoginWasDeferred(const Transfer& transfer) {
    return transfer.authReply == 454 || transfer.authReply == 421;
}

// A refused login: the server's answer to AUTH was 530, 534 or 535, or libcurl gave up the
// login for a reason that is not temporary (a 4xx answer is an ordinary failure).
bool LoginWasRefused(CURLcode code, const Transfer& transfer) {
    if (transfer.authReply == 530 || transfer.authReply == 534 || transfer.authReply == 535)
        return true;
    return code == CURLE_LOGIN_DENIED && !(transfer.authReply >= 400 && transfer.authReply < 500);
}

// Ends a connection left open by CURLOPT_CONNECT_ONLY with QUIT, waiting a moment for the
// server's goodbye (libcurl itself would just close it).
void SayQuit(CURL* handle, const Transfer& transfer) {
    constexpr std::string_view kQuit = "QUIT\r\n";
    size_t sent = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (sent < kQuit.size() && Clock::now() < deadline) {
        size_t n = 0;
        const CURLcode code = curl_easy_send(handle, kQuit.data() + sent, kQuit.size() - sent, &n);
        if (code == CURLE_AGAIN) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (code != CURLE_OK) return;
        sent += n;
    }
    if (transfer.sockets.empty()) return;
    std::string reply;
    while (reply.find('\n') == std::string::npos && Clock::now() < deadline) {
        char buffer[256];
        size_t n = 0;
        const CURLcode code = curl_easy_recv(handle, buffer, sizeof buffer, &n);
        if (code == CURLE_AGAIN) {
            pollfd wait{transfer.sockets.front(), POLLIN, 0};
            poll(&wait, 1, kPollMs);
            continue;
        }
        if (code != CURLE_OK || n == 0) return;
        reply.append(buffer, n);
    }
}

std::string LoginRefusedText(const Transfer& transfer) {
    if (transfer.replies.LastIsFailure())
        return "login refused: " + ServerTextToCp932(transfer.replies.Last());
    return "login refused by the server";
}

std::string LoginDeferredText(const Transfer& transfer) {
    if (transfer.replies.LastIsFailure())
        return "login deferred: " + ServerTextToCp932(transfer.replies.Last());
    return "login deferred by the server";
}

}  // namespace

bool SetSessionOption(std::string_view name, std::string_view value) {
    std::lock_guard lock(optionsMutex);
    Options& options = SharedOptions();
    if (name == "tls-trust-file") {
        if (!value.empty() && access(std::string(value).c_str(), R_OK) != 0) return false;
        options.trustFile = std::string(value);
        return true;
    }
    if (name == "connect-timeout-ms")
        return ParseMilliseconds(value, kDefaultConnectTimeoutMs, &options.connectTimeoutMs);
    if (name == "idle-timeout-ms")
        return ParseMilliseconds(value, kDefaultIdleTimeoutMs, &options.idleTimeoutMs);
    return false;
}

SendOutcome SendOverSmtp(const ServerAddress& server, std::string_view from, std::string_view to,
                         const std::string& message, const Login& login, const int* stop,
                         const SendHooks& hooks) {
    InitCurl();
    std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
    if (!curl) return {SendResult::Failed, "cannot start the mail transfer"};
    CURL* handle = curl.get();

    const Options options = CurrentOptions();
    Route route;
    if (std::optional<SendOutcome> failed = FindRoute(server, options, stop, route)) return *failed;
    const TlsMode mode = ChooseTlsMode(server, login.present, route.found.loopback);
    Transfer transfer;
    transfer.message = message;
    transfer.hooks = &hooks;
    transfer.stop = stop;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    const std::string url = SmtpUrl(server);
    const std::string mailFrom = "<" + std::string(from) + ">";
    std::unique_ptr<curl_slist, SlistCleanup> recipients(
        curl_slist_append(nullptr, ("<" + std::string(to) + ">").c_str()));
    if (!recipients) return {SendResult::Failed, "out of memory"};

    SetCommonOptions(handle, url, route, mode, login, options, transfer, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadMessage);
    curl_easy_setopt(handle, CURLOPT_READDATA, &transfer);
    // No CURLOPT_INFILESIZE_LARGE (see ReadMessage); MAIL FROM therefore carries no SIZE=.

    const CURLcode code = RunTransfer(handle, transfer);
    if (code == CURLE_OK) return {SendResult::Sent, {}};
    if (transfer.stopped)
        return {SendResult::Stopped, "sending stopped before the end of the message"};
    if (hooks.reportLoginDeferred && LoginWasDeferred(transfer))
        return {SendResult::LoginDeferred, LoginDeferredText(transfer)};
    if (LoginWasRefused(code, transfer))
        return {SendResult::LoginRefused, LoginRefusedText(transfer)};
    if (transfer.endCommitted && transfer.answerToEnd < 400) {
        // The final dot may have reached the server, and no refusal came back. (Before the end
        // was committed the dot cannot have gone out, whatever broke: an ordinary failure.)
        if (transfer.stopGaveUp)
            return {SendResult::Uncertain,
                    "time-out: stopped waiting for the answer to the message"};
        if (transfer.idleExpired || code == CURLE_OPERATION_TIMEDOUT)
            return {SendResult::Uncertain, "time-out: no answer to the end of the message"};
        return {SendResult::Uncertain, "connection lost after the end of the message"};
    }
    const FailureFacts facts = CollectFacts(handle, code, errorBuffer);
    return {SendResult::Failed, DescribeFailure(facts, transfer, server, mode)};
}

SendOutcome TestSmtpLogin(const ServerAddress& server, const Login& login) {
    InitCurl();
    if (!login.present || login.user.empty()) return {SendResult::Failed, "no user name"};
    std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
    if (!curl) return {SendResult::Failed, "cannot start the mail transfer"};
    CURL* handle = curl.get();

    const Options options = CurrentOptions();
    Route route;
    if (std::optional<SendOutcome> failed = FindRoute(server, options, nullptr, route))
        return *failed;
    const TlsMode mode = ChooseTlsMode(server, true, route.found.loopback);
    Transfer transfer;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    const std::string url = SmtpUrl(server);
    SetCommonOptions(handle, url, route, mode, login, options, transfer, errorBuffer);
    // The connection phase of SMTP is greeting, EHLO, STARTTLS and AUTH; nothing after it.
    curl_easy_setopt(handle, CURLOPT_CONNECT_ONLY, 1L);

    const CURLcode code = RunTransfer(handle, transfer, [&] { SayQuit(handle, transfer); });
    if (code == CURLE_OK) {
        if (transfer.authAccepted) return {SendResult::Sent, {}};
        return {SendResult::Failed, "no login offered: the server does not announce AUTH"};
    }
    if (LoginWasRefused(code, transfer))
        return {SendResult::LoginRefused, LoginRefusedText(transfer)};
    const FailureFacts facts = CollectFacts(handle, code, errorBuffer);
    return {SendResult::Failed, DescribeFailure(facts, transfer, server, mode)};
}

}  // namespace qubopost::mail
