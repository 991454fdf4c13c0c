// libbsmtp.so: sends one plain-text mail through an SMTP server.
//
// Exported: BSendMail, BSendMailEx, BSendMailNotify, BTestLogin, BSetOption and
// BCredentialsCommand. The program links the library at load time and also opens "libbsmtp.so"
// by name to check that the mail component is present.
//
// Credentials. For each message the library looks up a login for the server's host, once: first
// in the Secret Service key ring (schema "org.qubopost.Qubopost.Smtp", attributes "host" = the
// host name without port in lower case, "user"; the secret is the password), then in ~/.netrc
// ($NETRC when set; "machine HOST login USER password PASSWORD", or a "default" entry). Without a
// session bus or a key ring service the key ring is passed over at once. The login found is the
// one libcurl uses, and the TLS decision is made from it:
//   - port 465, or "smtps://" in front of the server: TLS from the first byte (any port);
//   - a login and a server other than this machine: STARTTLS is required; a server that does
//     not offer it gets no AUTH command and no message ("TLS is required ...");
//   - otherwise: STARTTLS when the server offers it, plain SMTP when not.
// "This machine" is decided from the addresses the connection uses, never from the name: the
// library looks the host up itself (within "connect-timeout-ms", and a stop flag ends the wait),
// the server is this machine only when every address found is loopback (127.0.0.0/8, ::1 or
// ::ffff:127.x.y.z), and the connection then goes to those addresses only ("localhost" from
// /etc/hosts is this machine; "localhost." is looked up in the DNS and is whatever it says).
// No proxy is ever used for SMTP: the proxy variables of the environment (all_proxy,
// smtp_proxy, ... in either case) are for the ranking page only.
// The server's certificate is always verified, against the host name (not the address found).
#pragma once

#define BSMTP_API __attribute__((visibility("default")))

// Results of BSendMailEx and BSendMailNotify.
//
// "The end of data" below is the moment the library commits to the final ".": the whole message
// has been written to the connection and the library is about to let the final "." go out
// (BSendMailNotify calls its beforeEnd then). Before that moment the "." cannot have reached the
// server, so whatever happens then (a refusal, a lost connection, a time-out, a stop) leaves the
// message not delivered; only after it can the outcome be uncertain.
#define BSMTP_FAILED \
    0                 // not delivered; error80 says why. Before the end of data: any
                      // failure. After it: only a refusal the server answered to the
                      // final "." ("554 ...")
#define BSMTP_SENT 1  // the server accepted the message (250 after the final ".")
#define BSMTP_UNCERTAIN \
    2  // the connection broke or timed out after the end of data (the
       // final "." may have gone out) and before the server's answer:
       // the message may or may not have arrived. Never before the end
       // of data.
#define BSMTP_LOGIN_REFUSED \
    3  // the server refused the login (530, 534 or 535 to AUTH, or any
       // other lasting refusal); nothing was sent. A temporary answer
       // to AUTH is BSMTP_FAILED from BSendMailEx and
       // BSMTP_LOGIN_DEFERRED from BSendMailNotify.
#define BSMTP_STOPPED \
    4  // *stop was set before the end of data; the connection was ended
       // without the final ".", so the server discards what it got (not
       // delivered)
#define BSMTP_LOGIN_DEFERRED \
    5  // the server refused the login for now (454, or 421 during
       // AUTH): nothing sent. BSendMailNotify only.

// The sixth argument of BSendMail and BSendMailEx: the empty string, or this text, which says
// that subject and body are UTF-8 instead of CP932 (every character then arrives as given;
// invalid UTF-8 fails the call).
#define BSMTP_TEXTS_UTF8 "charset=UTF-8"

// Error texts (error80) are English, CP932, at most 79 bytes. Those of the following kinds begin
// with a stable prefix, followed where there is one by ": " and the server's own reply or the
// host in question:
//   "connection refused"                nothing listens at host:port
//   "unknown server host"               the host name does not resolve
//   "time-out"                          no connection, no greeting or no reply in time
//   "TLS failure"                       the TLS handshake failed, or STARTTLS was refused
//   "certificate not trusted"           the server's certificate is not signed by a trusted CA
//   "certificate is for another host"   the certificate is valid but names other hosts
//   "login refused"                     e.g. "login refused: 535 5.7.8 Authentication failed"
//   "login deferred"                    BSMTP_LOGIN_DEFERRED, e.g. "login deferred: 454 4.7.0
//                                       Temporary authentication failure"
//   "TLS is required"                   a login is at hand and the server offers no STARTTLS
// Other failures give the server's reply as it came ("550 5.1.1 ...") or a short reason.

#ifdef __cplusplus
extern "C" {
#endif

// Sends one message and returns when the server has accepted it or the attempt has failed.
//
// Every text argument is a NUL-terminated Shift-JIS (CP932) byte string (subject and body are
// UTF-8 instead when reserved is BSMTP_TEXTS_UTF8):
//   server    "host:port", "[ipv6]:port" for an IPv6 literal, optionally "smtps://" in front.
//   to, from  one plain address each (local@domain), without display name or angle brackets.
//   subject   the subject line; line ends and other control characters become blanks.
//   body      the message text; any line-end convention.
//   reserved  the empty string, or BSMTP_TEXTS_UTF8: subject and body are then UTF-8.
// error80 receives, on failure, a NUL-terminated CP932 text of at most 79 bytes (see above). It
// may be null.
//
// Returns 1 when the server accepted the message, 0 otherwise. Safe to call from several
// threads at once; each call uses its own connection.
BSMTP_API int BSendMail(const char* server, const char* to, const char* from, const char* subject,
                        const char* body, const char* reserved, char* error80);

// BSendMail with a stop flag and the results BSMTP_* (all but BSMTP_LOGIN_DEFERRED: a
// temporary refusal of the login is BSMTP_FAILED with the server's reply as error80). `stop`
// may be null; otherwise *stop is read atomically (acquire) while the call runs, and a non-zero
// value ends it: within about 100 ms with BSMTP_STOPPED before the end of data; after it the
// call waits at most 3 more seconds for the server's answer (BSMTP_SENT or BSMTP_FAILED), then
// gives BSMTP_UNCERTAIN. BSendMail is BSendMailEx with no stop flag and every result other
// than BSMTP_SENT reported as 0.
BSMTP_API int BSendMailEx(const char* server, const char* to, const char* from, const char* subject,
                          const char* body, const char* reserved, char* error80, const int* stop);

// BSendMailNotify's beforeEnd: called once, on the caller's thread, when the whole message has
// been handed over and the end of data (the final ".") is about to go out; from then on the
// message may have arrived. It must return (not throw, not jump out); the call goes on when it
// does.
typedef void (*BSMTP_END_CALLBACK)(void* context);

// BSendMailEx that also says when the end of data goes out, for a caller that must know
// whether a message could have arrived (a journal that resends only what cannot have).
// `options` is BSendMailEx's sixth argument ("" or BSMTP_TEXTS_UTF8); `stop` as there.
// beforeEnd (may be null) is called with `context` at the end of data, at most once, before the
// final "." can go out (see BSMTP_END_CALLBACK). Results:
//   beforeEnd not called: BSMTP_FAILED, BSMTP_STOPPED, BSMTP_LOGIN_REFUSED or
//                         BSMTP_LOGIN_DEFERRED; never BSMTP_UNCERTAIN, and the message cannot
//                         have been accepted.
//   beforeEnd called:     BSMTP_SENT, BSMTP_FAILED (the server answered the final "." with a
//                         refusal) or BSMTP_UNCERTAIN (no answer; a stop set from then on waits
//                         up to 3 s for it, as for BSendMailEx).
// A temporary refusal of the login (454, or 421 during AUTH) is BSMTP_LOGIN_DEFERRED with an
// error80 beginning "login deferred"; nothing was sent.
BSMTP_API int BSendMailNotify(const char* server, const char* to, const char* from,
                              const char* subject, const char* body, const char* options,
                              char* error80, const int* stop, BSMTP_END_CALLBACK beforeEnd,
                              void* context);

// Tries a login without sending anything: connects to `server` (as for BSendMail), secures the
// connection as for sending with a login (never AUTH without TLS to a server other than this
// machine), sends AUTH with `user` and `password` (UTF-8) and QUIT. Returns 1 when the server
// accepted the login, BSMTP_LOGIN_REFUSED when it refused it, 0 on other failures; error80 as
// for BSendMail. The key ring and ~/.netrc are not read.
BSMTP_API int BTestLogin(const char* server, const char* user, const char* password, char* error80);

// Sets a process-wide option for the calls that start after it. Thread-safe. Returns 1 when
// set, 0 for an unknown name or a bad value (the option then stays as it was). `value` "" puts
// the option back to its default.
//   "tls-trust-file"      a readable PEM file of CA certificates, trusted instead of the
//                         system's certificate store (for a server with a private CA); the
//                         certificate check stays on. Default: the system's store.
//   "connect-timeout-ms"  time for connecting, greeting and TLS set-up, in milliseconds
//                         (1..86400000; default 30000).
//   "idle-timeout-ms"     give up when nothing moves for this long, in milliseconds
//                         (1..86400000; default 60000).
//   "language"            "ja" or "en": the language of the reasons this library writes (the
//                         key ring's, the login's); "" = Japanese, the default.
BSMTP_API int BSetOption(const char* name, const char* value);

// qubopost-cli's "credentials" command (set, forget, list) with argv[first] the word after
// "credentials"; returns its exit status. Lives here because the key-ring code does.
BSMTP_API int BCredentialsCommand(int argc, char** argv, int first);

#ifdef __cplusplus
}
#endif
