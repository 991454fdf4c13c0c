// No proxy carries an SMTP session, whatever the environment names: a session to this machine
// that logs in without TLS would otherwise hand "AUTH PLAIN ..." to the proxy's machine.
//
// Runs through isolated.sh: in a network namespace of its own, where 192.0.2.25 is an address of
// the loopback interface. The "proxy" there is a listener that answers nothing and keeps every
// byte it gets; libcurl reads all_proxy and ALL_PROXY, and <scheme>_proxy in lower and upper
// case (smtp_proxy, SMTP_PROXY, smtps_proxy, SMTPS_PROXY).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "mail/bsmtp.h"
#include "private_network.h"
#include "support/raw_smtp_peer.h"
#include "support/smtp_fixture.h"

namespace qubopost::test {
namespace {

// Every variable libcurl may take a proxy from for smtp:// and smtps:// URLs, and the ones that
// exempt hosts from it (cleared so that they cannot hide a proxy in use).
const char* const kProxyVariables[] = {"all_proxy",   "ALL_PROXY",   "smtp_proxy", "SMTP_PROXY",
                                       "smtps_proxy", "SMTPS_PROXY", "no_proxy",   "NO_PROXY"};

// A TCP listener on 192.0.2.25 that accepts every connection, answers nothing and keeps every
// byte: what a proxy named in the environment would get.
class RecordingListener {
public:
    RecordingListener() {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, kOffLoopback, &address.sin_addr);
        socklen_t length = sizeof address;
        if (listener_ < 0 ||
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 8) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            pipe2(wake_, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "recording listener: " << std::strerror(errno);
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~RecordingListener() {
        if (wake_[1] >= 0) {
            const char stop = 'x';
            [[maybe_unused]] const ssize_t ignored = write(wake_[1], &stop, 1);
        }
        if (thread_.joinable()) thread_.join();
        for (int fd : {listener_, wake_[0], wake_[1]})
            if (fd >= 0) close(fd);
    }
    RecordingListener(const RecordingListener&) = delete;
    RecordingListener& operator=(const RecordingListener&) = delete;

    int port() const { return port_; }
    int connections() const {
        std::lock_guard lock(mutex_);
        return connections_;
    }
    std::string received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    void Serve() {
        std::vector<int> clients;
        for (;;) {
            std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
            for (int client : clients) fds.push_back({client, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[0].revents) break;
            if (fds[1].revents) {
                const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    clients.push_back(client);
                    std::lock_guard lock(mutex_);
                    ++connections_;
                }
            }
            for (size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                char chunk[4096];
                const ssize_t n = recv(fds[i].fd, chunk, sizeof chunk, 0);
                if (n > 0) {
                    std::lock_guard lock(mutex_);
                    received_.append(chunk, static_cast<size_t>(n));
                } else {
                    close(fds[i].fd);
                    std::erase(clients, fds[i].fd);
                }
            }
        }
        for (int client : clients) close(client);
    }

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    int connections_ = 0;
    std::string received_;
    std::thread thread_;
};

// Sets one environment variable for the scope; the fixture puts every proxy variable back.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() { unsetenv(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
};

class SmtpProxy : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = WhyNoPrivateNetwork(); !why.empty()) GTEST_SKIP() << why;
        for (const char* name : kProxyVariables) {
            const char* value = std::getenv(name);
            saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(name);
        }
        // A proxy in use answers nothing: without these, such a case would wait 30 seconds.
        client.setTimeouts(3000, 3000);
        client.writeNetrc(
            "machine 127.0.0.1 login blogger password secret-pass\n"
            "machine localhost login blogger password secret-pass\n");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

    // The proxy URLs of every kind libcurl takes from the environment, all naming `proxy`.
    static std::vector<std::string> ProxyUrls(const RecordingListener& proxy) {
        const std::string where = std::string(kOffLoopback) + ":" + std::to_string(proxy.port());
        return {"http://" + where, where, "socks5://" + where, "socks5h://" + where,
                "socks4://" + where};
    }

    SmtpClientEnvironment client{SmtpClientEnvironment::KeyRing::Kept};
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST_F(SmtpProxy, ASendWithALoginGoesStraightToTheServerOnThisMachine) {
    RecordingListener proxy;
    for (const char* variable : {"all_proxy", "ALL_PROXY", "smtp_proxy", "SMTP_PROXY"}) {
        for (const std::string& url : ProxyUrls(proxy)) {
            for (const char* host : {"127.0.0.1", "localhost"}) {
                SCOPED_TRACE(std::string(variable) + "=" + url + ", server " + host);
                const ScopedVariable named(variable, url);
                RawSmtpPeer peer(AuthWithoutStartTls());
                const std::string server = std::string(host) + ":" + std::to_string(peer.port());
                char error[80] = "";
                EXPECT_EQ(BSendMailEx(server.c_str(), "post@blog.example.jp", "writer@example.jp",
                                      "s", "b", "", error, nullptr),
                          BSMTP_SENT)
                    << error;
                // The login went, on this machine without TLS, to the server itself.
                EXPECT_EQ(peer.connections(), 1);
                EXPECT_EQ(CountAuth(peer.commands()), 1);
                EXPECT_EQ(peer.finalDots(), 1);
                EXPECT_EQ(proxy.connections(), 0);
                EXPECT_EQ(proxy.received(), "");
            }
        }
    }
}

TEST_F(SmtpProxy, ALoginTestGoesStraightToTheServerOnThisMachine) {
    RecordingListener proxy;
    for (const char* variable : {"all_proxy", "ALL_PROXY", "smtp_proxy", "SMTP_PROXY"}) {
        for (const std::string& url : ProxyUrls(proxy)) {
            for (const char* host : {"127.0.0.1", "localhost"}) {
                SCOPED_TRACE(std::string(variable) + "=" + url + ", server " + host);
                const ScopedVariable named(variable, url);
                RawSmtpPeer peer(AuthWithoutStartTls());
                const std::string server = std::string(host) + ":" + std::to_string(peer.port());
                char error[80] = "";
                EXPECT_EQ(BTestLogin(server.c_str(), "blogger", "secret-pass", error), 1) << error;
                EXPECT_EQ(CountAuth(peer.commands()), 1);
                EXPECT_EQ(proxy.connections(), 0);
                EXPECT_EQ(proxy.received(), "");
            }
        }
    }
}

TEST_F(SmtpProxy, TlsFromTheStartGoesStraightToTheServerToo) {
    // smtps:// URLs have variables of their own.
    SmtpServer server({.implicitTls = true, .user = "blogger", .password = "secret-pass"});
    ASSERT_NE(server.port(), 0);
    client.trustCaFile(server.caFile());
    RecordingListener proxy;
    size_t expectedMessages = 0;
    for (const char* variable : {"all_proxy", "ALL_PROXY", "smtps_proxy", "SMTPS_PROXY"}) {
        for (const std::string& url : ProxyUrls(proxy)) {
            SCOPED_TRACE(std::string(variable) + "=" + url);
            const ScopedVariable named(variable, url);
            const std::string address = "smtps://" + server.address();
            char error[80] = "";
            EXPECT_EQ(BSendMailEx(address.c_str(), "post@blog.example.jp", "writer@example.jp", "s",
                                  "b", "", error, nullptr),
                      BSMTP_SENT)
                << error;
            ++expectedMessages;
            const std::vector<ReceivedMail> mails = server.messages();
            ASSERT_EQ(mails.size(), expectedMessages);
            EXPECT_TRUE(mails.back().tls);
            EXPECT_EQ(mails.back().authUser, "blogger");
            EXPECT_EQ(proxy.connections(), 0);
            EXPECT_EQ(proxy.received(), "");
        }
    }
}

}  // namespace
}  // namespace qubopost::test
