#include "article/article_generator.h"

#include <cstring>

#include <string>

#include "article/sjis_search.h"
#include "platform/encoding.h"

using namespace qubopost::platform;
using namespace qubopost::resources;

namespace qubopost::article {

namespace {

constexpr std::string_view kSingleQuoteOpening = "<a href='";
constexpr std::string_view kDoubleQuoteOpening = "<a href=\"";
constexpr std::string_view kAnchorClosing = "</a>";
constexpr std::string_view kDescriptionOpening = "<td valign=top align=left><span class=style2>";
constexpr std::string_view kDescriptionClosing = "</span></td>";
constexpr std::size_t kNone = std::string_view::npos;

// Links whose piece holds one of these are images or "details" links, not products: an
// image file's extension (".jpg" ... ".TIF", each in one case only) or "詳細説明".
bool IsImageExtension(const char* ext) {
    static constexpr std::string_view kExtensions[] = {"jpg", "JPG", "gif", "GIF",
                                                       "png", "PNG", "tif", "TIF"};
    for (const std::string_view e : kExtensions) {
        if (std::memcmp(ext, e.data(), e.size()) == 0) return true;
    }
    return false;
}

bool HasSkipMark(std::string_view piece) {
    static const Text details = Sjis("詳細説明");
    // Each '.' that starts an extension, checked for its character boundary.
    const char* data = piece.data();
    std::size_t at = 0;
    while (piece.size() >= 4 && at + 4 <= piece.size()) {
        const void* hit = std::memchr(data + at, '.', piece.size() - 3 - at);
        if (!hit) break;
        const std::size_t dot = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        if (IsImageExtension(data + dot + 1) && OnBoundary(data, 0, dot)) return true;
        at = dot + 1;
    }
    return FindOnBoundary(piece, details.Bytes()) != kNone;
}

// Finds the description opening and its closing for search positions that only grow.
// A position right behind an anchor's "</a>" lies on a '/', which can't be part of a
// double-byte character, so an earlier search's answer stays right for every later
// position up to the match it found: each part of the page is searched only once.
class DescriptionFinder {
public:
    explicit DescriptionFinder(std::string_view page) : m_page(page) {}

    // Start of the next description opening at or after from, or kNone.
    std::size_t NextOpening(std::size_t from) {
        const bool reusable = m_searched && from >= m_searchedFrom &&
                              (m_opening == kNone || m_opening >= from) && from < m_page.size() &&
                              !Text::IsLeadByte(static_cast<unsigned char>(m_page[from])) &&
                              m_page[from] != kDescriptionOpening[0];
        if (!reusable) {
            m_opening = FindOnBoundary(m_page, kDescriptionOpening, from);
            m_searchedFrom = from;
            m_searched = true;
        }
        return m_opening;
    }

    // Position of the description closing searched from start + 1, or kNone.
    std::size_t Closing(std::size_t start) {
        if (start != m_closingFor) {
            m_closing = FindOnBoundary(m_page, kDescriptionClosing, start + 1);
            m_closingFor = start;
        }
        return m_closing;
    }

private:
    std::string_view m_page;
    bool m_searched = false;
    std::size_t m_searchedFrom = 0;
    std::size_t m_opening = kNone;
    std::size_t m_closingFor = kNone;
    std::size_t m_closing = kNone;
};

// Hands every span of one anchor kind to take, in page order.
template <typename Take>
void ScanLinks(std::string_view page, std::string_view opening, Take&& take) {
    DescriptionFinder descriptions(page);
    std::size_t searchPos = 0;
    for (;;) {
        const std::size_t anchorStart = FindOnBoundary(page, opening, searchPos);
        if (anchorStart == kNone) return;
        const std::size_t anchorEnd = FindOnBoundary(page, kAnchorClosing, anchorStart + 1);
        // An opening without a closing: no later anchor of this kind can have one either.
        if (anchorEnd == kNone) return;
        const PageSpan piece{anchorStart, anchorEnd - anchorStart};
        searchPos = anchorEnd + 1;
        if (HasSkipMark(page.substr(piece.start, piece.length))) continue;
        take(piece);
        const std::size_t descriptionStart = descriptions.NextOpening(searchPos);
        if (descriptionStart != kNone && descriptionStart > 0) {
            // Without a closing nothing is taken.
            const std::size_t descriptionEnd = descriptions.Closing(descriptionStart);
            if (descriptionEnd != kNone)
                take(PageSpan{descriptionStart, descriptionEnd - descriptionStart});
        }
    }
}

template <typename Take>
void ScanPage(std::string_view page, Take&& take) {
    ScanLinks(page, kSingleQuoteOpening, take);
    ScanLinks(page, kDoubleQuoteOpening, take);
}

const Text& SeparatorHeading() {
    static const Text heading =
        Text(kArticleSeparator) + Sjis("\r\n\r\n本日のお勧め内容 ↓↓\r\n\r\n");
    return heading;
}

// Pieces handed from one step to the next are about this long.
constexpr std::size_t kStepChunk = std::size_t{16} * 1024;

}  // namespace

// One replace-all step working on a stream. The text a step has not yet passed on begins
// on a character boundary of its walk, as the replace-all's search does behind each
// replacement; a match is searched only where it could lie whole within the bytes at
// hand, and what lies before the first boundary where a match could still begin goes on
// to the next step.
struct ArticleRewriter::Steps {
    struct Step {
        std::string_view from;
        std::string_view to;
        std::string pending;  // bytes received but not yet passed on
        std::string out;      // bytes passed on, waiting to go to the next step
        int replaced = 0;
    };
    std::vector<Step> steps;
    Output output;
    std::size_t chunk = kStepChunk;
    bool finished = false;

    void Push(std::size_t index, std::string_view data, bool last) {
        if (index == steps.size()) {
            if (!data.empty()) output(data);
            return;
        }
        Step& step = steps[index];
        std::string_view work = data;
        if (!step.pending.empty()) {
            step.pending.append(data);
            work = step.pending;
        }
        std::size_t done = 0;
        for (std::size_t hit = FindOnBoundary(work, step.from, 0); hit != kNone;
             hit = FindOnBoundary(work, step.from, done)) {
            step.out.append(work.data() + done, hit - done);
            step.out.append(step.to);
            ++step.replaced;
            done = hit + step.from.size();
        }
        std::size_t keep = work.size();
        if (!last) {
            const std::size_t firstUnsearched =
                work.size() >= step.from.size() ? work.size() - step.from.size() + 1 : 0;
            keep = NextSjisBoundary(work, done, std::max(done, firstUnsearched));
            if (keep > work.size()) keep = work.size();
        }
        step.out.append(work.data() + done, keep - done);
        if (work.data() == step.pending.data()) {
            step.pending.erase(0, keep);
        } else {
            step.pending.assign(work.substr(keep));
        }
        if (last || step.out.size() >= chunk) {
            std::string passed;
            passed.swap(step.out);
            Push(index + 1, passed, last);
            passed.clear();
            step.out.swap(passed);  // keeps the buffer for the next round
        }
    }
};

ArticleRewriter::ArticleRewriter(RankingKind kind, Output output, std::size_t stepChunk)
    : m_steps(std::make_unique<Steps>()) {
    m_steps->chunk = stepChunk;
    static const Text twoArrowsTitle =
        Sjis("/\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n") + Text(kTitleTag);
    static const Text oneArrowTitle =
        Sjis("/\r\n\r\nお勧め情報のご案内 ↓\r\n\r\n") + Text(kTitleTag);
    static const Text rankingDescription = Sjis("\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n");
    static const Text pickupDescription = Sjis("\r\n\r\n詳細はこちら \r\n\r\n↓↓\r\n\r\n");
    static const Text httpHeading = SeparatorHeading() + "http://";
    static const Text httpsHeading = SeparatorHeading() + "https://";

    auto& steps = m_steps->steps;
    const auto add = [&steps](std::string_view from, std::string_view to) {
        steps.push_back({from, to, {}, {}, 0});
    };
    add(kSingleQuoteOpening, "\r\n\r\n");
    add("/' target=_blank>", twoArrowsTitle.Bytes());
    add(kDoubleQuoteOpening, "\r\n\r\n");
    add("/\" target=_blank>",
        (kind == RankingKind::Monthly ? oneArrowTitle : twoArrowsTitle).Bytes());
    add(kDescriptionOpening,
        (kind == RankingKind::Pickup ? pickupDescription : rankingDescription).Bytes());
    if (kind == RankingKind::Pickup) add(kDescriptionClosing, "\r\n\r\n<end>\r\n");
    // Every link, over http or https, opens an article of its own.
    add("http://", httpHeading.Bytes());
    add("https://", httpsHeading.Bytes());
    // Replacing the separator by itself changes nothing and counts the separators as the
    // posting plan finds them.
    add(kArticleSeparator, kArticleSeparator);
    m_steps->output = std::move(output);
}

ArticleRewriter::~ArticleRewriter() = default;

void ArticleRewriter::Feed(std::string_view scanned) {
    if (scanned.empty() || m_steps->finished) return;
    // A NUL byte is no text: a page that holds some (a broken server, a binary file) must not
    // pass them on into the article, where the posting would refuse them.
    if (std::memchr(scanned.data(), '\0', scanned.size()) == nullptr) {
        m_steps->Push(0, scanned, false);
        return;
    }
    std::string text;
    text.reserve(scanned.size());
    for (char c : scanned) {
        if (c == '\0') {
            ++m_nulBytes;
        } else {
            text += c;
        }
    }
    if (!text.empty()) m_steps->Push(0, text, false);
}

void ArticleRewriter::Finish() {
    if (m_steps->finished) return;
    m_steps->Push(0, {}, true);
    m_steps->finished = true;
    m_steps->output("\r\n\r\n");
    m_steps->output(kArticleSeparator);
}

int ArticleRewriter::Articles() const { return m_steps->steps.back().replaced; }

std::vector<PageSpan> ScanRankingSpans(std::string_view page) {
    std::vector<PageSpan> spans;
    ScanPage(page, [&spans](const PageSpan& span) { spans.push_back(span); });
    return spans;
}

Text ScanRankingPage(const Text& page) {
    std::string scanned;
    ScanPage(page.Bytes(),
             [&](const PageSpan& span) { scanned.append(page.Bytes(), span.start, span.length); });
    return Text(std::move(scanned));
}

void GenerateArticle(std::string_view page, ArticleRewriter& rewriter) {
    std::string chunk;
    chunk.reserve(kStepChunk);
    ScanPage(page, [&](const PageSpan& span) {
        chunk.append(page.data() + span.start, span.length);
        if (chunk.size() >= kStepChunk) {
            rewriter.Feed(chunk);
            chunk.clear();
        }
    });
    rewriter.Feed(chunk);
    rewriter.Finish();
}

int RewriteArticle(Text& article, RankingKind kind, std::size_t* nulBytes) {
    std::string result;
    result.reserve(article.Bytes().size() + article.Bytes().size() / 2 + 64);
    ArticleRewriter rewriter(kind, [&result](std::string_view piece) { result.append(piece); });
    rewriter.Feed(article.Bytes());
    rewriter.Finish();
    article = Text(std::move(result));
    if (nulBytes) *nulBytes = rewriter.NulBytesDropped();
    return rewriter.Articles();
}

Text GenerateArticle(const Text& page, RankingKind kind, int* articles) {
    std::string result;
    ArticleRewriter rewriter(kind, [&result](std::string_view piece) { result.append(piece); });
    GenerateArticle(page.Bytes(), rewriter);
    if (articles) *articles = rewriter.Articles();
    return Text(std::move(result));
}

}  // namespace qubopost::article
