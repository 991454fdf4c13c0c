#include "blogapi/xml.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlwriter.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <ctime>
#include <memory>
#include <mutex>

namespace qubopost::blogapi::detail {
namespace {

constexpr const char* kAtomNs = "http://www.w3.org/2005/Atom";
constexpr const char* kAppNs = "http://www.w3.org/2007/app";

struct DocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocDeleter>;

const char* C(const xmlChar* text) { return reinterpret_cast<const char*>(text); }
const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

// Neither external entities nor a DTD are loaded, nothing is fetched, errors stay quiet.
constexpr int kXmlOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

Doc ParseXml(const std::string& body, const std::string& url) {
    InitXml();
    if (body.size() > static_cast<std::size_t>(INT_MAX)) return nullptr;
    return Doc(xmlReadMemory(body.data(), static_cast<int>(body.size()),
                             url.empty() ? nullptr : url.c_str(), nullptr, kXmlOptions));
}

// The libxml2 string as std::string, freed.
std::string Take(xmlChar* text) {
    if (!text) return {};
    std::string out(C(text));
    xmlFree(text);
    return out;
}

std::string Trim(std::string text) {
    const char* blanks = " \t\r\n";
    text.erase(0, text.find_first_not_of(blanks));
    text.erase(text.find_last_not_of(blanks) + 1);
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool Named(const xmlNode* node, const char* name, const char* ns = nullptr) {
    if (!node || node->type != XML_ELEMENT_NODE || !node->name ||
        std::string(C(node->name)) != name)
        return false;
    if (!ns) return true;
    return node->ns && node->ns->href && std::string(C(node->ns->href)) == ns;
}

std::vector<xmlNode*> Children(xmlNode* node) {
    std::vector<xmlNode*> out;
    for (xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) out.push_back(child);
    }
    return out;
}

xmlNode* Child(xmlNode* node, const char* name, const char* ns = nullptr) {
    for (xmlNode* child : Children(node)) {
        if (Named(child, name, ns)) return child;
    }
    return nullptr;
}

// Every element below `node` (itself included), document order.
void Descendants(xmlNode* node, std::vector<xmlNode*>& out) {
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE) out.push_back(node);
        Descendants(node->children, out);
    }
}

std::string Attribute(xmlNode* node, const char* name) { return Take(xmlGetProp(node, X(name))); }
std::string Content(xmlNode* node) { return Take(xmlNodeGetContent(node)); }

// `href` resolved against the node's base (xml:base, an HTML <base>, the document's URL).
std::string Resolved(xmlDoc* doc, xmlNode* node, const std::string& href) {
    const std::string base = Take(xmlNodeGetBase(doc, node));
    if (base.empty()) return href;
    const std::string resolved = Take(xmlBuildURI(X(href.c_str()), X(base.c_str())));
    return resolved.empty() ? href : resolved;
}

RpcValue ReadValue(xmlNode* value) {
    xmlNode* typed = Children(value).empty() ? nullptr : Children(value).front();
    if (!typed) return RpcValue::String(Content(value));  // no type element: a string
    const std::string type(C(typed->name));
    RpcValue out;
    if (type == "string") {
        out.type = RpcValue::Type::String;
        out.scalar = Content(typed);
    } else if (type == "int" || type == "i4" || type == "i8") {
        out.type = RpcValue::Type::Int;
        out.scalar = Trim(Content(typed));
    } else if (type == "boolean") {
        out.type = RpcValue::Type::Boolean;
        out.scalar = Trim(Content(typed));
    } else if (type == "struct") {
        out.type = RpcValue::Type::Struct;
        for (xmlNode* member : Children(typed)) {
            if (!Named(member, "member")) continue;
            xmlNode* name = Child(member, "name");
            xmlNode* inner = Child(member, "value");
            if (name && inner) out.members.push_back({Content(name), ReadValue(inner)});
        }
    } else if (type == "array") {
        out.type = RpcValue::Type::Array;
        for (xmlNode* item : Children(Child(typed, "data"))) {
            if (Named(item, "value")) out.items.push_back(ReadValue(item));
        }
    } else {
        out.type = RpcValue::Type::Other;
        out.scalar = Trim(Content(typed));
    }
    return out;
}

// Writes one XML-RPC <value>.
void WriteValue(xmlTextWriterPtr writer, const RpcValue& value) {
    xmlTextWriterStartElement(writer, X("value"));
    switch (value.type) {
        case RpcValue::Type::String:
            xmlTextWriterWriteElement(writer, X("string"), X(XmlText(value.scalar).c_str()));
            break;
        case RpcValue::Type::Int:
            xmlTextWriterWriteElement(writer, X("int"), X(value.scalar.c_str()));
            break;
        case RpcValue::Type::Boolean:
            xmlTextWriterWriteElement(writer, X("boolean"), X(value.scalar.c_str()));
            break;
        case RpcValue::Type::Other:
            xmlTextWriterWriteString(writer, X(XmlText(value.scalar).c_str()));
            break;
        case RpcValue::Type::Struct:
            xmlTextWriterStartElement(writer, X("struct"));
            for (const auto& [name, member] : value.members) {
                xmlTextWriterStartElement(writer, X("member"));
                xmlTextWriterWriteElement(writer, X("name"), X(XmlText(name).c_str()));
                WriteValue(writer, member);
                xmlTextWriterEndElement(writer);
            }
            xmlTextWriterEndElement(writer);
            break;
        case RpcValue::Type::Array:
            xmlTextWriterStartElement(writer, X("array"));
            xmlTextWriterStartElement(writer, X("data"));
            for (const RpcValue& item : value.items) WriteValue(writer, item);
            xmlTextWriterEndElement(writer);
            xmlTextWriterEndElement(writer);
            break;
    }
    xmlTextWriterEndElement(writer);
}

// A memory writer and its buffer; Finish gives the document.
class Writer {
public:
    Writer() : m_buffer((InitXml(), xmlBufferCreate())) {
        if (m_buffer) m_writer = xmlNewTextWriterMemory(m_buffer, 0);
        if (m_writer) xmlTextWriterStartDocument(m_writer, nullptr, "UTF-8", nullptr);
    }
    ~Writer() {
        if (m_writer) xmlFreeTextWriter(m_writer);
        if (m_buffer) xmlBufferFree(m_buffer);
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    xmlTextWriterPtr Get() const { return m_writer; }
    std::string Finish() {
        if (!m_writer) return {};
        xmlTextWriterEndDocument(m_writer);
        xmlFreeTextWriter(m_writer);  // flushes into the buffer
        m_writer = nullptr;
        return C(xmlBufferContent(m_buffer));
    }

private:
    xmlBufferPtr m_buffer = nullptr;
    xmlTextWriterPtr m_writer = nullptr;
};

}  // namespace

void InitXml() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

std::string XmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
        if (byte == 0x7f) continue;
        out += c;
    }
    return out;
}

const RpcValue* RpcValue::Member(const std::string& name) const {
    for (const auto& [key, value] : members) {
        if (key == name) return &value;
    }
    return nullptr;
}

std::string RpcCall(const std::string& method, const std::vector<RpcValue>& params) {
    Writer writer;
    if (!writer.Get()) return {};
    xmlTextWriterStartElement(writer.Get(), X("methodCall"));
    xmlTextWriterWriteElement(writer.Get(), X("methodName"), X(XmlText(method).c_str()));
    xmlTextWriterStartElement(writer.Get(), X("params"));
    for (const RpcValue& param : params) {
        xmlTextWriterStartElement(writer.Get(), X("param"));
        WriteValue(writer.Get(), param);
        xmlTextWriterEndElement(writer.Get());
    }
    xmlTextWriterEndElement(writer.Get());
    xmlTextWriterEndElement(writer.Get());
    return writer.Finish();
}

RpcAnswer ReadRpcAnswer(const std::string& body) {
    RpcAnswer answer;
    const Doc doc = ParseXml(body, "");
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!Named(root, "methodResponse")) return answer;
    if (xmlNode* fault = Child(root, "fault")) {
        xmlNode* value = Child(fault, "value");
        if (!value) return answer;
        answer.wellFormed = true;
        answer.fault = true;
        answer.value = ReadValue(value);
        if (const RpcValue* code = answer.value.Member("faultCode")) {
            try {
                answer.faultCode = std::stol(code->scalar);
            } catch (const std::exception&) {
                answer.faultCode = 0;
            }
        }
        if (const RpcValue* text = answer.value.Member("faultString"))
            answer.faultString = text->scalar;
        return answer;
    }
    xmlNode* value = Child(Child(Child(root, "params"), "param"), "value");
    if (!value) return answer;
    answer.wellFormed = true;
    answer.value = ReadValue(value);
    return answer;
}

std::vector<RsdApi> ReadRsd(const std::string& body, const std::string& url) {
    std::vector<RsdApi> apis;
    const Doc doc = ParseXml(body, url);
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!Named(root, "rsd")) return apis;
    std::vector<xmlNode*> all;
    Descendants(root, all);
    for (xmlNode* node : all) {
        if (!Named(node, "api")) continue;
        RsdApi api;
        api.name = Attribute(node, "name");
        api.blogId = Attribute(node, "blogID");
        const std::string link = Attribute(node, "apiLink");
        api.apiLink = link.empty() ? "" : Resolved(doc.get(), node, link);
        api.preferred = Lower(Attribute(node, "preferred")) == "true";
        apis.push_back(std::move(api));
    }
    return apis;
}

std::vector<PageLink> ReadHtmlLinks(const std::string& body, const std::string& url) {
    std::vector<PageLink> links;
    InitXml();
    if (body.size() > static_cast<std::size_t>(INT_MAX)) return links;
    const Doc doc(htmlReadMemory(
        body.data(), static_cast<int>(body.size()), url.c_str(), nullptr,
        HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_RECOVER));
    if (!doc) return links;
    std::vector<xmlNode*> all;
    Descendants(xmlDocGetRootElement(doc.get()), all);
    for (xmlNode* node : all) {
        if (!node->name || Lower(C(node->name)) != "link") continue;
        const std::string href = Attribute(node, "href");
        if (href.empty()) continue;
        links.push_back({Attribute(node, "rel"), Resolved(doc.get(), node, href)});
    }
    return links;
}

AtomFound ReadAtomDocument(const std::string& body, const std::string& url) {
    AtomFound found;
    const Doc doc = ParseXml(body, url);
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (Named(root, "feed", kAtomNs)) {
        found.kind = AtomDocument::Feed;
        found.collection = url;
        return found;
    }
    if (!Named(root, "service", kAppNs)) return found;
    found.kind = AtomDocument::Service;
    for (xmlNode* workspace : Children(root)) {
        if (!Named(workspace, "workspace", kAppNs)) continue;
        for (xmlNode* collection : Children(workspace)) {
            if (!Named(collection, "collection", kAppNs)) continue;
            const std::string href = Attribute(collection, "href");
            if (href.empty()) continue;
            // RFC 5023 8.3.4: no app:accept means entries; an empty one, nothing.
            bool entries = true;
            bool anyAccept = false;
            for (xmlNode* accept : Children(collection)) {
                if (!Named(accept, "accept", kAppNs)) continue;
                if (!anyAccept) entries = false;
                anyAccept = true;
                std::string type = Lower(Content(accept));
                type.erase(std::remove_if(type.begin(), type.end(),
                                          [](unsigned char c) { return std::isspace(c); }),
                           type.end());
                if (type == "application/atom+xml;type=entry" || type == "application/atom+xml" ||
                    type == "entry")
                    entries = true;
            }
            if (entries) {
                found.collection = Resolved(doc.get(), collection, href);
                return found;
            }
        }
    }
    return found;
}

std::string AtomEntry(const std::string& title, const std::string& html, const std::string& author,
                      bool draft) {
    char updated[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(updated, sizeof updated, "%Y-%m-%dT%H:%M:%SZ", &utc);

    Writer writer;
    xmlTextWriterPtr w = writer.Get();
    if (!w) return {};
    xmlTextWriterStartElementNS(w, nullptr, X("entry"), X(kAtomNs));
    xmlTextWriterWriteAttribute(w, X("xmlns:app"), X(kAppNs));
    xmlTextWriterStartElement(w, X("title"));
    xmlTextWriterWriteAttribute(w, X("type"), X("text"));
    xmlTextWriterWriteString(w, X(XmlText(title).c_str()));
    xmlTextWriterEndElement(w);
    if (!author.empty()) {
        xmlTextWriterStartElement(w, X("author"));
        xmlTextWriterWriteElement(w, X("name"), X(XmlText(author).c_str()));
        xmlTextWriterEndElement(w);
    }
    xmlTextWriterWriteElement(w, X("updated"), X(updated));
    xmlTextWriterStartElement(w, X("content"));
    xmlTextWriterWriteAttribute(w, X("type"), X("html"));
    xmlTextWriterWriteString(w, X(XmlText(html).c_str()));
    xmlTextWriterEndElement(w);
    xmlTextWriterStartElement(w, X("app:control"));
    xmlTextWriterWriteElement(w, X("app:draft"), X(draft ? "yes" : "no"));
    xmlTextWriterEndElement(w);
    xmlTextWriterEndElement(w);
    return writer.Finish();
}

std::string AtomAlternateLink(const std::string& body, const std::string& url) {
    const Doc doc = ParseXml(body, url);
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!Named(root, "entry", kAtomNs)) return {};
    for (xmlNode* link : Children(root)) {
        if (!Named(link, "link", kAtomNs)) continue;
        // RFC 4287 4.2.7.2: a link without rel is "alternate".
        const std::string rel = Attribute(link, "rel");
        const std::string href = Attribute(link, "href");
        if ((rel.empty() || rel == "alternate") && !href.empty())
            return Resolved(doc.get(), link, href);
    }
    return {};
}

}  // namespace qubopost::blogapi::detail
