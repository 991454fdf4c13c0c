// Plain versions of the posting plan's rules for UTF-8 text, written from their description
// (posting/posting_plan.h) and from the UTF-8 and grapheme cluster standards (RFC 3629, the
// Unicode Standard's chapter 3, UAX #29), never from the program's code: the fuzz targets of the
// planner and of the subject cutter compare the program's results against them. Nothing here
// uses the Shift-JIS walks of fuzz_support.h.
//
// Decoding. This file decodes UTF-8 itself, by the "maximal subpart" practice of the Unicode
// Standard (the WHATWG Encoding standard's decoder does the same): a well-formed sequence is one
// character; otherwise the longest start of a well-formed sequence (a lead byte and the
// continuation bytes it may still take) is one ill-formed unit, and decoding goes on at the byte
// behind it. So "E3 81 41" is the unit "E3 81" and "A"; a stray continuation byte, C0, C1 and
// F5..FF are units of one byte; "ED A0 80" (a surrogate) is three units, "F4 90 80 80" (beyond
// U+10FFFF) four, "F0 9F 98" (an emoji cut short) one. An ASCII byte is always a unit of its own,
// so the ASCII markers ("-----into-----", "[title]", CR, LF, blanks) found by a byte search are
// exactly the ones a walk by characters finds.
//
// Widths. A subject is measured in the bytes its Shift-JIS form would take: 1 for U+0000..U+007F
// and the half-width katakana U+FF61..U+FF9F, 2 for every other character (one Shift-JIS has no
// form for included) and 2 for every ill-formed unit (it stands for one character).
//
// Clusters. Where the whole title is well-formed, a cut may fall only between its extended
// grapheme clusters. The model asks ICU for them through the C++ BreakIterator over a UTF-16
// UnicodeString that this file builds from its own decoding, and maps the UTF-16 offsets back to
// bytes itself; the program walks a UTF-8 UText, so the two share only ICU's rules. Because that
// is still ICU, the subject target also checks a weaker rule with no ICU at all, from tables of
// characters whose cluster rule is settled (the ranges below were checked once against the
// Grapheme_Cluster_Break and Extended_Pictographic properties): a cut never separates a character
// from a combining mark, variation selector, emoji modifier, tag character or ZWJ behind it, never
// splits an emoji ZWJ sequence at its ZWJ, never splits the two regional indicators of a flag;
// and between plain characters (ASCII, kana, kanji, full- and half-width forms) a character that
// would still fit is never left out. Where the title is not well-formed, every unit is a cluster
// of its own.
#pragma once

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"

namespace fuzz {

inline constexpr std::string_view kSeparator = "-----into-----";
inline constexpr std::string_view kTitleTag = "[title]";
// U+3000 IDEOGRAPHIC SPACE.
inline constexpr std::string_view kFullWidthBlank = "\xE3\x80\x80";
// "・・": U+30FB KATAKANA MIDDLE DOT twice.
inline constexpr std::string_view kEllipsis = "\xE3\x83\xBB\xE3\x83\xBB";
// The Shift-JIS width a subject never exceeds, and the width a cut subject keeps of its title.
inline constexpr int kSubjectLimit = 50;
inline constexpr int kCutRoom = kSubjectLimit - 4;

// ---- UTF-8 ----------------------------------------------------------------------------------

struct Utf8Unit {
    std::size_t begin = 0;
    std::size_t size = 0;
    char32_t code = 0;  // the character; for an ill-formed unit, nothing of meaning
    bool wellFormed = false;
};

inline std::vector<Utf8Unit> DecodeUtf8(std::string_view text) {
    std::vector<Utf8Unit> units;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            units.push_back({i, 1, lead, true});
            ++i;
            continue;
        }
        // How many continuation bytes the lead takes, and the range of the first of them
        // (RFC 3629's table: no overlong forms, no surrogates, nothing beyond U+10FFFF).
        int needed = 0;
        unsigned low = 0x80, high = 0xBF;
        char32_t code = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            needed = 1;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            needed = 2;
            code = lead & 0x0Fu;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            needed = 3;
            code = lead & 0x07u;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        std::size_t end = i + 1;
        bool complete = needed > 0;
        for (int k = 0; k < needed; ++k) {
            if (end >= text.size()) {
                complete = false;
                break;
            }
            const auto next = static_cast<unsigned char>(text[end]);
            if (next < low || next > high) {
                complete = false;
                break;
            }
            code = (code << 6) | (next & 0x3Fu);
            ++end;
            low = 0x80;
            high = 0xBF;
        }
        units.push_back({i, end - i, complete ? code : 0, complete});
        i = end;
    }
    return units;
}

inline bool IsWellFormedUtf8(std::string_view text) {
    for (const Utf8Unit& unit : DecodeUtf8(text)) {
        if (!unit.wellFormed) return false;
    }
    return true;
}

// Whether at is where a unit begins (or the end of the text).
inline bool IsUnitBoundary(std::string_view text, std::size_t at) {
    if (at == text.size()) return true;
    for (const Utf8Unit& unit : DecodeUtf8(text)) {
        if (unit.begin == at) return true;
        if (unit.begin > at) return false;
    }
    return false;
}

// The text with every ill-formed unit replaced by U+FFFD.
inline std::string MakeWellFormedUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    for (const Utf8Unit& unit : DecodeUtf8(text)) {
        if (unit.wellFormed) {
            out += text.substr(unit.begin, unit.size);
        } else {
            out += "\xEF\xBF\xBD";
        }
    }
    return out;
}

inline int SjisWidth(const Utf8Unit& unit) {
    return unit.wellFormed && (unit.code < 0x80 || (unit.code >= 0xFF61 && unit.code <= 0xFF9F))
               ? 1
               : 2;
}

inline int SjisWidthOf(std::string_view text) {
    int width = 0;
    for (const Utf8Unit& unit : DecodeUtf8(text)) width += SjisWidth(unit);
    return width;
}

// ---- Byte search ----------------------------------------------------------------------------

// The first position at or after from where needle stands, trying every byte position.
inline std::size_t FindBytes(std::string_view hay, std::string_view needle, std::size_t from) {
    for (std::size_t pos = from; pos + needle.size() <= hay.size(); ++pos) {
        bool match = true;
        for (std::size_t k = 0; k < needle.size() && match; ++k) match = hay[pos + k] == needle[k];
        if (match) return pos;
    }
    return std::string_view::npos;
}

// Every occurrence of what removed from left to right, the search going on behind each one.
inline std::string RemoveAll(std::string_view text, std::string_view what) {
    std::string out;
    std::size_t done = 0;
    for (std::size_t pos = FindBytes(text, what, 0); pos != std::string_view::npos;
         pos = FindBytes(text, what, done)) {
        out += text.substr(done, pos - done);
        done = pos + what.size();
    }
    out += text.substr(done);
    return out;
}

// ---- Grapheme clusters ----------------------------------------------------------------------

// Byte offsets where the clusters of text end, in order (the last is the text's size).
inline std::vector<std::size_t> ClusterEnds(std::string_view text) {
    const std::vector<Utf8Unit> units = DecodeUtf8(text);
    std::vector<std::size_t> ends;
    bool wellFormed = true;
    for (const Utf8Unit& unit : units) wellFormed = wellFormed && unit.wellFormed;
    if (!wellFormed) {
        for (const Utf8Unit& unit : units) ends.push_back(unit.begin + unit.size);
        return ends;
    }
    constexpr std::size_t kInsidePair = std::string_view::npos;
    static icu::UnicodeString utf16;
    utf16.remove();
    std::vector<std::size_t> byteAt;  // UTF-16 offset to byte offset
    for (const Utf8Unit& unit : units) {
        byteAt.push_back(unit.begin);
        if (unit.code > 0xFFFF) byteAt.push_back(kInsidePair);
        utf16.append(static_cast<UChar32>(unit.code));
    }
    byteAt.push_back(text.size());
    FUZZ_CHECK(static_cast<std::size_t>(utf16.length()) + 1 == byteAt.size(),
               "the model's UTF-16 text has a wrong length");
    static const std::unique_ptr<icu::BreakIterator> clusters = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> iterator(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) iterator.reset();
        return iterator;
    }();
    FUZZ_CHECK(clusters != nullptr, "ICU gives the model no character break iterator");
    clusters->setText(utf16);
    for (int32_t at = clusters->next(); at != icu::BreakIterator::DONE; at = clusters->next()) {
        FUZZ_CHECK(at > 0 && static_cast<std::size_t>(at) < byteAt.size() &&
                       byteAt[static_cast<std::size_t>(at)] != kInsidePair,
                   "ICU broke the model's text inside a character");
        ends.push_back(byteAt[static_cast<std::size_t>(at)]);
    }
    return ends;
}

// ---- The subject ----------------------------------------------------------------------------

inline std::string_view LineFrom(std::string_view text, std::size_t start) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    return text.substr(start, end - start);
}

// The title behind the first tag up to its line end, or without a tag the first line that is
// not empty (lines end at CR or LF).
inline std::string_view PlainTitle(std::string_view groupText) {
    const std::size_t tag = FindBytes(groupText, kTitleTag, 0);
    if (tag != std::string_view::npos) return LineFrom(groupText, tag + kTitleTag.size());
    std::size_t start = 0;
    while (start < groupText.size() && (groupText[start] == '\r' || groupText[start] == '\n'))
        ++start;
    return LineFrom(groupText, start);
}

// The title as it is below width 50; otherwise the most clusters from its start that are at
// most 46 wide, and "・・".
inline std::string PlainSubject(std::string_view groupText) {
    const std::string_view title = PlainTitle(groupText);
    if (SjisWidthOf(title) < kSubjectLimit) return std::string(title);
    std::size_t kept = 0;
    int width = 0;
    for (const std::size_t end : ClusterEnds(title)) {
        width += SjisWidthOf(title.substr(kept, end - kept));
        if (width > kCutRoom) break;
        kept = end;
    }
    return std::string(title.substr(0, kept)) + std::string(kEllipsis);
}

// ---- Cluster rules without ICU --------------------------------------------------------------
// (each range checked against ICU 72's Grapheme_Cluster_Break / Extended_Pictographic data)

struct CodeRange {
    char32_t first, last;
};

template <std::size_t N>
bool InRanges(char32_t c, const CodeRange (&ranges)[N]) {
    for (const CodeRange& r : ranges) {
        if (c >= r.first && c <= r.last) return true;
    }
    return false;
}

// Grapheme_Cluster_Break=Extend: combining diacritical marks, combining marks for symbols,
// combining kana voiced marks, variation selectors, combining half marks, half-width katakana
// voiced marks, emoji modifiers, tags, variation selectors supplement.
inline bool IsExtend(char32_t c) {
    static constexpr CodeRange kRanges[] = {
        {0x0300, 0x036F},   {0x20D0, 0x20F0},   {0x3099, 0x309A},
        {0xFE00, 0xFE0F},   {0xFE20, 0xFE2F},   {0xFF9E, 0xFF9F},
        {0x1F3FB, 0x1F3FF}, {0xE0020, 0xE007F}, {0xE0100, 0xE01EF}};
    return InRanges(c, kRanges);
}

inline constexpr char32_t kZwj = 0x200D;

inline bool IsRegionalIndicator(char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }

// Extended_Pictographic (part of it).
inline bool IsPictographic(char32_t c) {
    static constexpr CodeRange kRanges[] = {{0x2764, 0x2764},   {0x1F300, 0x1F3FA},
                                            {0x1F400, 0x1F53D}, {0x1F546, 0x1F64F},
                                            {0x1F680, 0x1F6FF}, {0x1F947, 0x1FAFF}};
    return InRanges(c, kRanges);
}

// Grapheme_Cluster_Break=Other, not pictographic: printable ASCII, Latin letters, U+3000,
// hiragana, katakana, CJK ideographs, full-width forms, half-width katakana but the voiced marks.
inline bool IsPlain(char32_t c) {
    static constexpr CodeRange kRanges[] = {{0x0020, 0x007E}, {0x00C0, 0x024F}, {0x3000, 0x3000},
                                            {0x3041, 0x3096}, {0x30A1, 0x30FA}, {0x4E00, 0x9FFF},
                                            {0xFF01, 0xFF5E}, {0xFF61, 0xFF9D}};
    return InRanges(c, kRanges);
}

// Certainly not Grapheme_Cluster_Break=Control (nor CR, LF).
inline bool IsNoControl(char32_t c) {
    return IsPlain(c) || IsExtend(c) || c == kZwj || IsRegionalIndicator(c) || IsPictographic(c);
}

// Why a cut of a well-formed title before unit k breaks a cluster apart, or nullptr.
inline const char* ClusterSplitAt(const std::vector<Utf8Unit>& units, std::size_t k) {
    if (k == 0 || k >= units.size()) return nullptr;
    const char32_t before = units[k - 1].code, after = units[k].code;
    if ((IsExtend(after) || after == kZwj) && IsNoControl(before)) {
        return "a cut separates a combining mark, variation selector, emoji modifier, tag or ZWJ from the character before it";
    }
    if (before == kZwj && IsPictographic(after)) {
        std::size_t i = k - 1;
        while (i > 0 && IsExtend(units[i - 1].code)) --i;
        if (i > 0 && IsPictographic(units[i - 1].code))
            return "a cut splits an emoji ZWJ sequence at its ZWJ";
    }
    if (IsRegionalIndicator(before) && IsRegionalIndicator(after)) {
        std::size_t run = 0;
        for (std::size_t i = k; i > 0 && IsRegionalIndicator(units[i - 1].code); --i) ++run;
        if (run % 2 == 1) return "a cut splits the two regional indicators of a flag";
    }
    return nullptr;
}

}  // namespace fuzz
