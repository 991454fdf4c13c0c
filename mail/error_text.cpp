#include "mail/error_text.h"

#include <cstring>

#include "mail/charset.h"

namespace qubopost::mail {
namespace {

bool IsCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "ddd" followed by nothing, a blank or '-'.
bool HasReplyCode(std::string_view line) {
    return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
           (line.size() == 3 || line[3] == ' ' || line[3] == '-');
}

}  // namespace

void CopyErrorText(char* error80, std::string_view text) {
    if (!error80) return;
    const size_t limit = kErrorBufferSize - 1;
    size_t length = 0;
    while (length < text.size() && text[length] != '\0') {
        size_t step = 1;
        if (IsCp932LeadByte(static_cast<unsigned char>(text[length]))) {
            if (length + 1 >= text.size() || text[length + 1] == '\0') break;
            step = 2;
        }
        if (length + step > limit) break;
        length += step;
    }
    std::memcpy(error80, text.data(), length);
    error80[length] = '\0';
}

std::string ServerTextToCp932(std::string_view reply) {
    std::string clean;
    clean.reserve(reply.size());
    for (char c : reply) {
        const auto byte = static_cast<unsigned char>(c);
        clean += (byte < 0x20 || byte == 0x7F) ? ' ' : c;
    }
    if (std::optional<std::string> converted = Utf8ToCp932(clean)) return *converted;
    for (char& c : clean)
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    return clean;
}

void ServerReplies::Feed(std::string_view bytes) {
    if (frozen_) return;
    for (char c : bytes) {
        if (c == '\n') {
            if (!partialLine_.empty() && partialLine_.back() == '\r') partialLine_.pop_back();
            AddLine(partialLine_);
            partialLine_.clear();
        } else if (partialLine_.size() < 4096) {
            partialLine_ += c;
        }
    }
}

void ServerReplies::AddLine(std::string_view line) {
    if (!HasReplyCode(line)) {
        // Not a reply line as SMTP defines it; keep it whole so that it can still be shown.
        current_.clear();
        last_ = std::string(line);
        return;
    }
    const bool more = line.size() > 3 && line[3] == '-';
    const std::string_view text = line.size() > 4 ? line.substr(4) : std::string_view();
    if (current_.empty()) {
        current_ = std::string(line.substr(0, 3));
        if (!text.empty()) current_ += " " + std::string(text);
    } else if (!text.empty()) {
        current_ += " " + std::string(text);
    }
    if (!more) {
        last_ = std::move(current_);
        current_.clear();
    }
}

bool ServerReplies::LastIsFailure() const {
    return last_.size() >= 3 && (last_[0] == '4' || last_[0] == '5') && IsDigit(last_[1]) &&
           IsDigit(last_[2]);
}

}  // namespace qubopost::mail
