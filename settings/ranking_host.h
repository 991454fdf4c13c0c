// The ranking service's host as the user gives it: a host name or IPv4 address, or an
// IPv6 address in brackets, with an optional ":PORT" (1-65535). Nothing else, so that it
// can go into the ranking URL as it is.
#pragma once

#include <string_view>

bool IsValidRankingHost(std::string_view host);

// A port number as the user writes it: 1 to 65535 in decimal digits, nothing else.
bool IsPortNumber(std::string_view text);
