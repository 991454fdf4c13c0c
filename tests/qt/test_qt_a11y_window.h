// The program's own window with its default wiring (the real dialog logic), for the
// accessibility and keyboard tests, and the helpers they share.
#pragma once

#include <QAccessible>
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "gui/qt_dialog.h"
#include "gui/qt_window_system.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

namespace a11y_test {

inline QString U(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

// Runs the program's window; script runs once it is up, then the window is closed.
inline void RunWindow(const std::function<void(qubopost::gui::QtDialog&)>& script) {
    static int argc = 1;
    static char name[] = "test_qt_a11y";
    static char* argv[] = {name, nullptr};
    static qubopost::gui::QtWindowSystem windows(argc, argv);
    TempDir dir;
    qubopost::ui::DialogServices services;
    services.settingsPath = dir.File("CQubopostDlg.ini");
    services.journalPath = dir.File("journal.sqlite");
    services.postingPause = std::chrono::milliseconds(0);
    services.http.idleTimeoutMs = 5000;
    qubopost::ui::CQubopostDlg dialog(services);
    QTimer::singleShot(0, [&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* qtDialog = qobject_cast<qubopost::gui::QtDialog*>(window);
                qtDialog && qtDialog->isVisible()) {
                qtDialog->activateWindow();
                if (!QTest::qWaitForWindowActive(qtDialog)) qWarning("the window is not active");
                script(*qtDialog);
                if (!qtDialog->HasEnded()) qtDialog->done(qubopost::resources::IDCANCEL);
                return;
            }
        }
        QFAIL("the window is not up");
    });
    windows.RunModal(dialog);
}

// A key pressed in the window as a user presses it: once the window is active again (after a
// box it opened has closed), on its focused widget.
inline void Press(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window, 5000)) qWarning("the window is not active");
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && focus->window() == window ? focus : window, key, modifiers);
}

// Text typed into the window's focused widget.
inline void Type(QWidget* window, const QString& text) {
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window, 5000)) qWarning("the window is not active");
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClicks(focus && focus->window() == window ? focus : window, text);
}

inline QAccessibleInterface* Accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

// Once a modal window other than main shows, calls inspect on it, then presses key in it
// (on its focused widget, as a user would). Gives up after 30 s.
inline void OnNextModal(QWidget* main, const std::function<void(QWidget*)>& inspect,
                        int key = Qt::Key_Escape,
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    // Waits (up to 30 s) for a modal window other than `main`, inspects it and presses the key;
    // while that window stays open (a window busy with its key ring takes the first Esc as
    // "stop waiting") the key is pressed again every 100 ms, at most 50 times.
    struct State {
        int ticksLeft = 1500;
        bool found = false;
        QPointer<QWidget> seen;  // null again once the window is gone
        int ticksOpen = 0;
    };
    auto* timer = new QTimer(main);
    // Owned by the timer's connection: gone with the timer, also when the window ends first.
    auto state = std::make_shared<State>();
    auto press = [key, modifiers](QWidget* modal) {
        QWidget* target =
            QApplication::focusWidget() && QApplication::focusWidget()->window() == modal
                ? QApplication::focusWidget()
                : modal;
        QTest::keyClick(target, Qt::Key(key), modifiers);
    };
    auto finish = [timer] {
        timer->stop();
        timer->deleteLater();
    };
    QObject::connect(timer, &QTimer::timeout, main, [=] {
        if (!state->found) {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) modal = QApplication::activeWindow();
            if (modal && modal != main && modal->isVisible()) {
                state->found = true;
                state->seen = modal;
                if (inspect) inspect(modal);
                press(modal);
            } else if (--state->ticksLeft <= 0) {
                finish();
            }
            return;
        }
        if (!state->seen || !state->seen->isVisible() || ++state->ticksOpen > 250) {
            finish();
            return;
        }
        if (state->ticksOpen % 5 == 0) press(state->seen);
    });
    timer->start(20);
}

}  // namespace a11y_test
