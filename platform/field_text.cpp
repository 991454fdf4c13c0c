#include "platform/field_text.h"

#include <unicode/ubrk.h>
#include <unicode/ucnv.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <cstdio>
#include <memory>

#include "platform/encoding.h"
#include "resources/messages/messages.h"

namespace qubopost::platform {

namespace {

struct InputForm {
    char32_t typed;
    char32_t windows;
};

constexpr InputForm kInputForms[] = {
    {U'\u301C', U'\uFF5E'}, {U'\u2212', U'\uFF0D'}, {U'\u2016', U'\u2225'}, {U'\u2014', U'\u2015'},
    {U'\u00A2', U'\uFFE0'}, {U'\u00A3', U'\uFFE1'}, {U'\u00AC', U'\uFFE2'},
};

char32_t WindowsForm(char32_t c) {
    for (const InputForm& form : kInputForms)
        if (form.typed == c) return form.windows;
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    char buffer[4];
    int32_t length = 0;
    UBool error = false;
    U8_APPEND(reinterpret_cast<uint8_t*>(buffer), length, 4, static_cast<UChar32>(c), error);
    if (!error) out.append(buffer, static_cast<std::size_t>(length));
}

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// Whether CP932 has a form for the code point (ICU's "windows-31j" without fallbacks).
class Cp932Coverage {
public:
    Cp932Coverage() {
        UErrorCode status = U_ZERO_ERROR;
        m_converter.reset(ucnv_open("windows-31j", &status));
        if (U_FAILURE(status)) {
            m_converter.reset();
            return;
        }
        status = U_ZERO_ERROR;
        ucnv_setFromUCallBack(m_converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr,
                              nullptr, &status);
        ucnv_setFallback(m_converter.get(), false);
    }
    bool Has(char32_t c) {
        if (c < 0x80) return true;
        if (!m_converter) return false;
        UChar units[2];
        int32_t count = 0;
        UBool error = false;
        U16_APPEND(units, count, 2, static_cast<UChar32>(c), error);
        if (error) return false;
        char out[8];
        UErrorCode status = U_ZERO_ERROR;
        ucnv_resetFromUnicode(m_converter.get());
        ucnv_fromUChars(m_converter.get(), out, sizeof out, units, count, &status);
        return U_SUCCESS(status);
    }

private:
    std::unique_ptr<UConverter, ConverterCloser> m_converter;
};

}  // namespace

std::string MapInputMethodForms(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        const char32_t mapped = c < 0 ? 0 : WindowsForm(static_cast<char32_t>(c));
        if (c < 0 || mapped == static_cast<char32_t>(c)) {
            out.append(utf8.data() + start, static_cast<std::size_t>(i - start));
        } else {
            AppendUtf8(out, mapped);
        }
    }
    return out;
}

Text FieldToSjis(std::string_view utf8) { return Sjis(MapInputMethodForms(utf8)); }

std::vector<UnmappableChar> FindUnmappable(std::string_view utf8, std::size_t limit) {
    std::vector<UnmappableChar> found;
    // Pure ASCII, the common case for most fields, has nothing to find.
    bool ascii = true;
    for (char c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) return found;

    Cp932Coverage coverage;
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int line = 1, column = 0;
    for (int32_t i = 0; i < length && found.size() < limit;) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        ++column;
        if (c == '\n') {
            ++line;
            column = 0;
            continue;
        }
        if (c < 0) {
            found.push_back({U'\uFFFD', "", line, column});
            continue;
        }
        if (c < 0x80) continue;
        if (!coverage.Has(WindowsForm(static_cast<char32_t>(c))))
            found.push_back({static_cast<char32_t>(c),
                             std::string(utf8.substr(static_cast<std::size_t>(start),
                                                     static_cast<std::size_t>(i - start))),
                             line, column});
    }
    return found;
}

std::string CodePointName(char32_t codePoint) {
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return name;
}

std::string DescribeUnmappable(const UnmappableChar& c) {
    namespace msg = qubopost::messages;
    const std::string line = std::to_string(c.line);
    const std::string column = std::to_string(c.column);
    if (c.utf8.empty())
        return msg::Say(msg::kUnmappableNotUtf8, {CodePointName(c.codePoint), line, column});
    return msg::Say(msg::kUnmappableCharacter, {c.utf8, CodePointName(c.codePoint), line, column});
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(data, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

namespace {

bool IsControl(char32_t c) {
    if (c == '\t' || c == '\r' || c == '\n') return false;
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

}  // namespace

std::vector<UnmappableChar> FindControlCharacters(std::string_view utf8, std::size_t limit) {
    std::vector<UnmappableChar> found;
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int line = 1, column = 0;
    for (int32_t i = 0; i < length && found.size() < limit;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        ++column;
        if (c == '\n') {
            ++line;
            column = 0;
        } else if (c < 0) {
            found.push_back({U'\uFFFD', "", line, column});
        } else if (IsControl(static_cast<char32_t>(c))) {
            found.push_back({static_cast<char32_t>(c), "", line, column});
        }
    }
    return found;
}

std::string DescribeControlCharacter(const UnmappableChar& c) {
    namespace msg = qubopost::messages;
    const std::string line = std::to_string(c.line);
    const std::string column = std::to_string(c.column);
    if (c.codePoint == U'\uFFFD') return msg::Say(msg::kControlNotUtf8, {line, column});
    return msg::Say(msg::kControlCharacter, {CodePointName(c.codePoint), line, column});
}

namespace {

struct BreakIteratorCloser {
    void operator()(UBreakIterator* b) const { ubrk_close(b); }
};
struct UTextCloser {
    void operator()(UText* t) const { utext_close(t); }
};

}  // namespace

void ForEachGrapheme(std::string_view utf8,
                     const std::function<bool(std::string_view cluster)>& visit) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> text(
        utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status));
    std::unique_ptr<UBreakIterator, BreakIteratorCloser> clusters;
    if (U_SUCCESS(status)) clusters.reset(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
    if (U_SUCCESS(status)) ubrk_setUText(clusters.get(), text.get(), &status);
    if (U_FAILURE(status) || !clusters || !IsValidUtf8(utf8)) {
        // Without ICU's break rules (or on bytes that are not UTF-8, whose offsets ICU's
        // UTF-8 text would not keep), every code point, or stray byte, is one cluster.
        const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
        const auto length = static_cast<int32_t>(utf8.size());
        for (int32_t i = 0; i < length;) {
            const int32_t start = i;
            UChar32 c = 0;
            U8_NEXT(bytes, i, length, c);
            if (!visit(utf8.substr(static_cast<std::size_t>(start),
                                   static_cast<std::size_t>(i - start))))
                return;
        }
        return;
    }
    // Over UTF-8 text, ICU's boundaries are byte offsets.
    int32_t start = ubrk_first(clusters.get());
    for (int32_t end = ubrk_next(clusters.get()); end != UBRK_DONE;
         start = end, end = ubrk_next(clusters.get())) {
        if (!visit(utf8.substr(static_cast<std::size_t>(start),
                               static_cast<std::size_t>(end - start))))
            return;
    }
}

std::string HalfWidthDigits(std::string_view utf8) {
    // ０ is U+FF10: EF BC 90 … EF BC 99.
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i]) == 0xEF &&
            static_cast<unsigned char>(utf8[i + 1]) == 0xBC &&
            static_cast<unsigned char>(utf8[i + 2]) >= 0x90 &&
            static_cast<unsigned char>(utf8[i + 2]) <= 0x99) {
            out += static_cast<char>('0' + (static_cast<unsigned char>(utf8[i + 2]) - 0x90));
            i += 2;
            continue;
        }
        out += utf8[i];
    }
    return out;
}

}  // namespace qubopost::platform
