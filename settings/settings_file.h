// The settings file as a user may have arranged it: a symbolic link is followed, a
// read-only file is left alone, and anything that is not a regular file (a FIFO, a
// device, a folder) is neither read nor written, so that start-up never hangs on it.
// Besides the "HostData" keys the file holds sections of this program's own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace qubopost::settings {

// Sections of the program's own in the settings file.
inline constexpr std::string_view kRankingSection = "Ranking";   // Host=
inline constexpr std::string_view kProgramSection = "Qubopost";  // TrustFile=, Window=, ...
inline constexpr std::string_view kLosslessSection = "HostData.Unicode";

struct SettingsRead {
    enum class State { Missing, Read, NotRegular, Unreadable };
    State state = State::Missing;
    std::string bytes;
    std::string reason;  // Japanese, for NotRegular and Unreadable
};

// Reads the file at path (through symbolic links) without ever opening anything but a
// regular file.
SettingsRead ReadSettingsFile(const std::string& path);

// Writes the whole file atomically where it really is (the target of a symbolic link,
// which stays a link). Refuses a file without write permission and anything that is not
// a regular file. false with a Japanese reason.
bool WriteSettingsFile(const std::string& path, std::string_view bytes, std::string* reason);

// One value of the program's own sections.
struct SettingsValue {
    std::string section;
    std::string key;
    std::optional<std::string> value;  // nullopt: remove the key
};

// Reads the file again and changes just these keys, keeping everything else as it is.
bool UpdateSettingsFile(const std::string& path, const std::vector<SettingsValue>& values,
                        std::string* reason);

// A value from the file, nullopt when the file or the key is missing or unreadable.
std::optional<std::string> ReadSetting(const std::string& path, std::string_view section,
                                       std::string_view key);

// "下書きとして投稿": [Qubopost] Draft=1 posts to blog destinations as drafts. Any other value,
// or none, posts them published.
inline constexpr std::string_view kDraftKey = "Draft";
bool ReadDraftSetting(const std::string& path);

}  // namespace qubopost::settings
