// The main window on a small screen: it opens within the screen, every control can be
// scrolled into view, growing the window grows the article and the log only, and the window
// builds the same ranking URL from the settings file as qubopost-cli does.
//
// The screen is the offscreen platform's, 1366×768 pixels, set up by main() below unless the
// environment chose another platform or screen; QT_SCALE_FACTOR comes from the environment (ctest
// runs this at 1 and at 2).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <map>

#include "fake_handlers.h"
#include "gui/qt_dialog.h"
#include "gui/qt_window_system.h"
#include "resources/control_table.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

namespace {

constexpr int kScreenWidth = 1366;
constexpr int kScreenHeight = 768;

QString U(const std::string& utf8) { return QString::fromStdString(utf8); }

QScrollArea* ScrollOf(qubopost::gui::QtDialog& dialog) { return dialog.findChild<QScrollArea*>(); }

// A widget's rectangle in the scroll area's viewport.
QRect InViewport(QScrollArea* scroll, QWidget* widget) {
    return QRect(widget->mapTo(scroll->viewport(), QPoint(0, 0)), widget->size());
}

QString Describe(const QRect& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QString NameOf(qubopost::gui::QtDialog& dialog, QWidget* widget) {
    for (int id : {IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT,     IDC_BLOG_ADDRESSES,
                   IDC_HEADER,       IDC_FOOTER,      IDC_KIND_DOWNLOAD, IDC_KIND_MAILMAG,
                   IDC_KIND_GOODS,   IDC_CATEGORY,    IDC_AFFILIATE_ID,  IDC_RANK_MONTHLY,
                   IDC_RANK_DAILY,   IDC_RANK_PICKUP, IDC_GENERATE,      IDC_CLEAR,
                   IDC_ARTICLE,      IDC_LOG,         IDC_START_POST,    IDC_CONFIRM_POST,
                   IDC_PROGRESS,     IDCANCEL}) {
        if (dialog.Control(id) == widget) return QString::number(id);
    }
    return QString::fromLatin1(widget->metaObject()->className());
}

}  // namespace

class QtWindowFitsTest : public QObject {
    Q_OBJECT

private slots:
    void theScreenIsTheSmallOne() {
        // The premise of the other cases: a 1366×768 screen, seen through the scale factor.
        const QScreen* screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        const qreal scale = screen->devicePixelRatio();
        QCOMPARE(qRound(screen->geometry().width() * scale), kScreenWidth);
        QCOMPARE(qRound(screen->geometry().height() * scale), kScreenHeight);
    }

    void theWindowOpensWithinTheScreen() {
        FakeHandlers handlers;
        qubopost::gui::QtDialog dialog(handlers);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(available.contains(dialog.frameGeometry()),
                 qPrintable(Describe(dialog.frameGeometry()) + " on " + Describe(available)));
    }

    // Each control in turn, scrolled into view: it then lies inside the viewport. A control
    // taller or wider than the viewport itself (a frame) fills it instead.
    void everyControlCanBeScrolledIntoView() {
        FakeHandlers handlers;
        qubopost::gui::QtDialog dialog(handlers);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QScrollArea* scroll = ScrollOf(dialog);
        QVERIFY(scroll);
        const QRect viewport = scroll->viewport()->rect();
        QVERIFY(!viewport.isEmpty());
        for (QWidget* widget : dialog.TableWidgets()) {
            scroll->ensureWidgetVisible(widget, 0, 0);
            QCoreApplication::processEvents();
            QRect at = InViewport(scroll, widget);
            if (!viewport.contains(at) && qobject_cast<QPlainTextEdit*>(widget)) {
                // For a text field the toolkit brings its text cursor into view, not the whole
                // field; the cursor is then visible, and the field can be scrolled to in full.
                const QRect cursor = widget->inputMethodQuery(Qt::ImCursorRectangle).toRect();
                const QRect cursorAt(widget->mapTo(scroll->viewport(), cursor.topLeft()),
                                     cursor.size());
                QVERIFY2(viewport.contains(cursorAt),
                         qPrintable(NameOf(dialog, widget) + " cursor at " + Describe(cursorAt)));
                const QPoint centre = widget->mapTo(dialog.Content(), widget->rect().center());
                scroll->ensureVisible(centre.x(), centre.y(), widget->width() / 2 + 1,
                                      widget->height() / 2 + 1);
                QCoreApplication::processEvents();
                at = InViewport(scroll, widget);
            }
            const QString what =
                NameOf(dialog, widget) + " at " + Describe(at) + " in " + Describe(viewport);
            if (at.width() <= viewport.width() && at.height() <= viewport.height()) {
                QVERIFY2(viewport.contains(at), qPrintable(what));
            } else {
                QVERIFY2(at.intersects(viewport), qPrintable(what));
                if (at.width() > viewport.width())
                    QVERIFY2(at.left() <= 0 && at.right() >= viewport.right(), qPrintable(what));
                if (at.height() > viewport.height())
                    QVERIFY2(at.top() <= 0 && at.bottom() >= viewport.bottom(), qPrintable(what));
            }
        }
        // The buttons that run the program can also be clicked where they are scrolled to.
        for (int id : {IDC_GENERATE, IDC_CONFIRM_POST, IDC_START_POST, IDCANCEL}) {
            QWidget* button = dialog.Control(id);
            scroll->ensureWidgetVisible(button, 0, 0);
            QCoreApplication::processEvents();
            const QPoint centre = button->mapTo(scroll->viewport(), button->rect().center());
            QCOMPARE(scroll->viewport()->childAt(centre), button);
        }
    }

    void growingTheWindowGrowsTheArticleAndTheLogOnly_data() {
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::newRow("wider") << 200 << 0;
        QTest::newRow("taller") << 0 << 150;
        QTest::newRow("both") << 301 << 97;
        QTest::newRow("one pixel") << 1 << 1;
    }
    void growingTheWindowGrowsTheArticleAndTheLogOnly() {
        QFETCH(int, dx);
        QFETCH(int, dy);
        FakeHandlers handlers;
        qubopost::gui::QtDialog dialog(handlers);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // At the dialog's own size nothing scrolls and the controls stand where the table puts
        // them; that is the starting point.
        const QSize base = dialog.Content()->minimumSize();
        dialog.resize(base);
        QTRY_COMPARE(dialog.Content()->size(), base);
        std::map<QWidget*, QRect> before;
        for (QWidget* widget : dialog.TableWidgets()) before[widget] = widget->geometry();

        dialog.resize(base + QSize(dx, dy));
        QTRY_COMPARE(dialog.Content()->size(), base + QSize(dx, dy));

        QWidget* article = dialog.Control(IDC_ARTICLE);
        QWidget* log = dialog.Control(IDC_LOG);
        QWidget* progress = dialog.Control(IDC_PROGRESS);
        const QRect a0 = before[article], a1 = article->geometry();
        const QRect l0 = before[log], l1 = log->geometry();
        const QRect p0 = before[progress], p1 = progress->geometry();
        // The article keeps its corner; the log its right edge's distance from the window's.
        QCOMPARE(a1.topLeft(), a0.topLeft());
        QCOMPARE(l1.top(), l0.top());
        QCOMPARE(base.width() - (l0.x() + l0.width()), base.width() + dx - (l1.x() + l1.width()));
        // Both take all the new height; the new width is shared between them, none lost.
        QCOMPARE(a1.height(), a0.height() + dy);
        QCOMPARE(l1.height(), l0.height() + dy);
        QCOMPARE((a1.width() - a0.width()) + (l1.width() - l0.width()), dx);
        QVERIFY(a1.width() >= a0.width());
        QVERIFY(l1.width() >= l0.width());
        if (dx >= 10) {
            QVERIFY2(a1.width() > a0.width() && l1.width() > l0.width(),
                     "each field gets a share of the width");
        }
        // The gap between them stays.
        QCOMPARE(l1.left() - (a1.left() + a1.width()), l0.left() - (a0.left() + a0.width()));
        // The progress bar goes down by the new height and spans the new width.
        QCOMPARE(p1, QRect(p0.topLeft() + QPoint(0, dy), p0.size() + QSize(dx, 0)));
        for (QWidget* widget : dialog.TableWidgets()) {
            if (widget == article || widget == log || widget == progress) continue;
            QVERIFY2(
                widget->geometry() == before[widget],
                qPrintable(NameOf(dialog, widget) + " moved to " + Describe(widget->geometry())));
        }
        // Nothing scrolls once the window is at least the dialog's size.
        QVERIFY(!ScrollOf(dialog)->verticalScrollBar()->isVisible());
        QVERIFY(!ScrollOf(dialog)->horizontalScrollBar()->isVisible());
    }

    void shrinkingBelowTheDialogsSizeScrollsInsteadOfSqueezing() {
        FakeHandlers handlers;
        qubopost::gui::QtDialog dialog(handlers);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QSize base = dialog.Content()->minimumSize();
        dialog.resize(base);
        QTRY_COMPARE(dialog.Content()->size(), base);
        std::map<QWidget*, QRect> before;
        for (QWidget* widget : dialog.TableWidgets()) before[widget] = widget->geometry();
        dialog.resize(base - QSize(base.width() / 2, base.height() / 2));
        QTRY_VERIFY(ScrollOf(dialog)->verticalScrollBar()->isVisible());
        QVERIFY(ScrollOf(dialog)->horizontalScrollBar()->isVisible());
        QCOMPARE(dialog.Content()->size(), base);
        for (QWidget* widget : dialog.TableWidgets()) QCOMPARE(widget->geometry(), before[widget]);
    }

    // As the program opens it (the logic initialises the window, focus included, before it
    // shows): the top left of the controls is what the user sees first.
    void theWindowOpensAtTheTopOfItsControls() {
        TempDir dir;
        qubopost::ui::DialogServices services;
        services.settingsPath = dir.File("qubopost.ini");
        services.journalPath = dir.File("history.sqlite3");
        qubopost::ui::CQubopostDlg logic(services);
        qubopost::gui::QtDialog window(logic);
        logic.Attach(&window);
        logic.OnInitDialog();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QScrollArea* scroll = ScrollOf(window);
        const int vertical = scroll->verticalScrollBar()->value();
        const int horizontal = scroll->horizontalScrollBar()->value();
        window.done(IDCANCEL);
        logic.Attach(nullptr);
        QCOMPARE(horizontal, 0);
        // The first focus is scrolled to only once the window has its real size.
        QCOMPARE(vertical, 0);
    }

    // The window and qubopost-cli read [Ranking] Host= from the same file and so ask the same
    // page; without the key both use the host built in.
    void windowAndCliBuildTheSameRankingUrl_data() {
        QTest::addColumn<QString>("host");
        QTest::newRow("a host and port") << QStringLiteral("ranking.test:8080");
        QTest::newRow("an IPv4 address") << QStringLiteral("127.0.0.1:18080");
        QTest::newRow("an IPv6 address") << QStringLiteral("[::1]:8081");
        QTest::newRow("no key") << QString();
    }
    void windowAndCliBuildTheSameRankingUrl() {
        QFETCH(QString, host);
        TempDir dir;
        const std::string settings = dir.File("qubopost.ini");
        TempDir::Write(settings, host.isEmpty()
                                     ? std::string("[Qubopost]\r\n")
                                     : "[Ranking]\r\nHost=" + host.toStdString() + "\r\n");
        qubopost::ui::DialogServices services;
        services.settingsPath = settings;
        services.journalPath = dir.File("history.sqlite3");
        QString windowUrl;
        {
            qubopost::ui::CQubopostDlg logic(services);
            qubopost::gui::QtDialog window(logic);
            logic.Attach(&window);
            logic.OnInitDialog();
            // Choices away from the defaults, the same ones given to the CLI below.
            window.SetCheck(IDC_KIND_DOWNLOAD, false);
            window.SetCheck(IDC_KIND_GOODS, true);
            window.SetCheck(IDC_RANK_MONTHLY, false);
            window.SetCheck(IDC_RANK_DAILY, true);
            window.SetWindowTextUtf8(IDC_CATEGORY, "すべて");
            window.SetWindowTextUtf8(IDC_AFFILIATE_ID, "qb123");
            windowUrl = QString::fromLatin1(logic.Fetcher().BuildRankingUrl().Bytes());
            window.done(IDCANCEL);
            logic.Attach(nullptr);
        }
        QProcess cli;
        cli.start(QStringLiteral(QUBOPOST_CLI_PATH),
                  {QStringLiteral("generate"), QStringLiteral("--settings"), U(settings),
                   QStringLiteral("--kind"), QStringLiteral("daily"), QStringLiteral("--product"),
                   QStringLiteral("goods"), QStringLiteral("--category"), QStringLiteral("すべて"),
                   QStringLiteral("--af"), QStringLiteral("qb123"), QStringLiteral("--print-url")});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        const QString cliUrl = QString::fromLatin1(cli.readAllStandardOutput()).trimmed();
        QCOMPARE(windowUrl, cliUrl);
        if (!host.isEmpty()) {
            QVERIFY2(windowUrl.startsWith(QStringLiteral("http://") + host + QLatin1Char('/')),
                     qPrintable(windowUrl));
        } else {
            QVERIFY2(!windowUrl.contains(QStringLiteral("ranking.test")), qPrintable(windowUrl));
        }
        QVERIFY2(windowUrl.contains(QStringLiteral("qb123")), qPrintable(windowUrl));
    }
};

int main(int argc, char** argv) {
    // A 1366×768 screen of the offscreen platform, unless the caller chose another platform
    // or offscreen screens of its own.
    QTemporaryDir config;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        const QString file = config.filePath(QStringLiteral("screens.json"));
        QFile json(file);
        if (!json.open(QIODevice::WriteOnly)) return 2;
        json.write(QStringLiteral(
                       R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": %1, "height": %2,
            "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
                       .arg(kScreenWidth)
                       .arg(kScreenHeight)
                       .toUtf8());
        json.close();
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + file).toLocal8Bit());
    }
    QApplication application(argc, argv);
    QtWindowFitsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_qt_window_fits.moc"
