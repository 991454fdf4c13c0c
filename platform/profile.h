// Private profile (INI) files, read and written byte for byte: values are Shift-JIS
// bytes and pass through unchanged. Sections and keys are matched without regard to
// ASCII case; lines, sections and keys this program does not know are kept as they were.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qubopost::platform {

// Compares two names without regard to ASCII case, as INI files and registry keys do.
bool EqualsNoCase(std::string_view a, std::string_view b);

class IniDocument {
public:
    IniDocument() = default;
    // Parses the bytes of a file. Lines end in CR LF or LF; anything parses.
    static IniDocument Parse(std::string_view bytes);

    // The value of key in section, or nullopt when the key (or the section) is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // Sets key in section, adding the section and the key as needed. CR and LF cannot be
    // part of a one-line value and are written as blanks.
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // Adds an empty section unless it is there.
    void AddSection(std::string_view section);
    // Removes a key; removes nothing when it is not there.
    void Remove(std::string_view section, std::string_view key);
    // Removes a section with all its keys.
    void RemoveSection(std::string_view section);
    std::vector<std::string> Sections() const;
    // The key names of a section, in file order.
    std::vector<std::string> Keys(std::string_view section) const;

    std::string Serialize() const;

private:
    // Index of the section's header line, or -1.
    int FindSection(std::string_view section) const;
    // End (exclusive) of the section whose header is at index header.
    int SectionEnd(int header) const;
    int FindKey(int header, std::string_view key) const;

    // Appends a line with the document's line end, giving the last line one if it has none.
    void AddLine(std::string text, std::size_t at);

    struct Line {
        std::string text;
        std::string end;  // "\r\n", "\n", or "" for a last line without one
    };
    std::vector<Line> m_lines;
    std::string m_lineEnd = "\r\n";  // for new lines: the file's first line end
};

// Reads a whole file. nullopt when it cannot be read (error holds the reason).
std::optional<std::string> ReadFileBytes(const std::string& path, std::string* error = nullptr);

// Writes a file so that it holds either its old or its new content, whatever happens:
// a temporary file in the same folder, flushed to disk, then renamed over the old one.
// false with the reason in error when it could not be written; the old file stays.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error);

}  // namespace qubopost::platform
