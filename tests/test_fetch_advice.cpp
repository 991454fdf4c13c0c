// What the ranking page's failures say after "通信エラー": what happened, the likely cause, what to
// do, and that the article field was kept. The phrases are written here, not read from the code.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "article/fetch_errors.h"

using namespace qubopost::article;

namespace {

struct Advice {
    const char* error;  // the transfer's own words
    const char* happened;
    const char* todo;
};

const Advice kAdvice[] = {
    {"HTTP status 404", "HTTP 404", "ランキングサービスの設定"},
    {"HTTP status 401", "ログインが必要", "ランキングサービスの設定"},
    {"HTTP status 429", "多すぎる", "しばらく待って"},
    {"HTTP status 500", "HTTP 500", "しばらく待って"},
    {"HTTP status 503", "メンテナンス中", "しばらく待って"},
    {"HTTP status 418", "受け付けてもらえません", "ランキングサービスの設定"},
    {"Could not resolve host: ranking.example.jp", "見つかりません", "ネットワーク"},
    {"Failed to connect to ranking.example.jp port 80: Connection refused", "接続を断られました",
     "ホスト名"},
    {"no data for 60 s", "時間内に応答がありません", "しばらく待って"},
    {"no complete answer within 180 s", "時間内に応答がありません", "しばらく待って"},
    {"the page is larger than 32 MiB", "大きすぎます", "ホスト名"},
    {"SSL certificate problem: unable to get local issuer certificate", "暗号化通信に失敗",
     "ホスト名"},
};

}  // namespace

TEST(FetchAdvice, EveryFailureSaysWhatHappenedWhatToDoAndThatTheArticleWasKept) {
    unsetenv("http_proxy");
    unsetenv("HTTP_PROXY");
    unsetenv("all_proxy");
    unsetenv("ALL_PROXY");
    for (const Advice& advice : kAdvice) {
        SCOPED_TRACE(advice.error);
        const std::string text = DescribeFetchFailure(advice.error, "ranking.example.jp");
        EXPECT_NE(text.find(advice.happened), std::string::npos) << text;
        EXPECT_NE(text.find(advice.todo), std::string::npos) << text;
        EXPECT_NE(text.find("記事欄はそのままです。"), std::string::npos) << text;
        EXPECT_EQ(text.find("（"), std::string::npos)
            << text;  // plain sentences, no nested brackets
    }
}

TEST(FetchAdvice, AProxyThatIsDownIsNamedWithTheVariablesToCheck) {
    setenv("http_proxy", "http://proxy.example.jp:3128", 1);
    const std::string text =
        DescribeFetchFailure("Failed to connect to proxy.example.jp port 3128: Connection refused",
                             "ranking.example.jp");
    unsetenv("http_proxy");
    EXPECT_NE(text.find("http://proxy.example.jp:3128"), std::string::npos) << text;
    EXPECT_NE(text.find("http_proxy"), std::string::npos) << text;
    EXPECT_NE(text.find("記事欄はそのままです。"), std::string::npos) << text;
}
