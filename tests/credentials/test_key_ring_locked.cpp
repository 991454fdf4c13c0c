// A locked login collection in a real gnome-keyring-daemon (run through isolated.sh): no call
// hangs, each ends with the locked status or a Japanese message within the time limit, an
// unlock prompt that nobody answers (a real one, on an X server of the test's own) ends the call
// in time or when cancelled, the key ring service survives it, and nothing stored is lost.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "credentials/credentials.h"
#include "key_ring_session.h"
#include "support/cli_process.h"
#include "support/smtp_fixture.h"

namespace qubopost::test {
namespace {

using credentials::KeyRingStatus;
using namespace std::chrono_literals;

class LockedKeyRing : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            GTEST_SKIP() << "no session bus: run this test through isolated.sh (ctest does)";
        ASSERT_TRUE(credentials::KeyRingAvailable()) << "gnome-keyring-daemon is not answering";
        ASSERT_EQ(credentials::KeyRingStore("smtp.example.jp", "blogger", "before the lock"),
                  KeyRingStatus::Ok);
    }
    void TearDown() override { credentials::SetKeyRingTimeLimit(30s); }
    void Lock() {
        std::string problem;
        ASSERT_TRUE(LockDefaultCollection(&problem)) << problem;
    }
    SmtpClientEnvironment client{SmtpClientEnvironment::KeyRing::Kept};
};

// Without a display no prompt can be shown: every call that needs the collection open says it
// is locked at once; what needs no unlocking still works.
TEST_F(LockedKeyRing, WithoutAPromptEveryCallEndsAndSaysLocked) {
    Lock();
    std::string error;
    credentials::Credentials found;
    struct Case {
        const char* what;
        KeyRingStatus expected;
        std::function<KeyRingStatus(std::string*)> call;
    };
    const Case cases[] = {
        {"store for a host with an item", KeyRingStatus::Locked,
         [](std::string* e) {
             return credentials::KeyRingStore("smtp.example.jp", "blogger", "new", e);
         }},
        {"store for a new host", KeyRingStatus::Locked,
         [](std::string* e) {
             return credentials::KeyRingStore("other.example.jp", "someone", "pw", e);
         }},
        {"look-up of a stored host", KeyRingStatus::Locked,
         [&](std::string* e) { return credentials::KeyRingLookup("SMTP.example.jp", &found, e); }},
        {"forget a stored host", KeyRingStatus::Locked,
         [](std::string* e) { return credentials::KeyRingForget("smtp.example.jp", e); }},
        // No item for the host: nothing to unlock, nothing to ask.
        {"look-up of an unknown host", KeyRingStatus::NotFound,
         [&](std::string* e) {
             return credentials::KeyRingLookup("nothing.example.jp", &found, e);
         }},
        {"forget an unknown host", KeyRingStatus::NotFound,
         [](std::string* e) { return credentials::KeyRingForget("nothing.example.jp", e); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        error.clear();
        EXPECT_EQ(c.call(&error), c.expected);
        if (c.expected == KeyRingStatus::Locked) {
            EXPECT_NE(error.find("ロック"), std::string::npos) << error;
            const std::string message =
                credentials::KeyRingProblemText(KeyRingStatus::Locked, error, "もう一度。");
            EXPECT_EQ(message.rfind("キーリングがロックされています", 0), 0u) << message;
        }
    }
    // Listing reads no secret: the stored login is still there, under its user.
    std::vector<credentials::KeyRingEntry> entries;
    ASSERT_EQ(credentials::KeyRingList(&entries), KeyRingStatus::Ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].host, "smtp.example.jp");
    EXPECT_EQ(entries[0].user, "blogger");
}

// The look-up before each message passes over the locked key ring to ~/.netrc and says why.
TEST_F(LockedKeyRing, LookupBeforeAMessageFallsBackToNetrcAndSaysLocked) {
    client.writeNetrc("machine smtp.example.jp login from-netrc password n\n");
    Lock();
    const credentials::Credentials found = credentials::LookupCredentials("smtp.example.jp");
    EXPECT_EQ(found.source, credentials::Source::Netrc);
    EXPECT_EQ(found.user, "from-netrc");
    EXPECT_EQ(found.keyRing, KeyRingStatus::Locked);

    const credentials::Credentials none = credentials::LookupCredentials("nothing.example.jp");
    EXPECT_FALSE(none.Found());
    EXPECT_EQ(none.keyRing, KeyRingStatus::NotFound);
}

TEST_F(LockedKeyRing, CliEndsWithinTheLimitWithAJapaneseMessage) {
    Lock();
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string message;  // in standard error ("" : none expected)
        std::string out;
    };
    const Case cases[] = {
        {{"credentials", "set", "--server", "smtp.example.jp", "--user", "blogger"},
         "new pass\n",
         1,
         "パスワードを保存できませんでした。キーリングがロックされています",
         ""},
        {{"credentials", "set", "--server", "new.example.jp:587", "--user", "u"},
         "pw\n",
         1,
         "キーリングがロックされています",
         ""},
        {{"credentials", "forget", "--server", "smtp.example.jp"},
         "",
         1,
         "ログイン情報を削除できませんでした。キーリングがロックされています",
         ""},
        {{"credentials", "list"}, "", 0, "", "smtp.example.jp\tblogger\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + (c.args.size() > 3 ? c.args[3] : ""));
        // The program's own bound is 30 s; the test waits a little longer before it gives up.
        const CliRun run = RunWithInput(QUBOPOST_CLI, c.args, client.home(), c.input, 40s);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (!c.message.empty()) {
            EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
            // What to do, not only what happened.
            EXPECT_NE(run.err.find("ロックを解除"), std::string::npos) << run.err;
        }
        EXPECT_EQ(run.out, c.out);
    }
    // Nothing was lost or half-written by the refused calls.
    std::vector<credentials::KeyRingEntry> entries;
    ASSERT_EQ(credentials::KeyRingList(&entries), KeyRingStatus::Ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].user, "blogger");
}

// A real unlock prompt on a screen nobody looks at.
class UnansweredPrompt : public LockedKeyRing {
protected:
    void SetUp() override {
        LockedKeyRing::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        if (!screen.ready()) GTEST_SKIP() << "no X server for the prompt: " << screen.problem();
        Lock();
    }
    PromptScreen screen;
};

TEST_F(UnansweredPrompt, EndsLockedWhenTheTimeIsUp) {
    credentials::SetKeyRingTimeLimit(3s);
    struct Case {
        const char* what;
        std::function<KeyRingStatus(std::string*)> call;
    };
    credentials::Credentials found;
    const Case cases[] = {
        {"store",
         [](std::string* e) {
             return credentials::KeyRingStore("smtp.example.jp", "blogger", "new", e);
         }},
        {"look-up",
         [&](std::string* e) { return credentials::KeyRingLookup("smtp.example.jp", &found, e); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        EXPECT_EQ(c.call(&error), KeyRingStatus::Locked);
        EXPECT_NE(error.find("時間内に答えがありませんでした"), std::string::npos) << error;
    }
    EXPECT_TRUE(WaitForBusName(kSystemPrompter, 1ms)) << "the prompt was never shown";
    std::vector<credentials::KeyRingEntry> entries;
    ASSERT_EQ(credentials::KeyRingList(&entries), KeyRingStatus::Ok);
    ASSERT_EQ(entries.size(), 1u);
}

TEST_F(UnansweredPrompt, CancelEndsTheWaitAndTheKeyRingStaysUp) {
    credentials::KeyRingCancel cancel;
    std::thread canceller([&] {
        // Once the prompter is up (bounded), the user gives up waiting.
        WaitForBusName(kSystemPrompter, 10s);
        std::this_thread::sleep_for(200ms);
        cancel.Cancel();
    });
    std::string error;
    const KeyRingStatus status =
        credentials::KeyRingStore("smtp.example.jp", "blogger", "new", &error, &cancel);
    canceller.join();
    EXPECT_EQ(status, KeyRingStatus::Cancelled) << error;
    EXPECT_EQ(credentials::KeyRingProblemText(status, error, "もう一度。")
                  .rfind("キーリングを待つのをやめました", 0),
              0u);
    // A cancelled object stays cancelled: the next call with it ends at once.
    EXPECT_EQ(credentials::KeyRingForget("smtp.example.jp", nullptr, &cancel),
              KeyRingStatus::Cancelled);
    // The service lives on (the prompt was left to the user, not torn down), and has lost nothing.
    std::vector<credentials::KeyRingEntry> entries;
    ASSERT_EQ(credentials::KeyRingList(&entries), KeyRingStatus::Ok);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].user, "blogger");
}

}  // namespace
}  // namespace qubopost::test
