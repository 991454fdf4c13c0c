#include "article/fetch_errors.h"

#include <cstdlib>
#include <string_view>

namespace {

bool Contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

// The proxy the transfer went through, as the environment names it ("" for none).
std::string ProxyFromEnvironment() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        if (const char* value = std::getenv(name); value && *value) return value;
    }
    return {};
}

std::string StatusMeaning(int status) {
    switch (status) {
        case 400: return "リクエストが正しくありません";
        case 401: return "認証が必要です";
        case 403: return "アクセスが禁止されています";
        case 404: return "ページが見つかりません";
        case 408: return "リクエストが時間切れになりました";
        case 429: return "リクエストが多すぎます。しばらく待ってからやり直してください";
        case 500: return "サーバ内部のエラーです";
        case 502: return "ゲートウェイのエラーです";
        case 503: return "サービスを一時的に利用できません（メンテナンス中など）";
        case 504: return "ゲートウェイが時間切れになりました";
        default: return status >= 500 ? "サーバ側のエラーです" : "リクエストが受け付けられませんでした";
    }
}

}  // namespace

std::string DescribeFetchFailure(const std::string& error, const std::string& host) {
    const std::string proxy = ProxyFromEnvironment();
    const std::string settingHint = "右クリックメニューの「ランキングサービスの設定…」でホストを確認してください。";
    if (error.rfind("HTTP status ", 0) == 0) {
        const int status = std::atoi(error.c_str() + 12);
        return "ランキングサービス（" + host + "）が HTTP " + std::to_string(status) + "（" + StatusMeaning(status) +
               "）を返しました。";
    }
    if (Contains(error, "Could not resolve proxy") || (!proxy.empty() && Contains(error, "proxy")))
        return "プロキシ（" + proxy + "）に接続できません。環境変数 http_proxy / https_proxy の設定を確認してください。";
    if (Contains(error, "Could not resolve host"))
        return "ホスト名「" + host + "」が見つかりません。" + settingHint;
    if (Contains(error, "Connection refused") || Contains(error, "Couldn't connect")) {
        if (!proxy.empty())
            return "プロキシ（" + proxy + "）に接続できません。環境変数 http_proxy / https_proxy の設定を確認してください。";
        return "ランキングサービス（" + host + "）に接続を拒否されました。" + settingHint;
    }
    if (Contains(error, "timed out") || Contains(error, "Timeout") || Contains(error, "no data for") ||
        Contains(error, "no complete answer within"))
        return "ランキングサービス（" + host + "）から時間内に応答がありませんでした。しばらく待ってからやり直してください。";
    if (Contains(error, "larger than"))
        return "ランキングページが大きすぎます（" + error + "）。";
    if (Contains(error, "SSL") || Contains(error, "certificate"))
        return "ランキングサービス（" + host + "）との暗号化通信に失敗しました。";
    return "ランキングページを取得できませんでした（" + error + "）。";
}
