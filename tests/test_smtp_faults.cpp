// The posting run against SMTP servers that fail at every stage of the dialogue: each
// stage answers 4xx, answers 5xx, drops the connection or stalls, on the first message
// only. The run must log one failure with a reason, go on to the next message, send
// nothing twice and end with the failure verdict.
#include <gtest/gtest.h>

#include <mutex>

#include "mail/bsmtp.h"
#include "platform/encoding.h"
#include "posting/posting_run.h"
#include "raw_peer.h"
#include "smtp_fixture.h"

using namespace qubopost::platform;
using namespace qubopost::posting;

using qubopost::test::SmtpClientEnvironment;

namespace {

enum class Stage { Greeting, Ehlo, StartTls, Auth, Mail, Rcpt, Data, AfterDot };
enum class Fault { Transient, Permanent, Drop, Stall };

const char* StageName(Stage s) {
    static const char* names[] = {"greeting", "EHLO", "STARTTLS", "AUTH",
                                  "MAIL",     "RCPT", "DATA",     "after the dot"};
    return names[static_cast<int>(s)];
}
const char* FaultName(Fault f) {
    static const char* names[] = {"4xx", "5xx", "drop", "stall"};
    return names[static_cast<int>(f)];
}

// An SMTP server that misbehaves at one stage of its first connection and behaves on the others.
class FaultyServer {
public:
    FaultyServer(Stage stage, Fault fault)
        : m_stage(stage),
          m_fault(fault),
          m_peer([this](int fd, const std::atomic<bool>& stop) { Converse(fd, stop); }) {}

    int Port() const { return m_peer.Port(); }
    // Recipients of the messages whose final dot was accepted.
    std::vector<std::string> Delivered() {
        std::lock_guard lock(m_mutex);
        return m_delivered;
    }

private:
    // Answers the faulty stage; false when the conversation is over.
    bool Answer(int fd, Stage stage, const std::string& good, bool faulty,
                const std::atomic<bool>& stop) {
        if (!faulty || stage != m_stage) return RawPeer::SendAll(fd, good + "\r\n");
        switch (m_fault) {
            case Fault::Transient:
                RawPeer::SendAll(
                    fd, "451 4.3.0 Temporary trouble at " + std::string(StageName(stage)) + "\r\n");
                return stage != Stage::Greeting;
            case Fault::Permanent:
                RawPeer::SendAll(fd,
                                 "554 5.7.1 Refused at " + std::string(StageName(stage)) + "\r\n");
                return stage != Stage::Greeting;
            case Fault::Drop:
                return false;
            case Fault::Stall:
                RawPeer::Stall(fd, stop);
                return false;
        }
        return false;
    }

    void Converse(int fd, const std::atomic<bool>& stop) {
        const bool faulty = m_connections.fetch_add(1) == 0;
        if (!Answer(fd, Stage::Greeting, "220 peer.test ESMTP", faulty, stop)) return;
        std::string pending, recipient;
        for (;;) {
            const auto end = pending.find("\r\n");
            if (end == std::string::npos) {
                const std::string more = RawPeer::ReadUntil(fd, "\r\n", stop);
                if (more.empty()) return;
                pending += more;
                continue;
            }
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 2);
            std::string verb = line.substr(0, line.find(' '));
            for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            bool ok = true;
            if (verb == "EHLO" || verb == "HELO") {
                std::string reply = "250-peer.test\r\n250-AUTH PLAIN LOGIN\r\n";
                if (m_stage == Stage::StartTls) reply += "250-STARTTLS\r\n";
                ok = Answer(fd, Stage::Ehlo, reply + "250 8BITMIME", faulty, stop);
            } else if (verb == "STARTTLS") {
                // No TLS here: a server that offers it and then does not deliver.
                ok = Answer(fd, Stage::StartTls, "454 4.7.0 TLS not available", faulty, stop);
            } else if (verb == "AUTH") {
                // PLAIN without an initial response takes one more line, LOGIN two.
                const bool login = line.find("LOGIN") != std::string::npos;
                const bool initialResponse = !login && line.find(' ', 5) != std::string::npos;
                int continuations = login ? 2 : (initialResponse ? 0 : 1);
                if (faulty && m_stage == Stage::Auth) continuations = 0;
                for (; continuations > 0; --continuations) {
                    if (!RawPeer::SendAll(fd, "334 \r\n")) return;
                    if (pending.find("\r\n") == std::string::npos)
                        pending += RawPeer::ReadUntil(fd, "\r\n", stop);
                    const auto next = pending.find("\r\n");
                    if (next == std::string::npos) return;
                    pending.erase(0, next + 2);
                }
                ok = Answer(fd, Stage::Auth, "235 2.7.0 Authentication successful", faulty, stop);
            } else if (verb == "MAIL") {
                ok = Answer(fd, Stage::Mail, "250 2.1.0 Ok", faulty, stop);
            } else if (verb == "RCPT") {
                recipient = line.substr(line.find(':') + 1);
                ok = Answer(fd, Stage::Rcpt, "250 2.1.5 Ok", faulty, stop);
            } else if (verb == "DATA") {
                ok = Answer(fd, Stage::Data, "354 End data with <CR><LF>.<CR><LF>", faulty, stop);
                if (!ok || (faulty && m_stage == Stage::Data)) {
                    if (!ok) return;
                    continue;
                }
                std::string data = pending;
                pending.clear();
                if (data.find("\r\n.\r\n") == std::string::npos)
                    data += RawPeer::ReadUntil(fd, "\r\n.\r\n", stop);
                if (data.find("\r\n.\r\n") == std::string::npos) return;
                pending = data.substr(data.find("\r\n.\r\n") + 5);
                ok = Answer(fd, Stage::AfterDot, "250 2.0.0 Ok: queued", faulty, stop);
                if (ok && !(faulty && m_stage == Stage::AfterDot)) {
                    std::lock_guard lock(m_mutex);
                    m_delivered.push_back(recipient);
                }
            } else if (verb == "QUIT") {
                RawPeer::SendAll(fd, "221 2.0.0 Bye\r\n");
                return;
            } else {
                ok = RawPeer::SendAll(fd, "250 2.0.0 Ok\r\n");
            }
            if (!ok) return;
        }
    }

    Stage m_stage;
    Fault m_fault;
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::vector<std::string> m_delivered;
    RawPeer m_peer;  // last: its connections end before the members they use
};

class Log : public PostingEvents {
public:
    void OnRange(int) override {}
    void OnProgressStep() override {}
    void OnLogLine(const Text& line) override { lines.push_back(line.Bytes()); }
    bool Pause() override { return true; }
    bool StopRequested() override { return false; }
    std::vector<std::string> lines;
};

}  // namespace

TEST(SmtpFaults, EveryStageAndFaultFailsOneMessageAndTheRunGoesOn) {
    SmtpClientEnvironment client;
    client.writeNetrc("machine 127.0.0.1 login blogger password secret-pass\n");
    client.setTimeouts(2000, 700);
    const Text article(
        "\r\n\r\n-----into-----\r\n\r\n[title]件名\r\n\r\n本文\r\n\r\n-----into-----");
    for (Stage stage : {Stage::Greeting, Stage::Ehlo, Stage::StartTls, Stage::Auth, Stage::Mail,
                        Stage::Rcpt, Stage::Data, Stage::AfterDot}) {
        for (Fault fault : {Fault::Transient, Fault::Permanent, Fault::Drop, Fault::Stall}) {
            SCOPED_TRACE(std::string(StageName(stage)) + " " + FaultName(fault));
            FaultyServer server(stage, fault);
            const PostingInputs inputs{"127.0.0.1",
                                       Text(std::to_string(server.Port())),
                                       "me@example.jp",
                                       "first@example.jp\r\nsecond@example.jp",
                                       article,
                                       "",
                                       ""};
            Log log;
            const bool verdict = ExecutePosting(inputs, BSendMail, log);

            // A refused STARTTLS on loopback lets the message go on without TLS; any other
            // fault fails the first message.
            const bool downgraded = stage == Stage::StartTls &&
                                    (fault == Fault::Transient || fault == Fault::Permanent);
            if (downgraded) {
                EXPECT_TRUE(verdict);
                EXPECT_EQ(server.Delivered(),
                          (std::vector<std::string>{"<first@example.jp>", "<second@example.jp>"}));
                continue;
            }
            // A lasting refusal of the login (554 to AUTH) ends the run: every further message
            // would be refused the same way.
            if (stage == Stage::Auth && fault == Fault::Permanent) {
                EXPECT_FALSE(verdict);
                ASSERT_EQ(log.lines.size(), 1u);
                EXPECT_NE(log.lines[0].find("554"), std::string::npos) << log.lines[0];
                EXPECT_EQ(log.lines[0].find("secret-pass"), std::string::npos);
                EXPECT_TRUE(server.Delivered().empty());
                continue;
            }
            EXPECT_FALSE(verdict);
            ASSERT_EQ(log.lines.size(), 2u);
            EXPECT_EQ(log.lines[0].rfind("送信エラー (", 0), 0u) << log.lines[0];
            const std::string reason = log.lines[0].substr(log.lines[0].find('(') + 1);
            EXPECT_NE(reason.find(')'), 0u) << "no reason given";
            if (fault == Fault::Transient) {
                EXPECT_NE(log.lines[0].find("451"), std::string::npos) << log.lines[0];
            }
            if (fault == Fault::Permanent) {
                EXPECT_NE(log.lines[0].find("554"), std::string::npos) << log.lines[0];
            }
            EXPECT_EQ(log.lines[0].find("secret-pass"), std::string::npos);
            EXPECT_EQ(log.lines[1], "second@example.jp:送信完了");
            // Nothing twice: the failed message never arrived, the next one once.
            EXPECT_EQ(server.Delivered(), std::vector<std::string>{"<second@example.jp>"});
        }
    }
}
