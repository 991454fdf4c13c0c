// The posting engine as the tests of its rules drive it: its own wiring from an EngineSetup
// (the journal in a test's folder), answers that resume a run and never send an uncertain
// message again, and the log it shows kept for the test to read.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "journal/journal.h"
#include "posting/posting_engine.h"

namespace qubopost::test {

class ResumingAnswers : public qubopost::posting::PostingQuestions {
public:
    Resume AskResume(const journal::RunSummary&, int) override { return Resume::Resume; }
    bool AskResendUncertain(const std::vector<journal::MessageRecord>&) override { return false; }
    Finished AskFinished(const journal::RunSummary&, int, int) override { return Finished::All; }
};

// The log lines the engine showed, each ending with "\n".
class KeptLog : public qubopost::posting::EngineEvents {
public:
    void OnRange(int) override {}
    void OnProgressStep() override {}
    void OnLogLine(const qubopost::platform::Text& line) override { log += line.Bytes() + "\n"; }
    // How many lines hold `part`.
    int Lines(const std::string& part) const {
        int count = 0;
        std::size_t at = 0;
        for (std::size_t end; (end = log.find('\n', at)) != std::string::npos; at = end + 1)
            count += log.substr(at, end - at).find(part) != std::string::npos;
        return count;
    }
    std::string log;
};

// One engine with its stop signal, answers and log.
struct EngineRun {
    explicit EngineRun(qubopost::posting::EngineSetup setup) : engine(std::move(setup), stop) {}
    qubopost::posting::PostingEngine::Ready Prepare(const qubopost::posting::PostingInputs& inputs,
                                                    std::string* message = nullptr) {
        return engine.Prepare(inputs, answers, message);
    }
    qubopost::posting::RunOutcome Run() { return engine.Run(shown); }

    qubopost::posting::StopSignal stop;
    qubopost::posting::PostingEngine engine;
    ResumingAnswers answers;
    KeptLog shown;
};

// The messages of run `run` in the journal at `path`; a journal that cannot be read fails the test.
inline std::vector<journal::MessageRecord> JournalMessages(const std::string& path,
                                                           journal::RunId run) {
    auto opened = journal::Journal::Open(path);
    EXPECT_TRUE(opened);
    if (!opened) return {};
    auto messages = opened->Messages(run);
    EXPECT_TRUE(messages);
    return messages ? *messages : std::vector<journal::MessageRecord>{};
}

}  // namespace qubopost::test
