// The posting engine's rules for blog destinations, through its own wiring (blogapi, the
// password from ~/.netrc of a throw-away HOME, the journal in a temporary folder) against a small
// AtomPub server on 127.0.0.1 that answers from a script: "later" (429/5xx) is tried again after
// the pause or the blog's Retry-After, at most three times a message, and that wait ends with a
// stop; a refused login stops that blog only; an entry sent without an answer stays uncertain and
// is not sent again by a resume.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine_run.h"
#include "http_server.h"
#include "journal/journal.h"
#include "posting/posting_engine.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "wait_for.h"

using namespace qubopost::platform;
using namespace qubopost::posting;

namespace journal = qubopost::journal;
using qubopost::test::EngineRun;
using qubopost::test::WaitFor;

namespace {

// One answer to a POST of an entry.
struct Answer {
    int status = 201;
    const char* retryAfter = nullptr;
    bool hold = false;  // answer only when released (the entry has arrived)
};

class ScriptedAtomPub {
public:
    explicit ScriptedAtomPub(std::vector<Answer> script) : m_script(std::move(script)) {}
    ~ScriptedAtomPub() { Release(); }
    std::string Base() const { return m_server.Base(); }
    int Posts() const { return m_posts; }
    void Release() {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_release.notify_all();
    }

private:
    void Serve(const httplib::Request& q, httplib::Response& r) {
        if (q.method == "GET" && q.path == "/atom") {
            if (q.get_header_value("X-WSSE").find("Username=\"taro\"") == std::string::npos) {
                r.status = 401;
                return;
            }
            r.set_content(
                "<?xml version=\"1.0\" encoding=\"utf-8\"?><service xmlns=\"http://www.w3.org/2007/app\" "
                "xmlns:atom=\"http://www.w3.org/2005/Atom\"><workspace><atom:title>b</atom:title>"
                "<collection href=\"" +
                    Base() +
                    "/atom/entry\"><atom:title>e</atom:title>"
                    "<accept>application/atom+xml;type=entry</accept></collection></workspace></service>",
                "application/atomsvc+xml");
            return;
        }
        if (q.method != "POST" || q.path != "/atom/entry") {
            r.status = 404;
            return;
        }
        const int n = ++m_posts;
        const Answer answer = n <= static_cast<int>(m_script.size())
                                  ? m_script[static_cast<std::size_t>(n - 1)]
                                  : Answer{};
        if (answer.hold) {
            std::unique_lock lock(m_mutex);
            m_release.wait_for(lock, std::chrono::seconds(20), [this] { return m_released; });
        }
        r.status = answer.status;
        if (answer.retryAfter) r.set_header("Retry-After", answer.retryAfter);
        if (answer.status == 201) {
            r.set_header("Location", Base() + "/atom/entry/" + std::to_string(n));
            r.set_content(
                "<entry xmlns=\"http://www.w3.org/2005/Atom\"><link rel=\"alternate\" type=\"text/html\" "
                "href=\"https://blog.test/entry/" +
                    std::to_string(n) + "\"/><title>x</title></entry>",
                "application/atom+xml;type=entry");
        }
    }

    std::vector<Answer> m_script;
    std::atomic<int> m_posts{0};
    std::mutex m_mutex;
    std::condition_variable m_release;
    bool m_released = false;
    // Last: it serves from its construction on, and stops first.
    LocalHttpServer m_server{
        [this](const httplib::Request& q, httplib::Response& r) { Serve(q, r); },
        LocalHttpServer::Methods::GetAndPost};
};

// A throw-away HOME with a ~/.netrc for taro at 127.0.0.1, no NETRC and no session bus.
class NetrcHome {
public:
    NetrcHome() {
        m_environment.writeNetrc("machine 127.0.0.1 login taro password \"pass word\"\n");
    }
    std::string Journal() const { return m_environment.home() + "/state/history.sqlite3"; }

private:
    qubopost::test::SmtpClientEnvironment m_environment;
};

// Two groups to the blog; no mail destination, so no SMTP server.
PostingInputs Inputs(const ScriptedAtomPub& blog) {
    PostingInputs inputs;
    inputs.blogAddresses = Text("atompub+http://taro@" + blog.Base().substr(7) + "/atom");
    inputs.article = Text(
        std::string("-----into-----[title]一\r\nx\r\n-----into-----[title]二\r\ny\r\n-----into-----"
                    "[title]三\r\nz\r\n-----into-----[title]四\r\nw\r\n-----into-----"));
    return inputs;
}

EngineSetup BlogSetup(const NetrcHome& home) {
    EngineSetup setup;
    setup.journalPath = home.Journal();
    setup.pause = std::chrono::milliseconds(0);
    return setup;
}

std::vector<journal::MessageRecord> Messages(const NetrcHome& home, journal::RunId run) {
    return qubopost::test::JournalMessages(home.Journal(), run);
}

TEST(BlogEngine, LaterIsTriedAgainAndARefusedLoginStopsThatBlogOnly) {
    using S = journal::MessageState;
    struct Case {
        const char* what;
        std::vector<Answer> script;
        int posts;  // POSTs the server gets
        int sent, failed, notSent;
        bool finished;
        S first, second;  // the two messages as the journal keeps them
        const char* secondLink;
    };
    const Case cases[] = {
        {"503 with Retry-After, then posted",
         {{503, "1"}},
         3,
         2,
         0,
         0,
         true,
         S::Sent,
         S::Sent,
         "https://blog.test/entry/3"},
        {"429 without Retry-After, then posted",
         {{429}},
         3,
         2,
         0,
         0,
         true,
         S::Sent,
         S::Sent,
         "https://blog.test/entry/3"},
        {"500 three times: failed; the next group goes",
         {{500}, {502}, {503}},
         4,
         1,
         1,
         0,
         true,
         S::Failed,
         S::Sent,
         "https://blog.test/entry/4"},
        {"401: that blog gets nothing more", {{401}}, 1, 0, 1, 1, false, S::Failed, S::Pending, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NetrcHome home;
        ScriptedAtomPub blog(c.script);
        EngineRun run(BlogSetup(home));
        std::string message;
        ASSERT_EQ(run.Prepare(Inputs(blog), &message), PostingEngine::Ready::Go) << message;
        ASSERT_EQ(run.engine.Plan().server.Bytes(), "") << "no mail destination, no SMTP server";
        const RunOutcome outcome = run.Run();
        const std::string& log = run.shown.log;
        EXPECT_EQ(blog.Posts(), c.posts) << log;
        EXPECT_EQ(outcome.sent, c.sent);
        EXPECT_EQ(outcome.failed, c.failed);
        EXPECT_EQ(outcome.notSent, c.notSent);
        EXPECT_EQ(outcome.Finished(), c.finished);
        EXPECT_EQ(outcome.refusedBlogs.size(), c.finished ? 0u : 1u);
        const auto messages = Messages(home, run.engine.RunId());
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0].state, c.first);
        EXPECT_EQ(messages[1].state, c.second);
        EXPECT_EQ(messages[1].link, c.secondLink);
        if (!c.finished) {
            EXPECT_NE(log.find("qubopost-cli credentials set --server " + blog.Base().substr(7) +
                               " --user taro"),
                      std::string::npos)
                << log;
        }
    }
}

TEST(BlogEngine, TheWaitForALaterBlogEndsWithTheStop) {
    NetrcHome home;
    ScriptedAtomPub blog({{503, "600"}});
    EngineRun engine(BlogSetup(home));
    ASSERT_EQ(engine.Prepare(Inputs(blog)), PostingEngine::Ready::Go);
    auto run = std::async(std::launch::async, [&] { return engine.Run(); });
    ASSERT_TRUE(WaitFor([&] { return blog.Posts() > 0; }, "the first entry"));
    ASSERT_EQ(blog.Posts(), 1);
    engine.stop.Stop();
    ASSERT_EQ(run.wait_for(std::chrono::seconds(30)), std::future_status::ready)
        << "the 600 s wait did not end";
    const RunOutcome outcome = run.get();
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.sent, 0);
    EXPECT_EQ(blog.Posts(), 1);
}

TEST(BlogEngine, AnEntryWithoutAnAnswerStaysUncertainAndIsNotSentAgain) {
    NetrcHome home;
    ScriptedAtomPub blog({{201, nullptr, true}});
    journal::RunId id = 0;
    {
        EngineRun engine(BlogSetup(home));
        ASSERT_EQ(engine.Prepare(Inputs(blog)), PostingEngine::Ready::Go);
        auto run = std::async(std::launch::async, [&] { return engine.Run(); });
        ASSERT_TRUE(WaitFor([&] { return blog.Posts() > 0; }, "the first entry"));
        ASSERT_EQ(blog.Posts(), 1);
        engine.stop.Stop();  // the entry is at the blog, its answer not yet
        ASSERT_EQ(run.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        const RunOutcome outcome = run.get();
        EXPECT_EQ(outcome.uncertain, 1);
        EXPECT_TRUE(outcome.stopped);
        id = engine.engine.RunId();
    }
    blog.Release();
    const auto before = Messages(home, id);
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].state, journal::MessageState::Uncertain);

    // The same inputs again: the run goes on, the uncertain entry is not sent again.
    EngineRun again(BlogSetup(home));
    ASSERT_EQ(again.Prepare(Inputs(blog)), PostingEngine::Ready::Go);
    const RunOutcome outcome = again.Run();
    EXPECT_EQ(again.engine.RunId(), id);
    EXPECT_EQ(blog.Posts(), 2) << again.shown.log;
    EXPECT_EQ(outcome.sent, 1);
    EXPECT_EQ(outcome.uncertain, 1);
    const auto after = Messages(home, id);
    EXPECT_EQ(after[0].state, journal::MessageState::Uncertain);
    EXPECT_EQ(after[1].state, journal::MessageState::Sent);
    EXPECT_EQ(after[1].link, "https://blog.test/entry/2");
}

}  // namespace
