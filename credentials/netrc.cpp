#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "credentials/credentials.h"

namespace qubopost::credentials {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

enum class Keyword { None, Machine, Default, Login, Password, Account, Macdef };

Keyword KeywordOf(std::string_view word) {
    static constexpr std::pair<std::string_view, Keyword> kKeywords[] = {
        {"machine", Keyword::Machine},   {"default", Keyword::Default}, {"login", Keyword::Login},
        {"password", Keyword::Password}, {"account", Keyword::Account}, {"macdef", Keyword::Macdef},
    };
    for (const auto& [name, keyword] : kKeywords)
        if (EqualsIgnoringCase(word, name)) return keyword;
    return Keyword::None;
}

// Reads the text token by token, keeping track of lines for comments and macro bodies.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    // The next token; nothing at the end of the text. A value (`literal`) is taken as it
    // stands; otherwise a token beginning with '#' starts a comment that runs to the end of
    // the line, and the token after it is returned.
    std::optional<std::string> Next(bool literal) {
        for (;;) {
            SkipBlanks();
            if (m_pos >= m_text.size()) return std::nullopt;
            if (!literal && m_text[m_pos] == '#') {
                SkipLine();
                continue;
            }
            break;
        }
        std::string token;
        if (m_text[m_pos] == '"') {
            for (++m_pos; m_pos < m_text.size() && m_text[m_pos] != '"'; ++m_pos) {
                if (m_text[m_pos] == '\\' && m_pos + 1 < m_text.size()) ++m_pos;
                token += m_text[m_pos];
            }
            if (m_pos >= m_text.size()) {
                m_malformed = true;
                return std::nullopt;
            }
            ++m_pos;  // the closing quote
            return token;
        }
        while (m_pos < m_text.size() && !IsBlank(m_text[m_pos]) && m_text[m_pos] != '\n')
            token += m_text[m_pos++];
        return token;
    }

    // Skips a macro body: the rest of the "macdef" line, then everything up to and including
    // the next empty line (one holding nothing but blanks; a CR before the LF is a blank).
    void SkipMacroBody() {
        SkipLine();
        while (m_pos < m_text.size()) {
            const size_t end = m_text.find('\n', m_pos);
            const std::string_view line = m_text.substr(
                m_pos, end == std::string_view::npos ? std::string_view::npos : end - m_pos);
            m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
            bool empty = true;
            for (char c : line) empty = empty && IsBlank(c);
            if (empty) return;
        }
    }

    bool Malformed() const { return m_malformed; }

private:
    void SkipBlanks() {
        while (m_pos < m_text.size() && (IsBlank(m_text[m_pos]) || m_text[m_pos] == '\n')) ++m_pos;
    }
    void SkipLine() {
        const size_t end = m_text.find('\n', m_pos);
        m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
    }

    std::string_view m_text;
    size_t m_pos = 0;
    bool m_malformed = false;
};

struct Entry {
    bool open = false;
    std::string login;
    std::string password;
    bool hasLogin = false;
};

}  // namespace

std::string NetrcPath() {
    if (const char* netrc = std::getenv("NETRC"); netrc && *netrc) return netrc;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.netrc";
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        return std::string(found->pw_dir) + "/.netrc";
    return {};
}

namespace {

NetrcStatus Lookup(std::string_view netrcText, std::string_view host, bool withDefault,
                   Credentials* found) {
    Scanner scanner(netrcText);
    Entry machine;             // the entry of the host, once its "machine" line has been read
    Entry fallback;            // the "default" entry
    Entry* current = nullptr;  // where login/password go; null inside another host's entry
    bool machineDone = false;

    while (std::optional<std::string> token = scanner.Next(false)) {
        switch (KeywordOf(*token)) {
            case Keyword::Machine: {
                const std::optional<std::string> name = scanner.Next(true);
                if (!name) break;
                current = nullptr;
                if (machine.open) machineDone = true;
                if (!machineDone && EqualsIgnoringCase(*name, host)) {
                    machine.open = true;
                    current = &machine;
                }
                break;
            }
            case Keyword::Default:
                current = nullptr;
                if (machine.open) machineDone = true;
                if (!fallback.open) {
                    fallback.open = true;
                    current = &fallback;
                }
                break;
            case Keyword::Login:
                if (std::optional<std::string> value = scanner.Next(true);
                    value && current && !current->hasLogin) {
                    current->login = *value;
                    current->hasLogin = true;
                }
                break;
            case Keyword::Password:
                if (std::optional<std::string> value = scanner.Next(true); value && current)
                    current->password = *value;
                break;
            case Keyword::Account:
                scanner.Next(true);
                break;
            case Keyword::Macdef:
                scanner.SkipMacroBody();
                break;
            case Keyword::None:
                break;  // a word out of place: passed over
        }
    }
    if (scanner.Malformed()) return NetrcStatus::Malformed;
    const Entry* chosen = machine.open && machine.hasLogin                    ? &machine
                          : withDefault && fallback.open && fallback.hasLogin ? &fallback
                                                                              : nullptr;
    // A machine entry without a login still names the host: the default does not stand in.
    if (machine.open && !machine.hasLogin) chosen = nullptr;
    if (!chosen) return NetrcStatus::NotFound;
    if (found) *found = Credentials{chosen->login, chosen->password, Source::Netrc};
    return NetrcStatus::Found;
}

}  // namespace

NetrcStatus NetrcLookup(std::string_view netrcText, std::string_view host, Credentials* found) {
    return Lookup(netrcText, host, true, found);
}

NetrcStatus NetrcMachineLookup(std::string_view netrcText, std::string_view host,
                               Credentials* found) {
    return Lookup(netrcText, host, false, found);
}

NetrcStatus NetrcFileLookup(const std::string& path, std::string_view host, Credentials* found) {
    if (path.empty()) return NetrcStatus::NotFound;
    std::ifstream file(path, std::ios::binary);
    if (!file) return NetrcStatus::NotFound;
    std::ostringstream text;
    text << file.rdbuf();
    return NetrcLookup(text.str(), host, found);
}

std::string NetrcFileText(const std::string& path) {
    if (path.empty()) return {};
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace qubopost::credentials
