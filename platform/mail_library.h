// The mail library, loaded by name as a check that it is there. Once loaded it stays.
#pragma once

#include <string>

inline constexpr const char* kMailLibraryName = "libbsmtp.so";

// true when the library can be loaded (it is then kept loaded until the process ends).
bool LoadMailLibrary(const std::string& name, std::string* error = nullptr);
