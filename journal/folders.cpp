#include "journal/folders.h"

#include <sys/stat.h>

#include <cerrno>

namespace qubopost::journal {

int MakeFolders(const std::string& dir) {
    if (dir.empty()) return 0;
    struct stat info;
    if (stat(dir.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    std::size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (int error = MakeFolders(dir.substr(0, slash))) return error;
    }
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
}

}  // namespace qubopost::journal
