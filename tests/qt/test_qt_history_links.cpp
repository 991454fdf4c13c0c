// 投稿履歴 shows the address of the post a blog made for each message and opens it in the
// desktop's browser (double-click or 記事を開く); a message without one, or with an address that
// is no web address (the journal holds what a blog answered), opens nothing.
#include <QDesktopServices>
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include "gui/side_windows.h"
#include "journal/journal.h"
#include "temp_dir.h"
#include "ui/side_services.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;

namespace journal = qubopost::journal;

// What the desktop was asked to open, instead of a browser.
class Browser : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class QtHistoryLinksTest : public QObject {
    Q_OBJECT

private slots:
    void theAddressOfEachPostIsShownAndOnlyWebAddressesOpen() {
        TempDir dir;
        const std::string path = dir.File("history.sqlite3");
        {
            auto opened = journal::Journal::Open(path);
            QVERIFY(opened.ok());
            journal::Journal& history = opened.value();
            const auto now =
                std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
            auto run = history.StartRun("identity",
                                        {{1, "blog@example.jp", "メールの件名"},
                                         {2, "https://taro@blog.example.jp/", "記事の件名"},
                                         {3, "https://taro@odd.example.jp/", "変な答え"}},
                                        now);
            QVERIFY(run.ok());
            QVERIFY(history.MarkSent(run.value(), 1, now, "250 2.0.0 Ok").ok());
            QVERIFY(
                history
                    .MarkSent(run.value(), 2, now, "201 Created", "https://blog.example.jp/?p=12")
                    .ok());
            QVERIFY(
                history.MarkSent(run.value(), 3, now, "201 Created", "file:///etc/passwd").ok());
            QVERIFY(history.EndRun(run.value(), now, true).ok());
        }
        Browser browser;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "open");

        struct Row {
            QString link;
            bool openable;
        };
        std::vector<Row> rows;
        QTimer::singleShot(0, [&] {
            QDialog* window = nullptr;
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return (window = qobject_cast<QDialog*>(QApplication::activeModalWidget()));
                },
                5000));
            auto* messages = window->findChild<QTreeWidget*>(QStringLiteral("messages"));
            auto* open = window->findChild<QPushButton*>(QStringLiteral("openPost"));
            QVERIFY(messages && open);
            QVERIFY(QTest::qWaitFor([&] { return messages->topLevelItemCount() == 3; }, 5000));
            int linkColumn = -1;
            for (int c = 0; c < messages->columnCount(); ++c)
                if (messages->headerItem()->text(c) == QStringLiteral("投稿のアドレス"))
                    linkColumn = c;
            QVERIFY(linkColumn >= 0);
            for (int i = 0; i < 3; ++i) {
                messages->setCurrentItem(messages->topLevelItem(i));
                rows.push_back({messages->topLevelItem(i)->text(linkColumn), open->isEnabled()});
                if (open->isEnabled()) QTest::mouseClick(open, Qt::LeftButton);
            }
            // A double-click (activation) opens the same.
            messages->setCurrentItem(messages->topLevelItem(1));
            emit messages->itemActivated(messages->topLevelItem(1), 0);
            window->reject();
        });
        qubopost::gui::RunHistoryWindow(nullptr, *qubopost::ui::MakeSideServices("", path));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

        QCOMPARE(static_cast<int>(rows.size()), 3);
        QCOMPARE(rows[0].link, QString());
        QVERIFY(!rows[0].openable);
        QCOMPARE(rows[1].link, QStringLiteral("https://blog.example.jp/?p=12"));
        QVERIFY(rows[1].openable);
        QCOMPARE(rows[2].link, QStringLiteral("file:///etc/passwd"));
        QVERIFY(!rows[2].openable);
        QCOMPARE(browser.opened,
                 (QList<QUrl>{QUrl(QStringLiteral("https://blog.example.jp/?p=12")),
                              QUrl(QStringLiteral("https://blog.example.jp/?p=12"))}));
    }
};

QTEST_MAIN(QtHistoryLinksTest)
#include "test_qt_history_links.moc"
