#include "posting/posting_plan.h"

#include "article/article_generator.h"
#include "platform/encoding.h"

namespace {

// Separator positions, each search going on behind the previous separator.
std::vector<int> SeparatorPositions(const Text& article) {
    std::vector<int> positions;
    const int length = ArticleMarker().GetLength();
    for (int pos = article.Find(ArticleMarker()); pos >= 0; pos = article.Find(ArticleMarker(), pos + length)) {
        positions.push_back(pos);
    }
    return positions;
}

// The longest start of text no longer than limit bytes that ends on a whole character.
Text WholeCharacters(const Text& text, int limit) {
    int end = 0;
    while (end < text.GetLength()) {
        const int step = Text::IsLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
        if (end + step > limit) break;
        end += step;
    }
    return text.Left(end);
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

Text LineAt(const Text& text, int start) {
    int end = start;
    while (end < text.GetLength() && !IsLineEnd(text[end])) ++end;
    return text.Mid(start, end - start);
}

}  // namespace

int CountArticles(const Text& article) {
    const int separators = static_cast<int>(SeparatorPositions(article).size());
    if (separators == 0) return -1;
    if (separators == 1) return 1;
    return separators - 1;
}

int GroupCount(int articleCount) {
    if (articleCount <= 2) return 1;
    return (articleCount + kArticlesPerGroup - 1) / kArticlesPerGroup;
}

std::vector<PostingGroup> PlanPosting(const Text& article) {
    const std::vector<int> separators = SeparatorPositions(article);
    std::vector<PostingGroup> groups;
    if (separators.size() < 2) return groups;
    const int articles = static_cast<int>(separators.size()) - 1;
    const int count = GroupCount(articles);
    for (int g = 0; g < count; ++g) {
        const int begin = g == 0 ? 0 : separators[static_cast<std::size_t>(g * kArticlesPerGroup)];
        const int end = g + 1 == count ? article.GetLength()
                                       : separators[static_cast<std::size_t>((g + 1) * kArticlesPerGroup)];
        PostingGroup group;
        group.text = article.Mid(begin, end - begin);
        group.text.Replace(ArticleMarker(), "");
        group.subject = CutSubject(group.text);
        group.text.Replace(TitleTag(), "");
        groups.push_back(std::move(group));
    }
    return groups;
}

Text CutSubject(const Text& groupText) {
    Text title;
    const int tag = groupText.Find(TitleTag());
    if (tag >= 0) {
        title = LineAt(groupText, tag + TitleTag().GetLength());
    } else {
        for (int pos = 0; pos < groupText.GetLength();) {
            title = LineAt(groupText, pos);
            if (!title.IsEmpty()) break;
            ++pos;
        }
    }
    if (title.GetLength() < kMaxSubjectBytes) return title;
    static const Text ellipsis = Sjis("・・");
    return WholeCharacters(title, kMaxSubjectBytes - ellipsis.GetLength()) + ellipsis;
}

std::vector<Text> SplitAddresses(const Text& field) {
    std::vector<Text> addresses;
    const std::string& bytes = field.Bytes();
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && !IsLineEnd(bytes[end])) ++end;
        std::size_t first = start, last = end;
        while (first < last && (bytes[first] == ' ' || bytes[first] == '\t')) ++first;
        while (last > first && (bytes[last - 1] == ' ' || bytes[last - 1] == '\t')) --last;
        if (last > first) addresses.emplace_back(bytes.substr(first, last - first));
        if (end >= bytes.size()) break;
        start = end + ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
    }
    return addresses;
}

int CountAddresses(const Text& field) { return static_cast<int>(SplitAddresses(field).size()); }
