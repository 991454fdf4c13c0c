#include "mail/bsmtp.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <new>
#include <random>
#include <string>

#include "mail/error_text.h"
#include "mail/message.h"
#include "mail/server.h"
#include "mail/smtp_session.h"

namespace qubopost::mail {
namespace {

// 64 bits from the system's random source; time-based when there is none.
uint64_t RandomBits() {
    try {
        std::random_device random;
        return (static_cast<uint64_t>(random()) << 32) ^ random();
    } catch (...) {
        return static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
}

// Left part of a Message-Id that no other message shares: time, process, a per-process counter
// and 64 random bits.
std::string NewMessageIdSeed(time_t now) {
    static std::atomic<unsigned> counter{0};
    char seed[96];
    std::snprintf(seed, sizeof seed, "%lld.%ld.%u.%016" PRIx64, static_cast<long long>(now),
                  static_cast<long>(getpid()), counter.fetch_add(1), RandomBits());
    return seed;
}

int Fail(char* error80, std::string_view text) {
    CopyErrorText(error80, text);
    return 0;
}

int Send(const char* server, const char* to, const char* from, const char* subject,
         const char* body, const char* reserved, char* error80) {
    if (!server || !to || !from || !subject || !body || !reserved)
        return Fail(error80, "missing argument (null pointer)");
    if (*reserved) return Fail(error80, "reserved (6th) argument must be empty");

    std::string reason;
    const std::optional<ServerAddress> address = ParseServerAddress(server, &reason);
    if (!address) return Fail(error80, reason);
    // Addresses go into MAIL FROM and RCPT TO as they are, so nothing unchecked may reach them.
    if (!*to) return Fail(error80, "no recipient address");
    if (!IsValidMailAddress(to)) return Fail(error80, "invalid recipient address");
    if (!*from) return Fail(error80, "no sender address");
    if (!IsValidMailAddress(from)) return Fail(error80, "invalid sender address");

    const time_t now = std::time(nullptr);
    const std::optional<std::string> message =
        BuildMailMessage(MailFields{from, to, subject, body}, now, NewMessageIdSeed(now));
    if (!message) return Fail(error80, "cannot build the message (charset converter missing)");

    const SendOutcome outcome = SendOverSmtp(*address, from, to, *message);
    if (!outcome.sent) return Fail(error80, outcome.error);
    CopyErrorText(error80, "");
    return 1;
}

}  // namespace
}  // namespace qubopost::mail

extern "C" BSMTP_API int BSendMail(const char* server, const char* to, const char* from,
                                   const char* subject, const char* body, const char* reserved,
                                   char* error80) {
    // Nothing may leave this function as an exception: the caller is C.
    try {
        return qubopost::mail::Send(server, to, from, subject, body, reserved, error80);
    } catch (const std::bad_alloc&) {
        return qubopost::mail::Fail(error80, "out of memory");
    } catch (...) {
        return qubopost::mail::Fail(error80, "internal error in the mail library");
    }
}
