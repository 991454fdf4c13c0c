// Generation from a saved page file to a file descriptor: the bytes written, the article
// count, pages without products, unreadable pages and outputs that fail.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "article/generate_file.h"
#include "platform/encoding.h"
#include "temp_dir.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;

namespace {

// The worked example of the article generator, as the ranking service sends it (EUC-JP).
std::string ExamplePageEucJp() {
    const std::string page =
        "<tr><td><a href='http://x/1/' target=_blank><img src='http://x/1.jpg'></a></td>\n"
        "<td><a href='http://x/1/' target=_blank>本の一</a></td>\n"
        "<td valign=top align=left><span class=style2>最初の説明。</span></td></tr>\n"
        "<tr><td><a href=\"http://x/2/\" target=_blank>Book Two</a></td></tr>";  // no last line end
    return *ConvertEncoding(page, "UTF-8", "EUC-JP");
}

// The article of the example for the monthly ranking, line by line (UTF-8).
const std::string kExampleMonthly =
    "\r\n\r\n-----into-----\r\n\r\n本日のお勧め内容 ↓↓\r\n\r\nhttp://x/1/\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n"
    "[title]本の一\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n最初の説明。\r\n\r\n-----into-----\r\n\r\n"
    "本日のお勧め内容 ↓↓\r\n\r\nhttp://x/2/\r\n\r\nお勧め情報のご案内 ↓\r\n\r\n[title]Book Two\r\n\r\n-----into-----";

struct Output {
    TempDir dir;
    std::string path = dir.File("out.txt");
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ~Output() { close(fd); }
    std::string Bytes() const { return TempDir::Read(path); }
};

}  // namespace

TEST(GenerateFile, NulBytesOfThePageNeverReachTheArticleAndAreCounted) {
    // NUL bytes in the parts the article takes (a title, a description, a link's address)
    // and between the rows, which it does not take: the article is the worked example's,
    // and the bytes that would have reached it are counted.
    struct Insert {
        std::string_view before;  // two NUL bytes go in front of this text
        bool inArticle;
    };
    const Insert inserts[] = {
        {"の一</a>", true}, {"の説明。", true}, {"x/2/\"", true}, {"<tr><td><a href=\"", false}};
    std::string page = ExamplePageEucJp();
    std::size_t expected = 0;
    for (const Insert& insert : inserts) {
        const std::string euc = *ConvertEncoding(insert.before, "UTF-8", "EUC-JP");
        const std::size_t at = page.find(euc);
        ASSERT_NE(at, std::string::npos) << insert.before;
        page.insert(at, std::string(2, '\0'));
        if (insert.inArticle) expected += 2;
    }
    TempDir dir;
    TempDir::Write(dir.File("page.html"), page);
    Output out;
    const GenerateResult result = GenerateFromPageFile(dir.File("page.html"), RankingKind::Monthly,
                                                       OutputEncoding::Utf8, out.fd);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.nulBytesDropped, expected);
    EXPECT_EQ(out.Bytes(), kExampleMonthly);
}

TEST(GenerateFile, WritesTheWorkedExampleInEitherEncoding) {
    TempDir dir;
    TempDir::Write(dir.File("page.html"), ExamplePageEucJp());
    {
        Output out;
        const GenerateResult result = GenerateFromPageFile(
            dir.File("page.html"), RankingKind::Monthly, OutputEncoding::Utf8, out.fd);
        EXPECT_EQ(result.outcome, GenerateResult::Outcome::Written);
        EXPECT_EQ(result.articles, 2);
        EXPECT_EQ(out.Bytes(), kExampleMonthly);
        EXPECT_EQ(result.bytesWritten, kExampleMonthly.size());
    }
    {
        Output out;
        const GenerateResult result = GenerateFromPageFile(
            dir.File("page.html"), RankingKind::Monthly, OutputEncoding::Sjis, out.fd);
        EXPECT_TRUE(result.Succeeded());
        EXPECT_EQ(out.Bytes(), Sjis(kExampleMonthly).Bytes());
    }
}

TEST(GenerateFile, LargePagesGoOutInPiecesWithTheSameBytes) {
    // Many products, so that reading, every step of the rewrite and the writing work in
    // many pieces; the expectation is the example's article repeated, built here by hand.
    TempDir dir;
    std::string page;
    std::string expected;
    const int products = 6000;
    for (int i = 0; i < products; ++i) {
        const std::string n = std::to_string(i);
        page += "<td><a href='http://x/" + n + "/' target=_blank>本 " + n +
                "</a></td><td valign=top align=left><span class=style2>説明 ①</span></td>\n";
        expected += "\r\n\r\n-----into-----\r\n\r\n本日のお勧め内容 ↓↓\r\n\r\nhttp://x/" + n +
                    "/\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n[title]本 " + n +
                    "\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\n説明 ①";
    }
    expected += "\r\n\r\n-----into-----";
    TempDir::Write(dir.File("page.html"), *ConvertEncoding(page, "UTF-8", "EUC-JP"));
    Output out;
    const GenerateResult result = GenerateFromPageFile(dir.File("page.html"), RankingKind::Daily,
                                                       OutputEncoding::Utf8, out.fd);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(result.articles, products);
    EXPECT_TRUE(out.Bytes() == expected) << "the article differs";
}

TEST(GenerateFile, PagesWithoutAProductWriteNothingAndSaySo) {
    // What "no products" covers: no anchor, an anchor without its closing, only image
    // and details links, and links without an address.
    const std::string pages[] = {
        "",
        "<html><body>ただいまメンテナンス中です。</body></html>\n",
        "<a href='http://x/1/' target=_blank>never closed\n",
        "<a href='http://x/1.jpg'>img</a><a href='http://x/2/'>詳細説明</a>\n",
        "<a href='/relative/' target=_blank>no address</a>\n",
    };
    for (const std::string& page : pages) {
        TempDir dir;
        TempDir::Write(dir.File("page.html"), *ConvertEncoding(page, "UTF-8", "EUC-JP"));
        Output out;
        const GenerateResult result = GenerateFromPageFile(
            dir.File("page.html"), RankingKind::Pickup, OutputEncoding::Utf8, out.fd);
        EXPECT_EQ(result.outcome, GenerateResult::Outcome::NoProducts) << page;
        EXPECT_EQ(result.articles, 0);
        EXPECT_EQ(out.Bytes(), "") << page;
        EXPECT_NE(GenerateErrorMessage(result, "page.html").find("商品のリンクが一つもなかった"),
                  std::string::npos);
    }
}

TEST(GenerateFile, AnUnreadablePageIsAnErrorWithItsReason) {
    TempDir dir;
    Output out;
    GenerateResult result = GenerateFromPageFile(dir.File("missing.html"), RankingKind::Monthly,
                                                 OutputEncoding::Utf8, out.fd);
    EXPECT_EQ(result.outcome, GenerateResult::Outcome::PageUnreadable);
    EXPECT_EQ(result.error, ENOENT);
    const std::string message = GenerateErrorMessage(result, dir.File("missing.html"));
    EXPECT_NE(message.find("読み込めませんでした"), std::string::npos);
    EXPECT_NE(message.find("missing.html"), std::string::npos);

    result = GenerateFromPageFile(dir.Path(), RankingKind::Monthly, OutputEncoding::Utf8, out.fd);
    EXPECT_EQ(result.outcome, GenerateResult::Outcome::PageUnreadable);
    EXPECT_EQ(result.error, EISDIR);
    EXPECT_EQ(out.Bytes(), "");
}

TEST(GenerateFile, AFullDiskOrAClosedPipeIsAFailureNeverASuccess) {
    TempDir dir;
    TempDir::Write(dir.File("page.html"), ExamplePageEucJp());
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    GenerateResult result = GenerateFromPageFile(dir.File("page.html"), RankingKind::Monthly,
                                                 OutputEncoding::Utf8, full);
    close(full);
    EXPECT_EQ(result.outcome, GenerateResult::Outcome::WriteFailed);
    EXPECT_EQ(result.error, ENOSPC);
    EXPECT_NE(GenerateErrorMessage(result, "page.html").find("書き出せませんでした"),
              std::string::npos);

    // A pipe whose reader has gone: EPIPE, and the process lives on with no SIGPIPE left
    // pending.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    result = GenerateFromPageFile(dir.File("page.html"), RankingKind::Monthly, OutputEncoding::Sjis,
                                  pipeEnds[1]);
    close(pipeEnds[1]);
    EXPECT_EQ(result.outcome, GenerateResult::Outcome::WriteFailed);
    EXPECT_EQ(result.error, EPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

TEST(GenerateFile, AFetchedPageGoesTheSameWay) {
    const std::string page = *ConvertEncoding(ExamplePageEucJp(), "EUC-JP", "windows-31j");
    Output out;
    const GenerateResult result =
        GenerateFromPage(Text(page), RankingKind::Monthly, OutputEncoding::Utf8, out.fd);
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(out.Bytes(), kExampleMonthly);
}
