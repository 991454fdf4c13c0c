#include "mail/smtp_session.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "mail/error_text.h"

namespace qubopost::mail {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long kDefaultConnectTimeoutMs = 30000;
constexpr long kDefaultIdleTimeoutMs = 60000;

void InitCurl() {
    // The program may also have initialised libcurl; the library counts the calls.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long MillisecondsFromEnvironment(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0 || value > 24L * 3600 * 1000) return fallback;
    return value;
}

// What the callbacks share during one transfer.
struct Transfer {
    std::string_view message;
    size_t sentBytes = 0;
    ServerReplies replies;
    Clock::time_point lastActivity = Clock::now();
    std::chrono::milliseconds idleLimit{kDefaultIdleTimeoutMs};
    bool idleExpired = false;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t room = size * count;
    const size_t left = transfer->message.size() - transfer->sentBytes;
    const size_t chunk = left < room ? left : room;
    std::memcpy(buffer, transfer->message.data() + transfer->sentBytes, chunk);
    transfer->sentBytes += chunk;
    return chunk;
}

// Sees every line the server sends, and notes that something moved. Of the lines sent to the
// server only QUIT is recognised; none is kept, as one of them may carry the password.
int WatchConversation(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    switch (type) {
        case CURLINFO_HEADER_IN:
            transfer->replies.Feed(std::string_view(data, size));
            transfer->lastActivity = Clock::now();
            break;
        case CURLINFO_HEADER_OUT:
            if (std::string_view(data, size) == "QUIT\r\n") transfer->replies.Freeze();
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

int CheckIdle(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (Clock::now() - transfer->lastActivity < transfer->idleLimit) return 0;
    transfer->idleExpired = true;
    return 1;
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
            return "connection time-out: " + HostAndPort(server);
        case ENETUNREACH:
        case EHOSTUNREACH:
            return "server unreachable: " + HostAndPort(server);
        default:
            return "cannot connect to " + HostAndPort(server);
    }
}

// The error text for a failed transfer: the server's own reply where it explains the failure,
// otherwise a short reason of our own. (libcurl's texts are not used as they are: some of them
// quote the system's error messages, which follow the user's locale and may not be CP932.)
std::string DescribeFailure(CURLcode code, const Transfer& transfer, long osErrno,
                            bool tcpConnected, const ServerAddress& server, TlsMode mode) {
    const bool replyExplains = transfer.replies.LastIsFailure();
    const std::string reply = ServerTextToCp932(transfer.replies.Last());
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "unknown server host: " + server.host;
        case CURLE_COULDNT_CONNECT:
            return DescribeConnectFailure(osErrno, server);
        case CURLE_OPERATION_TIMEDOUT:
            if (!tcpConnected) return "connection time-out: " + HostAndPort(server);
            if (transfer.replies.Last().empty())
                return "time-out: no greeting from " + HostAndPort(server);
            return "time-out waiting for the server's reply";
        case CURLE_ABORTED_BY_CALLBACK:
            return transfer.idleExpired ? "time-out: the server stopped responding"
                                        : "sending aborted";
        case CURLE_PEER_FAILED_VERIFICATION:
            return "TLS failure: server certificate not trusted or not for this host";
        case CURLE_SSL_CONNECT_ERROR:
            return "TLS failure: handshake with the server failed";
        case CURLE_SSL_CACERT_BADFILE:
            return "TLS failure: cannot read the CA certificate file";
        case CURLE_USE_SSL_FAILED:
            if (replyExplains) return reply;
            return mode == TlsMode::Required
                       ? "server offers no STARTTLS; TLS is required to log in"
                       : "TLS failure: STARTTLS not available";
        case CURLE_LOGIN_DENIED:
            return replyExplains ? reply : "login refused by the server";
        case CURLE_READ_ERROR:
            // The message is read from memory; this is libcurl's netrc parser giving up.
            return "syntax error in the .netrc file";
        case CURLE_OUT_OF_MEMORY:
            return "out of memory";
        default:
            break;
    }
    if (replyExplains) return reply;
    switch (code) {
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return "connection closed by the server";
        case CURLE_WEIRD_SERVER_REPLY:
            return reply.empty() ? "unexpected reply from the server"
                                 : "unexpected reply: " + reply;
        default:
            return std::string("mail error: ") + curl_easy_strerror(code);
    }
}

struct CurlCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

SendOutcome SendOverSmtp(const ServerAddress& server, std::string_view from, std::string_view to,
                         const std::string& message) {
    InitCurl();
    std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
    if (!curl) return {false, "cannot start the mail transfer"};
    CURL* handle = curl.get();

    const std::string netrcPath = NetrcPath();
    const bool credentialsInUse = NetrcFileHasEntry(netrcPath, server.host);
    const TlsMode mode = ChooseTlsMode(server, credentialsInUse);

    Transfer transfer;
    transfer.message = message;
    const long idleMs =
        MillisecondsFromEnvironment("QUBOPOST_SMTP_IDLE_TIMEOUT_MS", kDefaultIdleTimeoutMs);
    transfer.idleLimit = std::chrono::milliseconds(idleMs);
    const long connectMs =
        MillisecondsFromEnvironment("QUBOPOST_SMTP_CONNECT_TIMEOUT_MS", kDefaultConnectTimeoutMs);

    const std::string url = SmtpUrl(server);
    const std::string mailFrom = "<" + std::string(from) + ">";
    std::unique_ptr<curl_slist, SlistCleanup> recipients(
        curl_slist_append(nullptr, ("<" + std::string(to) + ">").c_str()));
    if (!recipients) return {false, "out of memory"};

    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);

    curl_easy_setopt(handle, CURLOPT_USE_SSL,
                     mode == TlsMode::Opportunistic ? static_cast<long>(CURLUSESSL_TRY)
                                                    : static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* caFile = std::getenv("QUBOPOST_SMTP_CAFILE"); caFile && *caFile)
        curl_easy_setopt(handle, CURLOPT_CAINFO, caFile);

    curl_easy_setopt(handle, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
    if (!netrcPath.empty()) curl_easy_setopt(handle, CURLOPT_NETRC_FILE, netrcPath.c_str());

    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadMessage);
    curl_easy_setopt(handle, CURLOPT_READDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));

    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, (idleMs + 999) / 1000);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, CheckIdle);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

    // Verbose output goes only to the callback, which reads the server's replies from it.
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, WatchConversation);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &transfer);

    const CURLcode code = curl_easy_perform(handle);
    if (code == CURLE_OK) return {true, {}};
    long osErrno = 0;
    curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osErrno);
    curl_off_t connectTime = 0;
    curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime);
    return {false, DescribeFailure(code, transfer, osErrno, connectTime > 0, server, mode)};
}

}  // namespace qubopost::mail
