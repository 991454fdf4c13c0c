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
    if (m_frozen) return;
    for (char c : bytes) {
        if (c == '\n') {
            if (!m_partialLine.empty() && m_partialLine.back() == '\r') m_partialLine.pop_back();
            AddLine(m_partialLine);
            m_partialLine.clear();
        } else if (m_partialLine.size() < 4096) {
            m_partialLine += c;
        }
    }
}

void ServerReplies::AddLine(std::string_view line) {
    if (!HasReplyCode(line)) {
        // Not a reply line as SMTP defines it; keep it whole so that it can still be shown.
        m_current.clear();
        m_last = std::string(line);
        return;
    }
    const bool more = line.size() > 3 && line[3] == '-';
    const std::string_view text = line.size() > 4 ? line.substr(4) : std::string_view();
    if (m_current.empty()) {
        m_current = std::string(line.substr(0, 3));
        if (!text.empty()) m_current += " " + std::string(text);
    } else if (!text.empty()) {
        m_current += " " + std::string(text);
    }
    if (!more) {
        m_last = std::move(m_current);
        m_current.clear();
    }
}

bool ServerReplies::LastIsFailure() const {
    return m_last.size() >= 3 && (m_last[0] == '4' || m_last[0] == '5') && IsDigit(m_last[1]) &&
           IsDigit(m_last[2]);
}

}  // namespace qubopost::mail
