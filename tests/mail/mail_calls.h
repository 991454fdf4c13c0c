// Calls into the mail library as its tests make them: on an error buffer filled with '#' first,
// so that a missing terminator shows, with the same sender and recipient unless a test needs
// others.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "mail/bsmtp.h"

namespace qubopost::test {

struct Outcome {
    int result;
    std::string error;  // CP932, as the library wrote it
};

// `call(error)` with an 80-byte error buffer; a text not terminated within it fails the test.
template <typename Call>
Outcome WithErrorBuffer(Call&& call) {
    char error[80];
    std::memset(error, '#', sizeof error);
    const int result = call(error);
    const char* end = static_cast<const char*>(std::memchr(error, '\0', sizeof error));
    EXPECT_NE(end, nullptr) << "error text not terminated within 80 bytes";
    return {result, std::string(error, end ? static_cast<std::size_t>(end - error) : sizeof error)};
}

inline const char* const kTo = "post@blog.example.jp";
inline const char* const kFrom = "writer@example.jp";

inline Outcome SendEx(const std::string& server, const int* stop = nullptr,
                      const std::string& body = "body") {
    return WithErrorBuffer([&](char* error) {
        return BSendMailEx(server.c_str(), kTo, kFrom, "subject", body.c_str(), "", error, stop);
    });
}

inline int CountStartingWith(const std::vector<std::string>& lines, std::string_view prefix) {
    int count = 0;
    for (const std::string& line : lines) count += line.starts_with(prefix) ? 1 : 0;
    return count;
}

}  // namespace qubopost::test
