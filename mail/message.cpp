#include "mail/message.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "mail/charset.h"

namespace qubopost::mail {
namespace {

// Longest encoded word RFC 2047 allows. "=?UTF-8?B?" and "?=" take 12 characters of a word;
// the rest holds base64 in groups of 4 characters for 3 bytes of text (45 bytes in 75).
constexpr size_t kMaxEncodedWord = 75;
constexpr size_t kEncodedWordFrame = 12;
constexpr size_t kMinEncodedWord = kEncodedWordFrame + 8;  // one character of 4 bytes: 8 base64

size_t TextBytesInWord(size_t wordLength) { return (wordLength - kEncodedWordFrame) / 4 * 3; }

// "Subject: " before the encoded words, all on the header's one line.
constexpr std::string_view kSubjectLead = "Subject: ";
static_assert(kSubjectLead.size() + kSubjectWordsRoom == kMaxSubjectLine);

// Longest line of a quoted-printable body (RFC 2045), its soft line break's "=" included.
constexpr size_t kMaxQuotedPrintableLine = 76;

constexpr std::string_view kFallbackDomain = "qubopost.invalid";

void InitGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// GMime and the GLib caches under it (time zones, charsets, slices) are shared by the whole
// process; building a message takes a moment, so calls from several threads take turns.
std::mutex gmimeMutex;

// Releases a GObject at the end of a scope.
template <typename T>
struct Ref {
    T* object;
    explicit Ref(T* o) : object(o) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() {
        if (object) g_object_unref(object);
    }
    T* Get() const { return object; }
};

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Letters, digits and '-' in labels separated by single dots: usable in a Message-Id as it is.
bool IsPlainDomain(std::string_view domain) {
    if (domain.empty() || domain.front() == '.' || domain.back() == '.') return false;
    char previous = '\0';
    for (char c : domain) {
        if (c == '.' && previous == '.') return false;
        if (c != '.' && c != '-' && !IsAsciiAlnum(static_cast<unsigned char>(c))) return false;
        previous = c;
    }
    return true;
}

// The seed reduced to dot-separated runs of letters, digits and '-'.
std::string MessageIdLeft(std::string_view seed) {
    std::string left;
    bool pendingDot = false;
    for (char c : seed) {
        if (c == '.') {
            pendingDot = !left.empty();
        } else if (c == '-' || IsAsciiAlnum(static_cast<unsigned char>(c))) {
            if (pendingDot) left += '.';
            pendingDot = false;
            left += c;
        }
    }
    return left.empty() ? std::string("qubopost") : left;
}

size_t Utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;  // a stray continuation byte: keep it on its own
}

// Each run of C0 controls, DEL and C1 controls (U+0080..U+009F, C2 80..C2 9F in UTF-8)
// becomes one blank, so that nothing in a subject can end the header line.
std::string BlankControls(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    bool inRun = false;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        size_t length = 0;
        if (c < 0x20 || c == 0x7F) {
            length = 1;
        } else if (c == 0xC2 && i + 1 < utf8.size() &&
                   static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
            length = 2;
        }
        if (length == 0) {
            out += utf8[i];
            inRun = false;
            continue;
        }
        if (!inRun) out += ' ';
        inRun = true;
        i += length - 1;
    }
    return out;
}

// Well-formed UTF-8: no stray or missing continuation bytes, overlong forms, surrogates or code
// points above U+10FFFF.
bool IsWellFormedUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The sequence's length, the lead byte's bits, and the smallest code point it may hold.
        struct Form {
            size_t length;
            uint32_t bits;
            uint32_t smallest;
        };
        Form form{};
        if ((lead & 0xE0) == 0xC0) {
            form = {2, lead & 0x1Fu, 0x80};
        } else if ((lead & 0xF0) == 0xE0) {
            form = {3, lead & 0x0Fu, 0x800};
        } else if ((lead & 0xF8) == 0xF0) {
            form = {4, lead & 0x07u, 0x10000};
        } else {
            return false;
        }
        const size_t length = form.length;
        uint32_t codePoint = form.bits;
        if (text.size() - i < length) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = codePoint << 6 | (next & 0x3Fu);
        }
        if (codePoint < form.smallest || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// Sets the raw text of an existing header to `value`: on the header's own line when
// "Name: value" fits into kMaxHeaderLine characters, else on a continuation line of its own.
bool SetFoldedRawValue(GMimeMessage* message, const char* name, const std::string& value) {
    GMimeHeader* header =
        g_mime_header_list_get_header(g_mime_object_get_header_list(GMIME_OBJECT(message)), name);
    if (!header) return false;
    const bool fits = std::strlen(name) + 2 + value.size() <= kMaxHeaderLine;
    g_mime_header_set_raw_value(header, ((fits ? " " : "\n ") + value + "\n").c_str());
    return true;
}

// Sets From or To to the address exactly as it goes into the envelope. GMime's own formatting
// may change an address (it drops a final dot, and re-encodes "xn--" domains through IDNA);
// the address has passed IsValidMailAddress and is written as it is.
bool SetAddressHeader(GMimeMessage* message, GMimeAddressType type, const char* name,
                      const std::string& address) {
    g_mime_message_add_mailbox(message, type, nullptr, address.c_str());
    return SetFoldedRawValue(message, name, address);
}

// "<id>" short enough for a continuation line of its own: with the sender's domain when it
// fits, else with the fallback domain and, if need be, only the end of the seed (where its
// most changing parts are).
std::string FittingMessageId(const std::string& messageId, std::string_view seed) {
    const size_t room = kMaxHeaderLine - 3;  // the blank and the angle brackets
    if (messageId.size() <= room) return "<" + messageId + ">";
    std::string left = MessageIdLeft(seed);
    const size_t leftRoom = room - 1 - kFallbackDomain.size();
    if (left.size() > leftRoom) left = MessageIdLeft(left.substr(left.size() - leftRoom));
    return "<" + left + "@" + std::string(kFallbackDomain) + ">";
}

long LocalUtcOffset(time_t when) {
    struct tm local {};
    if (!localtime_r(&when, &local)) return 0;
    return local.tm_gmtoff;
}

}  // namespace

bool IsValidMailAddress(std::string_view address) {
    if (address.empty() || address.size() > kMaxAddressLength) return false;
    const size_t at = address.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == address.size()) return false;
    if (address.find('@', at + 1) != std::string_view::npos) return false;
    for (size_t i = 0; i < at; ++i) {
        const auto c = static_cast<unsigned char>(address[i]);
        if (c <= 0x20 || c >= 0x7F) return false;  // controls, blank, DEL, 8-bit
        if (std::string_view("<>()[],;:\\\"").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    }
    size_t labelLength = 0;
    for (const char c : address.substr(at + 1)) {
        if (c == '.') {
            if (labelLength == 0) return false;  // a dot first, or two dots together
            labelLength = 0;
        } else if (c == '-' || c == '_' || IsAsciiAlnum(static_cast<unsigned char>(c))) {
            ++labelLength;
        } else {
            return false;
        }
    }
    return labelLength > 0;  // no dot last
}

std::string FormatMailDate(time_t when, long utcOffsetSeconds) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const time_t shifted = when + utcOffsetSeconds;
    struct tm t {};
    if (!gmtime_r(&shifted, &t)) return "Thu, 01 Jan 1970 00:00:00 +0000";
    const long offsetMinutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[t.tm_wday % 7], t.tm_mday, kMonths[t.tm_mon % 12], t.tm_year + 1900,
                  t.tm_hour, t.tm_min, t.tm_sec, utcOffsetSeconds < 0 ? '-' : '+',
                  offsetMinutes / 60 % 100, offsetMinutes % 60);
    return text;
}

std::string Base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (const size_t rest = bytes.size() - i; rest > 0) {
        uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::vector<std::string> EncodeSubjectWords(std::string_view utf8Subject, size_t room) {
    const std::string text = BlankControls(utf8Subject);
    std::vector<std::string> words;
    size_t used = 0;  // the words so far and the blanks between them
    size_t start = 0;
    while (start < text.size()) {
        const size_t blank = words.empty() ? 0 : 1;
        if (used + blank + kMinEncodedWord > room) break;  // the rest of the subject is left out
        const size_t maxBytes = TextBytesInWord(std::min(kMaxEncodedWord, room - used - blank));
        size_t end = start;
        while (end < text.size()) {
            const size_t length = std::min(
                Utf8SequenceLength(static_cast<unsigned char>(text[end])), text.size() - end);
            if (end + length - start > maxBytes) break;
            end += length;
        }
        words.push_back("=?UTF-8?B?" +
                        Base64Encode(std::string_view(text).substr(start, end - start)) + "?=");
        used += blank + words.back().size();
        start = end;
    }
    return words;
}

// GMime's own quoted-printable encoder was tried and left aside: it writes a "." or "From " at
// the start of a line as it is, which a server's dot handling or an mbox store may change.
std::string EncodeQuotedPrintable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 2 + 3);
    size_t column = 0;  // characters on the line being written
    for (size_t i = 0; i < text.size();) {
        if (text.substr(i, 2) == "\r\n") {
            out += "\r\n";
            column = 0;
            i += 2;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        const bool hardEndNext = text.substr(i + 1, 2) == "\r\n";
        const bool lastOfLine = hardEndNext || i + 1 == text.size();
        const bool escape = c < 0x20 || c > 0x7E || c == '=' || (c == ' ' && lastOfLine) ||
                            (column == 0 && (c == '.' || text.substr(i, 5) == "From "));
        const size_t width = escape ? 3 : 1;
        // The character before a hard line end may fill the line; any other leaves room for the
        // soft line break's "=" (the text's last character too, as a soft break follows it).
        const size_t lineMax = hardEndNext ? kMaxQuotedPrintableLine : kMaxQuotedPrintableLine - 1;
        if (column + width > lineMax) {
            out += "=\r\n";
            column = 0;
            continue;  // again at the start of a line, where "." and "From " count
        }
        if (escape) {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
        column += width;
        ++i;
    }
    if (!text.empty() && !text.ends_with("\r\n")) out += "=\r\n";
    return out;
}

std::string NormaliseLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> BuildMailMessage(const MailFields& fields, time_t now,
                                            std::string_view messageIdSeed) {
    if (!IsValidMailAddress(fields.from) || !IsValidMailAddress(fields.to)) return std::nullopt;
    std::optional<std::string> subject, body;
    if (fields.utf8) {
        if (!IsWellFormedUtf8(fields.subject) || !IsWellFormedUtf8(fields.body))
            return std::nullopt;
        subject = fields.subject;
        body = fields.body;
    } else {
        subject = Cp932ToUtf8(fields.subject);
        body = Cp932ToUtf8(fields.body);
    }
    if (!subject || !body) return std::nullopt;
    InitGMime();
    std::lock_guard lock(gmimeMutex);

    Ref<GMimeMessage> message(g_mime_message_new(TRUE));
    GMimeObject* top = GMIME_OBJECT(message.Get());
    g_mime_object_set_header(top, "Date", FormatMailDate(now, LocalUtcOffset(now)).c_str(),
                             nullptr);
    if (!SetAddressHeader(message.Get(), GMIME_ADDRESS_TYPE_FROM, "From", fields.from))
        return std::nullopt;

    // GMime writes a subject without blanks as one encoded word however long it is, so the
    // header's raw text is set here: every encoded word on the one "Subject:" line, up to 998
    // characters. Blog gateways read only that line, so this one header knowingly goes past RFC
    // 2047's 76 characters; every other header line keeps to kMaxHeaderLine.
    const std::string cleanSubject = BlankControls(*subject);
    g_mime_message_set_subject(message.Get(), cleanSubject.c_str(), "UTF-8");
    std::string rawSubject;
    for (const std::string& word : EncodeSubjectWords(cleanSubject, kSubjectWordsRoom))
        rawSubject += " " + word;
    rawSubject += "\n";
    GMimeHeader* subjectHeader =
        g_mime_header_list_get_header(g_mime_object_get_header_list(top), "Subject");
    if (!subjectHeader) return std::nullopt;
    g_mime_header_set_raw_value(subjectHeader, rawSubject.c_str());

    if (!SetAddressHeader(message.Get(), GMIME_ADDRESS_TYPE_TO, "To", fields.to))
        return std::nullopt;
    const std::string_view senderDomain =
        std::string_view(fields.from).substr(fields.from.find('@') + 1);
    const std::string messageId =
        MessageIdLeft(messageIdSeed) + "@" +
        std::string(IsPlainDomain(senderDomain) ? senderDomain : kFallbackDomain);
    g_mime_message_set_message_id(message.Get(), messageId.c_str());
    if (!SetFoldedRawValue(message.Get(), "Message-Id", FittingMessageId(messageId, messageIdSeed)))
        return std::nullopt;

    // The body goes in encoded already: with the content's encoding the same as the part's,
    // GMime writes it as it is.
    const std::string encodedBody = EncodeQuotedPrintable(NormaliseLineEnds(*body));
    Ref<GMimePart> part(g_mime_part_new_with_type("text", "plain"));
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.Get()), "charset", "UTF-8");
    Ref<GMimeStream> bodyStream(
        g_mime_stream_mem_new_with_buffer(encodedBody.data(), encodedBody.size()));
    Ref<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(
        bodyStream.Get(), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE));
    g_mime_part_set_content(part.Get(), content.Get());
    g_mime_part_set_content_encoding(part.Get(), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    g_mime_message_set_mime_part(message.Get(), GMIME_OBJECT(part.Get()));

    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    Ref<GMimeStream> output(g_mime_stream_mem_new());
    const ssize_t written = g_mime_object_write_to_stream(top, options, output.Get());
    g_mime_format_options_free(options);
    if (written < 0) return std::nullopt;
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(output.Get()));
    return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

}  // namespace qubopost::mail
