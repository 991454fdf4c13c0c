// The real window posting through its own mail path (the mail library, nothing put in its
// place) and taking runs back from the journal: an smtps:// server trusted only through the
// settings file, 投稿停止 and Close during a transfer the server has stalled, and a stopped run
// offered at start and finished with 投稿履歴's 再開. Every server is on 127.0.0.1.
//
// With QUBOPOST_RESUME_PICTURES set to a folder, the start-up question and the history window
// are saved there as resume-offer.png and history-resume.png (docs/screenshots/ has them, made
// on Xvfb:
//   LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb QUBOPOST_RESUME_PICTURES=$PWD/docs/screenshots
//   xvfb-run -a -s "-screen 0 1366x768x24 -nolisten tcp" BUILD/test_qt_resume
//   aStoppedRunIsOfferedAtStartAndFinishedFromTheHistory).
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "gui/qt_dialog.h"
#include "gui/qt_window_system.h"
#include "journal/journal.h"
#include "mail/bsmtp.h"
#include "qt_helpers.h"
#include "raw_smtp_peer.h"
#include "resources/control_table.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

namespace journal = qubopost::journal;
using qubopost::test::DecodedSubject;

namespace {

// Fills the posting fields, confirms the preview and presses ブログ投稿開始; false when the start
// button did not come on.
bool StartPosting(qubopost::gui::QtDialog& dialog, const QString& server, int port,
                  const QString& addresses, const QString& article) {
    Type(dialog, IDC_FROM_ADDRESS, QStringLiteral("me@example.jp"));
    Type(dialog, IDC_SMTP_SERVER, server);
    Type(dialog, IDC_SMTP_PORT, QString::number(port));
    Type(dialog, IDC_BLOG_ADDRESSES, addresses);
    Type(dialog, IDC_ARTICLE, article);
    ConfirmPreviewWhenShown(&dialog);
    QTest::mouseClick(dialog.Control(IDC_CONFIRM_POST), Qt::LeftButton);
    if (!dialog.Control(IDC_START_POST)->isEnabled()) return false;
    QTest::mouseClick(dialog.Control(IDC_START_POST), Qt::LeftButton);
    return true;
}

// n articles titled "<tag> i" (groups of three).
QString Articles(const QString& tag, int n) {
    QString text = QStringLiteral("-----into-----");
    for (int i = 1; i <= n; ++i)
        text += QStringLiteral("\n[title]%1 %2\n本文 %2\n-----into-----").arg(tag).arg(i);
    return text;
}

// One article with a body of several megabytes: more than the socket buffers hold, so its
// transfer is still going when the server stops reading.
QString BigArticle() {
    const QString line = QString(75, QLatin1Char('x')) + QLatin1Char('\n');
    return QStringLiteral("-----into-----\n[title]big\n") + line.repeated(80000) +
           QStringLiteral("-----into-----");
}

bool InData(const qubopost::test::RawSmtpPeer& peer) {
    const auto commands = peer.commands();
    return std::find(commands.begin(), commands.end(), "DATA") != commands.end();
}

journal::RunSummary NewestRun(const std::string& path) {
    auto opened = journal::Journal::Open(path);
    if (!opened) return {};
    auto runs = opened.value().History(1);
    return runs && !runs.value().empty() ? runs.value().front() : journal::RunSummary{};
}

void SavePicture(QWidget* window, const char* name) {
    const QByteArray folder = qgetenv("QUBOPOST_RESUME_PICTURES");
    if (folder.isEmpty()) return;
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString file = QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name);
    if (!window->grab().save(file)) qWarning("could not write %s", qPrintable(file));
}

// A window session: its settings file and journal, and a mail call put in place of the
// library's (none: the window's own wiring).
struct Session {
    std::string settingsPath;
    std::string journalPath;
    MailSender sendMail;
    // Answers the question the window asks as it starts (unfinished runs); none expected when
    // empty.
    std::function<void(QMessageBox&)> startQuestion;
};

}  // namespace

class QtResumeTest : public QObject {
    Q_OBJECT

private slots:
    void theWindowsOwnMailPathReachesAnSmtpsServerTrustedThroughTheSettingsFile() {
        qubopost::test::SmtpClientEnvironment
            client;  // no .netrc, no key ring, the library's own trust
        qubopost::test::SmtpServer server({.implicitTls = true});
        QVERIFY(server.port() > 0);
        TempDir dir;
        // First without the settings file's trust: the server's certificate is refused.
        const struct {
            const char* settings;
            std::size_t delivered;
            const char* verdict;
        } cases[] = {{"", 0, "ブログへの投稿に失敗しました。"},
                     {"TrustFile", 1, "ブログへの自動投稿が完了しました。"}};
        int n = 0;
        for (const auto& c : cases) {
            const std::string settings = dir.File("settings" + std::to_string(++n) + ".ini");
            TempDir::Write(settings,
                           std::string("[Qubopost]\n") +
                               (*c.settings ? "TrustFile=" + server.caFile() + "\n" : ""));
            QString verdict;
            RunDialog({settings, dir.File("history" + std::to_string(n) + ".sqlite3"), nullptr, {}},
                      [&](QtDialog& dialog) {
                          QVERIFY(StartPosting(dialog, QStringLiteral("smtps://127.0.0.1"),
                                               server.port(), QStringLiteral("blog@example.jp"),
                                               Articles(QStringLiteral("t"), 1)));
                          verdict = AnswerMessageBox(30000);
                      });
            QCOMPARE(verdict.left(U(c.verdict).size()), U(c.verdict));
            const auto received = server.messages();
            QCOMPARE(received.size(), c.delivered);
            if (!received.empty()) QVERIFY(received[0].tls);
        }
    }

    void stopDuringAStalledTransferKeepsTheWindowResponsiveAndTheMessageUnsent() {
        qubopost::test::SmtpClientEnvironment client;
        qubopost::test::RawSmtpPeer::Script script;
        script.dataPauseMs = 60000;        // reads nothing after 354 for a minute
        script.receiveBufferBytes = 4096;  // and takes little into its buffer
        qubopost::test::RawSmtpPeer peer(script);
        TempDir dir;
        const std::string journalPath = dir.File("history.sqlite3");
        QString verdict, startCaption;
        bool timerFired = false;
        RunDialog({dir.File("settings.ini"), journalPath, nullptr, {}}, [&](QtDialog& dialog) {
            QVERIFY(StartPosting(dialog, QStringLiteral("127.0.0.1"), peer.port(),
                                 QStringLiteral("blog@example.jp"), BigArticle()));
            QVERIFY2(QTest::qWaitFor([&] { return InData(peer); }, 30000), "DATA never came");
            // The body goes out into the stalled connection.
            QVERIFY2(QTest::qWaitFor([&] { return peer.unread() > 0; }, 30000),
                     "no part of the body came");
            QCOMPARE(TextOf(dialog, IDC_START_POST), QStringLiteral("投稿停止"));
            QTest::mouseClick(dialog.Control(IDC_START_POST), Qt::LeftButton);
            // The window's thread is free: its timers run while the job stops.
            QTimer::singleShot(50, &dialog, [&] { timerFired = true; });
            QVERIFY2(QTest::qWaitFor([&] { return timerFired; }, 5000),
                     "the window is not responding");
            verdict = AnswerMessageBox(30000);
            startCaption = TextOf(dialog, IDC_START_POST);
        });
        QVERIFY2(verdict.startsWith(U("投稿を停止しました。送信済み 0 通、未送信 1 通です。")),
                 qPrintable(verdict));
        QCOMPARE(startCaption, QStringLiteral("ブログ投稿開始"));
        QCOMPARE(peer.finalDots(), 0);  // cut before its final "."
        const journal::RunSummary run = NewestRun(journalPath);
        QCOMPARE(run.total, 1);
        QCOMPARE(run.pending, 1);  // not sent, not uncertain: a resume sends it
        QCOMPARE(run.sent + run.uncertain + run.failed, 0);
        QVERIFY(!run.finished);
    }

    void closeAndYesDuringAStalledTransferEndsTheDialogWithinSeconds() {
        qubopost::test::SmtpClientEnvironment client;
        qubopost::test::RawSmtpPeer::Script script;
        script.dataPauseMs = 60000;
        script.receiveBufferBytes = 4096;
        qubopost::test::RawSmtpPeer peer(script);
        TempDir dir;
        QString question;
        QElapsedTimer sinceYes;
        RunDialog({dir.File("settings.ini"), dir.File("history.sqlite3"), nullptr, {}},
                  [&](QtDialog& dialog) {
                      QVERIFY(StartPosting(dialog, QStringLiteral("127.0.0.1"), peer.port(),
                                           QStringLiteral("blog@example.jp"), BigArticle()));
                      QVERIFY2(QTest::qWaitFor([&] { return InData(peer); }, 30000),
                               "DATA never came");
                      QVERIFY2(QTest::qWaitFor([&] { return peer.unread() > 0; }, 30000),
                               "no part of the body came");
                      // 閉じる, then はい to "投稿中です。投稿を停止して閉じますか？".
                      auto* answer = new QTimer(&dialog);
                      connect(answer, &QTimer::timeout, &dialog, [&, answer] {
                          QMessageBox* box = VisibleBox();
                          if (!box || !box->button(QMessageBox::Yes)) return;
                          answer->stop();
                          question = box->text();
                          sinceYes.start();
                          QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
                      });
                      answer->start(20);
                      QTest::mouseClick(dialog.Control(IDCANCEL), Qt::LeftButton);
                  });
        // RunDialog has returned: the window and the job are gone.
        QVERIFY2(question.startsWith(U("投稿中です。投稿を停止して閉じますか？")),
                 qPrintable(question));
        QVERIFY(sinceYes.isValid());
        QVERIFY2(sinceYes.elapsed() < 5000,
                 qPrintable(QStringLiteral("%1 ms").arg(sinceYes.elapsed())));
        QCOMPARE(peer.finalDots(), 0);
    }

    void aStoppedRunIsOfferedAtStartAndFinishedFromTheHistory() {
        qubopost::test::SmtpClientEnvironment client;
        qubopost::test::SmtpServer server;
        QVERIFY(server.port() > 0);
        TempDir dir;
        const std::string settings = dir.File("settings.ini"),
                          journalPath = dir.File("history.sqlite3");
        const QString addresses = QStringLiteral("blog-a@example.jp\nblog-b@example.jp");

        // A run posted to the end, then one of 2 groups x 2 blogs stopped after its first message.
        int calls = 0;
        QString firstVerdict, secondVerdict;
        Session first{settings, journalPath, nullptr, {}};
        first.sendMail = [&](const char* host, const char* to, const char* from,
                             const char* subject, const char* body, const char* reserved,
                             char* error) {
            const int result = BSendMail(host, to, from, subject, body, reserved, error);
            if (++calls == 3) m_current->StopPosting();
            return result;
        };
        RunDialog(first, [&](QtDialog& dialog) {
            QVERIFY(StartPosting(dialog, QStringLiteral("127.0.0.1"), server.port(), addresses,
                                 Articles(QStringLiteral("A"), 2)));
            firstVerdict = AnswerMessageBox(30000);
            QVERIFY(StartPosting(dialog, QStringLiteral("127.0.0.1"), server.port(), addresses,
                                 Articles(QStringLiteral("B"), 4)));
            secondVerdict = AnswerMessageBox(30000);
        });
        QCOMPARE(firstVerdict, U("ブログへの自動投稿が完了しました。"));
        QVERIFY2(secondVerdict.startsWith(U("投稿を停止しました。送信済み 1 通、未送信 3 通")),
                 qPrintable(secondVerdict));
        QCOMPARE(server.messages().size(), std::size_t(3));
        const journal::RunId stopped = NewestRun(journalPath).id;

        // Started again, with the window's own mail path: the run is offered; Esc sends nothing.
        QString offer, resumeDefault, resumeEscape;
        QStringList offerButtons;
        Session second{
            settings, journalPath, nullptr, [&](QMessageBox& box) {
                offer = box.text();
                for (QAbstractButton* button : box.buttons()) offerButtons << button->text();
                resumeDefault = box.defaultButton() ? box.defaultButton()->text() : QString();
                resumeEscape = box.escapeButton() ? box.escapeButton()->text() : QString();
                SavePicture(&box, "resume-offer.png");
                QTest::keyClick(&box, Qt::Key_Escape);
            }};
        std::size_t afterEscape = 0;
        bool finishedDisabled = false, stoppedEnabled = false;
        QString verdict, article;
        RunDialog(second, [&](QtDialog& dialog) {
            QTest::qWait(200);
            afterEscape = server.messages().size();
            article = TextOf(dialog, IDC_ARTICLE);
            // 投稿履歴…: the finished run has no 再開, the stopped one has.
            auto* timer = new QTimer(&dialog);
            connect(timer, &QTimer::timeout, &dialog, [&, timer] {
                for (QWidget* window : QApplication::topLevelWidgets()) {
                    if (window->objectName() != QStringLiteral("history") || !window->isVisible())
                        continue;
                    timer->stop();
                    auto* runs = window->findChild<QTreeWidget*>(QStringLiteral("runs"));
                    auto* resume = window->findChild<QPushButton*>(QStringLiteral("resume"));
                    if (!runs || !resume || runs->topLevelItemCount() != 2) return;
                    runs->setCurrentItem(runs->topLevelItem(1));  // the older, finished run
                    finishedDisabled = !resume->isEnabled();
                    runs->setCurrentItem(runs->topLevelItem(0));
                    stoppedEnabled = resume->isEnabled() &&
                                     runs->topLevelItem(0)->text(0) == QString::number(stopped);
                    SavePicture(window, "history-resume.png");
                    QTest::mouseClick(resume, Qt::LeftButton);
                    return;
                }
            });
            timer->start(20);
            QAction* history = nullptr;
            for (QAction* action : dialog.actions())
                if (action->text() == QStringLiteral("投稿履歴…")) history = action;
            QVERIFY(history);
            history->trigger();
            verdict = AnswerMessageBox(30000);
        });
        QVERIFY2(offer.startsWith(U("未完了の投稿があります。")), qPrintable(offer));
        QVERIFY2(offer.contains(U("番号 %1").arg(stopped)) &&
                     offer.contains(U("送信済み 1 通 / 残り 3 通")),
                 qPrintable(offer));
        QCOMPARE(offerButtons, QStringList({U("再開(&R)"), U("あとで(&L)")}));
        QCOMPARE(resumeDefault, U("あとで(&L)"));
        QCOMPARE(resumeEscape, U("あとで(&L)"));
        QCOMPARE(afterEscape, std::size_t(3));
        QVERIFY(finishedDisabled);
        QVERIFY(stoppedEnabled);
        QCOMPARE(verdict, U("ブログへの自動投稿が完了しました。"));
        QCOMPARE(article, QString());  // the resume neither reads nor fills the article
        // Both runs: every message once.
        std::map<std::pair<std::string, std::string>, int> count;
        for (const auto& mail : server.messages())
            ++count[{mail.rcptTo.at(0), DecodedSubject(mail)}];
        const std::map<std::pair<std::string, std::string>, int> expected = {
            {{"blog-a@example.jp", "A 1"}, 1}, {{"blog-b@example.jp", "A 1"}, 1},
            {{"blog-a@example.jp", "B 1"}, 1}, {{"blog-b@example.jp", "B 1"}, 1},
            {{"blog-a@example.jp", "B 4"}, 1}, {{"blog-b@example.jp", "B 4"}, 1}};
        QCOMPARE(count, expected);
        QVERIFY(NewestRun(journalPath).finished);
    }

private:
    // The main window with the real dialog logic, without pauses between messages; `script`
    // runs once the window is up and any question it asked at start is answered.
    void RunDialog(const Session& session,
                   const std::function<void(qubopost::gui::QtDialog&)>& script) {
        static int argc = 1;
        static char name[] = "test_qt_resume";
        static char* argv[] = {name, nullptr};
        static QtWindowSystem windows(argc, argv);
        qubopost::ui::DialogServices services;
        services.settingsPath = session.settingsPath;
        services.journalPath = session.journalPath;
        services.sendMail = session.sendMail;
        services.postingPause = std::chrono::milliseconds(0);
        qubopost::ui::CQubopostDlg dialog(services);
        m_current = &dialog;
        QTimer launcher;
        int ticks = 0;
        bool asked = false;
        connect(&launcher, &QTimer::timeout, [&] {
            qubopost::gui::QtDialog* window = nullptr;
            for (QWidget* candidate : QApplication::topLevelWidgets())
                if (auto* found = qobject_cast<qubopost::gui::QtDialog*>(candidate);
                    found && found->isVisible())
                    window = found;
            if (++ticks > 1500) {  // 30 s
                launcher.stop();
                QTest::qFail("the dialog did not come up", __FILE__, __LINE__);
                if (QMessageBox* box = VisibleBox()) box->reject();
                if (window) window->done(IDCANCEL);
                return;
            }
            if (!window) return;
            if (QMessageBox* box = VisibleBox(); box && !asked) {
                asked = true;
                if (!session.startQuestion) {
                    QTest::qFail(qPrintable(U("an unexpected question at start: ") + box->text()),
                                 __FILE__, __LINE__);
                    QTest::keyClick(box, Qt::Key_Escape);
                    return;
                }
                session.startQuestion(*box);
                return;
            }
            if (!window->isModal()) return;  // still starting
            launcher.stop();
            if (session.startQuestion && !asked)
                QTest::qFail("no question at start", __FILE__, __LINE__);
            script(*window);
            if (!window->HasEnded()) window->done(IDCANCEL);
        });
        launcher.start(20);
        windows.RunModal(dialog);
        m_current = nullptr;
    }

    CQubopostDlg* m_current = nullptr;
};

QTEST_MAIN(QtResumeTest)
#include "test_qt_resume.moc"
