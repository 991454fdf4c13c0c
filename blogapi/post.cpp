// Discover and Post: finding the API and posting one entry through it.
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <sys/random.h>

#include <cctype>
#include <ctime>
#include <nlohmann/json.hpp>

#include "blogapi/blogapi.h"
#include "blogapi/http_call.h"
#include "blogapi/xml.h"
#include "resources/messages/messages.h"

namespace qubopost::blogapi {

namespace msg = qubopost::messages;
namespace {

using detail::HttpRequest;
using detail::HttpResponse;
using detail::Perform;
using detail::RpcValue;
using Json = nlohmann::json;

constexpr const char* kRestRelation = "https://api.w.org/";

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Is2xx(const HttpResponse& r) { return r.status >= 200 && r.status < 300; }
bool IsLoginRefusal(const HttpResponse& r) { return r.status == 401 || r.status == 403; }
bool IsRetryLater(const HttpResponse& r) { return r.status == 429 || r.status >= 500; }

// The destination's URL as a folder ("https://host/blog" -> "https://host/blog/"), for the
// addresses WordPress keeps below its home.
std::string AsFolder(const std::string& url) {
    std::string folder = detail::ResolveUrl(url, "./");
    return folder.empty() ? url : folder;
}

std::string Status(const HttpResponse& r) { return "HTTP " + std::to_string(r.status); }

// The server's own words of an error answer, short: a JSON error's code and message, else the
// start of the body when it is plain text.
std::string ServerWords(const HttpResponse& r) {
    std::string words;
    const Json json = Json::parse(r.body, nullptr, false);
    if (json.is_object()) {
        if (json.contains("code") && json["code"].is_string())
            words = json["code"].get<std::string>();
        if (json.contains("message") && json["message"].is_string())
            words += (words.empty() ? "" : ": ") + json["message"].get<std::string>();
    } else if (r.contentType == "text/plain") {
        words = r.body.substr(0, 200);
    }
    return words.empty() ? Status(r) : Status(r) + " (" + words + ")";
}

// ---- Link headers (RFC 8288): <URI>; rel="a b"; other=..., <URI>; ...

std::vector<std::pair<std::string, std::string>> LinkTargets(const std::string& value) {
    std::vector<std::pair<std::string, std::string>> out;  // (uri, rel)
    std::size_t at = 0;
    const auto blanks = [&] {
        while (at < value.size() && (value[at] == ' ' || value[at] == '\t')) ++at;
    };
    while (at < value.size()) {
        blanks();
        if (at < value.size() && value[at] == ',') {
            ++at;
            continue;
        }
        if (at >= value.size() || value[at] != '<') break;
        const std::size_t close = value.find('>', at);
        if (close == std::string::npos) break;
        const std::string uri = value.substr(at + 1, close - at - 1);
        at = close + 1;
        std::string rel;
        // Parameters up to the next comma outside a quoted string.
        while (true) {
            blanks();
            if (at >= value.size() || value[at] != ';') break;
            ++at;
            blanks();
            const std::size_t nameEnd = value.find_first_of("=;,", at);
            std::string name = Lower(
                value.substr(at, nameEnd == std::string::npos ? std::string::npos : nameEnd - at));
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
            at = nameEnd == std::string::npos ? value.size() : nameEnd;
            std::string parameter;
            if (at < value.size() && value[at] == '=') {
                ++at;
                blanks();
                if (at < value.size() && value[at] == '"') {
                    ++at;
                    while (at < value.size() && value[at] != '"') {
                        if (value[at] == '\\' && at + 1 < value.size()) ++at;
                        parameter += value[at++];
                    }
                    if (at < value.size()) ++at;
                } else {
                    while (at < value.size() && value[at] != ';' && value[at] != ',')
                        parameter += value[at++];
                    while (!parameter.empty() &&
                           (parameter.back() == ' ' || parameter.back() == '\t'))
                        parameter.pop_back();
                }
            }
            if (name == "rel" && rel.empty()) rel = parameter;
        }
        out.emplace_back(uri, rel);
    }
    return out;
}

bool HasRelation(const std::string& rels, const std::string& wanted) {
    std::size_t at = 0;
    while (at < rels.size()) {
        const std::size_t end = rels.find_first_of(" \t", at);
        if (Lower(rels.substr(at, end == std::string::npos ? std::string::npos : end - at)) ==
            Lower(wanted))
            return true;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return false;
}

// ---- WSSE (the UsernameToken profile as the AtomPub blogs use it)

std::string Base64(const unsigned char* data, std::size_t size) {
    std::string out(4 * ((size + 2) / 3) + 1, '\0');
    const int written =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(size));
    out.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return out;
}

std::string QuotedString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// X-WSSE: UsernameToken Username="…", PasswordDigest="Base64(SHA1(nonce + created + password))",
// Nonce="Base64(nonce)", Created="2024-01-02T03:04:05Z". Empty when no random bytes were had.
std::string WsseHeader(const std::string& user, const std::string& password) {
    unsigned char nonce[20];
    if (getrandom(nonce, sizeof nonce, 0) != static_cast<ssize_t>(sizeof nonce)) return {};
    char created[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string input(reinterpret_cast<const char*>(nonce), sizeof nonce);
    input += created;
    input += password;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(input.data()), input.size(), digest);
    OPENSSL_cleanse(input.data(), input.size());
    return "X-WSSE: UsernameToken Username=" + QuotedString(user) +
           ", PasswordDigest=" + QuotedString(Base64(digest, sizeof digest)) +
           ", Nonce=" + QuotedString(Base64(nonce, sizeof nonce)) +
           ", Created=" + QuotedString(created);
}

// An AtomPub request with WSSE; when the server refuses it and asks for Basic only, once more
// with Basic, over TLS only (a 401 means the first request did nothing).
HttpResponse AtomRequest(HttpRequest request, const Destination& destination,
                         const std::string& password, const Options& options) {
    const std::string wsse = WsseHeader(destination.user, password);
    if (wsse.empty()) {
        HttpResponse none;
        none.error = msg::Say(msg::kBlogNoRandom);
        return none;
    }
    HttpRequest first = request;
    first.headers.push_back("Authorization: WSSE profile=\"UsernameToken\"");
    first.headers.push_back(wsse);
    first.carriesCredentials = true;
    HttpResponse response = Perform(first, options);
    if (response.stage != HttpResponse::Stage::Answered || response.status != 401) return response;
    bool basic = false, offersWsse = false;
    for (const std::string& challenge : response.authenticate) {
        const std::string scheme = Lower(challenge.substr(0, challenge.find_first_of(" \t")));
        basic = basic || scheme == "basic";
        offersWsse = offersWsse || scheme == "wsse";
    }
    if (!basic || offersWsse || detail::SchemeOf(request.url) != "https") return response;
    request.basicAuth = true;
    request.user = destination.user;
    request.password = password;
    request.carriesCredentials = true;
    return Perform(request, options);
}

// ---- Discovery

Discovery Found(ApiKind kind, std::string url, std::string blogId = {}) {
    Discovery d;
    d.outcome = Discovery::Outcome::Found;
    d.endpoint = {kind, std::move(url), std::move(blogId)};
    return d;
}

Discovery NotFound(Discovery::Outcome outcome, std::string detail,
                   const HttpResponse* r = nullptr) {
    Discovery d;
    d.outcome = outcome;
    d.detail = std::move(detail);
    if (r) d.retryAfter = r->retryAfter;
    return d;
}

// The WordPress REST API's index ("namespaces" holds "wp/v2").
bool IsRestIndex(const HttpResponse& r) {
    if (r.stage != HttpResponse::Stage::Answered || !Is2xx(r)) return false;
    const Json json = Json::parse(r.body, nullptr, false);
    if (!json.is_object() || !json.contains("namespaces") || !json["namespaces"].is_array())
        return false;
    for (const Json& name : json["namespaces"]) {
        if (name.is_string() && name.get<std::string>() == "wp/v2") return true;
    }
    return false;
}

bool AnswersXmlRpc(const std::string& url, const Options& options) {
    HttpRequest probe;
    probe.method = "POST";
    probe.url = url;
    probe.headers = {"Content-Type: text/xml; charset=UTF-8"};
    probe.body = detail::RpcCall("system.listMethods", {});
    const HttpResponse r = Perform(probe, options);
    return r.stage == HttpResponse::Stage::Answered && Is2xx(r) &&
           detail::ReadRpcAnswer(r.body).wellFormed;
}

// AtomPub: the service or collection document at the destination, asked for with the credentials.
Discovery FindAtom(const Destination& destination, const std::string& password,
                   const Options& options) {
    HttpRequest get;
    get.url = destination.url;
    get.headers = {"Accept: application/atomsvc+xml, application/atom+xml;q=0.9, */*;q=0.1"};
    const HttpResponse r = AtomRequest(get, destination, password, options);
    if (r.stage != HttpResponse::Stage::Answered)
        return NotFound(Discovery::Outcome::Failed, r.error);
    if (IsLoginRefusal(r)) return NotFound(Discovery::Outcome::LoginRefused, ServerWords(r), &r);
    if (IsRetryLater(r)) return NotFound(Discovery::Outcome::RetryLater, ServerWords(r), &r);
    if (!Is2xx(r)) return NotFound(Discovery::Outcome::Failed, ServerWords(r), &r);
    const detail::AtomFound atom = detail::ReadAtomDocument(r.body, destination.url);
    if (!atom.collection.empty()) return Found(ApiKind::AtomPub, atom.collection);
    if (atom.kind == detail::AtomDocument::Service)
        return NotFound(Discovery::Outcome::Failed,
                        std::string(msg::Say(msg::kBlogAtomNoCollection)));
    return NotFound(Discovery::Outcome::Failed,
                    msg::Say(msg::kBlogAtomNotService, {destination.url}));
}

// XML-RPC through the page's RSD document: MetaWeblog's address, else WordPress's, Movable
// Type's or Blogger's (all of them take metaWeblog.newPost where they are offered together).
std::optional<Discovery> FromRsd(const std::string& rsdUrl, const Options& options) {
    HttpRequest get;
    get.url = rsdUrl;
    const HttpResponse r = Perform(get, options);
    if (r.stage != HttpResponse::Stage::Answered || !Is2xx(r)) return std::nullopt;
    const std::vector<detail::RsdApi> apis = detail::ReadRsd(r.body, rsdUrl);
    for (const char* name : {"metaweblog", "wordpress", "movable type", "blogger"}) {
        for (const detail::RsdApi& api : apis) {
            if (Lower(api.name) == name && !api.apiLink.empty())
                return Found(ApiKind::XmlRpc, api.apiLink, api.blogId);
        }
    }
    return std::nullopt;
}

}  // namespace

Discovery Discover(const Destination& destination, const std::string& password,
                   const Options& options) {
    if (detail::SchemeOf(destination.url) == "http") {
        std::string error;
        if (!detail::AllLoopback(destination.url, options, &error)) {
            return NotFound(
                Discovery::Outcome::Failed,
                error.empty() ? msg::Say(msg::kBlogNeedsTls, {destination.host}) : error);
        }
    }
    if (destination.forced && destination.kind == ApiKind::AtomPub)
        return FindAtom(destination, password, options);
    const bool any = !destination.forced;
    const bool rest = any || destination.kind == ApiKind::WordPressRest;
    const bool xmlrpc = any || destination.kind == ApiKind::XmlRpc;

    HttpRequest get;
    get.url = destination.url;
    const HttpResponse page = Perform(get, options);
    if (page.stage != HttpResponse::Stage::Answered)
        return NotFound(Discovery::Outcome::Failed, page.error);
    if (IsRetryLater(page))
        return NotFound(Discovery::Outcome::RetryLater, ServerWords(page), &page);

    std::string restRoot, editUri;
    for (const std::string& header : page.links) {
        for (const auto& [uri, rel] : LinkTargets(header)) {
            if (restRoot.empty() && HasRelation(rel, kRestRelation))
                restRoot = detail::ResolveUrl(destination.url, uri);
        }
    }
    if (page.contentType == "text/html" || page.contentType == "application/xhtml+xml") {
        for (const detail::PageLink& link : detail::ReadHtmlLinks(page.body, destination.url)) {
            if (restRoot.empty() && HasRelation(link.rel, kRestRelation)) restRoot = link.href;
            if (editUri.empty() && HasRelation(link.rel, "EditURI")) editUri = link.href;
        }
    }
    const detail::AtomFound atom =
        Is2xx(page) ? detail::ReadAtomDocument(page.body, destination.url) : detail::AtomFound{};

    if (rest && atom.kind == detail::AtomDocument::None) {
        if (!restRoot.empty()) return Found(ApiKind::WordPressRest, restRoot);
        if (IsRestIndex(page)) return Found(ApiKind::WordPressRest, destination.url);
        const std::string folder = AsFolder(destination.url);
        for (const std::string& probe : {detail::ResolveUrl(folder, "wp-json/"),
                                         detail::ResolveUrl(folder, "?rest_route=/")}) {
            HttpRequest index;
            index.url = probe;
            if (!probe.empty() && IsRestIndex(Perform(index, options)))
                return Found(ApiKind::WordPressRest, probe);
        }
        if (!any)
            return NotFound(Discovery::Outcome::Failed,
                            msg::Say(msg::kBlogNoRestApi, {destination.url}));
    }
    if (xmlrpc && atom.kind == detail::AtomDocument::None) {
        if (!editUri.empty()) {
            if (std::optional<Discovery> found = FromRsd(editUri, options)) return *found;
        }
        std::vector<std::string> candidates = {
            detail::ResolveUrl(AsFolder(destination.url), "xmlrpc.php")};
        if (!any && candidates.front() != destination.url) candidates.push_back(destination.url);
        for (const std::string& candidate : candidates) {
            if (!candidate.empty() && AnswersXmlRpc(candidate, options))
                return Found(ApiKind::XmlRpc, candidate);
        }
        if (!any)
            return NotFound(Discovery::Outcome::Failed,
                            msg::Say(msg::kBlogNoXmlRpc, {destination.url}));
    }
    if (!atom.collection.empty()) return Found(ApiKind::AtomPub, atom.collection);
    if (page.status == 401) return FindAtom(destination, password, options);
    return NotFound(Discovery::Outcome::Failed, msg::Say(msg::kBlogNoApi, {destination.url}));
}

namespace {

PostResult Result(PostResult::Outcome outcome, std::string detail, std::string link = {},
                  const HttpResponse* r = nullptr) {
    PostResult result;
    result.outcome = outcome;
    result.detail = std::move(detail);
    result.link = std::move(link);
    if (r) result.retryAfter = r->retryAfter;
    return result;
}

// What a request that did not get an answer means for the entry it carried.
PostResult Unanswered(const HttpResponse& r) {
    if (r.stage == HttpResponse::Stage::Sent)
        return Result(PostResult::Outcome::Uncertain, r.error);
    return Result(PostResult::Outcome::Failed, r.error);
}

// The status of an answer that is not a success.
std::optional<PostResult> Refusal(const HttpResponse& r) {
    if (IsLoginRefusal(r)) return Result(PostResult::Outcome::LoginRefused, ServerWords(r));
    if (IsRetryLater(r)) return Result(PostResult::Outcome::RetryLater, ServerWords(r), {}, &r);
    if (!Is2xx(r)) return Result(PostResult::Outcome::Failed, ServerWords(r));
    return std::nullopt;
}

// The posts route below a REST root: "…/wp-json/" + "wp/v2/posts", or rest_route=/wp/v2/posts.
std::string PostsUrl(const std::string& root) {
    if (root.find("rest_route=") != std::string::npos) {
        const std::size_t question = root.find('?');
        std::string base = root.substr(0, question);
        std::string query = question == std::string::npos ? "" : root.substr(question + 1);
        std::string rebuilt;
        std::size_t at = 0;
        while (at <= query.size()) {
            const std::size_t end = std::min(query.find('&', at), query.size());
            const std::string pair = query.substr(at, end - at);
            if (!pair.empty()) {
                rebuilt += rebuilt.empty() ? "" : "&";
                rebuilt += pair.starts_with("rest_route=") ? "rest_route=/wp/v2/posts" : pair;
            }
            at = end + 1;
        }
        return base + "?" + rebuilt;
    }
    return detail::ResolveUrl(AsFolder(root), "wp/v2/posts");
}

PostResult PostRest(const Endpoint& endpoint, const Destination& destination,
                    const std::string& password, const Entry& entry, const Options& options) {
    const Json body = {{"title", entry.title},
                       {"content", entry.html},
                       {"status", entry.draft ? "draft" : "publish"}};
    HttpRequest request;
    request.method = "POST";
    request.url = PostsUrl(endpoint.url);
    request.headers = {"Content-Type: application/json; charset=UTF-8", "Accept: application/json"};
    request.body = body.dump(-1, ' ', false, Json::error_handler_t::replace);
    request.basicAuth = true;
    request.user = destination.user;
    request.password = password;
    request.carriesCredentials = true;
    const HttpResponse r = Perform(request, options);
    if (r.stage != HttpResponse::Stage::Answered) return Unanswered(r);
    if (std::optional<PostResult> refused = Refusal(r)) return *refused;
    const Json answer = Json::parse(r.body, nullptr, false);
    if (answer.is_object() && answer.contains("link") && answer["link"].is_string())
        return Result(PostResult::Outcome::Posted, Status(r), answer["link"].get<std::string>());
    return Result(PostResult::Outcome::Posted,
                  Status(r) + std::string(msg::Say(msg::kBlogAnswerNoLink)));
}

HttpResponse RpcPost(const std::string& url, const std::string& method,
                     const std::vector<RpcValue>& params, const Options& options) {
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers = {"Content-Type: text/xml; charset=UTF-8"};
    request.body = detail::RpcCall(method, params);
    request.carriesCredentials = true;  // the password is a parameter
    return Perform(request, options);
}

std::string RpcId(const RpcValue& value) {
    return value.type == RpcValue::Type::String || value.type == RpcValue::Type::Int ? value.scalar
                                                                                     : "";
}

PostResult PostXmlRpc(const Endpoint& endpoint, const Destination& destination,
                      const std::string& password, const Entry& entry, const Options& options) {
    const RpcValue user = RpcValue::String(destination.user);
    const RpcValue pass = RpcValue::String(password);
    std::string blogId = endpoint.blogId;
    if (blogId.empty()) {
        // No RSD to say which blog: the user's blogs, the one at the destination or the first.
        const HttpResponse r = RpcPost(endpoint.url, "blogger.getUsersBlogs",
                                       {RpcValue::String(""), user, pass}, options);
        if (r.stage != HttpResponse::Stage::Answered)
            return Result(PostResult::Outcome::Failed, r.error);
        if (std::optional<PostResult> refused = Refusal(r)) return *refused;
        const detail::RpcAnswer answer = detail::ReadRpcAnswer(r.body);
        if (answer.fault && answer.faultCode == 403)
            return Result(PostResult::Outcome::LoginRefused,
                          "faultCode 403: " + answer.faultString);
        for (const RpcValue& blog : answer.value.items) {
            const RpcValue* id = blog.Member("blogid");
            const RpcValue* url = blog.Member("url");
            if (!id) continue;
            if (blogId.empty() || (url && AsFolder(url->scalar) == AsFolder(destination.url)))
                blogId = RpcId(*id);
        }
        if (blogId.empty()) blogId = "1";
    }

    RpcValue content;
    content.type = RpcValue::Type::Struct;
    content.members = {{"title", RpcValue::String(entry.title)},
                       {"description", RpcValue::String(entry.html)}};
    const HttpResponse r = RpcPost(
        endpoint.url, "metaWeblog.newPost",
        {RpcValue::String(blogId), user, pass, content, RpcValue::Boolean(!entry.draft)}, options);
    if (r.stage != HttpResponse::Stage::Answered) return Unanswered(r);
    if (std::optional<PostResult> refused = Refusal(r)) return *refused;
    const detail::RpcAnswer answer = detail::ReadRpcAnswer(r.body);
    if (!answer.wellFormed) {
        // A 200 with no readable answer: the post may have been made.
        return Result(PostResult::Outcome::Uncertain,
                      Status(r) + std::string(msg::Say(msg::kBlogRpcUnreadable)));
    }
    if (answer.fault) {
        const std::string words =
            "faultCode " + std::to_string(answer.faultCode) + ": " + answer.faultString;
        if (answer.faultCode == 403) return Result(PostResult::Outcome::LoginRefused, words);
        return Result(PostResult::Outcome::Failed, words);
    }
    const std::string id = RpcId(answer.value);
    const std::string posted = "metaWeblog.newPost: " + id;

    // The post's address: metaWeblog.getPost's link, else the site's ?p=ID.
    const HttpResponse got =
        RpcPost(endpoint.url, "metaWeblog.getPost", {RpcValue::String(id), user, pass}, options);
    if (got.stage == HttpResponse::Stage::Answered && Is2xx(got)) {
        const detail::RpcAnswer post = detail::ReadRpcAnswer(got.body);
        if (const RpcValue* link = post.fault ? nullptr : post.value.Member("link");
            link && !link->scalar.empty())
            return Result(PostResult::Outcome::Posted, posted, link->scalar);
    }
    const bool digits = !id.empty() && id.find_first_not_of("0123456789") == std::string::npos;
    if (digits)
        return Result(PostResult::Outcome::Posted, posted,
                      detail::ResolveUrl(AsFolder(destination.url), "?p=" + id));
    return Result(PostResult::Outcome::Posted,
                  posted + std::string(msg::Say(msg::kBlogLinkUnknown)));
}

PostResult PostAtom(const Endpoint& endpoint, const Destination& destination,
                    const std::string& password, const Entry& entry, const Options& options) {
    HttpRequest request;
    request.method = "POST";
    request.url = endpoint.url;
    request.headers = {"Content-Type: application/atom+xml;type=entry",
                       "Accept: application/atom+xml"};
    request.body = detail::AtomEntry(entry.title, entry.html, destination.user, entry.draft);
    const HttpResponse r = AtomRequest(request, destination, password, options);
    if (r.stage != HttpResponse::Stage::Answered) return Unanswered(r);
    if (std::optional<PostResult> refused = Refusal(r)) return *refused;
    std::string link =
        detail::AtomAlternateLink(r.body, r.location.empty() ? endpoint.url : r.location);
    if (link.empty()) link = r.location;
    return Result(PostResult::Outcome::Posted,
                  Status(r) + std::string(link.empty() ? msg::Say(msg::kBlogNoLink) : ""), link);
}

}  // namespace

PostResult PostTo(const Endpoint& endpoint, const Destination& destination,
                  const std::string& password, const Entry& entry, const Options& options) {
    switch (endpoint.kind) {
        case ApiKind::WordPressRest:
            return PostRest(endpoint, destination, password, entry, options);
        case ApiKind::XmlRpc:
            return PostXmlRpc(endpoint, destination, password, entry, options);
        case ApiKind::AtomPub:
            return PostAtom(endpoint, destination, password, entry, options);
    }
    return Result(PostResult::Outcome::Failed, std::string(msg::Say(msg::kBlogApiKindUnknown)));
}

PostResult Post(const Destination& destination, const std::string& password, const Entry& entry,
                const Options& options) {
    const Discovery found = Discover(destination, password, options);
    switch (found.outcome) {
        case Discovery::Outcome::Found:
            return PostTo(found.endpoint, destination, password, entry, options);
        case Discovery::Outcome::LoginRefused:
            return Result(PostResult::Outcome::LoginRefused, found.detail);
        case Discovery::Outcome::RetryLater: {
            PostResult later = Result(PostResult::Outcome::RetryLater, found.detail);
            later.retryAfter = found.retryAfter;
            return later;
        }
        case Discovery::Outcome::Failed:
            break;
    }
    return Result(PostResult::Outcome::Failed, found.detail);
}

}  // namespace qubopost::blogapi
