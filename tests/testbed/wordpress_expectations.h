// What the WordPress test bed's posts must hold, written by hand for the tests that mail into it
// (test_wordpress_mail with qubopost-cli, tests/qt/test_qt_wordpress with the window; the bed
// itself is tests/support/wordpress_bed.h). Nothing here calls the program's posting code: the
// subjects are counted by hand and the bodies put together from the texts below.
//
// What wp-mail.php (WordPress 6.1, Debian's package) does on the way, for a text/plain message:
// - title: the header line holding "Subject: " only (a folded continuation line is lost), decoded
//   by iconv_mime_decode to UTF-8, cut at the first "::", PHP's trim() (ASCII blanks and line ends
//   only: a full-width blank stays);
// - content: the body lines as they come (CR LF kept), trim()med, quoted-printable decoded when
//   Content-Transfer-Encoding says so, converted from the Content-Type's charset (its first
//   parameter, unquoted) to UTF-8, the part between the first and a second "::" taken when it is
//   not empty, trimmed again;
// - then wp_insert_post as a visitor: WordPress's HTML filter (kses) on both, which writes a bare
//   "&" as "&amp;" (and would drop tags it does not allow; the texts here hold none).
// - a sender whose address is a user's makes the post that user's, published; any other
//   sender's post is "pending", by the administrator.
// The expectations below apply exactly these (no "::" and no tags occur in the texts).
#pragma once

#include <sstream>
#include <string>

namespace testbed {

// ---- WordPress's visible changes (see the top of this file): PHP's trim() and kses's "&amp;".

inline std::string AsWordPressStoresIt(const std::string& text) {
    const std::string blanks(" \t\n\r\v\0", 6);
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    const std::string trimmed = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    std::string out;
    for (const char c : trimmed) out += c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
}

// "" when the texts are the same; otherwise both as text (not as escaped bytes) with the first
// byte where they part.
inline std::string TextDifference(const std::string& actual, const std::string& expected) {
    if (actual == expected) return "";
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    std::ostringstream out;
    out << "texts part at byte " << at << "\n--- got:\n"
        << actual << "\n--- wanted:\n"
        << expected << "\n---";
    return out.str();
}

// ---- An article of nine groups of three, and what each group's post must be.

// The first article of each group gives the subject: the title line after "[title]"; 50
// Shift-JIS bytes or more become the longest start of whole characters (user-perceived ones)
// within 46 bytes, and "・・". Bytes: 1 for ASCII and half-width katakana, 2 for any other
// character, one without a Shift-JIS form (♡, 😀, the skin-tone modifier 🏽, 〜) included.
struct TitleCase {
    const char* title;
    const char* subject;  // counted by hand
};
inline constexpr TitleCase kTitles[] = {
    // 18 bytes.
    {"①～〜♡😀　短い題", "①～〜♡😀　短い題"},
    // 19 bytes; WordPress keeps "&" as "&amp;".
    {"Q&A 〜 初心者向け♡", "Q&A 〜 初心者向け♡"},
    // 49 characters, 98 bytes: 23 characters (46 bytes) stay.
    {"【限定】①春の新作コレクション～人気アイテム特集〜今だけ♡送料無料キャンペーン実施中😀お見逃しなく",
     "【限定】①春の新作コレクション～人気アイテム特・・"},
    // 41 characters, 49 bytes (32 half-width katakana, "ﾊﾞ" and "ﾄﾞ" two each): not cut.
    {"ﾀｲﾑｾｰﾙ開催中 ｽﾏｰﾄﾌｫﾝｹｰｽ ｶﾊﾞｰ 全機種対応 ｱｲﾌｫﾝｱﾝﾄﾞ",
     "ﾀｲﾑｾｰﾙ開催中 ｽﾏｰﾄﾌｫﾝｹｰｽ ｶﾊﾞｰ 全機種対応 ｱｲﾌｫﾝｱﾝﾄﾞ"},
    // Exactly 50 bytes: cut to 46 (ending with "倍").
    {"Summer Sale ～夏の大感謝祭♡全品ポイント１０倍です",
     "Summer Sale ～夏の大感謝祭♡全品ポイント１０倍・・"},
    // 45 bytes up to the blank before "ﾀﾞ": "ﾀ" alone would fit in 46, but "ﾀﾞ" is one
    // user-perceived character of 2 bytes: the cut comes before it.
    {"ﾀｲﾑｾｰﾙ開催中!ｽﾏｰﾄﾌｫﾝｹｰｽ ｶﾊﾞｰ 全機種対応ｱｲﾌｫﾝ ﾀﾞﾌﾞﾙﾎﾟｹｯﾄ用",
     "ﾀｲﾑｾｰﾙ開催中!ｽﾏｰﾄﾌｫﾝｹｰｽ ｶﾊﾞｰ 全機種対応ｱｲﾌｫﾝ ・・"},
    // A leading full-width blank stays (WordPress trims ASCII blanks only); 45 bytes up to
    // "で", "切" would end at 47.
    {"　全角空白で始まる題　①② ～ 〜 ♡ 😀 ここで切れますか？最後の文字まで読んでね",
     "　全角空白で始まる題　①② ～ 〜 ♡ 😀 ここで・・"},
    // 44 bytes up to "!", then "👍🏽" (two characters, 4 bytes, one user-perceived character):
    // "👍" alone would fit, the pair does not; the cut comes before it.
    {"1番人気の定番アイテムが再入荷しました嬉しい!👍🏽最後まで必ず読んでくださいね♪",
     "1番人気の定番アイテムが再入荷しました嬉しい!・・"},
    // 56 bytes, cut inside the address: 46 bytes end with "t".
    {"New arrivals: coats & jackets ～ http://shop.test/new ♡",
     "New arrivals: coats & jackets ～ http://shop.t・・"},
};
inline constexpr int kGroups = static_cast<int>(sizeof(kTitles) / sizeof(kTitles[0]));
inline constexpr int kArticles = kGroups * 3;

// Article n (from 1): a link, the lead-in, the title line and a description, in the shape the
// article generator writes, each description with something a mail path could spoil.
inline std::string Link(int n) {
    return "http://shop.test/item/" + std::to_string(n) + "/?ref=qubopost&n=" + std::to_string(n);
}

inline std::string Description(int n) {
    switch (n % 6) {
        case 0:
            return "人気の商品です♡ おすすめ😀\r\n　全角空白で始まる行〜～①";
        case 1:
            return ".ドットで始まる行\r\nFrom the shop: 行末に空白 \r\n\tタブで始まる行";
        case 2:
            return "長い説明：" + std::string("あいうえおかきくけこ①②③～〜♡😀 ") +
                   "さしすせそたちつてと" + "なにぬねのはひふへほまみむめもやゆよらりるれろわをん";
        case 3:
            return "詳しくはこちら http://shop.test/detail?id=" + std::to_string(n) + "&lang=ja ♡";
        case 4:
            return "ﾊﾝｶｸｶﾀｶﾅ ﾃﾞｽ｡ =3D そのまま =?UTF-8?B?6ZW3?= も本文の文字";
        default:
            return "\r\n空行のあとの説明　全角空白　♡\r\n";
    }
}

inline std::string ArticleTitle(int n) {
    // The first article of every group carries a title of the table; the others short ones.
    const bool groupFirst = (n - 1) % 3 == 0;
    if (groupFirst) return kTitles[(n - 1) / 3].title;
    return "記事" + std::to_string(n) + "の題♡";
}

// Article n with its separator in front, CR LF line ends.
inline std::string ArticleText(int n) {
    return "-----into-----\r\n" + Link(n) + "\r\n\r\nお勧め情報のご案内 ↓\r\n\r\n[title]" +
           ArticleTitle(n) + "\r\n\r\n" + Description(n) + "\r\n\r\n";
}

// The whole article text: every article and the closing separator.
inline std::string WholeArticle() {
    std::string article;
    for (int n = 1; n <= kArticles; ++n) article += ArticleText(n);
    return article + "-----into-----";
}

// The article with its separator and title tag taken out, as the message body holds it.
inline std::string ArticleInBody(int n) {
    std::string text = ArticleText(n);
    text.erase(0, std::string("-----into-----").size());
    text.erase(text.find("[title]"), std::string("[title]").size());
    return text;
}

// Group g's message body (from 0): the header, its three articles, the footer.
inline std::string GroupBody(int g, const std::string& header, const std::string& footer) {
    std::string body = header;
    for (int n = 3 * g + 1; n <= 3 * g + 3; ++n) body += ArticleInBody(n);
    return body + footer;
}

}  // namespace testbed
