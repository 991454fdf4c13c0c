// The program's window by keys alone: Tab order, the buttons' keys with their tool tips and
// menu entries, and a whole run (generate, confirm, start) against servers on 127.0.0.1.
#include <httplib.h>

#include <QAbstractButton>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include "http_server.h"
#include "platform/encoding.h"
#include "raw_peer.h"
#include "resources/control_table.h"
#include "smtp_fixture.h"
#include "test_qt_a11y_window.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;

using a11y_test::Accessible;
using a11y_test::OnNextModal;
using a11y_test::Press;
using a11y_test::RunWindow;
using a11y_test::U;

namespace {

// The name of the control that has the focus (the combo box has it in its edit part).
QString FocusedName(qubopost::gui::QtDialog& dialog) {
    QWidget* focus = QApplication::focusWidget();
    for (QWidget* widget : dialog.TableWidgets())
        if (focus && (widget == focus || widget->isAncestorOf(focus)))
            return Accessible(widget)->text(QAccessible::Name);
    return focus ? QStringLiteral("<%1>").arg(focus->metaObject()->className())
                 : QStringLiteral("<none>");
}

// Reading order, the left column then the right: one stop per radio group (its checked
// button), none on a disabled button.
const char* const kTabOrder[] = {
    "投稿元メールアドレス",
    "SMTPサーバアドレス",
    "ポートアドレス",
    "投稿先ブログアドレス",
    "ダウンロード",
    "カテゴリ選択",
    "アフィリエイトID",
    "1ヶ月集計ランキング",
    "記事",
    "ヘッダー",
    "フッター",
    "記事自動生成",
    "クリア",
    "閉じる",
    "投稿確認",
    "ログ",
};

struct ButtonKey {
    int id;
    const char* caption;
    const char* toolTip;
    QKeySequence key;
};
const ButtonKey kButtonKeys[] = {
    {IDC_GENERATE, "記事自動生成", "記事自動生成 (Alt+G)", QKeySequence(Qt::ALT | Qt::Key_G)},
    {IDC_CLEAR, "クリア", "クリア (Alt+C)", QKeySequence(Qt::ALT | Qt::Key_C)},
    {IDC_START_POST, "ブログ投稿開始", "ブログ投稿開始 (Alt+B)", QKeySequence(Qt::ALT | Qt::Key_B)},
    {IDC_CONFIRM_POST, "投稿確認", "投稿確認 (Alt+P)", QKeySequence(Qt::ALT | Qt::Key_P)},
    {IDCANCEL, "閉じる", "閉じる (Esc)", QKeySequence(Qt::Key_Escape)},
};

// Waits for a message box, answers it with Enter and returns its text.
QString AnswerWithEnter() {
    QMessageBox* box = nullptr;
    const bool shown = QTest::qWaitFor(
        [&] {
            box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            return box && box->isVisible();
        },
        30000);
    if (!shown || !box) return QStringLiteral("<no box>");
    const QString text = box->text();
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box,
                    Qt::Key_Return);
    return text;
}

}  // namespace

class QtKeyboardTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); }

    void tabFollowsTheReadingOrderBothWays() {
        RunWindow([](QtDialog& dialog) {
            dialog.Control(IDC_FROM_ADDRESS)->setFocus(Qt::OtherFocusReason);
            QStringList forward, backward, expected;
            for (const char* name : kTabOrder) expected << U(name);
            for (qsizetype i = 0; i < expected.size(); ++i) {
                forward << FocusedName(dialog);
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            QCOMPARE(forward, expected);
            QCOMPARE(FocusedName(dialog), expected.first());  // round again
            for (qsizetype i = 0; i < expected.size(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
                backward.prepend(FocusedName(dialog));
            }
            QCOMPARE(backward, expected);
        });
    }

    void everyButtonHasAKeyInItsToolTipAndTheMenu() {
        RunWindow([](QtDialog& dialog) {
            for (const ButtonKey& button : kButtonKeys) {
                auto* widget = qobject_cast<QPushButton*>(dialog.Control(button.id));
                QCOMPARE(widget->text(), U(button.caption));  // the caption itself stays
                QCOMPARE(widget->toolTip(), U(button.toolTip));
                QVERIFY(!widget->isDefault() && !widget->autoDefault());
            }
            // While a run goes on the same key stops it, and the tool tip says so.
            dialog.SetWindowText(IDC_START_POST, Sjis("投稿停止"));
            QCOMPARE(dialog.Control(IDC_START_POST)->toolTip(), U("投稿停止 (Alt+B)"));
            dialog.SetWindowText(IDC_START_POST, Sjis("ブログ投稿開始"));
            // The background's menu, opened from the keyboard.
            QStringList entries;
            QList<QKeySequence> keys;
            auto* timer = new QTimer(&dialog);
            QObject::connect(timer, &QTimer::timeout, &dialog, [&, timer] {
                for (QWidget* window : QApplication::topLevelWidgets()) {
                    auto* menu = qobject_cast<QMenu*>(window);
                    if (!menu || !menu->isVisible()) continue;
                    timer->stop();
                    for (QAction* action : menu->actions()) {
                        entries << action->text();
                        keys << action->shortcut();
                    }
                    QTest::keyClick(menu, Qt::Key_Escape);
                }
            });
            timer->start(20);
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2),
                                    dialog.Content()->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(dialog.Content(), &event);
            delete timer;
            for (const ButtonKey& button : kButtonKeys) {
                const qsizetype at = entries.indexOf(U(button.caption));
                QVERIFY2(at >= 0, qPrintable(entries.join('|')));
                QCOMPARE(keys[at], button.key);
            }
            // The window's own entries keep their keys.
            for (const QKeySequence& key :
                 {QKeySequence(Qt::ALT | Qt::Key_A), QKeySequence(Qt::ALT | Qt::Key_S),
                  QKeySequence(Qt::ALT | Qt::Key_R), QKeySequence(Qt::ALT | Qt::Key_H)})
                QVERIFY2(keys.contains(key), qPrintable(key.toString()));
        });
    }

    // Alt+A, Alt+S, Alt+R and Alt+H each open their window; Esc closes it.
    void theMenusKeysStillOpenTheirWindows() {
        RunWindow([](QtDialog& dialog) {
            for (Qt::Key key : {Qt::Key_A, Qt::Key_S, Qt::Key_R, Qt::Key_H}) {
                QString title;
                OnNextModal(&dialog, [&](QWidget* window) { title = window->windowTitle(); });
                Press(&dialog, key, Qt::AltModifier);
                QVERIFY2(!title.isEmpty(), qPrintable(QKeySequence(Qt::ALT | key).toString()));
                QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() == &dialog ||
                                             !QApplication::activeModalWidget(),
                                         10000);
            }
        });
    }

    // A ranking server that never answers: while it is asked, 記事自動生成 is off (a second
    // Alt+G does nothing), the bar is busy; Esc ends the fetch (not the window) and the article
    // is as it was.
    void escEndsAFetchThatHangsAndKeepsTheArticle() {
        std::atomic<int> connections{0};
        RawPeer ranking([&](int fd, const std::atomic<bool>& stop) {
            ++connections;
            RawPeer::Stall(fd, stop);
        });
        ProxyEnvironment proxy("http://127.0.0.1:" + std::to_string(ranking.Port()));
        bool busy = false, offWhileBusy = false, backAfterEsc = false, open = false;
        QString article;
        RunWindow([&](QtDialog& dialog) {
            auto* field = qobject_cast<QPlainTextEdit*>(dialog.Control(IDC_ARTICLE));
            field->setPlainText(U("ユーザーの記事"));
            Press(&dialog, Qt::Key_G, Qt::AltModifier);
            auto* bar = qobject_cast<QProgressBar*>(dialog.Control(IDC_PROGRESS));
            busy = QTest::qWaitFor([&] { return bar->maximum() == 0 && connections.load() == 1; },
                                   5000);
            offWhileBusy = !dialog.Control(IDC_GENERATE)->isEnabled();
            Press(&dialog, Qt::Key_G, Qt::AltModifier);
            QTest::qWait(100);
            Press(&dialog, Qt::Key_Escape);
            backAfterEsc =
                QTest::qWaitFor([&] { return dialog.Control(IDC_GENERATE)->isEnabled(); }, 5000);
            open = !dialog.HasEnded();
            article = field->toPlainText();
        });
        QVERIFY(busy);
        QVERIFY(offWhileBusy);
        QCOMPARE(connections.load(), 1);
        QVERIFY(backAfterEsc);
        QVERIFY(open);
        QCOMPARE(article, U("ユーザーの記事"));
    }

    // Generate, confirm and start with keys alone; Enter in a one-line field never sends.
    void aWholeRunByKeys() {
        LocalHttpServer ranking([](const httplib::Request&, httplib::Response& response) {
            response.set_content("<a href='http://shop.test/1/' target=_blank>Title</a>",
                                 "text/html");
        });
        ProxyEnvironment proxy(ranking.ProxyUrl());
        qubopost::test::SmtpClientEnvironment client;
        qubopost::test::SmtpServer smtp;
        QString generated, article, previewTitle, afterEnter, verdict, clearQuestion;
        bool startBeforeConfirm = true, startAfterConfirm = false, closedByEsc = false;
        std::size_t sentOnEnter = 1;
        RunWindow([&](QtDialog& dialog) {
            dialog.Control(IDC_FROM_ADDRESS)->setFocus(Qt::OtherFocusReason);
            const std::string fields[] = {"me@example.jp", "127.0.0.1", std::to_string(smtp.port()),
                                          "one@example.jp"};
            for (const std::string& text : fields) {
                a11y_test::Type(&dialog, QString::fromStdString(text));
                Press(&dialog, Qt::Key_Tab);
            }
            Press(&dialog, Qt::Key_G, Qt::AltModifier);  // 記事自動生成
            generated = AnswerWithEnter();
            article = qobject_cast<QPlainTextEdit*>(dialog.Control(IDC_ARTICLE))->toPlainText();

            startBeforeConfirm = dialog.Control(IDC_START_POST)->isEnabled();
            Press(&dialog, Qt::Key_B, Qt::AltModifier);  // disabled: nothing happens

            // 投稿確認 opens the preview; Enter there confirms (its default is 確認, which sends
            // nothing).
            OnNextModal(
                &dialog, [&](QWidget* preview) { previewTitle = preview->windowTitle(); },
                Qt::Key_Return);
            Press(&dialog, Qt::Key_P, Qt::AltModifier);
            startAfterConfirm = dialog.Control(IDC_START_POST)->isEnabled();

            // Enter in each one-line field presses nothing.
            for (int id : {IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT, IDC_AFFILIATE_ID,
                           IDC_CATEGORY}) {
                dialog.Control(id)->setFocus(Qt::OtherFocusReason);
                Press(&dialog, Qt::Key_Return);
            }
            QTest::qWait(200);
            sentOnEnter = smtp.messages().size();
            afterEnter = qobject_cast<QPushButton*>(dialog.Control(IDC_START_POST))->text();

            Press(&dialog, Qt::Key_B, Qt::AltModifier);  // ブログ投稿開始
            verdict = AnswerWithEnter();

            // クリア asks first; Enter keeps everything (いいえ is its default).
            OnNextModal(
                &dialog,
                [&](QWidget* box) { clearQuestion = qobject_cast<QMessageBox*>(box)->text(); },
                Qt::Key_Return);
            Press(&dialog, Qt::Key_C, Qt::AltModifier);
            Press(&dialog, Qt::Key_Escape);  // 閉じる
            closedByEsc = dialog.HasEnded();
        });
        QVERIFY(closedByEsc);
        // The success line first (アフィリエイトID is empty: a second line says the program's own
        // was used).
        QVERIFY2(generated.startsWith(U("正常にアフィリエイトコード付き記事が生成されました！！")),
                 qPrintable(generated));
        QVERIFY2(article.contains(U("[title]Title")), qPrintable(article));
        QVERIFY(!startBeforeConfirm);
        QCOMPARE(previewTitle, U("投稿内容の確認 - Qubopost"));
        QVERIFY(startAfterConfirm);
        QCOMPARE(sentOnEnter, std::size_t(0));
        QCOMPARE(afterEnter, U("ブログ投稿開始"));
        QCOMPARE(verdict, U("ブログへの自動投稿が完了しました。"));
        QCOMPARE(smtp.messages().size(), std::size_t(1));
        QVERIFY2(clearQuestion.startsWith(U("設定欄")), qPrintable(clearQuestion));
    }
};

QTEST_MAIN(QtKeyboardTest)
#include "test_qt_keyboard.moc"
