#include "platform/encoding.h"

#include <unicode/ucnv.h>

#include <memory>
#include <vector>

namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter Open(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(name, &status));
    if (U_FAILURE(status)) return nullptr;
    return converter;
}

// Converts one piece, flushed, with the converters reset first.
bool ConvertPiece(UConverter* source, UConverter* target, std::string_view bytes, std::string& out) {
    std::vector<UChar> pivot(4096);
    UChar* pivotSource = pivot.data();
    UChar* pivotTarget = pivot.data();
    const char* in = bytes.data();
    const char* inEnd = bytes.data() + bytes.size();
    std::size_t used = out.size();
    out.resize(used + bytes.size() * 2 + 16);
    char* outPos = out.data() + used;
    bool reset = true;
    UErrorCode status = U_ZERO_ERROR;
    for (;;) {
        char* outEnd = out.data() + out.size();
        status = U_ZERO_ERROR;
        ucnv_convertEx(target, source, &outPos, outEnd, &in, inEnd, pivot.data(), &pivotSource, &pivotTarget,
                       pivot.data() + pivot.size(), reset, true, &status);
        reset = false;
        if (status != U_BUFFER_OVERFLOW_ERROR) break;
        used = static_cast<std::size_t>(outPos - out.data());
        out.resize(out.size() * 2);
        outPos = out.data() + used;
    }
    out.resize(static_cast<std::size_t>(outPos - out.data()));
    return U_SUCCESS(status);
}

// Encodings whose multi-byte sequences are made of bytes 0x80 and up only, so that text
// may be cut at any ASCII byte without splitting a character.
bool AsciiSafe(const char* name) {
    return ucnv_compareNames(name, "EUC-JP") == 0 || ucnv_compareNames(name, "UTF-8") == 0;
}

// Whether both converters carry every ASCII byte over unchanged.
bool AsciiPassesThrough(UConverter* source, UConverter* target) {
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
    std::string converted;
    return ConvertPiece(source, target, ascii, converted) && converted == ascii;
}

}  // namespace

std::optional<std::string> ConvertEncoding(std::string_view bytes, const char* from, const char* to) {
    Converter source = Open(from);
    Converter target = Open(to);
    if (!source || !target) return std::nullopt;

    UErrorCode status = U_ZERO_ERROR;
    // Anything without a form in the target encoding becomes "?" (in CP932 the default
    // substitute would be a user-defined character that shows as garbage).
    ucnv_setSubstChars(target.get(), "?", 1, &status);
    status = U_ZERO_ERROR;
    static const UChar kReplacement[] = {0xFFFD};
    ucnv_setSubstString(source.get(), kReplacement, 1, &status);
    status = U_ZERO_ERROR;

    std::string out;
    if (!AsciiSafe(from) || !AsciiPassesThrough(source.get(), target.get())) {
        if (!ConvertPiece(source.get(), target.get(), bytes, out)) return std::nullopt;
        return out;
    }
    // Pages are mostly ASCII markup: copy ASCII runs as they are and convert only the
    // runs of other bytes.
    out.reserve(bytes.size() + bytes.size() / 8);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = pos;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
        out.append(bytes.data() + pos, end - pos);
        pos = end;
        while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80) ++end;
        if (end > pos && !ConvertPiece(source.get(), target.get(), bytes.substr(pos, end - pos), out)) {
            return std::nullopt;
        }
        pos = end;
    }
    return out;
}

Text Sjis(std::string_view utf8) {
    auto converted = ConvertEncoding(utf8, "UTF-8", "windows-31j");
    return converted ? Text(std::move(*converted)) : Text();
}

std::string ToUtf8(const Text& sjis) {
    auto converted = ConvertEncoding(sjis.Bytes(), "windows-31j", "UTF-8");
    return converted ? std::move(*converted) : std::string();
}
