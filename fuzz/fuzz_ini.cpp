// The settings (INI) document over any bytes.
//
// Input: the file's bytes up to the first NUL; behind it, settings to make, each
// "section\x01key\x01value" and ended by a NUL. A section or key that is not a plain name
// (see PlainName) is replaced by one the program uses, so that every input makes settings.
//
// Properties:
// - parsing never fails, and Parse then Serialize gives the input back byte for byte;
// - after each Set, Get gives the value back, CR and LF turned into blanks; names are matched
//   without regard to the case of ASCII letters, by Shift-JIS characters (the second byte of a
//   double-byte character is no letter and no bracket);
// - keys that were not set keep the value they had in the file (also a last line without a
//   line end whose value ends in CR, when a line is added behind it);
// - Serialize, Parse, Serialize gives the same bytes, and the parsed document answers every
//   Get as before.
#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "platform/profile.h"

using namespace qubopost::platform;

namespace {

constexpr std::string_view kProgramSection = "HostData";
constexpr std::string_view kProgramKeys[] = {"ID",       "MAIL",   "SMTP",  "PORT",
                                             "BLOGMAIL", "HEADER", "FOOTER"};
// More settings add little but time.
constexpr std::size_t kMostSettings = 64;

// Names are compared without regard to the case of ASCII letters, by characters.
std::string Lower(std::string_view text) { return fuzz::LowerAscii(text); }

// A name as the program's settings and registry use them: printable ASCII and Shift-JIS
// characters, no blank at either end, none of the characters that shape a line ('[' and ']'
// around a section, '=' after a key, ';' before a comment). A second byte may be anything a
// second byte can be, '[' and ']' included.
bool PlainName(std::string_view name, bool key) {
    if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (fuzz::IsSjisLead(c)) {
            if (i + 1 == name.size() || !fuzz::IsSjisTrail(name[i + 1])) return false;
            ++i;
            continue;
        }
        if (c < 0x20 || c > 0x7E || c == '[' || c == ']') return false;
        if (key && c == '=') return false;
    }
    return !(key && name.front() == ';');
}

std::string OneLine(std::string_view value) {
    std::string out(value);
    std::replace(out.begin(), out.end(), '\r', ' ');
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

using Names = std::vector<std::pair<std::string, std::string>>;
using Settings = std::map<std::pair<std::string, std::string>, std::optional<std::string>>;

void CheckAll(const IniDocument& doc, const Settings& expected, const Names& names,
              const char* when) {
    for (const auto& [section, key] : names) {
        const auto it = expected.find({Lower(section), Lower(key)});
        if (it == expected.end()) continue;
        const std::optional<std::string> got = doc.Get(section, key);
        const std::optional<std::string>& want = it->second;
        if (got != want) {
            std::fprintf(stderr, "  %s\n", when);
            fuzz::Show("section", section);
            fuzz::Show("key", key);
            fuzz::Show("expected", want.value_or("(missing)"));
            fuzz::Show("got", got.value_or("(missing)"));
            fuzz::Show("document", doc.Serialize());
        }
        FUZZ_CHECK(got == want, "Get does not give what the document holds");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t fileEnd = std::min(input.find('\0'), input.size());
    const std::string_view file = input.substr(0, fileEnd);

    IniDocument doc = IniDocument::Parse(file);
    if (doc.Serialize() != file) {
        fuzz::Show("file", file);
        fuzz::Show("serialized", doc.Serialize());
    }
    FUZZ_CHECK(doc.Serialize() == file, "Parse then Serialize does not give the file back");

    // The settings to make.
    Names names;
    std::vector<std::string> values;
    std::size_t pos = fileEnd + 1;
    while (pos < input.size() && values.size() < kMostSettings) {
        const std::size_t end = std::min(input.find('\0', pos), input.size());
        const std::string_view item = input.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t a = std::min(item.find('\x01'), item.size());
        const std::size_t b =
            a == item.size() ? a : std::min(item.find('\x01', a + 1), item.size());
        std::string section(item.substr(0, a));
        std::string key(a < item.size() ? item.substr(a + 1, b - a - 1) : std::string_view());
        std::string value(b < item.size() ? item.substr(b + 1) : std::string_view());
        if (!PlainName(section, false)) section = std::string(kProgramSection);
        if (!PlainName(key, true))
            key = std::string(kProgramKeys[(item.size() + names.size()) % std::size(kProgramKeys)]);
        names.emplace_back(std::move(section), std::move(key));
        values.push_back(std::move(value));
    }
    for (const auto& name : kProgramKeys)
        names.emplace_back(std::string(kProgramSection), std::string(name));

    // What the file holds for every name used, and what the settings make of it.
    Settings expected;
    for (const auto& [section, key] : names)
        expected.try_emplace({Lower(section), Lower(key)}, doc.Get(section, key));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& [section, key] = names[i];
        doc.Set(section, key, values[i]);
        expected[{Lower(section), Lower(key)}] = OneLine(values[i]);
        if (doc.Get(section, key) != OneLine(values[i])) {
            fuzz::Show("section", section);
            fuzz::Show("key", key);
            fuzz::Show("value", values[i]);
            fuzz::Show("document", doc.Serialize());
        }
        FUZZ_CHECK(doc.Get(section, key) == OneLine(values[i]),
                   "Get does not give back what Set set");
    }
    CheckAll(doc, expected, names, "after the settings");

    const std::string saved = doc.Serialize();
    const IniDocument loaded = IniDocument::Parse(saved);
    FUZZ_CHECK(loaded.Serialize() == saved,
               "a saved document does not load back to the same bytes");
    CheckAll(loaded, expected, names, "after saving and loading");
    return 0;
}
