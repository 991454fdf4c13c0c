#include "mail/resolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace qubopost::mail {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait for the resolver looks at the stop flag.
constexpr auto kStopPoll = std::chrono::milliseconds(50);

bool StopRequested(const int* stop) { return stop && __atomic_load_n(stop, __ATOMIC_ACQUIRE) != 0; }

// The address written out as inet_ntop does, or "" for another family.
std::string NumericAddress(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    } else if (address->sa_family == AF_INET6) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    }
    return text;
}

// An address literal in the form inet_ntop gives, or "" when `host` is not one.
std::string NormalisedLiteral(const std::string& host) {
    char text[INET6_ADDRSTRLEN] = "";
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return inet_ntop(AF_INET, &v4, text, sizeof text) ? text : "";
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1)
        return inet_ntop(AF_INET6, &v6, text, sizeof text) ? text : "";
    return {};
}

bool AllLoopback(const std::vector<std::string>& addresses) {
    return !addresses.empty() &&
           std::all_of(addresses.begin(), addresses.end(),
                       [](const std::string& a) { return IsLoopbackAddress(a); });
}

// One look-up, shared by the caller and the helper thread that runs it: whichever lets go of it
// last frees it, so a caller that has given up simply leaves.
struct Lookup {
    std::string host;
    std::string service;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    ResolveStatus status = ResolveStatus::UnknownHost;
    std::vector<std::string> addresses;

    void Run() {
        ResolveStatus result = ResolveStatus::UnknownHost;
        std::vector<std::string> found;
        try {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_NUMERICSERV;
            addrinfo* list = nullptr;
            const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
            if (code == 0) {
                for (const addrinfo* at = list; at; at = at->ai_next) {
                    if (!at->ai_addr) continue;
                    std::string text = NumericAddress(at->ai_addr);
                    if (!text.empty() && std::find(found.begin(), found.end(), text) == found.end())
                        found.push_back(std::move(text));
                }
                freeaddrinfo(list);
                if (!found.empty()) result = ResolveStatus::Resolved;
            } else if (code == EAI_MEMORY) {
                result = ResolveStatus::OutOfMemory;
            }
        } catch (const std::bad_alloc&) {
            result = ResolveStatus::OutOfMemory;
            found.clear();
        }
        {
            std::lock_guard lock(mutex);
            status = result;
            addresses = std::move(found);
            done = true;
        }
        finished.notify_all();
    }
};

}  // namespace

ResolveOutcome ResolveHost(std::string_view host, int port, Clock::time_point deadline,
                           const int* stop) {
    ResolveOutcome outcome;
    const std::string name(host);
    if (std::string literal = NormalisedLiteral(name); !literal.empty()) {
        outcome.status = ResolveStatus::Resolved;
        outcome.loopback = IsLoopbackAddress(literal);
        outcome.addresses.push_back(std::move(literal));
        outcome.literal = true;
        return outcome;
    }
    if (StopRequested(stop)) {
        outcome.status = ResolveStatus::Stopped;
        return outcome;
    }
    if (Clock::now() >= deadline) {
        outcome.status = ResolveStatus::TimedOut;
        return outcome;
    }

    auto lookup = std::make_shared<Lookup>();
    lookup->host = name;
    lookup->service = std::to_string(port);
    // getaddrinfo cannot be interrupted: it runs on a thread of its own, which the wait below
    // may leave behind. (The program never unloads this library, so that thread's code stays.)
    try {
        std::thread([lookup] { lookup->Run(); }).detach();
    } catch (const std::system_error&) {
        lookup->Run();  // no thread to be had: the resolver's own time-outs bound the wait
    }

    std::unique_lock lock(lookup->mutex);
    while (!lookup->done) {
        if (StopRequested(stop)) {
            outcome.status = ResolveStatus::Stopped;
            return outcome;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            outcome.status = ResolveStatus::TimedOut;
            return outcome;
        }
        lookup->finished.wait_until(lock, std::min(deadline, now + kStopPoll));
    }
    outcome.status = lookup->status;
    outcome.addresses = std::move(lookup->addresses);
    outcome.loopback = outcome.status == ResolveStatus::Resolved && AllLoopback(outcome.addresses);
    return outcome;
}

bool IsLoopbackAddress(std::string_view address) {
    if (address.empty() || address.size() >= INET6_ADDRSTRLEN) return false;
    const std::string text(address);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

bool IsOneOfAddresses(const sockaddr* address, socklen_t length,
                      const std::vector<std::string>& addresses) {
    if (!address) return false;
    if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in))) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        for (const std::string& text : addresses) {
            in_addr allowed{};
            if (inet_pton(AF_INET, text.c_str(), &allowed) == 1 &&
                allowed.s_addr == v4.sin_addr.s_addr)
                return true;
        }
        return false;
    }
    if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6))) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        for (const std::string& text : addresses) {
            in6_addr allowed{};
            if (inet_pton(AF_INET6, text.c_str(), &allowed) == 1 &&
                std::memcmp(&allowed, &v6.sin6_addr, sizeof allowed) == 0)
                return true;
        }
        return false;
    }
    return false;
}

std::string CurlResolveEntry(std::string_view host, int port,
                             const std::vector<std::string>& addresses) {
    std::string entry = std::string(host) + ":" + std::to_string(port) + ":";
    for (size_t i = 0; i < addresses.size(); ++i) {
        if (i > 0) entry += ',';
        const bool ipv6 = addresses[i].find(':') != std::string::npos;
        entry += ipv6 ? "[" + addresses[i] + "]" : addresses[i];
    }
    return entry;
}

}  // namespace qubopost::mail
