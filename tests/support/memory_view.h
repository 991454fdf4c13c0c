// An in-memory control table standing in for the dialog's window: texts, checks,
// enabled states, the progress bar, and every message box shown (as UTF-8), safe to
// use from any thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "view/control_view.h"
#include "view/dialog_handlers.h"

class MemoryView : public qubopost::view::ControlView {
public:
    qubopost::platform::Text GetWindowText(int id) override;
    void SetWindowText(int id, const qubopost::platform::Text& text) override;
    bool IsChecked(int id) override;
    void SetCheck(int id, bool checked) override;
    void EnableWindow(int id, bool enable) override;
    bool IsWindowEnabled(int id) override;
    void SetProgressRange(int id, int lower, int upper) override;
    void SetProgressPos(int id, int pos) override;
    int GetProgressPos(int id) override;
    void MessageBox(const qubopost::platform::Text& text) override;
    void SetIcon(int iconId) override;
    void AppendAboutMenuItem(const qubopost::platform::Text& text) override;
    void RunAboutBox() override;
    void EndDialog(int result) override;
    void MessageBoxUtf8(const std::string& utf8) override;
    std::string GetWindowTextUtf8(int id) override;
    void SetWindowTextUtf8(int id, std::string_view utf8) override;
    void SetStatusText(const qubopost::platform::Text& text) override;
    // Answers from Answer() in order, then the default.
    bool AskYesNo(const qubopost::platform::Text& text, bool defaultYes) override;
    int AskChoice(const std::string& utf8, const std::vector<std::string>& buttons,
                  int defaultIndex, int cancelIndex) override;
    // The answers of AskChoice, in order; without one it gives its default (as Enter does).
    void AnswerChoices(std::vector<int> choices);
    // Every AskChoice as asked: the question (UTF-8), its buttons, the Enter and Esc answers.
    struct Choice {
        std::string question;
        std::vector<std::string> buttons;
        int defaultIndex = -1;
        int cancelIndex = -1;
    };
    std::vector<Choice> Choices();
    void SetFocus(int id) override;
    bool ShowPostingPreview(qubopost::view::PostingPreview& preview) override;

    // Told of every SetWindowText, as the window tells of edits.
    qubopost::view::DialogHandlers* notify = nullptr;
    bool confirmPreview = true;
    // The next preview that offers a fix is closed with it (once).
    bool choosePreviewFix = false;
    void Answer(std::vector<bool> answers);
    std::vector<std::string> Questions();  // UTF-8, in the order asked
    std::vector<std::string> StatusTexts();
    std::vector<qubopost::view::PostingPreview> Previews();
    int Focus();  // 0 until SetFocus

    // Texts by UTF-8, for readable tests.
    std::string Utf8(int id);
    void SetUtf8(int id, const std::string& utf8);

    std::vector<std::string> Messages();  // UTF-8, in the order shown
    // Waits until at least count message boxes have been shown; false after timeout_ms.
    bool WaitForMessages(std::size_t count, int timeoutMs = 30000);
    int ProgressUpper();
    int EndResult();  // -1 until EndDialog
    int AboutBoxRuns();
    int IconId();
    std::string AboutMenuItem();  // UTF-8, "" when none was added
    // Called (outside the lock) whenever a message box is shown.
    std::function<void(const std::string&)> onMessage;
    // Every SetWindowText of one control, in order (CP932).
    std::vector<qubopost::platform::Text> TextHistory(int id);

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, qubopost::platform::Text> m_texts;
    std::map<int, std::string> m_utf8;  // texts set as UTF-8, kept as given
    std::vector<std::string> m_status, m_questions;
    std::vector<bool> m_answers;
    std::vector<int> m_choices;
    std::vector<Choice> m_asked;
    std::vector<qubopost::view::PostingPreview> m_previews;
    int m_focus = 0;
    std::map<int, std::vector<qubopost::platform::Text>> m_history;
    std::map<int, bool> m_checks;
    std::map<int, bool> m_enabled;
    int m_progressLower = 0, m_progressUpper = 100, m_progressPos = 0;
    std::vector<std::string> m_messages;
    int m_endResult = -1;
    int m_aboutRuns = 0;
    int m_icon = 0;
    std::string m_aboutItem;
};
