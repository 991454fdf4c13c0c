// The posting planner over any article text (the same bytes also serve as a destination field).
//
// PlanPosting cuts the text at separators and then, in each group on its own, removes the
// separators and after that the title tags. The property that holds is therefore one per
// group, not one over the whole text: removing the separators of the whole text can join a
// "[tit" before a group boundary to a "le]" behind it, or pair a lone lead byte with the
// byte behind the separator, which the group-by-group removal never does.
//
// Properties:
// - separators are found as a walk by characters finds them, each search going on behind the
//   previous separator; CountArticles is -1 without, 1 with one, and one less than their
//   number otherwise;
// - fewer than two separators give no group; otherwise the plain groups are
//   GroupCount(CountArticles) parts of the text that follow each other without gap or
//   overlap: group 1 from the start, group g + 1 from separator 3g (counting from 0), the
//   last to the end of the text;
// - each plain group's text is its part of the text with the separators and then the title
//   tags removed by a plain replace-all; its subject is the plain subject of that part with
//   only the separators removed (a removal can join the bytes around it into a new separator
//   or tag, which then stays: "[tit[title]le]" gives "[title]");
// - the planned groups are the plain groups whose text holds more than line ends, blanks,
//   tabs and full-width blanks, in order, with those texts and subjects; the spans and
//   GroupBody (with a header and footer) give the same;
// - SplitAddresses gives the lines (CR LF, CR or LF) trimmed of blanks, tabs and full-width
//   blanks (walking by characters), empty ones left out, and CountAddresses their number.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "plain_posting.h"
#include "posting/posting_plan.h"

namespace {

std::vector<std::size_t> PlainSeparators(std::string_view text) {
    std::vector<std::size_t> positions;
    for (int pos = fuzz::PlainFind(text, fuzz::kSeparator, 0); pos >= 0;
         pos = fuzz::PlainFind(text, fuzz::kSeparator, pos + static_cast<long>(fuzz::kSeparator.size()))) {
        positions.push_back(static_cast<std::size_t>(pos));
    }
    return positions;
}

bool PlainBlankChar(std::string_view c) {
    return c == " " || c == "\t" || c == "\r" || c == "\n" || c == "\x81\x40";
}

// The characters of a text, walking by Shift-JIS characters (a lead byte at the end alone).
std::vector<std::string_view> Characters(std::string_view text) {
    std::vector<std::string_view> characters;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = fuzz::IsSjisLead(text[i]) && i + 1 < text.size() ? 2 : 1;
        characters.push_back(text.substr(i, length));
        i += length;
    }
    return characters;
}

bool PlainBlankText(std::string_view text) {
    for (std::string_view c : Characters(text)) {
        if (!PlainBlankChar(c)) return false;
    }
    return true;
}

std::vector<std::string> PlainAddresses(std::string_view field) {
    std::vector<std::string> addresses;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = field.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = field.size();
        std::vector<std::string_view> line = Characters(field.substr(start, end - start));
        while (!line.empty() && (line.front() == " " || line.front() == "\t" || line.front() == "\x81\x40")) {
            line.erase(line.begin());
        }
        while (!line.empty() && (line.back() == " " || line.back() == "\t" || line.back() == "\x81\x40")) {
            line.pop_back();
        }
        std::string address;
        for (std::string_view c : line) address += c;
        if (!address.empty()) addresses.push_back(address);
        if (end == field.size()) break;
        start = end + (field.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return addresses;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view article(reinterpret_cast<const char*>(data), size);
    const Text text(article);

    const std::vector<std::size_t> separators = PlainSeparators(article);
    const int articles = CountArticles(text);
    const int expectedArticles = separators.empty()        ? -1
                                 : separators.size() == 1 ? 1
                                                          : static_cast<int>(separators.size()) - 1;
    FUZZ_CHECK(articles == expectedArticles, "CountArticles differs from the separators a walk by characters finds");

    const std::vector<PostingGroup> groups = PlanPosting(text);
    const std::vector<PostingGroupSpan> spans = PlanPostingSpans(text);
    FUZZ_CHECK(groups.size() == spans.size(), "PlanPosting and PlanPostingSpans differ in groups");
    if (separators.size() < 2) {
        FUZZ_CHECK(groups.empty(), "text with fewer than two separators gave a group");
    } else {
        const std::size_t count = articles <= 2 ? 1 : static_cast<std::size_t>((articles + 2) / 3);
        FUZZ_CHECK(static_cast<int>(count) == GroupCount(articles), "GroupCount is not one group per three articles");
        std::size_t kept = 0;
        for (std::size_t g = 0; g < count; ++g) {
            const std::size_t begin = g == 0 ? 0 : separators[3 * g];
            const std::size_t end = g + 1 == count ? article.size() : separators[3 * (g + 1)];
            const std::string_view part = article.substr(begin, end - begin);
            const std::string withoutSeparators = fuzz::PlainReplace(part, fuzz::kSeparator, "");
            const std::string expectedText = fuzz::PlainReplace(withoutSeparators, fuzz::kTitleTag, "");
            if (PlainBlankText(expectedText)) continue;
            FUZZ_CHECK(kept < groups.size(), "a group with text to mail was left out");
            const PostingGroup& group = groups[kept];
            const PostingGroupSpan& span = spans[kept];
            ++kept;
            FUZZ_CHECK(span.begin == static_cast<int>(begin) && span.end == static_cast<int>(end),
                       "a group's span is not its part of the text");
            if (group.text.Bytes() != expectedText) {
                fuzz::Show("article", article);
                std::fprintf(stderr, "  group %zu of %zu\n", g + 1, count);
                fuzz::Show("group text", group.text.Bytes());
                fuzz::Show("expected", expectedText);
            }
            FUZZ_CHECK(group.text.Bytes() == expectedText,
                       "a group's text is not its part with separators and tags removed");
            FUZZ_CHECK(group.subject.Bytes() == fuzz::PlainSubject(withoutSeparators),
                       "a group's subject is not the plain subject of its part");
            FUZZ_CHECK(span.subject == group.subject, "the span's subject differs");
            FUZZ_CHECK(group.subject.GetLength() <= static_cast<int>(fuzz::kSubjectLimit),
                       "a subject is longer than 50 bytes");
            const Text body = GroupBody(text, span, Text("H\x81"), Text("F"));
            FUZZ_CHECK(body.Bytes() == "H\x81" + expectedText + "F", "GroupBody is not header, group text, footer");
        }
        FUZZ_CHECK(kept == groups.size(), "a group without text to mail was planned");
    }

    const std::vector<Text> addresses = SplitAddresses(text);
    const std::vector<std::string> expectedAddresses = PlainAddresses(article);
    FUZZ_CHECK(addresses.size() == expectedAddresses.size(), "SplitAddresses finds a different number of lines");
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        FUZZ_CHECK(addresses[i].Bytes() == expectedAddresses[i], "SplitAddresses gives a different line");
    }
    FUZZ_CHECK(CountAddresses(text) == static_cast<int>(addresses.size()), "CountAddresses differs from SplitAddresses");
    return 0;
}
