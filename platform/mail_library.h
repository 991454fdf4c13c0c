// The mail library, loaded by name as a check that it is there. Once loaded it stays.
#pragma once

#include <string>

inline constexpr const char* kMailLibraryName = "libbsmtp.so";

// true when the library can be loaded (it is then kept loaded until the process ends).
bool LoadMailLibrary(const std::string& name, std::string* error = nullptr);

// The mail library's calls, looked up at run time, so that a program that only sometimes
// mails need not load it (and what it pulls in) at start.
struct MailFunctions {
    int (*sendMailEx)(const char*, const char*, const char*, const char*, const char*, const char*, char*,
                      const int*) = nullptr;
    int (*setOption)(const char*, const char*) = nullptr;
    int (*credentialsCommand)(int, char**, int) = nullptr;
    explicit operator bool() const { return sendMailEx && setOption; }
};
MailFunctions LoadMailFunctions(const std::string& name, std::string* error = nullptr);
