// Posting one entry to a blog through the blog's own API, and the address of the post it made.
//
// Three kinds of API are spoken: the WordPress REST API (POST wp/v2/posts with an application
// password, Basic auth), XML-RPC (metaWeblog.newPost: WordPress, FC2, Seesaa and others) and the
// Atom Publishing Protocol (an entry POSTed to a collection, WSSE UsernameToken or Basic auth).
// Qt-free; libcurl for HTTP, libxml2 for XML, nlohmann::json for JSON.
//
// Credentials never cross the network in clear: plain http:// is used only when every address
// the host resolves to is this machine (mail/resolve.h decides, as for SMTP), each connection goes
// to exactly those addresses, and no proxy is used (the proxy variables are for the ranking page).
//
//   std::string why;
//   const auto destination = ParseDestination("https://taro@blog.example.jp/", &why);
//   const PostResult result = Post(*destination, password, {title, TextToHtml(body)}, options);
//   if (result.outcome == PostResult::Outcome::Posted) ... result.link ...
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace qubopost::blogapi {

enum class ApiKind { WordPressRest, XmlRpc, AtomPub };

struct Destination {
    // The API the line's prefix asked for; when not `forced`, WordPressRest (the first one
    // Discover looks for) until discovery says otherwise.
    ApiKind kind = ApiKind::WordPressRest;
    bool forced = false;  // "wordpress+", "xmlrpc+" or "atompub+" was written in front
    std::string url;      // the URL without the prefix, the user part and any fragment
    std::string user;     // from https://user@host/..., percent-decoded
    // For the credential look-up (key ring attributes host[:port], ~/.netrc machine HOST): the
    // host as written in the URL, lower case, an IPv6 address without brackets; the port, the
    // scheme's default (443, 80) when the URL names none.
    std::string host;
    int port = 0;
};

// A destination line: an http:// or https:// URL with the user name in it
// ("https://taro@blog.example.jp/"), blanks around it ignored, optionally prefixed "wordpress+",
// "xmlrpc+" or "atompub+" (in any case) to force that API. Nothing and a Japanese reason in
// *reason (may be null) when it is no such URL: another scheme, no host, no user name, a
// password in the URL (it belongs in the key ring or ~/.netrc), a control character in the user
// name, or plain http:// to an address that is not this machine. A host *name* with http:// is
// accepted here: whether it is this machine is decided by the addresses it resolves to when
// Post connects (nothing is looked up while parsing).
std::optional<Destination> ParseDestination(std::string_view line, std::string* reason);

struct Options {
    // Until a connection is made (the host's look-up included), per request.
    std::chrono::milliseconds connectTimeout{30000};
    // How long a request may go without a byte either way, the wait for the answer included.
    std::chrono::milliseconds idleTimeout{60000};
    // A PEM file of the certificates to trust instead of the system's; empty: the system's.
    std::string trustFile;
    // Read atomically; once non-zero, the post ends within about a second (as Uncertain when the
    // request carrying the entry had been sent, else Failed). May be null.
    const int* stop = nullptr;
};

// The API found for a destination, where to send the entry.
struct Endpoint {
    ApiKind kind = ApiKind::WordPressRest;
    // WordPressRest: the API root ("https://host/wp-json/", "https://host/?rest_route=/");
    // XmlRpc: the XML-RPC server ("https://host/xmlrpc.php"); AtomPub: the collection.
    std::string url;
    std::string blogId;  // XmlRpc: the blog's id from the RSD document, if it gave one
};

struct Discovery {
    enum class Outcome { Found, LoginRefused, RetryLater, Failed } outcome = Outcome::Failed;
    Endpoint endpoint;
    std::string detail;  // why not Found, for the log
    std::optional<std::chrono::seconds> retryAfter;
};

// Finds the API of a destination. Not forced: the WordPress REST API from the site's
// `Link: <…>; rel="https://api.w.org/"` header (a GET of the URL; also the page's <link> of that
// relation), or /wp-json/ or ?rest_route=/; else XML-RPC through the page's RSD link
// (<link rel="EditURI">) or /xmlrpc.php; else an AtomPub service or collection document at the
// URL (asked for with the credentials when the URL answers 401). Forced: only that kind, found
// the same way (XML-RPC also at the URL itself; AtomPub always asked for with the credentials).
// Only AtomPub's look-up carries the password.
Discovery Discover(const Destination& destination, const std::string& password,
                   const Options& options);

struct Entry {
    std::string title;
    std::string html;  // the body as HTML (TextToHtml)
    bool draft = false;
};

struct PostResult {
    enum class Outcome {
        Posted,        // the blog made the post
        LoginRefused,  // 401 or 403, XML-RPC faultCode 403: the user name or password is wrong
        RetryLater,    // 429 or 5xx: nothing was posted; retryAfter when the server said
        Failed,        // nothing was posted (or the request never went out)
        Uncertain,     // the entry was sent and no answer came: it may have been posted. Never
                       // send it again without asking.
    } outcome = Outcome::Failed;
    // The post's address: the REST answer's `link`; AtomPub's entry link rel="alternate", else
    // the Location of the 201; XML-RPC: metaWeblog.getPost's `link`, else the site's "?p=ID".
    std::string link;
    std::string detail;                              // the server's status and reason, for the log
    std::optional<std::chrono::seconds> retryAfter;  // from Retry-After on 429/5xx
};

// Discovers the API (Discover) and posts the entry once: nothing is ever sent twice. A plain
// http:// destination whose host is not all loopback addresses is refused before any byte is
// sent, discovery included.
PostResult Post(const Destination& destination, const std::string& password, const Entry& entry,
                const Options& options);

// Posts to an endpoint already found (Post without the discovery).
PostResult PostTo(const Endpoint& endpoint, const Destination& destination,
                  const std::string& password, const Entry& entry, const Options& options);

// The group's text as HTML: paragraphs (separated by lines that are empty or hold only ASCII
// blanks) each in <p>…</p>, one a line; the line breaks inside a paragraph as "<br />" and a line
// end; the text escaped (& < > "); each line that is an http:// or https:// URL and nothing else
// (ASCII blanks around it dropped) a link <a href="URL">URL</a>, the href attribute-escaped. CR LF
// and LF both end lines.
std::string TextToHtml(std::string_view utf8Text);

}  // namespace qubopost::blogapi
