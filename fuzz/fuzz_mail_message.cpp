// The mail library's message builder and address check over any fields.
//
// Input: sender, recipient, subject and Message-Id seed, each ended by a NUL, then the body
// (the rest, NULs included).
//
// Each input is built twice: with the subject and body as CP932 (converted), and as UTF-8.
//
// Properties:
// - IsValidMailAddress accepts exactly the plain addresses its description names (printable
//   ASCII without blank and < > ( ) [ ] , ; : \ ", one '@' with text on both sides, a domain of
//   letters, digits, '-' and '_' in labels joined by single dots, at most 254 bytes), and the
//   builder gives a CP932 message exactly when both addresses pass, a UTF-8 one exactly when
//   they pass and the subject and body are well-formed UTF-8;
// - the message is 7-bit, without NUL, with CR LF line ends only and no line over 998 bytes;
// - the Subject is one line; no other header line is over 78 characters, but for an address
//   too long for it on a line of its own under "From:" or "To:";
// - its header holds exactly Date, From, To, Subject, Message-Id, MIME-Version, Content-Type
//   and Content-Transfer-Encoding, once each: no input adds a header;
// - From and To give the addresses back; the Subject, read as RFC 2047 encoded words of at
//   most 75 characters that each hold whole UTF-8 characters, gives the UTF-8 of the subject
//   with every run of control characters turned into one blank, or, when that does not fit
//   into the line, the start of it with the line full (no room for a blank and one more word
//   of 20 characters);
// - the body is quoted-printable (RFC 2045, upper-case hex) in lines of at most 76 characters,
//   none ending in a blank or tab nor starting with "." or "From ", and decodes to the UTF-8 of
//   the body with CR LF line ends.
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "mail/charset.h"
#include "mail/message.h"

namespace {

using qubopost::mail::BuildMailMessage;
using qubopost::mail::Cp932ToUtf8;
using qubopost::mail::IsValidMailAddress;
using qubopost::mail::MailFields;

constexpr time_t kSomeTime = 1717200000;

bool PlainValidAddress(std::string_view address) {
    if (address.empty() || address.size() > 254) return false;
    std::size_t ats = 0, at = 0;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const auto c = static_cast<unsigned char>(address[i]);
        if (c < 0x21 || c > 0x7E) return false;
        if (std::string_view("<>()[],;:\\\"").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
        if (c == '@') {
            ++ats;
            at = i;
        }
    }
    if (ats != 1 || at == 0 || at + 1 == address.size()) return false;
    // The domain: labels of letters, digits, '-' and '_' joined by single dots.
    const std::string_view domain = address.substr(at + 1);
    std::size_t label = 0;
    for (const char c : domain) {
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
            continue;
        }
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) return false;
        ++label;
    }
    return label > 0;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Strict base64: groups of four, '=' padding only at the very end.
bool Base64Decode(std::string_view text, std::string* out) {
    out->clear();
    if (text.size() % 4 != 0) return false;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<std::size_t>(k)];
            if (c == '=' && last && k >= 2) {
                v[k] = 0;
                ++padding;
            } else {
                if (padding > 0) return false;
                v[k] = Base64Value(c);
                if (v[k] < 0) return false;
            }
        }
        const unsigned bits = static_cast<unsigned>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
        *out += static_cast<char>(bits >> 16);
        if (padding < 2) *out += static_cast<char>(bits >> 8 & 0xFF);
        if (padding < 1) *out += static_cast<char>(bits & 0xFF);
    }
    return true;
}

// UTF-8 with every run of C0 controls, DEL and C1 controls made one blank.
std::string BlankControlRuns(std::string_view utf8) {
    std::string out;
    bool inRun = false;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (i + length > utf8.size()) length = utf8.size() - i;
        unsigned codePoint = c;
        if (length == 2)
            codePoint = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
        const bool control = (length == 1 && (c < 0x20 || c == 0x7F)) ||
                             (length == 2 && codePoint >= 0x80 && codePoint <= 0x9F);
        if (control) {
            if (!inRun) out += ' ';
            inRun = true;
        } else {
            out += utf8.substr(i, length);
            inRun = false;
        }
        i += length;
    }
    return out;
}

std::string CrLfLineEnds(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;  // the LF writes it
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

// RFC 2045 quoted-printable, strictly (see the properties); false for anything else.
bool QuotedPrintableDecode(std::string_view encoded, std::string* out) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    out->clear();
    for (std::size_t i = 0; i < encoded.size();) {
        const char c = encoded[i];
        if (c == '\r') {
            if (encoded.substr(i, 2) != "\r\n") return false;
            *out += "\r\n";
            i += 2;
        } else if (c == '=') {
            if (encoded.substr(i + 1, 2) == "\r\n") {
                i += 3;
                continue;
            }
            if (i + 2 >= encoded.size()) return false;
            const std::size_t high = kHex.find(encoded[i + 1]), low = kHex.find(encoded[i + 2]);
            if (high == std::string_view::npos || low == std::string_view::npos) return false;
            *out += static_cast<char>(high * 16 + low);
            i += 3;
        } else if (c >= ' ' && c <= '~') {
            *out += c;
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

// Well-formed UTF-8 by RFC 3629: no overlong forms, surrogates or code points over U+10FFFF.
bool ValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto at = [&](std::size_t k) {
            return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u;
        };
        const auto tail = [](unsigned b) { return b >= 0x80 && b <= 0xBF; };
        std::size_t length = 0;
        if (c <= 0x7F) {
            length = 1;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = tail(at(1)) ? 2 : 0;
        } else if (c >= 0xE0 && c <= 0xEF) {
            const unsigned low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
            length = at(1) >= low && at(1) <= high && tail(at(2)) ? 3 : 0;
        } else if (c >= 0xF0 && c <= 0xF4) {
            const unsigned low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
            length = at(1) >= low && at(1) <= high && tail(at(2)) && tail(at(3)) ? 4 : 0;
        }
        if (length == 0) return false;
        i += length;
    }
    return true;
}

bool WholeUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

void Fail(const std::string& message, const char* what) {
    fuzz::Show("message", message);
    fuzz::Broken(__FILE__, __LINE__, "message check", what);
}

// `subject` and `body`: the UTF-8 texts the message must carry.
void CheckMessage(const MailFields& fields, const std::string& subjectText,
                  const std::string& bodyText, const std::string& message) {
    // Bytes and lines.
    for (std::size_t i = 0; i < message.size(); ++i) {
        const auto c = static_cast<unsigned char>(message[i]);
        if (c == 0 || c >= 0x80) Fail(message, "the message holds a NUL or an 8-bit byte");
        if (c == '\r' && (i + 1 == message.size() || message[i + 1] != '\n'))
            Fail(message, "a lone CR");
        if (c == '\n' && (i == 0 || message[i - 1] != '\r')) Fail(message, "a lone LF");
    }
    if (!fuzz::EndsWith(message, "\r\n")) Fail(message, "the message does not end with a line end");
    std::vector<std::string_view> lines;
    for (std::size_t pos = 0; pos < message.size();) {
        const std::size_t end = message.find("\r\n", pos);
        lines.push_back(std::string_view(message).substr(pos, end - pos));
        pos = end + 2;
    }
    for (const std::string_view line : lines) {
        if (line.size() > 998) Fail(message, "a line is longer than 998 bytes");
    }

    // The header: unfolded fields, each name once.
    std::map<std::string, std::vector<std::string_view>> header;  // name: its lines
    std::size_t bodyLine = lines.size();
    bool headerEnded = false;
    std::string current;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) {
            bodyLine = i + 1;
            headerEnded = true;
            break;
        }
        if (lines[i].front() == ' ' || lines[i].front() == '\t') {
            if (current.empty()) Fail(message, "the header begins with a continuation line");
            header[current].push_back(lines[i]);
            continue;
        }
        const std::size_t colon = lines[i].find(':');
        if (colon == std::string_view::npos) Fail(message, "a header line without a name");
        current = Lower(lines[i].substr(0, colon));
        if (header.count(current)) Fail(message, "a header field appears twice");
        header[current].push_back(lines[i].substr(colon + 1));
    }
    if (!headerEnded) Fail(message, "no empty line between header and body");
    // At most 78 characters on every header line (RFC 5322's advice) but the Subject, which
    // is one line of up to 998 for gateways that read only that line; only an address longer
    // than that, alone on its line after "From:" or "To:", may exceed it.
    for (std::size_t i = 0; i + 1 < bodyLine; ++i) {
        if (lines[i].size() <= 78 || lines[i].substr(0, 8) == "Subject:") continue;
        const bool addressAlone = i > 0 && (lines[i - 1] == "From:" || lines[i - 1] == "To:") &&
                                  (Trim(lines[i]) == fields.from || Trim(lines[i]) == fields.to);
        if (!addressAlone)
            Fail(message, "a header line other than Subject is longer than 78 characters");
    }
    const std::vector<std::string> names = {"content-transfer-encoding",
                                            "content-type",
                                            "date",
                                            "from",
                                            "message-id",
                                            "mime-version",
                                            "subject",
                                            "to"};
    std::vector<std::string> got;
    for (const auto& [name, value] : header) got.push_back(name);
    if (got != names) {
        for (const auto& name : got) std::fprintf(stderr, "  header field: %s\n", name.c_str());
        Fail(message, "the header does not hold exactly the expected fields");
    }
    // A field's value unfolded (its line ends taken out) and trimmed.
    std::map<std::string, std::string> unfolded;
    for (const auto& [name, parts] : header) {
        std::string value;
        for (const std::string_view part : parts) value += part;
        unfolded[name] = std::string(Trim(value));
    }
    const auto single = [&](const std::string& name) -> const std::string& {
        return unfolded[name];
    };

    if (single("from") != fields.from) Fail(message, "From does not give the sender back");
    if (single("to") != fields.to) Fail(message, "To does not give the recipient back");
    if (single("mime-version") != "1.0") Fail(message, "MIME-Version is not 1.0");
    if (Lower(single("content-transfer-encoding")) != "quoted-printable") {
        Fail(message, "the body is not quoted-printable");
    }
    const std::string type = Lower(single("content-type"));
    if (type.rfind("text/plain", 0) != 0 || type.find("charset=utf-8") == std::string::npos) {
        Fail(message, "the body is not UTF-8 text");
    }
    const std::string& messageId = single("message-id");
    if (messageId.size() < 5 || messageId.front() != '<' || messageId.back() != '>' ||
        messageId.find('@') == std::string::npos ||
        messageId.find_first_of(" \t\"(),:;[\\]") != std::string::npos) {
        Fail(message, "the Message-Id is not a plain <left@domain>");
    }

    // The subject: encoded words only, on one line.
    if (header["subject"].size() != 1) Fail(message, "the Subject takes more than one line");
    std::string subject;
    for (const std::string_view line : header["subject"]) {
        std::size_t pos = 0;
        while (pos < line.size()) {
            while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
            if (pos == line.size()) break;
            std::size_t end = line.find_first_of(" \t", pos);
            if (end == std::string_view::npos) end = line.size();
            const std::string_view word = line.substr(pos, end - pos);
            pos = end;
            const std::string_view open = "=?UTF-8?B?";
            if (word.size() > 75 || word.size() < open.size() + 2 ||
                word.substr(0, open.size()) != open || word.substr(word.size() - 2) != "?=") {
                fuzz::Show("word", word);
                Fail(
                    message,
                    "the subject holds something other than a B encoded word of at most 75 characters");
            }
            std::string decoded;
            if (!Base64Decode(word.substr(open.size(), word.size() - open.size() - 2), &decoded)) {
                Fail(message, "an encoded word is not base64");
            }
            if (!WholeUtf8(decoded)) Fail(message, "an encoded word splits a character");
            subject += decoded;
        }
    }
    const std::string expectedSubject = BlankControlRuns(subjectText);
    // "Subject:" and the words, each after a blank.
    const std::size_t subjectLine = 8 + header["subject"].front().size();
    const bool cut = subject.size() < expectedSubject.size() &&
                     expectedSubject.compare(0, subject.size(), subject) == 0 &&
                     subjectLine + 1 + 20 > 998;
    if (subject != expectedSubject && !cut) {
        fuzz::Show("subject", subject);
        fuzz::Show("expected", expectedSubject);
        Fail(message,
             "the subject does not decode to the subject given (or its start on a full line)");
    }

    // The body.
    for (std::size_t i = bodyLine; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.size() > 76) Fail(message, "a quoted-printable line is longer than 76 characters");
        if (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            Fail(message, "a body line ends in a blank");
        if (line.substr(0, 1) == "." || line.substr(0, 5) == "From ") {
            Fail(message, "a body line starts with \".\" or \"From \"");
        }
    }
    const std::size_t bodyStart = message.find("\r\n\r\n") + 4;
    std::string body;
    if (!QuotedPrintableDecode(std::string_view(message).substr(bodyStart), &body)) {
        Fail(message, "the body is not quoted-printable");
    }
    const std::string expectedBody = CrLfLineEnds(bodyText);
    if (body != expectedBody) {
        fuzz::Show("body", body);
        fuzz::Show("expected", expectedBody);
        Fail(message, "the body does not decode to the body given");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> parts = fuzz::SplitFields(data, size, 5);
    const MailFields fields{parts[0], parts[1], parts[2], parts[4]};
    const std::string& seed = parts[3];

    const bool fromValid = IsValidMailAddress(fields.from);
    const bool toValid = IsValidMailAddress(fields.to);
    if (fromValid != PlainValidAddress(fields.from)) fuzz::Show("sender", fields.from);
    FUZZ_CHECK(fromValid == PlainValidAddress(fields.from),
               "IsValidMailAddress differs from its description");
    if (toValid != PlainValidAddress(fields.to)) fuzz::Show("recipient", fields.to);
    FUZZ_CHECK(toValid == PlainValidAddress(fields.to),
               "IsValidMailAddress differs from its description");

    const std::optional<std::string> message = BuildMailMessage(fields, kSomeTime, seed);
    FUZZ_CHECK(message.has_value() == (fromValid && toValid),
               "a message was built for a refused address, or none for good ones");
    if (message) {
        CheckMessage(fields, Cp932ToUtf8(fields.subject).value_or(""),
                     Cp932ToUtf8(fields.body).value_or(""), *message);
    }

    // The same texts as UTF-8.
    MailFields utf8Fields = fields;
    utf8Fields.utf8 = true;
    const bool textsValid = ValidUtf8(fields.subject) && ValidUtf8(fields.body);
    const std::optional<std::string> utf8Message = BuildMailMessage(utf8Fields, kSomeTime, seed);
    FUZZ_CHECK(
        utf8Message.has_value() == (fromValid && toValid && textsValid),
        "a UTF-8 message was built for a refused address or invalid UTF-8, or none for good ones");
    if (utf8Message) CheckMessage(utf8Fields, fields.subject, fields.body, *utf8Message);
    return 0;
}
