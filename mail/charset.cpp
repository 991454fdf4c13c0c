#include "mail/charset.h"

#include <unicode/ucnv.h>

#include <memory>

namespace qubopost::mail {
namespace {

// ICU calls this converter "windows-31j": Shift-JIS with the NEC and IBM extensions of CP932.
constexpr const char* kCp932 = "windows-31j";

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter OpenCp932() {
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(kCp932, &status));
    if (U_FAILURE(status)) return nullptr;
    return converter;
}

// Runs one of ICU's one-shot conversions twice: once to learn the size, once to fill.
template <typename Convert>
std::optional<std::string> ConvertAll(std::string_view source, Convert convert) {
    if (source.empty()) return std::string();
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = convert(nullptr, 0, source, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
    std::string out(static_cast<size_t>(length), '\0');
    status = U_ZERO_ERROR;
    length = convert(out.data(), length, source, &status);
    if (U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<size_t>(length));
    return out;
}

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
    Converter converter = OpenCp932();
    if (!converter) return std::nullopt;
    return ConvertAll(
        cp932, [&](char* target, int32_t capacity, std::string_view source, UErrorCode* status) {
            return ucnv_toAlgorithmic(UCNV_UTF8, converter.get(), target, capacity, source.data(),
                                      static_cast<int32_t>(source.size()), status);
        });
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    Converter converter = OpenCp932();
    if (!converter) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setSubstChars(converter.get(), "?", 1, &status);
    if (U_FAILURE(status)) return std::nullopt;
    return ConvertAll(
        utf8, [&](char* target, int32_t capacity, std::string_view source, UErrorCode* status) {
            return ucnv_fromAlgorithmic(converter.get(), UCNV_UTF8, target, capacity, source.data(),
                                        static_cast<int32_t>(source.size()), status);
        });
}

}  // namespace qubopost::mail
