#include "posting/posting_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/encoding.h"
#include "resources/article_format.h"
#include "resources/messages/messages.h"

#include <unicode/utf8.h>

using namespace qubopost::platform;
using namespace qubopost::resources;

namespace qubopost::posting {

namespace {

// Separator positions, each search going on behind the previous separator.
// The texts are UTF-8, in which no byte of a multi-byte character is an ASCII byte: a plain
// byte search finds the (ASCII) markers only where they really are.
std::vector<int> SeparatorPositions(const Text& article) {
    std::vector<int> positions;
    const std::string_view bytes = article.Bytes();
    const std::string_view marker = kArticleSeparator;
    for (std::size_t pos = bytes.find(marker); pos != std::string_view::npos;
         pos = bytes.find(marker, pos + marker.size())) {
        positions.push_back(static_cast<int>(pos));
    }
    return positions;
}

// Bytes a character takes in Shift-JIS: one for ASCII and the half-width katakana, two for
// everything else, a character Shift-JIS has no form for included.
int SjisWidth(std::string_view text) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int width = 0;
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);  // a run of bytes that is no character counts as one
        width += (c >= 0 && c < 0x80) || (c >= 0xFF61 && c <= 0xFF9F) ? 1 : 2;
    }
    return width;
}

// The width is a sum over characters: no cluster boundaries are needed for it.
int SjisWidthOfText(std::string_view text) { return SjisWidth(text); }

// The longest start of text whose Shift-JIS width is at most limit, ending on a whole
// user-perceived character (an emoji with its modifiers stays whole).
Text WholeCharacters(const Text& text, int limit) {
    std::size_t end = 0;
    int width = 0;
    ForEachGrapheme(text.Bytes(), [&](std::string_view cluster) {
        width += SjisWidth(cluster);
        if (width > limit) return false;
        end += cluster.size();
        return true;
    });
    return text.Left(static_cast<int>(end));
}

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

Text LineAt(const Text& text, int start) {
    int end = start;
    while (end < text.GetLength() && !IsLineEnd(text[end])) ++end;
    return text.Mid(start, end - start);
}

}  // namespace

int CountArticles(const Text& article) {
    const int separators = static_cast<int>(SeparatorPositions(article).size());
    if (separators == 0) return -1;
    if (separators == 1) return 1;
    return separators - 1;
}

int GroupCount(int articleCount) {
    if (articleCount <= 2) return 1;
    return (articleCount + kArticlesPerGroup - 1) / kArticlesPerGroup;
}

namespace {

// Appends text with every occurrence of what removed, searched as a replace-all does.
void AppendWithout(std::string_view text, std::string_view what, std::string& out) {
    std::size_t done = 0;
    for (std::size_t hit = text.find(what, 0); hit != std::string_view::npos;
         hit = text.find(what, done)) {
        out.append(text.data() + done, hit - done);
        done = hit + what.size();
    }
    out.append(text.data() + done, text.size() - done);
}

// Removes every occurrence of what from bytes[from..], in place, searched as a replace-all
// does: the search only ever reads at and after its read position, which the bytes moved
// forward never reach.
void RemoveInPlace(std::string& bytes, std::size_t from, std::string_view what) {
    const std::string_view all(bytes);
    std::size_t read = from, write = from;
    for (std::size_t hit = all.find(what, read); hit != std::string_view::npos;
         hit = all.find(what, read)) {
        std::memmove(bytes.data() + write, bytes.data() + read, hit - read);
        write += hit - read;
        read = hit + what.size();
    }
    std::memmove(bytes.data() + write, bytes.data() + read, bytes.size() - read);
    write += bytes.size() - read;
    bytes.resize(write);
}

bool IsBlankAt(std::string_view text, std::size_t at) {
    const char c = text[at];
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// U+3000 IDEOGRAPHIC SPACE in UTF-8.
constexpr std::string_view kFullWidthBlank = "\xE3\x80\x80";

bool IsFullWidthBlankAt(std::string_view text, std::size_t at) {
    return text.substr(at, 3) == kFullWidthBlank;
}

}  // namespace

bool IsBlankGroupText(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (IsFullWidthBlankAt(text, i)) {
            i += kFullWidthBlank.size();
        } else if (IsBlankAt(text, i)) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

std::vector<PostingGroupSpan> PlanPostingSpans(const Text& article) {
    const std::vector<int> separators = SeparatorPositions(article);
    std::vector<PostingGroupSpan> groups;
    if (separators.size() < 2) return groups;
    const int articles = static_cast<int>(separators.size()) - 1;
    const int count = GroupCount(articles);
    const std::string_view bytes = article.Bytes();
    for (int g = 0; g < count; ++g) {
        PostingGroupSpan group;
        group.begin = g == 0 ? 0 : separators[static_cast<std::size_t>(g) * kArticlesPerGroup];
        group.end = g + 1 == count
                        ? article.GetLength()
                        : separators[static_cast<std::size_t>(g + 1) * kArticlesPerGroup];
        // One group's text at a time: the subject comes from it with only the separators
        // removed, the blank check after the title tags are gone too.
        std::string text;
        text.reserve(static_cast<std::size_t>(group.end - group.begin));
        AppendWithout(bytes.substr(static_cast<std::size_t>(group.begin),
                                   static_cast<std::size_t>(group.end - group.begin)),
                      kArticleSeparator, text);
        Text withoutSeparators(std::move(text));
        group.subject = CutSubject(withoutSeparators);
        std::string final = withoutSeparators.Bytes();
        RemoveInPlace(final, 0, kTitleTag);
        if (IsBlankGroupText(final)) continue;
        groups.push_back(std::move(group));
    }
    return groups;
}

Text GroupBody(const Text& article, const PostingGroupSpan& group, const Text& header,
               const Text& footer) {
    const std::string_view part = std::string_view(article.Bytes())
                                      .substr(static_cast<std::size_t>(group.begin),
                                              static_cast<std::size_t>(group.end - group.begin));
    std::string body;
    body.reserve(header.Bytes().size() + part.size() + footer.Bytes().size());
    body.append(header.Bytes());
    AppendWithout(part, kArticleSeparator, body);
    RemoveInPlace(body, header.Bytes().size(), kTitleTag);
    body.append(footer.Bytes());
    return Text(std::move(body));
}

Text GroupText(const Text& article, const PostingGroupSpan& group) {
    return GroupBody(article, group, Text(), Text());
}

std::vector<PostingGroup> PlanPosting(const Text& article) {
    std::vector<PostingGroup> groups;
    for (PostingGroupSpan& span : PlanPostingSpans(article)) {
        groups.push_back({std::move(span.subject), GroupText(article, span)});
    }
    return groups;
}

Text CutSubject(const Text& groupText) {
    Text title;
    const std::size_t tagAt = groupText.Bytes().find(kTitleTag);
    const int tag = tagAt == std::string::npos ? -1 : static_cast<int>(tagAt);
    if (tag >= 0) {
        title = LineAt(groupText, tag + static_cast<int>(kTitleTag.size()));
    } else {
        for (int pos = 0; pos < groupText.GetLength();) {
            title = LineAt(groupText, pos);
            if (!title.IsEmpty()) break;
            ++pos;
        }
    }
    if (SjisWidthOfText(title.Bytes()) < kMaxSubjectBytes) return title;
    static const Text ellipsis("・・");
    return WholeCharacters(title, kMaxSubjectBytes - SjisWidthOfText(ellipsis.Bytes())) + ellipsis;
}

std::string TrimBlanks(std::string_view text) {
    std::size_t first = 0, last = text.size();
    for (;;) {
        if (first < last && (text[first] == ' ' || text[first] == '\t')) {
            ++first;
        } else if (IsFullWidthBlankAt(text.substr(0, last), first)) {
            first += kFullWidthBlank.size();
        } else {
            break;
        }
    }
    for (;;) {
        if (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) {
            --last;
        } else if (last >= first + kFullWidthBlank.size() &&
                   IsFullWidthBlankAt(text, last - kFullWidthBlank.size())) {
            last -= kFullWidthBlank.size();
        } else {
            break;
        }
    }
    return std::string(text.substr(first, last - first));
}

std::vector<Text> SplitAddresses(const Text& field) {
    std::vector<Text> addresses;
    const std::string_view bytes = field.Bytes();
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && !IsLineEnd(bytes[end])) ++end;
        const std::string trimmed = TrimBlanks(bytes.substr(start, end - start));
        if (!trimmed.empty()) addresses.emplace_back(trimmed);
        if (end >= bytes.size()) break;
        start = end +
                ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
    }
    return addresses;
}

int CountAddresses(const Text& field) { return static_cast<int>(SplitAddresses(field).size()); }

namespace {

constexpr std::size_t kReadPiece = 1 << 20;

class File {
public:
    explicit File(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~File() {
        if (m_fd >= 0) close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    int Fd() const { return m_fd; }
    // Reads the next piece into buffer; false with errno set on a failure.
    bool Read(std::string& buffer) {
        buffer.resize(kReadPiece);
        for (;;) {
            const ssize_t n = read(m_fd, buffer.data(), buffer.size());
            if (n >= 0) {
                buffer.resize(static_cast<std::size_t>(n));
                return true;
            }
            if (errno != EINTR) return false;
        }
    }

private:
    int m_fd;
};

bool Unreadable(FieldFileError* error, int number) {
    error->kind = FieldFileError::Kind::Unreadable;
    error->reason = std::strerror(number);
    return false;
}

// Appends raw with a CR put before every LF that has none; previous is the raw byte
// before raw.
void AppendCrLf(std::string_view raw, char& previous, std::string& out) {
    std::size_t done = 0;
    for (std::size_t lf = raw.find('\n'); lf != std::string_view::npos;
         lf = raw.find('\n', lf + 1)) {
        const char before = lf == 0 ? previous : raw[lf - 1];
        if (before == '\r') continue;
        out.append(raw.data() + done, lf - done);
        out += '\r';
        done = lf;
    }
    out.append(raw.data() + done, raw.size() - done);
    if (!raw.empty()) previous = raw.back();
}

// The first byte of a CP932 text block that is no part of a character, or npos.
std::size_t InvalidSjisAt(std::string_view block) {
    for (std::size_t i = 0; i < block.size(); ++i) {
        const auto c = static_cast<unsigned char>(block[i]);
        if (Text::IsLeadByte(c)) {
            const auto next = i + 1 < block.size() ? static_cast<unsigned char>(block[i + 1]) : 0;
            if (next < 0x40 || next == 0x7F || next > 0xFC) return i;
            ++i;
        } else if (c == 0x80 || c == 0xA0 || c >= 0xFD) {
            return i;
        }
    }
    return std::string_view::npos;
}

int LinesIn(std::string_view text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

std::optional<Text> ReadFieldFile(const std::string& path, bool sjis, FieldFileError* error) {
    FieldFileError ignored;
    if (!error) error = &ignored;
    *error = FieldFileError();
    File file(path);
    if (file.Fd() < 0) return Unreadable(error, errno), std::nullopt;
    struct stat info {};
    if (fstat(file.Fd(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error->kind = FieldFileError::Kind::Folder;
        return std::nullopt;
    }
    // One pass, so that a pipe, a FIFO or standard input can be read too: whole lines at a
    // time, checked, converted and given CR LF line ends.
    std::string out;
    if (S_ISREG(info.st_mode))
        out.reserve(static_cast<std::size_t>(info.st_size) +
                    static_cast<std::size_t>(info.st_size) / 8);
    Utf8Stream converter;
    if (sjis && !converter.Ready()) return Unreadable(error, EILSEQ), std::nullopt;
    std::string pending, piece, converted;
    char previous = '\0';
    int lines = 0;
    bool end = false;
    while (!end) {
        if (!file.Read(piece)) return Unreadable(error, errno), std::nullopt;
        end = piece.empty();
        if (const std::size_t nul = piece.find('\0'); nul != std::string::npos) {
            error->kind = FieldFileError::Kind::NulByte;
            error->line =
                1 + lines + LinesIn(pending) + LinesIn(std::string_view(piece).substr(0, nul));
            return std::nullopt;
        }
        pending.append(piece);
        const std::size_t lastLf = pending.rfind('\n');
        const std::size_t cut =
            end ? pending.size() : (lastLf == std::string::npos ? 0 : lastLf + 1);
        if (cut == 0) continue;
        const std::string_view block(pending.data(), cut);
        if (sjis) {
            if (const std::size_t bad = InvalidSjisAt(block); bad != std::string_view::npos) {
                error->kind = FieldFileError::Kind::InvalidSjis;
                error->line = 1 + lines + LinesIn(block.substr(0, bad));
                return std::nullopt;
            }
            converted.clear();
            converter.Feed(block, converted, end);
            AppendCrLf(converted, previous, out);
        } else {
            // UTF-8 is taken as it is: every character arrives as the file has it.
            if (!IsValidUtf8(block)) {
                error->kind = FieldFileError::Kind::InvalidUtf8;
                const std::vector<UnmappableChar> bad = FindControlCharacters(block);
                const auto invalid =
                    std::find_if(bad.begin(), bad.end(),
                                 [](const UnmappableChar& c) { return c.codePoint == U'\uFFFD'; });
                error->line = lines + (invalid == bad.end() ? 1 : invalid->line);
                return std::nullopt;
            }
            AppendCrLf(block, previous, out);
        }
        lines += LinesIn(block);
        pending.erase(0, cut);
    }
    return Text(std::move(out));
}

std::string FieldFileErrorMessage(const FieldFileError& error, const std::string& path) {
    namespace msg = qubopost::messages;
    using Kind = FieldFileError::Kind;
    switch (error.kind) {
        case Kind::None:
            return std::string();
        case Kind::Folder:
            return msg::Say(msg::kInputFileIsFolder, {path});
        case Kind::Unreadable:
            return msg::Say(msg::kInputFileUnreadable, {path, error.reason});
        case Kind::NulByte:
            return msg::Say(msg::kInputFileNulByte, {path, std::to_string(error.line)});
        case Kind::InvalidSjis:
            return msg::Say(msg::kInputFileInvalidSjis, {path, std::to_string(error.line)});
        case Kind::InvalidUtf8:
            return msg::Say(msg::kInputFileInvalidUtf8, {path, std::to_string(error.line)});
    }
    return std::string();
}

}  // namespace qubopost::posting
