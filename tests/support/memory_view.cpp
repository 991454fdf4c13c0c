#include "memory_view.h"

#include <chrono>

#include "platform/encoding.h"
#include "platform/field_text.h"

using namespace qubopost::view;
using namespace qubopost::platform;

Text MemoryView::GetWindowText(int id) {
    std::lock_guard lock(m_mutex);
    return m_texts[id];
}

void MemoryView::SetWindowText(int id, const Text& text) {
    DialogHandlers* handlers = nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_texts[id] = text;
        m_utf8.erase(id);
        m_history[id].push_back(text);
        handlers = notify;
    }
    if (handlers) handlers->OnFieldEdited(id);
}

std::string MemoryView::GetWindowTextUtf8(int id) {
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_utf8.find(id); it != m_utf8.end()) return it->second;
    }
    return ToUtf8(GetWindowText(id));
}

void MemoryView::SetWindowTextUtf8(int id, std::string_view utf8) {
    // As a window does, the edit is told of once the text is there in both forms: a reader
    // woken by it (the article's draft writer) sees the new text, never a half-set one.
    const Text sjis = FieldToSjis(utf8);
    DialogHandlers* handlers = nullptr;
    {
        std::lock_guard lock(m_mutex);
        m_texts[id] = sjis;
        m_utf8[id] = std::string(utf8);
        m_history[id].push_back(sjis);
        handlers = notify;
    }
    if (handlers) handlers->OnFieldEdited(id);
}

void MemoryView::SetStatusText(const Text& text) {
    std::lock_guard lock(m_mutex);
    m_status.push_back(ToUtf8(text));
}

bool MemoryView::AskYesNo(const Text& text, bool defaultYes) {
    std::lock_guard lock(m_mutex);
    m_questions.push_back(ToUtf8(text));
    if (m_answers.empty()) return defaultYes;
    const bool answer = m_answers.front();
    m_answers.erase(m_answers.begin());
    return answer;
}

int MemoryView::AskChoice(const std::string& utf8, const std::vector<std::string>& buttons,
                          int defaultIndex, int cancelIndex) {
    std::lock_guard lock(m_mutex);
    m_questions.push_back(utf8);
    m_asked.push_back({utf8, buttons, defaultIndex, cancelIndex});
    if (m_choices.empty()) return defaultIndex;
    const int choice = m_choices.front();
    m_choices.erase(m_choices.begin());
    return choice;
}

std::vector<MemoryView::Choice> MemoryView::Choices() {
    std::lock_guard lock(m_mutex);
    return m_asked;
}

void MemoryView::AnswerChoices(std::vector<int> choices) {
    std::lock_guard lock(m_mutex);
    m_choices = std::move(choices);
}

void MemoryView::SetFocus(int id) {
    std::lock_guard lock(m_mutex);
    m_focus = id;
}

bool MemoryView::ShowPostingPreview(PostingPreview& preview) {
    std::lock_guard lock(m_mutex);
    m_previews.push_back(preview);
    if (choosePreviewFix && !preview.fixCaption.empty()) {
        choosePreviewFix = false;
        preview.fixChosen = true;
        return false;
    }
    return confirmPreview;
}

std::vector<std::string> MemoryView::Questions() {
    std::lock_guard lock(m_mutex);
    return m_questions;
}

std::vector<std::string> MemoryView::StatusTexts() {
    std::lock_guard lock(m_mutex);
    return m_status;
}

std::vector<PostingPreview> MemoryView::Previews() {
    std::lock_guard lock(m_mutex);
    return m_previews;
}

int MemoryView::Focus() {
    std::lock_guard lock(m_mutex);
    return m_focus;
}

void MemoryView::Answer(std::vector<bool> answers) {
    std::lock_guard lock(m_mutex);
    m_answers = std::move(answers);
}

bool MemoryView::IsChecked(int id) {
    std::lock_guard lock(m_mutex);
    return m_checks[id];
}

void MemoryView::SetCheck(int id, bool checked) {
    std::lock_guard lock(m_mutex);
    m_checks[id] = checked;
}

void MemoryView::EnableWindow(int id, bool enable) {
    std::lock_guard lock(m_mutex);
    m_enabled[id] = enable;
}

bool MemoryView::IsWindowEnabled(int id) {
    std::lock_guard lock(m_mutex);
    auto it = m_enabled.find(id);
    return it == m_enabled.end() || it->second;
}

void MemoryView::SetProgressRange(int, int lower, int upper) {
    std::lock_guard lock(m_mutex);
    m_progressLower = lower;
    m_progressUpper = upper;
}

void MemoryView::SetProgressPos(int, int pos) {
    std::lock_guard lock(m_mutex);
    m_progressPos = pos;
}

int MemoryView::GetProgressPos(int) {
    std::lock_guard lock(m_mutex);
    return m_progressPos;
}

void MemoryView::MessageBox(const Text& text) { MessageBoxUtf8(ToUtf8(text)); }

void MemoryView::MessageBoxUtf8(const std::string& utf8) {
    {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(utf8);
    }
    m_changed.notify_all();
    if (onMessage) onMessage(utf8);
}

void MemoryView::SetIcon(int iconId) {
    std::lock_guard lock(m_mutex);
    m_icon = iconId;
}

void MemoryView::AppendAboutMenuItem(const Text& text) {
    std::lock_guard lock(m_mutex);
    m_aboutItem = ToUtf8(text);
}

void MemoryView::RunAboutBox() {
    std::lock_guard lock(m_mutex);
    ++m_aboutRuns;
}

void MemoryView::EndDialog(int result) {
    std::lock_guard lock(m_mutex);
    m_endResult = result;
}

std::string MemoryView::Utf8(int id) { return ToUtf8(GetWindowText(id)); }

void MemoryView::SetUtf8(int id, const std::string& utf8) { SetWindowText(id, Sjis(utf8)); }

std::vector<std::string> MemoryView::Messages() {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

bool MemoryView::WaitForMessages(std::size_t count, int timeoutMs) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_messages.size() >= count; });
}

int MemoryView::ProgressUpper() {
    std::lock_guard lock(m_mutex);
    return m_progressUpper;
}

int MemoryView::EndResult() {
    std::lock_guard lock(m_mutex);
    return m_endResult;
}

int MemoryView::AboutBoxRuns() {
    std::lock_guard lock(m_mutex);
    return m_aboutRuns;
}

int MemoryView::IconId() {
    std::lock_guard lock(m_mutex);
    return m_icon;
}

std::string MemoryView::AboutMenuItem() {
    std::lock_guard lock(m_mutex);
    return m_aboutItem;
}

std::vector<Text> MemoryView::TextHistory(int id) {
    std::lock_guard lock(m_mutex);
    return m_history[id];
}
