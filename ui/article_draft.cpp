#include "ui/article_draft.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/profile.h"

using namespace qubopost::platform;

namespace qubopost::ui {

namespace {

// Creates the folder of `path` (mode 0700) with its parents, as far as they are missing.
void MakeFolderOf(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
}

}  // namespace

std::string DefaultDraftPath() {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string folder;
    if (state && *state == '/') {
        folder = state;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home ? home : "") + "/.local/state";
    }
    return folder + "/qubopost/article-draft.txt";
}

ArticleDraft::ArticleDraft(std::string path, std::function<std::string()> read,
                           std::chrono::milliseconds interval)
    : m_path(std::move(path)), m_read(std::move(read)), m_interval(interval) {
    m_thread = std::thread([this] { Loop(); });
}

ArticleDraft::~ArticleDraft() {
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

std::optional<std::string> ArticleDraft::Load() const {
    std::ifstream file(m_path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    if (text.str().empty()) return std::nullopt;
    return text.str();
}

void ArticleDraft::Changed() {
    {
        std::lock_guard lock(m_mutex);
        m_dirty = true;
    }
    m_wake.notify_all();
}

bool ArticleDraft::Flush(std::string* error) {
    std::lock_guard write(m_writeMutex);
    {
        std::lock_guard lock(m_mutex);
        if (!m_dirty) return true;
        m_dirty = false;
    }
    const std::string text = m_read();
    MakeFolderOf(m_path);
    std::string reason;
    if (WriteFileAtomically(m_path, text, &reason)) return true;
    {
        std::lock_guard lock(m_mutex);
        m_dirty = true;  // tried again with the next change or at the end
    }
    if (error) *error = reason;
    return false;
}

void ArticleDraft::Clear() {
    std::lock_guard write(m_writeMutex);
    {
        std::lock_guard lock(m_mutex);
        m_dirty = false;
    }
    std::string ignored;
    if (Load()) WriteFileAtomically(m_path, "", &ignored);
}

void ArticleDraft::Loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_dirty || m_ending; });
        if (m_ending) break;
        lock.unlock();
        Flush();
        lock.lock();
        // At most one write per interval, however fast the text changes.
        m_wake.wait_for(lock, m_interval, [this] { return m_ending; });
        if (m_ending) break;
    }
    // No last write here: the field may be gone by now. The owner flushes before it ends.
}

}  // namespace qubopost::ui
