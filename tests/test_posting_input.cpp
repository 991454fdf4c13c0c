// The posting plan over one article buffer (groups as parts of it, bodies built one at a
// time, blank groups left out), addresses trimmed of full-width blanks, and text files read
// as field text.
#include <gtest/gtest.h>

#include <string>

#include "platform/encoding.h"
#include "posting/posting_plan.h"
#include "temp_dir.h"

namespace {

Text S(const char* utf8) { return Sjis(utf8); }

}  // namespace

TEST(PostingSpans, GroupsAreTheirPartsAndBodiesAreBuiltFromThem) {
    // Four articles: groups of three and one; the second begins at the fourth separator.
    const Text article = S("head\r\n-----into-----\r\n[title]一\r\n本文一\r\n-----into-----\r\n[title]二\r\n"
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
    EXPECT_EQ(GroupBody(article, spans[1], S("ヘッダ\r\n"), S("フッタ")), S("ヘッダ\r\n\r\n四\r\n本文四\r\nフッタ"));
    EXPECT_EQ(GroupText(article, spans[0]), S("head\r\n\r\n一\r\n本文一\r\n\r\n二\r\n\r\n三\r\n"));
}

TEST(PostingSpans, BlankGroupsAreNotMailed) {
    struct Case {
        const char* article;
        std::size_t groups;
    };
    const Case cases[] = {
        {"-----into----------into-----", 0},                        // nothing between two separators
        {"\r\n\r\n-----into-----\r\n  \t\r\n-----into-----", 0},     // line ends and blanks only
        {"-----into-----\r\n[title]\r\n　\r\n-----into-----", 0},   // a title tag and a full-width blank
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
    // 0x81 0x40 is the full-width blank, but not behind the character 0x81 0x81.
    EXPECT_TRUE(IsBlankGroupText("\x81\x40"));
    EXPECT_FALSE(IsBlankGroupText("\x81\x81\x40"));
}

TEST(PostingAddresses, FullWidthBlanksAreTrimmedAsBlanksAre) {
    const std::vector<Text> addresses = SplitAddresses(S("　a@x.jp　\r\n \t　 b@x.jp\t\r\n　　\r\nc@x.jp　d\n"));
    ASSERT_EQ(addresses.size(), 3u);
    EXPECT_EQ(addresses[0], Text("a@x.jp"));
    EXPECT_EQ(addresses[1], Text("b@x.jp"));
    EXPECT_EQ(addresses[2], S("c@x.jp　d"));  // inside an address it stays
    // "ア" is 0x83 0x41 and "\x81\x81" a character: the 0x40 behind it is '@', no blank.
    EXPECT_EQ(SplitAddresses(Text("x\x81\x81\x40")).front(), Text("x\x81\x81\x40"));
    EXPECT_EQ(CountAddresses(S("　\r\n \r\n")), 0);
}

TEST(FieldFile, Utf8AndShiftJisFilesBecomeCp932WithCrLf) {
    TempDir dir;
    struct Case {
        std::string bytes;
        bool sjis;
        std::string expected;  // CP932
    };
    const Case cases[] = {
        {"一行目\n二行目\r\n三\r四\n", false, Sjis("一行目\r\n二行目\r\n三\r四\r\n").Bytes()},
        {"\n\n", false, "\r\n\r\n"},
        {"", false, ""},
        // The input method's WAVE DASH becomes the FULLWIDTH TILDE of Windows text.
        {"a\xE3\x80\x9C" "b", false, "a\x81\x60" "b"},
        {Sjis("表示\n").Bytes(), true, Sjis("表示\r\n").Bytes()},
        {"\x83\x5C\n", true, "\x83\x5C\r\n"},  // "ソ": its trail byte is a backslash
    };
    for (const Case& c : cases) {
        TempDir::Write(dir.File("f.txt"), c.bytes);
        FieldFileError error;
        const auto text = ReadFieldFile(dir.File("f.txt"), c.sjis, &error);
        ASSERT_TRUE(text) << FieldFileErrorMessage(error, "f.txt");
        EXPECT_EQ(text->Bytes(), c.expected) << ::testing::PrintToString(c.bytes);
    }
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
    EXPECT_TRUE(text->Bytes() == Sjis(expected).Bytes());
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
        {std::string("\x81\n\0", 3), true, FieldFileError::Kind::NulByte, 2},  // NUL first, before a broken character
        {"ok\n\x81\n", true, FieldFileError::Kind::InvalidSjis, 2},
        {"ok\nok\n\xFD", true, FieldFileError::Kind::InvalidSjis, 3},
        {"ok\n\xE3\x81\n", false, FieldFileError::Kind::InvalidUtf8, 2},
        {"ok\n\xE2\x99\xA1\n", false, FieldFileError::Kind::Unmappable, 0},  // U+2661 has no CP932 form
    };
    for (const Case& c : cases) {
        TempDir::Write(dir.File("f.txt"), c.bytes);
        FieldFileError error;
        EXPECT_FALSE(ReadFieldFile(dir.File("f.txt"), c.sjis, &error)) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(error.kind, c.kind) << ::testing::PrintToString(c.bytes);
        if (c.line) {
            EXPECT_EQ(error.line, c.line) << ::testing::PrintToString(c.bytes);
        }
        EXPECT_FALSE(FieldFileErrorMessage(error, "f.txt").empty());
    }
    FieldFileError error;
    TempDir::Write(dir.File("f.txt"), "x\n\xE2\x99\xA1");
    ASSERT_FALSE(ReadFieldFile(dir.File("f.txt"), false, &error));
    ASSERT_EQ(error.characters.size(), 1u);
    EXPECT_EQ(error.characters[0].line, 2);
    EXPECT_NE(FieldFileErrorMessage(error, "f.txt").find("Shift-JIS にない文字"), std::string::npos);

    EXPECT_FALSE(ReadFieldFile(dir.File("missing.txt"), false, &error));
    EXPECT_EQ(error.kind, FieldFileError::Kind::Unreadable);
    EXPECT_FALSE(ReadFieldFile(dir.Path(), false, &error));
    EXPECT_EQ(error.kind, FieldFileError::Kind::Folder);
}
