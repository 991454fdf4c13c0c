// The generator's text search: the same answers as FindSjis, found by looking at 16 bytes
// at a time for the needle's first, second and last byte together instead of calling memchr and
// memcmp for every candidate first byte (in HTML every '<' is one, every ten bytes or so).
#pragma once

#include <cstddef>
#include <string_view>

namespace qubopost::article {

// The first match of needle in hay at or after start that lies on a Shift-JIS character
// boundary of the walk from start (start counts as a boundary); npos when there is none or
// start lies past the end. An empty needle matches at start. Exactly FindSjis.
std::size_t FindOnBoundary(std::string_view hay, std::string_view needle, std::size_t start = 0);

// Whether the boundary-aligned search of FindOnBoundary from known finds position at on a
// boundary; known is a boundary, known <= at.
bool OnBoundary(const char* data, std::size_t known, std::size_t at);

}  // namespace qubopost::article
