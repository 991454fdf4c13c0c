// Building the message text that goes to the server, and checking addresses, without any network.
#ifndef QUBOPOST_MAIL_MESSAGE_H
#define QUBOPOST_MAIL_MESSAGE_H

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qubopost::mail {

// The caller's texts, as CP932 bytes, exactly as BSendMail received them.
struct MailFields {
    std::string from{};
    std::string to{};
    std::string subject{};
    std::string body{};
};

// Longest address accepted (the longest path SMTP allows, less the angle brackets).
inline constexpr size_t kMaxAddressLength = 254;

// True for a plain "local@domain" address that is safe to put into MAIL FROM / RCPT TO and into
// a header as it is, at most kMaxAddressLength bytes, with exactly one "@":
// - the local part: one or more printable ASCII characters other than blank and
//   < > ( ) [ ] , ; : \ " (so no control characters, line ends or 8-bit bytes; dots anywhere);
// - the domain: labels of letters, digits, '-' and '_', joined by single dots, with no dot
//   at either end.
bool IsValidMailAddress(std::string_view address);

// The complete message for the given fields: 7-bit, CR LF line ends, no line longer than 998
// bytes. Headers Date (local time of `now`), From, Subject, To, Message-Id (`messageIdSeed`
// at the sender's domain), MIME-Version; a text/plain UTF-8 body in base64. The addresses must
// pass IsValidMailAddress; empty when they do not, or when the charset converter is unavailable.
std::optional<std::string> BuildMailMessage(const MailFields& fields, time_t now,
                                            std::string_view messageIdSeed);

// RFC 5322 date of `when` at the given offset from UTC, in English whatever the locale:
// "Thu, 01 Jan 1970 09:00:00 +0900".
std::string FormatMailDate(time_t when, long utcOffsetSeconds);

// A header line that holds encoded words is at most this long (RFC 2047), and so is every
// header line the builder writes, except a From or To line holding an address too long for it.
inline constexpr size_t kMaxHeaderLine = 76;

// The UTF-8 subject as RFC 2047 "B" encoded words, every word holding whole characters: the
// first at most `firstWordMax` characters (the room left on the header's first line), the
// others at most 75 (the room on a continuation line after its blank). Control characters,
// line ends included, are first replaced by one blank per run. An empty subject gives no words.
// `firstWordMax` below 16 counts as 16 (one character of four bytes).
std::vector<std::string> EncodeSubjectWords(std::string_view utf8Subject,
                                            size_t firstWordMax = 75);

// Every CR LF, lone CR and lone LF becomes CR LF.
std::string NormaliseLineEnds(std::string_view text);

std::string Base64Encode(std::string_view bytes);

}  // namespace qubopost::mail

#endif  // QUBOPOST_MAIL_MESSAGE_H
