// libbsmtp.so: sends one plain-text mail through an SMTP server.
//
// The only exported symbol is BSendMail. The program links the library at load time and also
// opens "libbsmtp.so" by name to check that the mail component is present.
#ifndef QUBOPOST_MAIL_BSMTP_H
#define QUBOPOST_MAIL_BSMTP_H

#define BSMTP_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

// Sends one message and returns when the server has accepted it or the attempt has failed.
//
// Every text argument is a NUL-terminated Shift-JIS (CP932) byte string:
//   server    "host:port", "[ipv6]:port" for an IPv6 literal. Port 465 means implicit TLS;
//             on any other port STARTTLS is used when the server offers it, and it is required
//             when the user's ~/.netrc holds credentials for the host (loopback hosts excepted).
//   to, from  one plain address each (local@domain), without display name or angle brackets.
//   subject   the subject line; line ends and other control characters become blanks.
//   body      the message text; any line-end convention.
//   reserved  must be the empty string.
// error80 receives, on failure, a NUL-terminated CP932 text of at most 79 bytes: the server's
// own reply where there was one ("550 5.1.1 ..."), otherwise a short reason. It may be null.
//
// Returns 1 when the server accepted the message, 0 on failure. Safe to call from several
// threads at once; each call uses its own connection.
BSMTP_API int BSendMail(const char* server, const char* to, const char* from, const char* subject,
                        const char* body, const char* reserved, char* error80);

#ifdef __cplusplus
}
#endif

#endif  // QUBOPOST_MAIL_BSMTP_H
