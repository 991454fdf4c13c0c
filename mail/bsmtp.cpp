#include "mail/bsmtp.h"

#include "credentials/command.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <new>
#include <random>
#include <string>
#include <string_view>

#include "credentials/credentials.h"
#include "mail/error_text.h"
#include "mail/message.h"
#include "mail/server.h"
#include "mail/smtp_session.h"
#include "resources/messages/messages.h"

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
    return BSMTP_FAILED;
}

int ResultCode(SendResult result) {
    switch (result) {
        case SendResult::Sent:
            return BSMTP_SENT;
        case SendResult::Uncertain:
            return BSMTP_UNCERTAIN;
        case SendResult::LoginRefused:
            return BSMTP_LOGIN_REFUSED;
        case SendResult::Stopped:
            return BSMTP_STOPPED;
        case SendResult::LoginDeferred:
            return BSMTP_LOGIN_DEFERRED;
        case SendResult::Failed:
            break;
    }
    return BSMTP_FAILED;
}

int Send(const char* server, const char* to, const char* from, const char* subject,
         const char* body, const char* reserved, char* error80, const int* stop,
         const SendHooks& hooks = {}) {
    if (!server || !to || !from || !subject || !body || !reserved)
        return Fail(error80, "missing argument (null pointer)");
    // The sixth argument: "" for CP932 texts (the BSendMail interface), or BSMTP_TEXTS_UTF8
    // for a subject and body in UTF-8.
    const bool utf8 = std::string_view(reserved) == BSMTP_TEXTS_UTF8;
    if (*reserved && !utf8)
        return Fail(error80, "6th argument must be empty or \"" BSMTP_TEXTS_UTF8 "\"");

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
        BuildMailMessage(MailFields{from, to, subject, body, utf8}, now, NewMessageIdSeed(now));
    if (!message)
        return Fail(error80, utf8 ? "cannot build the message (subject or body is not UTF-8)"
                                  : "cannot build the message (charset converter missing)");

    // The one look-up of the login for this message: what it finds is both what libcurl logs
    // in with and what decides whether TLS is required.
    std::string problem;
    const credentials::Credentials found = credentials::LookupCredentials(address->host, &problem);
    if (!problem.empty()) return Fail(error80, problem);
    Login login;
    if (found.Found()) login = Login{found.user, found.password, true};

    const SendOutcome outcome = SendOverSmtp(*address, from, to, *message, login, stop, hooks);
    if (outcome.result != SendResult::Sent) {
        CopyErrorText(error80, outcome.error);
        return ResultCode(outcome.result);
    }
    CopyErrorText(error80, "");
    return BSMTP_SENT;
}

int TestLogin(const char* server, const char* user, const char* password, char* error80) {
    if (!server || !user || !password) return Fail(error80, "missing argument (null pointer)");
    if (!*user) return Fail(error80, "no user name");
    std::string reason;
    const std::optional<ServerAddress> address = ParseServerAddress(server, &reason);
    if (!address) return Fail(error80, reason);
    const SendOutcome outcome = TestSmtpLogin(*address, Login{user, password, true});
    CopyErrorText(error80, outcome.error);
    return ResultCode(outcome.result);
}

// BSendMailNotify's record of the end of data: whether the caller's beforeEnd was called.
struct EndNotice {
    BSMTP_END_CALLBACK beforeEnd = nullptr;
    void* context = nullptr;
    bool called = false;
    bool guardedFailure = false;  // the call ended with an exception caught by Guarded
};

void NoteEnd(void* context) {
    auto* notice = static_cast<EndNotice*>(context);
    notice->called = true;
    if (notice->beforeEnd) notice->beforeEnd(notice->context);
}

template <typename Call>
int Guarded(char* error80, Call call, EndNotice* notice = nullptr) {
    // Nothing may leave the library as an exception: the caller is C.
    try {
        return call();
    } catch (const std::bad_alloc&) {
        if (notice) notice->guardedFailure = true;
        return Fail(error80, "out of memory");
    } catch (...) {
        if (notice) notice->guardedFailure = true;
        return Fail(error80, "internal error in the mail library");
    }
}

}  // namespace
}  // namespace qubopost::mail

extern "C" BSMTP_API int BSendMail(const char* server, const char* to, const char* from,
                                   const char* subject, const char* body, const char* reserved,
                                   char* error80) {
    return qubopost::mail::Guarded(error80, [&] {
        const int result =
            qubopost::mail::Send(server, to, from, subject, body, reserved, error80, nullptr);
        return result == BSMTP_SENT ? 1 : 0;
    });
}

extern "C" BSMTP_API int BSendMailEx(const char* server, const char* to, const char* from,
                                     const char* subject, const char* body, const char* reserved,
                                     char* error80, const int* stop) {
    return qubopost::mail::Guarded(error80, [&] {
        return qubopost::mail::Send(server, to, from, subject, body, reserved, error80, stop);
    });
}

extern "C" BSMTP_API int BSendMailNotify(const char* server, const char* to, const char* from,
                                         const char* subject, const char* body, const char* options,
                                         char* error80, const int* stop,
                                         BSMTP_END_CALLBACK beforeEnd, void* context) {
    qubopost::mail::EndNotice notice{beforeEnd, context};
    const qubopost::mail::SendHooks hooks{qubopost::mail::NoteEnd, &notice, true};
    const int result = qubopost::mail::Guarded(
        error80,
        [&] {
            return qubopost::mail::Send(server, to, from, subject, body, options, error80, stop,
                                        hooks);
        },
        &notice);
    // Guarded's failures are the library's own (out of memory, say), not a refusal by the
    // server: once the end may have gone out they leave the message uncertain.
    if (notice.called && notice.guardedFailure) return BSMTP_UNCERTAIN;
    return result;
}

extern "C" BSMTP_API int BTestLogin(const char* server, const char* user, const char* password,
                                    char* error80) {
    return qubopost::mail::Guarded(
        error80, [&] { return qubopost::mail::TestLogin(server, user, password, error80); });
}

extern "C" BSMTP_API int BSetOption(const char* name, const char* value) {
    try {
        if (!name || !value) return 0;
        if (std::string_view(name) == "language") {
            // This library holds its own copy of the catalogue's language.
            namespace msg = qubopost::messages;
            const std::string_view language(value);
            if (!language.empty() && language != "ja" && language != "en") return 0;
            msg::SetLanguage(language == "en" ? msg::Language::English : msg::Language::Japanese);
            return 1;
        }
        return qubopost::mail::SetSessionOption(name, value) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

extern "C" BSMTP_API int BCredentialsCommand(int argc, char** argv, int first) {
    try {
        // This library holds its own copy of the catalogue's language: the command speaks the
        // language of the environment, as qubopost-cli does.
        qubopost::messages::SetLanguageFromEnvironment();
        return RunCredentialsCommand(argc, argv, first);
    } catch (...) {
        return 1;
    }
}
