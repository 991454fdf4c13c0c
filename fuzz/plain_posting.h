// Plain versions of the posting plan's subject cut, written from its description: the fuzz
// targets of the planner and of the subject cutter compare the program's against them.
#pragma once

#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "platform/encoding.h"

namespace fuzz {

inline constexpr std::string_view kSeparator = "-----into-----";
inline constexpr std::string_view kTitleTag = "[title]";
inline constexpr std::size_t kSubjectLimit = 50;

inline const std::string& Ellipsis() {
    static const std::string ellipsis = Sjis("・・").Bytes();
    return ellipsis;
}

inline std::string_view LineFrom(std::string_view text, std::size_t start) {
    const std::size_t end = text.find_first_of("\r\n", start);
    return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// The title behind the first tag up to its line end, or without a tag the first line that
// is not empty; 50 bytes or more: the whole characters of the first 46 bytes and "・・".
inline std::string PlainSubject(std::string_view groupText) {
    std::string_view title;
    const int tag = PlainFind(groupText, kTitleTag, 0);
    if (tag >= 0) {
        title = LineFrom(groupText, static_cast<std::size_t>(tag) + kTitleTag.size());
    } else {
        std::size_t start = 0;
        while (start < groupText.size()) {
            title = LineFrom(groupText, start);
            if (!title.empty()) break;
            ++start;
        }
    }
    if (title.size() < kSubjectLimit) return std::string(title);
    const std::size_t room = kSubjectLimit - Ellipsis().size();
    std::size_t end = 0;
    while (end < title.size()) {
        const std::size_t next = end + (IsSjisLead(title[end]) ? 2 : 1);
        if (next > room) break;
        end = next;
    }
    return std::string(title.substr(0, end)) + Ellipsis();
}

}  // namespace fuzz
