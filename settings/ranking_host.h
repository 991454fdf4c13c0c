// The ranking service's host as the user gives it: a host name or IPv4 address, or an
// IPv6 address in brackets, with an optional ":PORT" (1-65535). Nothing else, so that it
// can go into the ranking URL as it is.
#pragma once

#include <string>
#include <string_view>

namespace qubopost::settings {

bool IsValidRankingHost(std::string_view host);

// The ranking host in use, looked up in one place for the window and qubopost-cli: the host
// given for this run (`given`, e.g. --ranking-host), else Host= of the settings file's
// [Ranking] section, else `builtIn` (the host the program was built with). `fromSettings` is
// set when the settings file's value was taken.
std::string RankingHostInUse(const std::string& settingsPath, std::string_view given,
                             std::string_view builtIn, bool* fromSettings = nullptr);

// A port number as the user writes it: 1 to 65535 in decimal digits, nothing else.
bool IsPortNumber(std::string_view text);

}  // namespace qubopost::settings
