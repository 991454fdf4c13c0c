#include "article/fetch_errors.h"

#include <cstdlib>
#include <string_view>


namespace qubopost::article {

namespace {

bool Contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

// The proxy the transfer went through, as the environment names it ("" for none).
std::string ProxyFromEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        if (const char* value = std::getenv(name); value && *value) return value;
    }
    return {};
}

// What a status means and what to do about it, by class.
struct StatusAdvice {
    std::string meaning;
    std::string todo;
};

StatusAdvice AdviceFor(int status) {
    const std::string later = "しばらく待ってから、もう一度「記事自動生成」を押してください。";
    const std::string check = "右クリックメニューの「ランキングサービスの設定…」でホスト名を確かめてください。";
    switch (status) {
        case 401: return {"ログインが必要なページです", check};
        case 403: return {"アクセスが禁止されています", check};
        case 404: return {"ページが見つかりません", "ホスト名が違うか、サービスのページの場所が変わった可能性があります。" + check};
        case 408: return {"リクエストが時間切れになりました", later};
        case 429: return {"リクエストが多すぎると断られました", later};
        case 500: return {"サービスの内部でエラーが起きました", later};
        case 502: return {"サービスの手前の中継サーバでエラーが起きました", later};
        case 503: return {"サービスが一時的に止まっています。メンテナンス中の可能性があります", later};
        case 504: return {"サービスの手前の中継サーバが時間切れになりました", later};
        default:
            if (status >= 500) return {"サービス側でエラーが起きました", later};
            return {"リクエストを受け付けてもらえませんでした", check};
    }
}

// Said at the end of every failure: nothing the user had is gone.
constexpr std::string_view kKept = "記事欄はそのままです。";

}  // namespace

std::string DescribeFetchFailure(const std::string& error, const std::string& host) {
    const std::string proxy = ProxyFromEnvironment();
    const std::string kept(kKept);
    const std::string settingHint = "右クリックメニューの「ランキングサービスの設定…」でホスト名を確かめてください。";
    if (error.rfind("HTTP status ", 0) == 0) {
        const int status = std::atoi(error.c_str() + 12);
        const StatusAdvice advice = AdviceFor(status);
        return "ランキングサービス " + host + " が HTTP " + std::to_string(status) + " を返しました。" + advice.meaning +
               "。" + advice.todo + kept;
    }
    std::string proxyAdvice = "プロキシ " + proxy +
                                    " に接続できません。プロキシが止まっているか、設定が古い可能性があります。"
                                    "環境変数 http_proxy と https_proxy の設定を確かめてください。" + kept;
    if (Contains(error, "Could not resolve proxy") || (!proxy.empty() && Contains(error, "proxy"))) return proxyAdvice;
    if (Contains(error, "Could not resolve host"))
        return "ホスト名 " + host + " が見つかりません。綴りが違うか、ネットワークにつながっていない可能性があります。" +
               settingHint + kept;
    if (Contains(error, "Connection refused") || Contains(error, "Couldn't connect")) {
        if (!proxy.empty()) return proxyAdvice;
        return "ランキングサービス " + host + " に接続を断られました。サービスが止まっているか、ホスト名かポート番号が違う可能性があります。" +
               settingHint + kept;
    }
    if (Contains(error, "timed out") || Contains(error, "Timeout") || Contains(error, "no data for") ||
        Contains(error, "no complete answer within"))
        return "ランキングサービス " + host + " から時間内に応答がありませんでした。サービスが混んでいるか、"
               "ネットワークが不安定な可能性があります。しばらく待ってからやり直してください。" + kept;
    if (Contains(error, "larger than"))
        return "ランキングページが大きすぎます: " + error + "。ホスト名が正しいか確かめてください。" + kept;
    if (Contains(error, "SSL") || Contains(error, "certificate"))
        return "ランキングサービス " + host + " との暗号化通信に失敗しました。" + settingHint + kept;
    return "ランキングページを取得できませんでした: " + error + "。" + kept;
}

}  // namespace qubopost::article
