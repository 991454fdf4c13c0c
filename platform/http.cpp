#include "platform/http.h"

#include <curl/curl.h>
#include <dlfcn.h>

#include <chrono>
#include <memory>
#include <mutex>

namespace qubopost::platform {

namespace {

// libcurl, loaded when the network is first wanted rather than when the program starts:
// its start-up (and that of the TLS and directory libraries under it) costs more than a
// whole article generation from a saved page, which needs no network at all.
struct CurlApi {
    CURLcode (*globalInit)(long flags) = nullptr;
    CURL* (*easyInit)() = nullptr;
    void (*easyCleanup)(CURL*) = nullptr;
    CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
    CURLcode (*easyPerform)(CURL*) = nullptr;
    CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
    const char* (*easyStrerror)(CURLcode) = nullptr;
    curl_slist* (*slistAppend)(curl_slist*, const char*) = nullptr;
    void (*slistFreeAll)(curl_slist*) = nullptr;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

// The loaded library's functions, or nullptr when it can't be loaded.
const CurlApi* Curl() {
    static const CurlApi* api = []() -> const CurlApi* {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) return nullptr;
        static CurlApi loaded;
        const bool complete = Resolve(library, "curl_global_init", loaded.globalInit) &&
                              Resolve(library, "curl_easy_init", loaded.easyInit) &&
                              Resolve(library, "curl_easy_cleanup", loaded.easyCleanup) &&
                              Resolve(library, "curl_easy_setopt", loaded.easySetopt) &&
                              Resolve(library, "curl_easy_perform", loaded.easyPerform) &&
                              Resolve(library, "curl_easy_getinfo", loaded.easyGetinfo) &&
                              Resolve(library, "curl_easy_strerror", loaded.easyStrerror) &&
                              Resolve(library, "curl_slist_append", loaded.slistAppend) &&
                              Resolve(library, "curl_slist_free_all", loaded.slistFreeAll);
        return complete ? &loaded : nullptr;  // deliberately kept loaded
    }();
    return api;
}

struct Transfer {
    const HttpOptions* options;
    std::string body;
    bool tooLarge = false;
    curl_off_t lastReceived = -1;
    std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();
    bool idle = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    bool overdue = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->options->maxBodyBytes) {
        transfer->tooLarge = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->options->stop && transfer->options->stop->load()) return 1;
    const auto now = std::chrono::steady_clock::now();
    const long limit = transfer->options->totalTimeoutMs;
    if (limit > 0 &&
        std::chrono::duration_cast<std::chrono::milliseconds>(now - transfer->started).count() >
            limit) {
        transfer->overdue = true;
        return 1;
    }
    if (received + sent != transfer->lastReceived) {
        transfer->lastReceived = received + sent;
        transfer->lastProgress = now;
        return 0;
    }
    const auto quiet =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - transfer->lastProgress);
    if (quiet.count() > transfer->options->idleTimeoutMs) {
        transfer->idle = true;
        return 1;
    }
    return 0;
}

struct CurlCleanup {
    void operator()(CURL* curl) const { Curl()->easyCleanup(curl); }
};
struct SlistCleanup {
    void operator()(curl_slist* list) const { Curl()->slistFreeAll(list); }
};

}  // namespace

bool StartNetwork() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once,
                   [] { started = Curl() && Curl()->globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return started;
}

HttpResponse HttpGet(const std::string& url, const std::string& userAgent,
                     const std::vector<std::string>& headers, const HttpOptions& options) {
    HttpResponse response;
    if (!StartNetwork()) {
        response.error = "the network library could not be started";
        return response;
    }
    const CurlApi& api = *Curl();
    std::unique_ptr<CURL, CurlCleanup> curl(api.easyInit());
    if (!curl) {
        response.error = "no transfer could be set up";
        return response;
    }
    std::unique_ptr<curl_slist, SlistCleanup> headerList;
    for (const auto& header : headers) {
        curl_slist* list = api.slistAppend(headerList.get(), header.c_str());
        if (!list) {
            response.error = "out of memory";
            return response;
        }
        // The holder takes the list's head without freeing what it held: the same list.
        static_cast<void>(headerList.release());
        headerList.reset(list);
    }

    Transfer transfer;
    transfer.options = &options;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* h = curl.get();
    api.easySetopt(h, CURLOPT_URL, url.c_str());
    api.easySetopt(h, CURLOPT_HTTPGET, 1L);
    api.easySetopt(h, CURLOPT_USERAGENT, userAgent.c_str());
    api.easySetopt(h, CURLOPT_HTTPHEADER, headerList.get());
    api.easySetopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    api.easySetopt(h, CURLOPT_MAXREDIRS, 10L);
    api.easySetopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    api.easySetopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    api.easySetopt(h, CURLOPT_NOSIGNAL, 1L);
    api.easySetopt(h, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    api.easySetopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    api.easySetopt(h, CURLOPT_WRITEDATA, &transfer);
    api.easySetopt(h, CURLOPT_NOPROGRESS, 0L);
    api.easySetopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    api.easySetopt(h, CURLOPT_XFERINFODATA, &transfer);
    api.easySetopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    api.easySetopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));

    const CURLcode code = api.easyPerform(h);
    long status = 0;
    api.easyGetinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.status = status;
    if (code != CURLE_OK) {
        if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            response.error =
                "the page is larger than " + std::to_string(options.maxBodyBytes >> 20) + " MiB";
        } else if (transfer.idle) {
            response.error = "no data for " + std::to_string(options.idleTimeoutMs / 1000) + " s";
        } else if (transfer.overdue) {
            response.error =
                "no complete answer within " + std::to_string(options.totalTimeoutMs / 1000) + " s";
        } else if (code == CURLE_ABORTED_BY_CALLBACK) {
            response.error = "stopped";
        } else {
            response.error = errorBuffer[0] ? errorBuffer : api.easyStrerror(code);
        }
        return response;
    }
    response.received = true;
    response.body = std::move(transfer.body);
    return response;
}

}  // namespace qubopost::platform
