// How article text becomes mail: the groups of articles, their subjects and bodies,
// and the destination addresses.
#pragma once

#include <vector>

#include "platform/text.h"

// Articles per message.
inline constexpr int kArticlesPerGroup = 3;
// A subject never grows beyond this many bytes.
inline constexpr int kMaxSubjectBytes = 50;

struct PostingGroup {
    Text subject;
    Text text;  // the group's articles, separators and title tags removed
};

// The number of articles in article text: one less than its separators; -1 for a text
// without a separator and 1 for a text with one.
int CountArticles(const Text& article);
// The number of messages per address for a number of articles.
int GroupCount(int articleCount);

// Cuts article text into groups of three articles (the last group takes the rest).
// Group 1 begins at the start of the text; every later group at the separator that opens
// its first article. Text with fewer than two separators holds no article: no group.
std::vector<PostingGroup> PlanPosting(const Text& article);

// The subject of a group text that still holds its title tag: the title up to its line
// end, or without a tag the first non-empty line. 50 bytes or more become the first
// 46 bytes, cut back to a whole character, and "・・".
Text CutSubject(const Text& groupText);

// The destination field's addresses: one per line (CR LF, CR or LF), blanks around them
// trimmed, empty lines skipped.
std::vector<Text> SplitAddresses(const Text& field);
// The number of addresses in the destination field.
int CountAddresses(const Text& field);
