// Text conversion between the program's Shift-JIS (CP932) bytes and the encodings of
// its surroundings: UTF-8 for the window, the terminal and the mail, EUC-JP for the
// ranking pages. All of it goes through ICU's converters ("windows-31j" for CP932).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

// UTF-8 to CP932. Characters without a CP932 form become "?".
Text Sjis(std::string_view utf8);
// CP932 to UTF-8. Bytes that are no CP932 character become U+FFFD.
std::string ToUtf8(const Text& sjis);

// Converts bytes from one ICU encoding to another through Unicode. Invalid or
// unmappable sequences become a substitute character and the rest still converts.
// nullopt when either converter cannot be opened.
std::optional<std::string> ConvertEncoding(std::string_view bytes, const char* from, const char* to);

// The ranking page conversion: EUC-JP (with the NEC and IBM extension rows) to CP932.
inline std::optional<std::string> EucJpToSjis(std::string_view eucjp) {
    return ConvertEncoding(eucjp, "EUC-JP", "windows-31j");
}
