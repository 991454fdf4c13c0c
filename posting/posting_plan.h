// How article text becomes mail: the groups of articles, their subjects and bodies,
// and the destination addresses. Every text here is UTF-8, exactly as the user typed or the
// file held it; nothing is mapped or replaced on the way to the message.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/field_text.h"
#include "platform/text.h"

namespace qubopost::posting {

// Articles per message.
inline constexpr int kArticlesPerGroup = 3;
// A subject never grows beyond this many bytes of its Shift-JIS form (see CutSubject).
inline constexpr int kMaxSubjectBytes = 50;

struct PostingGroup {
    platform::Text subject;
    platform::Text text;  // the group's articles, separators and title tags removed
};

// The number of articles in article text: one less than its separators; -1 for a text
// without a separator and 1 for a text with one.
int CountArticles(const platform::Text& article);
// The number of messages per address for a number of articles.
int GroupCount(int articleCount);

// A group as a part of the article text, which stays where it is: the group's text is
// built when its message body is (GroupBody).
struct PostingGroupSpan {
    int begin = 0;  // byte offsets into the article text
    int end = 0;
    platform::Text subject;
};

// Cuts article text into groups of three articles (the last group takes the rest).
// Group 1 begins at the start of the text; every later group at the separator that opens
// its first article. Text with fewer than two separators holds no article: no group.
// A group whose text (separators and title tags removed) is empty or nothing but line
// ends and blanks (ASCII blanks, tabs, full-width blanks) is left out here, so that it is
// neither mailed nor counted: two separators with nothing between them make no message.
std::vector<PostingGroupSpan> PlanPostingSpans(const platform::Text& article);
// A group's text: its part of the article with the separators and then the title tags
// removed.
platform::Text GroupText(const platform::Text& article, const PostingGroupSpan& group);
// A group's message body, header + GroupText + footer, built in one string.
platform::Text GroupBody(const platform::Text& article, const PostingGroupSpan& group,
                         const platform::Text& header, const platform::Text& footer);
// The groups with their texts: PlanPostingSpans and GroupText together.
std::vector<PostingGroup> PlanPosting(const platform::Text& article);
// Whether a group text holds nothing to mail (see PlanPostingSpans).
bool IsBlankGroupText(std::string_view text);

// The subject of a group text that still holds its title tag: the title up to its line
// end, or without a tag the first non-empty line. The length rule counts the Shift-JIS
// bytes the title would take (1 for ASCII and half-width katakana, 2 for any other
// character, one without a Shift-JIS form included): 50 or more become the longest start of
// at most 46 such bytes that ends on a whole user-perceived character (an emoji with its
// modifiers, a letter with its combining marks), and "・・".
platform::Text CutSubject(const platform::Text& groupText);

// A one-line value with the blanks around it (ASCII blanks, tabs, full-width blanks) removed.
std::string TrimBlanks(std::string_view text);

// The destination field's addresses: one per line (CR LF, CR or LF), blanks (ASCII
// blanks, tabs and full-width blanks) around them trimmed, empty lines skipped.
std::vector<platform::Text> SplitAddresses(const platform::Text& field);
// The number of addresses in the destination field.
int CountAddresses(const platform::Text& field);

// Why a text file could not be taken as field text.
struct FieldFileError {
    enum class Kind {
        None,
        Folder,       // the path names a folder
        Unreadable,   // reason: the system's text
        NulByte,      // line: where the first NUL byte is
        InvalidSjis,  // line: the first byte that is no part of a CP932 character
        InvalidUtf8,  // line: the first byte that is no part of UTF-8
    } kind = Kind::None;
    std::string reason;
    int line = 0;
};

// A text file as the posting takes text: UTF-8 with CR LF line ends (every LF without a CR
// before it gets one). sjis: the file is CP932, every byte must belong to a CP932 character,
// and it is converted; otherwise it is UTF-8, must be valid UTF-8, and is taken as it is
// (every character as the file has it). A NUL byte is refused. The file is read once, in
// pieces, so a pipe or FIFO serves as well as a file; only the result is held whole.
std::optional<platform::Text> ReadFieldFile(const std::string& path, bool sjis,
                                            FieldFileError* error);
// The error for the user: clear Japanese in UTF-8.
std::string FieldFileErrorMessage(const FieldFileError& error, const std::string& path);

}  // namespace qubopost::posting
