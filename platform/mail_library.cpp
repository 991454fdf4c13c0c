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
