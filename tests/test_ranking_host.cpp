// The ranking service's host as the user types it, and port numbers: what goes into a URL
// as it is, and what is refused.
#include <gtest/gtest.h>

#include "settings/ranking_host.h"

using namespace qubopost::settings;

TEST(RankingHost, HostsWithAnOptionalPort) {
    const struct {
        const char* host;
        bool valid;
    } table[] = {
        {"ranking.example.jp", true},
        {"ranking.example.jp:8080", true},
        {"127.0.0.1:18080", true},
        {"[::1]:8081", true},
        {"[::1]", true},
        {"localhost", true},
        {"", false},
        {":8080", false},
        {"host:0", false},
        {"host:65536", false},
        {"host:80x", false},
        {"host:", false},
        {"ho st", false},
        {"host/path", false},
        {"user@host", false},
        {"host?q=1", false},
        {"-host", false},
        {"[::1", false},
        {"[::1]x", false},
        {"ホスト.jp", false},
    };
    for (const auto& row : table) EXPECT_EQ(IsValidRankingHost(row.host), row.valid) << row.host;
}

TEST(RankingHost, PortNumbers) {
    const struct {
        const char* text;
        bool valid;
    } table[] = {
        {"1", true},      {"25", true},      {"65535", true},  {"0", false},
        {"65536", false}, {"", false},       {"-1", false},    {" 25", false},
        {"2 5", false},   {"000025", false}, {"99999", false},
    };
    for (const auto& row : table) EXPECT_EQ(IsPortNumber(row.text), row.valid) << row.text;
}
