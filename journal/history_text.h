// The history as text for qubopost-cli: runs newest first, or one run with each message.
// The output is UTF-8 with a line break after each line.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal.h"

namespace qubopost::journal {

// Turns the stored bytes (destinations, subjects, replies, reasons: UTF-8, or CP932 in runs
// recorded before the posting carried UTF-8) into UTF-8.
using Cp932ToUtf8 = std::function<std::string(std::string_view cp932)>;

// "2026-12-07 14:05" in the local time zone.
std::string FormatTime(Time time);

// "送信 3 通 / 失敗 1 通 / 不明 0 通 / 未送信 2 通"
std::string FormatCounts(const RunSummary& run);

// The runs, newest first as given: number, start, end, how it ended, counts, and for a run
// stored whole its server, with "（再開できます）" when it can go on from the journal alone.
std::string FormatHistory(const std::vector<RunSummary>& runs);

// One run and each of its messages: number, destination, subject, time, result (送信済み /
// 失敗 / 不明（要確認） / 未送信) and the server's reply or the reason.
std::string FormatRun(const RunSummary& run, const std::vector<MessageRecord>& messages,
                      const Cp932ToUtf8& toUtf8);

// What `qubopost-cli history` prints: the newest `limit` runs (all when limit <= 0), each with
// the addresses of the posts blogs made for it, or with `run` that run's messages (a post's
// address under its message). An unknown run is an error in words for the user.
Result<std::string> HistoryText(Journal& journal, std::optional<RunId> run, int limit,
                                const Cp932ToUtf8& toUtf8);

}  // namespace qubopost::journal
