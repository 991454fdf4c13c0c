#include "credentials/command.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "credentials/credentials.h"
#include "resources/messages/messages.h"

const char* const kCredentialsUsage = R"(  qubopost-cli credentials set --server HOST --user USER
  qubopost-cli credentials forget --server HOST
  qubopost-cli credentials list

credentials: the SMTP login kept in the desktop's key ring (Secret Service), which posting uses
  before ~/.netrc.
  set      stores USER and a password for the SMTP server HOST (the host name as in the
           dialog's server field, without port), replacing what was stored for HOST. The
           password is read from standard input, one line (not shown on a terminal).
  forget   removes what is stored for HOST.
  list     prints the host and user of each stored login, one a line (never passwords).
  A locked key ring is unlocked through the desktop's own prompt; when the prompt is refused,
  cannot be shown or gets no answer within 30 seconds, the command ends with status 1.
)";

namespace {

using qubopost::credentials::KeyRingStatus;
namespace msg = qubopost::messages;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoKeyRing = 3;

int Usage(const std::string& problem) {
    std::cerr << problem << "\n"
              << msg::Say(msg::kCredentialsUsageHeading) << "\n"
              << kCredentialsUsage;
    return kExitUsage;
}

// The message for a key-ring call that did not succeed, and the exit status that goes with it.
int KeyRingProblem(const msg::Message& what, KeyRingStatus status, const std::string& error) {
    std::cerr << msg::Say(msg::kCredentialsProblem,
                          {msg::Say(what), qubopost::credentials::KeyRingProblemText(
                                               status, error, msg::Say(msg::kCredentialsRetry))})
              << "\n";
    return status == KeyRingStatus::Unavailable ? kExitNoKeyRing : kExitFailed;
}

// Reads one line from standard input without showing it when that is a terminal. False at the
// end of input before any line.
bool ReadPassword(std::string* password) {
    const bool terminal = isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (terminal && tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        std::cerr << msg::Say(msg::kCredentialsPasswordPrompt) << std::flush;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    const bool got = static_cast<bool>(std::getline(std::cin, *password));
    if (terminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!got && password->empty()) return false;
    if (!password->empty() && password->back() == '\r') password->pop_back();
    return true;
}

// Takes "--name VALUE" pairs; false (with a message) for anything else.
bool ReadOptions(int argc, char** argv, int from, std::string* server, std::string* user,
                 std::string* problem) {
    for (int i = from; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string* target = arg == "--server" ? server : arg == "--user" ? user : nullptr;
        if (!target) {
            *problem = msg::Say(msg::kCredentialsUnknownOption, {arg});
            return false;
        }
        if (i + 1 >= argc) {
            *problem = msg::Say(msg::kCredentialsNeedsValue, {arg});
            return false;
        }
        *target = argv[++i];
    }
    return true;
}

// "host", "host:587", "[::1]:25" or "[::1]": the host part as the key ring keeps it.
std::string HostOnly(std::string server) {
    // The server as the dialog's field takes it may begin with the scheme.
    for (const char* scheme : {"smtps://", "smtp://"}) {
        if (server.rfind(scheme, 0) == 0) {
            server.erase(0, std::char_traits<char>::length(scheme));
            break;
        }
    }
    if (!server.empty() && server.front() == '[') {
        const size_t close = server.find(']');
        if (close != std::string::npos) return server.substr(1, close - 1);
    }
    const size_t colon = server.find(':');
    if (colon != std::string::npos && server.find(':', colon + 1) == std::string::npos)
        server.erase(colon);
    return qubopost::credentials::NormaliseHost(server);
}

int Set(const std::string& server, const std::string& user) {
    std::string password;
    if (!ReadPassword(&password) || password.empty()) {
        std::cerr << msg::Say(msg::kCredentialsNoPassword) << "\n";
        return kExitFailed;
    }
    std::string error;
    const KeyRingStatus status =
        qubopost::credentials::KeyRingStore(server, user, password, &error);
    switch (status) {
        case KeyRingStatus::Ok:
            std::cout << msg::Say(msg::kCredentialsStored, {server, user}) << "\n";
            return 0;
        default:
            return KeyRingProblem(msg::kCredentialsCannotStore, status, error);
    }
}

int Forget(const std::string& server) {
    std::string error;
    const KeyRingStatus status = qubopost::credentials::KeyRingForget(server, &error);
    switch (status) {
        case KeyRingStatus::Ok:
            std::cout << msg::Say(msg::kCredentialsForgotten, {server}) << "\n";
            return 0;
        case KeyRingStatus::NotFound:
            std::cerr << msg::Say(msg::kCredentialsNotStored, {server}) << "\n";
            return kExitFailed;
        default:
            return KeyRingProblem(msg::kCredentialsCannotForget, status, error);
    }
}

int List() {
    std::vector<qubopost::credentials::KeyRingEntry> entries;
    std::string error;
    const KeyRingStatus status = qubopost::credentials::KeyRingList(&entries, &error);
    switch (status) {
        case KeyRingStatus::Ok:
            for (const auto& entry : entries) std::cout << entry.host << '\t' << entry.user << '\n';
            return 0;
        default:
            return KeyRingProblem(msg::kCredentialsCannotList, status, error);
    }
}

}  // namespace

int RunCredentialsCommand(int argc, char** argv, int first) {
    if (first >= argc) return Usage(std::string(msg::Say(msg::kCredentialsActionMissing)));
    const std::string action = argv[first];
    std::string server, user, problem;
    if (action == "--help" || action == "-h") {
        std::cout << kCredentialsUsage;
        return 0;
    }
    if (!ReadOptions(argc, argv, first + 1, &server, &user, &problem)) return Usage(problem);
    server = HostOnly(server);
    if (action == "set") {
        if (server.empty() || user.empty())
            return Usage(std::string(msg::Say(msg::kCredentialsSetNeeds)));
        return Set(server, user);
    }
    if (action == "forget") {
        if (server.empty()) return Usage(std::string(msg::Say(msg::kCredentialsForgetNeeds)));
        return Forget(server);
    }
    if (action == "list") {
        if (!server.empty() || !user.empty())
            return Usage(std::string(msg::Say(msg::kCredentialsListNoOptions)));
        return List();
    }
    return Usage(msg::Say(msg::kCredentialsUnknownAction, {action}));
}
