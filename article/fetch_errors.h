// Why a ranking page could not be fetched, in the catalogue's language, from the transfer's own
// error text: the second and later lines of the "通信エラー" message.
#pragma once

#include <string>

namespace qubopost::article {

// `error` is the fetch's English reason (libcurl's text, "HTTP status N", ...); `host` the
// ranking service's host. Names the host or the proxy where it is the cause, and what the
// user can do.
std::string DescribeFetchFailure(const std::string& error, const std::string& host);

}  // namespace qubopost::article
