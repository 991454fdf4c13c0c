// The windowing system on Qt Widgets. The application object is created only when the
// first window or message box is to be shown, so that runs that end without a window
// (the registration switches) need no display.
#pragma once

#include <memory>

#include "view/window_system.h"

class QApplication;

namespace qubopost::gui {

class QtWindowSystem : public view::WindowSystem {
public:
    // argc and argv are main's; they must outlive this object (the toolkit keeps them).
    QtWindowSystem(int& argc, char** argv);
    ~QtWindowSystem() override;

    QtWindowSystem(const QtWindowSystem&) = delete;
    QtWindowSystem& operator=(const QtWindowSystem&) = delete;

    // Creates the application object now instead of at the first window, or adopts one that
    // already exists: names the program, ties its windows to its desktop entry and loads the
    // toolkit's own texts in Japanese when the user's language is Japanese. Later calls do
    // nothing. Call on the thread that runs main, as the rest.
    void StartApplication();

    // Call on the thread that runs main.
    void MessageBox(const platform::Text& text) override;
    // Creates the main dialog's window, attaches it to the dialog logic, initialises and
    // runs it; while it runs, SIGTERM, SIGINT and SIGHUP close it as its Close button does.
    // When it has ended: stops the jobs, serves their calls to the window until none runs,
    // detaches the window and destroys it. Returns the dialog's result.
    int RunModal(view::DialogHandlers& handlers) override;

private:
    int& m_argc;
    char** m_argv;
    std::unique_ptr<QApplication> m_application;
    bool m_started = false;
};

}  // namespace qubopost::gui
