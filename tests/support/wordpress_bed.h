// The WordPress test bed (tests/testbed/wordpress.sh: MariaDB, Debian's WordPress under php -S,
// Dovecot POP3 and an SMTP receiver, all on 127.0.0.1) in a temporary folder of its own, for
// the tests that post into it. Every run of the script has a bound; the bed's servers are
// stopped by the script from their PIDs, and this process, their subreaper, collects them.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace testbed {

class WordPressBed {
public:
    WordPressBed() = default;
    ~WordPressBed();
    WordPressBed(const WordPressBed&) = delete;
    WordPressBed& operator=(const WordPressBed&) = delete;

    // Starts the bed and makes the administrator an application password: "" when it runs,
    // otherwise what failed. `missing` is set when the bed's Debian packages are not installed
    // (scripts/setup.sh), a reason to skip rather than to fail.
    std::string Start(bool* missing);
    // Stops a started bed: "" or what failed.
    std::string Stop();

    // `wordpress.sh COMMAND FOLDER ARGS...`, at most `seconds`: its exit status (-1 for a
    // signal, -2 when it was killed for taking too long). Its output is in Out()/Err().
    int Run(const std::string& command, std::vector<std::string> args, int seconds);
    std::string Out(const std::string& command) const { return TempDir::Read(OutFile(command)); }
    std::string Err(const std::string& command) const { return TempDir::Read(ErrFile(command)); }

    // A value of FOLDER/testbed.env ("" when there is none).
    std::string Env(const std::string& key) const;
    const std::string& AppPassword() const { return m_appPassword; }
    // SITE_URL without its "http://": 127.0.0.1:PORT.
    std::string HostPort() const;
    std::string Folder() const { return m_dir.Path() + "/bed"; }
    const TempDir& Dir() const { return m_dir; }

    // `wordpress.sh check` (which fetches the mailbox first): its JSON, discarded (is_discarded())
    // when the check failed; then `failure` says why.
    nlohmann::json Check(std::string* failure);
    // Every post but trashed ones, by id; a failed check is a failure of the test.
    std::map<long, nlohmann::json> Posts();
    // The logins WordPress has refused so far (the bed's must-use plugin writes one line each).
    int RefusedLogins() const;

private:
    std::string OutFile(const std::string& command) const { return m_dir.File(command + ".out"); }
    std::string ErrFile(const std::string& command) const { return m_dir.File(command + ".err"); }

    TempDir m_dir;
    bool m_started = false;
    std::map<std::string, std::string> m_env;
    std::string m_appPassword;
};

// A gtest suite sharing one bed: started before its first test, stopped after its last. A test
// is skipped when the bed's packages are missing and fails when the bed did not start.
class WordPressBedSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static WordPressBed& Bed() { return *s_bed; }
    // The blog's address with the administrator as its user: http://ADMIN@127.0.0.1:PORT/.
    static std::string BlogUrl() {
        return "http://" + s_bed->Env("ADMIN_USER") + "@" + s_bed->HostPort() + "/";
    }

private:
    static inline WordPressBed* s_bed = nullptr;
    static inline bool s_missing = false;
    static inline std::string s_failure;
};

}  // namespace testbed
