// The small windows' services over the program's own parts: the key ring and the mail
// library's login test, the settings file's [Ranking] section, the posting journal.
#pragma once

#include <memory>
#include <string>

#include "view/side_services.h"

namespace qubopost::ui {

// `settingsPath`: the settings file (TrustFile for the login test, [Ranking] Host=);
// `journalPath`: the posting journal ("" = the user's default journal).
std::unique_ptr<view::SideServices> MakeSideServices(const std::string& settingsPath,
                                                     const std::string& journalPath);

}  // namespace qubopost::ui
