// The XML of the blog APIs, read and written with libxml2 (no entity loading, no network):
// XML-RPC calls and answers, RSD documents, AtomPub service documents and entries, and the
// <link> elements of an HTML page.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qubopost::blogapi::detail {

// ---- XML-RPC

struct RpcMember;

struct RpcValue {
    enum class Type { String, Int, Boolean, Other, Struct, Array } type = Type::String;
    std::string scalar;  // String, Int, Boolean ("1"/"0"), Other (the text of double, dateTime...)
    std::vector<RpcMember> members;  // Struct
    std::vector<RpcValue> items;     // Array

    static RpcValue String(std::string text);
    static RpcValue Boolean(bool value);
    const RpcValue* Member(const std::string& name) const;
};

// A member of a <struct>: its name and value.
struct RpcMember {
    std::string name;
    RpcValue value;
};

inline RpcValue RpcValue::String(std::string text) {
    return {Type::String, std::move(text), {}, {}};
}
inline RpcValue RpcValue::Boolean(bool value) { return {Type::Boolean, value ? "1" : "0", {}, {}}; }

// <methodCall> with these parameters, UTF-8.
std::string RpcCall(const std::string& method, const std::vector<RpcValue>& params);

struct RpcAnswer {
    bool wellFormed = false;  // a <methodResponse>
    bool fault = false;
    long faultCode = 0;
    std::string faultString;
    RpcValue value;  // the first parameter
};
RpcAnswer ReadRpcAnswer(const std::string& body);

// ---- RSD (Really Simple Discovery)

struct RsdApi {
    std::string name, blogId, apiLink;
    bool preferred = false;
};
// The <api> elements of an RSD document (apiLink resolved against `url`); empty when it is none.
std::vector<RsdApi> ReadRsd(const std::string& body, const std::string& url);

// ---- HTML pages

struct PageLink {
    std::string rel;   // as written
    std::string href;  // resolved against the page's address (and its <base>)
};
std::vector<PageLink> ReadHtmlLinks(const std::string& body, const std::string& url);

// ---- AtomPub

enum class AtomDocument { None, Service, Feed };
struct AtomFound {
    AtomDocument kind = AtomDocument::None;
    std::string collection;  // Service: the first collection that takes entries, resolved
};
AtomFound ReadAtomDocument(const std::string& body, const std::string& url);

// An Atom entry: title, content type="html", updated (now), app:control/app:draft yes|no.
std::string AtomEntry(const std::string& title, const std::string& html, const std::string& author,
                      bool draft);
// The entry's link rel="alternate" href, resolved against `url`; "" when there is none.
std::string AtomAlternateLink(const std::string& body, const std::string& url);

// libxml2's one-time set-up (xmlInitParser), which must come before any use from several threads.
void InitXml();

// Text made fit for XML 1.0: control characters other than tab, LF and CR are dropped (they
// cannot be written in XML at all).
std::string XmlText(const std::string& text);

}  // namespace qubopost::blogapi::detail
