#include "platform/http.h"

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <mutex>

namespace {

struct Transfer {
    const HttpOptions* options;
    std::string body;
    bool tooLarge = false;
    curl_off_t lastReceived = -1;
    std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();
    bool idle = false;
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
    if (received + sent != transfer->lastReceived) {
        transfer->lastReceived = received + sent;
        transfer->lastProgress = now;
        return 0;
    }
    const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(now - transfer->lastProgress);
    if (quiet.count() > transfer->options->idleTimeoutMs) {
        transfer->idle = true;
        return 1;
    }
    return 0;
}

struct CurlCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

bool StartNetwork() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] { started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return started;
}

HttpResponse HttpGet(const std::string& url, const std::string& userAgent,
                     const std::vector<std::string>& headers, const HttpOptions& options) {
    HttpResponse response;
    if (!StartNetwork()) {
        response.error = "the network library could not be started";
        return response;
    }
    std::unique_ptr<CURL, CurlCleanup> curl(curl_easy_init());
    if (!curl) {
        response.error = "no transfer could be set up";
        return response;
    }
    std::unique_ptr<curl_slist, SlistCleanup> headerList;
    for (const auto& header : headers) {
        curl_slist* list = curl_slist_append(headerList.get(), header.c_str());
        if (!list) {
            response.error = "out of memory";
            return response;
        }
        headerList.release();
        headerList.reset(list);
    }

    Transfer transfer;
    transfer.options = &options;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));

    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    response.status = status;
    if (code != CURLE_OK) {
        if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            response.error = "the page is larger than " + std::to_string(options.maxBodyBytes >> 20) + " MiB";
        } else if (transfer.idle) {
            response.error = "no data for " + std::to_string(options.idleTimeoutMs / 1000) + " s";
        } else if (code == CURLE_ABORTED_BY_CALLBACK) {
            response.error = "stopped";
        } else {
            response.error = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
        }
        return response;
    }
    response.received = true;
    response.body = std::move(transfer.body);
    return response;
}
