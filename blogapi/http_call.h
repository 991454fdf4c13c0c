// One HTTP request of the blog APIs (libcurl), with the rules every request keeps:
// - the host is looked up here (mail/resolve.h) and the connection goes to exactly the addresses
//   found (CURLOPT_RESOLVE, and a socket is refused for any other address);
// - a request that carries credentials goes over plain http only when all those addresses are
//   this machine; otherwise it is refused before a connection is made;
// - no proxy, no redirects, no ~/.netrc by libcurl, certificates checked (the trust file when set);
// - the stop flag and the idle time end the request; whether the whole request had been sent
//   when it ended is reported, so that a post that may have arrived is never sent again.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "blogapi/blogapi.h"

namespace qubopost::blogapi::detail {

struct HttpRequest {
    std::string method = "GET";  // GET or POST
    std::string url;
    std::vector<std::string> headers;  // "Name: value"
    std::string body;                  // POST only
    // Basic auth with these (libcurl writes the header).
    bool basicAuth = false;
    std::string user;
    std::string password;
    // The request carries a secret (Basic auth, a WSSE header, a password in the body).
    bool carriesCredentials = false;
};

struct HttpResponse {
    enum class Stage {
        Refused,   // not sent: the rules above, a URL that is no http(s) URL
        NotSent,   // the host unknown, no connection, stopped or timed out before all was sent
        Sent,      // all of the request was sent but no complete answer came
        Answered,  // a complete answer (any status)
    } stage = Stage::NotSent;
    long status = 0;
    std::string body;
    std::string contentType;         // lower case, parameters dropped ("text/html")
    std::string location;            // the Location header, resolved against the request's URL
    std::vector<std::string> links;  // every Link header's value
    std::vector<std::string> authenticate;  // every WWW-Authenticate header's value
    std::optional<std::chrono::seconds> retryAfter;
    std::string error;  // why not Answered (Japanese, for the log)
    bool stopped = false;
};

HttpResponse Perform(const HttpRequest& request, const Options& options);

// Whether every address of the host of the URL `text` is this machine (false when it cannot be
// told).
bool AllLoopback(const std::string& text, const Options& options, std::string* error);

// `relative` resolved against `base` (RFC 3986, libcurl's URL parser); "" when either is no URL.
std::string ResolveUrl(const std::string& base, const std::string& relative);

// The scheme of the URL `text` ("https"), lower case; "" when it is no URL.
std::string SchemeOf(const std::string& text);

}  // namespace qubopost::blogapi::detail
