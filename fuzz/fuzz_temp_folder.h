// A temporary folder for a fuzz target's files, removed with its files when the process ends.
// It lies in /dev/shm when that is there, so that the many small writes of a fuzz run don't
// wait for a disk.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace fuzz {

class TempFolder {
public:
    explicit TempFolder(const char* name) {
        struct stat info {};
        const std::string base = stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0
                                     ? "/dev/shm"
                                     : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        std::string pattern = base + "/" + name + "-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        m_path = pattern;
    }
    ~TempFolder() { Remove(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }

private:
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
