// Where the SMTP login comes from: the Secret Service key ring first, then ~/.netrc.
//
// Host names are compared without regard to case; the key ring keeps them in lower case.
// Passwords never leave these functions except in the Credentials handed to the caller.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qubopost::credentials {

enum class Source {
    None,     // nothing found: no login
    KeyRing,  // the Secret Service key ring
    Netrc,    // ~/.netrc (or $NETRC)
};

// ---- The key ring (Secret Service through libsecret) ------------------------------------------
//
// Items have the schema "org.qubopost.Qubopost.Smtp" with the attributes "host" (the SMTP server's
// host name without port, in lower case) and "user"; the secret is the password in UTF-8.
//
// Without a session bus (DBUS_SESSION_BUS_ADDRESS unset or empty, or the bus not answering) or
// without a Secret Service on it, every call returns Unavailable at once.
//
// Every call returns within KeyRingTimeLimit() (30 s), whatever the service does: the work runs
// on a thread of its own, and a call that is still going when the time is up (or when its
// KeyRingCancel is cancelled) is given up. The calls may be made from any thread, several at
// once. A locked collection that a call needs (storing, reading a password, removing) is
// unlocked through the desktop's own prompt (the Secret Service's Unlock and its prompt); a
// prompt that is dismissed, cannot be shown (no display) or is not answered in time makes the
// call Locked (a prompt still showing then stays for the user to answer). Listing needs no
// unlocking, and a look-up for a host with no item never prompts.

enum class KeyRingStatus {
    Ok,
    NotFound,     // lookup / forget: no item for the host
    Unavailable,  // no session bus or no Secret Service
    Locked,       // the collection is locked and was not unlocked (prompt dismissed, impossible,
                  // or not answered in time)
    Cancelled,    // ended through its KeyRingCancel
    Failed,       // the service answered with an error, or did not answer in time
};

struct Credentials {
    std::string user{};
    std::string password{};  // UTF-8
    Source source = Source::None;
    // What the key ring said for this look-up (LookupCredentials): NotFound when it had nothing
    // for the host, Locked when it had an item it could not open, Unavailable, ...
    KeyRingStatus keyRing = KeyRingStatus::NotFound;

    bool Found() const { return source != Source::None; }
};

// Ends key-ring calls early from another thread: every call given this object returns Cancelled
// soon after Cancel() (at once when it was cancelled before the call). An unlock prompt the call
// was waiting for stays on the desktop: answered later, it unlocks the key ring for the next
// call. Thread-safe.
class KeyRingCancel {
public:
    KeyRingCancel();
    ~KeyRingCancel();
    KeyRingCancel(const KeyRingCancel&) = delete;
    KeyRingCancel& operator=(const KeyRingCancel&) = delete;

    void Cancel();
    bool Cancelled() const;

    struct State;  // the key-ring code's side
    const std::shared_ptr<State>& GetState() const { return m_state; }

private:
    std::shared_ptr<State> m_state;
};

// The longest a key-ring call takes, the unlock prompt included: 30 s unless set otherwise.
// Setting it affects the calls that start afterwards; at least 100 ms.
std::chrono::milliseconds KeyRingTimeLimit();
void SetKeyRingTimeLimit(std::chrono::milliseconds limit);

struct KeyRingEntry {
    std::string host;
    std::string user;
};

// True when a Secret Service answers on the session bus (within a few seconds).
bool KeyRingAvailable(const KeyRingCancel* cancel = nullptr);

// `error`, for a status other than Ok and NotFound, receives a short Japanese reason (or the
// service's own words after "キーリングの応答: "); KeyRingProblemText makes the whole message of
// it. `cancel` (may be null) ends the call early from another thread.

// Stores the password for host and user, replacing whatever was stored for that host.
KeyRingStatus KeyRingStore(std::string_view host, std::string_view user, std::string_view password,
                           std::string* error = nullptr, const KeyRingCancel* cancel = nullptr);
// The user and password stored for the host (source KeyRing when found).
KeyRingStatus KeyRingLookup(std::string_view host, Credentials* found, std::string* error = nullptr,
                            const KeyRingCancel* cancel = nullptr);
// Removes every item stored for the host.
KeyRingStatus KeyRingForget(std::string_view host, std::string* error = nullptr,
                            const KeyRingCancel* cancel = nullptr);
// Host and user of every item, sorted by host; never the passwords.
KeyRingStatus KeyRingList(std::vector<KeyRingEntry>* entries, std::string* error = nullptr,
                          const KeyRingCancel* cancel = nullptr);

// The message for a key-ring call that ended with `status` (not Ok), in Japanese: what
// happened (with `error` from the call) and what to do about it. `retry` is the sentence that
// says how to try again ("もう一度実行してください。").
std::string KeyRingProblemText(KeyRingStatus status, std::string_view error,
                               std::string_view retry);

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
// NetrcLookup without the "default" entry: only a "machine" entry naming the host counts.
NetrcStatus NetrcMachineLookup(std::string_view netrcText, std::string_view host,
                               Credentials* found);
// The file's text; "" for a missing or unreadable file.
std::string NetrcFileText(const std::string& path);
// Reads the file and applies NetrcLookup; a missing or unreadable file has no entries.
NetrcStatus NetrcFileLookup(const std::string& path, std::string_view host, Credentials* found);

// ---- Both ------------------------------------------------------------------------------------

// The credentials for the host: the key ring's when it has an item for the host, else the
// netrc's. A broken ~/.netrc sets `problem` (English, short) and gives no credentials; a key
// ring that is unavailable, locked or fails is passed over quietly (the result's keyRing says
// which). Returns within KeyRingTimeLimit() and the time to read ~/.netrc.
Credentials LookupCredentials(std::string_view host, std::string* problem = nullptr);

// The host as the key ring keeps it: lower case, without the brackets of an IPv6 literal.
std::string NormaliseHost(std::string_view host);

}  // namespace qubopost::credentials
