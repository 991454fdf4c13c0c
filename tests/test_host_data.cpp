// The HostData codec and its lossless companion, byte for byte as other readers of the
// settings file see them.
#include <gtest/gtest.h>

#include "platform/encoding.h"
#include "settings/host_data.h"

using namespace qubopost::platform;
using namespace qubopost::settings;

TEST(HostData, FieldsAreStoredAsTheSectionHoldsThem) {
    struct Case {
        std::string utf8;
        LineBreaks encoding;
        std::string stored;  // the bytes in the file
        bool survives;
    };
    const Case cases[] = {
        {"a\r\nb", LineBreaks::MiddleDots,
         "a\x81\x45\x81\x45"
         "b",
         true},  // 「・・」 in Shift-JIS
        {"a\r\nb", LineBreaks::Dots, "a..b", true},
        {"a\r\nb", LineBreaks::AsTyped, "a  b", false},  // one line: the line end becomes blanks
        {"a..b", LineBreaks::Dots, "a..b", false},       // read back as a line break
        {"ハート♡", LineBreaks::AsTyped, "\x83\x6E\x81\x5B\x83\x67?", false},
        {"〜", LineBreaks::AsTyped, "\x81\x60", false},  // stored as Shift-JIS's tilde
        {"plain", LineBreaks::AsTyped, "plain", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(HostDataEncode(c.utf8, c.encoding), c.stored);
        EXPECT_EQ(SurvivesHostData(c.utf8, c.encoding), c.survives);
    }
    EXPECT_EQ(ToUtf8(HostDataDecode("x\x81\x45\x81\x45y", LineBreaks::MiddleDots)), "x\r\ny");
}

TEST(HostData, TheLosslessCopyEscapesBackslashesAndLineBreaksOnly) {
    struct Case {
        std::string utf8, stored;
    };
    const Case cases[] = {
        {"a\\b", "a\\\\b"}, {"1\r\n2", "1\\n2"}, {"1\n2", "1\\n2"},
        {"1\r2", "1\\r2"},  {"♡🍣〜", "♡🍣〜"},    {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeLossless(c.utf8), c.stored) << c.utf8;
        const std::string back =
            c.utf8 == "1\n2" ? "1\r\n2" : c.utf8;  // a lone LF comes back as the field's CR LF
        EXPECT_EQ(UnescapeLossless(c.stored), back) << c.stored;
    }
    EXPECT_EQ(UnescapeLossless("\\x\\"), "x\\");  // unknown escapes and a lone backslash at the end
}
