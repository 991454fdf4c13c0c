#include "settings/settings_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/process.h"
#include "resources/strings.h"

using namespace qubopost::platform;
using namespace qubopost::resources;

namespace qubopost::settings {

std::string SettingsPathFor(const std::string& executablePath) {
    return FolderOf(executablePath) + std::string(texts::kSettingsFileName);
}

std::string ChooseSettingsPath(const std::string& executablePath,
                               const std::string& userConfigFolder) {
    std::string beside = SettingsPathFor(executablePath);
    const std::string folder = FolderOf(executablePath);
    if (folder.empty()) return beside;
    if (access(beside.c_str(), F_OK) == 0) return beside;
    struct stat st {};
    const bool installed =
        folder.size() >= 5 && folder.compare(folder.size() - 5, 5, "/bin/") == 0 &&
        stat((folder + "../share/qubopost").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (!installed && access(folder.c_str(), W_OK) == 0) return beside;
    return userConfigFolder + "/" + std::string(texts::kSettingsFileName);
}

}  // namespace qubopost::settings
