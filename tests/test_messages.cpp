// The message catalogue: placeholders filled by position, the language taken from the locale
// variables, every English text free of Japanese and carrying the placeholders of its Japanese
// text, and qubopost-cli speaking the language of its environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "cli_process.h"
#include "resources/messages/messages.h"
#include "temp_dir.h"

namespace msg = qubopost::messages;

namespace {

TEST(Messages, FillPutsEachValueAtItsNumber) {
    const struct {
        std::string_view text;
        std::vector<std::string> values;
        std::string expected;
    } table[] = {
        {"no placeholder", {"x"}, "no placeholder"},
        {"{1} 通", {"3"}, "3 通"},
        {"{2} before {1}", {"a", "b"}, "b before a"},
        {"{1}{1}", {"ab"}, "abab"},
        {"「{1}」（{2}）", {"記事", "U+001B"}, "「記事」（U+001B）"},
        {"{10}", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"}, "ten"},
        // Without a value a placeholder stays as written.
        {"{3} left", {"a"}, "{3} left"},
        {"{0} stays", {"a"}, "{0} stays"},
        {"{} {x} {1", {"a"}, "{} {x} {1"},
        {"end {", {}, "end {"},
        // A value is put in as it is, never searched for placeholders itself.
        {"{1} and {2}", {"{2}", "b"}, "{2} and b"},
        {"", {"a"}, ""},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::string(row.text));
        std::vector<std::string_view> views(row.values.begin(), row.values.end());
        std::string filled;
        switch (views.size()) {
            case 0:
                filled = msg::Fill(row.text, {});
                break;
            case 1:
                filled = msg::Fill(row.text, {views[0]});
                break;
            case 2:
                filled = msg::Fill(row.text, {views[0], views[1]});
                break;
            default:
                filled = msg::Fill(row.text, {views[0], views[1], views[2], views[3], views[4],
                                              views[5], views[6], views[7], views[8], views[9]});
        }
        EXPECT_EQ(filled, row.expected);
    }
}

TEST(Messages, LanguageComesFromTheFirstLocaleVariableSet) {
    using L = msg::Language;
    const struct {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        L expected;
    } table[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", L::Japanese},
        {nullptr, nullptr, "ja", L::Japanese},
        {nullptr, nullptr, "C", L::English},
        {nullptr, nullptr, "en_US.UTF-8", L::English},
        {nullptr, nullptr, nullptr, L::English},
        {"", "", "", L::English},
        // LC_ALL beats LC_MESSAGES beats LANG.
        {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", L::English},
        {"ja_JP.UTF-8", "C", "en_US.UTF-8", L::Japanese},
        {nullptr, "ja_JP.UTF-8", "C", L::Japanese},
        {nullptr, "en_US.UTF-8", "ja_JP.UTF-8", L::English},
        // Empty values are skipped.
        {"", "", "ja_JP.UTF-8", L::Japanese},
        {"", "C", "ja_JP.UTF-8", L::English},
        {"", nullptr, "C.UTF-8", L::English},
        // Only a name starting with "ja" is Japanese.
        {nullptr, nullptr, "jp_JP.UTF-8", L::English},
        {nullptr, nullptr, "POSIX", L::English},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(std::string(row.lcAll ? row.lcAll : "(unset)") + " / " +
                     (row.lcMessages ? row.lcMessages : "(unset)") + " / " +
                     (row.lang ? row.lang : "(unset)"));
        EXPECT_EQ(msg::LanguageFromLocale(row.lcAll, row.lcMessages, row.lang), row.expected);
    }
}

TEST(Messages, SayGivesTheCurrentLanguageAndJapaneseWithoutEnglish) {
    EXPECT_EQ(msg::CurrentLanguage(), msg::Language::Japanese);  // before anyone chose
    constexpr msg::Message both{"{1} 通です", "{1} messages"};
    constexpr msg::Message japaneseOnly{"送信完了", ""};
    EXPECT_EQ(msg::Say(both, {"2"}), "2 通です");
    msg::SetLanguage(msg::Language::English);
    EXPECT_EQ(msg::Say(both, {"2"}), "2 messages");
    EXPECT_EQ(msg::Say(japaneseOnly), "送信完了");
    msg::SetLanguage(msg::Language::Japanese);
    EXPECT_EQ(msg::Say(both), "{1} 通です");
}

// Japanese characters: kana, CJK ideographs, full-width forms and Japanese punctuation.
bool HasJapanese(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead == 0xE3 || (lead >= 0xE4 && lead <= 0xE9) || lead == 0xEF) return true;
    }
    return false;
}

std::multiset<std::string> Placeholders(std::string_view text) {
    static const std::regex placeholder(R"(\{[0-9]+\})");
    std::multiset<std::string> found;
    const std::string copy(text);
    for (auto it = std::sregex_iterator(copy.begin(), copy.end(), placeholder);
         it != std::sregex_iterator(); ++it)
        found.insert(it->str());
    return found;
}

TEST(Messages, EveryEnglishTextIsPlainAndHasThePlaceholdersOfItsJapanese) {
    ASSERT_GT(msg::AllMessages().size(), 50u);
    EXPECT_TRUE(HasJapanese("送信完了"));
    EXPECT_FALSE(HasJapanese("Posting stopped. Sent: {1}, not sent: {2}."));
    for (const msg::NamedMessage& entry : msg::AllMessages()) {
        SCOPED_TRACE(std::string(entry.name));
        EXPECT_FALSE(entry.message->ja.empty());
        if (entry.message->en.empty()) continue;
        EXPECT_FALSE(HasJapanese(entry.message->en)) << entry.message->en;
        // Each placeholder once per use in Japanese means the same set in English (a value
        // may be used twice in one language only when it is in both).
        const auto ja = Placeholders(entry.message->ja), en = Placeholders(entry.message->en);
        EXPECT_EQ(std::set<std::string>(ja.begin(), ja.end()),
                  std::set<std::string>(en.begin(), en.end()));
    }
}

// The list the checks above walk holds every constant the catalogue declares.
TEST(Messages, TheListHoldsEveryMessageOfTheCatalogue) {
    std::ifstream file(std::string(QUBOPOST_TEST_SUPPORT_DIR) +
                       "/../../resources/messages/messages_catalogue.h");
    ASSERT_TRUE(file);
    std::stringstream text;
    text << file.rdbuf();
    const std::string source = text.str();
    static const std::regex declared(R"(inline constexpr Message (k\w+)\{)");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(source.begin(), source.end(), declared);
         it != std::sregex_iterator(); ++it)
        names.insert((*it)[1].str());
    std::set<std::string> listed;
    for (const msg::NamedMessage& entry : msg::AllMessages())
        EXPECT_TRUE(listed.insert(std::string(entry.name)).second);
    EXPECT_EQ(names, listed);
}

// Sets the locale variables for the children of one test and puts them back after it.
class LocaleVariables {
public:
    LocaleVariables() {
        for (const char* name : kNames)
            if (const char* value = std::getenv(name)) m_saved.emplace_back(name, value);
    }
    ~LocaleVariables() {
        for (const char* name : kNames) unsetenv(name);
        unsetenv("QUBOPOST_TEST_OWN_LOCALE");
        for (const auto& [name, value] : m_saved) setenv(name.c_str(), value.c_str(), 1);
    }
    LocaleVariables(const LocaleVariables&) = delete;
    LocaleVariables& operator=(const LocaleVariables&) = delete;
    void Lang(const char* lang) {
        for (const char* name : kNames) unsetenv(name);
        setenv("LANG", lang, 1);
        setenv("QUBOPOST_TEST_OWN_LOCALE", "1", 1);  // StartCli keeps these variables
    }

private:
    static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::pair<std::string, std::string>> m_saved;
};

TEST(CliLanguage, ErrorsFollowTheLocale) {
    TempDir home;
    TempDir::Write(home.File("article.txt"),
                   "-----into-----[title]a\nhttp://shop.test/1\n-----into-----");
    TempDir::Write(home.File("empty.txt"), "no separators here");
    const std::string missing = home.File("no-such-article.txt");
    const std::vector<std::string> mail = {"--to",      "b@x.jp", "--server",
                                           "127.0.0.1", "--from", "me@x.jp"};
    auto post = [&](std::string article, std::vector<std::string> extra) {
        std::vector<std::string> args = {"post", "--article", std::move(article)};
        args.insert(args.end(), mail.begin(), mail.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    const struct {
        std::string what;
        std::vector<std::string> args;
        std::string english;   // words the English message says
        std::string japanese;  // words the Japanese message says
    } table[] = {
        {"unknown option",
         {"post", "--colour"},
         "unknown option --colour",
         "知らないオプションです: --colour"},
        {"missing input file", post(missing, {"--port", "25"}), "Cannot read " + missing,
         missing + " を読めません"},
        {"port out of range", post(home.File("article.txt"), {"--port", "70000"}),
         "from 1 to 65535 (got \"70000\")", "1～65535 の数字で指定してください（「70000」）"},
        {"nothing to post", post(home.File("empty.txt"), {"--port", "25"}), "no article to post",
         "投稿できる記事がありません"},
        {"unknown command",
         {"publish"},
         "unknown command publish",
         "知らないコマンドです: publish"},
    };
    LocaleVariables locale;
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        locale.Lang("C");
        const CliRun english = RunCli(home, row.args);
        EXPECT_EQ(english.status, 2);
        EXPECT_NE(english.err.find(row.english), std::string::npos) << english.err;
        EXPECT_FALSE(HasJapanese(english.out + english.err)) << english.out << english.err;
        locale.Lang("ja_JP.UTF-8");
        const CliRun japanese = RunCli(home, row.args);
        EXPECT_EQ(japanese.status, 2);
        EXPECT_NE(japanese.err.find(row.japanese), std::string::npos) << japanese.err;
        EXPECT_EQ(japanese.err.find(row.english), std::string::npos) << japanese.err;
    }
}

// Failures found at run time, after the options were read: the posting history, the key ring
// (there is no session bus) and a blog whose password is stored nowhere.
TEST(CliLanguage, RunTimeFailuresFollowTheLocale) {
    TempDir home;
    std::filesystem::create_directories(
        home.File("state/qubopost/history.sqlite3"));  // a folder in the way
    TempDir::Write(home.File("article.txt"),
                   "PR\n-----into-----[title]a\nhttp://shop.test/1\n-----into-----");
    const struct {
        std::string what;
        std::vector<std::string> args;
        int status;
        std::string english;
        std::string japanese;
    } table[] = {
        {"history in a folder", {"history"}, 2, "a folder is there", "この場所はフォルダです"},
        {"no key ring",
         {"credentials", "list"},
         3,
         "no Secret Service",
         "Secret Service （gnome-keyring など）が見つかりません"},
        {"credentials without action",
         {"credentials"},
         2,
         "Give set, forget or list",
         "set、forget または list を指定"},
        // Port 1 of this machine: the run stops at the missing password, before any connection.
        {"blog password nowhere",
         {"post", "--article", home.File("article.txt"), "--to", "http://taro@127.0.0.1:1/",
          "--pause", "0", "--no-journal"},
         1,
         "no password for taro at 127.0.0.1 in the key ring or ~/.netrc",
         "127.0.0.1 の taro のパスワードがキーリングにも ~/.netrc にもありません"},
    };
    LocaleVariables locale;
    for (const auto& row : table) {
        SCOPED_TRACE(row.what);
        locale.Lang("C");
        const CliRun english = RunCli(home, row.args);
        EXPECT_EQ(english.status, row.status);
        EXPECT_NE((english.out + english.err).find(row.english), std::string::npos)
            << english.out << english.err;
        EXPECT_FALSE(HasJapanese(english.out + english.err)) << english.out << english.err;
        locale.Lang("ja_JP.UTF-8");
        const CliRun japanese = RunCli(home, row.args);
        EXPECT_EQ(japanese.status, row.status);
        EXPECT_NE((japanese.out + japanese.err).find(row.japanese), std::string::npos)
            << japanese.out << japanese.err;
        EXPECT_EQ((japanese.out + japanese.err).find(row.english), std::string::npos);
    }
}

}  // namespace
