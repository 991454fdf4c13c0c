// Where the mail goes and how the connection is secured.
#ifndef QUBOPOST_MAIL_SERVER_H
#define QUBOPOST_MAIL_SERVER_H

#include <optional>
#include <string>
#include <string_view>

namespace qubopost::mail {

struct ServerAddress {
    std::string host;  // a name or an IPv4 literal, or an IPv6 literal without brackets
    int port = 0;
    bool ipv6 = false;
};

// Parses "host:port" or "[ipv6]:port"; blanks around the host and the port are ignored. On
// failure returns nothing and sets `error` to a short English reason.
std::optional<ServerAddress> ParseServerAddress(std::string_view text, std::string* error);

// 127.0.0.0/8, ::1 (also written out, or IPv4-mapped 127.x) and "localhost".
bool IsLoopbackHost(std::string_view host);

// Port for which the whole connection is TLS from the first byte (SMTP over TLS).
inline constexpr int kImplicitTlsPort = 465;

enum class TlsMode {
    Implicit,       // smtps://: TLS from the start
    Opportunistic,  // STARTTLS when the server offers it, plain text otherwise
    Required,       // STARTTLS or fail
};

// Credentials are never sent in the clear to a host other than this machine itself.
TlsMode ChooseTlsMode(const ServerAddress& server, bool credentialsInUse);

// The libcurl URL: smtps://host:port for implicit TLS, smtp://host:port otherwise.
std::string SmtpUrl(const ServerAddress& server);

// The netrc file libcurl is pointed at: $NETRC when set, else $HOME/.netrc, else the .netrc
// in the password database's home folder; empty when there is none.
std::string NetrcPath();

// True when netrc text has a "machine" entry for the host (compared without regard to case)
// or a "default" entry, i.e. when libcurl will log in with credentials from it.
bool NetrcHasEntry(std::string_view netrcText, std::string_view host);

// Reads the file at `path` and applies NetrcHasEntry; a missing file has no entries.
bool NetrcFileHasEntry(const std::string& path, std::string_view host);

}  // namespace qubopost::mail

#endif  // QUBOPOST_MAIL_SERVER_H
