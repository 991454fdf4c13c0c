#include "journal/run_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "journal/folders.h"
#include "resources/messages/messages.h"

namespace qubopost::journal {

namespace {

bool UsableKey(std::string_view key) {
    if (key.empty() || key.size() > 128) return false;
    for (char c : key) {
        const bool usable = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!usable) return false;
    }
    return true;
}

// The PID in a lock file ("1234\n"), or 0 when the file holds no whole number yet.
int ParsePid(int fd) {
    char text[32];
    const ssize_t got = pread(fd, text, sizeof text, 0);
    if (got <= 0) return 0;
    long pid = 0;
    for (ssize_t i = 0; i < got; ++i) {
        if (text[i] == '\n') return i > 0 ? static_cast<int>(pid) : 0;
        if (text[i] < '0' || text[i] > '9' || pid > 100000000) return 0;
        pid = pid * 10 + (text[i] - '0');
    }
    return 0;  // no line end: the owner is still writing
}

bool Alive(int pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// The owner of a lock that someone holds. Between its flock and its write the owner's PID is
// not in the file yet (or a former owner's still is): look again for a moment.
int OwnerOf(int fd) {
    int pid = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        pid = ParsePid(fd);
        if (pid > 0 && Alive(pid)) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid;
}

Error LockFailure(const messages::Message& what, const std::string& path, int error) {
    return Error{
        messages::Say(messages::kLockFailed, {messages::Say(what), path, std::strerror(error)})};
}

}  // namespace

std::string RunLockFolder(const std::string& journalPath) { return journalPath + ".locks"; }

Result<RunLock> RunLock::Acquire(const std::string& journalPath, std::string_view key,
                                 int* ownerPid) {
    if (ownerPid) *ownerPid = 0;
    if (!UsableKey(key)) {
        return Error{messages::Say(messages::kLockNameInvalid, {key})};
    }
    const std::string folder = RunLockFolder(journalPath);
    if (int error = MakeFolders(folder))
        return LockFailure(messages::kLockFolderFailed, folder, error);
    const std::string path = folder + "/" + std::string(key) + ".lock";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return LockFailure(messages::kLockOpenFailed, path, errno);

    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK) {
            ::close(fd);
            return LockFailure(messages::kLockLockFailed, path, error);
        }
        const int owner = OwnerOf(fd);
        ::close(fd);
        if (ownerPid) *ownerPid = owner;
        if (owner <= 0) return Error{std::string(messages::Say(messages::kLockHeld))};
        return Error{messages::Say(messages::kLockHeldBy, {std::to_string(owner)})};
    }
    // The number first, then the file cut to its length: a reader looking in between finds
    // this PID's digits before the first line end.
    const std::string pid = std::to_string(getpid()) + "\n";
    if (pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()) ||
        ftruncate(fd, static_cast<off_t>(pid.size())) != 0) {
        const int error = errno;
        ::close(fd);
        return LockFailure(messages::kLockWriteFailed, path, error);
    }
    return RunLock(fd, path);
}

RunLock::RunLock(RunLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

RunLock::~RunLock() { Release(); }

// Closing the last descriptor of the open file lets the lock go. No LOCK_UN: in a child
// forked without exec it would let go of the parent's lock too.
void RunLock::Release() {
    if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
}

}  // namespace qubopost::journal
