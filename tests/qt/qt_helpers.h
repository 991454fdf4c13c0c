// What the window tests do to the real window: type into and read its fields, answer its
// message boxes and confirm its posting preview. Every wait has a bound.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <string>

#include "gui/qt_dialog.h"

inline QString U(const std::string& utf8) { return QString::fromStdString(utf8); }

inline QMessageBox* VisibleBox() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) return box;
    return nullptr;
}

// Waits (serving events) up to `ms` for a message box, presses its OK and returns its text; a
// null string when none came. A box may run an event loop of its own inside the window's, so it
// is answered from a timer, which fires in whichever loop runs.
inline QString AnswerMessageBox(int ms = 30000) {
    QString text;
    bool answered = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QMessageBox* box = VisibleBox();
        if (answered || !box || !box->button(QMessageBox::Ok)) return;
        answered = true;
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    answer.start(20);
    if (!QTest::qWaitFor([&] { return answered; }, ms)) return {};
    return text;
}

// Confirms the posting preview as soon as it shows, noting how many messages it listed.
inline void ConfirmPreviewWhenShown(QObject* owner, int* listed = nullptr) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, listed] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* preview = qobject_cast<QDialog*>(window);
            if (!preview || !preview->isVisible() ||
                preview->objectName() != QStringLiteral("postingPreview"))
                continue;
            if (auto* list = preview->findChild<QTreeWidget*>(QStringLiteral("messages"));
                list && listed)
                *listed = list->topLevelItemCount();
            timer->stop();
            timer->deleteLater();
            preview->accept();
            return;
        }
    });
    timer->start(20);
}

inline void Type(qubopost::gui::QtDialog& dialog, int id, const QString& text) {
    if (auto* line = qobject_cast<QLineEdit*>(dialog.Control(id))) line->setText(text);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(dialog.Control(id))) edit->setPlainText(text);
}

inline QString TextOf(qubopost::gui::QtDialog& dialog, int id) {
    if (auto* edit = qobject_cast<QPlainTextEdit*>(dialog.Control(id))) return edit->toPlainText();
    if (auto* line = qobject_cast<QLineEdit*>(dialog.Control(id))) return line->text();
    if (auto* button = qobject_cast<QAbstractButton*>(dialog.Control(id))) return button->text();
    return {};
}

inline void Click(qubopost::gui::QtDialog& dialog, int id) {
    QTest::mouseClick(dialog.Control(id), Qt::LeftButton);
}
