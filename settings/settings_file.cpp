#include "settings/settings_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/process.h"
#include "resources/messages/messages.h"

using namespace qubopost::platform;

namespace qubopost::settings {

namespace {

namespace msg = qubopost::messages;
using msg::Say;

// The file a path names after every symbolic link; the path itself when it is no link
// or the link leads nowhere yet (then the link's target is created).
std::string RealTarget(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    if (real) return real.get();
    // A dangling link: follow it one step at a time to the name it finally gives.
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = readlink(current.c_str(), target.data(), target.size());
        if (n <= 0) return current;
        target.resize(static_cast<std::size_t>(n));
        if (target.front() == '/') {
            current = target;
        } else {
            std::string folder = FolderOf(current);
            folder += target;
            current = std::move(folder);
        }
    }
    return current;
}

std::string Describe(int code) { return std::strerror(code); }

}  // namespace

SettingsRead ReadSettingsFile(const std::string& path) {
    SettingsRead result;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        // Missing; a dangling link, or a folder on the way that is a file, counts as missing
        // (saving then says what is wrong).
        if (errno == ENOENT || errno == ENOTDIR) return result;
        result.state = SettingsRead::State::Unreadable;
        result.reason = Describe(errno);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.state = SettingsRead::State::NotRegular;
        result.reason =
            Say(S_ISDIR(st.st_mode) ? msg::kSettingsIsFolder : msg::kSettingsNotRegularFile);
        return result;
    }
    // O_NONBLOCK: should the name have become a FIFO since, opening it must not wait.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.state = SettingsRead::State::Unreadable;
        result.reason = Describe(errno);
        return result;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        result.state = SettingsRead::State::NotRegular;
        result.reason = Say(msg::kSettingsNotRegularFile);
        return result;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            close(fd);
            result.state = SettingsRead::State::Unreadable;
            result.reason = Describe(code);
            return result;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    result.state = SettingsRead::State::Read;
    result.bytes = std::move(bytes);
    return result;
}

bool WriteSettingsFile(const std::string& path, std::string_view bytes, std::string* reason) {
    const std::string target = RealTarget(path);
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            if (reason) *reason = Say(msg::kSettingsNotWrittenNotRegular);
            return false;
        }
        // Checked by the permission bits, not access(): a file the user made read-only
        // stays untouched even for a user whose writes would succeed.
        if ((st.st_mode & 0222) == 0) {
            if (reason) *reason = Say(msg::kSettingsReadOnly);
            return false;
        }
    }
    const std::string folder = FolderOf(target);
    if (folder.size() > 1) MakeFolders(folder.substr(0, folder.size() - 1));
    std::string error;
    if (!WriteFileAtomically(target, bytes, &error)) {
        if (reason) *reason = error;
        return false;
    }
    return true;
}

bool UpdateSettingsFile(const std::string& path, const std::vector<SettingsValue>& values,
                        std::string* reason) {
    const SettingsRead read = ReadSettingsFile(path);
    if (read.state == SettingsRead::State::NotRegular ||
        read.state == SettingsRead::State::Unreadable) {
        if (reason) *reason = read.reason;
        return false;
    }
    IniDocument document = IniDocument::Parse(read.bytes);
    for (const SettingsValue& value : values) {
        if (value.value) {
            document.Set(value.section, value.key, *value.value);
        } else {
            document.Remove(value.section, value.key);
        }
    }
    return WriteSettingsFile(path, document.Serialize(), reason);
}

std::optional<std::string> ReadSetting(const std::string& path, std::string_view section,
                                       std::string_view key) {
    const SettingsRead read = ReadSettingsFile(path);
    if (read.state != SettingsRead::State::Read) return std::nullopt;
    return IniDocument::Parse(read.bytes).Get(section, key);
}

bool ReadDraftSetting(const std::string& path) {
    const std::optional<std::string> value = ReadSetting(path, kProgramSection, kDraftKey);
    return value && *value == "1";
}

}  // namespace qubopost::settings
