// The article field kept as a draft file, so that neither Close nor a crash loses it: written
// atomically as the text changes (at most every couple of seconds, on a thread of its own)
// and once more when the window closes (Flush), read back at the next start.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace qubopost::ui {

class ArticleDraft {
public:
    // path: the draft file. read: the article field's text now (UTF-8), called off the
    // window's thread.
    ArticleDraft(std::string path, std::function<std::string()> read,
                 std::chrono::milliseconds interval = std::chrono::seconds(2));
    ~ArticleDraft();  // stops the writer; call Flush first to keep the last changes
    ArticleDraft(const ArticleDraft&) = delete;
    ArticleDraft& operator=(const ArticleDraft&) = delete;

    // The draft of the last session; nullopt when there is none (or it is empty).
    std::optional<std::string> Load() const;
    // The field changed: written within the interval.
    void Changed();
    // Writes now, if anything changed since the last write. false with the reason on failure.
    bool Flush(std::string* error = nullptr);
    // Empties the draft (the user cleared the field on purpose).
    void Clear();
    const std::string& Path() const { return m_path; }

private:
    void Loop();

    std::string m_path;
    std::function<std::string()> m_read;
    std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_dirty = false;
    bool m_ending = false;
    std::mutex m_writeMutex;  // one write at a time
    std::thread m_thread;
};

// $XDG_STATE_HOME/qubopost/article-draft.txt (~/.local/state when unset).
std::string DefaultDraftPath();

}  // namespace qubopost::ui
