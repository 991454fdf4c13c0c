// The mail library, loaded by name as a check that it is there. Once loaded it stays.
#pragma once

#include <string>

inline constexpr const char* kMailLibraryName = "libbsmtp.so";

// The sixth argument of BSendMailEx that says the subject and body are UTF-8 (not CP932):
// the posting hands every character over as the user typed it.
inline constexpr const char* kMailTextsUtf8 = "charset=UTF-8";

// true when the library can be loaded (it is then kept loaded until the process ends).
bool LoadMailLibrary(const std::string& name, std::string* error = nullptr);

// The mail library's calls, looked up at run time, so that a program that only sometimes
// mails need not load it (and what it pulls in) at start.
struct MailFunctions {
    int (*sendMailEx)(const char*, const char*, const char*, const char*, const char*, const char*,
                      char*, const int*) = nullptr;
    int (*setOption)(const char*, const char*) = nullptr;
    int (*credentialsCommand)(int, char**, int) = nullptr;
    // BSendMailNotify: BSendMailEx with a callback (last two arguments: the function, its
    // context) called once just before the end of data can go out, and the result 5 for a login
    // refused for now. Optional: null when the library does not have it.
    int (*sendMailNotify)(const char*, const char*, const char*, const char*, const char*,
                          const char*, char*, const int*, void (*)(void*), void*) = nullptr;
    explicit operator bool() const { return sendMailEx && setOption; }
};
MailFunctions LoadMailFunctions(const std::string& name, std::string* error = nullptr);
