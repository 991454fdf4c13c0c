// The article generator over any page bytes, for each of the three ranking kinds (the first
// input byte picks the kind, the rest is the page).
//
// Properties:
// - the scan gives exactly what a plain scan gives that searches the whole page afresh for
//   every anchor and description, with no memo and no early end (the generator keeps what an
//   earlier description search found);
// - the whole article equals the plain scan rewritten by the kind's replace-all steps done
//   with a plain replace-all;
// - the article always ends with "\r\n\r\n-----into-----";
// - the streaming rewrite, fed the plain scan in pieces cut anywhere and passing tiny
//   chunks between its steps (sizes taken from the first byte), gives the same article,
//   and its article count is the number of separators in the plain rewrite before the
//   closing one, found as a walk by characters finds them.
#include <array>
#include <string>
#include <string_view>

#include "article/article_generator.h"
#include "fuzz_support.h"
#include "platform/encoding.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;

namespace {

constexpr std::string_view kAnchorClosing = "</a>";
constexpr std::string_view kDescriptionOpening = "<td valign=top align=left><span class=style2>";
constexpr std::string_view kDescriptionClosing = "</span></td>";

struct Texts {
    std::array<std::string, 9> skipMarks;
    std::string twoArrowsTitle, oneArrowTitle, rankingDescription, pickupDescription,
        separatorHeading;
};

const Texts& Fixed() {
    static const Texts texts = [] {
        Texts t;
        t.skipMarks = {".jpg", ".JPG", ".gif",
                       ".GIF", ".png", ".PNG",
                       ".tif", ".TIF", Sjis("詳細説明").Bytes()};
        t.twoArrowsTitle = Sjis("/\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n[title]").Bytes();
        t.oneArrowTitle = Sjis("/\r\n\r\nお勧め情報のご案内 ↓\r\n\r\n[title]").Bytes();
        t.rankingDescription = Sjis("\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n").Bytes();
        t.pickupDescription = Sjis("\r\n\r\n詳細はこちら \r\n\r\n↓↓\r\n\r\n").Bytes();
        t.separatorHeading = Sjis("-----into-----\r\n\r\n本日のお勧め内容 ↓↓\r\n\r\n").Bytes();
        return t;
    }();
    return texts;
}

// One scan over the page for one anchor opening: every search starts from scratch.
void PlainScan(std::string_view page, std::string_view opening, std::string& article) {
    long searchPos = 0;
    for (;;) {
        const int anchorStart = fuzz::PlainFind(page, opening, searchPos);
        if (anchorStart < 0) return;
        const int anchorEnd = fuzz::PlainFind(page, kAnchorClosing, anchorStart + 1);
        if (anchorEnd < 0) return;  // an opening without a closing ends this scan
        const std::string_view piece =
            page.substr(static_cast<std::size_t>(anchorStart),
                        static_cast<std::size_t>(anchorEnd - anchorStart));
        searchPos = anchorEnd + 1;
        bool skipped = false;
        for (const std::string& mark : Fixed().skipMarks) {
            if (fuzz::PlainFind(piece, mark, 0) >= 0) skipped = true;
        }
        if (skipped) continue;
        article += piece;
        const int descriptionStart = fuzz::PlainFind(page, kDescriptionOpening, searchPos);
        if (descriptionStart > 0) {
            const int descriptionEnd =
                fuzz::PlainFind(page, kDescriptionClosing, descriptionStart + 1);
            // No closing: the count would be negative and nothing is taken.
            if (descriptionEnd > descriptionStart) {
                article += page.substr(static_cast<std::size_t>(descriptionStart),
                                       static_cast<std::size_t>(descriptionEnd - descriptionStart));
            }
        }
    }
}

std::string PlainRewrite(std::string article, RankingKind kind, int* articles = nullptr) {
    const Texts& t = Fixed();
    article = fuzz::PlainReplace(article, "<a href='", "\r\n\r\n");
    article = fuzz::PlainReplace(article, "/' target=_blank>", t.twoArrowsTitle);
    article = fuzz::PlainReplace(article, "<a href=\"", "\r\n\r\n");
    article = fuzz::PlainReplace(article, "/\" target=_blank>",
                                 kind == RankingKind::Monthly ? t.oneArrowTitle : t.twoArrowsTitle);
    article = fuzz::PlainReplace(
        article, kDescriptionOpening,
        kind == RankingKind::Pickup ? t.pickupDescription : t.rankingDescription);
    if (kind == RankingKind::Pickup)
        article = fuzz::PlainReplace(article, kDescriptionClosing, "\r\n\r\n<end>\r\n");
    article = fuzz::PlainReplace(article, "http://", t.separatorHeading + "http://");
    article = fuzz::PlainReplace(article, "https://", t.separatorHeading + "https://");
    if (articles) fuzz::PlainReplace(article, "-----into-----", "", articles);
    return article + "\r\n\r\n-----into-----";
}

int PlainArticles(const std::string& scanned, RankingKind kind) {
    int articles = 0;
    PlainRewrite(scanned, kind, &articles);
    return articles;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const RankingKind kinds[] = {RankingKind::Monthly, RankingKind::Daily, RankingKind::Pickup};
    const RankingKind kind = kinds[data[0] % 3];
    const std::string_view page(reinterpret_cast<const char*>(data + 1), size - 1);

    const Text scanned = ScanRankingPage(Text(page));
    std::string expected;
    PlainScan(page, "<a href='", expected);
    PlainScan(page, "<a href=\"", expected);
    if (scanned.Bytes() != expected) {
        fuzz::Show("page", page);
        fuzz::Show("scan", scanned.Bytes());
        fuzz::Show("plain scan", expected);
    }
    FUZZ_CHECK(scanned.Bytes() == expected, "the scan differs from a plain scan of the page");

    const Text article = GenerateArticle(Text(page), kind);
    FUZZ_CHECK(fuzz::EndsWith(article.Bytes(), "\r\n\r\n-----into-----"),
               "the article does not end with the closing separator");
    const std::string rewritten = PlainRewrite(expected, kind);
    if (article.Bytes() != rewritten) {
        fuzz::Show("article", article.Bytes());
        fuzz::Show("plain rewrite", rewritten);
    }
    FUZZ_CHECK(article.Bytes() == rewritten,
               "the article differs from the plain rewrite of the plain scan");

    const std::size_t stepChunk = 1 + (data[0] >> 2) % 17;
    const std::size_t piece = 1 + (data[0] >> 4) % 7;
    std::string streamed;
    ArticleRewriter rewriter(
        kind, [&streamed](std::string_view bytes) { streamed.append(bytes); }, stepChunk);
    for (std::size_t at = 0; at < expected.size(); at += piece) {
        rewriter.Feed(std::string_view(expected).substr(at, piece));
    }
    rewriter.Finish();
    if (streamed != rewritten) {
        fuzz::Show("streamed", streamed);
        fuzz::Show("plain rewrite", rewritten);
    }
    FUZZ_CHECK(streamed == rewritten, "the streaming rewrite differs from the plain rewrite");
    FUZZ_CHECK(rewriter.Articles() == PlainArticles(expected, kind),
               "the article count is not the number of separators before the closing one");
    return 0;
}
