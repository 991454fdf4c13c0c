// Text's search, cut and replace-all against plain versions written here.
//
// Input: byte 0 is the needle's length (mod 32), byte 1 the replacement's (mod 32), bytes 2-3
// a signed start position (little endian), byte 4 a signed count; then the needle, the
// replacement, and the rest is the text.
//
// Properties:
// - Find(needle, start) and Find(char, start) give what a walk by characters from start gives,
//   and a match found always begins on a character start as seen from the start position;
// - Mid(start, count) and Mid(start) clamp as documented;
// - Replace gives the text and the count of a plain left-to-right replace-all that goes on
//   behind each inserted text;
// - Format puts each "%s" and "%d" argument in place and never looks into a double-byte
//   character for a '%';
// - NextSjisBoundary gives the first character start at or after a position, as a walk by
//   characters from the start position finds it;
// - the text taken as EUC-JP (and as UTF-8) and converted in pieces cut anywhere (the piece
//   length from byte 4) gives what ICU gives converting the whole text in one call.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz_support.h"
#include "platform/encoding.h"
#include "platform/text.h"

using namespace qubopost::platform;

namespace {

std::string PlainMid(std::string_view text, long start, long count) {
    if (start < 0) start = 0;
    if (count < 0) count = 0;
    if (static_cast<std::size_t>(start) >= text.size()) return std::string();
    return std::string(
        text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count)));
}

// The format walked by characters; a '%' opens a field only where a character begins.
std::string PlainFormat(std::string_view format, std::string_view text, long long number) {
    std::string out;
    int used = 0;
    for (std::size_t i = 0; i < format.size();) {
        if (fuzz::IsSjisLead(format[i]) && i + 1 < format.size()) {
            out += format.substr(i, 2);
            i += 2;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            i += 2;
        } else if (format[i] == '%' && i + 1 < format.size() &&
                   (format[i + 1] == 's' || format[i + 1] == 'd') && used < 2) {
            out += used == 0 ? std::string(text) : std::to_string(number);
            ++used;
            i += 2;
        } else {
            out += format[i];
            ++i;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::size_t needleLength = data[0] % 32;
    std::size_t toLength = data[1] % 32;
    const int start = static_cast<std::int16_t>(data[2] | data[3] << 8);
    const int count = static_cast<std::int8_t>(data[4]);
    std::string_view rest(reinterpret_cast<const char*>(data + 5), size - 5);
    needleLength = std::min(needleLength, rest.size());
    const std::string needle(rest.substr(0, needleLength));
    rest.remove_prefix(needleLength);
    toLength = std::min(toLength, rest.size());
    const std::string to(rest.substr(0, toLength));
    rest.remove_prefix(toLength);
    const std::string hay(rest);
    const Text text(hay);

    // Search.
    const int found = text.Find(Text(needle), start);
    const int expected = fuzz::PlainFind(hay, needle, start);
    if (found != expected) {
        fuzz::Show("text", hay);
        fuzz::Show("needle", needle);
        std::fprintf(stderr, "  start %d: Find gave %d, the walk by characters %d\n", start, found,
                     expected);
    }
    FUZZ_CHECK(found == expected, "Find differs from a walk by characters");
    if (found >= 0) {
        FUZZ_CHECK(fuzz::IsCharacterStart(hay, static_cast<std::size_t>(std::max(start, 0)),
                                          static_cast<std::size_t>(found)),
                   "a match begins inside a double-byte character");
        FUZZ_CHECK(hay.compare(static_cast<std::size_t>(found), needle.size(), needle) == 0,
                   "Find reports a match where the needle does not stand");
    }
    if (!needle.empty()) {
        const int foundChar = text.Find(needle[0], start);
        FUZZ_CHECK(foundChar == fuzz::PlainFind(hay, needle.substr(0, 1), start),
                   "Find of one byte differs from a walk by characters");
    }

    // Cuts.
    FUZZ_CHECK(text.Mid(start, count).Bytes() == PlainMid(hay, start, count),
               "Mid(start, count) clamps wrongly");
    FUZZ_CHECK(text.Mid(start).Bytes() == PlainMid(hay, start, static_cast<long>(hay.size())),
               "Mid(start) clamps wrongly");
    FUZZ_CHECK(text.Left(count).Bytes() == PlainMid(hay, 0, count), "Left clamps wrongly");

    // Replace-all.
    Text replaced = text;
    const int replacements = replaced.Replace(Text(needle), Text(to));
    int expectedReplacements = 0;
    const std::string expectedText = fuzz::PlainReplace(hay, needle, to, &expectedReplacements);
    if (replaced.Bytes() != expectedText || replacements != expectedReplacements) {
        fuzz::Show("text", hay);
        fuzz::Show("from", needle);
        fuzz::Show("to", to);
        fuzz::Show("Replace", replaced.Bytes());
        fuzz::Show("plain", expectedText);
    }
    FUZZ_CHECK(replaced.Bytes() == expectedText, "Replace differs from a plain replace-all");
    FUZZ_CHECK(replacements == expectedReplacements,
               "Replace counts differently from a plain replace-all");
    if (needle.empty()) FUZZ_CHECK(replaced == text, "replacing an empty text changed something");

    // Formatted creation: the text is the format, the needle the "%s" argument.
    const Text formatted = Text::Format(text, {Text(needle), static_cast<long long>(start)});
    FUZZ_CHECK(formatted.Bytes() == PlainFormat(hay, needle, start),
               "Format differs from a plain format");

    // Character boundaries.
    const std::size_t known = std::min(static_cast<std::size_t>(std::max(start, 0)), hay.size());
    const std::size_t target =
        known +
        static_cast<std::size_t>(static_cast<std::uint8_t>(data[4])) % (hay.size() - known + 1);
    std::size_t walked = known;
    while (walked < target) walked += fuzz::IsSjisLead(hay[walked]) ? 2 : 1;
    FUZZ_CHECK(NextSjisBoundary(hay, known, target) == walked,
               "NextSjisBoundary differs from a walk by characters");

    // Conversion in pieces.
    const std::size_t piece = 1 + static_cast<std::size_t>(static_cast<std::uint8_t>(data[4])) % 13;
    for (const auto& [from, whole] :
         {std::pair{"EUC-JP", "eucjis"}, std::pair{"UTF-8", "ibm-1208"}}) {
        PieceConverter converter(from, "windows-31j");
        std::string pieces;
        for (std::size_t at = 0; at < hay.size(); at += piece)
            converter.Feed(std::string_view(hay).substr(at, piece), pieces);
        converter.Finish(pieces);
        const auto expectedConversion = ConvertEncoding(hay, whole, "windows-31j");
        FUZZ_CHECK(expectedConversion && pieces == *expectedConversion,
                   "a conversion in pieces differs from ICU's");
    }
    return 0;
}
