#include "article/sjis_search.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/text.h"

using namespace qubopost::platform;

namespace qubopost::article {

namespace {

bool IsLead(const char* data, std::size_t at) {
    return Text::IsLeadByte(static_cast<unsigned char>(data[at]));
}

// Checks the candidate at; known moves up to a boundary at or before the next candidate.
// A byte that is no lead byte is always followed by a boundary, so at is one exactly when
// the run of lead bytes right before it (back to known) has even length.
bool CheckBoundary(const char* data, std::size_t& known, std::size_t at) {
    std::size_t runStart = at;
    while (runStart > known && IsLead(data, runStart - 1)) --runStart;
    const bool boundary = (at - runStart) % 2 == 0;
    // Behind a position that is not on a boundary (the second byte of a character) there is one.
    known = boundary ? at : at + 1;
    return boundary;
}

bool Matches(const char* data, std::size_t at, std::string_view needle) {
    return std::memcmp(data + at + 1, needle.data() + 1, needle.size() - 1) == 0;
}

}  // namespace

bool OnBoundary(const char* data, std::size_t known, std::size_t at) {
    return CheckBoundary(data, known, at);
}

std::size_t FindOnBoundary(std::string_view hay, std::string_view needle, std::size_t start) {
    const std::size_t size = hay.size();
    if (start > size) return std::string_view::npos;
    const std::size_t n = needle.size();
    if (n == 0) return start;
    if (size - start < n) return std::string_view::npos;
    const char* data = hay.data();
    std::size_t known = start;
    const std::size_t lastCandidate = size - n;  // the last position a match may begin at
    std::size_t at = start;
    if (n == 1) {
        while (at <= lastCandidate) {
            const void* hit = std::memchr(data + at, needle[0], size - at);
            if (!hit) return std::string_view::npos;
            const std::size_t candidate =
                static_cast<std::size_t>(static_cast<const char*>(hit) - data);
            if (CheckBoundary(data, known, candidate)) return candidate;
            at = candidate + 1;
        }
        return std::string_view::npos;
    }
#if defined(__SSE2__)
    // Blocks of 16 candidates: the needle's first, second and last byte at each (the first
    // two alone would stop at every "</" of a page looking for "</a>", the first and last
    // at every "<td>").
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i second = _mm_set1_epi8(needle[1]);
    const __m128i last = _mm_set1_epi8(needle[n - 1]);
    while (at <= lastCandidate && lastCandidate - at >= 15) {
        const auto* block = reinterpret_cast<const __m128i*>(data + at);
        const __m128i a = _mm_loadu_si128(block);
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + n - 1));
        const __m128i hits =
            _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second)),
                          _mm_cmpeq_epi8(c, last));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        while (mask != 0) {
            const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(mask));
            mask &= mask - 1;
            if (Matches(data, candidate, needle) && CheckBoundary(data, known, candidate))
                return candidate;
        }
        at += 16;
    }
#endif
    for (; at <= lastCandidate; ++at) {
        if (data[at] == needle[0] && data[at + n - 1] == needle[n - 1] &&
            Matches(data, at, needle) && CheckBoundary(data, known, at)) {
            return at;
        }
    }
    return std::string_view::npos;
}

}  // namespace qubopost::article
