// Where the SMTP login comes from: the Secret Service key ring first, then ~/.netrc.
//
// Host names are compared without regard to case; the key ring keeps them in lower case.
// Passwords never leave these functions except in the Credentials handed to the caller.
#ifndef QUBOPOST_CREDENTIALS_CREDENTIALS_H
#define QUBOPOST_CREDENTIALS_CREDENTIALS_H

#include <string>
#include <string_view>
#include <vector>

namespace qubopost::credentials {

enum class Source {
    None,     // nothing found: no login
    KeyRing,  // the Secret Service key ring
    Netrc,    // ~/.netrc (or $NETRC)
};

struct Credentials {
    std::string user{};
    std::string password{};  // UTF-8
    Source source = Source::None;

    bool found() const { return source != Source::None; }
};

// ---- The key ring (Secret Service through libsecret) ------------------------------------------
//
// Items have the schema "org.qubopost.Qubopost.Smtp" with the attributes "host" (the SMTP server's
// host name without port, in lower case) and "user"; the secret is the password in UTF-8.
//
// Without a session bus (DBUS_SESSION_BUS_ADDRESS unset or empty, or the bus not answering) or
// without a Secret Service on it, every call returns Unavailable at once. No call waits longer
// than a few seconds: a call the service does not answer in time fails.

enum class KeyRingStatus {
    Ok,
    NotFound,     // lookup / forget: no item for the host
    Unavailable,  // no session bus or no Secret Service
    Failed,       // the service answered with an error, or did not answer in time
};

struct KeyRingEntry {
    std::string host;
    std::string user;
};

// True when a Secret Service answers on the session bus.
bool KeyRingAvailable();

// Stores the password for host and user, replacing whatever was stored for that host.
KeyRingStatus KeyRingStore(std::string_view host, std::string_view user,
                           std::string_view password, std::string* error = nullptr);
// The user and password stored for the host (source KeyRing when found).
KeyRingStatus KeyRingLookup(std::string_view host, Credentials* found,
                            std::string* error = nullptr);
// Removes every item stored for the host.
KeyRingStatus KeyRingForget(std::string_view host, std::string* error = nullptr);
// Host and user of every item, sorted by host; never the passwords.
KeyRingStatus KeyRingList(std::vector<KeyRingEntry>* entries, std::string* error = nullptr);

// ---- ~/.netrc -------------------------------------------------------------------------------
//
// Read the way people write the file: "#" comments (a "#" where a keyword may stand starts a
// comment to the end of the line), "machine", "default", "login", "password", "account" and
// "macdef" in any case, values in double quotes with backslash escapes, "macdef" bodies running
// to the next empty line, LF or CR LF line ends. The first "machine" entry naming the host
// (without regard to case) wins, else the "default" entry. An entry counts only when it has a
// login; its password may be empty.

enum class NetrcStatus {
    Found,
    NotFound,
    Malformed,  // a quoted value without its closing quote
};

// $NETRC when set, else $HOME/.netrc, else the .netrc in the password database's home
// folder; empty when there is none.
std::string NetrcPath();

NetrcStatus NetrcLookup(std::string_view netrcText, std::string_view host, Credentials* found);
// Reads the file and applies NetrcLookup; a missing or unreadable file has no entries.
NetrcStatus NetrcFileLookup(const std::string& path, std::string_view host, Credentials* found);

// ---- Both ------------------------------------------------------------------------------------

// The credentials for the host: the key ring's when it has an item for the host, else the
// netrc's. A broken ~/.netrc sets `problem` (English, short) and gives no credentials; a key
// ring that is unavailable or fails is passed over quietly.
Credentials LookupCredentials(std::string_view host, std::string* problem = nullptr);

// The host as the key ring keeps it: lower case, without the brackets of an IPv6 literal.
std::string NormaliseHost(std::string_view host);

}  // namespace qubopost::credentials

#endif  // QUBOPOST_CREDENTIALS_CREDENTIALS_H
