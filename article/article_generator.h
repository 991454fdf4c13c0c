// Turns a ranking page (Shift-JIS) into article text: one short article per product
// link, separated by "-----into-----", each with its title behind "[title]".
#pragma once

#include "platform/text.h"

enum class RankingKind { Monthly, Daily, Pickup };

// The article separator and the title tag of the article text.
const Text& ArticleMarker();
const Text& TitleTag();

// Takes the links and descriptions out of the page: first every single-quoted link,
// then every double-quoted one, each followed by the description that comes next.
Text ScanRankingPage(const Text& page);

// Rewrites the scanned markup into article lines for one ranking kind and appends the
// closing separator.
void RewriteArticle(Text& article, RankingKind kind);

// Both steps for one kind.
inline Text GenerateArticle(const Text& page, RankingKind kind) {
    Text article = ScanRankingPage(page);
    RewriteArticle(article, kind);
    return article;
}
