#include "settings/host_data.h"

#include "platform/encoding.h"
#include "platform/field_text.h"

using namespace qubopost::platform;

namespace qubopost::settings {

namespace {

Text LineBreakMark(LineBreaks encoding) {
    return encoding == LineBreaks::MiddleDots ? Sjis("・・") : Text("..");
}

}  // namespace

std::string HostDataEncode(const std::string& utf8, LineBreaks encoding) {
    Text value = FieldToSjis(utf8);
    if (encoding != LineBreaks::AsTyped) value.Replace("\r\n", LineBreakMark(encoding));
    // One-line values can't hold line ends; the file writer turns them into blanks.
    std::string bytes = value.Bytes();
    for (char& c : bytes)
        if (c == '\r' || c == '\n') c = ' ';
    return bytes;
}

Text HostDataDecode(const std::string& stored, LineBreaks encoding) {
    Text value(stored);
    if (encoding != LineBreaks::AsTyped) value.Replace(LineBreakMark(encoding), "\r\n");
    return value;
}

std::string EscapeLossless(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string UnescapeLossless(const std::string& stored) {
    std::string out;
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] != '\\' || i + 1 == stored.size()) {
            out += stored[i];
            continue;
        }
        const char next = stored[++i];
        if (next == 'n') {
            out += "\r\n";
        } else if (next == 'r') {
            out += '\r';
        } else {
            out += next;  // "\\" and anything unknown: the character itself
        }
    }
    return out;
}

bool SurvivesHostData(const std::string& utf8, LineBreaks encoding) {
    return ToUtf8(HostDataDecode(HostDataEncode(utf8, encoding), encoding)) == utf8;
}

}  // namespace qubopost::settings
