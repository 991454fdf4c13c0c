// Text: the program's string. A growable byte string of Shift-JIS (CP932) text,
// copied by value. Positions and counts are byte offsets. Searching steps through
// the text by Shift-JIS characters, so a match never begins on the second byte of
// a double-byte character; nothing else looks at characters.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace qubopost::platform {

// The first match of needle in hay at or after start, stepping through hay by Shift-JIS
// characters from start (start counts as a character boundary); npos when there is none or
// start lies past the end. An empty needle matches at start.
std::size_t FindSjis(std::string_view hay, std::string_view needle, std::size_t start = 0);

// The first character boundary at or after target, for a text in which known is a boundary
// (known <= target <= hay.size()); may be hay.size() + 1 when a lead byte ends the text.
std::size_t NextSjisBoundary(std::string_view hay, std::size_t known, std::size_t target);

class Text {
public:
    Text() = default;
    Text(const char* bytes) : m_bytes(bytes ? bytes : "") {}
    Text(std::string bytes) : m_bytes(std::move(bytes)) {}
    Text(std::string_view bytes) : m_bytes(bytes) {}
    Text(const char* bytes, std::size_t count) : m_bytes(bytes, count) {}

    // A Shift-JIS lead byte: the first byte of a double-byte character.
    static bool IsLeadByte(unsigned char byte) {
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    }

    int GetLength() const { return static_cast<int>(m_bytes.size()); }
    bool IsEmpty() const { return m_bytes.empty(); }
    const std::string& Bytes() const { return m_bytes; }
    const char* c_str() const { return m_bytes.c_str(); }
    char operator[](int pos) const { return m_bytes[static_cast<std::size_t>(pos)]; }

    // Byte position of the first match at or after start, or -1 (also when start
    // lies past the end). A negative start counts as 0.
    int Find(const Text& what, int start = 0) const;
    int Find(char what, int start = 0) const;

    // start and count below 0 count as 0; the cut stops at the end of the text.
    Text Mid(int start, int count) const;
    Text Mid(int start) const;
    Text Left(int count) const { return Mid(0, count); }

    // Replaces every occurrence from left to right without overlap; the search goes on
    // behind each inserted text. Returns the number of replacements.
    int Replace(const Text& from, const Text& to);

    Text& operator+=(const Text& other) {
        m_bytes += other.m_bytes;
        return *this;
    }
    Text& Append(const char* bytes, std::size_t count) {
        m_bytes.append(bytes, count);
        return *this;
    }
    void Empty() { m_bytes.clear(); }

    friend Text operator+(Text left, const Text& right) { return left += right; }
    friend bool operator==(const Text& a, const Text& b) = default;

    // Formatted creation from a format with "%s" and "%d" fields ("%%" is a percent sign).
    using FormatArg = std::variant<Text, long long>;
    static Text Format(const Text& format, std::initializer_list<FormatArg> args);

private:
    std::string m_bytes;
};

}  // namespace qubopost::platform
