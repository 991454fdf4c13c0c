// Posting through the Atom Publishing Protocol against a server on 127.0.0.1.
//
// No real AtomPub blog runs on this machine, so the server below is written from RFC 5023 (the
// service document, its collections and app:accept, POST of an entry to a collection answered by
// 201 Created with a Location and the member entry) and from the WSSE UsernameToken profile as
// the Japanese blog services document it (X-WSSE: UsernameToken Username, PasswordDigest =
// Base64(SHA1(nonce + created + password)), Nonce = Base64(nonce), Created in UTC). It checks
// what the client sends the way such a server would, with libxml2 and libcrypto, and can be told
// to make the mistakes a real one makes (refusals, overload, an answer that never comes).
#include <gtest/gtest.h>
#include <httplib.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "blogapi/blogapi.h"
#include "support/http_server.h"

namespace qubopost::blogapi {
namespace {

constexpr const char* kUser = "taro";
constexpr const char* kPassword = "api-key-ひみつ&\"<>";  // bytes a careless client would spoil
constexpr const char* kAtom = "http://www.w3.org/2005/Atom";
constexpr const char* kApp = "http://www.w3.org/2007/app";

std::string Base64Decode(const std::string& text) {
    std::string out(text.size(), '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) return {};
    std::size_t size = static_cast<std::size_t>(n);
    // EVP_DecodeBlock counts the padding's bytes as zeros.
    if (text.size() >= 1 && text.back() == '=') --size;
    if (text.size() >= 2 && text[text.size() - 2] == '=') --size;
    out.resize(size);
    return out;
}

std::string Base64Encode(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

enum class Mistake { None, LocationOnly, Error500RetryAfter, Error503, Error429, Error400, Slow };

// What the server found in one POST of an entry.
struct Received {
    std::string title, titleType, content, contentType, draft, mediaType;
};

class AtomPubServer {
public:
    ~AtomPubServer() {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_release.notify_all();
    }

    int Port() const { return m_server.Port(); }
    std::string Base() const { return m_server.Base(); }
    void Make(Mistake mistake) { m_mistake = mistake; }
    std::vector<Received> Entries() {
        std::lock_guard lock(m_mutex);
        return m_entries;
    }
    int Posts() const { return m_posts; }
    int ServiceGets() const { return m_serviceGets; }
    std::vector<std::string> Problems() {
        std::lock_guard lock(m_mutex);
        return m_problems;
    }

private:
    void Problem(const std::string& what) {
        std::lock_guard lock(m_mutex);
        m_problems.push_back(what);
    }

    // The X-WSSE header checked as the profile says; false (and a 401) when it does not hold.
    bool Authenticated(const httplib::Request& q, httplib::Response& r) {
        static const std::regex token(
            R"re(^UsernameToken Username="([^"]*)", PasswordDigest="([^"]*)", Nonce="([^"]*)", Created="([^"]*)"$)re");
        std::smatch m;
        const std::string header = q.get_header_value("X-WSSE");
        bool ok = std::regex_match(header, m, token);
        if (ok) {
            const std::string nonce = Base64Decode(m[3]);
            const std::string created = m[4];
            const std::string input = nonce + created + kPassword;
            unsigned char digest[SHA_DIGEST_LENGTH];
            SHA1(reinterpret_cast<const unsigned char*>(input.data()), input.size(), digest);
            ok = m[1] == kUser &&
                 m[2] == Base64Encode(
                             std::string(reinterpret_cast<const char*>(digest), sizeof digest)) &&
                 !nonce.empty();
            if (!std::regex_match(created, std::regex(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)")))
                Problem("Created is not a UTC time: " + created);
            std::lock_guard lock(m_mutex);
            if (!m_nonces.insert(m[3]).second) Problem("a nonce came twice: " + std::string(m[3]));
        }
        if (!ok) {
            r.status = 401;
            r.set_header("WWW-Authenticate", "WSSE profile=\"UsernameToken\"");
            r.set_content("bad credentials", "text/plain");
        }
        return ok;
    }

    void Service(const httplib::Request& q, httplib::Response& r) {
        if (!Authenticated(q, r)) return;
        ++m_serviceGets;
        // One collection for images only (an app:accept without entries: skipped), then the
        // entries' collection, its href relative to xml:base.
        r.set_content(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<service xmlns=\"http://www.w3.org/2007/app\" xmlns:atom=\"http://www.w3.org/2005/Atom\" "
            "xml:base=\"" +
                Base() +
                "/atom/\">"
                "<workspace><atom:title>ブログ</atom:title>"
                "<collection href=\"images\"><atom:title>画像</atom:title><accept>image/png</accept></collection>"
                "<collection href=\"entry\"><atom:title>記事</atom:title>"
                "<accept>application/atom+xml;type=entry</accept></collection>"
                "</workspace></service>",
            "application/atomsvc+xml");
    }

    void Collection(const httplib::Request& q, httplib::Response& r) {
        ++m_posts;
        if (!Authenticated(q, r)) return;
        Received got;
        got.mediaType = q.get_header_value("Content-Type");
        xmlDoc* doc = xmlReadMemory(q.body.data(), static_cast<int>(q.body.size()), nullptr,
                                    nullptr, XML_PARSE_NONET);
        xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
        const auto is = [](xmlNode* n, const char* name, const char* ns) {
            return n && n->type == XML_ELEMENT_NODE &&
                   std::string(reinterpret_cast<const char*>(n->name)) == name && n->ns &&
                   std::string(reinterpret_cast<const char*>(n->ns->href)) == ns;
        };
        const auto text = [](xmlNode* n) {
            xmlChar* t = xmlNodeGetContent(n);
            std::string s = t ? reinterpret_cast<const char*>(t) : "";
            xmlFree(t);
            return s;
        };
        const auto attribute = [](xmlNode* n, const char* name) {
            xmlChar* t = xmlGetProp(n, reinterpret_cast<const xmlChar*>(name));
            std::string s = t ? reinterpret_cast<const char*>(t) : "";
            xmlFree(t);
            return s;
        };
        if (!is(root, "entry", kAtom)) {
            Problem("the body is no Atom entry: " + q.body);
        } else {
            for (xmlNode* n = root->children; n; n = n->next) {
                if (is(n, "title", kAtom))
                    got.title = text(n), got.titleType = attribute(n, "type");
                if (is(n, "content", kAtom))
                    got.content = text(n), got.contentType = attribute(n, "type");
                if (is(n, "control", kApp)) {
                    for (xmlNode* d = n->children; d; d = d->next) {
                        if (is(d, "draft", kApp)) got.draft = text(d);
                    }
                }
            }
        }
        if (doc) xmlFreeDoc(doc);
        {
            std::lock_guard lock(m_mutex);
            m_entries.push_back(got);
        }
        const std::string member = Base() + "/atom/entry/1000";
        switch (m_mistake.load()) {
            case Mistake::None:
                r.status = 201;
                r.set_header("Location", member);
                r.set_content(
                    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                    "<entry xmlns=\"http://www.w3.org/2005/Atom\"><id>tag:example,2024:1000</id>"
                    "<link rel=\"edit\" href=\"" +
                        member +
                        "\"/>"
                        "<link rel=\"alternate\" type=\"text/html\" href=\"https://taro.example/entry/2024/1000\"/>"
                        "<title>x</title></entry>",
                    "application/atom+xml;type=entry");
                return;
            case Mistake::LocationOnly:
                r.status = 201;
                r.set_header("Location", "/atom/entry/1001");  // relative: resolved by the client
                return;
            case Mistake::Error500RetryAfter:
                r.status = 500;
                r.set_header("Retry-After", "120");
                return;
            case Mistake::Error503:
                r.status = 503;
                return;
            case Mistake::Error429:
                r.status = 429;
                r.set_header("Retry-After", "30");
                return;
            case Mistake::Error400:
                r.status = 400;
                r.set_content("bad entry", "text/plain");
                return;
            case Mistake::Slow: {
                // The entry has arrived; the answer waits (at most 30 s) until the test ends.
                std::unique_lock lock(m_mutex);
                m_release.wait_for(lock, std::chrono::seconds(30), [this] { return m_released; });
                r.status = 201;
                return;
            }
        }
    }

    std::atomic<Mistake> m_mistake{Mistake::None};
    std::atomic<int> m_posts{0};
    std::atomic<int> m_serviceGets{0};
    std::mutex m_mutex;
    std::condition_variable m_release;
    bool m_released = false;
    std::vector<Received> m_entries;
    std::vector<std::string> m_problems;
    std::set<std::string> m_nonces;
    // Last: it serves from its construction on, and stops first.
    LocalHttpServer m_server{[this](const httplib::Request& q, httplib::Response& r) {
                                 if (q.method == "GET" && q.path == "/atom")
                                     Service(q, r);
                                 else if (q.method == "POST" && q.path == "/atom/entry")
                                     Collection(q, r);
                                 else
                                     r.status = 404;
                             },
                             LocalHttpServer::Methods::GetAndPost};
};

Destination Parsed(const std::string& line) {
    std::string reason;
    const std::optional<Destination> d = ParseDestination(line, &reason);
    EXPECT_TRUE(d.has_value()) << line << ": " << reason;
    return d.value_or(Destination{});
}

Options Quick() {
    Options options;
    options.connectTimeout = std::chrono::seconds(10);
    options.idleTimeout = std::chrono::seconds(10);
    return options;
}

TEST(BlogApiAtomPub, EntriesArePostedToTheCollectionOfTheServiceDocument) {
    struct Case {
        const char* what;
        bool draft;
        Mistake answer;
        std::string link;  // "" = the server's member address + suffix below
        const char* draftWord;
    };
    AtomPubServer server;
    const Case cases[] = {
        {"published, the entry's alternate link", false, Mistake::None,
         "https://taro.example/entry/2024/1000", "no"},
        {"draft", true, Mistake::None, "https://taro.example/entry/2024/1000", "yes"},
        {"no entry in the answer: the Location, resolved", false, Mistake::LocationOnly,
         server.Base() + "/atom/entry/1001", "no"},
    };
    const Entry entry{"Q&A <特集> 〜 ①😀",
                      "<p>本文 &amp; <a href=\"http://shop.test/?a=1&amp;b=2\">リンク</a></p>",
                      false};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        server.Make(c.answer);
        const std::size_t before = server.Entries().size();
        Entry e = entry;
        e.draft = c.draft;
        const PostResult result =
            Post(Parsed("atompub+http://taro@127.0.0.1:" + std::to_string(server.Port()) + "/atom"),
                 kPassword, e, Quick());
        EXPECT_EQ(result.outcome, PostResult::Outcome::Posted) << result.detail;
        EXPECT_EQ(result.link, c.link);
        const std::vector<Received> entries = server.Entries();
        ASSERT_EQ(entries.size(), before + 1);
        const Received& got = entries.back();
        EXPECT_EQ(got.mediaType, "application/atom+xml;type=entry");
        EXPECT_EQ(got.title, entry.title);
        EXPECT_EQ(got.content, entry.html);
        EXPECT_EQ(got.contentType, "html");
        EXPECT_EQ(got.draft, c.draftWord);
    }
    EXPECT_EQ(server.Problems(), std::vector<std::string>{});
}

TEST(BlogApiAtomPub, WithoutAPrefixTheServiceIsFoundBehindItsLogin) {
    AtomPubServer server;
    const Destination d =
        Parsed("http://taro@127.0.0.1:" + std::to_string(server.Port()) + "/atom");
    ASSERT_FALSE(d.forced);
    const Discovery found = Discover(d, kPassword, Quick());
    ASSERT_EQ(found.outcome, Discovery::Outcome::Found) << found.detail;
    EXPECT_EQ(found.endpoint.kind, ApiKind::AtomPub);
    EXPECT_EQ(found.endpoint.url, server.Base() + "/atom/entry");
    const PostResult result = Post(d, kPassword, {"題", "<p>本文</p>", false}, Quick());
    EXPECT_EQ(result.outcome, PostResult::Outcome::Posted) << result.detail;
    EXPECT_EQ(server.Posts(), 1);
    EXPECT_EQ(server.Problems(), std::vector<std::string>{});
}

TEST(BlogApiAtomPub, TheServersRefusalsAndSilences) {
    struct Case {
        const char* what;
        Mistake mistake;
        std::string password;
        PostResult::Outcome outcome;
        std::optional<std::chrono::seconds> retryAfter;
        int posts;  // POSTs the server saw: never more than one
    };
    const Case cases[] = {
        // A wrong digest: the service document is refused already, nothing is posted.
        {"wrong password", Mistake::None, "wrong", PostResult::Outcome::LoginRefused, std::nullopt,
         0},
        {"500 with Retry-After", Mistake::Error500RetryAfter, kPassword,
         PostResult::Outcome::RetryLater, std::chrono::seconds(120), 1},
        {"503 without Retry-After", Mistake::Error503, kPassword, PostResult::Outcome::RetryLater,
         std::nullopt, 1},
        {"429 with Retry-After", Mistake::Error429, kPassword, PostResult::Outcome::RetryLater,
         std::chrono::seconds(30), 1},
        {"400", Mistake::Error400, kPassword, PostResult::Outcome::Failed, std::nullopt, 1},
        // The entry arrived and the answer does not come within the time-out: may be posted.
        {"no answer after the entry was sent", Mistake::Slow, kPassword,
         PostResult::Outcome::Uncertain, std::nullopt, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AtomPubServer server;
        server.Make(c.mistake);
        Options options = Quick();
        options.idleTimeout = std::chrono::milliseconds(1500);
        const PostResult result =
            Post(Parsed("atompub+http://taro@127.0.0.1:" + std::to_string(server.Port()) + "/atom"),
                 c.password, {"題", "<p>本文</p>", false}, options);
        EXPECT_EQ(result.outcome, c.outcome) << result.detail;
        EXPECT_EQ(result.retryAfter, c.retryAfter);
        EXPECT_FALSE(result.detail.empty());
        EXPECT_EQ(server.Posts(), c.posts);
    }
}

TEST(BlogApiAtomPub, TheProxyVariablesAreNotUsed) {
    LocalHttpServer proxy([](const httplib::Request&, httplib::Response& r) { r.status = 502; });
    ProxyEnvironment environment(proxy.ProxyUrl());
    setenv("HTTPS_PROXY", proxy.ProxyUrl().c_str(), 1);
    setenv("ALL_PROXY", proxy.ProxyUrl().c_str(), 1);
    AtomPubServer server;
    const PostResult result =
        Post(Parsed("atompub+http://taro@127.0.0.1:" + std::to_string(server.Port()) + "/atom"),
             kPassword, {"題", "<p>本文</p>", false}, Quick());
    unsetenv("HTTPS_PROXY");
    unsetenv("ALL_PROXY");
    EXPECT_EQ(result.outcome, PostResult::Outcome::Posted) << result.detail;
    EXPECT_EQ(server.Posts(), 1);
    EXPECT_TRUE(proxy.Requests().empty());
}

TEST(BlogApiAtomPub, AStopBeforeTheStartSendsNothing) {
    AtomPubServer server;
    int stop = 1;
    Options options = Quick();
    options.stop = &stop;
    const PostResult result =
        Post(Parsed("atompub+http://taro@localhost:" + std::to_string(server.Port()) + "/atom"),
             kPassword, {"題", "<p>本文</p>", false}, options);
    EXPECT_EQ(result.outcome, PostResult::Outcome::Failed) << result.detail;
    EXPECT_EQ(server.ServiceGets(), 0);
    EXPECT_EQ(server.Posts(), 0);
}

}  // namespace
}  // namespace qubopost::blogapi
