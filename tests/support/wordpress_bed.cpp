#include "wordpress_bed.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>

#include <gtest/gtest.h>

#include "cli_process.h"

namespace testbed {

WordPressBed::~WordPressBed() {
    if (m_started) Stop();
}

int WordPressBed::Run(const std::string& command, std::vector<std::string> args, int seconds) {
    const std::string script = std::string(QUBOPOST_TESTBED_DIR) + "/wordpress.sh";
    args.insert(args.begin(), {command, Folder()});
    std::vector<char*> argv{const_cast<char*>(script.c_str())};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The child does only what is safe after fork() in a process with threads (the window's
    // tests have them).
    const int outFd =
        open(OutFile(command).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int errFd =
        open(ErrFile(command).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_t pid = -1;
    if (outFd >= 0 && errFd >= 0) pid = fork();
    if (pid == 0) {
        if (dup2(outFd, STDOUT_FILENO) < 0 || dup2(errFd, STDERR_FILENO) < 0) _exit(127);
        execv(script.c_str(), argv.data());
        _exit(127);
    }
    if (outFd >= 0) close(outFd);
    if (errFd >= 0) close(errFd);
    if (pid < 0) return -1;
    return WaitChild(pid, std::chrono::seconds(seconds));
}

std::string WordPressBed::Start(bool* missing) {
    *missing = false;
    // The bed's servers outlive the script that starts them: as their subreaper this process
    // collects them when they end, instead of leaving zombies behind.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const int status = Run("start", {"--owner", std::to_string(getpid())}, 240);
    if (status == 77) {
        *missing = true;
        return Err("start");
    }
    m_started = true;
    if (status != 0)
        return "wordpress.sh start failed (" + std::to_string(status) + "):\n" + Err("start");
    std::istringstream lines(TempDir::Read(Folder() + "/testbed.env"));
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) m_env[line.substr(0, equals)] = line.substr(equals + 1);
    }
    for (const char* key : {"SITE_URL", "ADMIN_USER", "ADMIN_PASSWORD", "ADMIN_EMAIL", "SMTP_HOST",
                            "SMTP_PORT", "MAIL_TO"}) {
        if (Env(key).empty()) return std::string("testbed.env has no ") + key;
    }
    if (Env("SITE_URL").rfind("http://", 0) != 0)
        return "SITE_URL is not http://…: " + Env("SITE_URL");
    if (Run("app-password", {}, 60) != 0)
        return "wordpress.sh app-password failed:\n" + Err("app-password");
    m_appPassword = Out("app-password");
    while (!m_appPassword.empty() && (m_appPassword.back() == '\n' || m_appPassword.back() == '\r'))
        m_appPassword.pop_back();
    if (m_appPassword.empty()) return "wordpress.sh app-password printed no password";
    return "";
}

std::string WordPressBed::Stop() {
    std::string failure;
    if (m_started) {
        m_started = false;
        const int status = Run("stop", {}, 120);
        if (status != 0)
            failure = "wordpress.sh stop failed (" + std::to_string(status) + "):\n" + Err("stop");
    }
    // Collect what the bed's servers left (only this process's own descendants can be reaped).
    int status = 0;
    while (waitpid(-1, &status, WNOHANG) > 0) {
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    return failure;
}

std::string WordPressBed::Env(const std::string& key) const {
    const auto found = m_env.find(key);
    return found == m_env.end() ? "" : found->second;
}

std::string WordPressBed::HostPort() const {
    return Env("SITE_URL").substr(std::string("http://").size());
}

nlohmann::json WordPressBed::Check(std::string* failure) {
    failure->clear();
    const int status = Run("check", {}, 180);
    const std::string err = Err("check");
    if (status != 0)
        *failure = "wordpress.sh check failed (" + std::to_string(status) + "):\n" + err;
    // PHP's warnings during the check are the bed's fault or wp-mail.php's: show them.
    else if (err.find("PHP") != std::string::npos)
        *failure = "PHP warned during the check:\n" + err;
    const std::string text = Out("check");
    nlohmann::json result = nlohmann::json::parse(text, nullptr, false);
    if (failure->empty() && (result.is_discarded() || !result.is_object()))
        *failure = "not a JSON object:\n" + text;
    return result;
}

std::map<long, nlohmann::json> WordPressBed::Posts() {
    std::map<long, nlohmann::json> posts;
    std::string failure;
    const nlohmann::json result = Check(&failure);
    EXPECT_TRUE(failure.empty()) << failure;
    if (result.is_object() && result["posts"].is_array())
        for (const nlohmann::json& post : result["posts"]) posts[post["id"].get<long>()] = post;
    return posts;
}

int WordPressBed::RefusedLogins() const {
    const std::string path = Folder() + "/www/wp-content/testbed-logins.log";
    if (access(path.c_str(), F_OK) != 0) return 0;
    std::istringstream log(TempDir::Read(path));
    int count = 0;
    for (std::string line; std::getline(log, line);) ++count;
    return count;
}

void WordPressBedSuite::SetUpTestSuite() {
    s_bed = new WordPressBed;
    s_failure = s_bed->Start(&s_missing);
}

void WordPressBedSuite::TearDownTestSuite() {
    const std::string stopped = s_bed->Stop();
    EXPECT_TRUE(stopped.empty()) << stopped;
    delete s_bed;
    s_bed = nullptr;
}

void WordPressBedSuite::SetUp() {
    if (s_missing) GTEST_SKIP() << s_failure;
    ASSERT_TRUE(s_failure.empty()) << s_failure;
}

}  // namespace testbed
