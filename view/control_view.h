// The dialog logic's view of its window: the control table, operated by control ID.
// Every operation may be called from any thread and acts at once (the window runs it
// on its own thread and waits for it). Texts are CP932 with CR LF line ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace qubopost::view {

// One message of a posting run as the preview window lists it (UTF-8 texts).
struct PreviewMessage {
    int number = 0;
    std::string destination;
    std::string subject;
    std::string body;
};

// What the preview window shows before a run may start.
struct PostingPreview {
    std::vector<PreviewMessage> messages;
    int groups = 0;
    int addresses = 0;
    std::string summary;  // totals and expected duration, one or two lines
    // A warning shown above the list (not a refusal), and a button beside it that closes the
    // preview to mend what it warns of; empty: none.
    std::string warning;
    std::string fixCaption;
    // Set by the view when that button closed the preview (which then returns false).
    bool fixChosen = false;
};

class ControlView {
public:
    virtual ~ControlView() = default;

    virtual platform::Text GetWindowText(int id) = 0;
    virtual void SetWindowText(int id, const platform::Text& text) = 0;

    // Radio buttons.
    virtual bool IsChecked(int id) = 0;
    virtual void SetCheck(int id, bool checked) = 0;

    virtual void EnableWindow(int id, bool enable) = 0;
    virtual bool IsWindowEnabled(int id) = 0;

    // The progress bar.
    virtual void SetProgressRange(int id, int lower, int upper) = 0;
    virtual void SetProgressPos(int id, int pos) = 0;
    virtual int GetProgressPos(int id) = 0;

    // A message box with the text and an OK button, the application's name as caption.
    // Returns when the user has dismissed it.
    virtual void MessageBox(const platform::Text& text) = 0;

    // The window's icon (a resource ID of the program's icons).
    virtual void SetIcon(int iconId) = 0;
    // Adds the About item, with this text, to the window's menu; choosing it sends
    // the system command IDM_ABOUTBOX to the dialog.
    virtual void AppendAboutMenuItem(const platform::Text& text) = 0;
    // Runs the About box modally.
    virtual void RunAboutBox() = 0;

    // Ends the modal run of the dialog with this result.
    virtual void EndDialog(int result) = 0;

    // The field's text exactly as the user typed it: UTF-8, CR LF line ends. Unlike
    // GetWindowText it keeps characters that Shift-JIS has no form for.
    virtual std::string GetWindowTextUtf8(int id);
    virtual void SetWindowTextUtf8(int id, std::string_view utf8);

    // A message box with a UTF-8 text, for messages that name characters Shift-JIS lacks.
    virtual void MessageBoxUtf8(const std::string& utf8);
    // A line that says what a long piece of work is doing or waiting for ("" clears it).
    virtual void SetStatusText(const platform::Text&) {}
    // A question with "はい" and "いいえ"; the default answer is the one Enter gives.
    // Returns true for "はい". Without a window it returns the default.
    virtual bool AskYesNo(const platform::Text&, bool defaultYes) { return defaultYes; }
    // A question (UTF-8) with the given buttons (captions with their "(&X)" keys); returns the
    // index of the button chosen. Enter gives defaultIndex; Esc and closing the box give
    // cancelIndex, and so does a view without a window.
    virtual int AskChoice(const std::string& /*utf8*/, const std::vector<std::string>& /*buttons*/,
                          int /*defaultIndex*/, int cancelIndex) {
        return cancelIndex;
    }
    // Moves the keyboard focus to a control.
    virtual void SetFocus(int) {}
    // Shows the messages a run will send; true when the user confirms them.
    virtual bool ShowPostingPreview(PostingPreview&) { return true; }
};

}  // namespace qubopost::view
