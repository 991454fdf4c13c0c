// Test SMTP servers and client settings for the mail tests.
//
//   SmtpServer            the aiosmtpd server of smtp_server.py on 127.0.0.1 (or ::1), as a child
//                         process on a free port; keeps every accepted message.
//   SmtpClientEnvironment what BSendMail reads: a private HOME (for ~/.netrc), no session bus (so
//                         no key ring), the CA file to trust and the time-outs (BSetOption);
//                         restored when it goes out of scope.
//   MailHeader, DecodedSubject, DecodedBody, DecodeBase64, DecodeQuotedPrintable
//                         read a received message back (UTF-8 results).
//
// Option structs are meant for designated initialisers: SmtpServer({.starttls = true}).
//
// Typical use:
//   SmtpClientEnvironment client;                 // HOME without a .netrc
//   SmtpServer server;                            // plain SMTP, accepts everything
//   ASSERT_EQ(BSendMail(server.address().c_str(), "blog@example.jp", ...), 1);
//   std::vector<ReceivedMail> mails = server.messages();
#ifndef QUBOPOST_TESTS_SUPPORT_SMTP_FIXTURE_H
#define QUBOPOST_TESTS_SUPPORT_SMTP_FIXTURE_H

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qubopost::test {

// One message as the server received it.
struct ReceivedMail {
    std::string mailFrom{};             // envelope sender (MAIL FROM), without angle brackets
    std::vector<std::string> rcptTo{};  // envelope recipients (RCPT TO)
    std::string authUser{};             // login name when the client authenticated, else ""
    bool tls = false;                   // the message came over TLS (STARTTLS or implicit)
    std::string data{};                 // the message bytes as received (CR LF), dot-unstuffed
};

struct SmtpServerOptions {
    std::string host = "127.0.0.1";  // or "::1"
    bool starttls = false;           // offer STARTTLS, with a certificate for certificateNames
    bool implicitTls = false;        // TLS from the first byte, as on port 465
    // The certificate's subjectAltName (openssl syntax).
    std::string certificateNames = "IP:127.0.0.1,IP:::1,DNS:localhost";
    std::string user{};  // non-empty: offer AUTH PLAIN/LOGIN and accept user/password
    std::string password{};
    bool requireAuth = false;     // refuse MAIL FROM before a successful AUTH ("530 ...")
    bool authWithoutTls = false;  // accept AUTH on a connection without TLS
    // RCPT TO of these addresses is answered "550 5.1.1 <address>: Recipient address rejected".
    std::vector<std::string> rejectRecipients{};
    // Non-empty: the reply to the final dot, instead of accepting ("554 5.7.1 ...").
    std::string dataReply{};
};

class SmtpServer {
public:
    // Starts the server and waits until it listens. On failure the test fails (ADD_FAILURE)
    // and port() is 0.
    explicit SmtpServer(SmtpServerOptions options = {});
    ~SmtpServer();  // stops the server and removes its folder
    SmtpServer(const SmtpServer&) = delete;
    SmtpServer& operator=(const SmtpServer&) = delete;

    int port() const { return port_; }
    // BSendMail's server argument: "127.0.0.1:port" or "[::1]:port".
    std::string address() const;
    // PEM file of the server's self-signed certificate, to trust through BSetOption
    // ("tls-trust-file"); "" without TLS.
    const std::string& caFile() const { return caFile_; }
    // Every message accepted so far, oldest first. A message is stored before the server
    // answers the final dot, so it is here as soon as BSendMail has returned 1.
    std::vector<ReceivedMail> messages() const;
    // What the connections went through so far, oldest first, one "<connection> <event>" per
    // line: connect, DATA (the command arrived), accepted (stored, before the reply to the final
    // dot), QUIT (the command arrived), closed. Connections are numbered from 1.
    std::vector<std::string> events() const;

private:
    SmtpServerOptions options_;
    std::string folder_;
    std::string caFile_;
    pid_t pid_ = -1;
    int stdinPipe_ = -1;  // closing it also ends the server
    int port_ = 0;
};

// Sets what BSendMail reads and puts it back on destruction: HOME = a fresh empty folder (so no
// real ~/.netrc is used), NETRC and DBUS_SESSION_BUS_ADDRESS unset (so no key ring is used), the
// library's options "tls-trust-file", "connect-timeout-ms" and "idle-timeout-ms" at their
// defaults. Not for tests that change the environment from several threads at once.
class SmtpClientEnvironment {
public:
    enum class KeyRing { Hidden, Kept };
    // KeyRing::Kept leaves DBUS_SESSION_BUS_ADDRESS alone, for tests that run under their own
    // dbus-run-session with a throw-away key ring.
    explicit SmtpClientEnvironment(KeyRing keyRing = KeyRing::Hidden);
    ~SmtpClientEnvironment();
    SmtpClientEnvironment(const SmtpClientEnvironment&) = delete;
    SmtpClientEnvironment& operator=(const SmtpClientEnvironment&) = delete;

    const std::string& home() const { return home_; }
    // Writes $HOME/.netrc, e.g. "machine 127.0.0.1 login blogger password secret\n".
    void writeNetrc(std::string_view text) const;
    // Trusts this CA file (SmtpServer::caFile()) for the server certificate (BSetOption).
    void trustCaFile(const std::string& caFile) const;
    // Short time-outs (BSetOption), so that tests of stalled servers end quickly.
    void setTimeouts(long connectMs, long idleMs) const;

private:
    std::string home_;
    std::map<std::string, std::optional<std::string>> saved_;
};

// The value of the first header `name` (case-insensitive) in a message, continuation lines
// unfolded, without the leading blank; "" when absent.
std::string MailHeader(std::string_view message, std::string_view name);
// The Subject with RFC 2047 encoded words (B and Q, UTF-8) decoded.
std::string DecodedSubject(const ReceivedMail& mail);
// Every (first recipient, decoded subject) of what the server received, with how often it came.
std::map<std::pair<std::string, std::string>, int> MailsBySubject(const SmtpServer& server);
// The body with its Content-Transfer-Encoding (base64, quoted-printable, or none) undone.
std::string DecodedBody(const ReceivedMail& mail);
std::string DecodeBase64(std::string_view text);
// RFC 2045 quoted-printable: "=XX" is that byte, "=" before CR LF a soft line break.
std::string DecodeQuotedPrintable(std::string_view text);

}  // namespace qubopost::test

#endif  // QUBOPOST_TESTS_SUPPORT_SMTP_FIXTURE_H
