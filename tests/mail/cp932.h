// Shift-JIS (CP932) test texts, converted with glibc's iconv: independent of the ICU
// converter inside the mail library, so a fault there cannot cancel itself out.
#ifndef QUBOPOST_TESTS_MAIL_CP932_H
#define QUBOPOST_TESTS_MAIL_CP932_H

#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace qubopost::test {

inline std::string IconvAll(const char* to, const char* from, std::string_view text) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1)) throw std::runtime_error("iconv: text not convertible");
    out.resize(out.size() - outLeft);
    return out;
}

// UTF-8 to CP932 bytes.
inline std::string Cp932(std::string_view utf8) { return IconvAll("CP932", "UTF-8", utf8); }
// CP932 bytes to UTF-8; throws on bytes that are not CP932.
inline std::string Utf8FromCp932(std::string_view cp932) {
    return IconvAll("UTF-8", "CP932", cp932);
}

}  // namespace qubopost::test

#endif  // QUBOPOST_TESTS_MAIL_CP932_H
