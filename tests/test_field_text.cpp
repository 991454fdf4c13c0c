// Text typed by a Linux input method on its way into Shift-JIS: the forms Japanese Windows
// text has its own characters for, and the characters without any Shift-JIS form.
#include <gtest/gtest.h>

#include "platform/field_text.h"

using namespace qubopost::platform;

namespace {

std::string Hex(const Text& text) {
    std::string out;
    char buffer[4];
    for (unsigned char c : text.Bytes()) {
        std::snprintf(buffer, sizeof buffer, "%02X", c);
        out += buffer;
    }
    return out;
}

}  // namespace

TEST(FieldText, InputMethodFormsBecomeTheirWindowsShiftJisForms) {
    // The bytes Japanese Windows text uses for each of these (CP932 code table).
    const struct {
        const char* typed;
        const char* sjis;
    } table[] = {
        {"\u301C", "8160"},
        {"\u2212", "817C"},
        {"\u2016", "8161"},
        {"\u2014", "815C"},
        {"\u00A2", "8191"},
        {"\u00A3", "8192"},
        {"\u00AC", "81CA"},
        // Already the Windows forms: unchanged.
        {"\uFF5E", "8160"},
        {"\uFF0D", "817C"},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.typed);
        EXPECT_EQ(Hex(FieldToSjis(row.typed)), row.sjis);
        EXPECT_TRUE(FindUnmappable(row.typed).empty());
    }
    EXPECT_EQ(Hex(FieldToSjis("10時\u301C18時")),
              "3130"
              "8E9E"
              "8160"
              "3138"
              "8E9E");
}

TEST(FieldText, CharactersWithoutAShiftJisFormAreNamedWithTheirPlace) {
    const struct {
        std::string text;
        std::vector<std::tuple<char32_t, int, int>> expected;  // code point, line, column
    } table[] = {
        {"plain ascii", {}},
        {"日本語と①と髙", {}},
        {"好き\u2661です", {{U'\u2661', 1, 3}}},
        {"一行目\r\n二行目😀", {{U'\U0001F600', 2, 4}}},
        {"caf\u00e9\n\u00e9", {{U'\u00E9', 1, 4}, {U'\u00E9', 2, 1}}},
        {std::string("bad\xff") + "x", {{U'\uFFFD', 1, 4}}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(row.text);
        const auto found = FindUnmappable(row.text);
        ASSERT_EQ(found.size(), row.expected.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].codePoint, std::get<0>(row.expected[i]));
            EXPECT_EQ(found[i].line, std::get<1>(row.expected[i]));
            EXPECT_EQ(found[i].column, std::get<2>(row.expected[i]));
        }
    }
    EXPECT_EQ(CodePointName(U'\u2661'), "U+2661");
    EXPECT_EQ(CodePointName(U'\U0001F600'), "U+1F600");
    EXPECT_EQ(DescribeUnmappable(FindUnmappable("a\u2661")[0]),
              "「\u2661」（U+2661）1 行目 2 文字目");
}
