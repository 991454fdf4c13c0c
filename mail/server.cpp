#include "mail/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include "mail/resolve.h"

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

}  // namespace

std::optional<ServerAddress> ParseServerAddress(std::string_view text, std::string* error) {
    auto fail = [&](const char* reason) -> std::optional<ServerAddress> {
        if (error) *error = reason;
        return std::nullopt;
    };
    text = TrimBlanks(text);
    ServerAddress server;
    auto startsWithIgnoringCase = [&](std::string_view prefix) {
        return text.size() >= prefix.size() &&
               EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
    };
    if (startsWithIgnoringCase("smtps://")) {
        server.implicitTls = true;
        text = TrimBlanks(text.substr(8));
    } else if (startsWithIgnoringCase("smtp://")) {
        text = TrimBlanks(text.substr(7));
    }
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
    return EqualsIgnoringCase(host, "localhost") || IsLoopbackAddress(host);
}

TlsMode ChooseTlsMode(const ServerAddress& server, bool credentialsInUse, bool onThisMachine) {
    if (server.port == kImplicitTlsPort || server.implicitTls) return TlsMode::Implicit;
    if (credentialsInUse && !onThisMachine) return TlsMode::Required;
    return TlsMode::Opportunistic;
}

TlsMode ChooseTlsMode(const ServerAddress& server, bool credentialsInUse) {
    return ChooseTlsMode(server, credentialsInUse, IsLoopbackAddress(server.host));
}

std::string SmtpUrl(const ServerAddress& server) {
    const std::string host = server.ipv6 ? "[" + server.host + "]" : server.host;
    const char* scheme =
        server.port == kImplicitTlsPort || server.implicitTls ? "smtps://" : "smtp://";
    return scheme + host + ":" + std::to_string(server.port);
}

}  // namespace qubopost::mail
