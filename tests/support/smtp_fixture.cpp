#include "support/smtp_fixture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "mail/bsmtp.h"

extern char** environ;

namespace qubopost::test {
namespace {

namespace fs = std::filesystem;

#ifndef QUBOPOST_TEST_SUPPORT_DIR
#error "QUBOPOST_TEST_SUPPORT_DIR must name tests/support"
#endif

// Debian's interpreter, which has python3-aiosmtpd (another python3 on PATH may not).
std::string PythonPath() {
    const char* custom = std::getenv("QUBOPOST_TEST_PYTHON");
    return custom && *custom ? custom : "/usr/bin/python3";
}

std::string MakeTempFolder(const char* prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "XXXXXX";
    if (!mkdtemp(pattern.data())) {
        ADD_FAILURE() << "mkdtemp " << pattern << ": " << std::strerror(errno);
        return {};
    }
    return pattern;
}

// The environment for child processes, without the variables that would point /usr/bin/python3
// at another installation's modules.
std::vector<char*> ChildEnvironment() {
    std::vector<char*> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("PYTHONHOME=") || text.starts_with("PYTHONPATH=")) continue;
        env.push_back(*entry);
    }
    env.push_back(nullptr);
    return env;
}

// Runs a command to its end with stdout and stderr discarded; true when it exits with 0.
bool RunQuietly(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> env = ChildEnvironment();
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Reads "PORT <n>" from the server's stdout; 0 when it does not come within the time.
int ReadPort(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return 0;
        char buffer[64];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return 0;
        line.append(buffer, static_cast<size_t>(n));
    }
    if (!line.starts_with("PORT ")) return 0;
    return std::atoi(line.c_str() + 5);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ReceivedMail ParseSpoolFile(const std::string& text) {
    ReceivedMail mail;
    const size_t split = text.find("\n\n");
    std::istringstream head(text.substr(0, split));
    for (std::string line; std::getline(head, line);) {
        if (line.starts_with("from: ")) mail.mailFrom = line.substr(6);
        if (line.starts_with("rcpt: ")) mail.rcptTo.push_back(line.substr(6));
        if (line.starts_with("auth: ")) mail.authUser = line.substr(6);
        if (line.starts_with("tls: ")) mail.tls = line.substr(5) == "yes";
    }
    if (split != std::string::npos) mail.data = text.substr(split + 2);
    return mail;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Decodes "=?charset?B?text?=" or "=?charset?Q?text?=" starting at `pos`; on success sets
// `end` behind it.
std::optional<std::string> DecodeEncodedWord(std::string_view text, size_t pos, size_t* end) {
    if (text.substr(pos, 2) != "=?") return std::nullopt;
    const size_t q1 = text.find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?')
        return std::nullopt;
    const char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(text[q1 + 1])));
    const size_t close = text.find("?=", q1 + 3);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view payload = text.substr(q1 + 3, close - q1 - 3);
    std::string decoded;
    if (encoding == 'B') {
        decoded = DecodeBase64(payload);
    } else if (encoding == 'Q') {
        for (size_t i = 0; i < payload.size(); ++i) {
            if (payload[i] == '_') {
                decoded += ' ';
            } else if (payload[i] == '=' && i + 2 < payload.size() &&
                       HexValue(payload[i + 1]) >= 0 && HexValue(payload[i + 2]) >= 0) {
                decoded +=
                    static_cast<char>(HexValue(payload[i + 1]) * 16 + HexValue(payload[i + 2]));
                i += 2;
            } else {
                decoded += payload[i];
            }
        }
    } else {
        return std::nullopt;
    }
    *end = close + 2;
    return decoded;
}

}  // namespace

SmtpServer::SmtpServer(SmtpServerOptions options) : options_(std::move(options)) {
    folder_ = MakeTempFolder("qubopost-smtp-");
    if (folder_.empty()) return;
    const std::string spool = folder_ + "/spool";
    fs::create_directory(spool);

    std::vector<std::string> command = {PythonPath(), QUBOPOST_TEST_SUPPORT_DIR "/smtp_server.py",
                                        "--host",     options_.host,
                                        "--spool",    spool};
    if (options_.starttls || options_.implicitTls) {
        const std::string cert = folder_ + "/cert.pem", key = folder_ + "/key.pem";
        if (!RunQuietly({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                         "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                         "/CN=localhost", "-addext", "subjectAltName=" + options_.certificateNames,
                         "-keyout", key, "-out", cert})) {
            ADD_FAILURE() << "openssl could not make the test certificate";
            return;
        }
        caFile_ = cert;
        command.insert(command.end(), {"--cert", cert, "--key", key});
        if (options_.implicitTls) command.push_back("--implicit-tls");
    }
    if (!options_.user.empty())
        command.insert(command.end(), {"--user", options_.user, "--password", options_.password});
    if (options_.requireAuth) command.push_back("--require-auth");
    if (options_.authWithoutTls) command.push_back("--auth-without-tls");
    for (const std::string& address : options_.rejectRecipients)
        command.insert(command.end(), {"--reject-rcpt", address});
    if (!options_.dataReply.empty())
        command.insert(command.end(), {"--data-reply", options_.dataReply});

    int toChild[2], fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0) return;
    if (pipe2(fromChild, O_CLOEXEC) != 0) {
        close(toChild[0]);
        close(toChild[1]);
        return;
    }
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::vector<char*> env = ChildEnvironment();
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    stdinPipe_ = toChild[1];
    if (rc != 0) {
        pid_ = -1;
        close(fromChild[0]);
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(rc);
        return;
    }
    port_ = ReadPort(fromChild[0]);
    close(fromChild[0]);
    if (port_ == 0) ADD_FAILURE() << "the test SMTP server did not start (see its stderr)";
}

SmtpServer::~SmtpServer() {
    if (stdinPipe_ >= 0) close(stdinPipe_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

std::string SmtpServer::address() const {
    const bool ipv6 = options_.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + options_.host + "]" : options_.host) + ":" + std::to_string(port_);
}

std::vector<ReceivedMail> SmtpServer::messages() const {
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder_ + "/spool", error))
        if (entry.path().extension() == ".msg") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<ReceivedMail> mails;
    for (const fs::path& file : files) mails.push_back(ParseSpoolFile(ReadFile(file)));
    return mails;
}

std::vector<std::string> SmtpServer::events() const {
    std::vector<std::string> lines;
    std::istringstream text(ReadFile(folder_ + "/spool/events"));
    std::string line;
    // A line is written whole; one without its end is still being written.
    while (std::getline(text, line) && !text.eof()) lines.push_back(line);
    return lines;
}

namespace {

void ResetMailOptions() {
    for (const char* name : {"tls-trust-file", "connect-timeout-ms", "idle-timeout-ms"})
        EXPECT_EQ(BSetOption(name, ""), 1) << name;
}

}  // namespace

SmtpClientEnvironment::SmtpClientEnvironment(KeyRing keyRing) {
    std::vector<const char*> names = {"HOME", "NETRC"};
    if (keyRing == KeyRing::Hidden) names.push_back("DBUS_SESSION_BUS_ADDRESS");
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
        if (std::string_view(name) != "HOME") unsetenv(name);
    }
    home_ = MakeTempFolder("qubopost-home-");
    setenv("HOME", home_.c_str(), 1);
    ResetMailOptions();
}

SmtpClientEnvironment::~SmtpClientEnvironment() {
    ResetMailOptions();
    for (const auto& [name, value] : saved_) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    if (!home_.empty()) {
        std::error_code ignored;
        fs::remove_all(home_, ignored);
    }
}

void SmtpClientEnvironment::writeNetrc(std::string_view text) const {
    std::ofstream out(home_ + "/.netrc", std::ios::binary | std::ios::trunc);
    out << text;
    fs::permissions(home_ + "/.netrc", fs::perms::owner_read | fs::perms::owner_write);
}

void SmtpClientEnvironment::trustCaFile(const std::string& caFile) const {
    EXPECT_EQ(BSetOption("tls-trust-file", caFile.c_str()), 1) << caFile;
}

void SmtpClientEnvironment::setTimeouts(long connectMs, long idleMs) const {
    EXPECT_EQ(BSetOption("connect-timeout-ms", std::to_string(connectMs).c_str()), 1);
    EXPECT_EQ(BSetOption("idle-timeout-ms", std::to_string(idleMs).c_str()), 1);
}

std::string MailHeader(std::string_view message, std::string_view name) {
    const size_t headEnd = message.find("\r\n\r\n");
    const std::string_view head =
        message.substr(0, headEnd == std::string_view::npos ? message.size() : headEnd + 2);
    size_t pos = 0;
    while (pos < head.size()) {
        size_t lineEnd = head.find("\r\n", pos);
        if (lineEnd == std::string_view::npos) lineEnd = head.size();
        const std::string_view line = head.substr(pos, lineEnd - pos);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && EqualsIgnoringCase(line.substr(0, colon), name)) {
            std::string value(line.substr(colon + 1));
            // Continuation lines begin with a blank; unfolding removes the CR LF before them.
            size_t next = lineEnd + 2;
            while (next < head.size() && (head[next] == ' ' || head[next] == '\t')) {
                size_t end = head.find("\r\n", next);
                if (end == std::string_view::npos) end = head.size();
                value += head.substr(next, end - next);
                next = end + 2;
            }
            if (!value.empty() && value.front() == ' ') value.erase(0, 1);
            return value;
        }
        pos = lineEnd + 2;
    }
    return {};
}

std::string DecodedSubject(const ReceivedMail& mail) {
    const std::string raw = MailHeader(mail.data, "Subject");
    std::string out;
    std::string pendingBlanks;
    bool lastWasEncoded = false;
    size_t i = 0;
    while (i < raw.size()) {
        size_t end = 0;
        if (std::optional<std::string> word = DecodeEncodedWord(raw, i, &end)) {
            // Blanks between two encoded words are not part of the text.
            if (!lastWasEncoded) out += pendingBlanks;
            pendingBlanks.clear();
            out += *word;
            lastWasEncoded = true;
            i = end;
        } else if (raw[i] == ' ' || raw[i] == '\t') {
            pendingBlanks += raw[i++];
        } else {
            out += pendingBlanks;
            pendingBlanks.clear();
            out += raw[i++];
            lastWasEncoded = false;
        }
    }
    return out + pendingBlanks;
}

std::string DecodedBody(const ReceivedMail& mail) {
    const size_t split = mail.data.find("\r\n\r\n");
    if (split == std::string::npos) return {};
    const std::string body = mail.data.substr(split + 4);
    const std::string encoding = MailHeader(mail.data, "Content-Transfer-Encoding");
    if (EqualsIgnoringCase(encoding, "base64")) return DecodeBase64(body);
    if (EqualsIgnoringCase(encoding, "quoted-printable")) return DecodeQuotedPrintable(body);
    return body;
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (text.substr(i + 1, 2) == "\r\n") {
            i += 2;  // a soft line break
        } else if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string DecodeBase64(std::string_view text) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        int value;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        else
            continue;  // line ends, padding
        bits = (bits << 6) | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::map<std::pair<std::string, std::string>, int> MailsBySubject(const SmtpServer& server) {
    std::map<std::pair<std::string, std::string>, int> counts;
    for (const auto& mail : server.messages()) ++counts[{mail.rcptTo.at(0), DecodedSubject(mail)}];
    return counts;
}

}  // namespace qubopost::test
