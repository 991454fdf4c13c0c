#include "platform/text.h"

#include <cstring>

namespace qubopost::platform {

namespace {

bool IsLead(const char* data, std::size_t at) {
    return Text::IsLeadByte(static_cast<unsigned char>(data[at]));
}

}  // namespace

// Rather than stepping byte by byte, candidates are found with memchr and their boundary
// is worked out backwards: a byte that is no lead byte is always followed by a boundary,
// so a candidate m lies on one exactly when the run of lead bytes right before it (back to
// the last boundary known) has even length. Each candidate moves the known boundary up to
// it, so every byte is looked at a bounded number of times.
std::size_t FindSjis(std::string_view hay, std::string_view needle, std::size_t start) {
    const std::size_t size = hay.size();
    if (start > size) return std::string_view::npos;
    const std::size_t needleLength = needle.size();
    if (needleLength == 0) return start;
    const char* data = hay.data();
    std::size_t boundary = start;
    while (boundary + needleLength <= size) {
        const void* hit =
            std::memchr(data + boundary, needle[0], size - needleLength + 1 - boundary);
        if (!hit) return std::string_view::npos;
        const std::size_t candidate =
            static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        std::size_t runStart = candidate;
        while (runStart > boundary && IsLead(data, runStart - 1)) --runStart;
        const bool onBoundary = (candidate - runStart) % 2 == 0;
        if (onBoundary && std::memcmp(data + candidate, needle.data(), needleLength) == 0)
            return candidate;
        // The next boundary behind the candidate: after its character, or right after it
        // when it was the second byte of one.
        boundary = onBoundary ? candidate + (IsLead(data, candidate) ? 2 : 1) : candidate + 1;
    }
    return std::string_view::npos;
}

std::size_t NextSjisBoundary(std::string_view hay, std::size_t known, std::size_t target) {
    std::size_t runStart = target;
    while (runStart > known && IsLead(hay.data(), runStart - 1)) --runStart;
    return (target - runStart) % 2 == 0 ? target : target + 1;
}

int Text::Find(const Text& what, int start) const {
    const std::size_t found =
        FindSjis(m_bytes, what.m_bytes, start < 0 ? 0 : static_cast<std::size_t>(start));
    return found == std::string_view::npos ? -1 : static_cast<int>(found);
}

int Text::Find(char what, int start) const {
    const std::size_t found = FindSjis(m_bytes, std::string_view(&what, 1),
                                       start < 0 ? 0 : static_cast<std::size_t>(start));
    return found == std::string_view::npos ? -1 : static_cast<int>(found);
}

Text Text::Mid(int start, int count) const {
    if (start < 0) start = 0;
    if (count < 0) count = 0;
    const std::size_t size = m_bytes.size();
    if (static_cast<std::size_t>(start) >= size) return Text();
    return Text(m_bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count)));
}

Text Text::Mid(int start) const {
    if (start < 0) start = 0;
    if (static_cast<std::size_t>(start) >= m_bytes.size()) return Text();
    return Text(m_bytes.substr(static_cast<std::size_t>(start)));
}

int Text::Replace(const Text& from, const Text& to) {
    if (from.IsEmpty()) return 0;
    int pos = Find(from, 0);
    if (pos < 0) return 0;
    std::string result;
    result.reserve(m_bytes.size());
    int done = 0;
    int count = 0;
    while (pos >= 0) {
        result.append(m_bytes, static_cast<std::size_t>(done),
                      static_cast<std::size_t>(pos - done));
        result += to.m_bytes;
        done = pos + from.GetLength();
        ++count;
        pos = Find(from, done);
    }
    result.append(m_bytes, static_cast<std::size_t>(done), std::string::npos);
    m_bytes.swap(result);
    return count;
}

Text Text::Format(const Text& format, std::initializer_list<FormatArg> args) {
    std::string out;
    const std::string& f = format.m_bytes;
    auto next = args.begin();
    for (std::size_t i = 0; i < f.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(f[i]);
        if (IsLeadByte(byte) && i + 1 < f.size()) {
            out += f[i];
            out += f[++i];
            continue;
        }
        if (f[i] != '%' || i + 1 >= f.size()) {
            out += f[i];
            continue;
        }
        const char field = f[i + 1];
        if (field == '%') {
            out += '%';
            ++i;
        } else if ((field == 's' || field == 'd') && next != args.end()) {
            if (const Text* text = std::get_if<Text>(&*next)) {
                out += text->m_bytes;
            } else {
                out += std::to_string(std::get<long long>(*next));
            }
            ++next;
            ++i;
        } else {
            out += f[i];
        }
    }
    return Text(std::move(out));
}

}  // namespace qubopost::platform
