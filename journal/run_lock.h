// The lock of a posting run: while one process posts a run, no other process may post it.
//
// Beside the journal file lies a folder "<journal>.locks/" (mode 0700) with one small file per
// run identity. The process that posts a run holds flock(LOCK_EX) on that file for the run's
// life and has written its PID into it; the kernel lets the lock go when the process ends in
// any way (SIGKILL included), so a lock never outlives its owner. The descriptor is close-on-
// exec: a program the owner starts does not hold the lock (a child forked without exec does,
// until it ends). The files stay: removing a
// lock file would let a process that opened it just before lock a file nobody else sees.
#pragma once

#include <string>
#include <string_view>

#include "journal/sqlite.h"

namespace qubopost::journal {

// Held for a run's life by the one process that posts it; released by the kernel when that
// process dies.
class RunLock {
public:
    // Locks `key` (the run identity: 1 to 128 of the characters A-Z a-z 0-9 - _) beside the
    // journal file (a folder "<journal>.locks/" mode 0700, one file per key,
    // flock(LOCK_EX|LOCK_NB), the owner's PID written into the file). When another process
    // holds it: an error whose ownerPid is that PID; message kLockHeldBy, in Japanese
    // "この投稿は別のプロセス（PID 1234）が実行中です" exactly. A second Acquire of a held key
    // within one process fails the same way (with this process's PID). ownerPid is 0 when
    // the key is free or the owner could not be told.
    static Result<RunLock> Acquire(const std::string& journalPath, std::string_view key,
                                   int* ownerPid = nullptr);

    RunLock(RunLock&& other) noexcept;
    RunLock& operator=(RunLock&& other) noexcept;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    ~RunLock();  // unlocks, closes

    // The lock file.
    const std::string& Path() const { return m_path; }

private:
    RunLock(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    void Release();

    int m_fd = -1;
    std::string m_path;
};

// The lock folder of the journal at `journalPath`: "<journalPath>.locks".
std::string RunLockFolder(const std::string& journalPath);

}  // namespace qubopost::journal
