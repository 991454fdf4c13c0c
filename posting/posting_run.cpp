#include "posting/posting_run.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "mail/mail_library.h"
#include "platform/encoding.h"
#include "resources/messages/messages.h"
#include "resources/strings.h"

namespace msg = qubopost::messages;
using namespace qubopost::platform;
using namespace qubopost::resources;

namespace qubopost::posting {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

Text Utf8Text(std::string_view utf8) { return Text(utf8); }

}  // namespace

StoppableMailSender Stoppable(MailSender send) {
    return [send = std::move(send)](const char* server, const char* to, const char* from,
                                    const char* subject, const char* body, const char* reserved,
                                    char* error, const int*) {
        const int result = send(server, to, from, subject, body, reserved, error);
        // Anything but 0 went out; results from 10 up are passed on (they write no log line).
        if (result >= 10) return result;
        if (result != 0) return static_cast<int>(SendResult::Sent);
        error[79] = '\0';
        return static_cast<int>(IsLoginRefusal(error) ? SendResult::LoginRefused
                                                      : SendResult::Failed);
    };
}

NotifyingMailSender Notifying(StoppableMailSender send) {
    return [send = std::move(send)](const char* server, const char* to, const char* from,
                                    const char* subject, const char* body, const char* options,
                                    char* error, const int* stop, void (*beforeEnd)(void*),
                                    void* context) {
        if (beforeEnd) beforeEnd(context);
        return send(server, to, from, subject, body, options, error, stop);
    };
}

Text FailureLogLine(const Text& error, const Text& server, const Text& address, const Text& from,
                    const Text& subject) {
    static const Text format(texts::kLogFailure);
    return Text::Format(format, {error, server, address, from, subject});
}

Text SuccessLogLine(const Text& address) {
    static const Text format(texts::kLogSuccess);
    return Text::Format(format, {address});
}

bool IsLoginRefusal(const std::string& error) { return StartsWith(error, "login refused"); }

namespace {

bool Contains(const std::string& text, std::string_view part) {
    const auto lower = [](std::string value) {
        for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return value;
    };
    return lower(text).find(lower(std::string(part))) != std::string::npos;
}

// The reply code the text starts with ("550 5.1.1 …"), 0 when it starts with none.
int ReplyCode(const std::string& text) {
    if (text.size() < 3 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !std::isdigit(static_cast<unsigned char>(text[1])) ||
        !std::isdigit(static_cast<unsigned char>(text[2])))
        return 0;
    if (text.size() > 3 && text[3] != ' ' && text[3] != '-') return 0;
    return std::stoi(text.substr(0, 3));
}

// With kSendAgain after it.
std::string ThenSendAgain(const msg::Message& reason) {
    return msg::Say(msg::kReasonThenSendAgain, {msg::Say(reason), msg::Say(msg::kSendAgain)});
}

}  // namespace

std::string MailErrorReason(const std::string& error) {
    // What happened, the likely cause and what to do; the server's own words follow in the log.
    struct Reason {
        std::string_view prefix;
        const msg::Message* text;
    };
    static constexpr Reason kReasons[] = {
        {"connection refused", &msg::kMailConnectionRefused},
        {"unknown server host", &msg::kMailUnknownHost},
        {"cannot connect to", &msg::kMailCannotConnect},
        {"time-out", &msg::kMailTimedOut},
        {"certificate not trusted", &msg::kMailCertificateUntrusted},
        {"certificate is for another host", &msg::kMailCertificateOtherHost},
        {"TLS is required", &msg::kMailNoStartTls},
        {"TLS failure", &msg::kMailTlsFailed},
        {"login refused", &msg::kMailLoginRefused},
        {"no login offered", &msg::kMailNoLoginOffered},
        {"connection closed by the server", &msg::kMailConnectionClosed},
    };
    for (const Reason& reason : kReasons)
        if (StartsWith(error, reason.prefix)) return ThenSendAgain(*reason.text);

    // The server's own refusals, by their reply code and enhanced status.
    const int code = ReplyCode(error);
    if (code == 530 || Contains(error, "5.7.0") || Contains(error, "authentication required"))
        return ThenSendAgain(msg::kMailLoginRequired);
    if (code == 552 || Contains(error, "5.3.4") || Contains(error, "too big") ||
        Contains(error, "size limit"))
        return ThenSendAgain(msg::kMailTooBig);
    if (code >= 500 &&
        (Contains(error, "sender") || Contains(error, "5.1.7") || Contains(error, "5.1.8")))
        return ThenSendAgain(msg::kMailSenderRefused);
    if (code >= 500 &&
        (Contains(error, "recipient") || Contains(error, "5.1.1") || Contains(error, "5.1.2") ||
         Contains(error, "5.1.3") || Contains(error, "user unknown") || Contains(error, "mailbox")))
        return ThenSendAgain(msg::kMailRecipientRefused);
    if (code >= 400 && code < 500) return std::string(msg::Say(msg::kMailTryLater));
    return {};
}

Text RunPlan::Body(const PostingInputs& inputs, int group) const {
    if (!storedBodies.empty()) return storedBodies[static_cast<std::size_t>(group)];
    return GroupBody(inputs.article, groups[static_cast<std::size_t>(group)], inputs.header,
                     inputs.footer);
}

RunPlan PlanRun(const PostingInputs& inputs) {
    RunPlan plan;
    plan.groups = PlanPostingSpans(inputs.article);
    plan.addresses = SplitAddresses(inputs.blogAddresses);
    if (NeedsMailServer(inputs.blogAddresses))
        plan.server = inputs.smtpServer + ":" + inputs.smtpPort;
    int number = 0;
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        for (const Text& address : plan.addresses) {
            plan.messages.push_back({++number, static_cast<int>(g), address, plan.groups[g].subject,
                                     KindOfLine(address.Bytes())});
        }
    }
    return plan;
}

RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan,
                          const StoppableMailSender& send, PostingEvents& events) {
    return RunPostingPlan(inputs, plan, Notifying(send), events);
}

namespace {

// What the mail call's end notice needs: the message going out and where to report it.
struct EndNotice {
    PostingEvents* events;
    const PlannedMessage* message;
    bool called = false;
    bool recorded = true;
    static void Call(void* context) {
        auto* notice = static_cast<EndNotice*>(context);
        notice->called = true;
        notice->recorded = notice->events->OnSendingEnd(*notice->message);
    }
};

}  // namespace

RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan,
                          const NotifyingMailSender& send, PostingEvents& events) {
    return RunPostingPlan(inputs, plan, send, BlogPoster{}, events);
}

namespace {

// The line of the log for a blog post that did not go, with the blog's own words after it.
Text BlogFailureLine(const PlannedMessage& message, const std::string& reason,
                     const std::string& detail) {
    return Text(
        msg::Say(msg::kLogBlogFailure, {message.address.Bytes(), message.subject.Bytes(), reason}) +
        (detail.empty() ? "" : " " + detail));
}

std::string Seconds(std::chrono::milliseconds wait) {
    return std::to_string((wait.count() + 999) / 1000);
}

}  // namespace

RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan,
                          const NotifyingMailSender& send, const BlogPoster& post,
                          PostingEvents& events) {
    namespace blogapi = qubopost::blogapi;
    RunOutcome outcome;
    outcome.total = static_cast<int>(plan.messages.size());
    events.OnRange(outcome.total);

    std::size_t next = 0;
    auto leaveTheRest = [&](const Text& reason) {
        for (; next < plan.messages.size(); ++next) {
            const PlannedMessage& message = plan.messages[next];
            if (events.AlreadySent(message)) continue;
            ++outcome.notSent;
            events.OnMessageResult(message, SendResult::Stopped, reason);
        }
    };

    int bodyGroup = -1;
    int loginDeferrals = 0;
    int blogTries = 0;  // of the message plan.messages[next], when it is a blog's
    std::size_t blogTriesOf = plan.messages.size();
    Text body;
    for (; next < plan.messages.size(); ++next) {
        const PlannedMessage& message = plan.messages[next];
        if (message.kind == DestinationKind::Blog &&
            std::find(outcome.refusedBlogs.begin(), outcome.refusedBlogs.end(), message.address) !=
                outcome.refusedBlogs.end() &&
            !events.AlreadySent(message)) {
            // The blog refused the login earlier in this run: one refusal is enough.
            ++outcome.notSent;
            events.OnMessageResult(message, SendResult::Stopped,
                                   Utf8Text(std::string(msg::Say(msg::kDetailBlogLoginRefused))));
            continue;
        }
        if (events.AlreadySent(message)) {
            events.LeftUncertain(message) ? ++outcome.uncertain : ++outcome.skipped;
            events.OnProgressStep();
            continue;
        }
        if (events.StopRequested()) {
            outcome.stopped = true;
            leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
            break;
        }
        if (message.group != bodyGroup) {
            bodyGroup = message.group;
            body = plan.Body(inputs, message.group);
            events.OnSubject(message.subject);
        }
        if (!events.OnSending(message)) {
            outcome.stopped = true;
            leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
            break;
        }
        if (message.kind == DestinationKind::Blog) {
            if (blogTriesOf != next) {
                blogTriesOf = next;
                blogTries = 0;
            }
            ++blogTries;
            EndNotice notice{&events, &message};
            blogapi::PostResult result;
            if (post) {
                result = post(message.address, message.subject, body, events.StopFlag(),
                              &EndNotice::Call, &notice);
            } else {
                result.outcome = blogapi::PostResult::Outcome::Failed;
                result.detail = msg::Say(msg::kDetailNoBlogPoster);
            }
            const int* stopFlag = events.StopFlag();
            // The flag is written by other threads (and signal handlers): read it atomically.
            const bool stopNow = (stopFlag && __atomic_load_n(stopFlag, __ATOMIC_ACQUIRE) != 0) ||
                                 events.StopRequested();
            bool pause = false;
            switch (result.outcome) {
                case blogapi::PostResult::Outcome::Posted:
                    ++outcome.sent;
                    events.OnPostLink(message, Text(result.link));
                    events.OnMessageResult(message, SendResult::Sent, Text(result.detail));
                    events.OnLogLine(Text(
                        msg::Say(msg::kLogBlogPosted, {message.address.Bytes(), result.link})));
                    events.OnProgressStep();
                    pause = true;
                    break;
                case blogapi::PostResult::Outcome::Uncertain:
                    ++outcome.uncertain;
                    events.OnMessageResult(message, SendResult::Uncertain, Text(result.detail));
                    events.OnLogLine(BlogFailureLine(
                        message, std::string(msg::Say(msg::kBlogPostUncertain)), result.detail));
                    pause = true;
                    break;
                case blogapi::PostResult::Outcome::Failed:
                    if (stopNow) {
                        outcome.stopped = true;
                        leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
                        break;
                    }
                    ++outcome.failed;
                    events.OnMessageResult(message, SendResult::Failed, Text(result.detail));
                    events.OnLogLine(BlogFailureLine(
                        message, std::string(msg::Say(msg::kBlogPostFailed)), result.detail));
                    break;
                case blogapi::PostResult::Outcome::LoginRefused: {
                    ++outcome.failed;
                    outcome.refusedBlogs.push_back(message.address);
                    events.OnMessageResult(message, SendResult::LoginRefused, Text(result.detail));
                    std::string advice;
                    if (const auto blog =
                            blogapi::ParseDestination(message.address.Bytes(), nullptr))
                        advice = BlogPasswordAdvice(*blog);
                    events.OnLogLine(
                        Text(msg::Say(msg::kBlogLoginRefusedLine,
                                      {message.address.Bytes(), advice, result.detail})));
                    break;
                }
                case blogapi::PostResult::Outcome::RetryLater: {
                    if (stopNow) {
                        outcome.stopped = true;
                        leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
                        break;
                    }
                    if (blogTries >= kBlogTriesPerMessage) {
                        ++outcome.failed;
                        events.OnMessageResult(message, SendResult::Failed, Text(result.detail));
                        events.OnLogLine(
                            BlogFailureLine(message,
                                            msg::Say(msg::kBlogRetryLaterGaveUp,
                                                     {std::to_string(kBlogTriesPerMessage)}),
                                            result.detail));
                        break;
                    }
                    const std::chrono::milliseconds wait = std::min<std::chrono::milliseconds>(
                        result.retryAfter.value_or(std::chrono::seconds(0)), kLongestBlogWait);
                    events.OnMessageResult(message, SendResult::Stopped, Text(result.detail));
                    events.OnLogLine(Text(msg::Say(
                        msg::kBlogRetryLater,
                        {message.address.Bytes(), std::to_string(blogTries),
                         std::to_string(kBlogTriesPerMessage),
                         result.retryAfter ? msg::Say(msg::kBlogRetryAfter, {Seconds(wait)})
                                           : std::string(),
                         result.detail})));
                    if (!events.PauseFor(wait)) {
                        outcome.stopped = true;
                        leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
                        break;
                    }
                    --next;  // the same message again
                    continue;
                }
            }
            if (!notice.recorded) {
                outcome.stopped = true;
                if (next < plan.messages.size()) ++next;
                leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailNotRecorded))));
                break;
            }
            if (outcome.stopped) break;
            if (pause && !events.Pause()) {
                ++next;
                if (next < plan.messages.size()) {
                    outcome.stopped = true;
                    leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
                }
                break;
            }
            continue;
        }
        char error[80] = {};
        EndNotice notice{&events, &message};
        const int code = send(plan.server.c_str(), message.address.c_str(),
                              inputs.fromAddress.c_str(), message.subject.c_str(), body.c_str(),
                              kMailTextsUtf8, error, events.StopFlag(), &EndNotice::Call, &notice);
        error[sizeof error - 1] = '\0';
        // The library's text is CP932 (English, or the server's reply where there was one).
        const std::string libraryText(error);
        const std::string errorText = ToUtf8(Text(libraryText));
        const SendResult result =
            code >= 0 && code <= 5 ? static_cast<SendResult>(code) : SendResult::Sent;
        // (a BSendMail result of 10 or more: sent, without a log line)
        switch (result) {
            case SendResult::Sent:
                ++outcome.sent;
                events.OnMessageResult(message, result, Text(errorText));
                if (code <= 9) events.OnLogLine(SuccessLogLine(message.address));
                events.OnProgressStep();
                break;
            case SendResult::Failed:
            case SendResult::Uncertain: {
                // The library's text (the server's reply where there was one) stays as it
                // came, behind a Japanese reason.
                const std::string reason = result == SendResult::Uncertain
                                               ? std::string(msg::Say(msg::kMailUncertain))
                                               : MailErrorReason(libraryText);
                const Text shown = reason.empty()
                                       ? Text(errorText)
                                       : Text(std::string(reason).append(" ").append(errorText));
                result == SendResult::Failed ? ++outcome.failed : ++outcome.uncertain;
                events.OnMessageResult(message, result, Text(errorText));
                events.OnLogLine(FailureLogLine(shown, plan.server, message.address,
                                                inputs.fromAddress, message.subject));
                break;
            }
            case SendResult::LoginRefused: {
                outcome.loginRefused = true;
                events.OnMessageResult(message, SendResult::Stopped, Text(errorText));
                ++outcome.notSent;
                events.OnLogLine(Text(
                    msg::Say(msg::kSmtpLoginRefusedLine, {inputs.smtpServer.Bytes(), errorText})));
                ++next;
                leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailLoginRefused))));
                break;
            }
            case SendResult::Stopped:
                outcome.stopped = true;
                leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
                break;
            case SendResult::LoginDeferred: {
                if (++loginDeferrals > kLoginDeferralsPerRun) {
                    outcome.loginRefused = true;
                    events.OnLogLine(
                        Text(msg::Say(msg::kSmtpLoginDeferredGaveUp,
                                      {inputs.smtpServer.Bytes(),
                                       std::to_string(kLoginDeferralsPerRun + 1), errorText})));
                    leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailLoginDeferred))));
                    break;
                }
                events.OnLogLine(Text(msg::Say(
                    msg::kSmtpLoginDeferred, {std::to_string(loginDeferrals),
                                              std::to_string(kLoginDeferralsPerRun), errorText})));
                events.OnMessageResult(message, SendResult::Stopped, Text(errorText));
                if (!events.Pause()) {
                    outcome.stopped = true;
                    leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
                    break;
                }
                --next;  // the same message again
                continue;
            }
        }
        if (!notice.recorded) {
            // The journal could not record that the end was going out: nothing more is sent.
            outcome.stopped = true;
            ++next;
            leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailNotRecorded))));
            break;
        }
        if (outcome.loginRefused || outcome.stopped) break;
        // No pause after a failure; the next address still gets the group. The pause
        // after the last message stays: it spaces this run from the next.
        if (result == SendResult::Sent || result == SendResult::Uncertain) {
            if (!events.Pause()) {
                ++next;
                if (next < plan.messages.size()) {
                    outcome.stopped = true;
                    leaveTheRest(Utf8Text(std::string(msg::Say(msg::kDetailStopped))));
                }
                break;
            }
        }
    }
    return outcome;
}

bool ExecutePosting(const PostingInputs& inputs, const MailSender& send, PostingEvents& events) {
    const RunPlan plan = PlanRun(inputs);
    return RunPostingPlan(inputs, plan, Stoppable(send), events).Succeeded();
}

}  // namespace qubopost::posting
