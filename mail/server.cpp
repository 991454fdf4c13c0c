#include "mail/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace qubopost::mail {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// Host names: letters, digits, '-', '_' and dots. Nothing that could change the meaning of the
// URL it is put into (no '/', '@', '?', '#', '%', blanks or 8-bit bytes).
bool IsHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) return false;
    for (char c : host) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
                        (c >= 'a' && c <= 'z') || c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

bool IsIpv6Literal(std::string_view host) {
    if (host.empty() || host.size() >= INET6_ADDRSTRLEN) return false;
    in6_addr address{};
    return inet_pton(AF_INET6, std::string(host).c_str(), &address) == 1;
}

// Splits netrc text into tokens: blank-separated words, or double-quoted strings with
// backslash escapes. The body of a "macdef" (up to the next empty line) is skipped.
std::vector<std::string> NetrcTokens(std::string_view text) {
    std::vector<std::string> tokens;
    size_t i = 0;
    auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    };
    while (i < text.size()) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        std::string token;
        if (text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) ++i;
                token += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && !isBlank(text[i])) token += text[i++];
        }
        if (!tokens.empty() && tokens.back() == "macdef") {
            // The macro's name was this token; its body runs to the next empty line.
            tokens.pop_back();
            const size_t end = text.find("\n\n", i);
            i = end == std::string_view::npos ? text.size() : end + 2;
            continue;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

}  // namespace

std::optional<ServerAddress> ParseServerAddress(std::string_view text, std::string* error) {
    auto fail = [&](const char* reason) -> std::optional<ServerAddress> {
        if (error) *error = reason;
        return std::nullopt;
    };
    text = TrimBlanks(text);
    ServerAddress server;
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) return fail("invalid server address (missing \"]\")");
        server.host = std::string(text.substr(1, close - 1));
        server.ipv6 = true;
        if (!IsIpv6Literal(server.host)) return fail("invalid IPv6 address in server");
        const std::string_view rest = text.substr(close + 1);
        if (rest.empty() || rest.front() != ':') return fail("server needs a port (host:port)");
        portText = rest.substr(1);
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) return fail("server needs a port (host:port)");
        const std::string_view host = TrimBlanks(text.substr(0, colon));
        if (host.find(':') != std::string_view::npos)
            return fail("write an IPv6 server as [address]:port");
        if (host.empty()) return fail("no server host name");
        if (!IsHostName(host)) return fail("invalid server host name");
        server.host = std::string(host);
        portText = text.substr(colon + 1);
    }
    portText = TrimBlanks(portText);
    if (portText.empty()) return fail("server needs a port (host:port)");
    long port = 0;
    for (char c : portText) {
        if (c < '0' || c > '9') return fail("invalid server port");
        port = port * 10 + (c - '0');
        if (port > 65535) return fail("invalid server port");
    }
    if (port == 0) return fail("invalid server port");
    server.port = static_cast<int>(port);
    return server;
}

bool IsLoopbackHost(std::string_view host) {
    if (EqualsIgnoringCase(host, "localhost") || EqualsIgnoringCase(host, "localhost."))
        return true;
    const std::string text(host);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

TlsMode ChooseTlsMode(const ServerAddress& server, bool credentialsInUse) {
    if (server.port == kImplicitTlsPort) return TlsMode::Implicit;
    if (credentialsInUse && !IsLoopbackHost(server.host)) return TlsMode::Required;
    return TlsMode::Opportunistic;
}

std::string SmtpUrl(const ServerAddress& server) {
    const std::string host = server.ipv6 ? "[" + server.host + "]" : server.host;
    const char* scheme = server.port == kImplicitTlsPort ? "smtps://" : "smtp://";
    return scheme + host + ":" + std::to_string(server.port);
}

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

bool NetrcHasEntry(std::string_view netrcText, std::string_view host) {
    const std::vector<std::string> tokens = NetrcTokens(netrcText);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == "default") return true;
        if (tokens[i] == "machine" && i + 1 < tokens.size()) {
            if (EqualsIgnoringCase(tokens[i + 1], host)) return true;
            ++i;  // a machine name is never a keyword
        } else if ((tokens[i] == "login" || tokens[i] == "password" || tokens[i] == "account") &&
                   i + 1 < tokens.size()) {
            ++i;  // nor is a value
        }
    }
    return false;
}

bool NetrcFileHasEntry(const std::string& path, std::string_view host) {
    if (path.empty()) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream text;
    text << file.rdbuf();
    return NetrcHasEntry(text.str(), host);
}

}  // namespace qubopost::mail
