// Where the mail goes and how the connection is secured.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qubopost::mail {

struct ServerAddress {
    std::string host;  // a name or an IPv4 literal, or an IPv6 literal without brackets
    int port = 0;
    bool ipv6 = false;
    bool implicitTls = false;  // "smtps://" was written in front: TLS from the start on any port
};

// Parses "host:port" or "[ipv6]:port", optionally with "smtps://" (TLS from the start) or
// "smtp://" in front; blanks around the host and the port are ignored. On failure returns
// nothing and sets `error` to a short English reason.
std::optional<ServerAddress> ParseServerAddress(std::string_view text, std::string* error);

// By its spelling alone: an address in 127.0.0.0/8, ::1 (also written out, or IPv4-mapped
// 127.x), or the name "localhost" (not "localhost.", which is looked up in the DNS). A name
// proves nothing about where a connection goes: the TLS decision does not use this, but the
// addresses the name resolves to (mail/resolve.h).
bool IsLoopbackHost(std::string_view host);

// Port for which the whole connection is TLS from the first byte (SMTP over TLS).
inline constexpr int kImplicitTlsPort = 465;

enum class TlsMode {
    Implicit,       // smtps://: TLS from the start
    Opportunistic,  // STARTTLS when the server offers it, plain text otherwise
    Required,       // STARTTLS or fail
};

// Port 465 or "smtps://": Implicit. Otherwise, with credentials and a server that may be
// another machine: Required, so that a password never goes out in the clear. Else
// Opportunistic. `onThisMachine`: every address the connection may use is loopback, as
// ResolveHost (mail/resolve.h) found them, and the connection goes to those addresses only.
TlsMode ChooseTlsMode(const ServerAddress& server, bool credentialsInUse, bool onThisMachine);

// The same before any look-up: only a server written as a loopback address counts as this
// machine; a name, whatever it is, counts as another machine.
TlsMode ChooseTlsMode(const ServerAddress& server, bool credentialsInUse);

// The libcurl URL: smtps://host:port for implicit TLS (port 465 or "smtps://"), smtp://host:port
// otherwise.
std::string SmtpUrl(const ServerAddress& server);

}  // namespace qubopost::mail
