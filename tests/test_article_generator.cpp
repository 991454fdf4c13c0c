// The article generator: the scan of a ranking page and the rewriting per ranking kind.
#include <gtest/gtest.h>

#include <random>

#include "article/article_generator.h"
#include "platform/encoding.h"
#include "reference_scan.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;

using qubopost::test::ReferenceScan;

namespace {

const std::string kExamplePage =
    "<tr><td><a href='http://x/1/' target=_blank><img src='http://x/1.jpg'></a></td>\n"
    "<td><a href='http://x/1/' target=_blank>Book One</a></td>\n"
    "<td valign=top align=left><span class=style2>First text.</span></td></tr>\n"
    "<tr><td><a href=\"http://x/2/\" target=_blank>Book Two</a></td></tr>\n";

std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    bool first = true;
    for (const char* line : lines) {
        if (!first) text += "\r\n";
        text += line;
        first = false;
    }
    return text;
}

std::string Generate(const std::string& page, RankingKind kind) {
    return ToUtf8(GenerateArticle(Text(page), kind));
}

}  // namespace

TEST(ArticleGenerator, WorkedExampleUnderEachKind) {
    const std::string monthly = Lines({"",
                                       "",
                                       "-----into-----",
                                       "",
                                       "本日のお勧め内容 ↓↓",
                                       "",
                                       "http://x/1/",
                                       "",
                                       "お勧め情報のご案内 ↓↓",
                                       "",
                                       "[title]Book One",
                                       "",
                                       "お勧め情報のご案内 ↓↓",
                                       "",
                                       "First text.",
                                       "",
                                       "-----into-----",
                                       "",
                                       "本日のお勧め内容 ↓↓",
                                       "",
                                       "http://x/2/",
                                       "",
                                       "お勧め情報のご案内 ↓",
                                       "",
                                       "[title]Book Two",
                                       "",
                                       "-----into-----"});
    EXPECT_EQ(Generate(kExamplePage, RankingKind::Monthly), monthly);
    EXPECT_EQ(GenerateArticle(Text(kExamplePage), RankingKind::Monthly).GetLength(), 266);

    const std::string daily = Lines({"",
                                     "",
                                     "-----into-----",
                                     "",
                                     "本日のお勧め内容 ↓↓",
                                     "",
                                     "http://x/1/",
                                     "",
                                     "お勧め情報のご案内 ↓↓",
                                     "",
                                     "[title]Book One",
                                     "",
                                     "お勧め情報のご案内 ↓↓",
                                     "",
                                     "First text.",
                                     "",
                                     "-----into-----",
                                     "",
                                     "本日のお勧め内容 ↓↓",
                                     "",
                                     "http://x/2/",
                                     "",
                                     "お勧め情報のご案内 ↓↓",
                                     "",
                                     "[title]Book Two",
                                     "",
                                     "-----into-----"});
    EXPECT_EQ(Generate(kExamplePage, RankingKind::Daily), daily);

    const std::string pickup = Lines({"",
                                      "",
                                      "-----into-----",
                                      "",
                                      "本日のお勧め内容 ↓↓",
                                      "",
                                      "http://x/1/",
                                      "",
                                      "お勧め情報のご案内 ↓↓",
                                      "",
                                      "[title]Book One",
                                      "",
                                      "詳細はこちら ",
                                      "",
                                      "↓↓",
                                      "",
                                      "First text.",
                                      "",
                                      "-----into-----",
                                      "",
                                      "本日のお勧め内容 ↓↓",
                                      "",
                                      "http://x/2/",
                                      "",
                                      "お勧め情報のご案内 ↓↓",
                                      "",
                                      "[title]Book Two",
                                      "",
                                      "-----into-----"});
    EXPECT_EQ(Generate(kExamplePage, RankingKind::Pickup), pickup);
}

TEST(ArticleGenerator, EmptyOrLinklessPagesGiveTheClosingSeparatorAlone) {
    for (auto kind : {RankingKind::Monthly, RankingKind::Daily, RankingKind::Pickup}) {
        EXPECT_EQ(Generate("", kind), "\r\n\r\n-----into-----");
        EXPECT_EQ(Generate("<p>nothing</p>\n<a href='http://x/a.png'>img</a>", kind),
                  "\r\n\r\n-----into-----");
    }
}

TEST(ArticleGenerator, SkipMarksAreExactExtensionsInEitherCaseAndTheDetailsWord) {
    const Text scanned =
        ScanRankingPage(Text("<a href='http://x/a/' target=_blank>A.JPG</a>"
                             "<a href='http://x/b/' target=_blank>B.tif</a>" +
                             Sjis("<a href='http://x/c/' target=_blank>詳細説明</a>").Bytes() +
                             "<a href='http://x/d/' target=_blank><img src=d.Jpg></a>"
                             "<a href='http://x/e/' target=_blank><img src=e.jpeg></a>"
                             "<a href='http://x/f/' target=_blank><img src=f.bmp></a>"));
    EXPECT_EQ(scanned.Bytes(),
              "<a href='http://x/d/' target=_blank><img src=d.Jpg>"
              "<a href='http://x/e/' target=_blank><img src=e.jpeg>"
              "<a href='http://x/f/' target=_blank><img src=f.bmp>");
}

TEST(ArticleGenerator, SingleQuotedLinksComeFirstAndShareTheNextDescription) {
    const std::string page =
        "<a href=\"http://x/2/\" target=_blank>Two</a>\n"
        "<a href='http://x/1/' target=_blank>One</a>\n"
        "<td valign=top align=left><span class=style2>Shared</span></td>\n";
    const Text scanned = ScanRankingPage(Text(page));
    const std::string description = "<td valign=top align=left><span class=style2>Shared";
    EXPECT_EQ(scanned.Bytes(), "<a href='http://x/1/' target=_blank>One" + description +
                                   "<a href=\"http://x/2/\" target=_blank>Two" + description);
}

TEST(ArticleGenerator, HttpsLinksAndUrlsInTitlesOpenArticlesOfTheirOwn) {
    const std::string page =
        "<a href='https://x/1/' target=_blank>One</a>\n"
        "<a href='https://x/2/' target=_blank>See http://y/ now</a>\n";
    const std::string article = Generate(page, RankingKind::Daily);
    EXPECT_EQ(
        article.rfind("\r\n\r\n-----into-----\r\n\r\n本日のお勧め内容 ↓↓\r\n\r\nhttps://x/1/", 0),
        0u);
    std::size_t separators = 0;
    for (auto p = article.find("-----into-----"); p != std::string::npos;
         p = article.find("-----into-----", p + 1)) {
        ++separators;
    }
    EXPECT_EQ(separators, 4u);  // two links, the http:// inside a title, the closing one
    EXPECT_NE(
        article.find("[title]See -----into-----\r\n\r\n本日のお勧め内容 ↓↓\r\n\r\nhttp://y/ now"),
        std::string::npos);
}

TEST(ArticleGenerator, MarkersNeverMatchInsideDoubleByteCharacters) {
    // 0x81 0x3C would put '<' on a trail byte if 0x3C could be one; use a lead byte followed
    // directly by the marker's first bytes "<a": the lead byte swallows '<'.
    const std::string page =
        "\x88<a href='http://x/1/' target=_blank>Hidden</a> <a href='http://x/2/' target=_blank>Seen</a>";
    EXPECT_EQ(ScanRankingPage(Text(page)).Bytes(), "<a href='http://x/2/' target=_blank>Seen");
}

TEST(ArticleGenerator, AnOpeningWithoutClosingEndsOnlyItsOwnScan) {
    const std::string page =
        "<a href=\"http://x/2/\" target=_blank>Two</a> <a href='http://x/1/' target=_blank>no end";
    EXPECT_EQ(ScanRankingPage(Text(page)).Bytes(), "<a href=\"http://x/2/\" target=_blank>Two");
}

TEST(ArticleGenerator, PickupMarksLinkTextsThatHoldTheDescriptionClosing) {
    const std::string page = "<a href='http://x/1/' target=_blank>A</span></td>B</a>";
    EXPECT_NE(Generate(page, RankingKind::Pickup).find("[title]A\r\n\r\n<end>\r\nB"),
              std::string::npos);
    EXPECT_EQ(Generate(page, RankingKind::Monthly).find("<end>"), std::string::npos);
}

TEST(ArticleGenerator, ScanAgreesWithThePlainReferenceOnRandomPages) {
    const std::vector<std::string> parts = {"<a href='",
                                            "<a href=\"",
                                            "</a>",
                                            "<td valign=top align=left><span class=style2>",
                                            "</span></td>",
                                            "http://",
                                            ".jpg",
                                            "x",
                                            "/' target=_blank>",
                                            "\x88",
                                            "\x81\x40",
                                            "\xE0",
                                            "<",
                                            " ",
                                            "\n"};
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        std::string page;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) page += parts[random() % parts.size()];
        ASSERT_EQ(ScanRankingPage(Text(page)), ReferenceScan(Text(page))) << "page: " << page;
    }
}
