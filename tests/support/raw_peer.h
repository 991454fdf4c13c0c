// A TCP peer on 127.0.0.1 that hands every accepted connection to a script, for
// the misbehaving servers a real server library would not play: stalls, broken
// framing, dropped connections.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class RawPeer {
public:
    // The script gets the connected socket and the peer's stop flag; the peer closes
    // the socket when the script returns.
    using Script = std::function<void(int fd, const std::atomic<bool>& stopping)>;
    explicit RawPeer(Script script);
    ~RawPeer();
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    int Port() const { return m_port; }

    // Helpers for scripts.
    static bool SendAll(int fd, const std::string& bytes);
    // Reads until the text appears (or the peer stops / the other side closes); returns what was
    // read.
    static std::string ReadUntil(int fd, const std::string& text,
                                 const std::atomic<bool>& stopping);
    // Waits until stopping is set or the other side closes.
    static void Stall(int fd, const std::atomic<bool>& stopping);

    // A port on 127.0.0.1 where nothing listens.
    static int ClosedPort();

private:
    Script m_script;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_connections;
};
