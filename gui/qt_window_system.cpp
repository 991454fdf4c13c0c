#include "gui/qt_window_system.h"

#include <QApplication>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <optional>

#include "gui/dialog_units.h"
#include "gui/message_box.h"
#include "gui/qt_dialog.h"
#include "gui/qt_text.h"
#include "gui/qubopost_icon.h"
#include "gui/termination_signals.h"
#include "view/dialog_handlers.h"

using namespace qubopost::platform;
using namespace qubopost::view;

namespace qubopost::gui {

namespace {

// How often the closing dialog looks whether the jobs have ended while it serves their
// calls to the window.
constexpr int kJobPollMilliseconds = 10;

// Runs the event loop until the dialog logic reports no running job, so that a job
// blocked in a call to the window gets its answer and can finish.
void ServeUntilJobsEnd(view::DialogHandlers& handlers) {
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

// The desktop entry the program's windows belong to (its file name without ".desktop"): the
// dock and the task switcher take the icon and name from it.
constexpr const char* kDesktopEntry = "org.qubopost.Qubopost";

// Whether the language the user reads messages in is Japanese, as the toolkit sees it
// (LC_ALL, LC_MESSAGES or LANG; LANGUAGE first when set).
bool UserReadsJapanese() {
    const QStringList languages = QLocale::system().uiLanguages();
    return !languages.isEmpty() && QLocale(languages.first()).language() == QLocale::Japanese;
}

// Loads the toolkit's own texts (the edit menu of text fields, the standard buttons of
// message boxes and button boxes) in Japanese for a Japanese user, so that they match the
// program's texts. Other languages keep the toolkit's English rather than putting a third
// language into a Japanese window. Without the translations installed the texts stay English.
void LoadToolkitTranslations(QCoreApplication& application) {
    if (!UserReadsJapanese()) return;
    auto translator = std::make_unique<QTranslator>(&application);
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return;
    // The application keeps the translator from here on (it is the translator's parent too).
    if (QCoreApplication::installTranslator(translator.get())) (void)translator.release();
}

}  // namespace

QtWindowSystem::QtWindowSystem(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

QtWindowSystem::~QtWindowSystem() = default;

void QtWindowSystem::StartApplication() {
    if (m_started) return;
    m_started = true;
    if (!QApplication::instance()) {
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
    }
    // The application name is also the class of the windows under X11 (WM_CLASS), which the
    // desktop entry's StartupWMClass names; the desktop file name is the Wayland app ID.
    QApplication::setApplicationName(QStringLiteral("qubopost"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopEntry));
    LoadToolkitTranslations(*QCoreApplication::instance());
    QApplication::setFont(DialogFont());
    QApplication::setWindowIcon(QubopostIcon());
    // The modal runs decide when the program ends, not the last window closing (a job's
    // message box may be the last window).
    QApplication::setQuitOnLastWindowClosed(false);
}

void QtWindowSystem::MessageBox(const Text& text) {
    StartApplication();
    std::unique_ptr<QMessageBox> box(NewMessageBox(ToQStringLines(text), nullptr));
    box->exec();
}

int QtWindowSystem::RunModal(view::DialogHandlers& handlers) {
    StartApplication();
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

}  // namespace qubopost::gui
