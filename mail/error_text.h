// The error text handed back to the caller, and the server replies it is made from.
#pragma once

#include <string>
#include <string_view>

namespace qubopost::mail {

// Size of the caller's error buffer, the terminating NUL included.
inline constexpr size_t kErrorBufferSize = 80;

// Copies as much of the CP932 text as fits into 79 bytes, without cutting a double-byte
// character (lead bytes 0x81-0x9F and 0xE0-0xFC take the following byte with them), stops at a
// NUL, and terminates the copy. A lead byte at the very end of the text has no second byte and
// is dropped. Does nothing when error80 is null.
void CopyErrorText(char* error80, std::string_view text);

// A server reply as an error text: line ends and other control characters become blanks, and
// the bytes, read as UTF-8, are converted to CP932 ('?' for what CP932 lacks).
std::string ServerTextToCp932(std::string_view reply);

// Collects the replies a server sends, as libcurl's debug callback hands them over (in pieces
// of any size), and keeps the latest complete one. A multi-line reply ("550-...", "550 ...")
// is joined into one line: "550 first line text next line text".
class ServerReplies {
public:
    void Feed(std::string_view bytes);

    // Ignore what comes from now on. Called when the client says QUIT: the server's goodbye
    // must not hide the reply that ended the transaction.
    void Freeze() { m_frozen = true; }

    // The latest complete reply, or "" when none has arrived.
    const std::string& Last() const { return m_last; }

    // True when the latest complete reply has a 4xx or 5xx code.
    bool LastIsFailure() const;

private:
    void AddLine(std::string_view line);

    std::string m_partialLine;
    std::string m_current;  // a multi-line reply still waiting for its last line
    std::string m_last;
    bool m_frozen = false;
};

}  // namespace qubopost::mail
