#include "posting/posting_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "article/article_generator.h"
#include "platform/encoding.h"

namespace {

// Separator positions, each search going on behind the previous separator.
std::vector<int> SeparatorPositions(const Text& article) {
    std::vector<int> positions;
    const int length = ArticleMarker().GetLength();
    for (int pos = article.Find(ArticleMarker()); pos >= 0; pos = article.Find(ArticleMarker(), pos + length)) {
        positions.push_back(pos);
    }
    return positions;
}

// The longest start of text no longer than limit bytes that ends on a whole character.
Text WholeCharacters(const Text& text, int limit) {
    int end = 0;
    while (end < text.GetLength()) {
        const int step = Text::IsLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
        if (end + step > limit) break;
        end += step;
    }
    return text.Left(end);
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
    for (std::size_t hit = FindSjis(text, what, 0); hit != std::string_view::npos; hit = FindSjis(text, what, done)) {
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
    for (std::size_t hit = FindSjis(all, what, read); hit != std::string_view::npos; hit = FindSjis(all, what, read)) {
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

bool IsFullWidthBlankAt(std::string_view text, std::size_t at) {
    return at + 1 < text.size() && text[at] == '\x81' && text[at + 1] == '\x40';
}

}  // namespace

bool IsBlankGroupText(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (IsFullWidthBlankAt(text, i)) {
            i += 2;
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
        group.end = g + 1 == count ? article.GetLength() : separators[static_cast<std::size_t>(g + 1) * kArticlesPerGroup];
        // One group's text at a time: the subject comes from it with only the separators
        // removed, the blank check after the title tags are gone too.
        std::string text;
        text.reserve(static_cast<std::size_t>(group.end - group.begin));
        AppendWithout(bytes.substr(static_cast<std::size_t>(group.begin), static_cast<std::size_t>(group.end - group.begin)),
                      ArticleMarker().Bytes(), text);
        Text withoutSeparators(std::move(text));
        group.subject = CutSubject(withoutSeparators);
        std::string final = withoutSeparators.Bytes();
        RemoveInPlace(final, 0, TitleTag().Bytes());
        if (IsBlankGroupText(final)) continue;
        groups.push_back(std::move(group));
    }
    return groups;
}

Text GroupBody(const Text& article, const PostingGroupSpan& group, const Text& header, const Text& footer) {
    const std::string_view part = std::string_view(article.Bytes())
                                      .substr(static_cast<std::size_t>(group.begin),
                                              static_cast<std::size_t>(group.end - group.begin));
    std::string body;
    body.reserve(header.Bytes().size() + part.size() + footer.Bytes().size());
    body.append(header.Bytes());
    AppendWithout(part, ArticleMarker().Bytes(), body);
    RemoveInPlace(body, header.Bytes().size(), TitleTag().Bytes());
    body.append(footer.Bytes());
    return Text(std::move(body));
}

Text GroupText(const Text& article, const PostingGroupSpan& group) { return GroupBody(article, group, Text(), Text()); }

std::vector<PostingGroup> PlanPosting(const Text& article) {
    std::vector<PostingGroup> groups;
    for (PostingGroupSpan& span : PlanPostingSpans(article)) {
        groups.push_back({std::move(span.subject), GroupText(article, span)});
    }
    return groups;
}

Text CutSubject(const Text& groupText) {
    Text title;
    const int tag = groupText.Find(TitleTag());
    if (tag >= 0) {
        title = LineAt(groupText, tag + TitleTag().GetLength());
    } else {
        for (int pos = 0; pos < groupText.GetLength();) {
            title = LineAt(groupText, pos);
            if (!title.IsEmpty()) break;
            ++pos;
        }
    }
    if (title.GetLength() < kMaxSubjectBytes) return title;
    static const Text ellipsis = Sjis("・・");
    return WholeCharacters(title, kMaxSubjectBytes - ellipsis.GetLength()) + ellipsis;
}

std::vector<Text> SplitAddresses(const Text& field) {
    std::vector<Text> addresses;
    const std::string_view bytes = field.Bytes();
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = start;
        while (end < bytes.size() && !IsLineEnd(bytes[end])) ++end;
        // Blanks are trimmed by characters: a full-width blank counts only where a
        // character begins.
        std::size_t first = start, last = start;
        bool leading = true;
        for (std::size_t i = start; i < end;) {
            const bool fullWidth = IsFullWidthBlankAt(bytes.substr(0, end), i);
            const bool blank = fullWidth || bytes[i] == ' ' || bytes[i] == '\t';
            const std::size_t step = fullWidth || (Text::IsLeadByte(static_cast<unsigned char>(bytes[i])) && i + 1 < end) ? 2 : 1;
            if (!blank) {
                if (leading) first = i;
                leading = false;
                last = i + step;
            }
            i += step;
        }
        if (!leading) addresses.emplace_back(bytes.substr(first, last - first));
        if (end >= bytes.size()) break;
        start = end + ((bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1);
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
    int fd() const { return m_fd; }
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
    for (std::size_t lf = raw.find('\n'); lf != std::string_view::npos; lf = raw.find('\n', lf + 1)) {
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

int LinesIn(std::string_view text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace

std::optional<Text> ReadFieldFile(const std::string& path, bool sjis, FieldFileError* error) {
    FieldFileError ignored;
    if (!error) error = &ignored;
    *error = FieldFileError();
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error->kind = FieldFileError::Kind::Folder;
        return std::nullopt;
    }
    // First pass: NUL bytes are refused before anything else; the line ends that will
    // get a CR tell how long the text becomes.
    std::size_t size = 0;
    std::size_t loneLineFeeds = 0;
    {
        File file(path);
        if (file.fd() < 0) return Unreadable(error, errno), std::nullopt;
        std::string piece;
        char previous = '\0';
        int lines = 0;
        for (;;) {
            if (!file.Read(piece)) return Unreadable(error, errno), std::nullopt;
            if (piece.empty()) break;
            if (const std::size_t nul = piece.find('\0'); nul != std::string::npos) {
                error->kind = FieldFileError::Kind::NulByte;
                error->line = 1 + lines + LinesIn(std::string_view(piece).substr(0, nul));
                return std::nullopt;
            }
            for (std::size_t lf = piece.find('\n'); lf != std::string::npos; lf = piece.find('\n', lf + 1)) {
                ++lines;
                if ((lf == 0 ? previous : piece[lf - 1]) != '\r') ++loneLineFeeds;
            }
            previous = piece.back();
            size += piece.size();
        }
    }

    // Second pass: whole lines at a time, checked, converted and given CR LF line ends.
    File file(path);
    if (file.fd() < 0) return Unreadable(error, errno), std::nullopt;
    std::string out;
    out.reserve(size + loneLineFeeds);
    PieceConverter converter("UTF-8", "windows-31j");
    if (!sjis && !converter.Ready()) return Unreadable(error, EILSEQ), std::nullopt;
    std::string pending, piece, converted;
    std::vector<UnmappableChar> found;
    constexpr std::size_t kMostFound = 20;
    char previous = '\0';
    int lines = 0;
    bool end = false;
    while (!end) {
        if (!file.Read(piece)) return Unreadable(error, errno), std::nullopt;
        end = piece.empty();
        pending.append(piece);
        const std::size_t lastLf = pending.rfind('\n');
        const std::size_t cut = end ? pending.size() : (lastLf == std::string::npos ? 0 : lastLf + 1);
        if (cut == 0) continue;
        const std::string_view block(pending.data(), cut);
        if (sjis) {
            if (const std::size_t bad = InvalidSjisAt(block); bad != std::string_view::npos) {
                error->kind = FieldFileError::Kind::InvalidSjis;
                error->line = 1 + lines + LinesIn(block.substr(0, bad));
                return std::nullopt;
            }
            AppendCrLf(block, previous, out);
        } else {
            for (UnmappableChar& c : FindUnmappable(block, kMostFound - found.size())) {
                c.line += lines;
                found.push_back(std::move(c));
            }
            if (found.size() >= kMostFound) break;
            if (found.empty()) {
                converted.clear();
                converter.Feed(MapInputMethodForms(block), converted);
                if (end) converter.Finish(converted);
                AppendCrLf(converted, previous, out);
            }
        }
        lines += LinesIn(block);
        pending.erase(0, cut);
    }
    if (!found.empty()) {
        const auto invalid = std::find_if(found.begin(), found.end(), [](const UnmappableChar& c) { return c.utf8.empty(); });
        if (invalid != found.end()) {
            error->kind = FieldFileError::Kind::InvalidUtf8;
            error->line = invalid->line;
        } else {
            error->kind = FieldFileError::Kind::Unmappable;
            error->characters = std::move(found);
        }
        return std::nullopt;
    }
    return Text(std::move(out));
}

std::string FieldFileErrorMessage(const FieldFileError& error, const std::string& path) {
    using Kind = FieldFileError::Kind;
    switch (error.kind) {
        case Kind::None:
            return std::string();
        case Kind::Folder:
            return path + " はフォルダーです。ファイルを指定してください。";
        case Kind::Unreadable:
            return path + " を読めません: " + error.reason;
        case Kind::NulByte:
            return path + " の " + std::to_string(error.line) +
                   " 行目に NUL バイトがあります。テキストファイルを指定してください。";
        case Kind::InvalidSjis:
            return path + " の " + std::to_string(error.line) + " 行目に Shift-JIS として正しくないバイトがあります。";
        case Kind::InvalidUtf8:
            return path + " の " + std::to_string(error.line) +
                   " 行目に UTF-8 として正しくないバイトがあります。Shift-JIS のファイルなら --input-encoding sjis "
                   "を付けてください。";
        case Kind::Unmappable: {
            std::string list;
            for (const UnmappableChar& c : error.characters) list += "\n  " + DescribeUnmappable(c);
            return path + " に Shift-JIS にない文字があるため送れません。別の文字に置き換えるか削除してください:" + list;
        }
    }
    return std::string();
}
