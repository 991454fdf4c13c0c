// The subject cutter over any group text (UTF-8, or bytes that are not).
//
// Input: the group text, all of it. Each input is checked as it comes and, where it is not
// well-formed UTF-8, made well-formed (every ill-formed unit replaced by U+FFFD, see
// plain_posting.h).
//
// Properties:
// - the subject is the plain subject (plain_posting.h: the title, and below width 50 the title as
//   it stands, otherwise the longest start of whole grapheme clusters of at most width 46 and
//   "・・"; widths are Shift-JIS bytes, clusters as ICU's character breaks give them);
// - it never holds CR or LF, and its width is at most 50;
// - an uncut subject (title narrower than 50) is the title, part of the text, narrower than 50;
// - a cut subject is a start of the title of at most width 46 that ends on a whole character (a
//   well-formed title gives a well-formed start), then "・・"; checked without ICU (see
//   plain_posting.h): the start never separates a character from a combining mark, variation
//   selector, emoji modifier, tag or ZWJ behind it, never splits an emoji ZWJ sequence or a
//   flag, and a character that would still fit is left out only where it is not plain text
//   between plain text (for a title that is not well-formed: never);
// - the subject of well-formed text is well-formed.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "plain_posting.h"
#include "posting/posting_plan.h"

using namespace qubopost::platform;
using namespace qubopost::posting;

namespace {

void CheckCut(std::string_view groupText, std::string_view title, std::string_view subject) {
    FUZZ_CHECK(fuzz::EndsWith(subject, fuzz::kEllipsis), "a cut subject does not end in \"・・\"");
    const std::string_view kept = subject.substr(0, subject.size() - fuzz::kEllipsis.size());
    FUZZ_CHECK(title.substr(0, kept.size()) == kept, "a cut subject is not a start of its title");
    FUZZ_CHECK(fuzz::SjisWidthOf(kept) <= fuzz::kCutRoom,
               "a cut subject keeps more than width 46 of its title");
    FUZZ_CHECK(fuzz::IsUnitBoundary(title, kept.size()), "a cut subject ends inside a character");

    const std::vector<fuzz::Utf8Unit> units = fuzz::DecodeUtf8(title);
    std::size_t k = 0;  // the first unit left out
    while (k < units.size() && units[k].begin < kept.size()) ++k;
    FUZZ_CHECK(k < units.size(), "a cut subject keeps its whole title");
    const bool fits = fuzz::SjisWidthOf(kept) + fuzz::SjisWidth(units[k]) <= fuzz::kCutRoom;
    if (!fuzz::IsWellFormedUtf8(title)) {
        if (fits) fuzz::Show("group text", groupText);
        FUZZ_CHECK(!fits,
                   "a cut of a title that is not well-formed left out a character that fits");
        return;
    }
    FUZZ_CHECK(fuzz::IsWellFormedUtf8(kept), "a cut of a well-formed title is not well-formed");
    if (const char* split = fuzz::ClusterSplitAt(units, k)) {
        fuzz::Show("group text", groupText);
        fuzz::Show("subject", subject);
        fuzz::Broken(__FILE__, __LINE__, "ClusterSplitAt(units, k) == nullptr", split);
    }
    const bool plainAround = (k == 0 || fuzz::IsPlain(units[k - 1].code)) &&
                             fuzz::IsPlain(units[k].code) &&
                             (k + 1 == units.size() || fuzz::IsPlain(units[k + 1].code));
    if (plainAround && fits) fuzz::Show("group text", groupText);
    FUZZ_CHECK(!(plainAround && fits),
               "a cut left out a plain character between plain ones that would still fit");
}

void Check(std::string_view groupText, bool wellFormed) {
    const Text result = CutSubject(Text(groupText));
    const std::string& subject = result.Bytes();
    const std::string expected = fuzz::PlainSubject(groupText);
    if (subject != expected) {
        fuzz::Show("group text", groupText);
        fuzz::Show("subject", subject);
        fuzz::Show("plain subject", expected);
    }
    FUZZ_CHECK(subject == expected, "the subject differs from the plain subject");
    FUZZ_CHECK(subject.find_first_of("\r\n") == std::string::npos, "the subject holds a line end");
    FUZZ_CHECK(fuzz::SjisWidthOf(subject) <= fuzz::kSubjectLimit,
               "the subject is wider than 50 Shift-JIS bytes");

    const std::string_view title = fuzz::PlainTitle(groupText);
    if (fuzz::SjisWidthOf(title) < fuzz::kSubjectLimit) {
        FUZZ_CHECK(subject == title, "a title narrower than 50 is not the subject as it stands");
        FUZZ_CHECK(groupText.find(subject) != std::string_view::npos,
                   "an uncut subject is not part of the text");
    } else {
        CheckCut(groupText, title, subject);
    }
    if (wellFormed)
        FUZZ_CHECK(fuzz::IsWellFormedUtf8(subject),
                   "the subject of well-formed text is not well-formed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool wellFormed = fuzz::IsWellFormedUtf8(text);
    Check(text, wellFormed);
    if (!wellFormed) Check(fuzz::MakeWellFormedUtf8(text), true);
    return 0;
}
