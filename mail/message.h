// Building the message text that goes to the server, and checking addresses, without any network.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qubopost::mail {

// The caller's texts exactly as BSendMail received them: the subject and body as CP932 bytes,
// or, when `utf8` is true, as UTF-8 already.
struct MailFields {
    std::string from{};
    std::string to{};
    std::string subject{};
    std::string body{};
    bool utf8 = false;
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
// at the sender's domain), MIME-Version, Content-Type "text/plain; charset=UTF-8" and
// Content-Transfer-Encoding "quoted-printable"; the body is EncodeQuotedPrintable of the UTF-8
// body with NormaliseLineEnds. The Subject is one line, "Subject:" and the EncodeSubjectWords
// of the UTF-8 subject, each after one blank, so that a mail-to-blog gateway that reads only
// that line gets the whole title; every other header line keeps to kMaxHeaderLine.
// The subject and body are converted from CP932 unless `fields.utf8`; then they must be valid
// UTF-8. Empty when an address fails IsValidMailAddress, when UTF-8 texts are not valid UTF-8,
// or when the charset converter is unavailable.
std::optional<std::string> BuildMailMessage(const MailFields& fields, time_t now,
                                            std::string_view messageIdSeed);

// RFC 5322 date of `when` at the given offset from UTC, in English whatever the locale:
// "Thu, 01 Jan 1970 09:00:00 +0900".
std::string FormatMailDate(time_t when, long utcOffsetSeconds);

// Every header line the builder writes is at most this long (RFC 2047's limit for lines with
// encoded words), except a From or To line holding an address too long for it, and Subject.
inline constexpr size_t kMaxHeaderLine = 76;

// The Subject line is at most this long (RFC 5322's limit for any line, CR LF not counted). It
// knowingly goes past RFC 2047's 76 characters: blog gateways read only the line that holds
// "Subject: ", so the whole title stays on it.
inline constexpr size_t kMaxSubjectLine = 998;

// The room for the encoded words and the blanks between them on the Subject line, after
// "Subject: ".
inline constexpr size_t kSubjectWordsRoom = kMaxSubjectLine - 9;

// The UTF-8 subject as RFC 2047 "B" encoded words of at most 75 characters, every word holding
// whole characters (a stray or cut UTF-8 byte counts as one character). The words, joined by
// single blanks, take at most `room` characters: as many characters as fit, the rest of the
// subject is left out (with the default room, about 195 Japanese characters fit). Control
// characters, line ends included, are first replaced by one blank per run. An empty subject,
// or a room below 20 (one word holding one character of four bytes), gives no words.
std::vector<std::string> EncodeSubjectWords(std::string_view utf8Subject,
                                            size_t room = kSubjectWordsRoom);

// The text as a quoted-printable body (RFC 2045) that gateways and mail stores cannot change:
// every line at most 76 characters, CR LF line ends, 7-bit. Printable ASCII (the blank included)
// other than "=" stays as it is; every other byte (the tab included) becomes "=XX" (upper-case
// hex), and so does a blank that ends a line of `text` or `text` itself, a "." that starts a
// written line, and the "F" of a written line starting "From ", so that neither SMTP's dot
// stuffing nor an mbox store has anything to change. Each CR LF of `text`
// stays a line end; longer lines are cut by soft line breaks ("=" at the end of a line), never
// inside an "=XX". A text that does not end with CR LF ends with a soft line break, so that the
// encoded body ends with a line end and still decodes to exactly `text`. Give it CR LF line
// ends (NormaliseLineEnds): a lone CR or LF is encoded as a byte.
std::string EncodeQuotedPrintable(std::string_view text);

// Every CR LF, lone CR and lone LF becomes CR LF.
std::string NormaliseLineEnds(std::string_view text);

std::string Base64Encode(std::string_view bytes);

}  // namespace qubopost::mail
