// A scripted SMTP server on 127.0.0.1 (or another local address) that records exactly what a
// client sends.
//
// For faults a real server will not produce on demand: a reply after the final dot, a reply
// of any shape, no reply at all. It serves one connection at a time on its own thread.
//
//   RawSmtpPeer::Script script;
//   script.afterData = "554 5.7.1 Message refused";
//   RawSmtpPeer peer(script);
//   BSendMail(peer.address().c_str(), ...);
//   peer.commands();   // {"EHLO ...", "MAIL FROM:<...>", "RCPT TO:<...>", "DATA", "QUIT"}
#ifndef QUBOPOST_TESTS_SUPPORT_RAW_SMTP_PEER_H
#define QUBOPOST_TESTS_SUPPORT_RAW_SMTP_PEER_H

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qubopost::test {

// What the peer answers. (Outside the class so that it can be a default argument.)
struct RawSmtpScript {
    // As a reply: send nothing from here on and keep the connection open (a stalled server).
    static constexpr const char* kStall = "<stall>";
    // As a reply: close the connection instead of answering.
    static constexpr const char* kDrop = "<drop>";

    // kDrop here closes each connection as soon as it is accepted.
    std::string greeting = "220 peer.test ESMTP";
    // Wait this long after accepting a connection before the greeting (a slow server: the
    // client is still connecting meanwhile).
    int greetingDelayMs = 0;
    // Replies by command verb in upper case ("EHLO", "MAIL", "RCPT", "DATA", "QUIT", ...),
    // replacing the defaults below. A multi-line reply has "\r\n" between its lines.
    // Defaults: EHLO "250-peer.test\r\n250 8BITMIME", HELO/RSET/NOOP "250 ...",
    // MAIL/RCPT "250 ... Ok", DATA "354 ...", QUIT "221 ...", anything else "502 ...".
    std::map<std::string, std::string> replies = {};
    // The reply to the final dot of DATA.
    std::string afterData = "250 2.0.0 Ok: queued";
    // After the 354 reply to DATA, read nothing for this long (a slow server: the client's
    // sending stalls once the socket buffers are full).
    int dataPauseMs = 0;
    // After the 354 reply, close the connection (leaving the rest unread) once at least this
    // many bytes of the message have arrived: a drop in the middle of the body. -1: never.
    long long dropAfterDataBytes = -1;
    // Close the connection when the final dot's line arrives, without taking it: finalDots()
    // does not count it, nothing answers it, and data() has everything before it.
    bool dropBeforeFinalDot = false;
    // SO_RCVBUF of the connections in bytes (0: the system's self-tuning buffer): with a small
    // one, a client cannot get more than about this much ahead of what the peer has read.
    int receiveBufferBytes = 0;
};

class RawSmtpPeer {
public:
    using Script = RawSmtpScript;
    static constexpr const char* kStall = RawSmtpScript::kStall;
    static constexpr const char* kDrop = RawSmtpScript::kDrop;

    // Listens on `host` (an IPv4 address of this machine), on a free port.
    explicit RawSmtpPeer(Script script = {}, std::string host = "127.0.0.1");
    ~RawSmtpPeer();  // closes any connection and stops the thread
    RawSmtpPeer(const RawSmtpPeer&) = delete;
    RawSmtpPeer& operator=(const RawSmtpPeer&) = delete;

    int port() const { return port_; }
    std::string address() const;  // "host:port", BSendMail's server argument

    // Each command line received outside DATA, in order, with its CR LF (or lone LF) removed.
    std::vector<std::string> commands() const;
    // The bytes received between the 354 reply and the final ".\r\n", exactly as sent
    // (dot-stuffing kept), of every DATA so far.
    std::string data() const;
    // Number of connections accepted so far.
    int connections() const;
    // Number of final dots (".\r\n" ending DATA) received so far.
    int finalDots() const;
    // Number of connections the client has closed (the peer read the end of the stream).
    int closedByClient() const;
    // True when the peer has handled every byte that has reached it and waits for more (or has
    // no connection): what a client wrote before this was seen is in commands(), data() and
    // finalDots().
    bool idle() const;
    // Bytes that have reached the current connection and wait unread (0 without one): during a
    // dataPauseMs, the part of the body that is on its way.
    int unread() const;

private:
    void Serve();
    void Converse(int client);
    bool Send(int client, std::string_view reply);
    std::string ReplyTo(std::string_view line) const;

    Script script_;
    std::string host_;
    int finalDots_ = 0;
    int closedByClient_ = 0;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::string data_;
    int connections_ = 0;
    int current_ = -1;       // the connection being served, or -1
    bool handling_ = false;  // between waking up for input and waiting again
    std::thread thread_;
};

}  // namespace qubopost::test

#endif  // QUBOPOST_TESTS_SUPPORT_RAW_SMTP_PEER_H
