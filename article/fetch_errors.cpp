#include "article/fetch_errors.h"

#include <cstdlib>
#include <string_view>

#include "resources/messages/messages.h"

namespace msg = qubopost::messages;

namespace qubopost::article {

namespace {

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// The proxy the transfer went through, as the environment names it ("" for none).
std::string ProxyFromEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        if (const char* value = std::getenv(name); value && *value) return value;
    }
    return {};
}

// What a status means and what to do about it, by class.
struct StatusAdvice {
    std::string meaning;
    std::string todo;
};

StatusAdvice AdviceFor(int status) {
    const std::string later(msg::Say(msg::kFetchTryLater));
    const std::string check(msg::Say(msg::kFetchCheckHost));
    auto say = [](const msg::Message& message) { return std::string(msg::Say(message)); };
    switch (status) {
        case 401:
            return {say(msg::kFetchLoginNeeded), check};
        case 403:
            return {say(msg::kFetchForbidden), check};
        case 404:
            return {say(msg::kFetchNotFound), msg::Say(msg::kFetchPageMoved, {check})};
        case 408:
            return {say(msg::kFetchRequestTimedOut), later};
        case 429:
            return {say(msg::kFetchTooManyRequests), later};
        case 500:
            return {say(msg::kFetchServiceError), later};
        case 502:
            return {say(msg::kFetchGatewayError), later};
        case 503:
            return {say(msg::kFetchUnavailable), later};
        case 504:
            return {say(msg::kFetchGatewayTimedOut), later};
        default:
            if (status >= 500) return {say(msg::kFetchServerSideError), later};
            return {say(msg::kFetchRequestRefused), check};
    }
}

}  // namespace

std::string DescribeFetchFailure(const std::string& error, const std::string& host) {
    const std::string proxy = ProxyFromEnvironment();
    const std::string kept(msg::Say(msg::kFetchKept));
    const std::string settingHint(msg::Say(msg::kFetchCheckHost));
    if (error.rfind("HTTP status ", 0) == 0) {
        const int status = std::atoi(error.c_str() + 12);
        const StatusAdvice advice = AdviceFor(status);
        return msg::Say(msg::kFetchHttpStatus,
                        {host, std::to_string(status), advice.meaning, advice.todo, kept});
    }
    std::string proxyAdvice = msg::Say(msg::kFetchProxy, {proxy, kept});
    if (Contains(error, "Could not resolve proxy") || (!proxy.empty() && Contains(error, "proxy")))
        return proxyAdvice;
    if (Contains(error, "Could not resolve host"))
        return msg::Say(msg::kFetchUnknownHost, {host, settingHint, kept});
    if (Contains(error, "Connection refused") || Contains(error, "Couldn't connect")) {
        if (!proxy.empty()) return proxyAdvice;
        return msg::Say(msg::kFetchConnectionRefused, {host, settingHint, kept});
    }
    if (Contains(error, "timed out") || Contains(error, "Timeout") ||
        Contains(error, "no data for") || Contains(error, "no complete answer within"))
        return msg::Say(msg::kFetchTimedOut, {host, kept});
    if (Contains(error, "larger than")) return msg::Say(msg::kFetchTooLarge, {error, kept});
    if (Contains(error, "SSL") || Contains(error, "certificate"))
        return msg::Say(msg::kFetchTlsFailed, {host, settingHint, kept});
    return msg::Say(msg::kFetchFailed, {error, kept});
}

}  // namespace qubopost::article
