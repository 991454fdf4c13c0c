// The main dialog's window on its own thread: the control table as widgets, keys,
// buttons, texts and the About item.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <cmath>

#include "fake_handlers.h"
#include "gui/dialog_units.h"
#include "gui/qt_dialog.h"
#include "gui/qubopost_icon.h"
#include "platform/encoding.h"
#include "resources/control_table.h"
#include "resources/strings.h"

using namespace qubopost::view;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;

namespace {

QString U(std::string_view utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

template <typename W>
W* As(qubopost::gui::QtDialog& dialog, int id) {
    return qobject_cast<W*>(dialog.Control(id));
}

// Whether a widget is what its row of the table asks for: its class, label and style.
bool IsOfKind(QWidget* widget, const ControlDef& def) {
    const QString label = U(def.text);
    switch (def.kind) {
        case ControlKind::PushButton: {
            auto* button = qobject_cast<QPushButton*>(widget);
            return button && button->text() == label && !button->isDefault() &&
                   !button->autoDefault();
        }
        case ControlKind::GroupBox: {
            auto* box = qobject_cast<QGroupBox*>(widget);
            return box && box->title() == label;
        }
        case ControlKind::Label: {
            auto* text = qobject_cast<QLabel*>(widget);
            return text && text->text() == label;
        }
        case ControlKind::Edit: {
            auto* edit = qobject_cast<QLineEdit*>(widget);
            return edit && edit->alignment() == Qt::AlignCenter;
        }
        case ControlKind::MultiEdit:
        case ControlKind::WrappingEdit: {
            auto* edit = qobject_cast<QPlainTextEdit*>(widget);
            // The log wraps its lines too, so that no line needs a horizontal scroll bar.
            const bool wraps = def.kind == ControlKind::WrappingEdit || def.id == IDC_LOG;
            return edit &&
                   edit->lineWrapMode() ==
                       (wraps ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap) &&
                   edit->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn &&
                   edit->horizontalScrollBarPolicy() ==
                       (wraps ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
        }
        case ControlKind::RadioButton: {
            auto* radio = qobject_cast<QRadioButton*>(widget);
            return radio && radio->text() == label;
        }
        case ControlKind::ComboBox: {
            auto* combo = qobject_cast<QComboBox*>(widget);
            return combo && combo->isEditable();
        }
        case ControlKind::ProgressBar: {
            auto* progress = qobject_cast<QProgressBar*>(widget);
            // No percentage: the bar's text is the run's status line, empty until a run.
            return progress && progress->format().isEmpty();
        }
        case ControlKind::Icon:
        case ControlKind::OkButton:
            return false;  // About box only
    }
    return false;
}

// Where the dialog manager puts things, written out here apart from DialogUnits: the base units
// of a font (across: the average width of the 52 Latin letters, rounded half up; down: the
// font's height), and dialog units to pixels as x * across / 4 and y * down / 8, each rounded
// half up on its own.
struct DialogManagerModel {
    int across = 0, down = 0;
    explicit DialogManagerModel(const QFont& font) {
        const QFontMetrics metrics(font);
        const int letters = metrics.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        across = static_cast<int>(std::floor(letters / 52.0 + 0.5));
        down = metrics.ascent() + metrics.descent();
    }
    int X(int dlu) const { return static_cast<int>(std::floor(dlu * across / 4.0 + 0.5)); }
    int Y(int dlu) const { return static_cast<int>(std::floor(dlu * down / 8.0 + 0.5)); }
    QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }
};

}  // namespace

class QtDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void init() {
        handlers = std::make_unique<FakeHandlers>();
        dialog = std::make_unique<qubopost::gui::QtDialog>(*handlers);
        handlers->view = dialog.get();
    }
    void cleanup() {
        dialog.reset();
        handlers.reset();
    }

    void dialogUnitsFollowTheDialogManagersArithmetic() {
        const DialogUnits units(6, 12);
        // x: dlu * 6 / 4, y: dlu * 12 / 8, each rounded half up on its own.
        QCOMPARE(units.Rect(335, 215, 81, 16), QRect(503, 323, 122, 24));
        QCOMPARE(units.Rect(5, 10, 116, 113), QRect(8, 15, 174, 170));
        const DialogUnits odd(7, 13);
        QCOMPARE(odd.X(5), 9);    // 8.75
        QCOMPARE(odd.Y(10), 16);  // 16.25
        QCOMPARE(odd.Y(4), 7);    // 6.5
        QCOMPARE(DialogUnits::MulDiv(-5, 7, 4), -9);

        // Base units from the dialog font: the average letter width rounded as the
        // dialog manager rounds it, and the full line height.
        const DialogManagerModel model(dialog->font());
        QCOMPARE(dialog->Units().BaseX(), model.across);
        QCOMPARE(dialog->Units().BaseY(), model.down);
    }

    void dialogFontAndFrame() {
        QCOMPARE(dialog->font().family(), QStringLiteral("IPAPGothic"));
        QCOMPARE(dialog->font().pointSize(), 9);
        QCOMPARE(dialog->windowTitle(), U("ブログ自動投稿Zelqon"));

        const DialogManagerModel units(dialog->font());
        const QSize client(units.X(423), units.Y(360));
        // The dialog's size is the controls' area; the window itself may grow and be
        // maximised, and opens within the screen (scrolling when the screen is smaller).
        QCOMPARE(dialog->Content()->minimumSize(), client);
        QVERIFY(dialog->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(dialog->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(dialog->width() <= available.width() && dialog->height() <= available.height());
    }

    void controlsSitWhereTheDialogTemplatePutsThem() {
        // The dialog template's numbers, in dialog units, written out here by hand rather
        // than read from the table the window is built from.
        const struct {
            int id, x, y, width, height;
        } expected[] = {
            {IDC_FROM_ADDRESS, 14, 35, 94, 14},   {IDC_SMTP_SERVER, 13, 68, 95, 14},
            {IDC_SMTP_PORT, 13, 98, 95, 14},      {IDC_BLOG_ADDRESSES, 130, 25, 110, 85},
            {IDC_HEADER, 260, 35, 145, 65},       {IDC_FOOTER, 260, 115, 145, 65},
            {IDC_KIND_DOWNLOAD, 15, 140, 50, 10}, {IDC_KIND_MAILMAG, 15, 155, 50, 10},
            {IDC_KIND_GOODS, 15, 170, 55, 10},    {IDC_AFFILIATE_ID, 175, 155, 65, 14},
            {IDC_RANK_MONTHLY, 20, 210, 70, 10},  {IDC_RANK_DAILY, 95, 210, 75, 10},
            {IDC_RANK_PICKUP, 175, 210, 65, 10},  {IDC_GENERATE, 255, 200, 80, 31},
            {IDC_CLEAR, 335, 200, 81, 15},        {IDC_ARTICLE, 5, 240, 245, 95},
            {IDC_LOG, 255, 270, 160, 64},         {IDC_START_POST, 255, 240, 81, 21},
            {IDC_CONFIRM_POST, 336, 239, 80, 22}, {IDC_PROGRESS, 7, 343, 409, 10},
        };
        const DialogManagerModel units(dialog->font());
        for (const auto& control : expected) {
            QWidget* widget = dialog->Control(control.id);
            QVERIFY(widget);
            QCOMPARE(widget->geometry(),
                     units.Rect(control.x, control.y, control.width, control.height));
        }
        // Growing the window grows the article and the log; the rest stay where they are.
        dialog->resize(dialog->Content()->minimumSize() + QSize(300, 200));
        dialog->Relayout(dialog->Content()->minimumSize() + QSize(300, 200));
        QVERIFY(dialog->Control(IDC_ARTICLE)->width() > units.X(245));
        QVERIFY(dialog->Control(IDC_ARTICLE)->height() == units.Y(95) + 200);
        QVERIFY(dialog->Control(IDC_LOG)->height() == units.Y(64) + 200);
        QCOMPARE(dialog->Control(IDC_FROM_ADDRESS)->geometry(), units.Rect(14, 35, 94, 14));
        QCOMPARE(dialog->Control(IDC_START_POST)->geometry(), units.Rect(255, 240, 81, 21));
        dialog->Relayout(dialog->Content()->minimumSize());
    }

    void everyControlOfTheTableIsAWidgetOfItsKindInItsPlace() {
        const DialogDef& table = MainDialog();
        const DialogManagerModel units(dialog->font());
        QCOMPARE(dialog->TableWidgets().size(), table.controls.size());
        for (std::size_t i = 0; i < table.controls.size(); ++i) {
            const ControlDef& def = table.controls[i];
            QWidget* widget = dialog->TableWidgets()[i];
            const QString what = QStringLiteral("row %1, ID %2").arg(i).arg(def.id);
            if (def.id != IDC_STATIC) QVERIFY2(dialog->Control(def.id) == widget, qPrintable(what));
            QVERIFY2(dialog->Content()->rect().contains(widget->geometry()), qPrintable(what));

            const QRect expected = units.Rect(def.x, def.y, def.width, def.height);
            if (def.kind == ControlKind::ComboBox) {
                // The table gives the dropped-down height; closed, the box is one line.
                QCOMPARE(widget->geometry().topLeft(), expected.topLeft());
                QCOMPARE(widget->width(), expected.width());
                QVERIFY2(widget->height() < expected.height(), qPrintable(what));
            } else {
                QVERIFY2(widget->geometry() == expected, qPrintable(what));
            }

            QVERIFY2(IsOfKind(widget, def), qPrintable(what));
        }
    }

    void radioButtonsAreExclusiveWithinEachGroupOnly() {
        dialog->show();
        auto click = [&](int id) {
            QTest::mouseClick(As<QRadioButton>(*dialog, id), Qt::LeftButton);
        };
        dialog->SetCheck(IDC_KIND_DOWNLOAD, true);
        dialog->SetCheck(IDC_RANK_MONTHLY, true);

        click(IDC_KIND_MAILMAG);
        QVERIFY(dialog->IsChecked(IDC_KIND_MAILMAG));
        QVERIFY(!dialog->IsChecked(IDC_KIND_DOWNLOAD));
        QVERIFY(dialog->IsChecked(IDC_RANK_MONTHLY));  // the other group keeps its choice

        click(IDC_RANK_PICKUP);
        QVERIFY(dialog->IsChecked(IDC_RANK_PICKUP));
        QVERIFY(!dialog->IsChecked(IDC_RANK_MONTHLY));
        QVERIFY(!dialog->IsChecked(IDC_RANK_DAILY));
        QVERIFY(dialog->IsChecked(IDC_KIND_MAILMAG));

        // The program may check one and uncheck the others in any order, down to none.
        dialog->SetCheck(IDC_KIND_GOODS, true);
        QVERIFY(!dialog->IsChecked(IDC_KIND_MAILMAG));
        dialog->SetCheck(IDC_KIND_GOODS, false);
        for (int id : {IDC_KIND_DOWNLOAD, IDC_KIND_MAILMAG, IDC_KIND_GOODS})
            QVERIFY(!dialog->IsChecked(id));
        click(IDC_KIND_DOWNLOAD);
        QVERIFY(dialog->IsChecked(IDC_KIND_DOWNLOAD));
        click(IDC_KIND_GOODS);
        QVERIFY(!dialog->IsChecked(IDC_KIND_DOWNLOAD));
        QVERIFY(dialog->IsChecked(IDC_RANK_PICKUP));
    }

    void categoryComboIsSortedAndTakesAnyText() {
        auto* combo = As<QComboBox>(*dialog, IDC_CATEGORY);
        QVERIFY(combo->isEditable());
        // Sorted as the Japanese system sorts Shift-JIS text: kana first, then the
        // kanji in the order of their readings (げい, しゃ, しゅ, しょう, まん).
        const QStringList expected = {U("すべて"),           U("ビジネス・情報源"),
                                      U("芸能・音楽"),       U("写真集・グラビア"),
                                      U("趣味・生活・雑誌"), U("小説・ノンフィクション"),
                                      U("漫画・同人誌")};
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
        QCOMPARE(items, expected);

        dialog->SetWindowText(IDC_CATEGORY, Sjis("すべて"));
        QCOMPARE(dialog->GetWindowText(IDC_CATEGORY), Sjis("すべて"));
        dialog->SetWindowText(IDC_CATEGORY, Sjis("自作カテゴリ"));
        QCOMPARE(dialog->GetWindowText(IDC_CATEGORY), Sjis("自作カテゴリ"));

        // Typing and Enter leave the list as it is and the dialog open.
        dialog->show();
        combo->lineEdit()->setFocus();
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), QStringLiteral("abc"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QCOMPARE(combo->count(), 7);
        QCOMPARE(dialog->GetWindowText(IDC_CATEGORY), Text("abc"));
        QVERIFY(dialog->isVisible());
        QCOMPARE(handlers->cancels, 0);
    }

    void enterInASingleLineFieldDoesNothingAndInAMultiLineFieldBreaksTheLine() {
        QSignalSpy finished(dialog.get(), &QDialog::finished);
        dialog->show();
        for (int id : {IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT, IDC_AFFILIATE_ID}) {
            QLineEdit* edit = As<QLineEdit>(*dialog, id);
            edit->setFocus();
            QTest::keyClicks(edit, QStringLiteral("25"));
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
            QCOMPARE(dialog->GetWindowText(id), Text("25"));
        }
        QVERIFY(dialog->isVisible());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(handlers->cancels, 0);
        QVERIFY(handlers->commands.empty());

        for (int id : {IDC_BLOG_ADDRESSES, IDC_HEADER, IDC_FOOTER, IDC_ARTICLE, IDC_LOG}) {
            QPlainTextEdit* edit = As<QPlainTextEdit>(*dialog, id);
            edit->setFocus();
            QTest::keyClicks(edit, QStringLiteral("a"));
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClicks(edit, QStringLiteral("b"));
            QCOMPARE(dialog->GetWindowText(id), Text("a\r\nb"));
        }
        QVERIFY(dialog->isVisible());
        QCOMPARE(finished.count(), 0);
    }

    void escTheCloseButtonAndTheCloseBoxAskTheLogicToCancel() {
        QSignalSpy finished(dialog.get(), &QDialog::finished);
        dialog->show();

        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QCOMPARE(handlers->cancels, 1);
        As<QPlainTextEdit>(*dialog, IDC_ARTICLE)->setFocus();
        QTest::keyClick(As<QPlainTextEdit>(*dialog, IDC_ARTICLE), Qt::Key_Escape);
        QCOMPARE(handlers->cancels, 2);
        QTest::mouseClick(As<QPushButton>(*dialog, IDCANCEL), Qt::LeftButton);
        QCOMPARE(handlers->cancels, 3);
        QVERIFY(dialog->close() == false);  // the logic did not end the dialog
        QCOMPARE(handlers->cancels, 4);
        // Until the logic ends it, the dialog stays.
        QVERIFY(dialog->isVisible());
        QCOMPARE(finished.count(), 0);

        // Ending the dialog from OnCancel closes it once, without asking again.
        handlers->endOnCancel = true;
        QVERIFY(dialog->close());
        QCOMPARE(handlers->cancels, 5);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(dialog->result(), IDCANCEL);
        QVERIFY(dialog->HasEnded());
    }

    void endDialogClosesWithTheResult() {
        dialog->show();
        dialog->EndDialog(5);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), 5);
        QCOMPARE(handlers->cancels, 0);
    }

    void pushButtonsSendTheirCommands() {
        dialog->show();
        for (int id : {IDC_GENERATE, IDC_CLEAR, IDC_START_POST, IDC_CONFIRM_POST})
            QTest::mouseClick(As<QPushButton>(*dialog, id), Qt::LeftButton);
        QCOMPARE(handlers->commands,
                 (std::vector<int>{IDC_GENERATE, IDC_CLEAR, IDC_START_POST, IDC_CONFIRM_POST}));

        dialog->EnableWindow(IDC_START_POST, false);
        QVERIFY(!dialog->IsWindowEnabled(IDC_START_POST));
        QVERIFY(dialog->IsWindowEnabled(IDC_CONFIRM_POST));
        QTest::mouseClick(As<QPushButton>(*dialog, IDC_START_POST), Qt::LeftButton);
        QCOMPARE(handlers->commands.size(), 4u);
        dialog->EnableWindow(IDC_START_POST, true);
        QVERIFY(dialog->IsWindowEnabled(IDC_START_POST));
        QCOMPARE(handlers->cancels, 0);
    }

    void textsRoundTripAsShiftJisWithCrLf() {
        // Multi-line fields show LF and hand back CR LF; a lone LF comes back as CR LF.
        const Text lines = Sjis("一行目\r\n-----into-----\r\n[title]③\r\n");
        for (int id : {IDC_BLOG_ADDRESSES, IDC_HEADER, IDC_FOOTER, IDC_ARTICLE, IDC_LOG}) {
            dialog->SetWindowText(id, lines);
            QCOMPARE(As<QPlainTextEdit>(*dialog, id)->toPlainText(),
                     U("一行目\n-----into-----\n[title]③\n"));
            QCOMPARE(dialog->GetWindowText(id), lines);
        }
        dialog->SetWindowText(IDC_LOG, Sjis("a\nb\r\n\nc"));
        QCOMPARE(dialog->GetWindowText(IDC_LOG), Sjis("a\r\nb\r\n\r\nc"));
        dialog->SetWindowText(IDC_LOG, Text());
        QCOMPARE(dialog->GetWindowText(IDC_LOG), Text());

        // Single-line fields keep their bytes; "\" (0x5C) is both a backslash and the
        // second byte of "ソ" (0x83 0x5C).
        const Text address = Sjis("ソフト\\投稿@example.jp");
        dialog->SetWindowText(IDC_FROM_ADDRESS, address);
        QCOMPARE(As<QLineEdit>(*dialog, IDC_FROM_ADDRESS)->text(), U("ソフト\\投稿@example.jp"));
        QCOMPARE(dialog->GetWindowText(IDC_FROM_ADDRESS), address);

        // Buttons by their IDs.
        QCOMPARE(dialog->GetWindowText(IDC_GENERATE), Sjis("記事自動生成"));
        dialog->SetWindowText(IDC_CLEAR, Sjis("全消去"));
        QCOMPARE(As<QPushButton>(*dialog, IDC_CLEAR)->text(), U("全消去"));

        // Unknown IDs are harmless.
        dialog->SetWindowText(4242, Sjis("x"));
        QCOMPARE(dialog->GetWindowText(4242), Text());
        QVERIFY(!dialog->IsChecked(4242));
    }

    void progressBarKeepsItsPositionWithinTheRange() {
        QCOMPARE(dialog->GetProgressPos(IDC_PROGRESS), 0);
        dialog->SetProgressRange(IDC_PROGRESS, 0, 6);
        dialog->SetProgressPos(IDC_PROGRESS, 4);
        QCOMPARE(dialog->GetProgressPos(IDC_PROGRESS), 4);
        dialog->SetProgressPos(IDC_PROGRESS, 9);
        QCOMPARE(dialog->GetProgressPos(IDC_PROGRESS), 6);
        dialog->SetProgressRange(IDC_PROGRESS, 0, 2);
        QCOMPARE(dialog->GetProgressPos(IDC_PROGRESS), 2);
        dialog->SetProgressPos(IDC_PROGRESS, 0);
        QCOMPARE(dialog->GetProgressPos(IDC_PROGRESS), 0);
    }

    void aboutItemSendsTheSystemCommand() {
        dialog->AppendAboutMenuItem(LoadString(IDS_ABOUTBOX));
        QCOMPARE(dialog->contextMenuPolicy(), Qt::ActionsContextMenu);
        // The About item first, then the windows around the dialog, each with a shortcut.
        QCOMPARE(dialog->actions().size(), 5);
        const std::pair<QString, QKeySequence> entries[] = {
            {U("SMTP認証の設定…"), QKeySequence(Qt::ALT | Qt::Key_S)},
            {U("ランキングサービスの設定…"), QKeySequence(Qt::ALT | Qt::Key_R)},
            {U("投稿履歴…"), QKeySequence(Qt::ALT | Qt::Key_H)},
            {U("下書きとして投稿"), QKeySequence(Qt::ALT | Qt::Key_D)},
        };
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(dialog->actions()[i + 1]->text(), entries[i].first);
            QCOMPARE(dialog->actions()[i + 1]->shortcut(), entries[i].second);
        }
        QAction* about = dialog->actions().first();
        QCOMPARE(about->text(), U("Qubopost のﾊﾞｰｼﾞｮﾝ情報(&A)..."));
        QCOMPARE(about->shortcut(), QKeySequence(Qt::ALT | Qt::Key_A));

        about->trigger();
        QCOMPARE(handlers->sysCommands, std::vector<unsigned>{IDM_ABOUTBOX});

        dialog->show();
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        QTest::keyClick(dialog.get(), Qt::Key_A, Qt::AltModifier);
        QCOMPARE(handlers->sysCommands, (std::vector<unsigned>{IDM_ABOUTBOX, IDM_ABOUTBOX}));
    }

    void aboutBoxShowsTheAboutTable() {
        bool seen = false;
        auto check = [&](QDialog* box) {
            seen = true;
            const DialogManagerModel units(box->font());
            QCOMPARE(box->windowTitle(), U("Qubopostのﾊﾞｰｼﾞｮﾝ情報"));
            QCOMPARE(box->size(), QSize(units.X(235), units.Y(55)));
            QStringList texts;
            for (auto* label : box->findChildren<QLabel*>()) texts << label->text();
            QVERIFY(texts.contains(QStringLiteral("Qubopost Version 1.0")));
            auto* ok = box->findChild<QPushButton*>();
            QVERIFY(ok && ok->text() == QStringLiteral("OK"));
            QCOMPARE(ok->geometry(), units.Rect(178, 7, 50, 14));
            QTest::mouseClick(ok, Qt::LeftButton);
        };
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box || box == dialog.get()) return;
            probe.stop();
            check(box);
            if (box->isVisible()) box->reject();  // a failed check still closes it
        });
        probe.start(5);
        dialog->show();
        dialog->RunAboutBox();
        QVERIFY(seen);
    }

    void iconIsPaintedAtEverySize() {
        dialog->SetIcon(IDR_MAINFRAME);
        const QList<QSize> sizes = dialog->windowIcon().availableSizes();
        for (int size : {16, 24, 32, 48, 256}) QVERIFY(sizes.contains(QSize(size, size)));
        for (int size : {16, 32, 128}) {
            const QImage image = qubopost::gui::RenderQubopostIcon(size);
            QCOMPARE(image.size(), QSize(size, size));
            QCOMPARE(qAlpha(image.pixel(0, 0)), 0);  // rounded corner
            const QColor tile = image.pixelColor(size / 2, size / 16);
            QVERIFY(tile.alpha() == 255 && tile.blue() > tile.red());
            // In the seal, clear of the white postal mark.
            const QColor seal = image.pixelColor(size * 41 / 64, size * 26 / 32);
            QVERIFY2(seal.red() > 180 && seal.green() < 90, qPrintable(QString::number(size)));
        }
    }

private:
    std::unique_ptr<FakeHandlers> handlers;
    std::unique_ptr<qubopost::gui::QtDialog> dialog;
};

QTEST_MAIN(QtDialogTest)
#include "test_qt_dialog.moc"
