#include "article/article_generator.h"

#include <array>

#include "platform/encoding.h"

namespace {

const Text kSingleQuoteOpening = "<a href='";
const Text kDoubleQuoteOpening = "<a href=\"";
const Text kAnchorClosing = "</a>";
const Text kDescriptionOpening = "<td valign=top align=left><span class=style2>";
const Text kDescriptionClosing = "</span></td>";

// Links whose piece holds one of these are images or "details" links, not products.
const std::array<Text, 9>& SkipMarks() {
    static const std::array<Text, 9> marks = {
        Text(".jpg"), Text(".JPG"), Text(".gif"), Text(".GIF"), Text(".png"),
        Text(".PNG"), Text(".tif"), Text(".TIF"), Sjis("詳細説明"),
    };
    return marks;
}

bool HasSkipMark(const Text& piece) {
    for (const Text& mark : SkipMarks()) {
        if (piece.Find(mark) >= 0) return true;
    }
    return false;
}

// Finds the description opening and its closing for search positions that only grow.
// A position right behind an anchor's "</a>" lies on a '/', which can't be part of a
// double-byte character, so an earlier search's answer stays right for every later
// position up to the match it found: each part of the page is searched only once.
class DescriptionFinder {
public:
    explicit DescriptionFinder(const Text& page) : m_page(page) {}

    // Start of the next description opening at or after from, or -1.
    int NextOpening(int from) {
        const bool reusable = m_searched && from >= m_searchedFrom &&
                              (m_opening < 0 || m_opening >= from) && from < m_page.GetLength() &&
                              !Text::IsLeadByte(static_cast<unsigned char>(m_page[from])) &&
                              m_page[from] != kDescriptionOpening[0];
        if (!reusable) {
            m_opening = m_page.Find(kDescriptionOpening, from);
            m_searchedFrom = from;
            m_searched = true;
        }
        return m_opening;
    }

    // Position of the description closing searched from start + 1, or -1.
    int Closing(int start) {
        if (start != m_closingFor) {
            m_closing = m_page.Find(kDescriptionClosing, start + 1);
            m_closingFor = start;
        }
        return m_closing;
    }

private:
    const Text& m_page;
    bool m_searched = false;
    int m_searchedFrom = 0;
    int m_opening = -1;
    int m_closingFor = -1;
    int m_closing = -1;
};

void ScanLinks(const Text& page, const Text& opening, Text& article) {
    DescriptionFinder descriptions(page);
    int searchPos = 0;
    for (;;) {
        const int anchorStart = page.Find(opening, searchPos);
        if (anchorStart < 0) return;
        const int anchorEnd = page.Find(kAnchorClosing, anchorStart + 1);
        // An opening without a closing: no later anchor of this kind can have one either.
        if (anchorEnd < 0) return;
        const Text piece = page.Mid(anchorStart, anchorEnd - anchorStart);
        searchPos = anchorEnd + 1;
        if (HasSkipMark(piece)) continue;
        article += piece;
        const int descriptionStart = descriptions.NextOpening(searchPos);
        if (descriptionStart > 0) {
            const int descriptionEnd = descriptions.Closing(descriptionStart);
            article += page.Mid(descriptionStart, descriptionEnd - descriptionStart);
        }
    }
}

struct Rewrite {
    Text from;
    Text to;
};

const Text& SeparatorHeading() {
    static const Text heading = Sjis("-----into-----\r\n\r\n本日のお勧め内容 ↓↓\r\n\r\n");
    return heading;
}

}  // namespace

const Text& ArticleMarker() {
    static const Text marker = "-----into-----";
    return marker;
}

const Text& TitleTag() {
    static const Text tag = "[title]";
    return tag;
}

Text ScanRankingPage(const Text& page) {
    Text article;
    ScanLinks(page, kSingleQuoteOpening, article);
    ScanLinks(page, kDoubleQuoteOpening, article);
    return article;
}

void RewriteArticle(Text& article, RankingKind kind) {
    static const Text twoArrowsTitle = Sjis("/\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n[title]");
    static const Text oneArrowTitle = Sjis("/\r\n\r\nお勧め情報のご案内 ↓\r\n\r\n[title]");
    static const Text rankingDescription = Sjis("\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n");
    static const Text pickupDescription = Sjis("\r\n\r\n詳細はこちら \r\n\r\n↓↓\r\n\r\n");

    article.Replace(kSingleQuoteOpening, "\r\n\r\n");
    article.Replace("/' target=_blank>", twoArrowsTitle);
    article.Replace(kDoubleQuoteOpening, "\r\n\r\n");
    article.Replace("/\" target=_blank>", kind == RankingKind::Monthly ? oneArrowTitle : twoArrowsTitle);
    article.Replace(kDescriptionOpening, kind == RankingKind::Pickup ? pickupDescription : rankingDescription);
    if (kind == RankingKind::Pickup) article.Replace(kDescriptionClosing, "\r\n\r\n<end>\r\n");
    // Every link, over http or https, opens an article of its own.
    article.Replace("http://", SeparatorHeading() + "http://");
    article.Replace("https://", SeparatorHeading() + "https://");
    article += "\r\n\r\n";
    article += ArticleMarker();
}
