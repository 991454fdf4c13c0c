// The posting run: every group of the article text to every destination address, one
// message at a time, with a log line after each message and a pause after each message
// that went out.
#pragma once

#include <functional>

#include "platform/text.h"

// The mail call: server "host:port", recipient, sender, subject, body, "" and an
// 80-byte error buffer. 0: failed, with the reason in the buffer; anything else: done.
using MailSender = std::function<int(const char* server, const char* to, const char* from, const char* subject,
                                     const char* body, const char* reserved, char* error)>;

// Everything a run sends, copied when the run starts.
struct PostingInputs {
    Text smtpServer;
    Text smtpPort;
    Text fromAddress;
    Text blogAddresses;  // one address per line
    Text article;
    Text header;
    Text footer;
};

// What a run reports while it works, and how it waits.
class PostingEvents {
public:
    virtual ~PostingEvents() = default;
    virtual void OnRange(int maximum) = 0;
    // A message went out: the progress bar moves on by one.
    virtual void OnProgressStep() = 0;
    virtual void OnLogLine(const Text& line) = 0;
    virtual void OnSubject(const Text&) {}
    // Waits after a message. false: the run is to stop.
    virtual bool Pause() = 0;
    virtual bool StopRequested() = 0;
};

// The log lines.
Text FailureLogLine(const Text& error, const Text& server, const Text& address, const Text& from,
                    const Text& subject);
Text SuccessLogLine(const Text& address);

// Runs the posting. true only when every message went out (and there was one at least).
bool ExecutePosting(const PostingInputs& inputs, const MailSender& send, PostingEvents& events);
