// No password in plain text to a blog that is not this machine.
//
// Runs through tests/credentials/isolated.sh: in a network namespace of its own, where 192.0.2.25
// is an address of the loopback interface, so the library sees a server that is not loopback
// while every byte stays inside the namespace. A listener on 192.0.2.25 shows whether any
// connection was even attempted.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "blogapi/blogapi.h"

namespace qubopost::blogapi {
namespace {

constexpr const char* kOffLoopback = "192.0.2.25";

// A listening socket on 192.0.2.25; nothing is ever accepted, connections only counted.
class Listener {
public:
    Listener() {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, kOffLoopback, &address.sin_addr);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_fd, 8) != 0) {
            close(m_fd);
            m_fd = -1;
            return;
        }
        socklen_t length = sizeof address;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~Listener() {
        if (m_fd >= 0) close(m_fd);
    }
    bool Ready() const { return m_fd >= 0; }
    int Port() const { return m_port; }
    // Whether a connection waits to be accepted (the kernel completes the handshake itself).
    bool Connected() const {
        pollfd p{m_fd, POLLIN, 0};
        return poll(&p, 1, 0) == 1;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

TEST(BlogApiPlainText, NoConnectionToAnotherMachineOverPlainHttp) {
    Listener listener;
    if (!listener.Ready()) {
        const char* why = std::getenv("QUBOPOST_TEST_NO_NETNS");
        GTEST_SKIP()
            << (why ? why
                    : "192.0.2.25 is not an address here: run through isolated.sh (ctest does)");
    }
    const std::string url = "http://192.0.2.25:" + std::to_string(listener.Port()) + "/";
    struct Case {
        const char* what;
        ApiKind kind;
        bool forced;
    };
    const Case cases[] = {
        {"discovery", ApiKind::WordPressRest, false},
        {"WordPress REST", ApiKind::WordPressRest, true},
        {"XML-RPC", ApiKind::XmlRpc, true},
        {"AtomPub", ApiKind::AtomPub, true},
    };
    Options options;
    options.connectTimeout = std::chrono::seconds(5);
    options.idleTimeout = std::chrono::seconds(5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Made by hand: ParseDestination already refuses such a line (test_blogapi_text).
        const Destination d{c.kind, c.forced, url, "taro", kOffLoopback, listener.Port()};
        const PostResult result = Post(d, "secret-pass", {"題", "<p>本文</p>", false}, options);
        EXPECT_EQ(result.outcome, PostResult::Outcome::Failed);
        EXPECT_NE(result.detail.find("TLS"), std::string::npos) << result.detail;
        EXPECT_FALSE(listener.Connected());
        // An endpoint known already goes through the same rule.
        const PostResult direct =
            PostTo({c.kind, url, ""}, d, "secret-pass", {"題", "<p>本文</p>", false}, options);
        EXPECT_EQ(direct.outcome, PostResult::Outcome::Failed);
        EXPECT_NE(direct.detail.find("TLS"), std::string::npos) << direct.detail;
        EXPECT_FALSE(listener.Connected());
    }

    // The listener does see a connection when one is made: https to the same address (the TLS
    // handshake then finds no server and the post fails, with nothing sent).
    options.idleTimeout = std::chrono::seconds(1);
    const std::string tls = "https://192.0.2.25:" + std::to_string(listener.Port()) + "/";
    const Destination d{ApiKind::WordPressRest, true, tls, "taro", kOffLoopback, listener.Port()};
    const PostResult result =
        PostTo({ApiKind::WordPressRest, tls, ""}, d, "secret-pass", {"題", "", false}, options);
    EXPECT_EQ(result.outcome, PostResult::Outcome::Failed) << result.detail;
    EXPECT_TRUE(listener.Connected());
}

}  // namespace
}  // namespace qubopost::blogapi
