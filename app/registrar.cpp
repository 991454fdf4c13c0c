#include "app/registrar.h"

#include "platform/profile.h"

#include <cctype>

using namespace qubopost::platform;

namespace qubopost::app {

namespace {

// Replaces %NAME% by its replacement; "%%" is one '%'. An unknown name is an error.
std::optional<std::string> Substitute(std::string_view script,
                                      const std::map<std::string, std::string>& replacements,
                                      std::string* error) {
    std::string out;
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] != '%') {
            out += script[i];
            continue;
        }
        const auto close = script.find('%', i + 1);
        if (close == std::string_view::npos) {
            *error = "unterminated %";
            return std::nullopt;
        }
        const std::string_view name = script.substr(i + 1, close - i - 1);
        if (name.empty()) {
            out += '%';
        } else {
            bool found = false;
            for (const auto& [key, value] : replacements) {
                if (EqualsNoCase(key, name)) {
                    out += value;
                    found = true;
                    break;
                }
            }
            if (!found) {
                *error = "unknown replacement %" + std::string(name) + "%";
                return std::nullopt;
            }
        }
        i = close;
    }
    return out;
}

struct Token {
    enum Kind { Word, Quoted, Equals, Open, Close, End } kind;
    std::string text;
};

class Lexer {
public:
    explicit Lexer(std::string_view text) : m_text(text) {}

    std::optional<Token> Next(std::string* error) {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
        if (m_pos >= m_text.size()) return Token{Token::End, ""};
        const char c = m_text[m_pos];
        if (c == '{') return ++m_pos, Token{Token::Open, "{"};
        if (c == '}') return ++m_pos, Token{Token::Close, "}"};
        if (c == '=') return ++m_pos, Token{Token::Equals, "="};
        if (c == '\'') {
            std::string text;
            ++m_pos;
            for (;;) {
                if (m_pos >= m_text.size()) {
                    *error = "unterminated quoted name";
                    return std::nullopt;
                }
                if (m_text[m_pos] == '\'') {
                    if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\'') {
                        text += '\'';
                        m_pos += 2;
                        continue;
                    }
                    ++m_pos;
                    return Token{Token::Quoted, text};
                }
                text += m_text[m_pos++];
            }
        }
        std::string word;
        while (m_pos < m_text.size()) {
            const char w = m_text[m_pos];
            if (std::isspace(static_cast<unsigned char>(w)) || w == '{' || w == '}' || w == '=' ||
                w == '\'')
                break;
            word += w;
            ++m_pos;
        }
        return Token{Token::Word, word};
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

class Parser {
public:
    Parser(std::string_view text, std::string* error) : m_lexer(text), m_error(error) {}

    std::optional<std::vector<RegistryScriptKey>> Script() {
        std::vector<RegistryScriptKey> roots;
        if (!Advance()) return std::nullopt;
        while (m_token.kind != Token::End) {
            if (m_token.kind != Token::Word && m_token.kind != Token::Quoted)
                return Fail("root key expected");
            RegistryScriptKey root;
            root.name = m_token.text;
            root.removal = RegistryScriptKey::Removal::NoRemove;  // root keys are never removed
            if (!Advance()) return std::nullopt;
            if (m_token.kind == Token::Open) {
                if (!Body(root)) return std::nullopt;
            }
            roots.push_back(std::move(root));
        }
        return roots;
    }

private:
    std::nullopt_t Fail(const std::string& what) {
        if (m_error->empty()) *m_error = what;
        return std::nullopt;
    }

    bool Advance() {
        auto token = m_lexer.Next(m_error);
        if (!token) return false;
        m_token = std::move(*token);
        return true;
    }

    // "= s 'value'" after a name; the current token is '='.
    std::optional<std::string> Assignment() {
        if (!Advance()) return std::nullopt;
        if (m_token.kind != Token::Word || !EqualsNoCase(m_token.text, "s")) {
            Fail("only string values (s) are supported");
            return std::nullopt;
        }
        if (!Advance()) return std::nullopt;
        if (m_token.kind != Token::Quoted && m_token.kind != Token::Word) {
            Fail("value expected");
            return std::nullopt;
        }
        std::string value = m_token.text;
        if (!Advance()) return std::nullopt;
        return value;
    }

    // The keys and values between '{' and '}'; the current token is '{'.
    bool Body(RegistryScriptKey& key) {
        if (++m_depth > 64) return Fail("keys nested too deep"), false;
        if (!Advance()) return false;
        while (m_token.kind != Token::Close) {
            if (m_token.kind == Token::End) return Fail("missing }"), false;
            if (m_token.kind == Token::Word && EqualsNoCase(m_token.text, "val")) {
                if (!Advance()) return false;
                if (m_token.kind != Token::Word && m_token.kind != Token::Quoted)
                    return Fail("value name expected"), false;
                std::string name = m_token.text;
                if (!Advance()) return false;
                if (m_token.kind != Token::Equals)
                    return Fail("= expected after value name"), false;
                auto value = Assignment();
                if (!value) return false;
                key.values.emplace_back(std::move(name), std::move(*value));
                continue;
            }
            RegistryScriptKey sub;
            if (m_token.kind == Token::Word) {
                if (EqualsNoCase(m_token.text, "NoRemove")) {
                    sub.removal = RegistryScriptKey::Removal::NoRemove;
                } else if (EqualsNoCase(m_token.text, "ForceRemove")) {
                    sub.removal = RegistryScriptKey::Removal::ForceRemove;
                } else if (EqualsNoCase(m_token.text, "Delete")) {
                    sub.removal = RegistryScriptKey::Removal::Delete;
                }
                if (sub.removal != RegistryScriptKey::Removal::Normal && !Advance()) return false;
            }
            if (m_token.kind != Token::Word && m_token.kind != Token::Quoted)
                return Fail("key name expected"), false;
            if (m_token.text.empty() || m_token.text.find('\\') != std::string::npos) {
                return Fail("bad key name"), false;
            }
            sub.name = m_token.text;
            if (!Advance()) return false;
            if (m_token.kind == Token::Equals) {
                auto value = Assignment();
                if (!value) return false;
                sub.defaultValue = std::move(*value);
            }
            if (m_token.kind == Token::Open && !Body(sub)) return false;
            key.subKeys.push_back(std::move(sub));
        }
        --m_depth;
        return Advance();
    }

    Lexer m_lexer;
    std::string* m_error;
    Token m_token{Token::End, ""};
    int m_depth = 0;
};

}  // namespace

std::optional<std::vector<RegistryScriptKey>> ParseRegistryScript(
    std::string_view script, const std::map<std::string, std::string>& replacements,
    std::string* error) {
    std::string scratch;
    if (!error) error = &scratch;
    error->clear();
    auto text = Substitute(script, replacements, error);
    if (!text) return std::nullopt;
    return Parser(*text, error).Script();
}

void Registrar::AddReplacement(std::string name, std::string value) {
    m_replacements[std::move(name)] = std::move(value);
}

bool Registrar::ResourceRegister(std::string_view script, std::string* error) {
    auto roots = ParseRegistryScript(script, m_replacements, error);
    if (!roots) return false;
    for (const auto& root : *roots) Register(root, "");
    return true;
}

bool Registrar::ResourceUnregister(std::string_view script, std::string* error) {
    auto roots = ParseRegistryScript(script, m_replacements, error);
    if (!roots) return false;
    for (const auto& root : *roots) Unregister(root, "");
    return true;
}

void Registrar::Register(const RegistryScriptKey& key, const std::string& parent) {
    const std::string path = parent.empty() ? key.name : parent + "\\" + key.name;
    if (key.removal == RegistryScriptKey::Removal::Delete) {
        m_registry.DeleteKey(path);
        return;
    }
    if (key.removal == RegistryScriptKey::Removal::ForceRemove) m_registry.DeleteKey(path);
    m_registry.CreateKey(path);
    if (key.defaultValue) m_registry.SetValue(path, "", *key.defaultValue);
    for (const auto& [name, value] : key.values) m_registry.SetValue(path, name, value);
    for (const auto& sub : key.subKeys) Register(sub, path);
}

void Registrar::Unregister(const RegistryScriptKey& key, const std::string& parent) {
    const std::string path = parent.empty() ? key.name : parent + "\\" + key.name;
    if (key.removal == RegistryScriptKey::Removal::NoRemove) {
        // The key stays; what the script put into it goes.
        for (const auto& sub : key.subKeys) Unregister(sub, path);
        for (const auto& [name, value] : key.values) m_registry.DeleteValue(path, name);
        return;
    }
    m_registry.DeleteKey(path);
}

}  // namespace qubopost::app
