// What the tests of the login's way over the network share: the address off loopback that
// isolated.sh puts in the test's own network namespace, whether it is there, and an SMTP peer
// that offers AUTH without STARTTLS (the one a password must never reach in clear).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/raw_smtp_peer.h"

namespace qubopost::test {

inline constexpr const char* kOffLoopback = "192.0.2.25";

// Empty when 192.0.2.25 is an address of this network namespace, else why not.
inline std::string WhyNoPrivateNetwork(const char* wrapper = "isolated.sh") {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kOffLoopback, &address.sin_addr);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (bound) return {};
    if (const char* reason = std::getenv("QUBOPOST_TEST_NO_NETNS")) return reason;
    return std::string(kOffLoopback) + " is not an address here: run through " + wrapper +
           " (ctest does)";
}

inline RawSmtpScript AuthWithoutStartTls() {
    RawSmtpScript script;
    script.replies["EHLO"] = "250-peer.test\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME";
    script.replies["AUTH"] = "235 2.7.0 Authentication successful";
    return script;
}

// How many AUTH commands the peer saw.
inline int CountAuth(const std::vector<std::string>& commands) {
    int count = 0;
    for (const std::string& line : commands) {
        std::string verb = line.substr(0, 4);
        for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (verb == "AUTH") ++count;
    }
    return count;
}

}  // namespace qubopost::test
