// Posting into a real blog through its APIs: Debian's WordPress on the test bed
// (tests/testbed/wordpress.sh, on 127.0.0.1), through the REST API with an application password
// and through XML-RPC with the account's password. What the blog stored is read back with
// `wordpress.sh check` (the posts as JSON).
//
// The administrator may post any HTML (unfiltered_html), so WordPress stores title and content
// exactly as sent: the expected values below are written out by hand from the text-to-HTML rules
// (paragraphs, line breaks, escapes, URL lines as links).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "blogapi/blogapi.h"
#include "wordpress_bed.h"
#include "wordpress_expectations.h"

namespace qubopost::blogapi {
namespace {

using Json = nlohmann::json;

// A group's text, and the HTML WordPress must then hold.
const std::string kText =
    "ヘッダー：ようこそ♡　今日のおすすめ 〜 ～ ①😀\r\n"
    "\r\n"
    "http://shop.test/item/1/?ref=qubopost&n=1\r\n"
    "\r\n"
    "お勧め情報のご案内 ↓\r\n"
    "Q&A <b>太字ではない</b>\r\n"
    "詳しくはこちら http://shop.test/detail?id=3&lang=ja ♡\r\n";
const std::string kHtml =
    "<p>ヘッダー：ようこそ♡　今日のおすすめ 〜 ～ ①😀</p>\n"
    "<p><a href=\"http://shop.test/item/1/?ref=qubopost&amp;n=1\">http://shop.test/item/1/?ref=qubopost&amp;n=1</a></p>\n"
    "<p>お勧め情報のご案内 ↓<br />\n"
    "Q&amp;A &lt;b&gt;太字ではない&lt;/b&gt;<br />\n"
    "詳しくはこちら http://shop.test/detail?id=3&amp;lang=ja ♡</p>";

class BlogApiWordPress : public testbed::WordPressBedSuite {
protected:
    static Destination Parsed(const std::string& prefix) {
        const std::string line = prefix + BlogUrl();
        std::string reason;
        const std::optional<Destination> d = ParseDestination(line, &reason);
        EXPECT_TRUE(d.has_value()) << line << ": " << reason;
        return d.value_or(Destination{});
    }

    static Options Quick() {
        Options options;
        options.connectTimeout = std::chrono::seconds(30);
        options.idleTimeout = std::chrono::seconds(60);
        return options;
    }
};

bool PhpHasXml() {
    return std::system("php -r 'exit(extension_loaded(\"xml\") ? 0 : 1);' >/dev/null 2>&1") == 0;
}

TEST_F(BlogApiWordPress, DiscoveryFindsRestForTheSiteAndXmlRpcWhenForced) {
    const std::string site = Bed().Env("SITE_URL");
    const Discovery rest = Discover(Parsed(""), Bed().AppPassword(), Quick());
    ASSERT_EQ(rest.outcome, Discovery::Outcome::Found) << rest.detail;
    EXPECT_EQ(rest.endpoint.kind, ApiKind::WordPressRest);
    // The bed uses WordPress's plain permalinks: the API root is one of the ?rest_route=/ forms.
    EXPECT_TRUE(rest.endpoint.url == site + "/?rest_route=/" ||
                rest.endpoint.url == site + "/index.php?rest_route=/")
        << rest.endpoint.url;

    const Discovery rpc = Discover(Parsed("xmlrpc+"), Bed().Env("ADMIN_PASSWORD"), Quick());
    ASSERT_EQ(rpc.outcome, Discovery::Outcome::Found) << rpc.detail;
    EXPECT_EQ(rpc.endpoint.kind, ApiKind::XmlRpc);
    EXPECT_EQ(rpc.endpoint.url, site + "/xmlrpc.php");
    // (The bed has no theme, so its pages are empty: no RSD link, the XML-RPC server is found at
    // /xmlrpc.php.)
}

TEST_F(BlogApiWordPress, EntriesBecomePostsThroughRestAndXmlRpc) {
    if (!PhpHasXml())
        GTEST_SKIP() << "PHP has no XML extension (php-xml): WordPress's XML-RPC cannot run";
    struct Case {
        const char* what;
        const char* prefix;
        bool appPassword;
        bool draft;
        const char* status;
    };
    const Case cases[] = {
        {"REST, published", "", true, false, "publish"},
        {"REST, draft", "wordpress+", true, true, "draft"},
        {"XML-RPC, published", "xmlrpc+", false, false, "publish"},
        {"XML-RPC, draft", "xmlrpc+", false, true, "draft"},
    };
    const std::string titles[] = {"Q&A 〜 初心者向け♡", "①～〜♡😀　短い題 <b>",
                                  "　全角空白で始まる題 \"引用\"",
                                  "New arrivals: coats & jackets ～ http://shop.test/new ♡"};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::map<long, Json> before = Bed().Posts();
        const std::string& title = titles[n++];
        const PostResult result = Post(
            Parsed(c.prefix), c.appPassword ? Bed().AppPassword() : Bed().Env("ADMIN_PASSWORD"),
            {title, TextToHtml(kText), c.draft}, Quick());
        ASSERT_EQ(result.outcome, PostResult::Outcome::Posted) << result.detail;
        const std::map<long, Json> after = Bed().Posts();
        ASSERT_EQ(after.size(), before.size() + 1);
        const Json& post = after.rbegin()->second;
        EXPECT_EQ(post["title"].get<std::string>(), title);
        EXPECT_TRUE(testbed::TextDifference(post["content"].get<std::string>(), kHtml).empty())
            << testbed::TextDifference(post["content"].get<std::string>(), kHtml);
        EXPECT_EQ(post["status"].get<std::string>(), c.status);
        EXPECT_EQ(post["author"].get<std::string>(), Bed().Env("ADMIN_USER"));
        EXPECT_EQ(result.link, post["link"].get<std::string>());
        EXPECT_EQ(result.link.rfind(Bed().Env("SITE_URL") + "/", 0), 0u) << result.link;
    }
}

TEST_F(BlogApiWordPress, AWrongPasswordIsRefusedAfterOneRequest) {
    struct Case {
        const char* what;
        const char* prefix;
    };
    const Case cases[] = {{"REST", "wordpress+"}, {"XML-RPC", "xmlrpc+"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (std::string(c.prefix) == "xmlrpc+" && !PhpHasXml()) continue;
        const std::size_t posts = Bed().Posts().size();
        const int refused = Bed().RefusedLogins();
        const PostResult result =
            Post(Parsed(c.prefix), "wrong password", {"題", "<p>本文</p>", false}, Quick());
        EXPECT_EQ(result.outcome, PostResult::Outcome::LoginRefused) << result.detail;
        EXPECT_TRUE(result.link.empty());
        EXPECT_EQ(Bed().RefusedLogins() - refused, 1)
            << "the login was tried more than once, or not at all";
        EXPECT_EQ(Bed().Posts().size(), posts);
    }
}

}  // namespace
}  // namespace qubopost::blogapi
