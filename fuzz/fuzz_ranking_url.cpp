// The ranking URL over any three values.
//
// Input: byte 0 picks the ranking kind ("1", "2", "3" or one the builder does not know); the
// rest is split at NULs into product kind, category and affiliate ID (the last takes the rest,
// NULs included).
//
// Properties:
// - an unknown kind gives an empty URL;
// - otherwise the URL is "http://", the host and the kind's path, then a query with exactly the
//   template's parameters, in the template's order, each once: no value can add a parameter, a
//   '?', a '#' or anything outside the unreserved characters and %XX;
// - decoding each value gives the input bytes back.
#include <string>
#include <string_view>
#include <vector>

#include "article/ranking_request.h"
#include "fuzz_support.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;

namespace {

struct Template {
    std::string_view kind;
    std::string_view path;
    std::vector<std::string_view> names;  // in order; "" marks a value from the input
    std::vector<std::string_view> fixed;  // the fixed values, "" where the input goes
};

const std::vector<Template>& Templates() {
    static const std::vector<Template> templates = {
        {"1",
         "/rankfiles/getrank_ex.php",
         {"CODE", "CID", "SCID", "af", "listmax", "font_size", "r_bg"},
         {"", "", "", "", "10", "2", "ff0000"}},
        {"2",
         "/rankfiles24/getrank_ex.php",
         {"CODE", "CID", "SCID", "af", "listmax", "font_size", "r_bg"},
         {"", "", "", "", "10", "2", "ff0000"}},
        {"3", "/pickupfiles/getpickup.php", {"CODE", "CID", "SCID", "af"}, {"", "", "", ""}},
    };
    return templates;
}

bool Unreserved(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower-case hex digits are not what the builder writes
}

// Percent-decoding that accepts only unreserved characters and %XX with upper-case digits.
bool Decode(std::string_view value, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (Unreserved(value[i])) {
            *out += value[i];
            continue;
        }
        if (value[i] != '%' || i + 2 >= value.size() || HexValue(value[i + 1]) < 0 ||
            HexValue(value[i + 2]) < 0) {
            return false;
        }
        *out += static_cast<char>(HexValue(value[i + 1]) * 16 + HexValue(value[i + 2]));
        i += 2;
    }
    return true;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::vector<std::string> values = fuzz::SplitFields(data + 1, size - 1, 3);
    const std::string_view kinds[] = {"1", "2", "3", "4"};
    const std::string_view kind = kinds[data[0] % 4];
    const std::string_view host = RankingHost();

    const Text url =
        MakeRankingUrl(Text(values[0]), Text(values[1]), Text(values[2]), Text(kind), host);
    const Template* chosen = nullptr;
    for (const Template& t : Templates()) {
        if (t.kind == kind) chosen = &t;
    }
    if (!chosen) {
        FUZZ_CHECK(url.IsEmpty(), "an unknown ranking kind gave a URL");
        return 0;
    }

    const std::string& bytes = url.Bytes();
    const std::string prefix = "http://" + std::string(host) + std::string(chosen->path) + "?";
    if (bytes.compare(0, prefix.size(), prefix) != 0) fuzz::Show("url", bytes);
    FUZZ_CHECK(bytes.compare(0, prefix.size(), prefix) == 0,
               "the URL does not begin with the kind's host and path");
    FUZZ_CHECK(bytes.find('#') == std::string::npos, "the URL holds a '#'");
    FUZZ_CHECK(bytes.find('?') == prefix.size() - 1, "the URL holds a second '?'");
    const std::string_view query = std::string_view(bytes).substr(prefix.size());

    const std::vector<std::string_view> parameters = Split(query, '&');
    if (parameters.size() != chosen->names.size()) fuzz::Show("url", bytes);
    FUZZ_CHECK(parameters.size() == chosen->names.size(),
               "the URL does not have the template's parameters");
    const std::string* inputs[] = {&values[0], &values[1], nullptr, &values[2]};
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const std::size_t eq = parameters[i].find('=');
        FUZZ_CHECK(eq != std::string_view::npos, "a parameter has no '='");
        FUZZ_CHECK(parameters[i].substr(0, eq) == chosen->names[i],
                   "a parameter is not the template's");
        const std::string_view value = parameters[i].substr(eq + 1);
        FUZZ_CHECK(value.find('=') == std::string_view::npos, "a value holds a '='");
        std::string decoded;
        FUZZ_CHECK(Decode(value, &decoded),
                   "a value holds a character that is neither unreserved nor %XX");
        if (i < 4 && inputs[i]) {
            if (decoded != *inputs[i]) {
                fuzz::Show("input", *inputs[i]);
                fuzz::Show("decoded", decoded);
            }
            FUZZ_CHECK(decoded == *inputs[i], "a value does not decode to its input");
        } else {
            FUZZ_CHECK(decoded == chosen->fixed[i], "a fixed value of the template changed");
        }
    }
    return 0;
}
