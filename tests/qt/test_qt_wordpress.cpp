// The real window posting into a real blog: the fields typed as a user types them (Japanese through
// the input method, the article pasted), 投稿確認 and the preview read from its own widgets,
// ブログ投稿開始 with the window's own mail path (the mail library, nothing put in its place), and
// then WordPress's posts on the test bed (tests/testbed/wordpress.sh, everything on 127.0.0.1):
// every post's title is the subject the user should see, its content the message text (header +
// articles + footer), exactly, links intact. Then the window is closed with Esc and started again
// on the same settings file: the fields hold what was typed, 〜 ♡ 🍣 included.
//
// The expected subjects, texts and WordPress's own changes are written by hand in
// tests/testbed/wordpress_expectations.h (shared with the qubopost-cli test). With
// QUBOPOST_PREVIEW_PICTURE set to a file name, the preview (first message selected) is saved there
// as a PNG picture; docs/screenshots/preview-unicode.png was made so, on Xvfb:
//   LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb
//   QUBOPOST_PREVIEW_PICTURE=$PWD/docs/screenshots/preview-unicode.png xvfb-run -a -s "-screen 0
//   1366x768x24 -nolisten tcp" BUILD/test_qt_wordpress
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gui/qt_dialog.h"
#include "gui/qt_window_system.h"
#include "journal/journal.h"
#include "qt_helpers.h"
#include "resources/control_table.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"
#include "wordpress_bed.h"
#include "wordpress_expectations.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

namespace {

// A text field holds LF line ends; the messages CR LF.
QString InField(const std::string& crlf) {
    return U(crlf).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
std::string InMessage(const QString& typed) {
    return QString(typed).replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdString();
}

// Types into a field as a Japanese user does: ASCII with the keys, every other character as
// the input method's committed text, a line break with Enter.
void TypeAsUser(QWidget* field, const QString& text) {
    field->setFocus(Qt::OtherFocusReason);
    QString keys, composed;
    auto flush = [&] {
        if (!keys.isEmpty()) QTest::keyClicks(field, keys);
        if (!composed.isEmpty()) {
            QInputMethodEvent commit;
            commit.setCommitString(composed);
            QApplication::sendEvent(field, &commit);
        }
        keys.clear();
        composed.clear();
    };
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            flush();
            QTest::keyClick(field, Qt::Key_Return);
        } else if (c.unicode() >= 0x20 && c.unicode() < 0x7F) {
            if (!composed.isEmpty()) flush();
            keys += c;
        } else {
            if (!keys.isEmpty()) flush();
            composed += c;
        }
    }
    flush();
}

// Pastes a text into a field with Ctrl+V.
void Paste(QWidget* field, const QString& text) {
    field->setFocus(Qt::OtherFocusReason);
    QApplication::clipboard()->setText(text);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
}

// While it lives, presses OK on every message box the window's own thread opens (its exec()
// would otherwise hold the test) and notes its text.
class MessageBoxWatch {
public:
    MessageBoxWatch() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(window);
                if (!box || !box->isVisible() || !box->button(QMessageBox::Ok)) continue;
                m_texts << box->text();
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            }
        });
        m_timer.start(50);
    }
    QString Texts() const { return m_texts.join(QStringLiteral("\n")); }

private:
    QTimer m_timer;
    QStringList m_texts;
};

// One row of the preview's list, with the body it shows when the row is selected.
struct PreviewRow {
    QString number, destination, subject, body;
};

// Once the preview is up: reads every row (selecting each to show its body), saves a picture
// of it with the first row selected when asked to, and presses its 確認 button.
void ReadAndConfirmPreviewWhenShown(QObject* owner, std::vector<PreviewRow>* rows, bool* shown) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, rows, shown] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* preview = qobject_cast<QDialog*>(window);
            if (!preview || !preview->isVisible() ||
                preview->objectName() != QStringLiteral("postingPreview"))
                continue;
            timer->stop();
            timer->deleteLater();
            *shown = true;
            auto* list = preview->findChild<QTreeWidget*>(QStringLiteral("messages"));
            auto* body = preview->findChild<QPlainTextEdit*>(QStringLiteral("body"));
            if (list && body) {
                for (int i = 0; i < list->topLevelItemCount(); ++i) {
                    QTreeWidgetItem* item = list->topLevelItem(i);
                    list->setCurrentItem(item);
                    rows->push_back(
                        {item->text(0), item->text(1), item->text(2), body->toPlainText()});
                }
                if (list->topLevelItemCount() > 0) list->setCurrentItem(list->topLevelItem(0));
            }
            if (const QByteArray picture = qgetenv("QUBOPOST_PREVIEW_PICTURE");
                !picture.isEmpty()) {
                for (int i = 0; i < 20; ++i)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                if (!preview->grab().save(QString::fromLocal8Bit(picture)))
                    qWarning("could not write %s", picture.constData());
            }
            for (QPushButton* button : preview->findChildren<QPushButton*>()) {
                if (button->text() == QStringLiteral("確認(&O)")) {
                    QTest::mouseClick(button, Qt::LeftButton);
                    return;
                }
            }
            preview->reject();  // no 確認 button: the test sees no confirmation
            return;
        }
    });
    timer->start(20);
}

}  // namespace

class QtWordPressTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        bool missing = false;
        const std::string failure = m_bed.Start(&missing);
        if (missing) QSKIP(qPrintable(U(failure)));
        QVERIFY2(failure.empty(), qPrintable(U(failure)));
    }

    void cleanupTestCase() {
        const std::string failure = m_bed.Stop();
        QVERIFY2(failure.empty(), qPrintable(U(failure)));
    }

    void theWindowPostsEveryGroupExactlyAndKeepsItsFieldsAcrossCloseAndStart() {
        // What BSendMail reads besides its arguments: a private HOME (no ~/.netrc) and no key ring.
        qubopost::test::SmtpClientEnvironment client;
        TempDir dir;
        const std::string settingsPath = dir.File("CQubopostDlg.ini");
        // As typed, with LF line ends: 〜 (U+301C) and ♡ have no Shift-JIS form, 🍣 lies outside
        // the BMP, "　" is a full-width blank.
        const QString from = U(m_bed.Env("ADMIN_EMAIL")), server = U(m_bed.Env("SMTP_HOST")),
                      port = U(m_bed.Env("SMTP_PORT"));
        const QString destinations = U(m_bed.Env("MAIL_TO"));
        const QString header = U("ヘッダー：ようこそ♡　今日のおすすめ 〜 ～ ①🍣\n\n");
        const QString footer = U("\nフッター：http://blog.test/?from=mail&page=1 ♡　〜 🍣\n");
        const QString article = InField(testbed::WholeArticle());

        std::vector<PreviewRow> rows;
        bool previewShown = false, startEnabled = false;
        QString verdict, log, confirmBoxes, closeBoxes;
        RunDialog(settingsPath, [&](QtDialog& dialog) {
            TypeAsUser(dialog.Control(IDC_FROM_ADDRESS), from);
            TypeAsUser(dialog.Control(IDC_SMTP_SERVER), server);
            TypeAsUser(dialog.Control(IDC_SMTP_PORT), port);
            TypeAsUser(dialog.Control(IDC_BLOG_ADDRESSES), destinations);
            TypeAsUser(dialog.Control(IDC_HEADER), header);
            TypeAsUser(dialog.Control(IDC_FOOTER), footer);
            Paste(dialog.Control(IDC_ARTICLE), article);
            // The fields hold what was typed before anything is pressed.
            QCOMPARE(TextOf(dialog, IDC_HEADER), header);
            QCOMPARE(TextOf(dialog, IDC_FOOTER), footer);
            QCOMPARE(TextOf(dialog, IDC_ARTICLE), article);

            ReadAndConfirmPreviewWhenShown(&dialog, &rows, &previewShown);
            {
                const MessageBoxWatch watch;
                QTest::mouseClick(dialog.Control(IDC_CONFIRM_POST), Qt::LeftButton);
                confirmBoxes = watch.Texts();
            }
            startEnabled = dialog.Control(IDC_START_POST)->isEnabled();
            if (!startEnabled) return;
            QTest::mouseClick(dialog.Control(IDC_START_POST), Qt::LeftButton);
            verdict = AnswerMessageBox(180000);
            log = TextOf(dialog, IDC_LOG);
            const MessageBoxWatch watch;
            QTest::keyClick(&dialog, Qt::Key_Escape);  // saves the settings file and closes
            closeBoxes = watch.Texts();
        });
        if (QTest::currentTestFailed()) return;
        QVERIFY2(confirmBoxes.isEmpty(), qPrintable("投稿確認 said: " + confirmBoxes));
        QVERIFY2(previewShown, "投稿確認 showed no preview");
        QVERIFY2(startEnabled, "ブログ投稿開始 is not enabled after the preview's 確認");
        QVERIFY2(!verdict.isNull(), qPrintable("no verdict within 180 s; the log:\n" + log));
        QCOMPARE(verdict, U("ブログへの自動投稿が完了しました。"));
        QCOMPARE(log.count(destinations + U(":送信完了")), testbed::kGroups);
        QVERIFY2(closeBoxes.isEmpty(), qPrintable("closing said: " + closeBoxes));

        const std::string headerInMessage = InMessage(header), footerInMessage = InMessage(footer);
        // Every difference is written out whole on standard error (QTest cuts long messages);
        // the failure names them all.
        std::vector<std::string> faults;
        auto fault = [&faults](const std::string& what, const std::string& details) {
            std::fprintf(stderr, "%s: %s\n", what.c_str(), details.c_str());
            faults.push_back(what);
        };
        auto expect = [&fault](const std::string& what, const std::string& actual,
                               const std::string& expected) {
            const std::string difference = testbed::TextDifference(actual, expected);
            if (!difference.empty()) fault(what, difference);
        };

        // The preview: one message per group, in order, each with its subject and body as typed.
        QCOMPARE(static_cast<int>(rows.size()), testbed::kGroups);
        for (int g = 0; g < testbed::kGroups; ++g) {
            const PreviewRow& row = rows[static_cast<std::size_t>(g)];
            const std::string where = "preview row " + std::to_string(g + 1);
            expect(where + " number", row.number.toStdString(), std::to_string(g + 1));
            expect(where + " destination", row.destination.toStdString(), m_bed.Env("MAIL_TO"));
            expect(where + " subject", row.subject.toStdString(), testbed::kTitles[g].subject);
            expect(where + " body", row.body.toStdString(),
                   InField(testbed::GroupBody(g, headerInMessage, footerInMessage)).toStdString());
        }

        // The blog: wp-mail.php fetches the mailbox once; every group is one published post of
        // the administrator's (the sender is the administrator's address).
        const QJsonObject result = Check();
        if (QTest::currentTestFailed()) return;
        QCOMPARE(result[QStringLiteral("wp_mail")][QStringLiteral("status")].toInt(), 200);
        const QJsonArray posts = result[QStringLiteral("posts")].toArray();
        QCOMPARE(static_cast<int>(posts.size()), testbed::kGroups);
        for (int g = 0; g < testbed::kGroups; ++g) {
            const QJsonObject post = posts[g].toObject();
            const std::string where = "post " + std::to_string(g + 1);
            const std::string content = post[QStringLiteral("content")].toString().toStdString();
            expect(where + " title", post[QStringLiteral("title")].toString().toStdString(),
                   testbed::AsWordPressStoresIt(testbed::kTitles[g].subject));
            expect(where + " content", content,
                   testbed::AsWordPressStoresIt(
                       testbed::GroupBody(g, headerInMessage, footerInMessage)));
            for (int n = 3 * g + 1; n <= 3 * g + 3; ++n) {
                if (content.find(testbed::AsWordPressStoresIt(testbed::Link(n)) + "\r\n") ==
                    std::string::npos)
                    fault(where + " link " + std::to_string(n),
                          testbed::Link(n) + " is not intact");
            }
            expect(where + " status", post[QStringLiteral("status")].toString().toStdString(),
                   "publish");
            expect(where + " author", post[QStringLiteral("author")].toString().toStdString(),
                   m_bed.Env("ADMIN_USER"));
        }

        // Closed with Esc, started again on the same settings file: every field as typed.
        struct Typed {
            const char* what;
            int id;
            QString text;
        };
        const Typed typed[] = {
            {"header", IDC_HEADER, header},     {"footer", IDC_FOOTER, footer},
            {"sender", IDC_FROM_ADDRESS, from}, {"server", IDC_SMTP_SERVER, server},
            {"port", IDC_SMTP_PORT, port},      {"destinations", IDC_BLOG_ADDRESSES, destinations},
        };
        std::map<int, QString> again;
        RunDialog(settingsPath, [&](QtDialog& dialog) {
            for (const Typed& field : typed) again[field.id] = TextOf(dialog, field.id);
        });
        for (const Typed& field : typed)
            expect(std::string("after Close and start, the ") + field.what,
                   again[field.id].toStdString(), field.text.toStdString());

        std::string report = "differences (each on standard error):";
        for (const std::string& what : faults) report += "\n  " + what;
        QVERIFY2(faults.empty(), qPrintable(U(report)));
    }

    // A mail blog and the WordPress site by its URL in one run from the window, with
    // 下書きとして投稿 switched on in the context menu: the mail gateway's posts are published,
    // the API's are drafts, each with its exact title; the journal holds each draft's address.
    void mailAndTheBlogsApiInOneRunWithDraftsFromTheContextMenu() {
        qubopost::test::SmtpClientEnvironment client;
        // The application password where the window looks for it (the key ring is hidden).
        client.writeNetrc("machine 127.0.0.1 login " + m_bed.Env("ADMIN_USER") + " password \"" +
                          m_bed.AppPassword() + "\"\n");
        TempDir dir;
        const std::string blogUrl =
            "http://" + m_bed.Env("ADMIN_USER") + "@" + m_bed.HostPort() + "/";
        const QString destinations = U(m_bed.Env("MAIL_TO") + "\n" + blogUrl);
        const std::map<long, QJsonObject> before = Posts();
        if (QTest::currentTestFailed()) return;
        constexpr int kGroups =
            2;  // the first two groups (three articles each) of the bed's article

        std::vector<PreviewRow> rows;
        bool previewShown = false, draftChecked = false;
        QString verdict, log, confirmBoxes;
        RunDialog(dir.File("CQubopostDlg.ini"), [&](QtDialog& dialog) {
            TypeAsUser(dialog.Control(IDC_FROM_ADDRESS), U(m_bed.Env("ADMIN_EMAIL")));
            TypeAsUser(dialog.Control(IDC_SMTP_SERVER), U(m_bed.Env("SMTP_HOST")));
            TypeAsUser(dialog.Control(IDC_SMTP_PORT), U(m_bed.Env("SMTP_PORT")));
            TypeAsUser(dialog.Control(IDC_BLOG_ADDRESSES), destinations);
            Paste(
                dialog.Control(IDC_ARTICLE),
                InField(testbed::WholeArticle()).section(U("-----into-----"), 0, 3 * kGroups - 1) +
                    U("-----into-----"));
            for (QAction* action : dialog.actions()) {
                if (action->text() != U("下書きとして投稿")) continue;
                action->trigger();
                draftChecked = action->isChecked();
            }
            ReadAndConfirmPreviewWhenShown(&dialog, &rows, &previewShown);
            {
                const MessageBoxWatch watch;
                QTest::mouseClick(dialog.Control(IDC_CONFIRM_POST), Qt::LeftButton);
                confirmBoxes = watch.Texts();
            }
            if (!dialog.Control(IDC_START_POST)->isEnabled()) return;
            QTest::mouseClick(dialog.Control(IDC_START_POST), Qt::LeftButton);
            verdict = AnswerMessageBox(180000);
            log = TextOf(dialog, IDC_LOG);
        });
        if (QTest::currentTestFailed()) return;
        QVERIFY(draftChecked);
        QVERIFY2(confirmBoxes.isEmpty(), qPrintable("投稿確認 said: " + confirmBoxes));
        QVERIFY(previewShown);
        QCOMPARE(verdict, U("ブログへの自動投稿が完了しました。"));
        // Group by group, each to the mail address and then to the blog.
        QCOMPARE(static_cast<int>(rows.size()), 2 * kGroups);
        for (int i = 0; i < 2 * kGroups; ++i) {
            QCOMPARE(rows[static_cast<std::size_t>(i)].destination,
                     U(i % 2 == 0 ? m_bed.Env("MAIL_TO") : blogUrl));
            QCOMPARE(rows[static_cast<std::size_t>(i)].subject, U(testbed::kTitles[i / 2].subject));
        }
        QVERIFY2(log.contains(U("下書き")), qPrintable(log));

        // The check fetches the mailbox too: the mail posts arrive now, published.
        std::vector<QJsonObject> made;
        for (const auto& [id, post] : Posts())
            if (!before.count(id)) made.push_back(post);
        QCOMPARE(static_cast<int>(made.size()), 2 * kGroups);
        // The API stores the title as sent; the mail gateway as wp-mail.php leaves it.
        std::map<std::string, std::vector<std::string>> titlesByStatus;
        std::vector<std::string> draftLinks;
        for (const QJsonObject& post : made) {
            const std::string status = post[QStringLiteral("status")].toString().toStdString();
            titlesByStatus[status].push_back(
                post[QStringLiteral("title")].toString().toStdString());
            if (status == "draft")
                draftLinks.push_back(post[QStringLiteral("link")].toString().toStdString());
        }
        std::map<std::string, std::vector<std::string>> expected;
        for (int g = 0; g < kGroups; ++g) {
            expected["draft"].push_back(testbed::kTitles[g].subject);
            expected["publish"].push_back(
                testbed::AsWordPressStoresIt(testbed::kTitles[g].subject));
        }
        for (auto* titles : {&titlesByStatus, &expected})
            for (auto& [status, list] : *titles) std::sort(list.begin(), list.end());
        QVERIFY(titlesByStatus == expected);

        // The journal: each API message with the address of the post it made.
        auto journal = qubopost::journal::Journal::Open(m_bed.Dir().File("history.sqlite3"));
        QVERIFY(journal.ok());
        auto history = journal.value().History(1);
        QVERIFY(history.ok() && !history.value().empty());
        auto messages = journal.value().Messages(history.value().front().id);
        QVERIFY(messages.ok());
        std::vector<std::string> links;
        for (const auto& message : messages.value()) {
            QCOMPARE(message.state, qubopost::journal::MessageState::Sent);
            QCOMPARE(message.link.empty(), message.destination != blogUrl);
            if (!message.link.empty()) links.push_back(message.link);
        }
        std::sort(links.begin(), links.end());
        std::sort(draftLinks.begin(), draftLinks.end());
        QCOMPARE(links, draftLinks);
    }

private:
    // Every post but trashed ones, by id (`wordpress.sh check`, which fetches the mailbox first).
    std::map<long, QJsonObject> Posts() {
        std::map<long, QJsonObject> posts;
        for (const QJsonValue post : Check()[QStringLiteral("posts")].toArray())
            posts[post.toObject()[QStringLiteral("id")].toVariant().toLongLong()] = post.toObject();
        return posts;
    }

    // wp-mail.php fetched once, and every post (`wordpress.sh check`).
    QJsonObject Check() {
        std::string failure;
        m_bed.Check(&failure);
        if (!failure.empty()) QTest::qFail(qPrintable(U(failure)), __FILE__, __LINE__);
        return QJsonDocument::fromJson(QByteArray::fromStdString(m_bed.Out("check"))).object();
    }

    // The main window with its default wiring (the mail library sends), on a settings file and a
    // journal of the test's own, without pauses between messages; `script` runs once it is up.
    void RunDialog(const std::string& settingsPath,
                   const std::function<void(qubopost::gui::QtDialog&)>& script) {
        static int argc = 1;
        static char name[] = "test_qt_wordpress";
        static char* argv[] = {name, nullptr};
        static QtWindowSystem windows(argc, argv);
        qubopost::ui::DialogServices services;
        services.settingsPath = settingsPath;
        services.journalPath = m_bed.Dir().File("history.sqlite3");
        services.postingPause = std::chrono::milliseconds(0);
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

    testbed::WordPressBed m_bed;
};

QTEST_MAIN(QtWordPressTest)
#include "test_qt_wordpress.moc"
