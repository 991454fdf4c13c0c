// Text the user typed, on its way into the program's Shift-JIS: the characters that a
// Linux input method types where Japanese Windows text has its own forms, and the
// characters that have no Shift-JIS form at all and must never be dropped silently.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace qubopost::platform {

// U+301C WAVE DASH, U+2212 MINUS SIGN, U+2016 DOUBLE VERTICAL LINE, U+2014 EM DASH,
// U+00A2 CENT, U+00A3 POUND, U+00AC NOT become the characters Japanese Windows text
// uses for them (FULLWIDTH TILDE, FULLWIDTH HYPHEN-MINUS, PARALLEL TO, HORIZONTAL BAR,
// FULLWIDTH CENT, FULLWIDTH POUND, FULLWIDTH NOT), which CP932 holds as 81 60, 81 7C,
// 81 61, 81 5C, 81 91, 81 92 and 81 CA. Everything else is left as it is.
std::string MapInputMethodForms(std::string_view utf8);

// UTF-8 field text to CP932, input-method forms mapped first. What still has no CP932
// form becomes "?", so callers that must not lose text check FindUnmappable first.
Text FieldToSjis(std::string_view utf8);

// A character of the user's text that CP932 cannot hold.
struct UnmappableChar {
    char32_t codePoint = 0;  // U+FFFD for bytes that are not UTF-8
    std::string utf8;        // the character itself ("" for bytes that are not UTF-8)
    int line = 0;            // 1-based; lines end at LF
    int column = 0;          // 1-based, in characters
};

// Every character of the UTF-8 text that FieldToSjis would turn into "?", and every
// byte that is not part of valid UTF-8, in order; at most `limit` of them.
std::vector<UnmappableChar> FindUnmappable(std::string_view utf8, std::size_t limit = 50);

// "U+2661" style name of a code point.
std::string CodePointName(char32_t codePoint);

// A Japanese description of one such character for messages: 「♡」（U+2661）3 行目 5 文字目
std::string DescribeUnmappable(const UnmappableChar& c);

// Whether the bytes are UTF-8 throughout (no stray, overlong or surrogate sequences).
bool IsValidUtf8(std::string_view bytes);

// The full-width digits ０～９ (as an input method gives them) as ASCII digits; every other byte
// as it is.
std::string HalfWidthDigits(std::string_view utf8);

// Every character of the text that a message must not carry, in order, at most `limit`: C0
// controls other than tab, CR and LF, DEL, the C1 controls, and bytes that are not part of
// valid UTF-8 (code point U+FFFD, utf8 ""). Everything else arrives as typed.
std::vector<UnmappableChar> FindControlCharacters(std::string_view utf8, std::size_t limit = 50);

// A Japanese description of such a character, without showing it: 制御文字（U+0007）3 行目 5 文字目
std::string DescribeControlCharacter(const UnmappableChar& c);

// Calls visit with each user-perceived character (extended grapheme cluster, as ICU splits
// them) of the UTF-8 text, in order, until visit returns false. A byte that is not UTF-8
// is a cluster of its own.
void ForEachGrapheme(std::string_view utf8,
                     const std::function<bool(std::string_view cluster)>& visit);

}  // namespace qubopost::platform
