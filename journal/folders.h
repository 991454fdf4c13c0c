// Folders of the journal and its locks (internal to journal/).
#pragma once

#include <string>

namespace qubopost::journal {

// Creates `dir` and its missing parents with mode 0700; an existing folder keeps its mode.
// Returns errno (ENOTDIR when something on the way is no folder), or 0.
int MakeFolders(const std::string& dir);

}  // namespace qubopost::journal
