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
    out.resize(bytes.size() * 2 + 16);
    std::vector<UChar> pivot(4096);
    UChar* pivotSource = pivot.data();
    UChar* pivotTarget = pivot.data();
    const char* in = bytes.data();
    const char* inEnd = bytes.data() + bytes.size();
    char* outPos = out.data();
    bool reset = true;
    for (;;) {
        char* outEnd = out.data() + out.size();
        status = U_ZERO_ERROR;
        ucnv_convertEx(target.get(), source.get(), &outPos, outEnd, &in, inEnd, pivot.data(),
                       &pivotSource, &pivotTarget, pivot.data() + pivot.size(), reset, true,
                       &status);
        reset = false;
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            const std::size_t used = static_cast<std::size_t>(outPos - out.data());
            out.resize(out.size() * 2);
            outPos = out.data() + used;
            continue;
        }
        break;
    }
    if (U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<std::size_t>(outPos - out.data()));
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
