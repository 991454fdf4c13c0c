#include "journal/history_text.h"

#include <ctime>

#include "resources/messages/messages.h"

namespace qubopost::journal {

namespace {

namespace msg = qubopost::messages;
using msg::Say;

std::string Count(const msg::Message& label, int count) {
    return Say(msg::kHistoryCount, {Say(label), std::to_string(count)});
}

// How the run ended, with its resumes.
std::string Outcome(const RunSummary& run) {
    std::string text;
    if (run.finished) {
        text = Say(msg::kHistoryFinished);
    } else if (run.endedAt) {
        text = Say(msg::kHistoryStopped);
    } else {
        text = Say(msg::kHistoryNoEnd);
    }
    if (run.attempts > 1) {
        text += Say(msg::kHistoryResumes, {std::to_string(run.attempts - 1)});
        if (run.resumedAt) text += Say(msg::kHistoryLastResume, {FormatTime(*run.resumedAt)});
    }
    return text;
}

std::string RunLines(const RunSummary& run) {
    std::string text =
        Say(msg::kHistoryRunLine,
            {std::to_string(run.id), FormatTime(run.startedAt),
             run.endedAt ? FormatTime(*run.endedAt) : std::string(Say(msg::kHistoryNoEndTime)),
             Outcome(run), run.Resumable() ? Say(msg::kHistoryResumable) : ""});
    text += Say(msg::kHistoryCountsLine, {FormatCounts(run), std::to_string(run.total)});
    if (!run.server.empty()) text += Say(msg::kHistoryServer, {run.server});
    return text;
}

std::string_view ResultWord(MessageState state) {
    switch (state) {
        case MessageState::Sent:
            return Say(msg::kHistoryStateSent);
        case MessageState::Failed:
            return Say(msg::kHistoryFailedLabel);
        case MessageState::Uncertain:
            return Say(msg::kHistoryStateUncertain);
        case MessageState::Pending:
            return Say(msg::kHistoryPendingLabel);
    }
    return Say(msg::kHistoryPendingLabel);
}

// A multi-line server reply on one line.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    }
    std::size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
    std::size_t begin = text.find_first_not_of(' ');
    text.erase(0, begin == std::string::npos ? text.size() : begin);
    return text;
}

}  // namespace

std::string FormatTime(Time time) {
    std::time_t seconds = static_cast<std::time_t>(time.time_since_epoch().count());
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return std::string(Say(msg::kHistoryTimeUnknown));
    char buffer[32];
    std::size_t size = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
    return std::string(buffer, size);
}

std::string FormatCounts(const RunSummary& run) {
    return Count(msg::kHistorySentLabel, run.sent) + " / " +
           Count(msg::kHistoryFailedLabel, run.failed) + " / " +
           Count(msg::kHistoryUncertainLabel, run.uncertain) + " / " +
           Count(msg::kHistoryPendingLabel, run.pending);
}

std::string FormatHistory(const std::vector<RunSummary>& runs) {
    if (runs.empty()) return std::string(Say(msg::kHistoryEmpty));
    std::string text;
    for (const RunSummary& run : runs) text += RunLines(run);
    return text;
}

std::string FormatRun(const RunSummary& run, const std::vector<MessageRecord>& messages,
                      const Cp932ToUtf8& toUtf8) {
    std::string text = RunLines(run);
    for (const MessageRecord& message : messages) {
        text += Say(
            msg::kHistoryMessageLine,
            {std::to_string(message.number), toUtf8(message.destination), toUtf8(message.subject)});
        text += "      ";
        if (message.at) text += FormatTime(*message.at) + "  ";
        text += ResultWord(message.state);
        std::string detail = OneLine(toUtf8(message.detail));
        if (!detail.empty()) text += "  " + detail;
        text += "\n";
        if (!message.link.empty())
            text += Say(msg::kHistoryPostAddress, {OneLine(toUtf8(message.link))});
    }
    return text;
}

Result<std::string> HistoryText(Journal& journal, std::optional<RunId> run, int limit,
                                const Cp932ToUtf8& toUtf8) {
    if (!run) {
        auto runs = journal.History(limit);
        if (!runs) return runs.error();
        if (runs->empty()) return FormatHistory(*runs);
        // Each run with the addresses of the posts the blogs made.
        std::string text;
        for (const RunSummary& summary : *runs) {
            text += RunLines(summary);
            auto messages = journal.Messages(summary.id);
            if (!messages) return messages.error();
            for (const MessageRecord& message : *messages) {
                if (message.link.empty()) continue;
                text += Say(msg::kHistoryRunPost,
                            {std::to_string(message.number), OneLine(toUtf8(message.link))});
            }
        }
        return text;
    }
    auto summary = journal.Summary(*run);
    if (!summary) return summary.error();
    if (!*summary) {
        return Error{Say(msg::kHistoryNoSuchRun, {std::to_string(*run)})};
    }
    auto messages = journal.Messages(*run);
    if (!messages) return messages.error();
    return FormatRun(**summary, *messages, toUtf8);
}

}  // namespace qubopost::journal
