// The real window with the real dialog logic: buttons clicked as a user clicks them,
// against a real HTTP server (reached through http_proxy) and a real SMTP server.
#include <httplib.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "gui/qt_dialog.h"
#include "gui/qt_window_system.h"
#include "http_server.h"
#include "qt_helpers.h"
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

class QtIntegrationTest : public QObject {
    Q_OBJECT

private slots:
    void generateButtonPutsTheRankingPageIntoTheArticleField() {
        LocalHttpServer server([](const httplib::Request&, httplib::Response& response) {
            // The title "ブログ" in EUC-JP.
            response.set_content(
                "<a href='http://shop.test/1/' target=_blank>\xA5\xD6\xA5\xED\xA5\xB0</a>",
                "text/html");
        });
        ProxyEnvironment proxy(server.ProxyUrl());
        QString message, article;
        RunDialog([&](QtDialog& dialog) {
            Click(dialog, IDC_GENERATE);
            message = AnswerMessageBox();
            article = TextOf(dialog, IDC_ARTICLE);
            dialog.reject();  // Esc: saves and closes
        });
        // The success line, then (アフィリエイトID being empty) that the program's own ID was used.
        QVERIFY2(message.startsWith(U("正常にアフィリエイトコード付き記事が生成されました！！\n")),
                 qPrintable(message));
        QVERIFY2(message.contains(U("既定のアフィリエイトID")), qPrintable(message));
        QVERIFY2(article.contains(U("[title]ブログ")), qPrintable(article));
        QVERIFY(article.endsWith(U("-----into-----")));
        QCOMPARE(server.Requests().size(), std::size_t(1));
    }

    void confirmingAndStartingDeliversEveryGroupToEveryAddress() {
        qubopost::test::SmtpClientEnvironment client;
        qubopost::test::SmtpServer smtp;
        // Four articles as typed: two groups (three articles, then one) to each of two addresses.
        const QString article = QStringLiteral(
            "-----into-----\n[title]Title 1\nhttp://shop.test/1/\n-----into-----\n[title]Title 2\nhttp://shop.test/2/\n"
            "-----into-----\n[title]Title 3\nhttp://shop.test/3/\n-----into-----\n[title]Title 4\nhttp://shop.test/4/\n"
            "-----into-----");
        // Each message: the header, then its articles without the separators and title markers,
        // lines ending CR LF; the subject is the group's first title.
        const std::string firstGroup =
            "\r\nTitle 1\r\nhttp://shop.test/1/\r\n\r\nTitle 2\r\nhttp://shop.test/2/\r\n"
            "\r\nTitle 3\r\nhttp://shop.test/3/\r\n";
        const std::string secondGroup = "\r\nTitle 4\r\nhttp://shop.test/4/\r\n";
        const struct {
            std::string to, subject, body;
        } expected[] = {
            {"one@example.jp", "Title 1", "ヘッダー" + firstGroup},
            {"two@example.jp", "Title 1", "ヘッダー" + firstGroup},
            {"one@example.jp", "Title 4", "ヘッダー" + secondGroup},
            {"two@example.jp", "Title 4", "ヘッダー" + secondGroup},
        };
        QString verdict, log;
        bool startEnabledBeforeConfirm = true;
        int listed = -1;
        RunDialog([&](QtDialog& dialog) {
            Type(dialog, IDC_FROM_ADDRESS, "me@example.jp");
            Type(dialog, IDC_SMTP_SERVER, "127.0.0.1");
            Type(dialog, IDC_SMTP_PORT, QString::number(smtp.port()));
            Type(dialog, IDC_BLOG_ADDRESSES, "one@example.jp\ntwo@example.jp");
            Type(dialog, IDC_ARTICLE, article);
            Type(dialog, IDC_HEADER, U("ヘッダー"));
            startEnabledBeforeConfirm = dialog.Control(IDC_START_POST)->isEnabled();
            ConfirmPreviewWhenShown(&dialog, &listed);
            Click(dialog, IDC_CONFIRM_POST);
            Click(dialog, IDC_START_POST);
            verdict = AnswerMessageBox();
            log = TextOf(dialog, IDC_LOG);
            dialog.reject();
        });
        QVERIFY(!startEnabledBeforeConfirm);
        QCOMPARE(verdict, U("ブログへの自動投稿が完了しました。"));
        QCOMPARE(listed, 4);  // the preview listed what was then sent
        const auto received = smtp.messages();
        QCOMPARE(received.size(), std::size(expected));
        for (std::size_t i = 0; i < received.size(); ++i) {
            QCOMPARE(received[i].rcptTo, std::vector<std::string>{expected[i].to});
            QCOMPARE(qubopost::test::DecodedSubject(received[i]), expected[i].subject);
            QCOMPARE(qubopost::test::DecodedBody(received[i]), expected[i].body);
        }
        QVERIFY2(log.startsWith(U("two@example.jp:送信完了\n\none@example.jp:送信完了")),
                 qPrintable(log));
    }

    void textWithDotsComesBackAsTypedAfterClosingAndStartingAgain() {
        TempDir dir;
        const std::string path = dir.File("CQubopostDlg.ini");
        const QString header = U("続きは...こちら\n二行目"), footer = U("Read more... here \u2661");
        RunDialog(
            [&](QtDialog& dialog) {
                Type(dialog, IDC_HEADER, header);
                Type(dialog, IDC_FOOTER, footer);
                dialog.reject();  // Esc: saves and closes
            },
            path);
        QString headerAgain, footerAgain;
        RunDialog(
            [&](QtDialog& dialog) {
                headerAgain = TextOf(dialog, IDC_HEADER);
                footerAgain = TextOf(dialog, IDC_FOOTER);
            },
            path);
        QCOMPARE(headerAgain, header);
        QCOMPARE(footerAgain, footer);
    }

    void editsAfterTheConfirmationAndPastedLineBreaks() {
        bool afterConfirm = false, afterEdit = true;
        QString pasted;
        int listed = -1;
        RunDialog([&](QtDialog& dialog) {
            Type(dialog, IDC_FROM_ADDRESS, "me@example.jp");
            Type(dialog, IDC_SMTP_SERVER, "127.0.0.1");
            Type(dialog, IDC_SMTP_PORT, "25");
            Type(dialog, IDC_BLOG_ADDRESSES, "one@example.jp");
            Type(dialog, IDC_ARTICLE, "-----into-----[title]a\n-----into-----");
            ConfirmPreviewWhenShown(&dialog, &listed);
            Click(dialog, IDC_CONFIRM_POST);
            afterConfirm = dialog.Control(IDC_START_POST)->isEnabled();
            auto* article = qobject_cast<QPlainTextEdit*>(dialog.Control(IDC_ARTICLE));
            article->setFocus();
            QTest::keyClicks(article, "x");  // a typo fixed after the confirmation
            afterEdit = dialog.Control(IDC_START_POST)->isEnabled();
            // A line break pasted into a one-line field is dropped.
            auto* from = qobject_cast<QLineEdit*>(dialog.Control(IDC_FROM_ADDRESS));
            from->clear();
            from->setFocus();
            QApplication::clipboard()->setText(QStringLiteral("me@exam\r\nple.jp"));
            QTest::keyClick(from, Qt::Key_V, Qt::ControlModifier);
            pasted = from->text();
        });
        QCOMPARE(listed, 1);
        QVERIFY(afterConfirm);
        QVERIFY(!afterEdit);
        QCOMPARE(pasted, QStringLiteral("me@example.jp"));
    }

private:
    void RunDialog(const std::function<void(qubopost::gui::QtDialog&)>& script,
                   const std::string& settingsPath = {}) {
        static int argc = 1;
        static char name[] = "test_qt_integration";
        static char* argv[] = {name, nullptr};
        static QtWindowSystem windows(argc, argv);
        TempDir dir;
        qubopost::ui::DialogServices services;
        services.settingsPath = settingsPath.empty() ? dir.File("CQubopostDlg.ini") : settingsPath;
        services.postingPause = std::chrono::milliseconds(0);
        services.http.idleTimeoutMs = 5000;
        qubopost::ui::CQubopostDlg dialog(services);
        QTimer::singleShot(0, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* qtDialog = qobject_cast<qubopost::gui::QtDialog*>(window);
                    qtDialog && qtDialog->isVisible()) {
                    script(*qtDialog);
                    if (!qtDialog->HasEnded()) qtDialog->done(IDCANCEL);
                    return;
                }
            }
            QFAIL("the dialog is not up");
        });
        windows.RunModal(dialog);
    }
};

QTEST_MAIN(QtIntegrationTest)
#include "test_qt_integration.moc"
