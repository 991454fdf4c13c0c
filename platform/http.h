// One HTTP GET through libcurl (loaded by StartNetwork): redirects followed, the proxy settings of
// the environment honoured (http_proxy, https_proxy, no_proxy), bounded in time and size.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace qubopost::platform {

struct HttpOptions {
    long connectTimeoutMs = 30000;  // to get connected
    long idleTimeoutMs = 60000;     // without a byte received
    // For the whole request, however slowly bytes trickle in (0: none).
    long totalTimeoutMs = 180000;
    std::size_t maxBodyBytes = 32u << 20;
    const std::atomic<bool>* stop = nullptr;  // set: the transfer ends early
};

struct HttpResponse {
    bool received = false;  // a response came back whole
    long status = 0;        // its status code
    std::string body;
    std::string error;  // why nothing usable came back
};

// Starts the network library for the process: libcurl is loaded then (not when the
// program starts) and its global start-up runs. false when it can't be started.
// Programs call it before a thread of theirs uses the network, and only when they will.
bool StartNetwork();

HttpResponse HttpGet(const std::string& url, const std::string& userAgent,
                     const std::vector<std::string>& headers, const HttpOptions& options);

}  // namespace qubopost::platform
