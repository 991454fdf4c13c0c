// Text conversion between the program's Shift-JIS (CP932) bytes and the encodings of
// its surroundings: UTF-8 for the window, the terminal and the mail, EUC-JP for the
// ranking pages. All of it follows ICU's converters ("windows-31j" for CP932); the page
// conversion takes the characters of the JIS tables from a table built once from them.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace qubopost::platform {

// UTF-8 to CP932. Characters without a CP932 form become "?".
Text Sjis(std::string_view utf8);
// CP932 to UTF-8. Bytes that are no CP932 character become U+FFFD.
std::string ToUtf8(const Text& sjis);

// Text stored by a program version that wrote CP932 or by one that writes UTF-8 (the
// journal's destinations, subjects and replies): valid UTF-8 is taken as it is, anything
// else as CP932. Japanese CP932 text is practically never valid UTF-8, and ASCII is both.
std::string StoredTextToUtf8(std::string_view bytes);

// Converts bytes from one ICU encoding to another through Unicode. Invalid or
// unmappable sequences become a substitute character and the rest still converts.
// nullopt when either converter cannot be opened.
std::optional<std::string> ConvertEncoding(std::string_view bytes, const char* from,
                                           const char* to);

// The ranking page conversion: EUC-JP (with the NEC and IBM extension rows) to CP932.
inline std::optional<std::string> EucJpToSjis(std::string_view eucjp) {
    return ConvertEncoding(eucjp, "EUC-JP", "windows-31j");
}

// ConvertEncoding for text that arrives in pieces, from an encoding whose multi-byte
// characters are made of bytes 0x80 and up only (EUC-JP, UTF-8): the pieces may be cut
// anywhere and the result is byte for byte what ConvertEncoding gives for the whole text.
// Runs of ASCII are copied and every run of other bytes is converted on its own; from
// EUC-JP to CP932, runs made of JIS characters go through a table instead of ICU.
class PieceConverter {
public:
    PieceConverter(const char* from, const char* to);
    ~PieceConverter();
    PieceConverter(const PieceConverter&) = delete;
    PieceConverter& operator=(const PieceConverter&) = delete;

    // false when a converter can't be opened (nothing converts then).
    bool Ready() const;
    // Appends the conversion of the next piece to out. Bytes of a run that may go on in
    // the next piece are kept back until then.
    void Feed(std::string_view piece, std::string& out);
    // Converts what was kept back: the text has ended.
    void Finish(std::string& out);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// CP932 text to UTF-8 in pieces cut anywhere, byte for byte as ToUtf8 of the whole text.
class Utf8Stream {
public:
    Utf8Stream();
    ~Utf8Stream();
    Utf8Stream(const Utf8Stream&) = delete;
    Utf8Stream& operator=(const Utf8Stream&) = delete;

    bool Ready() const;
    // Appends the conversion of the next piece; last: the text ends with it.
    void Feed(std::string_view sjis, std::string& out, bool last);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace qubopost::platform
