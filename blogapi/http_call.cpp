#include "blogapi/http_call.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <memory>
#include <mutex>

#include "mail/resolve.h"
#include "resources/messages/messages.h"

namespace qubopost::blogapi::detail {

namespace msg = qubopost::messages;
namespace {

using Clock = std::chrono::steady_clock;
using mail::ResolveOutcome;
using mail::ResolveStatus;

// Larger answers are not read to the end: no API answer to a post comes near this.
constexpr std::size_t kMaxBody = 16u << 20;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using Url = std::unique_ptr<CURLU, UrlDeleter>;

std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || !text) return {};
    std::string out(text);
    curl_free(text);
    return out;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Where a URL leads: scheme, host (IPv6 without brackets) and port.
struct Target {
    std::string scheme;
    std::string host;
    int port = 0;
};

std::optional<Target> TargetOf(const std::string& text) {
    Url url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    Target target;
    target.scheme = Lower(UrlPart(url.get(), CURLUPART_SCHEME));
    target.host = UrlPart(url.get(), CURLUPART_HOST);
    const std::string port = UrlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    if (target.host.size() >= 2 && target.host.front() == '[' && target.host.back() == ']')
        target.host = target.host.substr(1, target.host.size() - 2);
    std::from_chars(port.data(), port.data() + port.size(), target.port);
    if ((target.scheme != "http" && target.scheme != "https") || target.host.empty() ||
        target.port <= 0)
        return std::nullopt;
    return target;
}

std::string Where(const Target& target) {
    return (target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host) +
           ":" + std::to_string(target.port);
}

// What one transfer knows while libcurl runs it.
struct Transfer {
    const std::vector<std::string>* route = nullptr;
    bool offRoute = false;
    const int* stop = nullptr;
    bool stopped = false;
    std::chrono::milliseconds idleLimit{60000};
    bool idleExpired = false;
    Clock::time_point lastActivity = Clock::now();
    std::size_t headerBytesOut = 0;
    std::size_t dataBytesOut = 0;
    std::string body;
    bool tooLarge = false;

    bool StopRequested() const { return stop && __atomic_load_n(stop, __ATOMIC_ACQUIRE) != 0; }
};

curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->StopRequested()) {
        transfer->stopped = true;
        return CURL_SOCKET_BAD;
    }
    // The clear-text decision was made for these addresses only.
    if (!transfer->route ||
        !mail::IsOneOfAddresses(&address->addr, address->addrlen, *transfer->route)) {
        transfer->offRoute = true;
        return CURL_SOCKET_BAD;
    }
    transfer->lastActivity = Clock::now();
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int CloseSocket(void*, curl_socket_t socket) { return close(socket); }

int Watch(CURL*, curl_infotype type, char*, size_t size, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    switch (type) {
        case CURLINFO_HEADER_OUT:
            transfer->headerBytesOut += size;
            break;
        case CURLINFO_DATA_OUT:
            transfer->dataBytesOut += size;
            break;
        default:
            break;
    }
    if (type != CURLINFO_TEXT) transfer->lastActivity = Clock::now();
    return 0;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->StopRequested()) {
        transfer->stopped = true;
        return 1;
    }
    if (Clock::now() - transfer->lastActivity >= transfer->idleLimit) {
        transfer->idleExpired = true;
        return 1;
    }
    return 0;
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > kMaxBody) {
        transfer->tooLarge = true;
        return 0;
    }
    transfer->body.append(data, bytes);
    transfer->lastActivity = Clock::now();
    return bytes;
}

std::vector<std::string> HeaderValues(CURL* handle, const char* name) {
    std::vector<std::string> values;
    for (size_t index = 0;; ++index) {
        curl_header* header = nullptr;
        if (curl_easy_header(handle, name, index, CURLH_HEADER, -1, &header) != CURLHE_OK ||
            !header)
            break;
        values.emplace_back(header->value ? header->value : "");
        if (index + 1 >= header->amount) break;
    }
    return values;
}

// Retry-After (RFC 9110 10.2.3): delay-seconds or an HTTP-date.
std::optional<std::chrono::seconds> RetryAfter(const std::string& value) {
    std::string text = value;
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    if (text.empty()) return std::nullopt;
    if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        long long seconds = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
        return std::chrono::seconds(seconds);
    }
    const time_t when = curl_getdate(text.c_str(), nullptr);
    if (when == -1) return std::nullopt;
    return std::chrono::seconds(
        std::max<long long>(0, static_cast<long long>(when - std::time(nullptr))));
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool AppendTo(std::unique_ptr<curl_slist, SlistDeleter>& list, const std::string& line) {
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (!longer) return false;
    (void)list.release();
    list.reset(longer);
    return true;
}

}  // namespace

std::string ResolveUrl(const std::string& base, const std::string& relative) {
    Url url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK) return {};
    if (curl_url_set(url.get(), CURLUPART_URL, relative.c_str(), 0) != CURLUE_OK) return {};
    return UrlPart(url.get(), CURLUPART_URL);
}

std::string SchemeOf(const std::string& text) {
    Url url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return {};
    return Lower(UrlPart(url.get(), CURLUPART_SCHEME));
}

bool AllLoopback(const std::string& text, const Options& options, std::string* error) {
    const std::optional<Target> target = TargetOf(text);
    if (!target) {
        if (error) *error = msg::Say(msg::kHttpNotUrl, {text});
        return false;
    }
    const ResolveOutcome found = mail::ResolveHost(
        target->host, target->port, Clock::now() + options.connectTimeout, options.stop);
    if (found.status != ResolveStatus::Resolved) {
        if (error) *error = msg::Say(msg::kHttpAddressUnknown, {target->host});
        return false;
    }
    return found.loopback;
}

HttpResponse Perform(const HttpRequest& request, const Options& options) {
    GlobalInit();
    HttpResponse response;
    const std::optional<Target> target = TargetOf(request.url);
    if (!target) {
        response.stage = HttpResponse::Stage::Refused;
        response.error = msg::Say(msg::kHttpNotUrl, {request.url});
        return response;
    }

    // Where the connection goes, decided here from the addresses and not from the name.
    const Clock::time_point connectDeadline = Clock::now() + options.connectTimeout;
    const ResolveOutcome found =
        mail::ResolveHost(target->host, target->port, connectDeadline, options.stop);
    switch (found.status) {
        case ResolveStatus::Resolved:
            break;
        case ResolveStatus::UnknownHost:
            response.error = msg::Say(msg::kHttpUnknownHost, {target->host});
            return response;
        case ResolveStatus::TimedOut:
            response.error = msg::Say(msg::kHttpConnectTimedOut, {Where(*target)});
            return response;
        case ResolveStatus::Stopped:
            response.stopped = true;
            response.error = msg::Say(msg::kHttpStoppedNothingSent);
            return response;
        case ResolveStatus::OutOfMemory:
            response.error = msg::Say(msg::kBlogOutOfMemory);
            return response;
    }
    if (request.carriesCredentials && target->scheme != "https" && !found.loopback) {
        // Credentials in clear only between this machine and itself.
        response.stage = HttpResponse::Stage::Refused;
        response.error = msg::Say(msg::kHttpNeedsTls, {Where(*target)});
        return response;
    }

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    std::unique_ptr<curl_slist, SlistDeleter> pins;
    std::unique_ptr<curl_slist, SlistDeleter> headers;
    bool ok = static_cast<bool>(handle);
    if (ok && !found.literal) {
        std::vector<std::string> names = {target->host};
        if (target->host.size() > 1 && target->host.back() == '.')
            names.push_back(target->host.substr(0, target->host.size() - 1));
        for (const std::string& name : names)
            ok = ok && AppendTo(pins, mail::CurlResolveEntry(name, target->port, found.addresses));
    }
    // No "Expect: 100-continue": the body goes at once.
    ok = ok && AppendTo(headers, "Expect:");
    for (const std::string& line : request.headers) ok = ok && AppendTo(headers, line);
    if (!ok) {
        response.error = msg::Say(msg::kBlogOutOfMemory);
        return response;
    }

    Transfer transfer;
    transfer.route = &found.addresses;
    transfer.stop = options.stop;
    transfer.idleLimit = options.idleTimeout;
    char errorBuffer[CURL_ERROR_SIZE] = "";
    CURL* h = handle.get();
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    // Straight to the addresses decided on: the proxy variables are for the ranking page.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    if (pins) curl_easy_setopt(h, CURLOPT_RESOLVE, pins.get());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.trustFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, options.trustFile.c_str());
        curl_easy_setopt(h, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(h, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_IGNORED));
    if (request.basicAuth) {
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(h, CURLOPT_USERNAME, request.user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.c_str());
    }
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Qubopost");
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (request.method == "POST") {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(connectDeadline - Clock::now());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<long long>(left.count(), 1)));
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, OpenSocket);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    // Verbose output goes only to the callback, which counts what was sent.
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, Watch);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &transfer);

    const CURLcode code = curl_easy_perform(h);
    const bool allSent = transfer.headerBytesOut > 0 &&
                         (request.method != "POST" || transfer.dataBytesOut >= request.body.size());
    response.stopped = transfer.stopped;
    if (code == CURLE_OK) {
        response.stage = HttpResponse::Stage::Answered;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
        response.body = std::move(transfer.body);
        const char* type = nullptr;
        if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) {
            std::string text = Lower(type);
            text = text.substr(0, text.find(';'));
            text.erase(text.find_last_not_of(" \t") + 1);
            response.contentType = text;
        }
        const std::vector<std::string> location = HeaderValues(h, "Location");
        if (!location.empty()) response.location = ResolveUrl(request.url, location.front());
        response.links = HeaderValues(h, "Link");
        response.authenticate = HeaderValues(h, "WWW-Authenticate");
        const std::vector<std::string> retry = HeaderValues(h, "Retry-After");
        if (!retry.empty()) response.retryAfter = RetryAfter(retry.front());
        return response;
    }

    response.stage = allSent ? HttpResponse::Stage::Sent : HttpResponse::Stage::NotSent;
    const std::string sentNote(msg::Say(allSent ? msg::kHttpAfterSending : msg::kHttpBeforeSent));
    if (transfer.stopped) {
        response.error = msg::Say(msg::kHttpStopped, {sentNote});
    } else if (transfer.idleExpired || code == CURLE_OPERATION_TIMEDOUT) {
        response.error = msg::Say(msg::kHttpAnswerTimedOut, {Where(*target), sentNote});
    } else if (transfer.offRoute) {
        response.error = msg::Say(msg::kHttpOffRoute, {Where(*target)});
    } else if (transfer.tooLarge) {
        response.error = msg::Say(msg::kHttpAnswerTooLarge, {request.url});
    } else {
        response.error =
            std::string(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code)) + sentNote;
    }
    return response;
}

}  // namespace qubopost::blogapi::detail
