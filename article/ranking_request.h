// The ranking request: which page of the ranking service to fetch for the user's
// selections, and how its body becomes the page text the article generator reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "article/article_generator.h"
#include "platform/http.h"
#include "platform/text.h"

namespace qubopost::article {

// Host name of the ranking service, fixed when the program is built.
std::string_view RankingHost();

// The agent string and the added header of the request.
inline constexpr const char* kRankingUserAgent = "Test Agent Ver0.01";
inline constexpr const char* kRankingContentType =
    "Content-Type: application/x-www-form-urlencoded";

// The affiliate ID sent when the field is empty.
inline constexpr std::string_view kDefaultAffiliateId = "zuto837461";

// CODE of the checked product-kind radio (download, paid mail magazine, goods), "" for none.
platform::Text ProductKindFor(bool download, bool mailMagazine, bool goods);
// "1", "2" or "3" for the checked ranking-kind radio (monthly, daily, pickup), "" for none.
platform::Text RankingKindFor(bool monthly, bool daily, bool pickup);
// CID for a category combo text: the code of a known label, any other text unchanged.
platform::Text CategoryCodeFor(const platform::Text& comboText);
// af: the field's text, or the default ID when it is empty.
platform::Text AffiliateIdFor(const platform::Text& fieldText);
// The ranking kind named by "1", "2" or "3".
std::optional<RankingKind> ParseRankingKind(const platform::Text& rankingKind);

// Percent-encodes every byte but A-Z a-z 0-9 - . _ ~ so that a value stays one value.
std::string EncodeQueryValue(std::string_view value);

// "http://" + host + the path and query of the ranking kind's template, or "" for an
// unknown kind. Each value is encoded.
platform::Text MakeRankingUrl(const platform::Text& productKind, const platform::Text& categoryCode,
                              const platform::Text& affiliateId, const platform::Text& rankingKind,
                              std::string_view host);

// The page text of a response body: its lines, each followed by one "\n".
std::string PageTextFromBody(std::string_view body);

// A ranking page fetched and converted to the program's encoding.
struct RankingPage {
    enum class Outcome { Received, NetworkError, ConverterUnavailable } outcome;
    platform::Text page;  // Received: the converted page text
    std::string error;    // NetworkError: what went wrong, in English
};

// One GET of the ranking URL, then the body's lines converted from the page's encoding
// (EUC-JP) to the program's (CP932). A status of 400 or more is a network error.
RankingPage FetchRankingPage(const platform::Text& url, const platform::HttpOptions& options,
                             const char* pageEncoding = "EUC-JP",
                             const char* programEncoding = "windows-31j");
// The same for a body already at hand.
RankingPage ConvertRankingPage(std::string_view body, const char* pageEncoding = "EUC-JP",
                               const char* programEncoding = "windows-31j");

}  // namespace qubopost::article
