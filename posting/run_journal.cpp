#include "posting/run_journal.h"

#include "platform/encoding.h"
#include "resources/messages/messages.h"

using namespace qubopost::platform;

namespace qubopost::posting {

namespace journal = qubopost::journal;
namespace msg = qubopost::messages;

namespace {

journal::Time Now() {
    return std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
}

}  // namespace

std::unique_ptr<RunJournal> RunJournal::Open(const std::string& path, std::string* error) {
    auto opened = journal::Journal::Open(path);
    if (!opened) {
        if (error) *error = opened.error().message;
        return nullptr;
    }
    return std::unique_ptr<RunJournal>(new RunJournal(std::move(opened.value())));
}

std::string RunJournal::Identity(const PostingInputs& inputs) {
    return journal::RunIdentity({inputs.article.Bytes(), inputs.header.Bytes(),
                                 inputs.footer.Bytes(), inputs.blogAddresses.Bytes(),
                                 inputs.fromAddress.Bytes(), inputs.smtpServer.Bytes(),
                                 inputs.smtpPort.Bytes()});
}

RunJournal::Earlier RunJournal::Look(const std::string& identity, std::string* error) {
    Earlier earlier;
    auto unfinished = m_journal.FindUnfinished(identity);
    if (!unfinished) {
        if (error) *error = unfinished.error().message;
        return earlier;
    }
    earlier.unfinished = std::move(unfinished.value());
    if (earlier.unfinished) {
        for (const auto& message : earlier.unfinished->messages) {
            if (message.state == journal::MessageState::Sent) ++earlier.sent;
            if (message.state == journal::MessageState::Uncertain)
                earlier.uncertain.push_back(message);
        }
        return earlier;
    }
    auto finished = m_journal.LatestFinished(identity);
    if (finished && finished.value()) {
        earlier.finished = std::move(finished.value());
        for (const auto& message : earlier.finished->messages)
            if (message.state == journal::MessageState::Failed) ++earlier.failedInFinished;
    }
    return earlier;
}

bool RunJournal::Begin(const std::string& identity, const PostingInputs& inputs,
                       const RunPlan& plan, const std::string& trustFile, Mode mode,
                       bool resendUncertain, std::string* error, bool draft) {
    m_skip.clear();
    m_leftUncertain.clear();
    m_journal.Prune(Now());
    const Earlier earlier = Look(identity, error);
    const std::optional<journal::RunRecord>& earlierRun = mode == Mode::Resume ? earlier.unfinished
                                                          : mode == Mode::RetryFailed
                                                              ? earlier.finished
                                                              : std::nullopt;
    if (earlierRun && earlierRun->messages.size() == plan.messages.size()) {
        m_run = earlierRun->summary.id;
        for (const auto& message : earlierRun->messages) {
            const bool done =
                message.state == journal::MessageState::Sent ||
                (message.state == journal::MessageState::Uncertain && !resendUncertain) ||
                (mode == Mode::RetryFailed && message.state != journal::MessageState::Failed &&
                 !(message.state == journal::MessageState::Uncertain && resendUncertain));
            if (done) m_skip.insert(message.number);
            if (done && message.state == journal::MessageState::Uncertain)
                m_leftUncertain.insert(message.number);
        }
        const journal::Status resumed = m_journal.ResumeRun(m_run, Now());
        if (!resumed && error) *error = resumed.error().message;
        return resumed.ok();
    }
    journal::StoredRun stored;
    stored.sender = inputs.fromAddress.Bytes();
    stored.server = plan.server.Bytes();
    stored.trustFile = trustFile;
    stored.draft = draft;
    const int groups = plan.GroupCount();
    stored.bodies.reserve(static_cast<std::size_t>(groups));
    for (int g = 0; g < groups; ++g) stored.bodies.push_back(plan.Body(inputs, g).Bytes());
    stored.messages.reserve(plan.messages.size());
    for (const PlannedMessage& message : plan.messages)
        stored.messages.push_back(
            {message.number, message.group, message.address.Bytes(), message.subject.Bytes()});
    auto started = m_journal.StartStoredRun(identity, stored, Now());
    if (!started) {
        if (error) *error = started.error().message;
        return false;
    }
    m_run = started.value();
    return true;
}

bool RunJournal::Record(const PlannedMessage& message, SendResult result, const std::string& detail,
                        std::string* error, const std::string& link) {
    journal::Status status;
    switch (result) {
        case SendResult::Sent:
            status = m_journal.MarkSent(m_run, message.number, Now(), detail, link);
            break;
        case SendResult::Failed:
        case SendResult::LoginRefused:
            status = m_journal.MarkFailed(m_run, message.number, Now(), detail);
            break;
        case SendResult::Uncertain:
            status = m_journal.MarkUncertain(m_run, message.number, Now(), detail);
            break;
        case SendResult::Stopped:
        case SendResult::LoginDeferred:
            // Never handed over: stays to be sent by a later resume. A message marked as
            // going out (a mail call that could not say when its end went) did not arrive.
            if (message.number != m_inFlight) return true;
            status = m_journal.MarkFailed(m_run, message.number, Now(), detail);
            break;
    }
    m_inFlight = 0;
    if (!status && error) *error = status.error().message;
    return status.ok();
}

bool RunJournal::RecordSending(const PlannedMessage& message, std::string* error) {
    m_inFlight = message.number;
    const journal::Status status = m_journal.MarkUncertain(
        m_run, message.number, Now(),
        std::string(msg::Say(message.kind == DestinationKind::Blog ? msg::kDetailInterruptedPost
                                                                   : msg::kDetailInterruptedMail)));
    if (!status && error) *error = status.error().message;
    return status.ok();
}

void RunJournal::End(const RunOutcome& outcome) {
    m_journal.EndRun(m_run, Now(), outcome.Finished());
}

bool JournalEvents::AlreadySent(const PlannedMessage& message) {
    return m_journal && m_journal->Skip(message.number);
}

bool JournalEvents::LeftUncertain(const PlannedMessage& message) {
    return m_journal && m_journal->LeftUncertain(message.number);
}

bool JournalEvents::OnSendingEnd(const PlannedMessage& message) {
    if (!m_inner.OnSendingEnd(message)) return false;
    if (!m_journal || m_failed) return !m_failed;
    std::string error;
    if (!m_journal->RecordSending(message, &error)) {
        m_failed = true;
        m_inner.OnLogLine(Text(msg::Say(msg::kRunJournalStopped, {error})));
        return false;
    }
    return true;
}

void JournalEvents::OnPostLink(const PlannedMessage& message, const Text& link) {
    m_inner.OnPostLink(message, link);
    m_linkOf = message.number;
    m_link = link.Bytes();
}

void JournalEvents::OnMessageResult(const PlannedMessage& message, SendResult result,
                                    const Text& detail) {
    m_inner.OnMessageResult(message, result, detail);
    std::string link;
    if (m_linkOf == message.number) link.swap(m_link);
    m_linkOf = 0;
    if (!m_journal || m_failed) return;
    std::string error;
    if (!m_journal->Record(message, result, detail.Bytes(), &error, link)) {
        // Without the record a later resume could send this message twice: stop here.
        m_failed = true;
        m_inner.OnLogLine(Text(msg::Say(msg::kRunJournalStopped, {error})));
    }
}

}  // namespace qubopost::posting
