#include "support/raw_smtp_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace qubopost::test {
namespace {

const std::map<std::string, std::string>& DefaultReplies() {
    static const std::map<std::string, std::string> replies = {
        {"EHLO", "250-peer.test\r\n250 8BITMIME"},
        {"HELO", "250 peer.test"},
        {"MAIL", "250 2.1.0 Ok"},
        {"RCPT", "250 2.1.5 Ok"},
        {"DATA", "354 End data with <CR><LF>.<CR><LF>"},
        {"RSET", "250 2.0.0 Ok"},
        {"NOOP", "250 2.0.0 Ok"},
        {"QUIT", "221 2.0.0 Bye"},
    };
    return replies;
}

std::string Verb(std::string_view line) {
    std::string verb(line.substr(0, line.find(' ')));
    for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return verb;
}

}  // namespace

RawSmtpPeer::RawSmtpPeer(Script script, std::string host)
    : script_(std::move(script)), host_(std::move(host)) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (inet_pton(AF_INET, host_.c_str(), &address.sin_addr) != 1) {
        ADD_FAILURE() << "raw SMTP peer: not an IPv4 address: " << host_;
        return;
    }
    socklen_t length = sizeof address;
    // Accepted connections take their receive buffer from the listener.
    if (listener_ >= 0 && script_.receiveBufferBytes > 0 &&
        setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &script_.receiveBufferBytes,
                   sizeof script_.receiveBufferBytes) != 0) {
        ADD_FAILURE() << "raw SMTP peer: cannot set the receive buffer: " << std::strerror(errno);
        return;
    }
    if (listener_ < 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        pipe2(wake_, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "raw SMTP peer: cannot listen: " << std::strerror(errno);
        return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

RawSmtpPeer::~RawSmtpPeer() {
    if (wake_[1] >= 0) {
        const char stop = 'x';
        [[maybe_unused]] const ssize_t ignored = write(wake_[1], &stop, 1);
    }
    if (thread_.joinable()) thread_.join();
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0) close(fd);
}

std::string RawSmtpPeer::address() const { return host_ + ":" + std::to_string(port_); }

std::vector<std::string> RawSmtpPeer::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::string RawSmtpPeer::data() const {
    std::lock_guard lock(mutex_);
    return data_;
}

int RawSmtpPeer::connections() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

int RawSmtpPeer::closedByClient() const {
    std::lock_guard lock(mutex_);
    return closedByClient_;
}

int RawSmtpPeer::finalDots() const {
    std::lock_guard lock(mutex_);
    return finalDots_;
}

bool RawSmtpPeer::idle() const {
    std::lock_guard lock(mutex_);
    if (handling_) return false;
    if (current_ < 0) return true;
    // Waiting (or about to wait) in poll: idle unless bytes are already queued for it.
    int unread = 0;
    if (ioctl(current_, FIONREAD, &unread) != 0) return false;
    return unread == 0;
}

int RawSmtpPeer::unread() const {
    std::lock_guard lock(mutex_);
    int unread = 0;
    if (current_ < 0 || ioctl(current_, FIONREAD, &unread) != 0) return 0;
    return unread;
}

void RawSmtpPeer::Serve() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        {
            std::lock_guard lock(mutex_);
            ++connections_;
            current_ = client;
        }
        Converse(client);
        {
            std::lock_guard lock(mutex_);
            current_ = -1;
            handling_ = false;
        }
        close(client);
    }
}

// Sends the reply with CR LF; false when the script says to stall instead.
bool RawSmtpPeer::Send(int client, std::string_view reply) {
    if (reply == kStall) return false;
    std::string bytes = std::string(reply) + "\r\n";
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return true;  // the client has gone; reading will notice
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string RawSmtpPeer::ReplyTo(std::string_view line) const {
    const std::string verb = Verb(line);
    if (auto it = script_.replies.find(verb); it != script_.replies.end()) return it->second;
    if (auto it = DefaultReplies().find(verb); it != DefaultReplies().end()) return it->second;
    return "502 5.5.2 Command not recognised";
}

void RawSmtpPeer::Converse(int client) {
    if (script_.greeting == kDrop) return;
    if (script_.greetingDelayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(script_.greetingDelayMs));
    bool stalled = !Send(client, script_.greeting);
    bool inData = false;
    long long dataBytes = 0;  // of the message under way
    std::string buffer;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            handling_ = false;
        }
        pollfd fds[2] = {{client, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        {
            std::lock_guard lock(mutex_);
            handling_ = true;
        }
        if (ready < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        char chunk[4096];
        const ssize_t n = recv(client, chunk, sizeof chunk, 0);
        if (n <= 0) {
            std::lock_guard lock(mutex_);
            ++closedByClient_;
            return;
        }
        buffer.append(chunk, static_cast<size_t>(n));

        // Whole lines only; a stalled peer still records what it is sent.
        for (size_t end; (end = buffer.find('\n')) != std::string::npos;) {
            std::string line = buffer.substr(0, end + 1);
            buffer.erase(0, end + 1);
            if (inData) {
                if (line == ".\r\n") {
                    if (script_.dropBeforeFinalDot) return;
                    inData = false;
                    {
                        std::lock_guard lock(mutex_);
                        ++finalDots_;
                    }
                    if (script_.afterData == kDrop) return;
                    if (!stalled) stalled = !Send(client, script_.afterData);
                } else {
                    {
                        std::lock_guard lock(mutex_);
                        data_ += line;
                    }
                    dataBytes += static_cast<long long>(line.size());
                    if (script_.dropAfterDataBytes >= 0 && dataBytes >= script_.dropAfterDataBytes)
                        return;
                }
                continue;
            }
            line.pop_back();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            {
                std::lock_guard lock(mutex_);
                commands_.push_back(line);
            }
            if (stalled) continue;
            const std::string reply = ReplyTo(line);
            const std::string verb = Verb(line);
            if (reply == kDrop) return;
            stalled = !Send(client, reply);
            if (!stalled && verb == "DATA" && reply.starts_with("354")) {
                inData = true;
                dataBytes = 0;
                if (script_.dataPauseMs > 0) {
                    pollfd wake{wake_[0], POLLIN, 0};
                    if (poll(&wake, 1, script_.dataPauseMs) > 0) return;
                }
            }
            if (!stalled && verb == "QUIT") return;
        }
    }
}

}  // namespace qubopost::test
