// Facts about the running process and the user's folders.
#pragma once

#include <string>
#include <vector>

namespace qubopost::platform {

// Full path of the running executable (from /proc/self/exe), "" if unknown.
std::string ExecutablePath();
// The folder part of a path, with its trailing '/', or "" when there is none.
std::string FolderOf(const std::string& path);
// The program's per-user configuration folder: $XDG_CONFIG_HOME/qubopost, else
// ~/.config/qubopost. Not created here.
std::string UserConfigFolder();
// Creates a folder and its parents (mode 0700 for new ones). false if it is not there afterwards.
bool MakeFolders(const std::string& path);
// The command line as one text: the program's path and its arguments joined by single blanks.
std::string JoinCommandLine(int argc, const char* const* argv);

}  // namespace qubopost::platform
