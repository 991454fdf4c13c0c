// The small windows as a screen reader sees them, through Qt's accessibility interfaces: every
// input control of SMTP認証の設定, ランキングサービスの設定 and 投稿履歴 has a label linked to it
// and is named by that label's text (without the keyboard mnemonic and the colon); where a
// format is expected (a port) the description says it.
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>

#include "gui/side_windows.h"
#include "temp_dir.h"
#include "ui/side_services.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::gui;

namespace {

// A label's text as it is read out: "サーバ(&V):" is "サーバ".
QString Spoken(QString label) {
    label.remove(QRegularExpression(QStringLiteral("\\(&[^)]\\)")));
    label.remove(QLatin1Char('&'));
    label.remove(QRegularExpression(QStringLiteral("[:：]\\s*$")));
    return label.trimmed();
}

// Runs `check` on the next modal window that shows, then closes it.
void WhenShown(const std::function<void(QDialog*)>& check) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, check] {
        auto* window = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!window || !window->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        check(window);
        window->done(QDialog::Rejected);
    });
    timer->start(20);
}

struct Control {
    QString objectName;
    QString name;
    QString description;
    QAccessible::Role role;
};

// Every input control of the window with its label's spoken text; a control without a label
// linked to it gets a null label text.
QList<QPair<Control, QString>> InputControls(QDialog* window) {
    QList<QPair<Control, QString>> found;
    QList<QWidget*> inputs;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        // A combo box's own line and a list's column headers are parts of another control.
        if (qobject_cast<QLineEdit*>(widget) && qobject_cast<QComboBox*>(widget->parentWidget()))
            continue;
        if (qobject_cast<QHeaderView*>(widget)) continue;
        if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QAbstractItemView*>(widget) ||
            qobject_cast<QComboBox*>(widget) || qobject_cast<QPlainTextEdit*>(widget))
            inputs.push_back(widget);
    }
    for (QWidget* input : inputs) {
        QString label;
        for (QLabel* candidate : window->findChildren<QLabel*>())
            if (candidate->buddy() == input) label = Spoken(candidate->text());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(input);
        Control control{input->objectName(),
                        accessible ? accessible->text(QAccessible::Name) : QString(),
                        accessible ? accessible->text(QAccessible::Description) : QString(),
                        accessible ? accessible->role() : QAccessible::NoRole};
        found.push_back({control, label});
    }
    return found;
}

}  // namespace

class SideWindowAccessibilityTest : public QObject {
    Q_OBJECT

private:
    TempDir folder;

    // Every input control has a linked label, a name equal to it, and the role of its kind.
    static void CheckNames(QDialog* window, int expectedControls) {
        const auto controls = InputControls(window);
        QCOMPARE(controls.size(), expectedControls);
        for (const auto& [control, label] : controls) {
            QVERIFY2(!label.isNull(),
                     qPrintable(control.objectName + QStringLiteral(" has no label linked to it")));
            QVERIFY2(!label.isEmpty(), qPrintable(control.objectName));
            QCOMPARE(control.name, label);
            QVERIFY2(control.role != QAccessible::NoRole && control.role != QAccessible::Client,
                     qPrintable(control.objectName));
        }
    }

    static QString DescriptionOf(QDialog* window, const char* objectName) {
        for (const auto& [control, label] : InputControls(window))
            if (control.objectName == QLatin1String(objectName)) return control.description;
        return {};
    }

private slots:
    void credentialsWindow() {
        bool checked = false;
        WhenShown([&](QDialog* window) {
            CheckNames(window, 3);
            // The server field says where the port comes from and its range.
            QVERIFY2(DescriptionOf(window, "server").contains(QStringLiteral("1–65535")),
                     qPrintable(DescriptionOf(window, "server")));
            checked = true;
        });
        qubopost::gui::RunCredentialsWindow(
            nullptr, "smtp.example.jp", "587",
            qubopost::ui::MakeSideServices(folder.File("settings.ini"), "")->SmtpLogin());
        QVERIFY(checked);
    }

    void rankingWindow() {
        bool checked = false;
        WhenShown([&](QDialog* window) {
            CheckNames(window, 1);
            QVERIFY2(DescriptionOf(window, "host").contains(QStringLiteral("1–65535")),
                     qPrintable(DescriptionOf(window, "host")));
            checked = true;
        });
        qubopost::gui::RunRankingWindow(
            nullptr, *qubopost::ui::MakeSideServices(folder.File("settings.ini"), ""));
        QVERIFY(checked);
    }

    void historyWindow() {
        bool checked = false;
        WhenShown([&](QDialog* window) {
            CheckNames(window, 2);
            checked = true;
        });
        qubopost::gui::RunHistoryWindow(
            nullptr, *qubopost::ui::MakeSideServices("", folder.File("journal.sqlite")));
        QVERIFY(checked);
    }
};

QTEST_MAIN(SideWindowAccessibilityTest)
#include "test_qt_side_a11y.moc"
