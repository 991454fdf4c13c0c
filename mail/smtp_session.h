// One SMTP conversation through libcurl: connect, secure, log in if the netrc says so, send.
#ifndef QUBOPOST_MAIL_SMTP_SESSION_H
#define QUBOPOST_MAIL_SMTP_SESSION_H

#include <string>
#include <string_view>

#include "mail/server.h"

namespace qubopost::mail {

struct SendOutcome {
    bool sent = false;
    std::string error;  // CP932, when not sent: the server's reply or a short reason
};

// Sends the finished message from `from` to `to` (both already checked by IsValidMailAddress).
//
// Environment, read on every call:
//   QUBOPOST_SMTP_CAFILE               PEM file of CA certificates to trust instead of the
//                                      system's (how tests trust their own server certificate)
//   QUBOPOST_SMTP_CONNECT_TIMEOUT_MS   connection time-out, greeting and TLS set-up included
//                                      (default 30000)
//   QUBOPOST_SMTP_IDLE_TIMEOUT_MS      give up when nothing moves for this long (default 60000;
//                                      waits for a reply count in whole seconds, rounded up)
//   NETRC, HOME                        where the .netrc with the credentials is (NetrcPath)
SendOutcome SendOverSmtp(const ServerAddress& server, std::string_view from, std::string_view to,
                         const std::string& message);

}  // namespace qubopost::mail

#endif  // QUBOPOST_MAIL_SMTP_SESSION_H
