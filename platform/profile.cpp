#include "platform/profile.h"

#include "platform/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace qubopost::platform {

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// The section name of a header line "[name]", or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    // The closing bracket, stepping over double-byte characters whose second byte is ']'.
    std::size_t close = 1;
    while (close < line.size() && line[close] != ']') {
        close += Text::IsLeadByte(static_cast<unsigned char>(line[close])) ? 2 : 1;
    }
    if (close >= line.size()) return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

// Key and value of a line "key=value". The value is taken as it stands after the '='.
bool SplitKeyLine(std::string_view line, std::string_view* key, std::string_view* value) {
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    const std::string_view name = Trim(line.substr(0, eq));
    if (name.empty() || name.front() == ';') return false;
    *key = name;
    *value = line.substr(eq + 1);
    return true;
}

std::string OneLine(std::string_view value) {
    std::string out(value);
    std::replace(out.begin(), out.end(), '\r', ' ');
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        // A double-byte character compares exactly: its second byte may look like a letter.
        if (Text::IsLeadByte(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument doc;
    std::size_t start = 0;
    while (start < bytes.size()) {
        auto end = bytes.find('\n', start);
        Line line;
        if (end == std::string_view::npos) {
            line.text = bytes.substr(start);
            end = bytes.size();
        } else if (end > start && bytes[end - 1] == '\r') {
            line.text = bytes.substr(start, end - 1 - start);
            line.end = "\r\n";
        } else {
            line.text = bytes.substr(start, end - start);
            line.end = "\n";
        }
        if (doc.m_lines.empty() && !line.end.empty()) doc.m_lineEnd = line.end;
        doc.m_lines.push_back(std::move(line));
        start = end + 1;
    }
    return doc;
}

void IniDocument::AddLine(std::string text, std::size_t at) {
    // A last line without a line end gets one; if it ends in CR, that CR stays its own.
    if (!m_lines.empty() && m_lines.back().end.empty()) {
        const std::string& last = m_lines.back().text;
        m_lines.back().end = !last.empty() && last.back() == '\r' ? "\r\n" : m_lineEnd;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at),
                   Line{std::move(text), m_lineEnd});
}

int IniDocument::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        auto name = SectionName(m_lines[i].text);
        if (name && EqualsNoCase(*name, section)) return static_cast<int>(i);
    }
    return -1;
}

int IniDocument::SectionEnd(int header) const {
    std::size_t i = static_cast<std::size_t>(header) + 1;
    while (i < m_lines.size() && !SectionName(m_lines[i].text)) ++i;
    return static_cast<int>(i);
}

int IniDocument::FindKey(int header, std::string_view key) const {
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        std::string_view name, value;
        if (SplitKeyLine(m_lines[static_cast<std::size_t>(i)].text, &name, &value) &&
            EqualsNoCase(name, key)) {
            return i;
        }
    }
    return -1;
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
    const int header = FindSection(section);
    if (header < 0) return std::nullopt;
    const int line = FindKey(header, key);
    if (line < 0) return std::nullopt;
    std::string_view name, value;
    SplitKeyLine(m_lines[static_cast<std::size_t>(line)].text, &name, &value);
    return std::string(value);
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + OneLine(value);
    int header = FindSection(section);
    if (header < 0) {
        AddLine("[" + std::string(section) + "]", m_lines.size());
        AddLine(std::move(line), m_lines.size());
        return;
    }
    const int existing = FindKey(header, key);
    if (existing >= 0) {
        m_lines[static_cast<std::size_t>(existing)].text = std::move(line);
        return;
    }
    // New keys go behind the section's last non-blank line.
    int insert = SectionEnd(header);
    while (insert > header + 1 && Trim(m_lines[static_cast<std::size_t>(insert - 1)].text).empty())
        --insert;
    AddLine(std::move(line), static_cast<std::size_t>(insert));
}

void IniDocument::AddSection(std::string_view section) {
    if (FindSection(section) < 0) AddLine("[" + std::string(section) + "]", m_lines.size());
}

void IniDocument::Remove(std::string_view section, std::string_view key) {
    const int header = FindSection(section);
    if (header < 0) return;
    const int line = FindKey(header, key);
    if (line >= 0) m_lines.erase(m_lines.begin() + line);
}

void IniDocument::RemoveSection(std::string_view section) {
    const int header = FindSection(section);
    if (header < 0) return;
    m_lines.erase(m_lines.begin() + header, m_lines.begin() + SectionEnd(header));
}

std::vector<std::string> IniDocument::Sections() const {
    std::vector<std::string> names;
    for (const auto& line : m_lines) {
        if (auto name = SectionName(line.text)) names.emplace_back(*name);
    }
    return names;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    const int header = FindSection(section);
    if (header < 0) return keys;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        std::string_view name, value;
        if (SplitKeyLine(m_lines[static_cast<std::size_t>(i)].text, &name, &value))
            keys.emplace_back(name);
    }
    return keys;
}

std::string IniDocument::Serialize() const {
    std::string out;
    for (const auto& line : m_lines) {
        out += line.text;
        out += line.end;
    }
    return out;
}

std::optional<std::string> ReadFileBytes(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) {
        if (error) *error = "read error";
        return std::nullopt;
    }
    return bytes.str();
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
    const auto fail = [&](int code) {
        if (error) *error = std::strerror(code);
        return false;
    };
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return fail(errno);
    // Keep the old file's permissions; a new file gets the usual 0644 (less the umask).
    struct stat old {};
    if (stat(path.c_str(), &old) == 0) {
        fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            close(fd);
            unlink(temp.c_str());
            return fail(code);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0 || close(fd) != 0) {
        const int code = errno;
        unlink(temp.c_str());
        return fail(code);
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        const int code = errno;
        unlink(temp.c_str());
        return fail(code);
    }
    // Make the rename itself durable.
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

}  // namespace qubopost::platform
