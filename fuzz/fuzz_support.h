// Helpers shared by the fuzz targets: a clear stop when a property breaks, the split of one
// input into several fields, and a plain Shift-JIS-aware search and replace-all that the
// targets compare the program's own against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

[[noreturn]] inline void Broken(const char* file, int line, const char* condition,
                                const char* what) {
    std::fprintf(stderr, "\n%s:%d: property broken: %s\n  (%s is false)\n", file, line, what,
                 condition);
    std::fflush(stderr);
    std::abort();
}

// Shows a byte string with everything outside printable ASCII as \xNN.
inline void Show(const char* name, std::string_view bytes) {
    std::fprintf(stderr, "  %s (%zu bytes): \"", name, bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
            std::fputc(byte, stderr);
        } else {
            std::fprintf(stderr, "\\x%02X", byte);
        }
    }
    std::fprintf(stderr, "\"\n");
}

// Splits the input at NUL bytes into count fields; the last field takes the rest as it is
// (NULs included) and missing fields are empty.
inline std::vector<std::string> SplitFields(const std::uint8_t* data, std::size_t size,
                                            std::size_t count) {
    std::vector<std::string> fields(count);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (start > input.size()) break;
        if (i + 1 == count) {
            fields[i] = std::string(input.substr(start));
            break;
        }
        const std::size_t end = input.find('\0', start);
        if (end == std::string_view::npos) {
            fields[i] = std::string(input.substr(start));
            break;
        }
        fields[i] = std::string(input.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

// Shift-JIS (CP932) lead bytes, written out here rather than taken from the code under test.
inline bool IsSjisLead(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// A byte that can follow a lead byte as the second byte of a character.
inline bool IsSjisTrail(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

// ASCII letters made lower case, walking by characters: the second byte of a double-byte
// character is no letter, however it looks.
inline std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (IsSjisLead(out[i])) {
            ++i;
        } else if (out[i] >= 'A' && out[i] <= 'Z') {
            out[i] = static_cast<char>(out[i] - 'A' + 'a');
        }
    }
    return out;
}

// True when pos is where a character begins, walking by characters from `from`.
inline bool IsCharacterStart(std::string_view text, std::size_t from, std::size_t pos) {
    std::size_t at = from;
    while (at < pos) at += IsSjisLead(text[at]) ? 2 : 1;
    return at == pos;
}

// The first character start at or after start where needle stands, or -1: every position
// that the walk by characters reaches is tried in turn, with no shortcut.
inline int PlainFind(std::string_view hay, std::string_view needle, long start) {
    if (start < 0) start = 0;
    if (static_cast<std::size_t>(start) > hay.size()) return -1;
    std::size_t pos = static_cast<std::size_t>(start);
    for (;;) {
        if (pos + needle.size() <= hay.size() && hay.substr(pos, needle.size()) == needle) {
            return static_cast<int>(pos);
        }
        if (pos >= hay.size()) return -1;
        pos += IsSjisLead(hay[pos]) ? 2 : 1;
    }
}

// Every occurrence replaced from left to right, the search going on behind each one.
inline std::string PlainReplace(std::string_view text, std::string_view from, std::string_view to,
                                int* count = nullptr) {
    if (count) *count = 0;
    if (from.empty()) return std::string(text);
    std::string out;
    std::size_t done = 0;
    for (int pos = PlainFind(text, from, 0); pos >= 0;
         pos = PlainFind(text, from, static_cast<long>(done))) {
        out += text.substr(done, static_cast<std::size_t>(pos) - done);
        out += to;
        done = static_cast<std::size_t>(pos) + from.size();
        if (count) ++*count;
    }
    out += text.substr(done);
    return out;
}

inline bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace fuzz

#define FUZZ_CHECK(condition, what)                                             \
    do {                                                                        \
        if (!(condition)) ::fuzz::Broken(__FILE__, __LINE__, #condition, what); \
    } while (0)
