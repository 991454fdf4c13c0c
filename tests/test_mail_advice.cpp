// The Japanese reason put before the mail library's or the server's own text in the log: for each
// kind of failure, what happened and what to do, in words written here (not taken from the code).
#include <gtest/gtest.h>

#include <string>

#include "posting/posting_run.h"

using namespace qubopost::platform;
using namespace qubopost::posting;

namespace {

struct Advice {
    const char* error;     // the mail library's text or the server's reply
    const char* happened;  // a phrase the reason must hold
    const char* todo;      // and what it tells the user to do
};

const Advice kAdvice[] = {
    {"connection refused: 127.0.0.1:2525", "接続を断られました", "ポートアドレスを確かめて"},
    {"unknown server host: smtp.exmaple.jp", "見つかりません", "SMTPサーバアドレス"},
    {"cannot connect to smtp.example.jp:587", "接続できません", "ネットワーク"},
    {"time-out: no greeting from smtp.example.jp:25", "時間内に応答がありません", "しばらく待って"},
    {"certificate not trusted: the server's certificate is not signed by a trusted CA",
     "信頼できない", "TrustFile"},
    {"certificate is for another host, not mail.example.jp", "別のホスト名", "ホスト名を入れて"},
    {"TLS is required to log in: the server offers no STARTTLS", "パスワードを送りませんでした",
     "587"},
    {"TLS failure: handshake with the server failed", "暗号化の接続に失敗", "ポート番号"},
    {"login refused: 535 5.7.8 Authentication credentials invalid", "受け付けませんでした",
     "SMTP認証の設定"},
    {"530 5.7.0 Authentication required", "ログインを求めています", "SMTP認証の設定"},
    {"552 5.3.4 Message size exceeds fixed limit", "大きすぎる", "記事を分ける"},
    {"553 5.7.1 <me@example.jp>: Sender address rejected: not owned by user",
     "投稿元メールアドレス", "登録したメールアドレス"},
    {"550 5.1.1 <blog@example.jp>: Recipient address rejected: User unknown", "投稿先のアドレス",
     "綴りを確かめて"},
    {"451 4.3.0 Temporary lookup failure", "今は受け付けられない", "しばらく待って"},
    {"connection closed by the server", "接続を切りました", "しばらく待って"},
};

}  // namespace

TEST(MailAdvice, EveryFailureSaysWhatHappenedAndWhatToDo) {
    for (const Advice& advice : kAdvice) {
        SCOPED_TRACE(advice.error);
        const std::string reason = MailErrorReason(advice.error);
        EXPECT_NE(reason.find(advice.happened), std::string::npos) << reason;
        EXPECT_NE(reason.find(advice.todo), std::string::npos) << reason;
        // Natural sentences, no brackets inside brackets.
        EXPECT_EQ(reason.find("（"), std::string::npos) << reason;
    }
}

TEST(MailAdvice, AReplyWithoutAKnownMeaningGetsNoReason) {
    // The log then shows the server's words alone.
    EXPECT_EQ(MailErrorReason("250 2.0.0 Ok"), "");
    EXPECT_EQ(MailErrorReason("mail error: Unknown error"), "");
}
