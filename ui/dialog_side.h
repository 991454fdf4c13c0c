// What the dialog's controllers (the article fetch, the posting) may use of the dialog: its
// window, its message box and log, its worker jobs. Nothing else of the dialog is theirs.
#pragma once

#include <functional>
#include <string_view>

#include "platform/text.h"
#include "view/control_view.h"

namespace qubopost::ui {

class DialogSide {
public:
    virtual ~DialogSide() = default;
    virtual view::ControlView& View() = 0;
    virtual void ShowMessage(std::string_view utf8) = 0;
    // Puts a line (UTF-8) on top of the log field; returns the whole log as it is now.
    virtual platform::Text WriteLogLine(const platform::Text& line) = 0;
    // Starts a job beside the window's loop; false (the user told) when none can start.
    virtual bool StartWorkerJob(std::function<void()> job) = 0;
    // The window is going: a job ends without touching its controls.
    virtual bool Closing() const = 0;
    // Whether a posting run goes (the progress bar and status line are the run's then).
    virtual bool PostingRunning() const = 0;
};

}  // namespace qubopost::ui
