#include "article/ranking_request.h"

#include <array>
#include <utility>

#include "platform/encoding.h"
#include "platform/http.h"

using namespace qubopost::platform;
using namespace qubopost::resources;

namespace qubopost::article {

std::string_view RankingHost() { return QUBOPOST_RANKING_HOST; }

Text ProductKindFor(bool download, bool mailMagazine, bool goods) {
    Text kind;
    if (download) kind = "1";
    if (mailMagazine) kind = "2";
    if (goods) kind = "6";
    return kind;
}

Text RankingKindFor(bool monthly, bool daily, bool pickup) {
    Text kind;
    if (monthly) kind = "1";
    if (daily) kind = "2";
    if (pickup) kind = "3";
    return kind;
}

Text CategoryCodeFor(const Text& comboText) {
    static const std::array<std::pair<Text, Text>, 7> codes = {{
        {Sjis("すべて"), ""},
        {Sjis("ビジネス・情報源"), "1"},
        {Sjis("趣味・生活・雑誌"), "2"},
        {Sjis("芸能・音楽"), "3"},
        {Sjis("小説・ノンフィクション"), "4"},
        {Sjis("写真集・グラビア"), "5"},
        {Sjis("漫画・同人誌"), "6"},
    }};
    for (const auto& [label, code] : codes) {
        if (comboText == label) return code;
    }
    return comboText;
}

Text AffiliateIdFor(const Text& fieldText) {
    return fieldText.IsEmpty() ? Text(kDefaultAffiliateId) : fieldText;
}

std::optional<RankingKind> ParseRankingKind(const Text& rankingKind) {
    if (rankingKind == Text("1")) return RankingKind::Monthly;
    if (rankingKind == Text("2")) return RankingKind::Daily;
    if (rankingKind == Text("3")) return RankingKind::Pickup;
    return std::nullopt;
}

std::string EncodeQueryValue(std::string_view value) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                           byte == '_' || byte == '~';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    }
    return out;
}

Text MakeRankingUrl(const Text& productKind, const Text& categoryCode, const Text& affiliateId,
                    const Text& rankingKind, std::string_view host) {
    const char* path = nullptr;
    if (rankingKind == Text("1")) {
        path =
            "/rankfiles/getrank_ex.php?CODE=%s&CID=%s&SCID=&af=%s&listmax=10&font_size=2&r_bg=ff0000";
    } else if (rankingKind == Text("2")) {
        path =
            "/rankfiles24/getrank_ex.php?CODE=%s&CID=%s&SCID=&af=%s&listmax=10&font_size=2&r_bg=ff0000";
    } else if (rankingKind == Text("3")) {
        path = "/pickupfiles/getpickup.php?CODE=%s&CID=%s&SCID=&af=%s";
    } else {
        return Text();
    }
    return Text("http://") + Text(host) +
           Text::Format(path, {Text(EncodeQueryValue(productKind.Bytes())),
                               Text(EncodeQueryValue(categoryCode.Bytes())),
                               Text(EncodeQueryValue(affiliateId.Bytes()))});
}

std::string PageTextFromBody(std::string_view body) {
    std::string page(body);
    if (!page.empty() && page.back() != '\n') page += '\n';
    return page;
}

RankingPage ConvertRankingPage(std::string_view body, const char* pageEncoding,
                               const char* programEncoding) {
    // PageTextFromBody's text converted in two pieces, the body and the line end it may
    // add, so that the body is not copied first.
    PieceConverter converter(pageEncoding, programEncoding);
    std::string page;
    if (converter.Ready()) {
        page.reserve(body.size() + body.size() / 8 + 1);
        converter.Feed(body, page);
        if (!body.empty() && body.back() != '\n') converter.Feed("\n", page);
        converter.Finish(page);
    }
    if (!converter.Ready()) {
        return {RankingPage::Outcome::ConverterUnavailable, Text(),
                "the text conversion is unavailable"};
    }
    return {RankingPage::Outcome::Received, Text(std::move(page)), std::string()};
}

RankingPage FetchRankingPage(const Text& url, const HttpOptions& options, const char* pageEncoding,
                             const char* programEncoding) {
    if (url.IsEmpty())
        return {RankingPage::Outcome::NetworkError, Text(), "no ranking kind selected"};
    const HttpResponse response =
        HttpGet(url.Bytes(), kRankingUserAgent, {kRankingContentType}, options);
    if (!response.received) return {RankingPage::Outcome::NetworkError, Text(), response.error};
    if (response.status >= 400) {
        return {RankingPage::Outcome::NetworkError, Text(),
                "HTTP status " + std::to_string(response.status)};
    }
    return ConvertRankingPage(response.body, pageEncoding, programEncoding);
}

}  // namespace qubopost::article
