// Text: Shift-JIS aware search, clamping cuts, replace-all and formatting.
#include <gtest/gtest.h>

#include <random>

#include "platform/encoding.h"
#include "platform/text.h"

TEST(TextFind, NeverMatchesOnTheSecondByteOfADoubleByteCharacter) {
    // "ア" is 0x83 0x41: its second byte is 'A'. "表" is 0x95 0x5C: its second byte is '\'.
    const Text text = Sjis("アA表\\");
    EXPECT_EQ(text.Find("A"), 2);
    EXPECT_EQ(text.Find("\\"), 5);
    // A marker beginning with the trail byte must not match inside the character.
    const Text page = Sjis("ア") + Text("<a href='x'");
    EXPECT_EQ(page.Find("A"), -1);
    EXPECT_EQ(Sjis("ソ<").Find("<"), 2);  // "ソ" is 0x83 0x5C
}

TEST(TextFind, StartPositionsAndMisses) {
    const Text text = "abcabc";
    EXPECT_EQ(text.Find("abc"), 0);
    EXPECT_EQ(text.Find("abc", 1), 3);
    EXPECT_EQ(text.Find("abc", 4), -1);
    EXPECT_EQ(text.Find("c", -5), 2);
    EXPECT_EQ(text.Find("a", 7), -1);  // past the end
    EXPECT_EQ(text.Find("zzz"), -1);
    EXPECT_EQ(Text().Find("a"), -1);
    // A start in the middle of a character steps from there.
    const Text kana = Sjis("アA");
    EXPECT_EQ(kana.Find("A", 1), 1);
}

TEST(TextMid, ClampsStartAndCount) {
    const Text text = "0123456789";
    EXPECT_EQ(text.Mid(2, 3), Text("234"));
    EXPECT_EQ(text.Mid(-4, 2), Text("01"));
    EXPECT_EQ(text.Mid(3, -1), Text(""));
    EXPECT_EQ(text.Mid(8, 50), Text("89"));
    EXPECT_EQ(text.Mid(10, 1), Text(""));
    EXPECT_EQ(text.Mid(99, 1), Text(""));
    EXPECT_EQ(text.Mid(7), Text("789"));
    // A cut may split a double-byte character: nothing looks at characters here.
    EXPECT_EQ(Sjis("日本").Mid(1, 2).GetLength(), 2);
}

TEST(TextReplace, NeverFindsWhatItJustInserted) {
    Text text = "http://a http://b";
    EXPECT_EQ(text.Replace("http://", "--sep--http://"), 2);
    EXPECT_EQ(text, Text("--sep--http://a --sep--http://b"));

    Text dots = "a...b";
    dots.Replace("..", "\r\n");
    EXPECT_EQ(dots, Text("a\r\n.b"));

    Text none = "abc";
    EXPECT_EQ(none.Replace("x", "y"), 0);
    EXPECT_EQ(none.Replace("", "y"), 0);
    EXPECT_EQ(none, Text("abc"));

    // Stepping by characters: "・・" (81 45 81 45) must not be found across characters.
    Text kana = Sjis("ア・・");  // 83 41 81 45 81 45
    EXPECT_EQ(kana.Replace(Sjis("・・"), "\r\n"), 1);
    EXPECT_EQ(kana, Sjis("ア") + Text("\r\n"));
}

TEST(TextFormat, FillsStringAndNumberFields) {
    EXPECT_EQ(Text::Format("%s:%d%%", {Text("x"), 42LL}), Text("x:42%"));
    EXPECT_EQ(Text::Format("%s %s", {Text("only")}), Text("only %s"));
    // A double-byte character whose second byte is '%' is no field: "ｱ" is one byte but "%" after
    // a lead byte belongs to the character.
    const Text format = Text("\x81\x25") + Text("%s");
    EXPECT_EQ(Text::Format(format, {Text("v")}), Text("\x81\x25v"));
}

TEST(Encoding, RoundTripsJapaneseAndKeepsNecCharacters) {
    const std::string utf8 = "ブログ自動投稿①纊～・";
    EXPECT_EQ(ToUtf8(Sjis(utf8)), utf8);
    EXPECT_EQ(Sjis("↓").Bytes(), "\x81\xAB");
    EXPECT_EQ(Sjis("・・").Bytes(), "\x81\x45\x81\x45");
}

TEST(Encoding, EucJpPagesConvertWithExtensionRowsAndSubstitutes) {
    // "①" is row 13 (AD A1) and "纊" an IBM-selected row (F9 A1 in the vendor extension).
    const auto circled = EucJpToSjis("\xAD\xA1");
    ASSERT_TRUE(circled);
    EXPECT_EQ(ToUtf8(Text(*circled)), "①");
    const auto kanji = EucJpToSjis("\xA4\xA2\xB4\xC1");  // "あ漢"
    ASSERT_TRUE(kanji);
    EXPECT_EQ(ToUtf8(Text(*kanji)), "あ漢");
    // An invalid sequence becomes a substitute and the rest still converts.
    const auto broken = EucJpToSjis("a\xFF\xFE" "b\xA4\xA2");
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->front(), 'a');
    EXPECT_NE(broken->find('b'), std::string::npos);
    EXPECT_EQ(broken->substr(broken->size() - 2), "\x82\xA0");
    EXPECT_FALSE(ConvertEncoding("x", "no-such-encoding", "windows-31j"));
}

TEST(TextFind, AgreesWithCharacterByCharacterStepping) {
    // Reference: step from start one character at a time, comparing at each boundary.
    const auto reference = [](const std::string& hay, const std::string& needle, int start) {
        for (std::size_t pos = static_cast<std::size_t>(start); pos + needle.size() <= hay.size();
             pos += Text::IsLeadByte(static_cast<unsigned char>(hay[pos])) ? 2 : 1) {
            if (hay.compare(pos, needle.size(), needle) == 0) return static_cast<int>(pos);
        }
        return -1;
    };
    const std::string alphabet = "\x81\x45\x88\xE0<a/ ";
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::string hay, needle;
        for (int i = static_cast<int>(random() % 24); i > 0; --i) hay += alphabet[random() % alphabet.size()];
        for (int i = 1 + static_cast<int>(random() % 3); i > 0; --i) needle += alphabet[random() % alphabet.size()];
        const int start = static_cast<int>(random() % (hay.size() + 1));
        ASSERT_EQ(Text(hay).Find(Text(needle), start), reference(hay, needle, start))
            << "hay=" << ::testing::PrintToString(hay) << " needle=" << ::testing::PrintToString(needle) << " start=" << start;
    }
}

TEST(Encoding, PiecewisePageConversionEqualsWholeConversion) {
    // The page conversion copies ASCII runs and converts the rest piece by piece; the
    // result must be what one conversion of the whole text gives, broken sequences included.
    std::string page;
    std::mt19937 random(11);
    const std::vector<std::string> parts = {"<a href='x'>", "\xA4\xA2", "\xAD\xA1", "\xF9\xA1", "\x8E\xB1",
                                            "\x8F\xB0\xA1", "\xA4", "\xFF", "\\~", "\n", "\x8E"};
    for (int i = 0; i < 4000; ++i) page += parts[random() % parts.size()];
    const auto piecewise = EucJpToSjis(page);
    ASSERT_TRUE(piecewise);
    // The same converter under another of its names takes the whole text at once.
    const auto whole = ConvertEncoding(page, "eucjis", "windows-31j");
    ASSERT_TRUE(whole);
    EXPECT_TRUE(*piecewise == *whole) << "the piecewise conversion differs";
}
