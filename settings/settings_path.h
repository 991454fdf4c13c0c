// Where the settings file is, the same for the window and qubopost-cli.
#pragma once

#include <string>

namespace qubopost::settings {

// The settings file beside an executable: its folder and "CQubopostDlg.ini".
std::string SettingsPathFor(const std::string& executablePath);
// Where the settings live for this executable: beside it for a portable copy (or when a
// settings file is there already); in the user's configuration folder when the program
// is installed (bin/ of a prefix that holds share/qubopost) or its folder is not writable.
std::string ChooseSettingsPath(const std::string& executablePath,
                               const std::string& userConfigFolder);

}  // namespace qubopost::settings
