// The real SMTP認証の設定 window against a real gnome-keyring-daemon (run through
// tests/credentials/isolated.sh: a throw-away HOME, session bus and key ring) and a real SMTP
// server on 127.0.0.1: a store that waits on a locked collection leaves the window responsive and
// can be cancelled, a locked collection ends in a Japanese message with the fields kept, and
// 接続テスト with an empty password field uses the stored password and answers in Japanese.
// GIO before Qt: GIO's headers use "signals" as a name, which Qt defines as a keyword.
#include "key_ring_session.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

#include "credentials/credentials.h"
#include "gui/side_windows.h"
#include "qt_helpers.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "ui/side_services.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;
using namespace qubopost::platform;

namespace creds = qubopost::credentials;
using namespace std::chrono_literals;

namespace {

template <typename T>
T* Find(QDialog* window, const char* name) {
    return window->findChild<T*>(QString::fromLatin1(name));
}

bool Waiting(QDialog* window) { return Find<QPushButton>(window, "cancel")->isVisible(); }

// Opens the window and runs `steps` in it once it shows; the window is closed afterwards
// whatever the steps did (a failed check returns early from them).
void WithCredentialsWindow(const std::string& server, const std::string& port,
                           const std::string& settings,
                           const std::function<void(QDialog*)>& steps) {
    bool ran = false;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, &steps, &ran] {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!window || window->objectName() != QLatin1String("credentials") || !window->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        ran = true;
        // The window first asks the key ring whether it is there and who is stored.
        if (QTest::qWaitFor([&] { return !Waiting(window); }, 10000))
            steps(window);
        else
            QTest::qFail("the window kept waiting for the key ring at start", __FILE__, __LINE__);
        while (QMessageBox* box = VisibleBox()) box->done(QMessageBox::Ok);
        window->done(QDialog::Rejected);
    });
    timer->start(20);
    qubopost::gui::RunCredentialsWindow(nullptr, server, port,
                                        qubopost::ui::MakeSideServices(settings, "")->SmtpLogin());
    QVERIFY(ran);
}

void Fill(QDialog* window, const QString& server, const QString& user, const QString& password) {
    Find<QLineEdit>(window, "server")->setText(server);
    Find<QLineEdit>(window, "user")->setText(user);
    Find<QLineEdit>(window, "password")->setText(password);
}

}  // namespace

class QtKeyRingTest : public QObject {
    Q_OBJECT

private:
    TempDir folder;
    std::string settings() const { return folder.File("settings.ini"); }

    void lock() {
        std::string problem;
        QVERIFY2(qubopost::test::LockDefaultCollection(&problem), problem.c_str());
    }

private slots:
    void initTestCase() {
        if (qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty())
            QSKIP(
                "no session bus: run this test through tests/credentials/isolated.sh (ctest does)");
        QVERIFY(creds::KeyRingAvailable());
    }

    void cleanup() {
        creds::SetKeyRingTimeLimit(30s);
        std::vector<creds::KeyRingEntry> entries;
        if (creds::KeyRingList(&entries) == creds::KeyRingStatus::Ok)
            for (const auto& entry : entries) creds::KeyRingForget(entry.host);
    }

    // 接続テスト against a server that requires AUTH: the typed password when there is one,
    // else the stored one; every answer in Japanese.
    void loginTestUsesTheStoredPasswordWhenTheFieldIsEmpty_data() {
        QTest::addColumn<QString>("stored");  // "" : nothing stored
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("closedPort");
        QTest::addColumn<QStringList>("expected");
        const QString right = QStringLiteral("鍵の pass");
        QTest::newRow("stored, field empty")
            << right << QString() << false
            << QStringList{QStringLiteral("ログインできました"),
                           QStringLiteral("キーリングに保存したパスワードを使いました")};
        QTest::newRow("stored wrong, field empty")
            << QStringLiteral("wrong") << QString() << false
            << QStringList{QStringLiteral("ログインできませんでした"),
                           QStringLiteral("キーリングに保存したパスワードを使いました"),
                           QStringLiteral("ユーザー名かパスワードを受け付けませんでした"),
                           QStringLiteral("サーバの応答: 535")};
        QTest::newRow("typed beats stored") << QStringLiteral("wrong") << right << false
                                            << QStringList{QStringLiteral("ログインできました。")};
        QTest::newRow("nothing stored, field empty")
            << QString() << QString() << false
            << QStringList{QStringLiteral(
                   "キーリングにも 127.0.0.1 のユーザー blogger のパスワードがありません")};
        QTest::newRow("nothing listening")
            << QString() << right << true
            << QStringList{QStringLiteral("接続を断られました"), QStringLiteral("ポートアドレス")};
    }
    void loginTestUsesTheStoredPasswordWhenTheFieldIsEmpty() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, closedPort);
        QFETCH(QStringList, expected);
        qubopost::test::SmtpServer server({.user = "blogger",
                                           .password = "鍵の pass",
                                           .requireAuth = true,
                                           .authWithoutTls = true});
        QVERIFY(server.port() > 0);
        if (!stored.isEmpty())
            QCOMPARE(creds::KeyRingStore("127.0.0.1", "blogger", stored.toStdString()),
                     creds::KeyRingStatus::Ok);
        // A port nothing listens on: the server's, once it has gone.
        int port = server.port();
        if (closedPort) {
            qubopost::test::SmtpServer gone;
            port = gone.port();
        }
        WithCredentialsWindow("127.0.0.1", std::to_string(port), settings(), [&](QDialog* window) {
            // The stored user is filled in by itself; the password field stays empty.
            if (!stored.isEmpty())
                QCOMPARE(Find<QLineEdit>(window, "user")->text(), QStringLiteral("blogger"));
            Find<QLineEdit>(window, "user")->setText(QStringLiteral("blogger"));
            Find<QLineEdit>(window, "password")->setText(typed);
            QTest::mouseClick(Find<QPushButton>(window, "test"), Qt::LeftButton);
            const QString message = AnswerMessageBox(20000);
            for (const QString& part : expected)
                QVERIFY2(message.contains(part), qPrintable(message));
            // Japanese throughout: no English reason of the mail library before the server's reply.
            const QString ownWords = message.section(QStringLiteral("サーバの応答:"), 0, 0);
            for (const char* english :
                 {"refused", "login", "time-out", "connection", "TLS failure", "error"})
                QVERIFY2(!ownWords.contains(QLatin1String(english), Qt::CaseInsensitive),
                         qPrintable(message));
            QCOMPARE(Find<QLineEdit>(window, "password")->text(), typed);
        });
    }
    // The cases below lock the collection, and only a person answering the prompt could open it
    // again: they come last.

    // The store waits for a real unlock prompt nobody answers: the window goes on (a timer
    // fires while it waits), キャンセル ends the wait, and what was typed is still there.
    void storeWaitingOnALockedKeyRingCanBeCancelled() {
        qubopost::test::PromptScreen screen;
        if (!screen.ready()) QSKIP(("no X server for the prompt: " + screen.problem()).c_str());
        QCOMPARE(creds::KeyRingStore("smtp.example.jp", "blogger", "stored before"),
                 creds::KeyRingStatus::Ok);
        lock();
        WithCredentialsWindow("smtp.example.jp", "587", settings(), [](QDialog* window) {
            Fill(window, QStringLiteral("smtp.example.jp"), QStringLiteral("blogger"),
                 QStringLiteral("新しい pass"));
            QTest::mouseClick(Find<QPushButton>(window, "save"), Qt::LeftButton);
            QVERIFY(Waiting(window));
            QCOMPARE(Find<QLabel>(window, "status")->text(),
                     QStringLiteral("キーリングを待っています…"));
            QVERIFY(!Find<QPushButton>(window, "save")->isEnabled());

            int ticks = 0;
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
            ticker.start(10);
            // The prompt is up and the window still serves its events.
            QVERIFY(qubopost::test::WaitForBusName(qubopost::test::kSystemPrompter, 10s));
            QVERIFY(QTest::qWaitFor([&] { return ticks >= 5; }, 5000));
            QVERIFY(Waiting(window));
            // Typing goes on meanwhile.
            QTest::keyClicks(Find<QLineEdit>(window, "user"), QStringLiteral("2"));

            QTest::mouseClick(Find<QPushButton>(window, "cancel"), Qt::LeftButton);
            QVERIFY(QTest::qWaitFor([&] { return !Waiting(window); }, 3000));
            QVERIFY(Find<QLabel>(window, "status")
                        ->text()
                        .contains(QStringLiteral("入力した内容はそのまま")));
            QCOMPARE(Find<QLineEdit>(window, "server")->text(), QStringLiteral("smtp.example.jp"));
            QCOMPARE(Find<QLineEdit>(window, "user")->text(), QStringLiteral("blogger2"));
            QCOMPARE(Find<QLineEdit>(window, "password")->text(), QStringLiteral("新しい pass"));
            QVERIFY(Find<QPushButton>(window, "save")->isEnabled());
            // No late message once cancelled.
            QTest::qWait(300);
            QVERIFY(!VisibleBox());
        });
        // What was stored before is still there.
        std::vector<creds::KeyRingEntry> entries;
        QCOMPARE(creds::KeyRingList(&entries), creds::KeyRingStatus::Ok);
        QCOMPARE(entries.size(), size_t(1));
        QCOMPARE(entries[0].user, std::string("blogger"));
    }

    // Esc while waiting means キャンセル, and the window stays.
    void escapeWhileWaitingCancelsAndKeepsTheWindow() {
        qubopost::test::PromptScreen screen;
        if (!screen.ready()) QSKIP(("no X server for the prompt: " + screen.problem()).c_str());
        lock();
        WithCredentialsWindow("smtp.example.jp", "587", settings(), [](QDialog* window) {
            Fill(window, QStringLiteral("smtp.example.jp"), QStringLiteral("blogger"),
                 QStringLiteral("pw"));
            QTest::mouseClick(Find<QPushButton>(window, "save"), Qt::LeftButton);
            QVERIFY(Waiting(window));
            QTest::keyClick(window, Qt::Key_Escape);
            QVERIFY(QTest::qWaitFor([&] { return !Waiting(window); }, 3000));
            QVERIFY(window->isVisible());
            QCOMPARE(Find<QLineEdit>(window, "password")->text(), QStringLiteral("pw"));
        });
    }

    // A locked collection ends in a message saying so and what to do, with or without a
    // prompt on the screen; the fields keep their text.
    void lockedKeyRingEndsInAJapaneseMessage_data() {
        QTest::addColumn<bool>("withPrompt");
        QTest::addColumn<QString>("reason");
        QTest::newRow("prompt nobody answers")
            << true << QStringLiteral("時間内に答えがありませんでした");
        QTest::newRow("no screen for a prompt") << false << QStringLiteral("表示できませんでした");
    }
    void lockedKeyRingEndsInAJapaneseMessage() {
        QFETCH(bool, withPrompt);
        QFETCH(QString, reason);
        std::unique_ptr<qubopost::test::PromptScreen> screen;
        if (withPrompt) {
            screen = std::make_unique<qubopost::test::PromptScreen>();
            if (!screen->ready())
                QSKIP(("no X server for the prompt: " + screen->problem()).c_str());
        }
        creds::SetKeyRingTimeLimit(3s);
        lock();
        WithCredentialsWindow("smtp.example.jp", "587", settings(), [&](QDialog* window) {
            Fill(window, QStringLiteral("smtp.example.jp"), QStringLiteral("blogger"),
                 QStringLiteral("pw"));
            QTest::mouseClick(Find<QPushButton>(window, "save"), Qt::LeftButton);
            const QString message = AnswerMessageBox(10000);
            QVERIFY2(message.startsWith(QStringLiteral(
                         "パスワードを保存できませんでした。キーリングがロックされています")),
                     qPrintable(message));
            QVERIFY2(message.contains(reason), qPrintable(message));
            QVERIFY2(message.contains(QStringLiteral("もう一度「保存」を押してください")),
                     qPrintable(message));
            QVERIFY2(message.contains(QStringLiteral("入力した内容はそのまま残っています")),
                     qPrintable(message));
            QCOMPARE(Find<QLineEdit>(window, "user")->text(), QStringLiteral("blogger"));
            QCOMPARE(Find<QLineEdit>(window, "password")->text(), QStringLiteral("pw"));
        });
    }
};

QTEST_MAIN(QtKeyRingTest)
#include "test_qt_keyring.moc"
