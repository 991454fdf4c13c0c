#include "raw_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

int Listen(int* port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket");
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0) {
        close(fd);
        throw std::runtime_error("bind/listen");
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

// Waits up to 50 ms for the socket to be readable.
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 50) > 0;
}

}  // namespace

RawPeer::RawPeer(Script script) : m_script(std::move(script)) {
    m_listener = Listen(&m_port);
    m_acceptor = std::thread([this] {
        while (!m_stopping) {
            if (!Readable(m_listener)) continue;
            const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            m_connections.emplace_back([this, fd] {
                m_script(fd, m_stopping);
                shutdown(fd, SHUT_RDWR);
                close(fd);
            });
        }
    });
}

RawPeer::~RawPeer() {
    m_stopping = true;
    m_acceptor.join();
    for (auto& connection : m_connections) connection.join();
    close(m_listener);
}

bool RawPeer::SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::string RawPeer::ReadUntil(int fd, const std::string& text, const std::atomic<bool>& stopping) {
    std::string data;
    char buffer[4096];
    while (!stopping && data.find(text) == std::string::npos) {
        if (!Readable(fd)) continue;
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

void RawPeer::Stall(int fd, const std::atomic<bool>& stopping) {
    char buffer[4096];
    while (!stopping) {
        if (!Readable(fd)) continue;
        if (recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
}

int RawPeer::ClosedPort() {
    int port = 0;
    const int fd = Listen(&port);
    close(fd);
    return port;
}
