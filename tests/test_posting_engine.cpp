// The posting engine's own rules, with mail calls that answer as a server would: a login
// refused for now is tried again after the pause at most three times in a run, and a message
// is recorded as possibly delivered only from its end notice on.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "engine_run.h"
#include "journal/journal.h"
#include "posting/posting_engine.h"
#include "temp_dir.h"

using namespace qubopost::platform;
using namespace qubopost::posting;

namespace journal = qubopost::journal;
using qubopost::test::EngineRun;
using qubopost::test::JournalMessages;

namespace {

PostingInputs Inputs() {
    return {"smtp.test",
            "25",
            "me@example.jp",
            "a@x.jp\r\nb@x.jp",
            "-----into-----[title]一\r\nx\r\n-----into-----",
            "",
            ""};
}

// A mail call that answers from a script, one code per call (1 = sent when it runs out),
// and notes whether it gave the end notice.
struct ScriptedMail {
    std::vector<int> codes;
    int calls = 0;
    NotifyingMailSender Sender() {
        return [this](const char*, const char*, const char*, const char*, const char*, const char*,
                      char* error, const int*, void (*beforeEnd)(void*), void* context) {
            const int code =
                calls < static_cast<int>(codes.size()) ? codes[static_cast<std::size_t>(calls)] : 1;
            ++calls;
            if (code == 5) {
                std::snprintf(error, 80,
                              "login deferred: 454 4.7.0 Temporary authentication failure");
                return code;  // nothing was handed over: no end notice
            }
            if (beforeEnd) beforeEnd(context);
            return code;
        };
    }
};

}  // namespace

TEST(PostingEngine, ALoginRefusedForNowIsTriedAgainAtMostThreeTimes) {
    struct Case {
        std::vector<int> codes;
        int calls;  // mail calls made
        int sent;
        bool refused;   // the run stopped as for a refused login
        int deferrals;  // log lines saying the login was refused for now, tried again
    };
    const Case cases[] = {
        {{5, 5}, 4, 2, false, 2},          // two deferrals, then both messages
        {{5, 5, 5}, 5, 2, false, 3},       // the third deferral is still tried again
        {{5, 5, 5, 5}, 4, 0, true, 3},     // the fourth stops the run
        {{1, 5, 5, 5, 5}, 5, 1, true, 3},  // counted over the whole run
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.codes));
        TempDir dir;
        ScriptedMail mail{c.codes};
        EngineSetup setup;
        setup.journalPath = dir.File("history.sqlite3");
        setup.pause = std::chrono::milliseconds(1);
        setup.send = mail.Sender();
        EngineRun run(setup);
        ASSERT_EQ(run.Prepare(Inputs()), PostingEngine::Ready::Go);
        const RunOutcome outcome = run.Run();
        EXPECT_EQ(mail.calls, c.calls);
        EXPECT_EQ(outcome.sent, c.sent);
        EXPECT_EQ(outcome.loginRefused, c.refused);
        EXPECT_EQ(outcome.Succeeded(), !c.refused);
        EXPECT_EQ(run.shown.Lines("一時的に断りました。間隔を空けて"), c.deferrals);
        // Every message not sent stays unsent in the journal, for a resume.
        int pending = 0;
        for (const auto& message : JournalMessages(dir.File("history.sqlite3"), run.engine.RunId()))
            pending += message.state == journal::MessageState::Pending;
        EXPECT_EQ(pending, 2 - c.sent);
    }
}

TEST(PostingEngine, AMessageIsUncertainOnlyFromItsEndNoticeOn) {
    // A call that dies (as a killed process would leave it) before and after its end notice:
    // the journal has it unsent, then uncertain. The process is not killed here; the call
    // reads the journal from inside, where a kill would have left it.
    for (const bool noticeFirst : {false, true}) {
        SCOPED_TRACE(noticeFirst);
        TempDir dir;
        const std::string path = dir.File("history.sqlite3");
        journal::MessageState seen = journal::MessageState::Sent;
        EngineSetup setup;
        setup.journalPath = path;
        setup.pause = std::chrono::milliseconds(1);
        setup.send = [&](const char*, const char*, const char*, const char*, const char*,
                         const char*, char*, const int*, void (*beforeEnd)(void*), void* context) {
            if (noticeFirst) beforeEnd(context);
            auto other = journal::Journal::Open(path);
            if (other) {
                auto history = other->History(1);
                if (history && !history->empty()) {
                    auto messages = other->Messages(history->front().id);
                    if (messages && !messages->empty()) seen = messages->front().state;
                }
            }
            if (!noticeFirst) beforeEnd(context);
            return 1;
        };
        EngineRun run(setup);
        PostingInputs inputs = Inputs();
        inputs.blogAddresses = "a@x.jp";
        ASSERT_EQ(run.Prepare(inputs), PostingEngine::Ready::Go);
        EXPECT_TRUE(run.Run().Succeeded());
        EXPECT_EQ(seen,
                  noticeFirst ? journal::MessageState::Uncertain : journal::MessageState::Pending);
    }
}
