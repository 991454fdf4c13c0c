// The generator's fast paths against plain models: the block-wise text search against the
// candidate-by-candidate FindSjis, the scan's skip marks against a scan that searches every
// mark with Text::Find, and the page conversion over long runs against ICU's conversion of
// the whole text in one call.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <random>
#include <string>
#include <vector>

#include "article/article_generator.h"
#include "article/sjis_search.h"
#include "platform/encoding.h"
#include "reference_scan.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;

using qubopost::test::ReferenceScan;

namespace {

std::string RandomText(std::mt19937& random, const std::vector<std::string>& parts, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += parts[random() % parts.size()];
    return text;
}

// ICU's conversion of the whole text in one call, with "?" for a character CP932 lacks,
// under a name of the EUC-JP converter that takes no shortcut.
std::string IcuWhole(const std::string& eucjp) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* source = ucnv_open("eucjis", &status);
    UConverter* target = ucnv_open("windows-31j", &status);
    EXPECT_TRUE(U_SUCCESS(status));
    ucnv_setSubstChars(target, "?", 1, &status);
    EXPECT_TRUE(U_SUCCESS(status));
    std::string out(eucjp.size() * 2 + 16, '\0');
    char* outPos = out.data();
    const char* in = eucjp.data();
    UChar pivot[64];
    UChar* pivotSource = pivot;
    UChar* pivotTarget = pivot;
    ucnv_convertEx(target, source, &outPos, out.data() + out.size(), &in,
                   eucjp.data() + eucjp.size(), pivot, &pivotSource, &pivotTarget, pivot + 64, true,
                   true, &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    out.resize(static_cast<std::size_t>(outPos - out.data()));
    ucnv_close(source);
    ucnv_close(target);
    return out;
}

}  // namespace

TEST(ArticleSearch, FindsWhatTheCharacterWalkFinds) {
    constexpr std::size_t npos = std::string_view::npos;
    struct Case {
        const char* what;
        std::string hay;
        std::string needle;
        std::size_t start;
        std::size_t expected;
    };
    const std::vector<Case> cases = {
        {"plain ASCII", "xx<a href='y'", "<a href='", 0, 2},
        {"a lead byte swallows the '<' behind it", "\x88<a href='<a href='", "<a href='", 0, 10},
        {"two lead bytes are one character", "\x88\x88<a href='", "<a href='", 0, 2},
        {"three lead bytes swallow it again", "\x88\x88\x88<a href='", "<a href='", 0, npos},
        {"the walk starts at start", "\x88<a href='", "<a href='", 1, 1},
        {"beyond the first block of 16", std::string(20, 'x') + "\x81" + "</a></a>", "</a>", 0, 25},
        {"lead bytes across a block edge", std::string(15, 'x') + "\x81\x81\x81</a></a>", "</a>", 0,
         22},
        {"a match ending the text", std::string(40, '-') + "</a>", "</a>", 3, 40},
        {"one byte short of the needle", std::string(40, '-') + "</a", "</a>", 0, npos},
        {"start past the end", "</a>", "</a>", 5, npos},
        {"start at the end, empty needle", "</a>", "", 4, 4},
        {"a needle of one byte", "\x81<<", "<", 0, 2},
        {"a needle that starts with a lead byte", "x\x8F\xDA\x8F\xDA\x8D\xD7", "\x8F\xDA\x8D\xD7",
         0, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindOnBoundary(c.hay, c.needle, c.start), c.expected) << c.what;
        EXPECT_EQ(FindSjis(c.hay, c.needle, c.start), c.expected) << c.what << " (the model)";
    }
}

TEST(ArticleSearch, AgreesWithFindSjisOnRandomTexts) {
    const std::vector<std::string> parts = {"<a href='",
                                            "<a href=\"",
                                            "</a>",
                                            "<td>",
                                            "</",
                                            "<",
                                            "'",
                                            ">",
                                            "x",
                                            " ",
                                            "\n",
                                            "\x81",
                                            "\x88",
                                            "\xE0",
                                            "\xFC",
                                            "\x81\x40",
                                            "\x82\xA0",
                                            "\x9F\x3C",
                                            "\xE0<",
                                            "-----into-----",
                                            "http://",
                                            "/' target=_blank>",
                                            "</span></td>",
                                            "<td valign=top align=left><span class=style2>",
                                            "\x8F\xDA\x8D\xD7\x90\xE0\x96\xBE"};
    const std::vector<std::string> needles = {
        "<a href='", "<a href=\"", "</a>", "<", "<a", "http://", "https://", "-----into-----",
        "/' target=_blank>", "</span></td>", "<td valign=top align=left><span class=style2>",
        "\x8F\xDA\x8D\xD7\x90\xE0\x96\xBE",
        // Needles of lead bytes, whose matches overlap and fall on and off boundaries in turn.
        "\x81\x81", "\x88<", "\x81\x81\x81", ""};
    std::mt19937 random(20261208);
    for (int round = 0; round < 1500; ++round) {
        const std::string hay = RandomText(random, parts, static_cast<int>(random() % 50));
        for (const std::string& needle : needles) {
            for (std::size_t start = 0; start <= hay.size() + 1; start += 1 + random() % 5) {
                ASSERT_EQ(FindOnBoundary(hay, needle, start), FindSjis(hay, needle, start))
                    << "needle " << needle << " start " << start << " text "
                    << ::testing::PrintToString(hay);
            }
        }
    }
}

TEST(ArticleSearch, SkipMarksAgreeWithAFindForEachMark) {
    // Every mark, marks in other cases, marks behind lead bytes (which swallow the '.'),
    // and links long enough for the block-wise search.
    const std::vector<std::string> parts = {"<a href='http://x/1/' target=_blank>",
                                            "<a href=\"http://x/2/\" target=_blank>",
                                            "</a>",
                                            ".jpg",
                                            ".JPG",
                                            ".gif",
                                            ".GIF",
                                            ".png",
                                            ".PNG",
                                            ".tif",
                                            ".TIF",
                                            ".Jpg",
                                            ".jpeg",
                                            ".",
                                            "jpg",
                                            Sjis("詳細説明").Bytes(),
                                            Sjis("詳細").Bytes(),
                                            "\x88",
                                            "\x81\x40",
                                            "\xE0",
                                            "title text ",
                                            "\n",
                                            "<td valign=top align=left><span class=style2>",
                                            "</span></td>"};
    std::mt19937 random(77);
    for (int round = 0; round < 3000; ++round) {
        const Text page(RandomText(random, parts, static_cast<int>(random() % 30)));
        ASSERT_EQ(ScanRankingPage(page), ReferenceScan(page))
            << ::testing::PrintToString(page.Bytes());
    }
}

TEST(ArticleSearch, LongRunsConvertAsIcuConvertsTheWholeText) {
    // Runs longer than the 16-byte blocks the conversion looks at, with the ASCII bytes CP932
    // changes (0x1A, 0x1C, 0x7F) at every place in a block, broken sequences and the end of
    // the text inside a character.
    const std::vector<std::string> parts = {std::string(17, 'a'),
                                            std::string(5, 'b'),
                                            "\x1A",
                                            "\x1C",
                                            "\x7F",
                                            "\xA4\xA2\xA4\xA4\xA4\xA6\xA4\xA8\xA4\xAA",
                                            "\xAD\xA1\xAD\xA2\xF9\xA1",
                                            "\x8E\xB1\x8E\xB2",
                                            "\x8F\xB0\xA1",
                                            "\xA4",
                                            "\xFF",
                                            "\x8E",
                                            "\n"};
    std::mt19937 random(31);
    for (int round = 0; round < 600; ++round) {
        const std::string page = RandomText(random, parts, static_cast<int>(random() % 80));
        const std::string whole = IcuWhole(page);
        ASSERT_EQ(*EucJpToSjis(page), whole) << ::testing::PrintToString(page);
        PieceConverter converter("EUC-JP", "windows-31j");
        std::string pieces;
        for (std::size_t at = 0; at < page.size(); at += 40)
            converter.Feed(std::string_view(page).substr(at, 40), pieces);
        converter.Finish(pieces);
        ASSERT_EQ(pieces, whole) << ::testing::PrintToString(page);
    }
}
