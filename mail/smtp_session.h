// One SMTP conversation through libcurl: connect, secure, log in with the credentials handed
// in, send (or only log in, for a test of the credentials).
#pragma once

#include <string>
#include <string_view>

#include "mail/server.h"

namespace qubopost::mail {

enum class SendResult {
    Failed,         // not delivered (before the end of data: cannot have arrived; after it: the
                    // server answered with a refusal)
    Sent,           // the server accepted the message
    Uncertain,      // the connection ended after the end of data was committed, unanswered
    LoginRefused,   // the server refused the login; nothing was sent
    Stopped,        // the stop flag ended the transfer before the end of data was committed
    LoginDeferred,  // the server refused the login for now (454, or 421 to AUTH); nothing was
                    // sent. Only when SendHooks::reportLoginDeferred asks for it (else Failed)
};

struct SendOutcome {
    SendResult result = SendResult::Failed;
    std::string error;  // CP932, when not sent: a stable English prefix, then the server's reply
};

// The login, given to libcurl as it is; `present` false means no login at all.
struct Login {
    std::string user{};
    std::string password{};
    bool present = false;
};

// What a caller of SendOverSmtp asks for beyond the message itself.
struct SendHooks {
    // Called once, on the caller's thread, at the moment the end of data is committed: libcurl
    // has written every byte of the message to the connection and asks for more, and the read
    // callback is about to answer "end of file", after which libcurl writes the final dot.
    // Until it has been called the message cannot have arrived and the result is never
    // Uncertain; Uncertain rests on this moment alone.
    void (*beforeEnd)(void* context) = nullptr;
    void* context = nullptr;
    // A temporary refusal of the login (454, or 421, as the final answer to AUTH) is
    // LoginDeferred with "login deferred: " and the server's reply; when false it is Failed
    // with the reply alone.
    bool reportLoginDeferred = false;
};

// ---- Process-wide options (BSetOption) -------------------------------------------------------

inline constexpr long kDefaultConnectTimeoutMs = 30000;
inline constexpr long kDefaultIdleTimeoutMs = 60000;

// "tls-trust-file" (a readable file, or "" for the system's certificate store),
// "connect-timeout-ms", "idle-timeout-ms" (1 to 86400000, or "" for the default). False for an
// unknown name or a bad value, which leaves the option as it was. Thread-safe.
bool SetSessionOption(std::string_view name, std::string_view value);

// ---- Conversations ---------------------------------------------------------------------------

// Sends the finished message from `from` to `to` (both already checked by IsValidMailAddress)
// and logs in first when `login` is present. The server's name is looked up here, within the
// connect time-out (ResolveHost, mail/resolve.h), and the connection goes to those addresses
// only, never through a proxy. TLS: from the start for port 465 or "smtps://"; required
// (STARTTLS or fail) with a login unless every address is this machine (loopback); otherwise
// STARTTLS when offered. `stop` (may be null) is read atomically, also during the look-up:
// before the end of data is committed it ends the transfer (Stopped, no final dot); after it,
// the answer is awaited a little longer, then the result is Uncertain.
SendOutcome SendOverSmtp(const ServerAddress& server, std::string_view from, std::string_view to,
                         const std::string& message, const Login& login, const int* stop,
                         const SendHooks& hooks = {});

// Connects (to the addresses found as for SendOverSmtp), secures the connection as SendOverSmtp
// would with a login, logs in and says QUIT.
// Sent means the server accepted the login.
SendOutcome TestSmtpLogin(const ServerAddress& server, const Login& login);

}  // namespace qubopost::mail
