// A mail library from before BSendMailNotify, with just the calls the program always needed: for
// the test that the loader takes the newer call as optional. It sends nothing.
#define OLD_API extern "C" __attribute__((visibility("default")))

OLD_API int BSendMail(const char*, const char*, const char*, const char*, const char*, const char*,
                      char* error80) {
    if (error80) error80[0] = '\0';
    return 0;
}

OLD_API int BSendMailEx(const char*, const char*, const char*, const char*, const char*,
                        const char*, char* error80, const int*) {
    if (error80) error80[0] = '\0';
    return 0;
}

OLD_API int BSetOption(const char*, const char*) { return 0; }
