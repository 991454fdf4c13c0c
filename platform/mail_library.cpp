#include "platform/mail_library.h"

#include <dlfcn.h>

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

MailFunctions LoadMailFunctions(const std::string& name, std::string* error) {
    MailFunctions functions;
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) {
            const char* reason = dlerror();
            *error = reason ? reason : "cannot be loaded";
        }
        return functions;
    }
    functions.sendMailEx = reinterpret_cast<decltype(functions.sendMailEx)>(dlsym(handle, "BSendMailEx"));
    functions.setOption = reinterpret_cast<decltype(functions.setOption)>(dlsym(handle, "BSetOption"));
    functions.credentialsCommand =
        reinterpret_cast<decltype(functions.credentialsCommand)>(dlsym(handle, "BCredentialsCommand"));
    if (!functions && error) *error = "BSendMailEx or BSetOption is missing";
    return functions;  // the library stays loaded
}
