#include "mail/mail_library.h"

#include <dlfcn.h>

#include "platform/process.h"

bool LoadMailLibrary(const std::string& name, std::string* error) {
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) {
            const char* reason = dlerror();
            *error = reason ? reason : "cannot be loaded";
        }
        return false;
    }
    if (!dlsym(handle, "BSendMail")) {
        if (error) *error = "BSendMail is missing";
        return false;
    }
    return true;  // deliberately kept loaded
}

namespace {

// Opens the library by name (the program's run path finds it beside the program, or in the
// installation's library folder); failing that, at those places by full path, which still
// works when the run path is not consulted (a sanitizer's dlopen, for one).
void* OpenBesideProgram(const std::string& name) {
    if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    if (name.find('/') != std::string::npos) return nullptr;
    const std::string folder = qubopost::platform::FolderOf(qubopost::platform::ExecutablePath());
    if (folder.empty()) return nullptr;
    std::string beside = folder;
    beside += name;
    if (void* handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    std::string installed = folder;
    installed += "../";
    installed += QUBOPOST_INSTALL_LIBDIR;
    installed += "/";
    installed += name;
    return dlopen(installed.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

MailFunctions LoadMailFunctions(const std::string& name, std::string* error) {
    MailFunctions functions;
    dlerror();
    void* handle = OpenBesideProgram(name);
    if (!handle) {
        if (error) {
            const char* reason = dlerror();
            *error = reason ? reason : "cannot be loaded";
        }
        return functions;
    }
    functions.sendMailEx =
        reinterpret_cast<decltype(functions.sendMailEx)>(dlsym(handle, "BSendMailEx"));
    functions.setOption =
        reinterpret_cast<decltype(functions.setOption)>(dlsym(handle, "BSetOption"));
    functions.credentialsCommand = reinterpret_cast<decltype(functions.credentialsCommand)>(
        dlsym(handle, "BCredentialsCommand"));
    functions.sendMailNotify =
        reinterpret_cast<decltype(functions.sendMailNotify)>(dlsym(handle, "BSendMailNotify"));
    if (!functions && error) *error = "BSendMailEx or BSetOption is missing";
    return functions;  // the library stays loaded
}
