// The ranking URL: the selections as query values that cannot break out of their place.
#include <gtest/gtest.h>

#include "article/ranking_request.h"
#include "platform/encoding.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;

namespace {
std::string Url(const char* product, const char* category, const char* af, const char* kind) {
    return MakeRankingUrl(product, CategoryCodeFor(Sjis(category)), AffiliateIdFor(Sjis(af)), kind,
                          "rank.test")
        .Bytes();
}
}  // namespace

TEST(RankingUrl, ExamplesOfTheDialogsSelections) {
    EXPECT_EQ(
        Url("1", "すべて", "", "1"),
        "http://rank.test/rankfiles/getrank_ex.php?CODE=1&CID=&SCID=&af=zuto837461&listmax=10&font_size=2&r_bg=ff0000");
    EXPECT_EQ(Url("6", "漫画・同人誌", "abc", "3"),
              "http://rank.test/pickupfiles/getpickup.php?CODE=6&CID=6&SCID=&af=abc");
    EXPECT_EQ(
        Url("2", "芸能・音楽", "id", "2"),
        "http://rank.test/rankfiles24/getrank_ex.php?CODE=2&CID=3&SCID=&af=id&listmax=10&font_size=2&r_bg=ff0000");
    EXPECT_EQ(Url("1", "すべて", "", ""), "");
}

TEST(RankingUrl, TypedValuesAreEncodedByteForByte) {
    EXPECT_EQ(Url("1", "", " ", "3"),
              "http://rank.test/pickupfiles/getpickup.php?CODE=1&CID=&SCID=&af=%20");
    EXPECT_EQ(
        Url("1", "a&CODE=9", "x&y=1#z", "3"),
        "http://rank.test/pickupfiles/getpickup.php?CODE=1&CID=a%26CODE%3D9&SCID=&af=x%26y%3D1%23z");
    // A typed category that is no label goes as its Shift-JIS bytes.
    EXPECT_EQ(Url("1", "本", "-._~", "3"),
              "http://rank.test/pickupfiles/getpickup.php?CODE=1&CID=%96%7B&SCID=&af=-._~");
    EXPECT_EQ(EncodeQueryValue(std::string("\r\n\0%", 4)), "%0D%0A%00%25");
}

TEST(RankingUrl, RadioReadingsLetTheLastCheckedWin) {
    EXPECT_EQ(ProductKindFor(true, false, false), Text("1"));
    EXPECT_EQ(ProductKindFor(true, true, true), Text("6"));
    EXPECT_EQ(ProductKindFor(false, false, false), Text(""));
    EXPECT_EQ(RankingKindFor(false, true, false), Text("2"));
    EXPECT_EQ(RankingKindFor(false, false, false), Text(""));
}

TEST(RankingPageText, EveryLineEndsWithOneLineFeed) {
    EXPECT_EQ(PageTextFromBody("a\nb"), "a\nb\n");
    EXPECT_EQ(PageTextFromBody("a\r\nb\n"), "a\r\nb\n");
    EXPECT_EQ(PageTextFromBody(""), "");
}

TEST(RankingPageText, TheConvertedPageIsTheWholeBodyWithItsLineEndConverted) {
    // Bodies ending in a cut EUC-JP sequence, with and without a last line end: the page is
    // what ICU gives for the body's lines converted in one call (under another name of the
    // same converter).
    const std::string bodies[] = {
        "", "a", "\xA4\xA2", "x\xA4", "x\xA4\n", "\x8F\xB0", "<p>\xA4\xA2\xA4</p>\r\n\xA4\xA2"};
    for (const std::string& body : bodies) {
        const RankingPage page = ConvertRankingPage(body);
        ASSERT_EQ(page.outcome, RankingPage::Outcome::Received);
        const auto expected = ConvertEncoding(PageTextFromBody(body), "eucjis", "windows-31j");
        ASSERT_TRUE(expected);
        EXPECT_EQ(page.page.Bytes(), *expected) << ::testing::PrintToString(body);
    }
    EXPECT_EQ(ConvertRankingPage("x", "no-such-encoding").outcome,
              RankingPage::Outcome::ConverterUnavailable);
}
