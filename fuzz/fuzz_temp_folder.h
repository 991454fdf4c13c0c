// A temporary folder for a fuzz target's files, removed with its files when the process ends.
// It lies in /dev/shm when that is there, so that the many small writes of a fuzz run don't
// wait for a disk. Its name ends in the process ID: a process that dies on a broken property
// leaves its folder behind, and the next one removes the folders of processes that are gone.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace fuzz {

class TempFolder {
public:
    explicit TempFolder(const std::string& name) {
        struct stat info {};
        const std::string base =
            stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0
                ? "/dev/shm"
                : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        RemoveLeftOvers(base, name + "-");
        m_path = base + "/" + name + "-" + std::to_string(getpid());
        Remove(m_path);
        if (mkdir(m_path.c_str(), 0700) != 0) std::abort();
    }
    ~TempFolder() { Remove(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }

private:
    // Folders "<prefix><pid>" of processes that no longer run.
    static void RemoveLeftOvers(const std::string& base, const std::string& prefix) {
        DIR* dir = opendir(base.c_str());
        if (!dir) return;
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.compare(0, prefix.size(), prefix) != 0) continue;
            char* end = nullptr;
            const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
            if (pid <= 0 || *end != '\0') continue;
            if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) Remove(base + "/" + name);
        }
        closedir(dir);
    }

    static void Remove(const std::string& path) {
        if (DIR* dir = opendir(path.c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name == "." || name == "..") continue;
                const std::string child = path + "/" + name;
                struct stat info {};
                if (lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                    Remove(child);
                } else {
                    unlink(child.c_str());
                }
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    }

    std::string m_path;
};

}  // namespace fuzz
