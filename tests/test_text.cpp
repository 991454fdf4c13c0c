// Text: Shift-JIS aware search, clamping cuts, replace-all and formatting.
#include <gtest/gtest.h>

#include <random>

#include "platform/encoding.h"
#include "platform/text.h"

using namespace qubopost::platform;

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
    const auto broken = EucJpToSjis(
        "a\xFF\xFE"
        "b\xA4\xA2");
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
        for (int i = static_cast<int>(random() % 24); i > 0; --i)
            hay += alphabet[random() % alphabet.size()];
        for (int i = 1 + static_cast<int>(random() % 3); i > 0; --i)
            needle += alphabet[random() % alphabet.size()];
        const int start = static_cast<int>(random() % (hay.size() + 1));
        ASSERT_EQ(Text(hay).Find(Text(needle), start), reference(hay, needle, start))
            << "hay=" << ::testing::PrintToString(hay)
            << " needle=" << ::testing::PrintToString(needle) << " start=" << start;
    }
}

TEST(Encoding, PiecewisePageConversionEqualsWholeConversion) {
    // The page conversion copies ASCII runs and converts the rest piece by piece; the
    // result must be what one conversion of the whole text gives, broken sequences included.
    std::string page;
    std::mt19937 random(11);
    const std::vector<std::string> parts = {"<a href='x'>", "\xA4\xA2",     "\xAD\xA1", "\xF9\xA1",
                                            "\x8E\xB1",     "\x8F\xB0\xA1", "\xA4",     "\xFF",
                                            "\\~",          "\n",           "\x8E"};
    for (int i = 0; i < 4000; ++i) page += parts[random() % parts.size()];
    const auto piecewise = EucJpToSjis(page);
    ASSERT_TRUE(piecewise);
    // The same converter under another of its names takes the whole text at once.
    const auto whole = ConvertEncoding(page, "eucjis", "windows-31j");
    ASSERT_TRUE(whole);
    EXPECT_TRUE(*piecewise == *whole) << "the piecewise conversion differs";
}

namespace {

// Random bytes drawn from pieces that matter to the converters: ASCII (the bytes ICU's
// CP932 moves around among them), JIS characters, half-width katakana, JIS X 0212, and
// broken or cut sequences next to ASCII.
std::string RandomBytes(std::mt19937& random, const std::vector<std::string>& parts, int count) {
    std::string bytes;
    for (int i = 0; i < count; ++i) {
        if (random() % 8 == 0) {
            bytes += static_cast<char>(random() % 256);
        } else {
            bytes += parts[random() % parts.size()];
        }
    }
    return bytes;
}

// Feeds bytes in pieces of random length.
std::string ConvertInPieces(const char* from, const char* to, const std::string& bytes,
                            std::mt19937& random) {
    PieceConverter converter(from, to);
    EXPECT_TRUE(converter.Ready());
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = 1 + random() % 9;
        converter.Feed(std::string_view(bytes).substr(at, length), out);
        at += length;
    }
    converter.Finish(out);
    return out;
}

}  // namespace

TEST(Encoding, PiecesCutAnywhereConvertAsTheWholeTextDoes) {
    // The references are ICU conversions of the whole text in one call, under other names
    // of the same converters (names that take no shortcut).
    struct Case {
        const char* from;
        const char* wholeFrom;
        std::vector<std::string> parts;
    };
    const std::vector<Case> cases = {
        {"EUC-JP",
         "eucjis",
         {"<a href='x'>", "\xA4\xA2", "\xAD\xA1", "\xF9\xA1", "\x8E\xB1", "\x8F\xB0\xA1",
          "\x8F\xA2\xB7", "\xA1\xC1", "\xA4", "\xFF", "\x8E", "\x8F\xB0", "\x1A", "\x1C", "\x7F",
          "\\~", "\n", "\xA9\xA1", "\xFE\xFE"}},
        {"UTF-8",
         "ibm-1208",
         {"<p>", "あ", "漢字", "～", "①", "\xF0\x9F\x98\x80", "\xE3\x81", "\xC0\xAF",
          "\xED\xA0\x80", "\xFF", "\x1A", "\x1C", "\x7F", "\r\n", "ｱ"}},
    };
    std::mt19937 random(20261207);
    for (const Case& c : cases) {
        for (int round = 0; round < 400; ++round) {
            const std::string bytes = RandomBytes(random, c.parts, static_cast<int>(random() % 60));
            const auto whole = ConvertEncoding(bytes, c.wholeFrom, "windows-31j");
            ASSERT_TRUE(whole);
            ASSERT_EQ(ConvertInPieces(c.from, "windows-31j", bytes, random), *whole)
                << c.from << " bytes: " << ::testing::PrintToString(bytes);
            ASSERT_EQ(*ConvertEncoding(bytes, c.from, "windows-31j"), *whole)
                << c.from << " bytes: " << ::testing::PrintToString(bytes);
        }
    }
}

TEST(Encoding, EveryJisCharacterConvertsAsIcuConvertsIt) {
    // Each two-byte and three-byte character on its own and between ASCII letters, against
    // ICU's whole-text conversion.
    std::string page;
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            page += static_cast<char>(lead);
            page += static_cast<char>(trail);
            page += (trail % 3 == 0) ? "a" : "";
            page += '\x8F';
            page += static_cast<char>(lead);
            page += static_cast<char>(trail);
        }
    }
    for (int kana = 0xA1; kana <= 0xDF; ++kana)
        page += std::string("\x8E") + static_cast<char>(kana) + "b";
    const auto whole = ConvertEncoding(page, "eucjis", "windows-31j");
    ASSERT_TRUE(whole);
    const auto converted = EucJpToSjis(page);
    ASSERT_TRUE(converted);
    EXPECT_TRUE(*converted == *whole) << "the table differs from ICU";
}

TEST(Encoding, Utf8StreamInPiecesEqualsOneConversion) {
    std::mt19937 random(5);
    const std::vector<std::string> parts = {"abc",  "\x82\xA0", "\x88\x9F", "\xB1",
                                            "\x81", "\xFD",     "\x80",     "\x1A",
                                            "\x7F", "\r\n",     "\xF0\x40", "\xEF\xFC"};
    for (int round = 0; round < 300; ++round) {
        const std::string sjis = RandomBytes(random, parts, static_cast<int>(random() % 50));
        Utf8Stream stream;
        ASSERT_TRUE(stream.Ready());
        std::string out;
        std::size_t at = 0;
        while (at < sjis.size()) {
            const std::size_t length = 1 + random() % 7;
            stream.Feed(std::string_view(sjis).substr(at, length), out, at + length >= sjis.size());
            at += length;
        }
        if (sjis.empty()) stream.Feed("", out, true);
        const auto whole = ConvertEncoding(sjis, "ibm-943_P15A-2003", "UTF-8");
        ASSERT_TRUE(whole);
        ASSERT_EQ(out, *whole) << ::testing::PrintToString(sjis);
        ASSERT_EQ(out, ToUtf8(Text(sjis)));
    }
}

TEST(Encoding, EveryCp932CharacterStreamsToUtf8AsIcuConvertsIt) {
    // Every byte and every lead-trail pair on its own between ASCII letters, cut into two
    // pieces inside the character, against ICU's conversion of the same text in one call.
    std::vector<std::string> characters;
    for (int byte = 0; byte < 256; ++byte) characters.emplace_back(1, static_cast<char>(byte));
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!Text::IsLeadByte(static_cast<unsigned char>(lead))) continue;
        for (int trail = 0; trail <= 0xFF; ++trail)
            characters.push_back({static_cast<char>(lead), static_cast<char>(trail)});
    }
    for (const std::string& character : characters) {
        const std::string sjis = "a" + character + "b";
        const auto whole = ConvertEncoding(sjis, "ibm-943_P15A-2003", "UTF-8");
        ASSERT_TRUE(whole);
        Utf8Stream stream;
        std::string out;
        stream.Feed(std::string_view(sjis).substr(0, 2), out, false);
        stream.Feed(std::string_view(sjis).substr(2), out, true);
        ASSERT_EQ(out, *whole) << ::testing::PrintToString(sjis);
    }
}
