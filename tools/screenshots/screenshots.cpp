// Takes pictures of the program's windows as a user meets them, for the documentation and
// for looking at them: the main window with a generated article, the posting preview with a
// message selected, the SMTP credentials window and the posting history with two runs.
//
//   qubopost-screenshots OUTPUT_FOLDER SUFFIX
//
// writes OUTPUT_FOLDER/main-SUFFIX.png, preview-SUFFIX.png, credentials-SUFFIX.png,
// history-SUFFIX.png, busy-SUFFIX.png (a fetch going) and failure-SUFFIX.png (a fetch's error). It
// runs on any Qt platform; scripts/screenshots.sh runs it under Xvfb at scale 1 and 2. Nothing is
// sent anywhere: the settings file and the journal are temporary.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "article/article_generator.h"
#include "gui/qt_dialog.h"
#include "gui/qt_window_system.h"
#include "gui/side_windows.h"
#include "journal/journal.h"
#include "platform/encoding.h"
#include "resources/control_table.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"
#include "ui/side_services.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;
using namespace qubopost::posting;

namespace journal = qubopost::journal;

namespace {

QString g_folder;
QString g_suffix;
int g_failures = 0;

// Lets the window settle (layout, exposure, the first paint), then saves it.
void Save(QWidget* window, const QString& name) {
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString file =
        g_folder + QLatin1Char('/') + name + QLatin1Char('-') + g_suffix + QStringLiteral(".png");
    if (!window->grab().save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        ++g_failures;
        return;
    }
    std::printf("%s %dx%d\n", qPrintable(file), window->width(), window->height());
}

// Serves events for about `ms` milliseconds.
void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The whole screen as it is now: shows what of a window lies off the screen.
void SaveScreen(const QString& name) {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString file = g_folder + QLatin1Char('/') + name + QStringLiteral("-screen-") +
                         g_suffix + QStringLiteral(".png");
    if (QScreen* screen = QGuiApplication::primaryScreen();
        !screen || !screen->grabWindow(0).save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        ++g_failures;
    }
}

// Calls `then` with the next modal window once it is up (the side windows run their own
// event loops, so this is armed before they are opened).
void WhenModalShown(const std::function<void(QDialog*)>& then) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, then] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!modal || qobject_cast<QtDialog*>(modal) || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        then(modal);
    });
    timer->start(50);
}

void Type(QtDialog& dialog, int id, const QString& text) {
    if (auto* line = qobject_cast<QLineEdit*>(dialog.Control(id))) line->setText(text);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(dialog.Control(id))) edit->setPlainText(text);
    if (auto* combo = qobject_cast<QComboBox*>(dialog.Control(id))) combo->setEditText(text);
}

// An article as the generator makes it from a ranking page of a few Japanese titles.
QString SampleArticle() {
    std::string page;
    const char* titles[] = {"はじめてのブログ術", "毎日つづく日記の書き方", "写真で伝える旅の記録",
                            "小さな副業入門", "季節のレシピ十二か月"};
    for (int i = 0; i < 5; ++i) {
        page += "<a href='http://shop.test/" + std::to_string(i + 1) + "/' target=_blank>" +
                titles[i] + "</a>\n";
    }
    const Text article = GenerateArticle(Sjis(page), RankingKind::Daily);
    return QString::fromStdString(ToUtf8(article))
        .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// A journal with two runs: one that went through, one stopped with a refusal on the way.
void RecordTwoRuns(const std::string& path) {
    auto opened = journal::Journal::Open(path);
    if (!opened) {
        std::fprintf(stderr, "journal: %s\n", opened.error().message.c_str());
        ++g_failures;
        return;
    }
    journal::Journal& history = opened.value();
    using std::chrono::sys_days;
    using namespace std::chrono;
    const journal::Time first = time_point_cast<seconds>(sys_days{2026y / 12 / 5} + 21h + 3min);
    const std::vector<journal::PlannedMessage> planned = {
        {1, "blog@example.jp", Sjis("【日刊ランキング】はじめてのブログ術").Bytes()},
        {2, "diary@example.jp", Sjis("【日刊ランキング】はじめてのブログ術").Bytes()},
        {3, "blog@example.jp", Sjis("【日刊ランキング】毎日つづく日記の書き方").Bytes()},
        {4, "diary@example.jp", Sjis("【日刊ランキング】毎日つづく日記の書き方").Bytes()},
    };
    auto one = history.StartRun("run-a", planned, first);
    if (one) {
        for (int n = 1; n <= 4; ++n)
            (void)history.MarkSent(one.value(), n, first + minutes(n - 1), "250 2.0.0 Ok: queued");
        (void)history.EndRun(one.value(), first + minutes(4), true);
    }
    const journal::Time second = first + days(1);
    auto two = history.StartRun("run-b", planned, second);
    if (two) {
        (void)history.MarkSent(two.value(), 1, second, "250 2.0.0 Ok: queued");
        (void)history.MarkFailed(two.value(), 2, second + minutes(1),
                                 Sjis("550 5.1.1 宛先のメールボックスがありません").Bytes());
        (void)history.EndRun(two.value(), second + minutes(1), false);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qubopost-screenshots OUTPUT_FOLDER SUFFIX\n");
        return 2;
    }
    QtWindowSystem windows(argc, argv);
    windows.StartApplication();
    g_folder = QString::fromLocal8Bit(argv[1]);
    g_suffix = QString::fromLocal8Bit(argv[2]);

    TempDir dir;
    const std::string journalPath = dir.File("history.sqlite3");
    RecordTwoRuns(journalPath);
    DialogServices services;
    services.settingsPath = dir.File("qubopost.ini");
    services.journalPath = journalPath;
    CQubopostDlg logic(services);

    QTimer::singleShot(300, [&] {
        QtDialog* dialog = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* candidate = qobject_cast<QtDialog*>(window);
                candidate && candidate->isVisible())
                dialog = candidate;
        }
        if (!dialog) {
            std::fprintf(stderr, "the main window did not come up\n");
            ++g_failures;
            QApplication::exit(1);
            return;
        }
        Type(*dialog, IDC_FROM_ADDRESS, QStringLiteral("hanako@example.jp"));
        Type(*dialog, IDC_SMTP_SERVER, QStringLiteral("127.0.0.1"));
        Type(*dialog, IDC_SMTP_PORT, QStringLiteral("2525"));
        Type(*dialog, IDC_BLOG_ADDRESSES, QStringLiteral("blog@example.jp\ndiary@example.jp"));
        Type(*dialog, IDC_HEADER, QStringLiteral("今日のおすすめです。"));
        Type(*dialog, IDC_FOOTER, QStringLiteral("またお越しください。"));
        Type(*dialog, IDC_AFFILIATE_ID, QStringLiteral("qb123"));
        Type(*dialog, IDC_ARTICLE, SampleArticle());
        Save(dialog, QStringLiteral("main"));
        SaveScreen(QStringLiteral("main"));

        WhenModalShown([](QDialog* preview) {
            if (auto* list = preview->findChild<QTreeWidget*>(QStringLiteral("messages"));
                list && list->topLevelItemCount() > 2)
                list->setCurrentItem(list->topLevelItem(2));
            Save(preview, QStringLiteral("preview"));
            SaveScreen(QStringLiteral("preview"));
            preview->reject();
        });
        dialog->Control(IDC_CONFIRM_POST)->setFocus();
        qobject_cast<QPushButton*>(dialog->Control(IDC_CONFIRM_POST))->click();

        WhenModalShown([](QDialog* window) {
            if (auto* user = window->findChild<QLineEdit*>(QStringLiteral("user")))
                user->setText(QStringLiteral("hanako"));
            Save(window, QStringLiteral("credentials"));
            window->reject();
        });
        RunCredentialsWindow(dialog, "127.0.0.1", "2525",
                             MakeSideServices("", journalPath)->SmtpLogin());

        WhenModalShown([](QDialog* window) {
            Save(window, QStringLiteral("history"));
            SaveScreen(QStringLiteral("history"));
            window->reject();
        });
        RunHistoryWindow(dialog, *MakeSideServices("", journalPath));

        // A fetch in progress: a ranking service (through the proxy setting) that takes the
        // request and never answers.
        const int silent = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (silent < 0 || bind(silent, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(silent, 4) != 0 ||
            getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::fprintf(stderr, "no silent server for the busy picture\n");
            ++g_failures;
        } else {
            qputenv("http_proxy",
                    "http://127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)));
            qobject_cast<QPushButton*>(dialog->Control(IDC_GENERATE))->click();
            Settle(800);
            Save(dialog, QStringLiteral("busy"));
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(dialog, &escape);
            for (int i = 0; i < 100 && !dialog->Control(IDC_GENERATE)->isEnabled(); ++i) Settle(50);
            close(silent);
        }

        // A failure and its advice: the ranking service's port refuses the connection.
        {
            const int closed = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in none{};
            none.sin_family = AF_INET;
            none.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t size = sizeof none;
            bind(closed, reinterpret_cast<sockaddr*>(&none), size);
            getsockname(closed, reinterpret_cast<sockaddr*>(&none), &size);
            close(closed);  // nothing listens there now
            qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(ntohs(none.sin_port)));
            bool shown = false;
            WhenModalShown([&shown](QDialog* box) {
                Save(box, QStringLiteral("failure"));
                SaveScreen(QStringLiteral("failure"));
                shown = true;
                box->reject();
            });
            qobject_cast<QPushButton*>(dialog->Control(IDC_GENERATE))->click();
            for (int i = 0; i < 200 && !shown; ++i) Settle(50);
            if (!shown) {
                std::fprintf(stderr, "no failure message came\n");
                ++g_failures;
            }
            for (int i = 0; i < 100 && !dialog->Control(IDC_GENERATE)->isEnabled(); ++i) Settle(50);
        }

        dialog->done(IDCANCEL);
    });
    windows.RunModal(logic);
    return g_failures == 0 ? 0 : 1;
}
