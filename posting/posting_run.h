// The posting run: every group of the article text to every destination address, one
// message at a time, with a log line after each message and a pause after each message
// that went out. A run can be stopped between and during messages, can skip messages
// an earlier, interrupted run already sent, and stops at once when the server refuses
// the login (so a wrong password costs one attempt, not one per message).
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "blogapi/blogapi.h"
#include "platform/text.h"
#include "posting/destinations.h"
#include "posting/posting_plan.h"

namespace qubopost::posting {

// The BSendMail call: server "host:port", recipient, sender, subject, body, "" and an
// 80-byte error buffer. 0: failed, with the reason in the buffer; anything else: done.
using MailSender =
    std::function<int(const char* server, const char* to, const char* from, const char* subject,
                      const char* body, const char* reserved, char* error)>;

// What became of one message.
enum class SendResult {
    Failed = 0,         // not delivered; the error says why
    Sent = 1,           // the server accepted it
    Uncertain = 2,      // the connection broke after the final "." and before the answer
    LoginRefused = 3,   // the server refused the user name or password; nothing was sent
    Stopped = 4,        // stopped before the final ".": not delivered
    LoginDeferred = 5,  // the server refused the login for now (454, 421): nothing was sent
};

// The mail call with a stop flag: the numbers of SendResult come back. The flag, when
// set, aborts a transfer whose final "." has not gone out yet.
using StoppableMailSender =
    std::function<int(const char* server, const char* to, const char* from, const char* subject,
                      const char* body, const char* reserved, char* error, const int* stop)>;

// The BSendMail call as a stoppable one (it can't be stopped halfway; 0 → Failed, else Sent).
StoppableMailSender Stoppable(MailSender send);

// The mail call that also says when the end of the message (its final ".") is about to go
// out: beforeEnd(context) is called then, once; until then the message cannot have arrived.
using NotifyingMailSender = std::function<int(
    const char* server, const char* to, const char* from, const char* subject, const char* body,
    const char* options, char* error, const int* stop, void (*beforeEnd)(void*), void* context)>;

// A stoppable call that does not say when the end goes out: the whole call counts as
// handing over the end (beforeEnd is called before it starts).
NotifyingMailSender Notifying(StoppableMailSender send);

// Everything a run sends, copied when the run starts: UTF-8 texts, as typed.
struct PostingInputs {
    platform::Text smtpServer;
    platform::Text smtpPort;
    platform::Text fromAddress;
    platform::Text blogAddresses;  // one address per line
    platform::Text article;
    platform::Text header;
    platform::Text footer;
};

// One message of a run, in the run's order: group by group, each group to every address.
struct PlannedMessage {
    int number = 0;  // 1-based
    int group = 0;   // index into the run's groups
    platform::Text address;
    platform::Text subject;
    DestinationKind kind = DestinationKind::Mail;  // a blog's URL: posted through its API
};

struct RunPlan {
    std::vector<PostingGroupSpan> groups;  // offsets into the article: the text is held once
    std::vector<platform::Text> addresses;
    std::vector<PlannedMessage> messages;
    platform::Text server;  // "host:port"; empty when no destination is a mail address
    // A run taken back from the journal has its bodies here, one per group, and no spans.
    std::vector<platform::Text> storedBodies;
    // The body of a group's messages: header, the group's text, footer.
    platform::Text Body(const PostingInputs& inputs, int group) const;
    int GroupCount() const {
        return static_cast<int>(storedBodies.empty() ? groups.size() : storedBodies.size());
    }
};

RunPlan PlanRun(const PostingInputs& inputs);

// Posts one group to a blog destination (a PlannedMessage of kind Blog) through the blog's API:
// destination (the line as typed), title (the group's subject) and body (header, articles and
// footer as text). beforeSend(context) is called once, just before the request carrying the
// entry goes out: until then nothing can have been posted. `stop`, once non-zero, ends the post
// within about a second (Failed before that request, Uncertain after it).
using BlogPoster = std::function<qubopost::blogapi::PostResult(
    const platform::Text& destination, const platform::Text& title, const platform::Text& body,
    const int* stop, void (*beforeSend)(void*), void* context)>;

// What a run reports while it works, and how it waits.
class PostingEvents {
public:
    virtual ~PostingEvents() = default;
    virtual void OnRange(int maximum) = 0;
    // A message is done with (sent now or earlier): the progress bar moves on by one.
    virtual void OnProgressStep() = 0;
    virtual void OnLogLine(const platform::Text& line) = 0;  // UTF-8
    virtual void OnSubject(const platform::Text&) {}
    // Waits after a message. false: the run is to stop.
    virtual bool Pause() = 0;
    // Waits the pause, or `atLeast` when that is longer (a blog's Retry-After). false: the run
    // is to stop.
    virtual bool PauseFor(std::chrono::milliseconds /*atLeast*/) { return Pause(); }
    virtual bool StopRequested() = 0;
    // Set while the run is to stop; handed to the mail call.
    virtual const int* StopFlag() { return nullptr; }
    // Messages an earlier, interrupted run of the same inputs delivered: skipped.
    virtual bool AlreadySent(const PlannedMessage&) { return false; }
    // Of those skipped, the ones whose fate is unknown (left uncertain, not sent again): the
    // run counts them as uncertain, never as sent.
    virtual bool LeftUncertain(const PlannedMessage&) { return false; }
    // A message is about to be handed to the mail call. false: don't send it, stop the run.
    virtual bool OnSending(const PlannedMessage&) { return true; }
    // Its end (the final ".") is about to go out: from now on it may have arrived. false: the
    // record of that failed; the run is to stop (the end is held back where the call allows).
    virtual bool OnSendingEnd(const PlannedMessage&) { return true; }
    // Every message's fate as it is known, before the run moves on. `detail` is the
    // server's reply or the reason.
    virtual void OnMessageResult(const PlannedMessage&, SendResult,
                                 const platform::Text& /*detail*/) {}
    // The address of the post a blog made for a message, just before its OnMessageResult (Sent).
    virtual void OnPostLink(const PlannedMessage&, const platform::Text& /*link*/) {}
};

struct RunOutcome {
    int total = 0;
    int sent = 0;     // this run
    int skipped = 0;  // sent by an earlier run
    int failed = 0;
    int uncertain = 0;          // this run, or left uncertain by an earlier one
    int notSent = 0;            // left when the run stopped
    bool loginRefused = false;  // the SMTP server refused the login: the run stopped there
    // Blog destinations that refused the login (or have no password): their other messages
    // were not sent; the rest of the run went on.
    std::vector<platform::Text> refusedBlogs;
    bool stopped = false;
    // Every message went out (now or earlier), and there was one at least.
    bool Succeeded() const { return total > 0 && sent + skipped == total; }
    // Every message was tried: the run ran to its end.
    bool Finished() const { return !stopped && !loginRefused && refusedBlogs.empty(); }
};

// The log lines.
platform::Text FailureLogLine(const platform::Text& error, const platform::Text& server,
                              const platform::Text& address, const platform::Text& from,
                              const platform::Text& subject);
platform::Text SuccessLogLine(const platform::Text& address);
// A Japanese reason for the mail library's error text, put in front of it in the log;
// "" when the text is no transport failure the program knows.
std::string MailErrorReason(const std::string& error);
// Whether an error text of the BSendMail call says that the login was refused.
bool IsLoginRefusal(const std::string& error);

// A temporary refusal of the login is tried again after the pause at most this many times in
// a run; then the run stops as for a refusal.
inline constexpr int kLoginDeferralsPerRun = 3;

// A blog that answers "later" (429, 5xx) gets a message at most this many times in all; each
// try after the pause or the blog's Retry-After, whichever is longer, but never longer than
// kLongestBlogWait.
inline constexpr int kBlogTriesPerMessage = 3;
inline constexpr std::chrono::minutes kLongestBlogWait{10};

RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan,
                          const StoppableMailSender& send, PostingEvents& events);
RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan,
                          const NotifyingMailSender& send, PostingEvents& events);
// The same with the blog destinations posted through `post` (without it they fail).
RunOutcome RunPostingPlan(const PostingInputs& inputs, const RunPlan& plan,
                          const NotifyingMailSender& send, const BlogPoster& post,
                          PostingEvents& events);
// Runs the posting. true only when every message went out (and there was one at least).
bool ExecutePosting(const PostingInputs& inputs, const MailSender& send, PostingEvents& events);

}  // namespace qubopost::posting
