#include "journal/history_text.h"

#include <ctime>

namespace qubopost::journal {

namespace {

std::string Count(const char* label, int count) {
    return std::string(label) + " " + std::to_string(count) + " 通";
}

// How the run ended, with its resumes.
std::string Outcome(const RunSummary& run) {
    std::string text;
    if (run.finished) {
        text = "完了";
    } else if (run.endedAt) {
        text = "途中で中止";
    } else {
        text = "終了の記録なし（送信中か、途中で終了しました）";
    }
    if (run.attempts > 1) {
        text += "・再開 " + std::to_string(run.attempts - 1) + " 回";
        if (run.resumedAt) text += "（最後の再開 " + FormatTime(*run.resumedAt) + "）";
    }
    return text;
}

std::string RunLines(const RunSummary& run) {
    std::string text = "実行 " + std::to_string(run.id) + "  " + FormatTime(run.startedAt) +
                       " 〜 " + (run.endedAt ? FormatTime(*run.endedAt) : "――――――――") + "  " +
                       Outcome(run) + (run.Resumable() ? "（再開できます）" : "") + "\n";
    text += "    " + FormatCounts(run) + "（全 " + std::to_string(run.total) + " 通）\n";
    if (!run.server.empty()) text += "    サーバー " + run.server + "\n";
    return text;
}

const char* ResultWord(MessageState state) {
    switch (state) {
        case MessageState::Sent: return "送信済み";
        case MessageState::Failed: return "失敗";
        case MessageState::Uncertain: return "不明（要確認）";
        case MessageState::Pending: return "未送信";
    }
    return "未送信";
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
    if (!localtime_r(&seconds, &local)) return "（時刻不明）";
    char buffer[32];
    std::size_t size = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
    return std::string(buffer, size);
}

std::string FormatCounts(const RunSummary& run) {
    return Count("送信", run.sent) + " / " + Count("失敗", run.failed) + " / " +
           Count("不明", run.uncertain) + " / " + Count("未送信", run.pending);
}

std::string FormatHistory(const std::vector<RunSummary>& runs) {
    if (runs.empty()) return "投稿の記録はまだありません。\n";
    std::string text;
    for (const RunSummary& run : runs) text += RunLines(run);
    return text;
}

std::string FormatRun(const RunSummary& run, const std::vector<MessageRecord>& messages,
                      const Cp932ToUtf8& toUtf8) {
    std::string text = RunLines(run);
    for (const MessageRecord& message : messages) {
        text += "\n  " + std::to_string(message.number) + " 通目  " + toUtf8(message.destination) +
                "  「" + toUtf8(message.subject) + "」\n";
        text += "      ";
        if (message.at) text += FormatTime(*message.at) + "  ";
        text += ResultWord(message.state);
        std::string detail = OneLine(toUtf8(message.detail));
        if (!detail.empty()) text += "  " + detail;
        text += "\n";
        if (!message.link.empty()) text += "      投稿のアドレス " + OneLine(toUtf8(message.link)) + "\n";
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
                text += "    " + std::to_string(message.number) + " 通目の投稿 " + OneLine(toUtf8(message.link)) + "\n";
            }
        }
        return text;
    }
    auto summary = journal.Summary(*run);
    if (!summary) return summary.error();
    if (!*summary) {
        return Error{"実行 " + std::to_string(*run) +
                     " の記録は投稿履歴にありません。番号は「qubopost-cli history」の一覧で"
                     "確かめてください（90 日より前の記録は消えています）。"};
    }
    auto messages = journal.Messages(*run);
    if (!messages) return messages.error();
    return FormatRun(**summary, *messages, toUtf8);
}

}  // namespace qubopost::journal
