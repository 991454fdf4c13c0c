// Turns a ranking page (Shift-JIS) into article text: one short article per product
// link, separated by "-----into-----", each with its title behind "[title]".
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "resources/article_format.h"

namespace qubopost::article {

enum class RankingKind { Monthly, Daily, Pickup };

// A part of the page that the scan takes into the article text.
struct PageSpan {
    std::size_t start = 0;
    std::size_t length = 0;
};

// Takes the links and descriptions out of the page: first every single-quoted link,
// then every double-quoted one, each followed by the description that comes next. The
// scanned text is the spans' bytes one after the other.
std::vector<PageSpan> ScanRankingSpans(std::string_view page);
// The scanned text itself.
platform::Text ScanRankingPage(const platform::Text& page);

// The rewrite of scanned text into article lines for one ranking kind, as a stream: the
// scanned text goes in piece by piece (cut anywhere) and the article text comes out in
// pieces, byte for byte what the replace-all steps over the whole text would give,
// followed by the closing separator. Only a few dozen kilobytes are held at a time.
class ArticleRewriter {
public:
    using Output = std::function<void(std::string_view)>;
    // stepChunk: about how many bytes each step gathers before passing them on.
    ArticleRewriter(RankingKind kind, Output output,
                    std::size_t stepChunk = std::size_t{16} * 1024);
    ~ArticleRewriter();
    ArticleRewriter(const ArticleRewriter&) = delete;
    ArticleRewriter& operator=(const ArticleRewriter&) = delete;

    void Feed(std::string_view scanned);
    // The scanned text has ended: everything held goes out, then the closing separator.
    void Finish();
    // The articles written so far: the separators in the text before the closing one, as
    // the posting plan finds them (one in front of every "http://" and "https://" address
    // of the kept links). With the closing separator that makes CountArticles of the whole
    // text whenever it is not 0; 0 means the text holds no article: posting it would mail
    // nothing, as it has a single separator.
    int Articles() const;
    // NUL bytes of the scanned text, dropped as they came (they never reach the article).
    std::size_t NulBytesDropped() const { return m_nulBytes; }

private:
    struct Steps;
    std::unique_ptr<Steps> m_steps;
    std::size_t m_nulBytes = 0;
};

// Rewrites the scanned markup into article lines for one ranking kind and appends the
// closing separator. Returns the number of articles (see ArticleRewriter::Articles).
// nulBytes: set to the number of NUL bytes dropped.
int RewriteArticle(platform::Text& article, RankingKind kind, std::size_t* nulBytes = nullptr);

// Both steps for one kind. articles: set to ArticleRewriter::Articles.
platform::Text GenerateArticle(const platform::Text& page, RankingKind kind,
                               int* articles = nullptr);
// Both steps, the scanned text going straight into the rewriter (which is finished).
void GenerateArticle(std::string_view page, ArticleRewriter& rewriter);

}  // namespace qubopost::article
