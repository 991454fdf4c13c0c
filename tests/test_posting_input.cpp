// The posting plan over one article buffer (groups as parts of it, bodies built one at a
// time, blank groups left out), addresses trimmed of full-width blanks, and text files read
// as field text.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include <unistd.h>

#include "platform/encoding.h"
#include "posting/posting_plan.h"
#include "temp_dir.h"

using namespace qubopost::platform;
using namespace qubopost::posting;

namespace {

// The posting takes UTF-8 text as it is.
Text S(const char* utf8) { return Text(utf8); }

}  // namespace

TEST(PostingSpans, GroupsAreTheirPartsAndBodiesAreBuiltFromThem) {
    // Four articles: groups of three and one; the second begins at the fourth separator.
    const Text article =
        S("head\r\n-----into-----\r\n[title]一\r\n本文一\r\n-----into-----\r\n[title]二\r\n"
          "-----into-----\r\n[title]三\r\n-----into-----\r\n[title]四\r\n本文四\r\n-----into-----");
    const std::vector<PostingGroupSpan> spans = PlanPostingSpans(article);
    ASSERT_EQ(spans.size(), 2u);
    const int fourth = article.Find(S("-----into-----\r\n[title]四"));
    EXPECT_EQ(spans[0].begin, 0);
    EXPECT_EQ(spans[0].end, fourth);
    EXPECT_EQ(spans[1].begin, fourth);
    EXPECT_EQ(spans[1].end, article.GetLength());
    EXPECT_EQ(spans[0].subject, S("一"));
    EXPECT_EQ(spans[1].subject, S("四"));
    EXPECT_EQ(GroupBody(article, spans[1], S("ヘッダ\r\n"), S("フッタ")),
              S("ヘッダ\r\n\r\n四\r\n本文四\r\nフッタ"));
    EXPECT_EQ(GroupText(article, spans[0]), S("head\r\n\r\n一\r\n本文一\r\n\r\n二\r\n\r\n三\r\n"));
}

TEST(PostingSpans, BlankGroupsAreNotMailed) {
    struct Case {
        const char* article;
        std::size_t groups;
    };
    const Case cases[] = {
        {"-----into----------into-----", 0},                      // nothing between two separators
        {"\r\n\r\n-----into-----\r\n  \t\r\n-----into-----", 0},  // line ends and blanks only
        {"-----into-----\r\n[title]\r\n　\r\n-----into-----",
         0},  // a title tag and a full-width blank
        {"-----into-----\r\n[title]x\r\n-----into-----", 1},
        // Seven articles: the middle group (articles 4 to 6) is empty and left out.
        {"-----into-----a-----into-----b-----into-----c-----into----------into----------into----------into-----g"
         "-----into-----",
         2},
    };
    for (const Case& c : cases) {
        const Text article = S(c.article);
        EXPECT_EQ(PlanPostingSpans(article).size(), c.groups) << c.article;
        EXPECT_EQ(PlanPosting(article).size(), c.groups) << c.article;
    }
    const auto groups = PlanPosting(S(cases[4].article));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].text, Text("abc"));
    EXPECT_EQ(groups[1].text, Text("g"));
    EXPECT_TRUE(IsBlankGroupText(S(" \t\r\n　").Bytes()));
    EXPECT_FALSE(IsBlankGroupText(S("　x").Bytes()));
    EXPECT_TRUE(IsBlankGroupText("\xE3\x80\x80"));   // U+3000
    EXPECT_FALSE(IsBlankGroupText("\xE3\x80\x81"));  // U+3001 「、」
}

TEST(PostingSpans, SeparatorsRightBehindMultiByteCharactersAreFound) {
    // Bytes of UTF-8 characters that a Shift-JIS scan would take for lead bytes (E3 81 82 is
    // "あ", 82 a lead byte there) must not hide the separator behind them.
    for (const char* before : {"あ", "♡", "🍣", "ア", "〜"}) {
        const Text article(std::string(before) + "-----into-----[title]件名" + before +
                           "\r\n本文-----into-----");
        const std::vector<PostingGroup> groups = PlanPosting(article);
        ASSERT_EQ(groups.size(), 1u) << before;
        EXPECT_EQ(groups[0].subject, Text(std::string("件名") + before)) << before;
        EXPECT_EQ(groups[0].text, Text(std::string(before) + "件名" + before + "\r\n本文"))
            << before;
    }
}

TEST(PostingAddresses, FullWidthBlanksAreTrimmedAsBlanksAre) {
    const std::vector<Text> addresses =
        SplitAddresses(S("　a@x.jp　\r\n \t　 b@x.jp\t\r\n　　\r\nc@x.jp　d\n"));
    ASSERT_EQ(addresses.size(), 3u);
    EXPECT_EQ(addresses[0], Text("a@x.jp"));
    EXPECT_EQ(addresses[1], Text("b@x.jp"));
    EXPECT_EQ(addresses[2], S("c@x.jp　d"));  // inside an address it stays
    EXPECT_EQ(SplitAddresses(S("　♡@x.jp\t")).front(), S("♡@x.jp"));
    EXPECT_EQ(TrimBlanks("　 \t25　"), "25");
    EXPECT_EQ(TrimBlanks("　"), "");
    EXPECT_EQ(CountAddresses(S("　\r\n \r\n")), 0);
}

TEST(FieldFile, Utf8FilesAreTakenAsTheyAreAndShiftJisFilesConvertedWithCrLf) {
    TempDir dir;
    struct Case {
        std::string bytes;
        bool sjis;
        std::string expected;  // UTF-8
    };
    const Case cases[] = {
        {"一行目\n二行目\r\n三\r四\n", false, "一行目\r\n二行目\r\n三\r四\r\n"},
        {"\n\n", false, "\r\n\r\n"},
        {"", false, ""},
        // What the user typed stays: WAVE DASH, a heart, an emoji with its modifier.
        {"a\xE3\x80\x9C"
         "b",
         false,
         "a\xE3\x80\x9C"
         "b"},
        {"♡🍣👍🏽①\n", false, "♡🍣👍🏽①\r\n"},
        {Sjis("表示\n").Bytes(), true, "表示\r\n"},
        {"\x83\x5C\n", true, "ソ\r\n"},     // "ソ": its trail byte is a backslash
        {"\x81\x60\x87\x40", true, "～①"},  // CP932's tilde is U+FF5E
    };
    for (const Case& c : cases) {
        TempDir::Write(dir.File("f.txt"), c.bytes);
        FieldFileError error;
        const auto text = ReadFieldFile(dir.File("f.txt"), c.sjis, &error);
        ASSERT_TRUE(text) << FieldFileErrorMessage(error, "f.txt");
        EXPECT_EQ(text->Bytes(), c.expected) << ::testing::PrintToString(c.bytes);
    }
}

TEST(FieldFile, APipeIsReadOnce) {
    // A pipe can be read only once: the whole text must come out of that one reading.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string written;
    for (int i = 0; i < 40000; ++i) written += "行♡" + std::to_string(i) + "\n";
    std::thread writer([&] {
        std::size_t done = 0;
        while (done < written.size()) {
            const ssize_t n = write(fds[1], written.data() + done, written.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        close(fds[1]);
    });
    const auto text = ReadFieldFile("/proc/self/fd/" + std::to_string(fds[0]), false, nullptr);
    writer.join();
    close(fds[0]);
    ASSERT_TRUE(text);
    std::string expected;
    for (int i = 0; i < 40000; ++i) expected += "行♡" + std::to_string(i) + "\r\n";
    EXPECT_TRUE(text->Bytes() == expected);
}

TEST(FieldFile, LongFilesAreReadInPiecesWithTheSameResult) {
    // More than one read piece, with lines cut at every place a piece can end.
    TempDir dir;
    std::string utf8, expected;
    for (int i = 0; i < 120000; ++i) {
        utf8 += "行" + std::to_string(i) + (i % 2 ? "\n" : "\r\n");
        expected += "行" + std::to_string(i) + "\r\n";
    }
    TempDir::Write(dir.File("long.txt"), utf8);
    const auto text = ReadFieldFile(dir.File("long.txt"), false, nullptr);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->Bytes() == expected);
}

TEST(FieldFile, WhatWouldBeLostIsRefusedWithItsLine) {
    TempDir dir;
    struct Case {
        std::string bytes;
        bool sjis;
        FieldFileError::Kind kind;
        int line;
    };
    const Case cases[] = {
        {std::string("a\nb\n\x82\xA0\nc\0d", 10), false, FieldFileError::Kind::NulByte, 4},
        {std::string("\x81\n\0", 3), true, FieldFileError::Kind::NulByte,
         2},  // NUL first, before a broken character
        {"ok\n\x81\n", true, FieldFileError::Kind::InvalidSjis, 2},
        {"ok\nok\n\xFD", true, FieldFileError::Kind::InvalidSjis, 3},
        {"ok\n\xE3\x81\n", false, FieldFileError::Kind::InvalidUtf8, 2},
        {"ok\nok\n\xED\xA0\x80\n", false, FieldFileError::Kind::InvalidUtf8,
         3},  // a UTF-16 surrogate
    };
    for (const Case& c : cases) {
        TempDir::Write(dir.File("f.txt"), c.bytes);
        FieldFileError error;
        EXPECT_FALSE(ReadFieldFile(dir.File("f.txt"), c.sjis, &error))
            << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(error.kind, c.kind) << ::testing::PrintToString(c.bytes);
        if (c.line) {
            EXPECT_EQ(error.line, c.line) << ::testing::PrintToString(c.bytes);
        }
        EXPECT_FALSE(FieldFileErrorMessage(error, "f.txt").empty());
    }
    FieldFileError error;
    EXPECT_FALSE(ReadFieldFile(dir.File("missing.txt"), false, &error));
    EXPECT_EQ(error.kind, FieldFileError::Kind::Unreadable);
    EXPECT_FALSE(ReadFieldFile(dir.Path(), false, &error));
    EXPECT_EQ(error.kind, FieldFileError::Kind::Folder);
}
