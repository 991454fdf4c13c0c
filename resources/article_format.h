// The article text's format, shared by the generator that writes it and the posting that cuts
// it: articles are separated by the separator line, and each article's title follows the title
// tag. Both are ASCII, so they read the same in Shift-JIS and in UTF-8.
#pragma once

#include <string_view>

namespace qubopost::resources {

// Between two articles (the generator writes it before each link; a group ends at one).
inline constexpr std::string_view kArticleSeparator = "-----into-----";
// Before an article's title; the posting removes it from the bodies it sends.
inline constexpr std::string_view kTitleTag = "[title]";

}  // namespace qubopost::resources
