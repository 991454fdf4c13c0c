// What a screen reader is told of the windows, through Qt's accessibility interfaces:
// the program's window with its own wiring, its preview, its message boxes, its About box.
#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTreeWidget>
#include <QtTest>

#include "platform/encoding.h"
#include "resources/control_table.h"
#include "test_qt_a11y_window.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;

using a11y_test::Accessible;
using a11y_test::OnNextModal;
using a11y_test::RunWindow;
using a11y_test::U;

namespace {

struct Expected {
    int id;
    const char* name;
    QAccessible::Role role;
    bool labelled;  // a label of the window names it
};

// Each control as the window shows it: the label above or the frame around it names it.
const Expected kControls[] = {
    {IDC_FROM_ADDRESS, "投稿元メールアドレス", QAccessible::EditableText, true},
    {IDC_SMTP_SERVER, "SMTPサーバアドレス", QAccessible::EditableText, true},
    {IDC_SMTP_PORT, "ポートアドレス", QAccessible::EditableText, true},
    {IDC_BLOG_ADDRESSES, "投稿先ブログアドレス", QAccessible::EditableText, false},
    {IDC_HEADER, "ヘッダー", QAccessible::EditableText, true},
    {IDC_FOOTER, "フッター", QAccessible::EditableText, true},
    {IDC_AFFILIATE_ID, "アフィリエイトID", QAccessible::EditableText, true},
    {IDC_ARTICLE, "記事", QAccessible::EditableText, false},
    {IDC_LOG, "ログ", QAccessible::EditableText, false},
    {IDC_CATEGORY, "カテゴリ選択", QAccessible::ComboBox, true},
    {IDC_KIND_DOWNLOAD, "ダウンロード", QAccessible::RadioButton, false},
    {IDC_KIND_MAILMAG, "有料メルマガ", QAccessible::RadioButton, false},
    {IDC_KIND_GOODS, "オンライン物販", QAccessible::RadioButton, false},
    {IDC_RANK_MONTHLY, "1ヶ月集計ランキング", QAccessible::RadioButton, false},
    {IDC_RANK_DAILY, "24時間集計ランキング", QAccessible::RadioButton, false},
    {IDC_RANK_PICKUP, "ピックアップ商品", QAccessible::RadioButton, false},
    {IDC_GENERATE, "記事自動生成", QAccessible::Button, false},
    {IDC_CLEAR, "クリア", QAccessible::Button, false},
    {IDC_START_POST, "ブログ投稿開始", QAccessible::Button, false},
    {IDC_CONFIRM_POST, "投稿確認", QAccessible::Button, false},
    {IDCANCEL, "閉じる", QAccessible::Button, false},
};

}  // namespace

class QtA11yTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); }

    void everyControlIsNamedByItsLabelWithItsRole() {
        RunWindow([](QtDialog& dialog) {
            for (const Expected& expected : kControls) {
                QAccessibleInterface* control = Accessible(dialog.Control(expected.id));
                QVERIFY(control);
                QCOMPARE(control->text(QAccessible::Name), U(expected.name));
                QCOMPARE(control->role(), expected.role);
                // The label's own interface points at the control it names.
                const auto labels = control->relations(QAccessible::Label);
                QCOMPARE(labels.size(), expected.labelled ? 1 : 0);
                if (expected.labelled)
                    QCOMPARE(labels.first().first->text(QAccessible::Name), U(expected.name));
            }
            // Nothing that takes the focus is left without a name.
            for (QWidget* widget : dialog.TableWidgets()) {
                if (widget->focusPolicy() == Qt::NoFocus) continue;
                QVERIFY2(!Accessible(widget)->text(QAccessible::Name).isEmpty(),
                         widget->metaObject()->className());
            }
        });
    }

    void valuesAndFormatsAreToldApartFromNames() {
        RunWindow([](QtDialog& dialog) {
            // The combo box is named by its label whatever is chosen; the choice is its value.
            dialog.SetWindowTextUtf8(IDC_CATEGORY, "すべて");
            QAccessibleInterface* category = Accessible(dialog.Control(IDC_CATEGORY));
            QCOMPARE(category->text(QAccessible::Name), U("カテゴリ選択"));
            QCOMPARE(category->text(QAccessible::Value), U("すべて"));
            QVERIFY(category->state().editable);

            QCOMPARE(Accessible(dialog.Control(IDC_SMTP_PORT))->text(QAccessible::Description),
                     U("ポート: 1～65535"));

            QAccessibleInterface* progress = Accessible(dialog.Control(IDC_PROGRESS));
            QCOMPARE(progress->role(), QAccessible::ProgressBar);
            QVERIFY(!progress->text(QAccessible::Name).isEmpty());
            QVERIFY(progress->valueInterface());
            dialog.SetProgressRange(IDC_PROGRESS, 0, 8);
            dialog.SetProgressPos(IDC_PROGRESS, 3);
            QCOMPARE(progress->valueInterface()->currentValue().toInt(), 3);
            QCOMPARE(progress->valueInterface()->maximumValue().toInt(), 8);
        });
    }

    // Radio buttons stay exclusive within their own frame only, by mouse and by program.
    void radioGroupsStayApart() {
        RunWindow([](QtDialog& dialog) {
            QVERIFY(dialog.IsChecked(IDC_KIND_DOWNLOAD) && dialog.IsChecked(IDC_RANK_MONTHLY));
            QTest::mouseClick(dialog.Control(IDC_KIND_GOODS), Qt::LeftButton);
            QVERIFY(dialog.IsChecked(IDC_KIND_GOODS));
            QVERIFY(!dialog.IsChecked(IDC_KIND_DOWNLOAD));
            QVERIFY(dialog.IsChecked(IDC_RANK_MONTHLY));
            QTest::mouseClick(dialog.Control(IDC_RANK_PICKUP), Qt::LeftButton);
            QVERIFY(dialog.IsChecked(IDC_KIND_GOODS) && dialog.IsChecked(IDC_RANK_PICKUP));
            QVERIFY(!dialog.IsChecked(IDC_RANK_MONTHLY));
            QVERIFY(Accessible(dialog.Control(IDC_RANK_PICKUP))->state().checked);
            // The program may leave a group with none checked.
            dialog.SetCheck(IDC_KIND_GOODS, false);
            for (int id : {IDC_KIND_DOWNLOAD, IDC_KIND_MAILMAG, IDC_KIND_GOODS})
                QVERIFY(!dialog.IsChecked(id));
            QVERIFY(dialog.IsChecked(IDC_RANK_PICKUP));
        });
    }

    void messageBoxesAreAnnouncedAsAlerts() {
        RunWindow([](QtDialog& dialog) {
            struct Box {
                const char* text;
                std::function<void()> show;
            };
            const Box boxes[] = {
                {"お知らせです。", [&] { dialog.MessageBoxUtf8("お知らせです。"); }},
                {"よろしいですか？", [&] { dialog.AskYesNo(Sjis("よろしいですか？"), false); }},
                {"どちらにしますか？",
                 [&] {
                     dialog.AskChoice("どちらにしますか？", {"A", "B"}, 1, 1);
                 }},
            };
            for (const Box& box : boxes) {
                QAccessible::Role role = QAccessible::NoRole;
                QString value;
                OnNextModal(&dialog, [&](QWidget* modal) {
                    role = Accessible(modal)->role();
                    value = Accessible(modal)->text(QAccessible::Value);
                });
                box.show();
                QCOMPARE(role, QAccessible::AlertMessage);
                QCOMPARE(value, U(box.text));
            }
        });
    }

    void aboutBoxHasNoNamelessPart() {
        RunWindow([](QtDialog& dialog) {
            QStringList names;
            OnNextModal(&dialog, [&](QWidget* box) {
                for (QWidget* child : box->findChildren<QWidget*>())
                    names << Accessible(child)->text(QAccessible::Name);
            });
            QTest::keyClick(&dialog, Qt::Key_A, Qt::AltModifier);
            QVERIFY(names.size() >= 4);  // icon, two lines, OK
            for (const QString& name : names)
                QVERIFY2(!name.isEmpty(), qPrintable(names.join('|')));
        });
    }

    // The preview names its list and body; destinations show whole unless the window is
    // too narrow, and their tool tip always holds the whole address.
    void previewNamesItsPartsAndShowsDestinationsWhole() {
        const std::string longest =
            "a-rather-long-mailbox-name-for-posting.1234567890@blog.example.jp";
        qubopost::view::PostingPreview preview;
        preview.summary = "2 通";
        preview.messages = {{1, "short@example.jp", "件名 1", "本文 1"},
                            {2, longest, "件名 2", "本文 2"}};
        RunWindow([&](QtDialog& dialog) {
            QString listName, bodyName, tip;
            int wide = 0, narrow = 0, subjectWhenNarrow = 0, needed = 0;
            OnNextModal(&dialog, [&](QWidget* window) {
                auto* list = window->findChild<QTreeWidget*>(QStringLiteral("messages"));
                auto* body = window->findChild<QPlainTextEdit*>(QStringLiteral("body"));
                listName = Accessible(list)->text(QAccessible::Name);
                bodyName = Accessible(body)->text(QAccessible::Name);
                tip = list->topLevelItem(1)->toolTip(1);
                needed = list->fontMetrics().horizontalAdvance(U(longest));
                window->resize(900, 500);
                QCoreApplication::processEvents();
                wide = list->columnWidth(1);
                window->resize(320, 500);
                QCoreApplication::processEvents();
                narrow = list->columnWidth(1);
                subjectWhenNarrow = list->columnWidth(2);
            });
            dialog.ShowPostingPreview(preview);
            QCOMPARE(listName, U("送信するメールの一覧"));
            QCOMPARE(bodyName, U("選んだメールの本文"));
            QCOMPARE(tip, U(longest));
            QVERIFY2(wide >= needed, qPrintable(QStringLiteral("%1 < %2").arg(wide).arg(needed)));
            QVERIFY(narrow < needed);
            QVERIFY(subjectWhenNarrow > 0);
        });
    }
};

QTEST_MAIN(QtA11yTest)
#include "test_qt_a11y.moc"
