// Conversions between the program's Shift-JIS (CP932) text and the UTF-8 of the message.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qubopost::mail {

// CP932 bytes to UTF-8 through ICU's "windows-31j" converter. Bytes that do not form a CP932
// character become substitution characters. Empty only when the converter is unavailable.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);

// UTF-8 to CP932; characters CP932 lacks, and malformed UTF-8, become '?'.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

}  // namespace qubopost::mail
