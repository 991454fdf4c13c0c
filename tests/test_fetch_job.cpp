// The article generation job against a real HTTP server on 127.0.0.1, reached the
// way a user's network reaches the ranking service: through the proxy setting.
#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "article/ranking_request.h"
#include "http_server.h"
#include "memory_view.h"
#include "platform/encoding.h"
#include "raw_peer.h"
#include "resources/control_table.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;
using namespace qubopost::posting;

namespace {

const std::string kSuccess = "正常にアフィリエイトコード付き記事が生成されました！！";
const std::string kNetworkError = "通信エラー";

// With アフィリエイトID left empty the program's own ID goes into the article; the message
// after the success line and the log both say so.
void ExpectGenerated(const std::vector<std::string>& messages) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(kSuccess + "\n", 0), 0u) << messages[0];
    EXPECT_NE(messages[0].find("既定のアフィリエイトID"), std::string::npos) << messages[0];
}

// "通信エラー" on the first line, as always, then the cause.
void ExpectNetworkError(const std::string& message, const std::string& cause) {
    EXPECT_EQ(message.rfind(kNetworkError + "\n", 0), 0u) << message;
    EXPECT_NE(message.find(cause), std::string::npos) << message;
}

// "ランキング①" in EUC-JP, in a link the generator takes.
const std::string kEucPage =
    "<a href='http://shop.test/item/1/' target=_blank>\xA5\xE9\xA5\xF3\xA5\xAD\xA5\xF3\xA5\xB0\xAD\xA1</a>\n"
    "<td valign=top align=left><span class=style2>Desc</span></td>";

class FetchJob : public ::testing::Test {
protected:
    std::unique_ptr<CQubopostDlg> MakeDialog(int proxyPort) {
        proxy.reset();  // put the environment back before the next proxy changes it
        proxy = std::make_unique<ProxyEnvironment>("http://127.0.0.1:" + std::to_string(proxyPort));
        DialogServices services;
        services.settingsPath = dir.File("CQubopostDlg.ini");
        services.http.connectTimeoutMs = 2000;
        services.http.idleTimeoutMs = 500;
        services.http.maxBodyBytes = 1 << 20;
        auto dialog = std::make_unique<CQubopostDlg>(services);
        dialog->Attach(&view);
        dialog->OnInitDialog();
        view.SetUtf8(IDC_ARTICLE, "ユーザーの記事");
        return dialog;
    }
    // Presses the button and waits for the job's messages.
    std::vector<std::string> Generate(CQubopostDlg& dialog, std::size_t messages = 1) {
        dialog.OnCommand(IDC_GENERATE);
        EXPECT_TRUE(view.WaitForMessages(messages));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return view.Messages();
    }

    TempDir dir;
    MemoryView view;
    std::unique_ptr<ProxyEnvironment> proxy;
};

}  // namespace

TEST_F(FetchJob, AReceivedPageBecomesTheArticleWithTheRealRequest) {
    LocalHttpServer server([](const httplib::Request&, httplib::Response& response) {
        response.set_content(kEucPage, "text/html");
    });
    auto dialog = MakeDialog(server.Port());
    ExpectGenerated(Generate(*dialog));
    const std::string article = view.Utf8(IDC_ARTICLE);
    EXPECT_NE(article.find("[title]ランキング①\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\nDesc"),
              std::string::npos);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].userAgent, "Test Agent Ver0.01");
    EXPECT_EQ(requests[0].contentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].host, std::string(RankingHost()));
    EXPECT_NE(
        requests[0].target.find(
            "/rankfiles/getrank_ex.php?CODE=1&CID=&SCID=&af=zuto837461&listmax=10&font_size=2&r_bg=ff0000"),
        std::string::npos);
}

TEST_F(FetchJob, StatusBelow400CountsAsReceivedAndRedirectsAreFollowed) {
    LocalHttpServer server([](const httplib::Request& request, httplib::Response& response) {
        if (request.target.find("/moved") == std::string::npos) {
            response.set_redirect("http://" + std::string(RankingHost()) + "/moved", 302);
            return;
        }
        response.status = 399;
        response.set_content("<a href='http://s/1/' target=_blank>One</a>", "text/html");
    });
    auto dialog = MakeDialog(server.Port());
    ExpectGenerated(Generate(*dialog));
    EXPECT_NE(view.Utf8(IDC_ARTICLE).find("[title]One"), std::string::npos);
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST_F(FetchJob, ErrorStatusesShowTheNetworkErrorWithTheStatusAndKeepTheArticle) {
    for (int status : {400, 404, 503}) {
        SCOPED_TRACE(status);
        MemoryView fresh;
        LocalHttpServer server([status](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_content("<a href='http://s/1/' target=_blank>One</a>", "text/html");
        });
        auto dialog = MakeDialog(server.Port());
        ExpectNetworkError(Generate(*dialog, view.Messages().size() + 1).back(),
                           "HTTP " + std::to_string(status));
        EXPECT_EQ(view.Utf8(IDC_ARTICLE), "ユーザーの記事");
    }
    ExpectNetworkError(view.Messages()[2], "メンテナンス中の可能性があります");
}

TEST_F(FetchJob, TransportFailuresShowTheNetworkErrorAndTheirCause) {
    // Refused, stalled before and inside the body, dropped mid-body, broken chunks, too large.
    const std::vector<RawPeer::Script> scripts = {
        [](int fd, const std::atomic<bool>& stop) {
            RawPeer::ReadUntil(fd, "\r\n\r\n", stop), RawPeer::Stall(fd, stop);
        },
        [](int fd, const std::atomic<bool>& stop) {
            RawPeer::ReadUntil(fd, "\r\n\r\n", stop);
            RawPeer::SendAll(
                fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<a href='http://s/1/' ");
            RawPeer::Stall(fd, stop);
        },
        [](int fd, const std::atomic<bool>& stop) {
            RawPeer::ReadUntil(fd, "\r\n\r\n", stop);
            RawPeer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf");
        },
        [](int fd, const std::atomic<bool>& stop) {
            RawPeer::ReadUntil(fd, "\r\n\r\n", stop);
            RawPeer::SendAll(
                fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nbroken\r\n");
        },
        [](int fd, const std::atomic<bool>& stop) {
            RawPeer::ReadUntil(fd, "\r\n\r\n", stop);
            RawPeer::SendAll(fd, "HTTP/1.1 200 OK\r\n\r\n");
            const std::string block(64 * 1024, 'x');
            for (int i = 0; i < 40 && RawPeer::SendAll(fd, block);)
                ++i;  // 2.5 MiB over a 1 MiB limit
        },
    };
    {
        // The proxy is down: the message names it.
        const int closed = RawPeer::ClosedPort();
        auto dialog = MakeDialog(closed);
        ExpectNetworkError(
            Generate(*dialog).back(),
            "プロキシ http://127.0.0.1:" + std::to_string(closed) + " に接続できません");
    }
    const std::string causes[] = {"時間内に応答がありませんでした",
                                  "時間内に応答がありませんでした",
                                  "ランキングページを取得できませんでした",
                                  "ランキングページを取得できませんでした", "大きすぎます"};
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        SCOPED_TRACE(i);
        RawPeer peer(scripts[i]);
        auto dialog = MakeDialog(peer.Port());
        ExpectNetworkError(Generate(*dialog, view.Messages().size() + 1).back(), causes[i]);
        EXPECT_EQ(view.Utf8(IDC_ARTICLE), "ユーザーの記事");
    }
}

TEST_F(FetchJob, ARedirectLoopIsANetworkError) {
    LocalHttpServer server([](const httplib::Request& request, httplib::Response& response) {
        response.set_redirect(request.target.find("/a") == std::string::npos ? "http://loop.test/a"
                                                                             : "http://loop.test/b",
                              302);
    });
    auto dialog = MakeDialog(server.Port());
    const auto messages = Generate(*dialog);
    ASSERT_EQ(messages.size(), 1u);
    ExpectNetworkError(messages[0], "ランキングページを取得できませんでした");
    EXPECT_EQ(view.Utf8(IDC_ARTICLE), "ユーザーの記事");
    EXPECT_LE(server.Requests().size(), 12u);  // the redirects end after a bounded number
}

TEST_F(FetchJob, ABodyThatIsNoEucJpStillConverts) {
    // UTF-8 text and stray binary bytes: every invalid sequence becomes a substitute and
    // the links around them still make articles.
    std::string body = "<a href='http://shop.test/1/' target=_blank>\xE6\x97\xA5\xE6\x9C\xAC</a>\n";
    for (int c = 0x80; c < 0x100; ++c) body += static_cast<char>(c);
    body += "\n<a href='http://shop.test/2/' target=_blank>Two</a>\n";
    LocalHttpServer server([&](const httplib::Request&, httplib::Response& response) {
        response.set_content(body, "text/html");
    });
    auto dialog = MakeDialog(server.Port());
    ExpectGenerated(Generate(*dialog));
    const std::string article = view.Utf8(IDC_ARTICLE);
    EXPECT_NE(article.find("http://shop.test/1/"), std::string::npos);
    EXPECT_NE(article.find("[title]Two"), std::string::npos);
}

TEST_F(FetchJob, NulBytesOfAFetchedPageNeverReachTheArticleAndTheLogCountsThem) {
    // Three NUL bytes in the title and the description of the one product.
    std::string body = kEucPage;
    body.insert(body.find("Desc"), std::string(1, '\0'));
    body.insert(body.find("</a>"), std::string(2, '\0'));
    LocalHttpServer server([&](const httplib::Request&, httplib::Response& response) {
        response.set_content(body, "text/html");
    });
    auto dialog = MakeDialog(server.Port());
    ExpectGenerated(Generate(*dialog));
    const std::string article = view.GetWindowTextUtf8(IDC_ARTICLE);
    EXPECT_EQ(article.find('\0'), std::string::npos);
    EXPECT_NE(article.find("[title]ランキング①\r\n\r\nお勧め情報のご案内 ↓↓\r\n\r\nDesc"),
              std::string::npos);
    EXPECT_NE(view.GetWindowTextUtf8(IDC_LOG).find("NUL バイト 3 個"), std::string::npos)
        << view.GetWindowTextUtf8(IDC_LOG);
}

TEST_F(FetchJob, EmptyBodyAndLastLineWithoutLineFeed) {
    LocalHttpServer empty([](const httplib::Request&, httplib::Response& response) {
        response.set_content("", "text/html");
    });
    auto dialog = MakeDialog(empty.Port());
    // A page without a single product makes no article: the user's text stays.
    const auto messages = Generate(*dialog);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("記事を作れませんでした。\n", 0), 0u);
    EXPECT_NE(messages[0].find("商品が見つかりませんでした"), std::string::npos);
    EXPECT_EQ(view.Utf8(IDC_ARTICLE), "ユーザーの記事");

    const auto page = ConvertRankingPage("line one\nline two");
    EXPECT_EQ(page.page.Bytes(), "line one\nline two\n");
}

TEST_F(FetchJob, AnUnavailableConverterIsReportedAndKeepsTheArticle) {
    LocalHttpServer server([](const httplib::Request&, httplib::Response& response) {
        response.set_content(kEucPage, "text/html");
    });
    proxy = std::make_unique<ProxyEnvironment>(server.ProxyUrl());
    DialogServices services;
    services.settingsPath = dir.File("CQubopostDlg.ini");
    services.pageEncoding = "no-such-encoding";
    CQubopostDlg dialog(services);
    dialog.Attach(&view);
    dialog.OnInitDialog();
    view.SetUtf8(IDC_ARTICLE, "ユーザーの記事");
    EXPECT_EQ(Generate(dialog), std::vector<std::string>{"関数のアドレスの取得に失敗しました。"});
    EXPECT_EQ(view.Utf8(IDC_ARTICLE), "ユーザーの記事");
}

TEST_F(FetchJob, WithItsOwnIdTheMessageIsTheSuccessLineAlone) {
    LocalHttpServer server([](const httplib::Request&, httplib::Response& response) {
        response.set_content(kEucPage, "text/html");
    });
    auto dialog = MakeDialog(server.Port());
    view.SetUtf8(IDC_AFFILIATE_ID, "myid123");
    EXPECT_EQ(Generate(*dialog), std::vector<std::string>{kSuccess});
    EXPECT_EQ(view.Utf8(IDC_LOG).find("アフィリエイトID"), std::string::npos);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_NE(server.Requests()[0].target.find("af=myid123&"), std::string::npos);
}

TEST_F(FetchJob, OneFetchAtATimeWithTheButtonOffAndEscCancelsItKeepingTheArticle) {
    std::atomic<int> connections{0};
    RawPeer peer([&](int fd, const std::atomic<bool>& stop) {
        ++connections;
        RawPeer::Stall(fd, stop);
    });
    auto dialog = MakeDialog(peer.Port());
    dialog->OnCommand(IDC_GENERATE);
    EXPECT_FALSE(view.IsWindowEnabled(IDC_GENERATE));
    EXPECT_EQ(view.ProgressUpper(), 0);  // a bar without a position: busy
    ASSERT_FALSE(view.StatusTexts().empty());
    EXPECT_NE(view.StatusTexts().back().find("ランキングを取得しています"), std::string::npos);
    dialog->OnCommand(IDC_GENERATE);  // a second press while it goes does nothing
    for (int i = 0; i < 200 && connections.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(connections.load(), 1);

    EXPECT_TRUE(dialog->OnEscape());  // Esc: the fetch ends, the window stays
    for (int i = 0; i < 300 && !view.IsWindowEnabled(IDC_GENERATE); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(view.IsWindowEnabled(IDC_GENERATE));
    EXPECT_EQ(view.EndResult(), -1);
    EXPECT_EQ(view.Utf8(IDC_ARTICLE), "ユーザーの記事");
    EXPECT_TRUE(view.Messages().empty());  // cancelled on purpose: no error box
    EXPECT_NE(view.ProgressUpper(), 0);
    EXPECT_EQ(connections.load(), 1);
}

TEST_F(FetchJob, AServerTricklingBytesMeetsTheOverallDeadline) {
    RawPeer peer([](int fd, const std::atomic<bool>& stop) {
        RawPeer::ReadUntil(fd, "\r\n\r\n", stop);
        RawPeer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        // One byte every 100 ms: never idle for the idle limit, never done.
        for (int i = 0; i < 100 && !stop.load(); ++i) {
            if (!RawPeer::SendAll(fd, "x")) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    proxy = std::make_unique<ProxyEnvironment>("http://127.0.0.1:" + std::to_string(peer.Port()));
    DialogServices services;
    services.settingsPath = dir.File("CQubopostDlg.ini");
    services.http.idleTimeoutMs = 500;
    services.http.totalTimeoutMs = 1500;
    CQubopostDlg dialog(services);
    dialog.Attach(&view);
    dialog.OnInitDialog();
    view.SetUtf8(IDC_ARTICLE, "ユーザーの記事");
    const auto messages = Generate(dialog);
    ASSERT_EQ(messages.size(), 1u);
    ExpectNetworkError(messages[0], "時間内に応答がありませんでした");
    EXPECT_EQ(view.Utf8(IDC_ARTICLE), "ユーザーの記事");
}

TEST_F(FetchJob, ClosingDuringAFetchStopsItWithoutTouchingTheField) {
    RawPeer peer([](int fd, const std::atomic<bool>& stop) { RawPeer::Stall(fd, stop); });
    auto dialog = MakeDialog(peer.Port());
    dialog->OnCommand(IDC_GENERATE);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    dialog->StopJobs();
    dialog.reset();  // waits for the job
    EXPECT_EQ(view.Utf8(IDC_ARTICLE), "ユーザーの記事");
    EXPECT_TRUE(view.Messages().empty());
}
