#include "platform/qt/qt_window_system.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <optional>

#include "platform/dialog_handlers.h"
#include "platform/qt/dialog_units.h"
#include "platform/qt/message_box.h"
#include "platform/qt/qt_dialog.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/qubopost_icon.h"
#include "platform/qt/termination_signals.h"

namespace {

// How often the closing dialog looks whether the jobs have ended while it serves their
// calls to the window.
constexpr int kJobPollMilliseconds = 10;

// Runs the event loop until the dialog logic reports no running job, so that a job
// blocked in a call to the window gets its answer and can finish.
void ServeUntilJobsEnd(DialogHandlers& handlers) {
    if (!handlers.JobsRunning()) return;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(kJobPollMilliseconds);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!handlers.JobsRunning()) loop.quit();
    });
    poll.start();
    loop.exec();
}

// A request to end the program by signal: closes what is open over the dialog (the About
// box), then the dialog itself the way its Close button does, settings saved. Message boxes
// are closed by the dialog as it ends.
void CloseOnRequest(QtDialog& dialog) {
    if (dialog.HasEnded()) return;
    for (QDialog* child : dialog.findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible() && !qobject_cast<QMessageBox*>(child)) child->reject();
    }
    dialog.reject();
}

}  // namespace

QtWindowSystem::QtWindowSystem(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

QtWindowSystem::~QtWindowSystem() = default;

void QtWindowSystem::EnsureApplication() {
    if (m_started) return;
    m_started = true;
    if (!QApplication::instance()) {
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
    }
    QApplication::setApplicationName(QStringLiteral("qubopost"));
    QApplication::setFont(DialogFont());
    QApplication::setWindowIcon(QubopostIcon());
    // The modal runs decide when the program ends, not the last window closing (a job's
    // message box may be the last window).
    QApplication::setQuitOnLastWindowClosed(false);
}

void QtWindowSystem::MessageBox(const Text& text) {
    EnsureApplication();
    std::unique_ptr<QMessageBox> box(NewMessageBox(ToQStringLines(text), nullptr));
    box->exec();
}

int QtWindowSystem::RunModal(DialogHandlers& handlers) {
    EnsureApplication();
    auto dialog = std::make_unique<QtDialog>(handlers);
    handlers.Attach(dialog.get());
    handlers.OnInitDialog();
    std::optional<TerminationSignals> termination;
    // The logic may have ended the dialog while initialising it.
    if (!dialog->HasEnded()) {
        // While the dialog is up, kill, Ctrl+C, a logout or a closing terminal close it as
        // its Close button does, so that nothing typed is lost.
        QtDialog& window = *dialog;
        termination.emplace([&window](int) { CloseOnRequest(window); });
        dialog->show();
        dialog->exec();
    }
    const int result = dialog->result();

    // Closing: from here on the window shows nothing more, but serves the jobs' calls
    // until the last job has stopped; only then is the view taken away and destroyed.
    // The settings are saved by now: a signal ends the program at once again.
    dialog->MarkEnded();
    if (termination) termination->Release();
    handlers.StopJobs();
    ServeUntilJobsEnd(handlers);
    termination.reset();
    handlers.Attach(nullptr);
    dialog.reset();
    return result;
}
