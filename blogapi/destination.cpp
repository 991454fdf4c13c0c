// ParseDestination and TextToHtml: what needs no connection.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <libxml/entities.h>

#include <array>
#include <cctype>
#include <charconv>
#include <memory>

#include "blogapi/blogapi.h"
#include "blogapi/xml.h"
#include "mail/resolve.h"
#include "resources/messages/messages.h"

namespace qubopost::blogapi {
namespace {

namespace msg = qubopost::messages;

struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using Url = std::unique_ptr<CURLU, UrlDeleter>;

std::string Part(CURLU* url, CURLUPart part, unsigned flags = 0) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || !text) return {};
    std::string out(text);
    curl_free(text);
    return out;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool AsciiBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && AsciiBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && AsciiBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool IsLiteralAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::optional<Destination> Refuse(std::string* reason, std::string text) {
    if (reason) *reason = std::move(text);
    return std::nullopt;
}

// libxml2's escaping of & < > " (and CR, which never occurs here: lines are split first).
std::string Escaped(std::string_view text) {
    detail::InitXml();
    const std::string copy(text);
    xmlChar* escaped =
        xmlEncodeSpecialChars(nullptr, reinterpret_cast<const xmlChar*>(copy.c_str()));
    if (!escaped) return {};
    std::string out(reinterpret_cast<const char*>(escaped));
    xmlFree(escaped);
    return out;
}

// A line that is an http:// or https:// URL and nothing else (libcurl's URL parser decides).
bool IsUrlLine(std::string_view line) {
    const std::string lower = Lower(line.substr(0, 8));
    if (!lower.starts_with("http://") && !lower.starts_with("https://")) return false;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) return false;
    }
    Url url(curl_url());
    const std::string copy(line);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) return false;
    return !Part(url.get(), CURLUPART_HOST).empty();
}

}  // namespace

std::optional<Destination> ParseDestination(std::string_view line, std::string* reason) {
    const std::string_view kForm = msg::Say(msg::kBlogUrlForm);
    std::string_view text = Trim(line);
    if (text.empty()) return Refuse(reason, msg::Say(msg::kBlogDestinationEmpty, {kForm}));

    Destination destination;
    struct Prefix {
        const char* text;
        ApiKind kind;
    };
    constexpr std::array<Prefix, 3> kPrefixes = {{{"wordpress+", ApiKind::WordPressRest},
                                                  {"xmlrpc+", ApiKind::XmlRpc},
                                                  {"atompub+", ApiKind::AtomPub}}};
    for (const Prefix& prefix : kPrefixes) {
        const std::string_view p(prefix.text);
        if (Lower(text.substr(0, p.size())) == p) {
            destination.kind = prefix.kind;
            destination.forced = true;
            text.remove_prefix(p.size());
            break;
        }
    }

    Url url(curl_url());
    const std::string written(text);
    if (!url) return Refuse(reason, std::string(msg::Say(msg::kBlogOutOfMemory)));
    if (curl_url_set(url.get(), CURLUPART_URL, written.c_str(), 0) != CURLUE_OK)
        return Refuse(reason, msg::Say(msg::kBlogNotUrl, {kForm, written}));
    const std::string scheme = Lower(Part(url.get(), CURLUPART_SCHEME));
    if (scheme != "http" && scheme != "https")
        return Refuse(reason, msg::Say(msg::kBlogSchemeInvalid, {written}));
    std::string host = Lower(Part(url.get(), CURLUPART_HOST));
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty()) return Refuse(reason, msg::Say(msg::kBlogNoHost, {kForm}));

    char* password = nullptr;
    if (curl_url_get(url.get(), CURLUPART_PASSWORD, &password, 0) == CURLUE_OK) {
        curl_free(password);
        return Refuse(reason, std::string(msg::Say(msg::kBlogPasswordInUrl)));
    }
    const std::string user = Part(url.get(), CURLUPART_USER, CURLU_URLDECODE);
    if (user.empty()) {
        // libcurl refuses to decode a control character ("%0D%0A").
        if (!Part(url.get(), CURLUPART_USER).empty())
            return Refuse(reason, std::string(msg::Say(msg::kBlogUserControlCharacter)));
        return Refuse(reason, msg::Say(msg::kBlogNoUser, {kForm}));
    }
    for (const char c : user) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            return Refuse(reason, std::string(msg::Say(msg::kBlogUserControlCharacter)));
    }
    if (scheme == "http" && IsLiteralAddress(host) && !mail::IsLoopbackAddress(host)) {
        return Refuse(reason, msg::Say(msg::kBlogHttpOnlyLoopback, {written}));
    }

    const std::string port = Part(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    std::from_chars(port.data(), port.data() + port.size(), destination.port);
    curl_url_set(url.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0);
    destination.url = Part(url.get(), CURLUPART_URL);
    destination.user = user;
    destination.host = host;
    if (destination.url.empty() || destination.port <= 0)
        return Refuse(reason, msg::Say(msg::kBlogNotUrl, {kForm, written}));
    return destination;
}

std::string TextToHtml(std::string_view utf8Text) {
    // Lines, without their CR LF or LF.
    std::vector<std::string_view> lines;
    while (!utf8Text.empty()) {
        const std::size_t end = utf8Text.find('\n');
        std::string_view line = utf8Text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        utf8Text.remove_prefix(end + 1);
    }

    std::string html;
    bool inParagraph = false;
    for (const std::string_view line : lines) {
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty()) {
            if (inParagraph) html += "</p>";
            inParagraph = false;
            continue;
        }
        if (inParagraph) {
            html += "<br />\n";
        } else {
            if (!html.empty()) html += "\n";
            html += "<p>";
            inParagraph = true;
        }
        if (IsUrlLine(trimmed)) {
            const std::string url = Escaped(trimmed);
            html.append("<a href=\"").append(url).append("\">").append(url).append("</a>");
        } else {
            html += Escaped(line);
        }
    }
    if (inParagraph) html += "</p>";
    return html;
}

}  // namespace qubopost::blogapi
