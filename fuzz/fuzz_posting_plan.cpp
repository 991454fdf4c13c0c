// The posting planner over any article text (the same bytes also serve as a destination field).
//
// Input: the article text, all of it. Each input is checked as it comes and, where it is not
// well-formed UTF-8, made well-formed (every ill-formed unit replaced by U+FFFD, see
// plain_posting.h).
//
// The texts are UTF-8, in which no byte of a multi-byte character is an ASCII byte: the ASCII
// separators and title tags are found by a plain byte search, which here tries every byte
// position with no shortcut. PlanPosting cuts the text at separators and then, in each group on
// its own, removes the separators and after that the title tags. The property that holds is
// therefore one per group, not one over the whole text: removing the separators of the whole text
// can join a "[tit" before a group boundary to a "le]" behind it, which the group-by-group removal
// never does.
//
// Properties:
// - separators are found by a byte search, each search going on behind the previous separator;
//   CountArticles is -1 without, 1 with one, and one less than their number otherwise;
// - fewer than two separators give no group; otherwise the plain groups are
//   GroupCount(CountArticles) parts of the text that follow each other without gap or
//   overlap: group 1 from the start, group g + 1 from separator 3g (counting from 0), the
//   last to the end of the text;
// - each plain group's text is its part of the text with the separators and then the title
//   tags removed by a plain replace-all; its subject is the plain subject (plain_posting.h) of
//   that part with only the separators removed (a removal can join the bytes around it into a
//   new separator or tag, which then stays: "[tit[title]le]" gives "[title]"), never holds CR or
//   LF and is at most 50 wide in Shift-JIS bytes;
// - the planned groups are the plain groups whose text holds more than CR, LF, blanks, tabs and
//   full-width blanks (U+3000, as a whole character), in order, with those texts and subjects; the
//   spans and GroupBody give the same, GroupBody with its header and footer around the text as
//   they are (a header ending in "[tit" and a text starting with "le]" make no title tag);
// - SplitAddresses gives the lines (CR LF, CR or LF) with blanks, tabs and full-width blanks
//   trimmed from both ends (by characters), empty ones left out, and CountAddresses their number.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "plain_posting.h"
#include "posting/posting_plan.h"

using namespace qubopost::platform;
using namespace qubopost::posting;

namespace {

std::vector<std::size_t> PlainSeparators(std::string_view text) {
    std::vector<std::size_t> positions;
    for (std::size_t pos = fuzz::FindBytes(text, fuzz::kSeparator, 0);
         pos != std::string_view::npos;
         pos = fuzz::FindBytes(text, fuzz::kSeparator, pos + fuzz::kSeparator.size())) {
        positions.push_back(pos);
    }
    return positions;
}

// The characters of a text: its UTF-8 units (plain_posting.h), an ill-formed unit as one.
std::vector<std::string_view> Characters(std::string_view text) {
    std::vector<std::string_view> characters;
    for (const fuzz::Utf8Unit& unit : fuzz::DecodeUtf8(text))
        characters.push_back(text.substr(unit.begin, unit.size));
    return characters;
}

bool IsTrimmedBlank(std::string_view c) {
    return c == " " || c == "\t" || c == fuzz::kFullWidthBlank;
}

bool PlainBlankText(std::string_view text) {
    for (std::string_view c : Characters(text)) {
        if (!IsTrimmedBlank(c) && c != "\r" && c != "\n") return false;
    }
    return true;
}

std::vector<std::string> PlainAddresses(std::string_view field) {
    std::vector<std::string> addresses;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < field.size() && field[end] != '\r' && field[end] != '\n') ++end;
        std::vector<std::string_view> line = Characters(field.substr(start, end - start));
        std::size_t first = 0, last = line.size();
        while (first < last && IsTrimmedBlank(line[first])) ++first;
        while (last > first && IsTrimmedBlank(line[last - 1])) --last;
        std::string address;
        for (std::size_t i = first; i < last; ++i) address += line[i];
        if (!address.empty()) addresses.push_back(address);
        if (end == field.size()) break;
        start = end + (field.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return addresses;
}

void Check(std::string_view article) {
    const Text text(article);

    const std::vector<std::size_t> separators = PlainSeparators(article);
    const int articles = CountArticles(text);
    const int expectedArticles = separators.empty()       ? -1
                                 : separators.size() == 1 ? 1
                                                          : static_cast<int>(separators.size()) - 1;
    FUZZ_CHECK(articles == expectedArticles,
               "CountArticles differs from the separators a byte search finds");

    const std::vector<PostingGroup> groups = PlanPosting(text);
    const std::vector<PostingGroupSpan> spans = PlanPostingSpans(text);
    FUZZ_CHECK(groups.size() == spans.size(), "PlanPosting and PlanPostingSpans differ in groups");
    if (separators.size() < 2) {
        FUZZ_CHECK(groups.empty(), "text with fewer than two separators gave a group");
    } else {
        const std::size_t count = articles <= 2 ? 1 : static_cast<std::size_t>((articles + 2) / 3);
        FUZZ_CHECK(static_cast<int>(count) == GroupCount(articles),
                   "GroupCount is not one group per three articles");
        std::size_t kept = 0;
        for (std::size_t g = 0; g < count; ++g) {
            const std::size_t begin = g == 0 ? 0 : separators[3 * g];
            const std::size_t end = g + 1 == count ? article.size() : separators[3 * (g + 1)];
            const std::string_view part = article.substr(begin, end - begin);
            const std::string withoutSeparators = fuzz::RemoveAll(part, fuzz::kSeparator);
            const std::string expectedText = fuzz::RemoveAll(withoutSeparators, fuzz::kTitleTag);
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
            const std::string expectedSubject = fuzz::PlainSubject(withoutSeparators);
            if (group.subject.Bytes() != expectedSubject) {
                fuzz::Show("article", article);
                std::fprintf(stderr, "  group %zu of %zu\n", g + 1, count);
                fuzz::Show("subject", group.subject.Bytes());
                fuzz::Show("plain subject", expectedSubject);
            }
            FUZZ_CHECK(group.subject.Bytes() == expectedSubject,
                       "a group's subject is not the plain subject of its part");
            FUZZ_CHECK(span.subject == group.subject, "the span's subject differs");
            FUZZ_CHECK(group.subject.Bytes().find_first_of("\r\n") == std::string::npos,
                       "a subject holds a line end");
            FUZZ_CHECK(fuzz::SjisWidthOf(group.subject.Bytes()) <= fuzz::kSubjectLimit,
                       "a subject is wider than 50 Shift-JIS bytes");
            // A header ending in half a character and half a title tag, a footer with the rest.
            const std::string header = "H\xE3\x80[tit", footer =
                                                            "le]\x80"
                                                            "F";
            const Text body = GroupBody(text, span, Text(header), Text(footer));
            FUZZ_CHECK(body.Bytes() == header + expectedText + footer,
                       "GroupBody is not header, group text, footer");
        }
        FUZZ_CHECK(kept == groups.size(), "a group without text to mail was planned");
    }

    const std::vector<Text> addresses = SplitAddresses(text);
    const std::vector<std::string> expectedAddresses = PlainAddresses(article);
    if (addresses.size() != expectedAddresses.size()) fuzz::Show("field", article);
    FUZZ_CHECK(addresses.size() == expectedAddresses.size(),
               "SplitAddresses finds a different number of lines");
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (addresses[i].Bytes() != expectedAddresses[i]) {
            fuzz::Show("field", article);
            fuzz::Show("address", addresses[i].Bytes());
            fuzz::Show("expected", expectedAddresses[i]);
        }
        FUZZ_CHECK(addresses[i].Bytes() == expectedAddresses[i],
                   "SplitAddresses gives a different line");
    }
    FUZZ_CHECK(CountAddresses(text) == static_cast<int>(addresses.size()),
               "CountAddresses differs from SplitAddresses");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view article(reinterpret_cast<const char*>(data), size);
    Check(article);
    if (!fuzz::IsWellFormedUtf8(article)) Check(fuzz::MakeWellFormedUtf8(article));
    return 0;
}
