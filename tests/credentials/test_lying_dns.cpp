// "This machine" is where the connection really goes, not what the server's name looks like.
//
// Runs through isolated_resolver.sh: in a network namespace of its own (192.0.2.25 on its
// loopback) and a mount namespace where /etc/resolv.conf names 127.0.0.1 only, where the test
// runs a DNS server that says what the test wants: by default that every name is 192.0.2.25,
// "localhost." included (glibc looks a name with its final dot up in the DNS, not in
// /etc/hosts). /etc/hosts stays the system's, so plain "localhost" comes from it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "mail/bsmtp.h"
#include "mail/resolve.h"
#include "private_network.h"
#include "support/raw_smtp_peer.h"
#include "support/smtp_fixture.h"

namespace qubopost::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// ---- A DNS server of the test's own ------------------------------------------------------

// What the DNS server says about one name (lower case, without the final dot).
struct DnsAnswer {
    std::string ipv4 = kOffLoopback;  // the A record; "" for none
    std::string ipv6 = {};            // the AAAA record; "" for none
    bool nxdomain = false;            // "no such name" to every question
    bool silent = false;              // no answer at all
};

// A DNS server on 127.0.0.1 port 53 (UDP) answering from a table, DnsAnswer{} for a name not in
// it, and keeping the names asked about.
class DnsServer {
public:
    explicit DnsServer(std::map<std::string, DnsAnswer> table) : table_(std::move(table)) {
        socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(53);
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        if (socket_ < 0 ||
            bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            pipe2(wake_, O_CLOEXEC) != 0) {
            error_ = std::strerror(errno);
            return;
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~DnsServer() {
        if (wake_[1] >= 0) {
            const char stop = 'x';
            [[maybe_unused]] const ssize_t ignored = write(wake_[1], &stop, 1);
        }
        if (thread_.joinable()) thread_.join();
        for (int fd : {socket_, wake_[0], wake_[1]})
            if (fd >= 0) close(fd);
    }
    DnsServer(const DnsServer&) = delete;
    DnsServer& operator=(const DnsServer&) = delete;

    // Empty when the server listens, else why not.
    const std::string& error() const { return error_; }

    bool WasAsked(const std::string& name) const {
        std::lock_guard lock(mutex_);
        return asked_.contains(Lower(name));
    }
    // Waits until `name` has been asked about; false after `limit`.
    bool WaitForQuestion(const std::string& name, std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return askedChanged_.wait_for(lock, limit, [&] { return asked_.contains(Lower(name)); });
    }
    int questions() const {
        std::lock_guard lock(mutex_);
        return questions_;
    }

private:
    void Serve() {
        for (;;) {
            pollfd fds[2] = {{socket_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            unsigned char query[512];
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = recvfrom(socket_, query, sizeof query, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n <= 0) continue;
            const std::string reply = Answer(query, static_cast<size_t>(n));
            if (!reply.empty())
                sendto(socket_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                       fromLength);
        }
    }

    // The reply to one query (RFC 1035 4.1), "" for none.
    std::string Answer(const unsigned char* query, size_t size) {
        if (size < 12 || query[4] != 0 || query[5] != 1) return {};
        size_t at = 12;
        std::string name;
        while (at < size && query[at] != 0) {
            const size_t length = query[at];
            if (length > 63 || at + 1 + length > size) return {};
            if (!name.empty()) name += '.';
            name.append(reinterpret_cast<const char*>(query + at + 1), length);
            at += 1 + length;
        }
        if (at + 5 > size) return {};
        at += 1;  // the root label
        const int type = query[at] << 8 | query[at + 1];
        const size_t questionEnd = at + 4;
        name = Lower(name);
        {
            std::lock_guard lock(mutex_);
            asked_.insert(name);
            ++questions_;
        }
        askedChanged_.notify_all();

        const auto found = table_.find(name);
        const DnsAnswer answer = found == table_.end() ? DnsAnswer{} : found->second;
        if (answer.silent) return {};
        std::string record;
        constexpr int kTypeA = 1, kTypeAaaa = 28;
        if (type == kTypeA && !answer.ipv4.empty()) {
            in_addr v4{};
            inet_pton(AF_INET, answer.ipv4.c_str(), &v4);
            record.assign(reinterpret_cast<const char*>(&v4), 4);
        } else if (type == kTypeAaaa && !answer.ipv6.empty()) {
            in6_addr v6{};
            inet_pton(AF_INET6, answer.ipv6.c_str(), &v6);
            record.assign(reinterpret_cast<const char*>(&v6), 16);
        }
        std::string reply(reinterpret_cast<const char*>(query), questionEnd);
        reply[2] = static_cast<char>(0x80 | (query[2] & 0x79));  // QR, the opcode and RD kept
        reply[3] = static_cast<char>(0x80 | (answer.nxdomain ? 3 : 0));  // RA, RCODE
        reply[6] = 0;
        reply[7] = record.empty() || answer.nxdomain ? 0 : 1;  // ANCOUNT
        for (int i = 8; i < 12; ++i) reply[i] = 0;             // NSCOUNT, ARCOUNT
        if (reply[7] == 1) {
            const unsigned char head[] = {0xC0,
                                          0x0C,  // the name of the question
                                          static_cast<unsigned char>(type >> 8),
                                          static_cast<unsigned char>(type),
                                          0,
                                          1,  // class IN
                                          0,
                                          0,
                                          0,
                                          60,  // TTL
                                          0,
                                          static_cast<unsigned char>(record.size())};
            reply.append(reinterpret_cast<const char*>(head), sizeof head);
            reply += record;
        }
        return reply;
    }

    const std::map<std::string, DnsAnswer> table_;
    int socket_ = -1;
    int wake_[2] = {-1, -1};
    std::string error_;
    mutable std::mutex mutex_;
    std::condition_variable askedChanged_;
    std::set<std::string> asked_;
    int questions_ = 0;
    std::thread thread_;
};

// ---- What the namespaces must give ---------------------------------------------------------

std::string WhyNoPrivateResolver() {
    if (const char* reason = std::getenv("QUBOPOST_TEST_NO_RESOLVER")) return reason;
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kOffLoopback, &address.sin_addr);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (!bound) {
        if (const char* reason = std::getenv("QUBOPOST_TEST_NO_NETNS")) return reason;
        return std::string(kOffLoopback) +
               " is not an address here: run through isolated_resolver.sh (ctest does)";
    }
    // Not one question may go to a real DNS server.
    std::ifstream file("/etc/resolv.conf");
    std::string line;
    std::vector<std::string> servers;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string keyword, value;
        if (words >> keyword >> value && keyword == "nameserver") servers.push_back(value);
    }
    if (servers != std::vector<std::string>{"127.0.0.1"})
        return "/etc/resolv.conf does not name 127.0.0.1 alone: run through isolated_resolver.sh";
    return {};
}

// The addresses /etc/hosts gives `name` (its own reading of the file, not the library's).
std::set<std::string> HostsFileAddresses(const std::string& name) {
    std::set<std::string> addresses;
    std::ifstream file("/etc/hosts");
    std::string line;
    while (std::getline(file, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string address, alias;
        if (!(words >> address)) continue;
        while (words >> alias)
            if (Lower(alias) == Lower(name)) addresses.insert(address);
    }
    return addresses;
}

// The IPv4 addresses the system's resolver gives `name`: what the test's premise rests on.
std::set<std::string> SystemIpv4Addresses(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    std::set<std::string> addresses;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) return addresses;
    for (addrinfo* at = list; at; at = at->ai_next) {
        char text[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(at->ai_addr)->sin_addr, text,
                  sizeof text);
        addresses.insert(text);
    }
    freeaddrinfo(list);
    return addresses;
}

std::string At(const std::string& host, int port) { return host + ":" + std::to_string(port); }

int Send(const std::string& server, char* error, const int* stop = nullptr) {
    return BSendMailEx(server.c_str(), "post@blog.example.jp", "writer@example.jp", "s", "b", "",
                       error, stop);
}

class LyingDns : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = WhyNoPrivateResolver(); !why.empty()) GTEST_SKIP() << why;
        // Only inside the namespaces: port 53 of the real machine is none of the test's business.
        server.emplace(std::map<std::string, DnsAnswer>{
            {"loop.test", {.ipv4 = "127.0.0.1"}},
            {"both-loop.test", {.ipv4 = "127.0.0.1", .ipv6 = "::1"}},
            // 2001:db8::/32 is for documentation; no route leads there in the namespace.
            {"mixed.test", {.ipv4 = "127.0.0.1", .ipv6 = "2001:db8::25"}},
            {"nowhere.test", {.nxdomain = true}},
            {"silent.test", {.silent = true}},
        });
        ASSERT_EQ(dns().error(), "") << "cannot listen on 127.0.0.1:53";
        client.writeNetrc("default login blogger password secret-pass\n");
    }
    DnsServer& dns() { return *server; }

    std::optional<DnsServer> server;
    SmtpClientEnvironment client;
};

// ---- The library as a whole ----------------------------------------------------------------

TEST_F(LyingDns, NamesTheDnsPutsOffThisMachineGetNoLoginInClear) {
    const char* const names[] = {"localhost.", "LocalHost.", "localhost.localdomain",
                                 "mail.localhost", "smtp.example.jp"};
    for (const char* name : names) {
        if (SystemIpv4Addresses(name) != std::set<std::string>{kOffLoopback})
            GTEST_SKIP() << "the name service here does not take " << name
                         << " from the DNS (see hosts in /etc/nsswitch.conf)";
    }
    for (const char* name : names) {
        SCOPED_TRACE(name);
        RawSmtpPeer peer(AuthWithoutStartTls(), kOffLoopback);
        char error[80] = "";
        EXPECT_EQ(Send(At(name, peer.port()), error), BSMTP_FAILED);
        EXPECT_TRUE(std::string(error).starts_with("TLS is required")) << error;
        EXPECT_EQ(peer.connections(), 1) << "the connection went elsewhere than the DNS said";
        EXPECT_EQ(CountAuth(peer.commands()), 0);
        EXPECT_EQ(peer.finalDots(), 0);
        EXPECT_EQ(peer.data().find("secret-pass"), std::string::npos);

        RawSmtpPeer tested(AuthWithoutStartTls(), kOffLoopback);
        EXPECT_EQ(BTestLogin(At(name, tested.port()).c_str(), "blogger", "secret-pass", error),
                  BSMTP_FAILED);
        EXPECT_TRUE(std::string(error).starts_with("TLS is required")) << error;
        EXPECT_EQ(CountAuth(tested.commands()), 0);
    }
}

TEST_F(LyingDns, ANameWithOneAddressElsewhereIsNotThisMachine) {
    // The server is on 127.0.0.1, but the name also leads to 2001:db8::25.
    RawSmtpPeer peer(AuthWithoutStartTls());
    char error[80] = "";
    EXPECT_EQ(Send(At("mixed.test", peer.port()), error), BSMTP_FAILED);
    EXPECT_TRUE(std::string(error).starts_with("TLS is required")) << error;
    EXPECT_EQ(CountAuth(peer.commands()), 0);
}

TEST_F(LyingDns, NamesThatLeadOnlyToThisMachineAreThisMachine) {
    const char* const names[] = {"loop.test", "both-loop.test", "localhost", "LocalHost"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        RawSmtpPeer peer(AuthWithoutStartTls());
        char error[80] = "";
        EXPECT_EQ(Send(At(name, peer.port()), error), BSMTP_SENT) << error;
        EXPECT_EQ(CountAuth(peer.commands()), 1);
        EXPECT_EQ(peer.finalDots(), 1);

        RawSmtpPeer tested(AuthWithoutStartTls());
        EXPECT_EQ(BTestLogin(At(name, tested.port()).c_str(), "blogger", "secret-pass", error), 1)
            << error;
    }
    // Plain "localhost" came from /etc/hosts, as before.
    EXPECT_FALSE(dns().WasAsked("localhost"));
}

TEST_F(LyingDns, AnUnknownHostKeepsItsErrorText) {
    char error[80] = "";
    EXPECT_EQ(Send("nowhere.test:25", error), BSMTP_FAILED);
    EXPECT_STREQ(error, "unknown server host: nowhere.test");
    EXPECT_EQ(BTestLogin("nowhere.test:25", "blogger", "secret-pass", error), BSMTP_FAILED);
    EXPECT_STREQ(error, "unknown server host: nowhere.test");
}

TEST_F(LyingDns, ASilentDnsServerEndsAtTheConnectTimeOut) {
    client.setTimeouts(300, 1000);
    char error[80] = "";
    EXPECT_EQ(Send("silent.test:25", error), BSMTP_FAILED);
    EXPECT_STREQ(error, "time-out: cannot connect to silent.test:25");
    EXPECT_EQ(BTestLogin("silent.test:587", "blogger", "secret-pass", error), BSMTP_FAILED);
    EXPECT_STREQ(error, "time-out: cannot connect to silent.test:587");
}

TEST_F(LyingDns, TheStopFlagEndsTheWaitForTheDnsServer) {
    int stop = 0;
    std::thread stopper([&] {
        // Stop once the question is out, whether or not it came (the send then fails anyway).
        dns().WaitForQuestion("silent.test", 20s);
        __atomic_store_n(&stop, 1, __ATOMIC_RELEASE);
    });
    char error[80] = "";
    const int result = Send("silent.test:25", error, &stop);
    stopper.join();
    EXPECT_TRUE(dns().WasAsked("silent.test"));
    EXPECT_EQ(result, BSMTP_STOPPED) << error;
}

// ---- The resolving helper on its own ---------------------------------------------------------

std::set<std::string> AsSet(const std::vector<std::string>& addresses) {
    return {addresses.begin(), addresses.end()};
}

TEST_F(LyingDns, ResolvingGivesEveryAddressAndSaysWhetherAllAreThisMachine) {
    struct Case {
        std::string host;
        std::set<std::string> addresses;
        bool loopback;
    };
    const std::set<std::string> localhost = HostsFileAddresses("localhost");
    ASSERT_FALSE(localhost.empty()) << "/etc/hosts names no localhost";
    const Case cases[] = {
        {"loop.test", {"127.0.0.1"}, true},
        {"both-loop.test", {"127.0.0.1", "::1"}, true},
        {"mixed.test", {"127.0.0.1", "2001:db8::25"}, false},
        {"localhost.", {kOffLoopback}, false},
        {"smtp.example.jp", {kOffLoopback}, false},
        {"localhost", localhost, true},
    };
    const auto far = Clock::now() + 20s;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        const mail::ResolveOutcome found = mail::ResolveHost(c.host, 587, far, nullptr);
        ASSERT_EQ(found.status, mail::ResolveStatus::Resolved);
        EXPECT_EQ(AsSet(found.addresses), c.addresses);
        EXPECT_EQ(found.addresses.size(), c.addresses.size()) << "an address given twice";
        EXPECT_EQ(found.loopback, c.loopback);
        EXPECT_FALSE(found.literal);
    }
}

TEST_F(LyingDns, AddressesAreTakenAsTheyAreWithoutAQuestion) {
    struct Case {
        const char* host;
        const char* address;  // as inet_ntop writes it
        bool loopback;
    };
    const Case cases[] = {
        {"127.0.0.1", "127.0.0.1", true},
        {"127.9.8.7", "127.9.8.7", true},
        {"::1", "::1", true},
        {"0:0:0:0:0:0:0:1", "::1", true},
        {"::ffff:127.0.0.1", "::ffff:127.0.0.1", true},
        {"192.0.2.25", "192.0.2.25", false},
        {"2001:db8::25", "2001:db8::25", false},
    };
    const int before = dns().questions();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        const mail::ResolveOutcome found =
            mail::ResolveHost(c.host, 25, Clock::now() + 20s, nullptr);
        ASSERT_EQ(found.status, mail::ResolveStatus::Resolved);
        EXPECT_EQ(found.addresses, std::vector<std::string>{c.address});
        EXPECT_EQ(found.loopback, c.loopback);
        EXPECT_TRUE(found.literal);
    }
    EXPECT_EQ(dns().questions(), before);
}

TEST_F(LyingDns, ResolvingGivesUpOnUnknownNamesTheDeadlineAndTheStopFlag) {
    EXPECT_EQ(mail::ResolveHost("nowhere.test", 25, Clock::now() + 20s, nullptr).status,
              mail::ResolveStatus::UnknownHost);
    EXPECT_EQ(mail::ResolveHost("silent.test", 25, Clock::now() + 200ms, nullptr).status,
              mail::ResolveStatus::TimedOut);
    EXPECT_EQ(mail::ResolveHost("silent.test", 25, Clock::now(), nullptr).status,
              mail::ResolveStatus::TimedOut);
    const int stopped = 1;
    EXPECT_EQ(mail::ResolveHost("silent.test", 25, Clock::now() + 20s, &stopped).status,
              mail::ResolveStatus::Stopped);
}

// ---- Pure functions (no DNS needed, but kept with the helper's other tests) ----------------

TEST(ResolveHelper, OnlyTheLoopbackRangesAreThisMachine) {
    // 127.0.0.0/8 and ::1, and 127/8 written as an IPv4-mapped IPv6 address; nothing else.
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},
        {"127.0.0.0", true},
        {"127.255.255.255", true},
        {"126.255.255.255", false},
        {"128.0.0.1", false},
        {"0.0.0.0", false},
        {"10.0.0.1", false},
        {"192.0.2.25", false},
        {"::1", true},
        {"0:0:0:0:0:0:0:1", true},
        {"::ffff:127.0.0.1", true},
        {"::ffff:7f00:1", true},
        {"::ffff:127.1.2.3", true},
        {"::ffff:192.0.2.25", false},
        {"::127.0.0.1", false},
        {"::", false},
        {"::2", false},
        {"fe80::1", false},
        {"2001:db8::25", false},
        {"localhost", false},
        {"localhost.", false},
        {"", false},
        {"127.0.0.1.example.jp", false},
        {"127.1", false},
    };
    for (const auto& [address, loopback] : cases)
        EXPECT_EQ(mail::IsLoopbackAddress(address), loopback) << address;
}

TEST(ResolveHelper, TheLibcurlEntryNamesEveryAddressIPv6InBrackets) {
    // CURLOPT_RESOLVE: HOST:PORT:ADDRESS[,ADDRESS]..., an IPv6 address within brackets.
    EXPECT_EQ(mail::CurlResolveEntry("localhost.", 2525, {"192.0.2.25", "2001:db8::25"}),
              "localhost.:2525:192.0.2.25,[2001:db8::25]");
    EXPECT_EQ(mail::CurlResolveEntry("smtp.example.jp", 587, {"::1"}), "smtp.example.jp:587:[::1]");
}

TEST(ResolveHelper, AConnectionIsCheckedAgainstTheResolvedAddresses) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(25);
    inet_pton(AF_INET, "127.0.0.1", &v4.sin_addr);
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(25);
    inet_pton(AF_INET6, "::1", &v6.sin6_addr);
    const auto* four = reinterpret_cast<const sockaddr*>(&v4);
    const auto* six = reinterpret_cast<const sockaddr*>(&v6);

    EXPECT_TRUE(mail::IsOneOfAddresses(four, sizeof v4, {"192.0.2.25", "127.0.0.1"}));
    EXPECT_FALSE(mail::IsOneOfAddresses(four, sizeof v4, {"192.0.2.25"}));
    EXPECT_FALSE(mail::IsOneOfAddresses(four, sizeof v4, {"::ffff:127.0.0.1"}));
    EXPECT_FALSE(mail::IsOneOfAddresses(four, sizeof v4, {}));
    EXPECT_TRUE(mail::IsOneOfAddresses(six, sizeof v6, {"127.0.0.1", "::1"}));
    EXPECT_FALSE(mail::IsOneOfAddresses(six, sizeof v6, {"127.0.0.1"}));
    EXPECT_FALSE(mail::IsOneOfAddresses(six, sizeof v4, {"::1"})) << "a cut-off address";
}

}  // namespace
}  // namespace qubopost::test
