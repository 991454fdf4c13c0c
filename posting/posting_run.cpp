#include "posting/posting_run.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "platform/encoding.h"
#include "mail/mail_library.h"
#include "resources/strings.h"

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
    return [send = std::move(send)](const char* server, const char* to, const char* from, const char* subject,
                                    const char* body, const char* reserved, char* error, const int*) {
        const int result = send(server, to, from, subject, body, reserved, error);
        // Anything but 0 went out; results from 10 up are passed on (they write no log line).
        if (result >= 10) return result;
        if (result != 0) return static_cast<int>(SendResult::Sent);
        error[79] = '\0';
        return static_cast<int>(IsLoginRefusal(error) ? SendResult::LoginRefused : SendResult::Failed);
    };
}

NotifyingMailSender Notifying(StoppableMailSender send) {
    return [send = std::move(send)](const char* server, const char* to, const char* from, const char* subject,
                                    const char* body, const char* options, char* error, const int* stop,
                                    void (*beforeEnd)(void*), void* context) {
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
        !std::isdigit(static_cast<unsigned char>(text[1])) || !std::isdigit(static_cast<unsigned char>(text[2])))
        return 0;
    if (text.size() > 3 && text[3] != ' ' && text[3] != '-') return 0;
    return std::stoi(text.substr(0, 3));
}

constexpr std::string_view kSendAgain = "直してからもう一度「ブログ投稿開始」を押すと、送れなかったメールから送ります。";

}  // namespace

std::string MailErrorReason(const std::string& error) {
    // What happened, the likely cause and what to do; the server's own words follow in the log.
    struct Reason {
        std::string_view prefix;
        std::string_view japanese;
    };
    static constexpr Reason kReasons[] = {
        {"connection refused",
         "SMTPサーバに接続を断られました。サーバ名かポート番号が違うか、サーバが止まっている可能性があります。"
         "SMTPサーバアドレスとポートアドレスを確かめてください。"},
        {"unknown server host",
         "SMTPサーバが見つかりません。サーバ名の綴りが違うか、ネットワークにつながっていない可能性があります。"
         "SMTPサーバアドレスとネットワークの接続を確かめてください。"},
        {"cannot connect to",
         "SMTPサーバに接続できません。ネットワークかファイアウォールが接続を止めている可能性があります。"
         "ネットワークの接続とポートアドレスを確かめてください。"},
        {"time-out",
         "SMTPサーバから時間内に応答がありませんでした。サーバが混んでいるか、ネットワークが不安定な可能性があります。"
         "しばらく待ってから送り直してください。"},
        {"certificate not trusted",
         "SMTPサーバの証明書を信頼できないため、接続を止めました。自己署名の証明書を使うサーバなら、"
         "その証明書のファイルを設定ファイルの TrustFile に指定してください。"},
        {"certificate is for another host",
         "SMTPサーバの証明書は別のホスト名のものです。SMTPサーバアドレスには証明書にあるホスト名を入れてください。"},
        {"TLS is required",
         "このサーバは暗号化の STARTTLS に対応していないため、パスワードを送りませんでした。"
         "暗号化できるポート、普通は 587 か 465 を使ってください。"},
        {"TLS failure",
         "SMTPサーバとの暗号化の接続に失敗しました。ポート番号と暗号化の方式が合っているか確かめてください。"
         "普通は 465 が SMTPS、587 が STARTTLS です。"},
        {"login refused",
         "SMTPサーバがユーザー名またはパスワードを受け付けませんでした。"
         "右クリックメニューの「SMTP認証の設定…」で保存し直してください。"},
        {"no login offered",
         "SMTPサーバがログインを受け付けていません。ユーザー名とパスワードが要らないサーバなら、"
         "「SMTP認証の設定…」で保存したログインを削除してください。"},
        {"connection closed by the server",
         "SMTPサーバが途中で接続を切りました。サーバが混んでいるか、送信の制限にかかった可能性があります。"
         "しばらく待ってから送り直してください。"},
    };
    for (const Reason& reason : kReasons)
        if (StartsWith(error, reason.prefix)) return std::string(reason.japanese) + std::string(kSendAgain);

    // The server's own refusals, by their reply code and enhanced status.
    const int code = ReplyCode(error);
    if (code == 530 || Contains(error, "5.7.0") || Contains(error, "authentication required"))
        return "SMTPサーバが送信の前にログインを求めています。右クリックメニューの「SMTP認証の設定…」で"
               "ユーザー名とパスワードを保存してください。" + std::string(kSendAgain);
    if (code == 552 || Contains(error, "5.3.4") || Contains(error, "too big") || Contains(error, "size limit"))
        return "メールが大きすぎるため、SMTPサーバに断られました。記事を分けるなどして、1 通を小さくしてください。" +
               std::string(kSendAgain);
    if (code >= 500 && (Contains(error, "sender") || Contains(error, "5.1.7") || Contains(error, "5.1.8")))
        return "投稿元メールアドレスがSMTPサーバに断られました。サーバに登録したメールアドレスを"
               "投稿元メールアドレスに入れてください。" + std::string(kSendAgain);
    if (code >= 500 && (Contains(error, "recipient") || Contains(error, "5.1.1") || Contains(error, "5.1.2") ||
                        Contains(error, "5.1.3") || Contains(error, "user unknown") || Contains(error, "mailbox")))
        return "投稿先のアドレスがSMTPサーバに断られました。投稿先ブログアドレスの綴りを確かめてください。" +
               std::string(kSendAgain);
    if (code >= 400 && code < 500)
        return "SMTPサーバが今は受け付けられないと答えました。しばらく待ってから、もう一度「ブログ投稿開始」を押すと"
               "送れなかったメールから送ります。";
    return {};
}

Text RunPlan::Body(const PostingInputs& inputs, int group) const {
    if (!storedBodies.empty()) return storedBodies[static_cast<std::size_t>(group)];
    return GroupBody(inputs.article, groups[static_cast<std::size_t>(group)], inputs.header, inputs.footer);
}

RunPlan PlanRun(const PostingInputs& inputs) {
    RunPlan plan;
    plan.groups = PlanPostingSpans(inputs.article);
    plan.addresses = SplitAddresses(inputs.blogAddresses);
    if (NeedsMailServer(inputs.blogAddresses)) plan.server = inputs.smtpServer + ":" + inputs.smtpPort;
    int number = 0;
    for (std::size_t g = 0; g < plan.groups.size(); ++g) {
        for (const Text& address : plan.addresses) {
            plan.messages.push_back(
                {++number, static_cast<int>(g), address, plan.groups[g].subject, KindOfLine(address.Bytes())});
        }
    }
    return plan;
}

RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan, const StoppableMailSender& send,
                          PostingEvents& events) {
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

RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan, const NotifyingMailSender& send,
                          PostingEvents& events) {
    return RunPostingPlan(inputs, plan, send, BlogPoster{}, events);
}

namespace {

// The line of the log for a blog post that did not go, with the blog's own words after it.
Text BlogFailureLine(const PlannedMessage& message, const std::string& reason, const std::string& detail) {
    return Text("投稿エラー " + message.address.Bytes() + " 「" + message.subject.Bytes() + "」 " + reason +
                (detail.empty() ? "" : " " + detail));
}

std::string Seconds(std::chrono::milliseconds wait) {
    return std::to_string((wait.count() + 999) / 1000);
}

}  // namespace

RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan, const NotifyingMailSender& send,
                          const BlogPoster& post, PostingEvents& events) {
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
            events.OnMessageResult(message, SendResult::Stopped, Utf8Text("ログインが拒否されたため投稿していません"));
            continue;
        }
        if (events.AlreadySent(message)) {
            events.LeftUncertain(message) ? ++outcome.uncertain : ++outcome.skipped;
            events.OnProgressStep();
            continue;
        }
        if (events.StopRequested()) {
            outcome.stopped = true;
            leaveTheRest(Utf8Text("停止したため送信していません"));
            break;
        }
        if (message.group != bodyGroup) {
            bodyGroup = message.group;
            body = plan.Body(inputs, message.group);
            events.OnSubject(message.subject);
        }
        if (!events.OnSending(message)) {
            outcome.stopped = true;
            leaveTheRest(Utf8Text("停止したため送信していません"));
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
                result = post(message.address, message.subject, body, events.StopFlag(), &EndNotice::Call, &notice);
            } else {
                result.outcome = blogapi::PostResult::Outcome::Failed;
                result.detail = "ブログの API に投稿する手段がありません";
            }
            const int* stopFlag = events.StopFlag();
            // The flag is written by other threads (and signal handlers): read it atomically.
            const bool stopNow = (stopFlag && __atomic_load_n(stopFlag, __ATOMIC_ACQUIRE) != 0) || events.StopRequested();
            bool pause = false;
            switch (result.outcome) {
                case blogapi::PostResult::Outcome::Posted:
                    ++outcome.sent;
                    events.OnPostLink(message, Text(result.link));
                    events.OnMessageResult(message, SendResult::Sent, Text(result.detail));
                    events.OnLogLine(Text(message.address.Bytes() + ":投稿完了 " + result.link));
                    events.OnProgressStep();
                    pause = true;
                    break;
                case blogapi::PostResult::Outcome::Uncertain:
                    ++outcome.uncertain;
                    events.OnMessageResult(message, SendResult::Uncertain, Text(result.detail));
                    events.OnLogLine(BlogFailureLine(
                        message, "投稿結果不明（投稿を送った後で答えが来ませんでした。ブログに投稿されたか確認してください）",
                        result.detail));
                    pause = true;
                    break;
                case blogapi::PostResult::Outcome::Failed:
                    if (stopNow) {
                        outcome.stopped = true;
                        leaveTheRest(Utf8Text("停止したため送信していません"));
                        break;
                    }
                    ++outcome.failed;
                    events.OnMessageResult(message, SendResult::Failed, Text(result.detail));
                    events.OnLogLine(BlogFailureLine(message, "投稿できませんでした。", result.detail));
                    break;
                case blogapi::PostResult::Outcome::LoginRefused: {
                    ++outcome.failed;
                    outcome.refusedBlogs.push_back(message.address);
                    events.OnMessageResult(message, SendResult::LoginRefused, Text(result.detail));
                    std::string advice;
                    if (const auto blog = blogapi::ParseDestination(message.address.Bytes(), nullptr))
                        advice = BlogPasswordAdvice(*blog);
                    events.OnLogLine(Text("ブログ " + message.address.Bytes() +
                                          " への投稿を中止しました（この投稿先への残りの投稿はしません。ほかの投稿先へは続けます）。"
                                          "ユーザー名またはパスワードが受け付けられませんでした。" + advice + " " +
                                          result.detail));
                    break;
                }
                case blogapi::PostResult::Outcome::RetryLater: {
                    if (stopNow) {
                        outcome.stopped = true;
                        leaveTheRest(Utf8Text("停止したため送信していません"));
                        break;
                    }
                    if (blogTries >= kBlogTriesPerMessage) {
                        ++outcome.failed;
                        events.OnMessageResult(message, SendResult::Failed, Text(result.detail));
                        events.OnLogLine(BlogFailureLine(
                            message,
                            "ブログが " + std::to_string(kBlogTriesPerMessage) +
                                " 回続けて「あとで」と答えたため、投稿できませんでした（再開すると、もう一度試します）。",
                            result.detail));
                        break;
                    }
                    const std::chrono::milliseconds wait = std::min<std::chrono::milliseconds>(
                        result.retryAfter.value_or(std::chrono::seconds(0)), kLongestBlogWait);
                    events.OnMessageResult(message, SendResult::Stopped, Text(result.detail));
                    events.OnLogLine(Text("ブログ " + message.address.Bytes() +
                                          " が一時的に投稿を受け付けませんでした。間隔を空けてもう一度試します（" +
                                          std::to_string(blogTries) + " / " + std::to_string(kBlogTriesPerMessage) +
                                          " 回目" +
                                          (result.retryAfter ? "、ブログの指定で " + Seconds(wait) + " 秒以上待ちます"
                                                             : std::string()) +
                                          "）。 " + result.detail));
                    if (!events.PauseFor(wait)) {
                        outcome.stopped = true;
                        leaveTheRest(Utf8Text("停止したため送信していません"));
                        break;
                    }
                    --next;  // the same message again
                    continue;
                }
            }
            if (!notice.recorded) {
                outcome.stopped = true;
                if (next < plan.messages.size()) ++next;
                leaveTheRest(Utf8Text("投稿履歴に記録できないため送信していません"));
                break;
            }
            if (outcome.stopped) break;
            if (pause && !events.Pause()) {
                ++next;
                if (next < plan.messages.size()) {
                    outcome.stopped = true;
                    leaveTheRest(Utf8Text("停止したため送信していません"));
                }
                break;
            }
            continue;
        }
        char error[80] = {};
        EndNotice notice{&events, &message};
        const int code = send(plan.server.c_str(), message.address.c_str(), inputs.fromAddress.c_str(),
                              message.subject.c_str(), body.c_str(), kMailTextsUtf8, error, events.StopFlag(),
                              &EndNotice::Call, &notice);
        error[sizeof error - 1] = '\0';
        // The library's text is CP932 (English, or the server's reply where there was one).
        const std::string libraryText(error);
        const std::string errorText = ToUtf8(Text(libraryText));
        const SendResult result = code >= 0 && code <= 5 ? static_cast<SendResult>(code) : SendResult::Sent;
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
                const std::string reason =
                    result == SendResult::Uncertain
                        ? "送信結果不明（最後の「.」の後で接続が切れました。ブログに届いたか確認してください）"
                        : MailErrorReason(libraryText);
                const Text shown = reason.empty() ? Text(errorText) : Text(std::string(reason).append(" ").append(errorText));
                result == SendResult::Failed ? ++outcome.failed : ++outcome.uncertain;
                events.OnMessageResult(message, result, Text(errorText));
                events.OnLogLine(
                    FailureLogLine(shown, plan.server, message.address, inputs.fromAddress, message.subject));
                break;
            }
            case SendResult::LoginRefused: {
                outcome.loginRefused = true;
                events.OnMessageResult(message, SendResult::Stopped, Text(errorText));
                ++outcome.notSent;
                events.OnLogLine(
                    Text("ブログへの投稿を中止しました。SMTPサーバ（" + inputs.smtpServer.Bytes() +
                         "）がユーザー名またはパスワードを受け付けませんでした。右クリックメニューの"
                         "「SMTP認証の設定…」（コマンドラインでは qubopost-cli credentials）で確認してください。 " +
                         errorText));
                ++next;
                leaveTheRest(Utf8Text("ログインが拒否されたため送信していません"));
                break;
            }
            case SendResult::Stopped:
                outcome.stopped = true;
                leaveTheRest(Utf8Text("停止したため送信していません"));
                break;
            case SendResult::LoginDeferred: {
                if (++loginDeferrals > kLoginDeferralsPerRun) {
                    outcome.loginRefused = true;
                    events.OnLogLine(Text("ブログへの投稿を中止しました。SMTPサーバ（" + inputs.smtpServer.Bytes() +
                                          "）が " + std::to_string(kLoginDeferralsPerRun + 1) +
                                          " 回続けてログインを一時的に断りました。しばらくしてから、もう一度投稿してください"
                                          "（続きから再開できます）。 " + errorText));
                    leaveTheRest(Utf8Text("ログインが一時的に拒否されたため送信していません"));
                    break;
                }
                events.OnLogLine(Text("SMTPサーバがログインを一時的に断りました。間隔を空けてもう一度試します（" +
                                      std::to_string(loginDeferrals) + " / " + std::to_string(kLoginDeferralsPerRun) +
                                      " 回目）。 " + errorText));
                events.OnMessageResult(message, SendResult::Stopped, Text(errorText));
                if (!events.Pause()) {
                    outcome.stopped = true;
                    leaveTheRest(Utf8Text("停止したため送信していません"));
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
            leaveTheRest(Utf8Text("投稿履歴に記録できないため送信していません"));
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
                    leaveTheRest(Utf8Text("停止したため送信していません"));
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
